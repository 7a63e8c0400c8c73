#!/usr/bin/env bash
# Publishing to a real broker: a private mosquitto on a free localhost port (stopped on every
# exit path), corvane on the simulated beacon, and mosquitto_sub checking what arrives.
#
#   1. A fast run of 60 s of records: every record arrives once, in order, with the CSV's
#      values; the run's description is retained with the CSV's figures.
#   2. The broker is stopped for 20 s of a real-time run and started again: every record
#      still arrives, in order. The counts (sent, received, duplicates, lost) are printed.
#   3. The broker is away for a whole run: its records wait on disk, and the next run, with
#      the broker back, sends them first.
#   4. TLS with a user and password from a credentials file; a wrong password is refused
#      and its records wait too.
#
#   scripts/mqtt-test.sh        (CORVANE: the program, default build/corvane)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
corvane="${CORVANE:-$root/build/corvane}"
mosquitto_bin="$(command -v mosquitto || echo /usr/sbin/mosquitto)"
work=$(mktemp -d)
broker=""
tls_broker=""
sub=""
tls_sub=""
app=""
cleanup() {
  for p in "$app" "$sub" "$tls_sub" "$broker" "$tls_broker"; do
    [ -n "$p" ] && kill "$p" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
cd "$work"
fail() { echo "mqtt-test: FAIL: $*" >&2; exit 1; }
# The program's saved settings (QSettings) stay out of the user's own.
export XDG_CONFIG_HOME="$work/config"

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
port=$(free_port)
url="mqtt://127.0.0.1:$port/corvane"

mkdir -p broker
cat >broker.conf <<EOF
listener $port 127.0.0.1
allow_anonymous true
# The subscriber's session and its undelivered messages survive the broker's restart.
persistence true
persistence_location $work/broker/
log_dest file $work/broker.log
user $(id -un)
EOF

# Waits until a broker answers on `$1` (more mosquitto_pub options after it).
wait_for_broker() {
  for _ in $(seq 100); do
    if mosquitto_pub "$@" -t corvane/ping -n 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  fail "the broker did not start: $(tail -3 "$work/broker.log" 2>/dev/null)"
}
start_broker() {
  "$mosquitto_bin" -c broker.conf 2>>broker.err &
  broker=$!
  wait_for_broker -h 127.0.0.1 -p "$port"
}
stop_broker() {
  kill -TERM "$broker"
  wait "$broker" 2>/dev/null || true
  broker=""
}

# Compares what the subscriber received on corvane/<station>/record with the rows of the
# CSVs, run after run. Rows are matched as a sequence, not as a set: two fast runs of the
# simulated beacon stamp the same seconds and may log identical rows. Prints the counts;
# fails on a record lost, one out of order, or a value that differs, and on a duplicate
# (a resend after a reconnection) unless `dup_ok` is given.
check_records() {
  local received=$1 station=$2 dup_ok=$3
  shift 3
  python3 - "$received" "$station" "$dup_ok" "$@" <<'PY'
import csv, json, sys
received_path, station, dup_ok = sys.argv[1:4]
header, sent = None, []
for csv_path in sys.argv[4:]:
    with open(csv_path, newline="") as f:
        rows = [r for r in csv.reader(line for line in f if not line.startswith("#"))]
    header = rows[0]
    sent += [tuple(r) for r in rows[1:]]
got = []
topic = "corvane/%s/record " % station
with open(received_path) as f:
    for line in f:
        if not line.startswith(topic):
            continue
        # Numbers as the text that came, so they compare with the CSV's own text.
        o = json.loads(line[len(topic):], parse_float=str, parse_int=str)
        if o.get("station") != station:
            sys.exit("record of station %r on %s" % (o.get("station"), topic))
        got.append(tuple("" if o[c] is None else str(o[c]) for c in header))
# The rows in their order, each matched to the first record after the previous match; the
# records left over are resends, or records that belong to no row.
known = set(sent)
matched = 0
for g in got:
    if matched < len(sent) and g == sent[matched]:
        matched += 1
unknown = [g for g in got if g not in known]
dups = len(got) - matched - len(unknown)
lost = len(sent) - matched
missing = [s for s in sent if s not in set(got)]
print("sent %d, received %d, duplicates %d, lost %d, in order: %s"
      % (len(sent), len(got), dups, len(missing), "yes" if lost == len(missing) else "NO"))
bad = []
if unknown:
    bad.append("%d record(s) with values of no CSV row, e.g. %s" % (len(unknown), unknown[0]))
if missing: bad.append("lost, e.g. %s" % (missing[0],))
if lost != len(missing): bad.append("out of order from row %d: %s" % (matched, sent[matched]))
if dups and not dup_ok: bad.append("duplicates")
if not sent: bad.append("no rows in the CSV")
if bad: sys.exit("; ".join(bad))
PY
}

# Waits until the subscriber writing to `$1` hears a ping published with the options after it.
wait_for_subscriber() {
  local file=$1
  shift
  for _ in $(seq 100); do
    mosquitto_pub "$@" -t corvane/ping -n 2>/dev/null || true
    grep -q '^corvane/ping' "$file" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "the subscriber did not start: $(cat "${file%.txt}.err" 2>/dev/null)"
}

# Waits until `$1` holds at least `$3` lines beginning with `$2`.
wait_for_lines() {
  local file=$1 prefix=$2 count=$3 limit=${4:-60}
  for _ in $(seq $((limit * 10))); do
    [ "$(grep -c "^$prefix" "$file" 2>/dev/null || true)" -ge "$count" ] && return 0
    sleep 0.1
  done
  return 1
}
rows() { grep -vc '^#' "$1" | awk '{print $1 - 1}'; }

start_broker
mosquitto_sub -h 127.0.0.1 -p "$port" -q 1 -c -i corvane-test-sub -t 'corvane/#' -v \
  >received.txt 2>received.err &
sub=$!
wait_for_subscriber received.txt -h 127.0.0.1 -p "$port"

echo "-- 1. 60 s of records, fast"
"$corvane" --input test --start --log --interval 1s --fast --quit-after 60 --csv p1.csv \
  --mqtt "$url/p1" 2>p1.err || fail "corvane exited with $? ($(tail -3 p1.err))"
sent=$(rows p1.csv)
[ "$sent" -ge 60 ] || fail "only $sent rows in the CSV"
wait_for_lines received.txt corvane/p1/record "$sent" 30 || true
check_records received.txt p1 "" p1.csv || fail "fast run"
run=$(mosquitto_sub -h 127.0.0.1 -p "$port" -t corvane/p1/run -C 1 -W 10) ||
  fail "no retained description of the run"
python3 - "$run" p1.csv <<'PY' || fail "the run's description"
import json, sys
run = json.loads(sys.argv[1], parse_float=str, parse_int=str)
lines = dict(l[2:].split(": ", 1) for l in open(sys.argv[2]).read().splitlines()
             if l.startswith("# "))
for key in ("sample_rate_hz", "fft_len", "window", "signal_band_hz", "started"):
    if run[key] != lines[key]:
        sys.exit("%s: %r on the topic, %r in the CSV" % (key, run[key], lines[key]))
PY

echo "-- 2. The broker stopped for 20 s of a real-time run, then started again"
"$corvane" --input test --start --log --interval 1s --quit-after 50 --csv p2.csv \
  --mqtt "$url/p2" 2>p2.err &
app=$!
sleep 12
stop_broker
down=$(date -u +%Y-%m-%dT%H:%M:%SZ)
sleep 20
start_broker
up=$(date -u +%Y-%m-%dT%H:%M:%SZ)
status=0
wait "$app" || status=$?
app=""
[ "$status" -eq 0 ] || fail "corvane exited with $status ($(tail -3 p2.err))"
grep -q "MQTT: broker unreachable" p2.err || fail "the loss was not reported: $(tail -5 p2.err)"
[ "$(grep -c "MQTT: connected" p2.err)" -ge 2 ] || fail "no reconnection: $(tail -5 p2.err)"
sent=$(rows p2.csv)
away=$(awk -F, -v d="$down" -v u="$up" '$1 >= d && $1 < u' p2.csv | wc -l)
[ "$away" -ge 18 ] || fail "only $away records made while the broker was away"
wait_for_lines received.txt corvane/p2/record "$sent" 60 || true
echo "broker away from $down to $up ($away records made meanwhile)"
check_records received.txt p2 dup_ok p2.csv || fail "outage run"

echo "-- 3. The broker away for a whole run; the next run sends what it left"
stop_broker
"$corvane" --input test --start --log --interval 1s --fast --quit-after 30 --csv p3a.csv \
  --mqtt "$url/p3" 2>p3a.err || fail "corvane exited with $? ($(tail -3 p3a.err))"
grep -q "left in SIGREC.TXT.mqtt-queue for the next start" p3a.err ||
  fail "nothing said about the queue: $(tail -3 p3a.err)"
left=$(grep -c '^R ' SIGREC.TXT.mqtt-queue || true)
[ "$left" -eq "$(rows p3a.csv)" ] || fail "$left records queued for $(rows p3a.csv) rows"
start_broker
"$corvane" --input test --start --log --interval 1s --fast --quit-after 10 --csv p3b.csv \
  --mqtt "$url/p3" 2>p3b.err || fail "corvane exited with $? ($(tail -3 p3b.err))"
wait_for_lines received.txt corvane/p3/record $(($(rows p3a.csv) + $(rows p3b.csv))) 30 || true
check_records received.txt p3 "" p3a.csv p3b.csv || fail "records kept over a restart"

echo "-- 4. TLS, with a user and password from a file"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
  -subj /CN=corvane-test-ca 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj /CN=localhost \
  2>/dev/null
printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\n' >san.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem \
  -days 2 -extfile san.ext 2>/dev/null
mosquitto_passwd -b -c passwd station right-password 2>/dev/null
tls_port=$(free_port)
cat >tls.conf <<EOF
listener $tls_port 127.0.0.1
cafile $work/ca.pem
certfile $work/server.pem
keyfile $work/server.key
allow_anonymous false
password_file $work/passwd
log_dest file $work/tls-broker.log
user $(id -un)
EOF
"$mosquitto_bin" -c tls.conf 2>>broker.err &
tls_broker=$!
tls=(-h localhost -p "$tls_port" --cafile ca.pem -u station -P right-password)
wait_for_broker "${tls[@]}"
mosquitto_sub "${tls[@]}" -q 1 -t 'corvane/#' -v >tls-received.txt 2>tls-received.err &
tls_sub=$!
wait_for_subscriber tls-received.txt "${tls[@]}"
printf 'user=station\npassword=wrong\nca_file=%s\n' "$work/ca.pem" >wrong.cred
printf 'user=station\npassword=right-password\nca_file=%s\n' "$work/ca.pem" >right.cred
chmod 600 wrong.cred right.cred
"$corvane" --input test --start --log --interval 1s --fast --quit-after 5 --csv p4a.csv \
  --mqtt "mqtts://localhost:$tls_port/corvane/p4" --mqtt-credentials wrong.cred 2>p4a.err ||
  fail "corvane exited with $? ($(tail -3 p4a.err))"
grep -q "refused the connection" p4a.err || fail "a wrong password not reported: $(tail -3 p4a.err)"
"$corvane" --input test --start --log --interval 1s --fast --quit-after 5 --csv p4b.csv \
  --mqtt "mqtts://localhost:$tls_port/corvane/p4" --mqtt-credentials right.cred 2>p4b.err ||
  fail "corvane exited with $? ($(tail -3 p4b.err))"
wait_for_lines tls-received.txt corvane/p4/record $(($(rows p4a.csv) + $(rows p4b.csv))) 30 ||
  true
check_records tls-received.txt p4 "" p4a.csv p4b.csv || fail "TLS"
echo "mqtt-test: passed"
