#!/usr/bin/env bash
# Live against file: the noise and S/N Corvane logs for a carrier in noise played into the
# private audio server's TestSource, against `--fast` on the same WAV file.
#
#   scripts/live-snr.sh [--hogs N] [SECONDS]     (default 120 s of live logging)
#
# The file: 12000 Hz, a 1000.49 Hz I/Q carrier at 48.3 dB S/N in 1 Hz in Gaussian noise of
# 300.6 per channel (noise 36.5 dB as Corvane measures it at 8192 points). Both runs use
# 12000 Hz, 8192 points and a record a second; the live one runs on a virtual display
# (Xvfb) unless one is set, with N busy loops when asked. Prints the mean, lowest and
# highest noise and S/N of the records with a steady carrier, and live less fast, and how
# many record times repeat or skip a second.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
corvane="${CORVANE:-$root/build/corvane}"
gen="$root/build/bench/carrier_wav"
hogs=0
if [ "${1:-}" = "--hogs" ]; then hogs=$2; shift 2; fi
seconds=${1:-120}
for f in "$corvane" "$gen"; do
  [ -x "$f" ] || { echo "live-snr: no $f (build corvane and carrier_wav)" >&2; exit 2; }
done

work=$(mktemp -d)
player=""
hog_pids=()
cleanup() {
  [ -n "$player" ] && kill "$player" 2>/dev/null || true
  for p in "${hog_pids[@]}"; do kill "$p" 2>/dev/null || true; done
  "$root/scripts/audio-server.sh" stop "$work/audio" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

settings() {
  printf ' 12000 \r\n 8192 \r\n 683 \r\n 68 \r\n 20 \r\n 5400 \r\n 10 \r\n 4 \r\n 1 \r\nSIGREC.TXT\r\n 4 \r\n' \
    >"$1/CORVANE.INI"
}
summary() {
  tr -d '\r' <"$1/SIGREC.TXT" | awk -v what="$2" '
    { t = substr($1, 1, 2) * 3600 + substr($1, 4, 2) * 60 + substr($1, 7, 2)
      if (NR > 1 && t == prev) twice++; if (NR > 1 && t > prev + 1) skipped += t - prev - 1
      prev = t }
    $5 != "-99.0" { n++; sn += $5; no += $4
      if (n == 1 || $4 < nlo) nlo = $4; if (n == 1 || $4 > nhi) nhi = $4
      if (n == 1 || $5 < slo) slo = $5; if (n == 1 || $5 > shi) shi = $5 }
    END { if (n == 0) { print what ": no steady record"; exit 1 }
      printf "%s: %d steady records of %d; noise %.2f dB (%.1f..%.1f), S/N %.2f dB (%.1f..%.1f)\n",
        what, n, NR, no / n, nlo, nhi, sn / n, slo, shi
      printf "  record times: %d seconds twice, %d seconds skipped\n", twice, skipped
      printf "%.4f %.4f\n", no / n, sn / n > "/dev/stderr" }'
}

"$gen" "$work/carrier.wav" $((seconds + 30)) 12000 1000.49 48.3 300.6 >/dev/null

mkdir "$work/fast" "$work/live"
settings "$work/fast"
(cd "$work/fast" && "$corvane" -platform offscreen --input ../carrier.wav --start --log --fast \
  >out.txt 2>&1)
summary "$work/fast" "fast (file)" 2>"$work/fast.means"

eval "$("$root/scripts/audio-server.sh" start "$work/audio")"
for _ in $(seq "$hogs"); do
  (exec sh -c 'while :; do :; done') &
  hog_pids+=($!)
done
settings "$work/live"
paplay --device=testsink --latency-msec=1000 "$work/carrier.wav" &
player=$!
sleep 0.5
run=("$corvane" --input TestSource --start --log --quit-after "$seconds")
if [ -n "${DISPLAY:-}" ]; then
  (cd "$work/live" && "${run[@]}" >out.txt 2>&1)
else
  (cd "$work/live" && xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}" >out.txt 2>&1)
fi
summary "$work/live" "live (TestSource, $hogs busy loops)" 2>"$work/live.means"
read -r fn fs <"$work/fast.means"
read -r ln ls <"$work/live.means"
awk -v fn="$fn" -v fs="$fs" -v ln="$ln" -v ls="$ls" \
  'BEGIN { printf "live less fast: noise %+.2f dB, S/N %+.2f dB\n", ln - fn, ls - fs }'
