#!/usr/bin/env bash
# Installs what is missing, builds and runs every test (live capture through a private
# headless audio server included), then the core tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and fuzzes the readers of outside input.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/install-deps.sh
jobs=$(nproc)

echo "== Build"
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$jobs"

# Windows and whole-program runs on a private X display with a window manager, as a user
# meets them; live audio through a private headless audio server.
audio_dir=$(mktemp -d)
display_dir=$(mktemp -d)
stop_audio() { scripts/audio-server.sh stop "$audio_dir" >/dev/null 2>&1 || true; }
stop_all() {
  stop_audio
  scripts/display.sh stop "$display_dir" >/dev/null 2>&1 || true
  rm -rf "$audio_dir" "$display_dir"
}
trap stop_all EXIT
eval "$(scripts/display.sh start "$display_dir")"
# What the window keeps between runs (its size, its options) stays out of the user's own.
export XDG_CONFIG_HOME="$display_dir/config"

echo "== Tests, on the display $DISPLAY, with the audio server for the live-capture tests"
(
  eval "$(scripts/audio-server.sh start "$audio_dir")"
  (cd build && ctest --output-on-failure -j "$jobs")
  echo "== Live capture through the audio server"
  CORVANE="$root/build/corvane" scripts/audio-test.sh live
)
stop_audio
# Permissions bind everyone but root: the tests of unreadable and read-only files skip
# themselves under root, so they run here once more as an ordinary user.
if [ "$(id -u)" = 0 ]; then
  echo "== File permission tests as the user nobody"
  cp "$XAUTHORITY" "$display_dir/xauth-nobody" && chmod 644 "$display_dir/xauth-nobody"
  chmod o+rx "$display_dir"
  filter='*ReadOnlyDirectory*:*Unreadable*'
  as_nobody() { XAUTHORITY="$display_dir/xauth-nobody" XDG_CONFIG_HOME= \
    setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }
  if as_nobody test -x "$root/build/tests/corvane_core_tests"; then
    (cd /tmp && as_nobody "$root/build/tests/corvane_core_tests" --gtest_filter="$filter" \
      --gtest_brief=1 && as_nobody "$root/build/tests/corvane_gui_tests" \
      --gtest_filter="$filter" --gtest_brief=1)
  else
    echo "not run: the user nobody cannot reach $root/build"
  fi
fi
echo "== Audio server stopped while capturing, then started again"
CORVANE="$root/build/corvane" scripts/audio-fault-test.sh
echo "== The alarm while the audio server does not answer"
CORVANE="$root/build/corvane" scripts/alarm-stall-test.sh
echo "== No audio server at all"
CORVANE="$root/build/corvane" scripts/audio-test.sh no-server
echo "== Publishing to a private MQTT broker, stopped and started again meanwhile"
CORVANE="$root/build/corvane" scripts/mqtt-test.sh

echo "== Core tests under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCORVANE_GUI=OFF -DCORVANE_BENCH=OFF -DCORVANE_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-asan -j "$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs")

# ---- Fuzzing (libFuzzer, clang): every reader of outside input for 30 s each ----
echo "== Fuzzing"
scripts/fuzz.sh 30

# ---- Soak: three hours of the simulated beacon, a record a second: GenInfo fills to its
# bound of 5000 lines and an hour of records follows, so the memory is seen flat ----
echo "== Soak (three hours of simulated beacon)"
scripts/soak.sh 3
