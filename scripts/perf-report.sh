#!/usr/bin/env bash
# Measures what Corvane costs on this machine and writes docs/performance.md:
#   - per-block time of the whole block path, engine alone and with drawing, for every
#     offered FFT length at 12000 and 48000 Hz with HistLen 16 and 64 (bench/pipeline_bench);
#   - the FFT and engine benchmarks of corvane_bench;
#   - CPU use of real-time runs on the test signal, and of an idle window;
#   - the time of one hour of 12000 Hz audio in --fast mode (test signal and a WAV file);
#   - with --profile, a callgrind profile of a --fast run (needs valgrind).
# Usage: scripts/perf-report.sh [--profile] [--quick]
#   CORVANE_BUILD_DIR   build directory (default: build-perf)
#   CORVANE_SOURCE_DIR  source tree to build (default: this checkout); for example a clean
#                       `git archive HEAD` export while the checkout holds unfinished edits
#   --quick            10 s real-time runs and short benchmarks, for trying the script out.
# Needs: cmake, ninja, a C++ compiler, Qt 6, Google Benchmark, sox, python3.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
src="${CORVANE_SOURCE_DIR:-$repo}"
build="${CORVANE_BUILD_DIR:-$repo/build-perf}"
out="$repo/docs/performance.md"
profile=0
quick=0
for a in "$@"; do
  case "$a" in
    --profile) profile=1 ;;
    --quick) quick=1 ;;
    *) echo "usage: $0 [--profile] [--quick]" >&2; exit 2 ;;
  esac
done
command_line="scripts/perf-report.sh${*:+ $*}"

rt_seconds=60      # measured stretch of each real-time run
idle_seconds=30
settle=10          # start-up left out of the real-time figures
min_time=0.5
if [[ $quick == 1 ]]; then rt_seconds=10; idle_seconds=5; settle=3; min_time=0.05; fi

echo "== build ($build)" >&2
cmake -S "$src" -B "$build" -G Ninja -DCORVANE_GUI=ON -DCORVANE_BENCH=ON >/dev/null
cmake --build "$build" --target corvane pipeline_bench corvane_bench >/dev/null
corvane="$build/corvane"

work="$(mktemp -d /tmp/corvane-perf.XXXXXX)"
trap 'rm -rf "$work"' EXIT
results="$work/results"
mkdir -p "$results"
export QT_QPA_PLATFORM=offscreen
clk_tck="$(getconf CLK_TCK)"

loadavg() { cut -d' ' -f1-3 /proc/loadavg; }
echo "$(loadavg)" >"$results/load_start"
# The commit measured: the source tree's, else this checkout's as the run starts.
{ git -C "$src" rev-parse --short HEAD 2>/dev/null || git -C "$repo" rev-parse --short HEAD; } \
  >"$results/commit"

# Settings file: rate, FFT length, centre bin (1000 Hz), bandwidth bins (100 Hz), FMin,
# FMax (0.45 x rate), stability dB, detection frames, log interval s, log file, HistLen.
write_ini() {  # dir rate len
  local rate=$2 len=$3
  local cb=$(( (1000 * len + rate / 2) / rate ))
  local bw=$(( (100 * len + rate / 2) / rate ))
  local fmax=$(( rate * 45 / 100 ))
  printf ' %s \r\n %s \r\n %s \r\n %s \r\n 20 \r\n %s \r\n 10 \r\n 4 \r\n 1 \r\nSIGREC.TXT\r\n 16 \r\n' \
    "$rate" "$len" "$cb" "$bw" "$fmax" >"$1/CORVANE.INI"
}

records() {  # dir -> lines of its log file
  if [[ -f "$1/SIGREC.TXT" ]]; then wc -l <"$1/SIGREC.TXT"; else echo 0; fi
}

cpu_ticks() {  # pid -> utime + stime in clock ticks
  awk '{ print $14 + $15 }' "/proc/$1/stat"
}

# Runs corvane in `dir` with `args`, and gives the CPU seconds it used from `settle` s after
# start over the next `span` s, as "cpu_s span_s".
cpu_over() {  # dir span args...
  local dir=$1 span=$2
  shift 2
  (cd "$dir" && exec "$corvane" "$@" >/dev/null 2>&1) &
  local pid=$!
  sleep "$settle"
  local t0 c0 t1 c1
  t0=$(date +%s.%N); c0=$(cpu_ticks "$pid")
  sleep "$span"
  t1=$(date +%s.%N); c1=$(cpu_ticks "$pid")
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  python3 -c "print(($c1 - $c0) / $clk_tck, $t1 - $t0)"
}

