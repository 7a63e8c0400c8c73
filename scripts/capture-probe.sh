#!/usr/bin/env bash
# Does live capture keep every sample while the user-interface thread is busy?
#
#   scripts/capture-probe.sh [--hogs N] [capture_probe options]
#
# Starts a private audio server (scripts/audio-server.sh) with a 997 Hz tone made inside the
# server (module-sine into TestSink, so no player can fall behind), optionally N busy loops
# to keep the cores loaded, and runs build/bench/capture_probe on a virtual display (Xvfb)
# unless one is set. The probe's options say what keeps the user-interface thread busy;
# for example
#   scripts/capture-probe.sh --hogs 2 --rate 48000 --frames 1024 --seconds 600 \
#       --load window,stall:1500,dialog,drag
# It prints a line per report period and a summary; the exit status is the probe's (1 when a
# sample was lost without being counted).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
probe="${CAPTURE_PROBE:-$root/build/bench/capture_probe}"
[ -x "$probe" ] || { echo "capture-probe: no $probe (build the capture_probe target)" >&2; exit 2; }
hogs=0
if [ "${1:-}" = "--hogs" ]; then hogs=$2; shift 2; fi

work=$(mktemp -d)
hog_pids=()
cleanup() {
  for p in "${hog_pids[@]}"; do kill "$p" 2>/dev/null || true; done
  "$root/scripts/audio-server.sh" stop "$work/audio" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

eval "$("$root/scripts/audio-server.sh" start "$work/audio")"
pactl load-module module-sine sink=testsink frequency=997 >/dev/null
for _ in $(seq "$hogs"); do
  (exec sh -c 'while :; do :; done') &
  hog_pids+=($!)
done

if [ -n "${DISPLAY:-}" ]; then
  "$probe" "$@"
else
  xvfb-run -a -s "-screen 0 1280x1024x24" "$probe" "$@"
fi
