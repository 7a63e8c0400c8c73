#!/usr/bin/env bash
# Soak run: HOURS (default 24) of the simulated beacon at 12000 Hz and 8192 points, logging
# every second, read back to back (--fast) so the beacon's own sample clock drives the tick.
#
#   scripts/soak.sh [HOURS]
#
# Checks, and exits non-zero when any fails:
#   - the program ends normally (exit 0) after exactly HOURS*3600 s of file time;
#   - exactly one whole record per second of file time: HOURS*3600 records, consecutive
#     HH:mm:ss times, no gap and no repeat; the run starts twenty minutes before local
#     midnight (a TZ of its own), so every run crosses midnight;
#   - resident memory flat: VmRSS, sampled about twice a second, grows by less than 1 MiB
#     from the first minute of file time to the end, beyond 1.5 KiB for each line GenInfo
#     gains meanwhile (its lines cost 0.6 to 1.0 KiB each until it holds 5000); and by less
#     than 1 MiB from the moment GenInfo is full, when an hour or more of records follows;
#   - GenInfo within its bound of 5000 lines (the program reports its line count at the end
#     when CORVANE_REPORT=1).
#
# Environment: CORVANE_BIN (default build/corvane), SOAK_DIR (where the temporary run
# directory goes; default /dev/shm when present, so the per-record sync costs nothing),
# SOAK_KEEP=1 keeps the run directory.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
hours=${1:-24}
if ! [[ "$hours" =~ ^[0-9]+$ ]] || [ "$hours" -lt 1 ]; then
  echo "usage: $0 [HOURS]   (a whole number of hours, at least 1)" >&2
  exit 2
