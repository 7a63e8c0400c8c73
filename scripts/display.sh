#!/usr/bin/env bash
# A private X display for the window and whole-program tests: Xvfb with a window manager
# (openbox), so dialogs are modal, windows are placed and focus moves as on a desktop.
#
#   scripts/display.sh start DIR   starts it; prints the variables to export
#   scripts/display.sh stop DIR    stops it
#
# The screen is 1920x1080 unless DISPLAY_SCREEN says otherwise (such as 1280x720).
#
# Start prints `export DISPLAY=:N` and `export XAUTHORITY=DIR/Xauthority`, so
# `eval "$(scripts/display.sh start DIR)"` sets up the calling shell.
set -euo pipefail

usage() { echo "usage: $0 start|stop DIR" >&2; exit 2; }
[ $# -eq 2 ] || usage
cmd=$1
dir=$(mkdir -p "$2" && cd "$2" && pwd)

stop() {
  for name in wm openbox xvfb; do
    if [ -f "$dir/$name.pid" ]; then
      kill "$(cat "$dir/$name.pid")" 2>/dev/null || true
      rm -f "$dir/$name.pid"
    fi
  done
}

start() {
  stop
  # A display number nobody uses: no socket and no lock file for it.
  local n
  for n in $(seq 90 190); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  export XAUTHORITY=$dir/Xauthority
  : >"$XAUTHORITY"
  xauth -q add ":$n" . "$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')"
  # -noreset: the server is not started afresh whenever its last client leaves, which
  # refuses connections for a moment.
  Xvfb ":$n" -screen 0 "${DISPLAY_SCREEN:-1920x1080}x24" -nolisten tcp -noreset \
    -auth "$XAUTHORITY" >"$dir/xvfb.log" 2>&1 &
  echo $! >"$dir/xvfb.pid"
  export DISPLAY=:$n
  local ok=""
  for _ in $(seq 100); do
    if xdpyinfo >/dev/null 2>&1 || xdotool getdisplaygeometry >/dev/null 2>&1; then ok=1; break; fi
    sleep 0.1
  done
  [ -n "$ok" ] || { echo "display.sh: Xvfb did not start: $(tail -3 "$dir/xvfb.log")" >&2; stop; exit 1; }
  # The window manager is started again should it ever exit, and says so: without it no
  # window is activated, and the focus tests fail for a reason of the display's.
  (
    while :; do
      openbox --sm-disable >>"$dir/wm.log" 2>&1 &
      echo $! >"$dir/openbox.pid"
      wait $! && status=0 || status=$?
      # Gone with the display (stop): nothing to start again.
      xdpyinfo >/dev/null 2>&1 || xdotool getdisplaygeometry >/dev/null 2>&1 || break
      echo "display.sh: the window manager of :$n exited (status $status): $(tail -2 "$dir/wm.log" | tr '\n' ' '); started again" >&2
      sleep 0.2
    done
  ) </dev/null >/dev/null &
  echo $! >"$dir/wm.pid"
  # The window manager has taken over once the root window names it.
  ok=""
  for _ in $(seq 100); do
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then ok=1; break; fi
    sleep 0.1
  done
  [ -n "$ok" ] || { echo "display.sh: the window manager did not start: $(tail -3 "$dir/wm.log")" >&2; stop; exit 1; }
  echo "export DISPLAY=:$n"
  echo "export XAUTHORITY=$XAUTHORITY"
}

case "$cmd" in
  start) start ;;
  stop) stop ;;
  *) usage ;;
esac
