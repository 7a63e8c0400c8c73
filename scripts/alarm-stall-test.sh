#!/usr/bin/env bash
# The alarm while the audio server does not answer (stopped with SIGSTOP): the sound cannot
# even be opened, yet the blocks and the one-second records go on. A private server
# (scripts/audio-server.sh) is frozen before a strong carrier appears in a WAV file played in
# real time; corvane must log every second, say why the alarm fell back to the beep, and end
# normally.
#
#   scripts/alarm-stall-test.sh        (CORVANE: the program, default build/corvane)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
corvane="${CORVANE:-$root/build/corvane}"
work=$(mktemp -d)
app=""
frozen=""
cleanup() {
  [ -n "$frozen" ] && kill -CONT "$frozen" 2>/dev/null || true
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  "$root/scripts/audio-server.sh" stop "$work/audio" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
fail() { echo "alarm-stall-test: FAIL: $*" >&2; exit 1; }

eval "$("$root/scripts/audio-server.sh" start "$work/audio")"
printf ' 12000 \r\n 8192 \r\n 683 \r\n 68 \r\n 20 \r\n 5400 \r\n 10 \r\n 4 \r\n 1 \r\nSIGREC.TXT\r\n 4 \r\n' \
  >CORVANE.INI
# 4 s of noise, then an I/Q carrier at +1000 Hz some 60 dB above it in 1 Hz: over the
# alarm threshold of 40 dB.
sox -n -r 12000 -c 2 -b 16 quiet.wav synth 4 whitenoise vol 0.01
sox -n -r 12000 -c 2 -b 16 loud.wav synth 10 sine 1000 0 25 sine 1000 0 0 vol 0.3
sox quiet.wav loud.wav beacon.wav
cp "$root/data/ding.WAV" .

seconds=12
"$corvane" --input beacon.wav --start --log --quit-after "$seconds" >out.txt 2>err.txt &
app=$!
sleep 2
frozen=$(cat "$work/audio/pulse.pid")
kill -STOP "$frozen"
status=0
wait "$app" || status=$?
app=""
kill -CONT "$frozen"
frozen=""

[ "$status" -eq 0 ] || fail "corvane exited with $status ($(tail -3 err.txt))"
grep -q "Alarm sound: the audio output did not answer" err.txt \
  || fail "the alarm did not fall back to the beep: $(tail -5 err.txt)"
records=$(wc -l <SIGREC.TXT)
[ "$records" -ge $((seconds - 2)) ] || fail "$records records in $seconds s"
awk '
  function sec(t) { return substr(t, 1, 2) * 3600 + substr(t, 4, 2) * 60 + substr(t, 7, 2) }
  { t = sec($1); if (NR > 1 && t != prev + 1) { print "not consecutive at " $1; bad = 1 }; prev = t }
  END { exit bad }' SIGREC.TXT || fail "records: $(tr '\r' ' ' <SIGREC.TXT)"
echo "alarm-stall-test: $records records, one a second, with the audio server frozen"
