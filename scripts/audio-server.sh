#!/usr/bin/env bash
# A private, headless PulseAudio server for the tests: a null sink "TestSink" whose monitor
# is exposed as a normal input "TestSource" (Qt hides monitor sources), and a null sink
# "Speakers", the default output, where the alarm sound and anything else played without
# naming a sink go, as on a station, where the loudspeaker is not wired to the input. Both
# are kept busy by silent low-latency streams so that what is played is heard at once.
# Players feeding the input name TestSink (paplay -d testsink).
#
#   scripts/audio-server.sh start DIR   starts it; prints the variables to export
#   scripts/audio-server.sh stop DIR    stops it and the keep-alive streams
#
# Everything lives in DIR (socket, runtime dir, log, PIDs). Start prints, on standard output:
#   export XDG_RUNTIME_DIR=DIR/xdg
#   export PULSE_SERVER=unix:DIR/native
# so `eval "$(scripts/audio-server.sh start DIR)"` sets up the calling shell.
set -euo pipefail

usage() { echo "usage: $0 start|stop DIR" >&2; exit 2; }
[ $# -eq 2 ] || usage
cmd=$1
dir=$(mkdir -p "$2" && cd "$2" && pwd)
export XDG_RUNTIME_DIR=$dir/xdg
export PULSE_SERVER=unix:$dir/native
# No user configuration or autospawned daemon may interfere.
export PULSE_CLIENTCONFIG=/dev/null

stop() {
  if [ -f "$dir/keepalive.pid" ]; then
    for p in $(cat "$dir/keepalive.pid"); do kill "$p" 2>/dev/null || true; done
    rm -f "$dir/keepalive.pid"
  fi
  if [ -S "$dir/native" ]; then
    pulseaudio -k 2>/dev/null || true
    for _ in $(seq 50); do [ -S "$dir/native" ] && pactl info >/dev/null 2>&1 || break; sleep 0.1; done
  fi
  if [ -f "$dir/pulse.pid" ]; then
    pid=$(cat "$dir/pulse.pid")
    # Only our own daemon, found by the PID it was started with.
    if kill -0 "$pid" 2>/dev/null && grep -q "$dir/test.pa" "/proc/$pid/cmdline" 2>/dev/null; then
      kill "$pid" 2>/dev/null || true
    fi
    rm -f "$dir/pulse.pid"
  fi
  rm -f "$dir/native"
}

start() {
  stop
  mkdir -p "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  cat >"$dir/test.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$dir/native
load-module module-null-sink sink_name=speakers rate=48000 sink_properties=device.description=Speakers
load-module module-null-sink sink_name=testsink rate=48000 sink_properties=device.description=TestSink
load-module module-remap-source master=testsink.monitor source_name=testsrc source_properties=device.description=TestSource
set-default-sink speakers
set-default-source testsrc
PA
  pulseaudio --daemonize=no -n -F "$dir/test.pa" --exit-idle-time=-1 \
    --log-target="file:$dir/pulse.log" >/dev/null 2>&1 &
  echo $! >"$dir/pulse.pid"
  local ok=""
  for _ in $(seq 100); do
    if pactl info >/dev/null 2>&1; then ok=1; break; fi
    sleep 0.1
  done
  if [ -z "$ok" ]; then
    echo "audio server did not answer; see $dir/pulse.log" >&2
    stop
    exit 1
  fi
  # An idle null sink renders 2 s at a time; a silent stream keeps its latency low.
  : >"$dir/keepalive.pid"
  for sink in speakers testsink; do
    pacat --playback --device=$sink --latency-msec=10 --raw --format=s16le --rate=48000 \
      --channels=2 </dev/zero >/dev/null 2>&1 &
    echo $! >>"$dir/keepalive.pid"
  done
  local settled=""
  for _ in $(seq 100); do
    # Both sinks' latencies below 50 ms.
    if pactl list sinks 2>/dev/null | awk '/^[[:space:]]*Latency: [0-9]+ usec/ {
        n++; if ($2 < 50000) ok++ } END { exit !(n == 2 && ok == 2) }'; then
      settled=1
      break
    fi
    sleep 0.1
  done
  if [ -z "$settled" ]; then
    echo "audio server: sink latency did not settle below 50 ms" >&2
    stop
    exit 1
  fi
  echo "export XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR"
  echo "export PULSE_SERVER=$PULSE_SERVER"
}

case $cmd in
  start) start ;;
  stop) stop ;;
  *) usage ;;
esac