echo "== per-block benchmarks" >&2
(cd "$work" && "$build/bench/pipeline_bench" --benchmark_min_time="$min_time" \
  --benchmark_format=json --benchmark_out="$results/pipeline.json" >/dev/null)
echo "$(loadavg)" >"$results/load_bench"
"$build/bench/corvane_bench" --benchmark_min_time="$min_time" \
  --benchmark_filter='BM_ComplexFFT/|BM_EngineBlock' \
  --benchmark_format=json --benchmark_out="$results/core.json" >/dev/null

echo "== real-time runs" >&2
for cfg in "12000 8192" "48000 1024"; do
  set -- $cfg
  d="$work/rt_$1_$2"; mkdir -p "$d"; write_ini "$d" "$1" "$2"
  r=$(cpu_over "$d" "$rt_seconds" --input test --start --log \
      --quit-after $((settle + rt_seconds + 30)))
  echo "$1 $2 $r $(records "$d") $(loadavg)" >>"$results/realtime"
done

echo "== idle" >&2
d="$work/idle_wav"; mkdir -p "$d"; write_ini "$d" 12000 8192
sox -n -r 12000 -c 2 -b 16 "$d/short.wav" synth 5 sine 1000 vol 0.1
r=$(cpu_over "$d" "$idle_seconds" --input "$d/short.wav" --quit-after $((settle + idle_seconds + 30)))
echo "wav $r $(loadavg)" >>"$results/idle"
d="$work/idle_none"; mkdir -p "$d"; write_ini "$d" 12000 8192
r=$(cpu_over "$d" "$idle_seconds" --quit-after $((settle + idle_seconds + 30)))
echo "none $r $(loadavg)" >>"$results/idle"

echo "== one hour in --fast mode" >&2
timed() {  # name dir args... : user sys wall records
  local name=$1 dir=$2
  shift 2
  rm -f "$dir/SIGREC.TXT"
  (cd "$dir" && /usr/bin/time -f '%U %S %e' -o "$work/time.txt" "$corvane" "$@" >/dev/null 2>&1)
  echo "$name $(cat "$work/time.txt") $(records "$dir") $(loadavg)" \
    >>"$results/fast"
}
d="$work/fast"; mkdir -p "$d"; write_ini "$d" 12000 8192
timed test_log "$d" --input test --start --log --fast --quit-after 3600
timed test_nolog "$d" --input test --start --fast --quit-after 3600
# A one-hour I/Q beacon at 1000 Hz in noise, made here and removed afterwards.
sox -n -r 12000 -c 2 -b 16 "$work/tone.wav" synth 3600 sine 1000 0 0 25 sine 1000 vol 0.05
sox -n -r 12000 -c 2 -b 16 "$work/noise.wav" synth 3600 whitenoise vol 0.1
sox -m "$work/tone.wav" "$work/noise.wav" "$d/hour.wav"
rm -f "$work/tone.wav" "$work/noise.wav"
timed wav_log "$d" --input "$d/hour.wav" --start --log --fast
timed wav_nolog "$d" --input "$d/hour.wav" --start --fast
rm -f "$d/hour.wav"

