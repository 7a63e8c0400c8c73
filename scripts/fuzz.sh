#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UndefinedBehaviorSanitizer) and
# runs each for SECONDS (default 30) on a copy of its seed corpus. Exits non-zero when any
# target finds a crash or a broken property; the input that did it is kept under
# build-fuzz/crashes/.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
seconds="${1:-30}"
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
build="$root/build-fuzz"
targets=(parse_number_fuzzer format_pattern_fuzzer settings_file_fuzzer audio_file_fuzzer
         log_record_fuzzer log_history_fuzzer mqtt_queue_fuzzer)

cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCORVANE_FUZZ=ON \
  -DCORVANE_GUI=OFF -DCORVANE_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target corvane_fuzzers -j "$(nproc)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/crashes"
failed=0
for t in "${targets[@]}"; do
  # The runs grow the corpus; the committed one stays small.
  cp -r "fuzz/corpus/$t" "$work/$t"
  mkdir -p "$work/$t.artifacts"
  log="$work/$t.log"
  set +e
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/fuzz/$t" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/$t.artifacts/" "$work/$t" >"$log" 2>&1
  rc=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  corpus=$(find "$work/$t" -type f | wc -l)
  if [ "$rc" -eq 0 ]; then
    status=ok
  else
    status="FAILED (exit $rc)"
    failed=1
    cp "$work/$t.artifacts/"* "$build/crashes/" 2>/dev/null || true
  fi
  printf '%-22s %-16s %10s runs %8s exec/s  cov %-5s corpus %s\n' "$t" "$status" \
    "${runs:-?}" "${speed:-?}" "${cov:-?}" "$corpus"
  if [ "$rc" -ne 0 ]; then
    grep -E 'check failed|ERROR: |runtime error|SUMMARY' "$log" | head -20 | sed 's/^/    /'
    echo "    full log: rerun $build/fuzz/$t on the input kept in $build/crashes/"
  fi
done
exit "$failed"
