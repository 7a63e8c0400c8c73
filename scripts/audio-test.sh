#!/usr/bin/env bash
# Whole-program tests of live capture.
#   scripts/audio-test.sh live       with a private audio server running (PULSE_SERVER set):
#                                    a 1000 Hz I/Q recording played into TestSink is captured
#                                    from TestSource, measured and logged every second, and
#                                    recorded; the recording replayed with --fast gives the
#                                    records the live run gave
#   scripts/audio-test.sh no-server  with no audio server at all: START on the default
#                                    device reports the open failure promptly
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
corvane="${CORVANE:-$root/build/corvane}"
mode=${1:-}
work=$(mktemp -d)
player=""
cleanup() {
  [ -n "$player" ] && kill "$player" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
fail() { echo "audio-test $mode: FAIL: $*" >&2; exit 1; }

case $mode in
live)
  [ -n "${PULSE_SERVER:-}" ] || fail "PULSE_SERVER is not set (start scripts/audio-server.sh)"
  # 12000 Hz, 8192 points, centre 1000 Hz, 100 Hz, band 20..5400 Hz, 10 dB, 4 frames, 1 s log.
  printf ' 12000 \r\n 8192 \r\n 683 \r\n 68 \r\n 20 \r\n 5400 \r\n 10 \r\n 4 \r\n 1 \r\nSIGREC.TXT\r\n 4 \r\n' \
    >CORVANE.INI
  # Left cos, right sin: +1000 Hz; a little noise so the noise measurement has something.
  sox -n -r 48000 -c 2 -b 16 tone.wav synth 30 sine 1000 0 25 sine 1000 0 0 vol 0.3
  sox -n -r 48000 -c 2 -b 16 noise.wav synth 30 whitenoise vol 0.05
  sox -m -v 1 tone.wav -v 1 noise.wav iq.wav
  paplay --device=testsink --latency-msec=1000 iq.wav &
  player=$!
  sleep 0.5
  seconds=20
  "$corvane" --input TestSource --start --log --quit-after "$seconds" --record rec \
    >out.txt 2>err.txt || fail "corvane exited with $? ($(tail -3 err.txt))"
  [ -f SIGREC.TXT ] || fail "no log written ($(tail -3 err.txt))"
  records=$(wc -l <SIGREC.TXT)
  # One record a second from the first tick on; the first and last second may fall outside.
  [ "$records" -ge $((seconds - 2)) ] || fail "$records records in $seconds s"
  tail -n 5 SIGREC.TXT | awk '
    { if ($2 < 998 || $2 > 1002) bad = bad "frequency " $2 "; "
      if ($5 != -99.0 && ($5 < 45 || $5 > 80)) bad = bad "S/N " $5 "; "
      if ($5 != -99.0) steady++ }
    END { if (bad != "") { print bad; exit 1 } if (steady < 3) { print "not steady"; exit 1 } }' \
    || fail "implausible records: $(tail -n 5 SIGREC.TXT | tr '\r' ' ')"
  echo "audio-test live: $records records, last: $(tail -n 1 SIGREC.TXT | tr -d '\r')"

  # The recording replayed: its times come from its name, its figures are the live run's.
  ls rec/corvane-*.flac >/dev/null 2>&1 || fail "nothing recorded: $(tail -3 err.txt)"
  mkdir replay
  cp CORVANE.INI replay/
  for f in rec/corvane-*.flac; do
    (cd replay && "$corvane" --input "../$f" --start --log --fast >>out.txt 2>>err.txt) \
      || fail "the replay of $f exited with $?"
  done
  # A live record holds the last block processed before the wall clock's tick; a block that
  # ended just before the tick but was processed just after it (a busy machine) goes to the
  # next record, where the replay, with no such delay, puts it in this one. The data logs
  # give each record's block by its age: such a second measures two different blocks.
  awk -F, '$0 !~ /^#/ && $2 ~ /T/ && $12 != "" {
             t = substr($2, 12, 8)
             if (FILENAME == ARGV[1]) { age[t] = $12; next }
             if ((t in age) && (age[t] - $12 > 0.2 || $12 - age[t] > 0.2))
               print t, "live block", $12, "s old, replayed", age[t]
           }' replay/SIGREC.csv SIGREC.csv >other-blocks.txt
  # Joined on the second: the same frequency, and the S/N within 0.1 dB once the replay's
  # averages and its stability period hold only recorded blocks (4 + 4 blocks of 0.68 s from
  # its start: its first 7 records). The replay cuts its blocks where the live run did (the
  # recording says where), so both measure the same frames.
  awk 'FILENAME == ARGV[1] { other[$1] = 1; next }
       FILENAME == ARGV[2] { if (++n > 7) { f[$1] = $2; s[$1] = $5 }; next }
       ($1 in other) { skipped++; next }
       ($1 in f) {
         both++
         if ($2 != f[$1]) { print $1 ": frequency " $2 " live, " f[$1] " replayed"; bad = 1 }
         if ($5 != -99.0 && s[$1] != -99.0) {
           compared++
           d = $5 - s[$1]; if (d < 0) d = -d
           if (d > worst) worst = d
           if (d > 0.1 + 1e-9) { print $1 ": S/N " $5 " live, " s[$1] " replayed"; bad = 1 }
         }
       }
       END { if (compared < 4) { print "only " compared " records to compare of " both; bad = 1 }
             printf "audio-test live: %d records compared, S/N differs by %.1f dB at most", compared, worst
             if (skipped) printf "; %d of another block", skipped
             printf "\n"
             exit bad }' other-blocks.txt replay/SIGREC.TXT SIGREC.TXT \
    || fail "the replay differs: $(tr '\r' ' ' <replay/SIGREC.TXT | head -c 600)"
  [ ! -s other-blocks.txt ] || echo "audio-test live: $(cat other-blocks.txt)"
  echo "audio-test live: the recording $(ls rec) replayed gives the live records"
  ;;
no-server)
  # A server address where nothing listens, so no daemon of the machine can answer.
  export PULSE_SERVER="unix:$work/nothing-here"
  export PULSE_CLIENTCONFIG=/dev/null
  # Nothing to capture: the run ends by itself, with status 1 (a hang fails by the timeout).
  status=0
  timeout 60 "$corvane" --input default --start >out.txt 2>err.txt || status=$?
  [ "$status" -eq 1 ] || fail "corvane exited with $status, not 1: $(tail -3 err.txt)"
  grep -q "Wave input device didn't open!!" err.txt || fail "no open failure shown: $(cat err.txt)"
  [ ! -f SIGREC.TXT ] || fail "a log was written without capture"
  echo "audio-test no-server: open failure shown, exit status 1"
  ;;
*)
  echo "usage: $0 live|no-server" >&2
  exit 2
  ;;
esac
