#!/usr/bin/env bash
# The README's screenshots: the main window measuring the test signal on a 1280x720 and a
# 1920x1080 screen, each on a private Xvfb with a window manager, the window filling the
# screen as a user would maximise it. Writes docs/screenshot-1280x720.png and
# docs/screenshot-1920x1080.png.
#
#   scripts/screenshots.sh [BUILD_DIR]      (default: build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
cmake --build "$build" --target corvane >/dev/null
corvane="$(cd "$build" && pwd)/corvane"

work="$(mktemp -d)"
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
  "$root/scripts/display.sh" stop "$work/x" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

shoot() {
  local size=$1 out=$2 w=${1%x*} h=${1#*x}
  eval "$(DISPLAY_SCREEN=$size "$root/scripts/display.sh" start "$work/x")"
  # A first start: no settings file, no kept window state, no audio server.
  rm -rf "$work/run" && mkdir -p "$work/run/config"
  (cd "$work/run" && XDG_CONFIG_HOME="$work/run/config" PULSE_SERVER=none \
     exec "$corvane" --input test --start --fast >"$work/run/out.log" 2>&1) &
  pid=$!
  local id=""
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name '^Signal Logging' 2>/dev/null | head -1 || true)
    [ -n "$id" ] && break
    sleep 0.2
  done
  [ -n "$id" ] || { echo "screenshots.sh: no window at $size" >&2; cat "$work/run/out.log" >&2; exit 1; }
  # Maximised by hand: the frame's extents from the window manager, the client inside them.
  local ext left right top bottom
  for _ in $(seq 50); do
    ext=$(xprop -id "$id" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p' | tr -d ' ')
    [ -n "$ext" ] && break
    sleep 0.1
  done
  IFS=, read -r left right top bottom <<<"${ext:-0,0,0,0}"
  xdotool windowsize "$id" $((w - left - right)) $((h - top - bottom))
  # The window's gravity is static: the position is the client's, inside the frame.
  xdotool windowmove "$id" "$left" "$top"
  # Rows fill the waterfall: the test signal runs on its own fast clock.
  sleep 25
  import -window root "$out"
  kill "$pid" && wait "$pid" 2>/dev/null || true
  pid=""
  "$root/scripts/display.sh" stop "$work/x" >/dev/null
  echo "$out"
}

shoot 1280x720 "$root/docs/screenshot-1280x720.png"
shoot 1920x1080 "$root/docs/screenshot-1920x1080.png"