fi
bin=${CORVANE_BIN:-$root/build/corvane}
[ -x "$bin" ] || { echo "soak: no program at $bin (build first, or set CORVANE_BIN)" >&2; exit 2; }
seconds=$((hours * 3600))
base=${SOAK_DIR:-$([ -d /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")}
work=$(mktemp -d "$base/corvane-soak.XXXXXX")
pid=""
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill "$pid" 2>/dev/null || true; fi
  if [ "${SOAK_KEEP:-0}" = 1 ]; then echo "soak: run directory kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
cd "$work"

# 12000 Hz, 8192 points, centre bin 683 (1000 Hz), 68 bins, band 20 .. 5400 Hz, 10 dB,
# 4 frames, a record every second to SIGREC.TXT, history 4.
printf ' 12000 \r\n 8192 \r\n 683 \r\n 68 \r\n 20 \r\n 5400 \r\n 10 \r\n 4 \r\n 1 \r\nSIGREC.TXT\r\n 4 \r\n' \
  >CORVANE.INI

# A POSIX zone whose local time is now 23:40:00, so the records cross midnight.
utc_sod=$(( $(date -u +%s) % 86400 ))
offset=$(( ((23 * 3600 + 40 * 60) - utc_sod + 86400) % 86400 ))
if [ "$offset" -gt 43200 ]; then offset=$((offset - 86400)); fi
abs=${offset#-}
sign=$([ "$offset" -lt 0 ] && echo + || echo -)  # POSIX TZ: the sign is west-positive
zone=$(printf 'SOAK%s%02d:%02d:%02d' "$sign" $((abs / 3600)) $((abs % 3600 / 60)) $((abs % 60)))

echo "soak: $hours h of file time ($seconds records) in $work, TZ=$zone"
start_ns=$(date +%s%N)
TZ=$zone CORVANE_REPORT=1 "$bin" --input test --start --log --fast \
  --quit-after "$seconds" >stdout.txt 2>stderr.txt &
pid=$!

# Samples: wall seconds, VmRSS in KiB, records in the log so far.
: >rss.txt
while kill -0 "$pid" 2>/dev/null; do
  rss=$(sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$pid/status" 2>/dev/null || true)
  if [ -n "$rss" ]; then
    records=$( (wc -l <SIGREC.TXT) 2>/dev/null || echo 0)
    now_ns=$(date +%s%N)
    echo "$(( (now_ns - start_ns) / 1000000 )) $rss $records" >>rss.txt
  fi
  sleep 0.5
done
set +e
wait "$pid"
status=$?
set -e
pid=""
wall_ms=$(( ($(date +%s%N) - start_ns) / 1000000 ))

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

[ "$status" -eq 0 ] || fail "exit status $status"
[ -s CORVANE.INI ] || fail "settings file not written back"

# Records: the format of each line, and one per second with no gap or repeat.
record_check=$(awk -v want="$seconds" '
  BEGIN { bad = 0; gaps = 0; repeats = 0; midnight = 0 }
  {
    if ($0 !~ /^[0-2][0-9]:[0-5][0-9]:[0-5][0-9]  -?[0-9][0-9][0-9][0-9]+  ( [0-9][0-9]+\.[0-9]|-99\.9)  -?[0-9][0-9]+\.[0-9]  -?[0-9][0-9]+\.[0-9]  -?[0-9][0-9]+\.[0-9][0-9][0-9][0-9]  \r$/) {
      if (bad < 3) printf "malformed line %d: %s\n", NR, $0 > "/dev/stderr"
      bad++
    }
    t = substr($0, 1, 2) * 3600 + substr($0, 4, 2) * 60 + substr($0, 7, 2)
    if (NR == 1) first = substr($0, 1, 8)
    else if (t != (prev + 1) % 86400) {
      if (t == prev) repeats++; else gaps++
      if (gaps + repeats <= 3) printf "line %d: %s after %05d s\n", NR, substr($0, 1, 8), prev > "/dev/stderr"
    }
    if (NR > 1 && t < prev) midnight++
    prev = t; last = substr($0, 1, 8)
  }
  END { printf "%d %d %d %d %d %s %s\n", NR, bad, gaps, repeats, midnight, first, last }
' SIGREC.TXT 2>record-errors.txt || echo "0 0 0 0 0 - -")
read -r records malformed gaps repeats midnights first last <<<"$record_check"
cat record-errors.txt
[ "$records" -eq "$seconds" ] || fail "$records records, expected $seconds"
[ "$malformed" -eq 0 ] || fail "$malformed malformed records"
[ "$gaps" -eq 0 ] || fail "$gaps gaps in the record times"
[ "$repeats" -eq 0 ] || fail "$repeats repeated record times"
[ "$midnights" -ge 1 ] || fail "the records did not cross midnight"

# Memory. GenInfo's lines cost 0.6 to 1.0 KiB each (their text and layout; the glyphs of a
# line are let go once it is out of sight) until it holds its 5000, so the resident size may
# only rise by that much while it fills; once it is full the size must stay flat.
# RSS swings by a MiB or two as the document compacts its text, so windows are compared,
# not single samples: the lowest and the highest sample of the first quarter of the samples
# after a point against those of the last quarter. While GenInfo fills, the highs: the first
# samples still catch the window's start-up (its first paints map several MiB within the
# first second or two of wall time, while the first minute of file time passes in a
# fraction of one), so the early window's lowest sample is no base.
# window FROM_RECORDS: "n base_lo base_hi end_lo end_hi base_rec end_rec" over the samples
# taken once the log held FROM_RECORDS records.
window() {
  awk -v from="$1" '$3 >= from { n++; kb[n] = $2; rec[n] = $3 }
    END {
      if (n < 4) { print 0; exit }
      q = int(n / 4); blo = bhi = kb[1]; elo = ehi = kb[n]
      for (i = 1; i <= q; i++) { if (kb[i] < blo) blo = kb[i]; if (kb[i] > bhi) bhi = kb[i] }
      for (i = n - q + 1; i <= n; i++) { if (kb[i] < elo) elo = kb[i]; if (kb[i] > ehi) ehi = kb[i] }
      print n, blo, bhi, elo, ehi, rec[1], rec[n]
    }' rss.txt
}
geninfo_bound=5000
samples=$(wc -l <rss.txt)
read -r n1 lo1 hi1 elo1 ehi1 rec1 erec1 <<<"$(window 60)"
if [ "$n1" -lt 4 ]; then
  fail "too few memory samples after the first minute of file time ($n1)"
  growth1=0; allowance=0
else
  growth1=$(( ehi1 - hi1 ))
  gained=$(( (erec1 < geninfo_bound ? erec1 : geninfo_bound) - (rec1 < geninfo_bound ? rec1 : geninfo_bound) ))
  allowance=$(( 1024 + 3 * gained / 2 ))  # 1 MiB, plus 1.5 KiB for each line GenInfo gained
  [ "$growth1" -lt "$allowance" ] ||
    fail "resident memory grew by $growth1 KiB after the first minute (allowed $allowance KiB)"
fi
growth_full="-"
read -r n2 lo2 hi2 elo2 ehi2 rec2 erec2 <<<"$(window $geninfo_bound)"
if [ "$n2" -ge 4 ] && [ "$((erec2 - rec2))" -ge 3600 ]; then
  growth_full=$(( (elo2 - lo2) > (ehi2 - hi2) ? (elo2 - lo2) : (ehi2 - hi2) ))
  [ "$growth_full" -lt 1024 ] ||
    fail "resident memory grew by $growth_full KiB once GenInfo was full"
fi

# GenInfo: the program's own count at the end.
geninfo=$(sed -n 's/^corvane: GenInfo lines: \([0-9]*\)$/\1/p' stderr.txt | tail -n 1)
if [ -z "$geninfo" ]; then
  fail "the program did not report its GenInfo line count"
else
  want_geninfo=$((seconds < 5000 ? seconds : 5000))
  [ "$geninfo" -eq "$want_geninfo" ] || fail "GenInfo holds $geninfo lines, expected $want_geninfo"
fi

echo "soak summary"
printf '  file time       %d h (%d s); wall time %d.%03d s\n' "$hours" "$seconds" \
  $((wall_ms / 1000)) $((wall_ms % 1000))
echo "  exit status     $status"
echo "  records         $records (first $first, last $last, crossed midnight $midnights time(s))"
echo "                  malformed $malformed, gaps $gaps, repeats $repeats"
echo "  VmRSS           from minute 1 (record ${rec1:-?}): ${lo1:-?}..${hi1:-?} KiB;" \
  "at the end (record ${erec1:-?}): ${elo1:-?}..${ehi1:-?} KiB; growth $growth1 KiB" \
  "(allowed $allowance KiB while GenInfo fills)"
echo "                  once GenInfo was full (record ${rec2:-?}): ${lo2:-?}..${hi2:-?} KiB," \
  "at the end ${elo2:-?}..${ehi2:-?} KiB; growth $growth_full KiB (under 1024 required;" \
  "- when under an hour of records followed); $samples samples"
echo "  GenInfo lines   ${geninfo:-?}"
if [ "$failures" -gt 0 ]; then
  echo "soak: $failures check(s) failed"
  grep -v "^corvane: GenInfo lines" stderr.txt | tail -n 5 || true
  exit 1
fi
echo "soak: passed"
