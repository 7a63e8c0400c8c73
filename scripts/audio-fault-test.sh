#!/usr/bin/env bash
# The audio server stopped while capturing, and started again: a private server
# (scripts/audio-server.sh) takes a 1000 Hz I/Q tone; corvane captures and logs it every
# second; the server is stopped part way and started again a little later. Checks: the program
# keeps running to its end and exits normally; the loss is reported ("Sound card lost") and
# the capture reopens by itself ("Capture reopened"); the tick writes one record for every
# second, none twice; while the server is away the records carry missing values (-99.9,
# -99.0 noise and S/N), never a stale value; once it is back they are measured again.
#
#   scripts/audio-fault-test.sh        (CORVANE: the program, default build/corvane)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
corvane="${CORVANE:-$root/build/corvane}"
work=$(mktemp -d)
player=""
app=""
cleanup() {
  [ -n "$player" ] && kill "$player" 2>/dev/null || true
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  "$root/scripts/audio-server.sh" stop "$work/audio" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
fail() { echo "audio-fault-test: FAIL: $*" >&2; exit 1; }

eval "$("$root/scripts/audio-server.sh" start "$work/audio")"
printf ' 12000 \r\n 8192 \r\n 683 \r\n 68 \r\n 20 \r\n 5400 \r\n 10 \r\n 4 \r\n 1 \r\nSIGREC.TXT\r\n 4 \r\n' \
  >CORVANE.INI
# Left cos, right sin: +1000 Hz, with a little noise for the noise measurement.
sox -n -r 48000 -c 2 -b 16 tone.wav synth 40 sine 1000 0 25 sine 1000 0 0 vol 0.3
sox -n -r 48000 -c 2 -b 16 noise.wav synth 40 whitenoise vol 0.05
sox -m -v 1 tone.wav -v 1 noise.wav iq.wav
paplay --device=testsink --latency-msec=1000 iq.wav 2>/dev/null &
player=$!
sleep 0.5

seconds=34
before=10  # seconds of capture before the server goes
away=8     # seconds without a server
"$corvane" --input TestSource --start --log --quit-after "$seconds" >out.txt 2>err.txt &
app=$!
sleep "$before"
stop_at=$(date +%H:%M:%S)
"$root/scripts/audio-server.sh" stop "$work/audio" >/dev/null 2>&1
player=""
sleep "$away"
eval "$("$root/scripts/audio-server.sh" start "$work/audio")"
back_at=$(date +%H:%M:%S)
paplay --device=testsink --latency-msec=1000 iq.wav 2>/dev/null &
player=$!
status=0
wait "$app" || status=$?
app=""

[ "$status" -eq 0 ] || fail "corvane exited with $status ($(tail -3 err.txt))"
grep -q "Sound card lost" err.txt || fail "the loss was not reported: $(tail -5 err.txt)"
grep -q "Capture reopened" err.txt || fail "the capture did not reopen: $(tail -5 err.txt)"
[ -f SIGREC.TXT ] || fail "no log written"
records=$(wc -l <SIGREC.TXT)
[ "$records" -ge $((seconds - 2)) ] || fail "$records records in $seconds s"
# Records by their time against the moment the server went (the same clock, same day).
awk -v stop="$stop_at" -v back="$back_at" '
  function sec(t) { return substr(t, 1, 2) * 3600 + substr(t, 4, 2) * 60 + substr(t, 7, 2) }
  BEGIN { s = sec(stop); b = sec(back) }
  {
    t = sec($1)
    if (NR > 1 && t != prev + 1) { print "record times not consecutive at " $1; bad = 1 }
    prev = t
    if (t < s - 1 && $5 != "-99.0") steady++
    if (t >= s + 2 && t < b) {
      away++
      if ($3 != "-99.9" || $4 != "-99.0" || $5 != "-99.0") {
        print "stale value while the server was away: " $0; bad = 1
      }
    }
    if (t >= b + 8 && $4 != "-99.0") measured++
  }
  END {
    if (steady < 2) { print "no steady carrier measured before the stop"; bad = 1 }
    if (away < 4) { print "only " away " records while the server was away"; bad = 1 }
    if (measured < 3) { print "no measurement after the server came back"; bad = 1 }
    exit bad
  }' SIGREC.TXT || fail "records: $(tr '\r' ' ' <SIGREC.TXT)"
echo "audio-fault-test: server stopped at $stop_at and back at $back_at; $records records," \
  "the last: $(tail -n 1 SIGREC.TXT | tr -d '\r')"