if [[ $profile == 1 ]]; then
  echo "== callgrind profile" >&2
  d="$work/prof"; mkdir -p "$d"; write_ini "$d" 12000 8192
  (cd "$d" && valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" \
    --toggle-collect='corvane::BlockLoop::processBlock()' \
    --toggle-collect='QWidgetRepaintManager::sync*' \
    --toggle-collect='corvane::PacedSource::onTimer()' \
    "$corvane" --input test --start --log --fast --quit-after 600 >/dev/null 2>&1)
  callgrind_annotate --inclusive=yes --threshold=100 "$work/callgrind.out" 2>/dev/null \
    >"$results/callgrind_inclusive.txt"
  echo "$(( (600 * 12000 + 8191) / 8192 ))" >"$results/callgrind_blocks"
fi
echo "$(loadavg)" >"$results/load_end"

echo "== writing $out" >&2
mkdir -p "$repo/docs"
python3 - "$results" "$out" "$command_line" "$rt_seconds" "$idle_seconds" "$repo" <<'PY'
import json, os, re, subprocess, sys
res, out, cmd, rt_s, idle_s, repo = sys.argv[1:7]

def read(name):
    p = os.path.join(res, name)
    return open(p).read().strip() if os.path.exists(p) else ""

cpu_model = "unknown"
for line in open("/proc/cpuinfo"):
    if line.startswith("model name"):
        cpu_model = line.split(":", 1)[1].strip()
        break
nproc = subprocess.run(["nproc"], capture_output=True, text=True).stdout.strip()
commit = read("commit")

pipe = json.load(open(os.path.join(res, "pipeline.json")))
core = json.load(open(os.path.join(res, "core.json")))
ctx = pipe["context"]

def us(b):  # CPU time of one iteration in microseconds
    t = b["cpu_time"]
    return {"ns": t / 1000, "us": t, "ms": t * 1000}[b["time_unit"]]
def wall_us(b):
    t = b["real_time"]
    return {"ns": t / 1000, "us": t, "ms": t * 1000}[b["time_unit"]]

rows = {}
for b in pipe["benchmarks"]:
    m = re.match(r"BM_Block_(\w+)/rate:(\d+)/fft:(\d+)/hist:(\d+)", b["name"])
    if not m:
        continue
    kind, rate, fft, hist = m.group(1), int(m.group(2)), int(m.group(3)), int(m.group(4))
    rows.setdefault((rate, hist, fft), {})[kind] = b

L = []
w = L.append
w("# Corvane performance on this machine")
w("")
exported = " (built from a clean export of it)" if os.environ.get("CORVANE_SOURCE_DIR") else ""
w(f"Made by `{cmd}` at commit {commit}{exported}. Build: {os.environ.get('CMAKE_BUILD_TYPE', 'RelWithDebInfo')} "
  "(the default). Everything runs offscreen (`-platform offscreen`).")
w("")
w("| | |")
w("|---|---|")
w(f"| `nproc` | {nproc} |")
w(f"| CPU | {cpu_model} |")
w(f"| load average (1, 5, 15 min) at start | {read('load_start')} |")
w(f"| after the benchmarks | {read('load_bench')} |")
w(f"| at the end | {read('load_end')} |")
w(f"| plot size in the default window | {ctx.get('plot_px', '?')} px |")
w("")
w("The machine is shared: with a load average above the core count, wall times stretch while "
  "CPU times hold, so the figures below are CPU times unless said otherwise.")
w("")
w("## Per-block time of the whole block path")
w("")
w("`bench/pipeline_bench`: one block of the simulated beacon through `ConvertBlock`, "
  "`ComplexFFT` and `MeasurementEngine::ProcessBlock` (engine), and the same plus "
  "`BandPlot::drawBlock`, `WaterfallWindow::paintRow` / `scrollRow` and the paint events "
  "of both shown windows (drawn). Band 20 Hz .. 0.45 x rate. CPU time per block, and as a "
  "share of the block's duration (FFTLen / rate).")
w("")
w("| rate Hz | HistLen | FFT | block ms | engine us | engine % | drawn us | drawn % | drawn wall us |")
w("|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
for (rate, hist, fft) in sorted(rows):
    r = rows[(rate, hist, fft)]
    block_us = fft / rate * 1e6
    e, d = r.get("engine"), r.get("drawn")
    cells = [str(rate), str(hist), str(fft), f"{block_us / 1000:.1f}"]
    for x in (e, d):
        cells += [f"{us(x):.0f}", f"{100 * us(x) / block_us:.3f}"] if x else ["-", "-"]
    cells.append(f"{wall_us(d):.0f}" if d else "-")
    w("| " + " | ".join(cells) + " |")
w("")
w("Target (issue 3): the engine well under 1 % of the block's duration at 48000 Hz for every "
  "FFT length.")
w("")

w("## FFT and engine (corvane_bench)")
w("")
w("| benchmark | CPU us |")
w("|---|---:|")
for b in core["benchmarks"]:
    w(f"| {b['name']} | {us(b):.1f} |")
w("")

w("## Real-time runs")
w("")
w(f"The test signal, paced in real time, START and logging every second; CPU time "
  f"(utime + stime of the process, all threads, from /proc/<pid>/stat) over {rt_s} s, "
  "start-up left out.")
w("")
w("| rate Hz | FFT | CPU s | over s | share of one core | target | records | load then |")
w("|---:|---:|---:|---:|---:|---|---:|---|")
target = {(12000, 8192): "under 2 %", (48000, 1024): "under 10 %"}
for line in read("realtime").splitlines():
    f = line.split()
    rate, fft, cpu, span, recs = int(f[0]), int(f[1]), float(f[2]), float(f[3]), f[4]
    w(f"| {rate} | {fft} | {cpu:.2f} | {span:.0f} | {100 * cpu / span:.2f} % | "
      f"{target.get((rate, fft), '')} | {recs} | {' '.join(f[5:8])} |")
w("")
w(f"Idle: the window open with nothing captured, CPU over {idle_s} s.")
w("")
w("| state | CPU s | over s | share of one core |")
w("|---|---:|---:|---:|")
names = {"wav": "WAV file selected, before START", "none": "no input chosen, before START"}
for line in read("idle").splitlines():
    f = line.split()
    cpu, span = float(f[1]), float(f[2])
    w(f"| {names.get(f[0], f[0])} | {cpu:.2f} | {span:.0f} | {100 * cpu / span:.2f} % |")
w("")

w("## One hour of 12000 Hz audio at 8192 points in --fast mode")
w("")
w("Target (issue 5): under 20 s. The WAV file is an I/Q tone at 1000 Hz in noise made with "
  "sox; `--log` writes one record a second (3600 records).")
w("")
w("| input | logging | user s | sys s | CPU s | wall s | records | load then |")
w("|---|---|---:|---:|---:|---:|---:|---|")
labels = {"test_log": ("test signal", "on"), "test_nolog": ("test signal", "off"),
          "wav_log": ("one-hour WAV", "on"), "wav_nolog": ("one-hour WAV", "off")}
for line in read("fast").splitlines():
    f = line.split()
    user, sys_, wall = float(f[1]), float(f[2]), float(f[3])
    src, log = labels.get(f[0], (f[0], ""))
    w(f"| {src} | {log} | {user:.2f} | {sys_:.2f} | {user + sys_:.2f} | {wall:.2f} | {f[4]} | "
      f"{' '.join(f[5:8])} |")
w("")

prof = read("callgrind_inclusive.txt")
if prof:
    blocks = int(read("callgrind_blocks"))
    incl = {}
    for line in prof.splitlines():
        m = re.match(r"\s*([\d,]+)\s+\([\s\d.]+%\)\s+(.*)$", line)
        if m:
            name = m.group(2)
            name = re.sub(r"\s*\[[^\]]*\]$", "", name).split(":", 1)[-1] if ":" in name else name
            incl.setdefault(name, int(m.group(1).replace(",", "")))
    def find(key):
        best = 0
        for name, ir in incl.items():
            if name.startswith(key):
                best = max(best, ir)
        return best
    parts = [
        ("whole block (processBlock)", "corvane::BlockLoop::processBlock()"),
        ("  ConvertBlock", "corvane::ConvertBlock("),
        ("  ComplexFFT", "Module1::ComplexFFT("),
        ("  MeasurementEngine::ProcessBlock", "corvane::MeasurementEngine::ProcessBlock("),
        ("  BandPlot::drawBlock", "corvane::BandPlot::drawBlock(float"),
        ("    of which the trace lines", "corvane::BandPlot::drawTrace("),
        ("    of which the copy of the cached grid", "QImage::copy("),
        ("  WaterfallWindow::paintRow", "corvane::WaterfallWindow::paintRow("),
        ("  WaterfallWindow::scrollRow", "corvane::WaterfallWindow::scrollRow("),
        ("  read-out labels (ApplyReadouts)", "corvane::CorvaneWindow::ApplyReadouts("),
        ("  level meter (ShowInputLevel)", "corvane::CorvaneWindow::ShowInputLevel("),
        ("  one-second tick (Timer1_Timer)", "corvane::CorvaneWindow::Timer1_Timer("),
        ("    of which the log record", "corvane::LogPanel::WriteRecord("),
        ("repaint of the windows (QWidgetRepaintManager::sync)", "QWidgetRepaintManager::sync()"),
        ("test signal generation (PacedSource::onTimer)", "corvane::PacedSource::onTimer()"),
    ]
    w("## Profile")
    w("")
    w("callgrind (instructions executed, not time) over a 600 s `--fast` run of the test "
      "signal at 12000 Hz / 8192 points, HistLen 16, band 20 .. 5400 Hz, logging every "
      f"second: {blocks} blocks. Collected inside the block, the repaints and the test "
      "signal source only, so start-up is left out.")
    w("")
    w("| part | instructions per block |")
    w("|---|---:|")
    for label, key in parts:
        ir = find(key)
        if ir:
            indent = (len(label) - len(label.lstrip())) // 2
            w(f"| {'&emsp;' * indent}{label.strip()} | {ir / blocks / 1e6:.2f} M |")
    w("")

notes = os.path.join(repo, "docs", "performance-notes.md")
if os.path.exists(notes):
    w(open(notes).read().rstrip())
    w("")
open(out, "w").write("\n".join(L))
PY
echo "wrote $out" >&2
