#!/usr/bin/env bash
# Measures what Corvane costs on this machine and writes docs/performance.md:
#   - per-block time of the block path and per-frame time of the paints, for every offered
#     FFT length at 12000 and 48000 Hz with HistLen 16 and 64 (bench/pipeline_bench);
#   - the FFT and engine benchmarks of corvane_bench;
#   - CPU use of real-time runs, on a real X display (Xvfb, scripts/display.sh) and
#     offscreen, from a WAV file paced in real time and from the test signal, and of an
#     idle window;
#   - one hour of 12000 Hz audio in --fast mode at 8192 and 1024 points, on both displays,
#     side by side with bench/lower_bound.cpp (window, FFT with FFTW, power and averaging
#     over the same file, nothing else);
#   - with --profile, a callgrind profile of a --fast run (needs valgrind).
# CPU figures are CPU seconds of the process (utime + stime from /proc/PID/stat, or user +
# sys from /usr/bin/time): the machine may be shared, and they hold where wall time stretches.
# Usage: scripts/perf-report.sh [--profile] [--quick] [--runs-only]
#   CORVANE_BUILD_DIR   build directory (default: build-perf)
#   CORVANE_SOURCE_DIR  source tree to build (default: this checkout); for example a clean
#                       `git archive HEAD` export while the checkout holds unfinished edits,
#                       or an older commit to compare with
#   CORVANE_REPORT_OUT  where to write the report (default: docs/performance.md)
#   --quick            10 s real-time runs, short benchmarks and a 10-minute file
#   --runs-only        the program runs only, no benchmarks (for a tree without them)
# Needs: cmake, ninja, a C++ compiler, Qt 6, Google Benchmark, FFTW (libfftw3-dev), sox,
# python3, Xvfb and openbox (scripts/display.sh).
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
src="${CORVANE_SOURCE_DIR:-$repo}"
build="${CORVANE_BUILD_DIR:-$repo/build-perf}"
out="${CORVANE_REPORT_OUT:-$repo/docs/performance.md}"
profile=0
quick=0
benches=1
for a in "$@"; do
  case "$a" in
    --profile) profile=1 ;;
    --quick) quick=1 ;;
    --runs-only) benches=0 ;;
    *) echo "usage: $0 [--profile] [--quick] [--runs-only]" >&2; exit 2 ;;
  esac
done
command_line="scripts/perf-report.sh${*:+ $*}"

rt_seconds=60      # measured stretch of each real-time run
idle_seconds=30
settle=10          # start-up left out of the real-time figures
min_time=0.5
hour=3600          # length of the --fast file
repeats=3          # --fast runs and the lower bound: the median of this many
if [[ $quick == 1 ]]; then
  rt_seconds=10; idle_seconds=5; settle=3; min_time=0.05; hour=600; repeats=1
fi

echo "== build ($build)" >&2
targets=(corvane)
[[ $benches == 1 ]] && targets+=(pipeline_bench corvane_bench)
cmake -S "$src" -B "$build" -G Ninja -DCORVANE_GUI=ON -DCORVANE_BENCH=ON >/dev/null
cmake --build "$build" --target "${targets[@]}" >/dev/null
corvane="$build/corvane"

work="$(mktemp -d /tmp/corvane-perf.XXXXXX)"
results="$work/results"
mkdir -p "$results"
cleanup() {
  "$repo/scripts/display.sh" stop "$work/display" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
clk_tck="$(getconf CLK_TCK)"

# The lower bound is built from this checkout whatever tree is measured, with the flags of
# the default build.
g++ -std=c++20 -O2 -o "$work/lower_bound" "$repo/bench/lower_bound.cpp" \
  $(pkg-config --cflags --libs fftw3f)

eval "$("$repo/scripts/display.sh" start "$work/display")"
xvfb_display=$DISPLAY
xvfb_auth=$XAUTHORITY
unset DISPLAY XAUTHORITY

# The environment of the named display, "xvfb" (the X server above) or "offscreen", as a
# command prefix in the array `denv`.
display_env() {  # display
  if [[ $1 == xvfb ]]; then
    denv=(env -u QT_QPA_PLATFORM DISPLAY="$xvfb_display" XAUTHORITY="$xvfb_auth")
  else
    denv=(env -u DISPLAY QT_QPA_PLATFORM=offscreen)
  fi
}

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

# An I/Q beacon at 1000 Hz in noise, made with sox: about 30 dB S/N in 1 Hz, clear of the
# alarm's 40 dB, so no run is timing the alarm's repaints and sound.
make_wav() {  # file rate seconds
  sox -n -r "$2" -c 2 -b 16 "$work/tone.wav" synth "$3" sine 1000 0 0 25 sine 1000 vol 0.015
  sox -n -r "$2" -c 2 -b 16 "$work/noise.wav" synth "$3" whitenoise vol 0.1
  sox -m "$work/tone.wav" "$work/noise.wav" "$1"
  rm -f "$work/tone.wav" "$work/noise.wav"
}

# Runs corvane in `dir` on `display` with `args`, and gives the CPU seconds it used from
# `settle` s after start over the next `span` s, and its resident size then (kB), as
# "cpu_s span_s rss_kb".
cpu_over() {  # display dir span args...
  local dir=$2 span=$3
  display_env "$1"
  shift 3
  (cd "$dir" && exec "${denv[@]}" "$corvane" "$@" >/dev/null 2>&1) &
  local pid=$!
  sleep "$settle"
  local t0 c0 t1 c1 rss
  t0=$(date +%s.%N); c0=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
  sleep "$span"
  t1=$(date +%s.%N); c1=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
  rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status")
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  python3 -c "print(($c1 - $c0) / $clk_tck, $t1 - $t0, $rss)"
}

if [[ $benches == 1 ]]; then
  echo "== per-block and per-frame benchmarks" >&2
  (cd "$work" && "$build/bench/pipeline_bench" --benchmark_min_time="$min_time" \
    --benchmark_format=json --benchmark_out="$results/pipeline.json" >/dev/null)
  echo "$(loadavg)" >"$results/load_bench"
  "$build/bench/corvane_bench" --benchmark_min_time="$min_time" \
    --benchmark_filter='BM_ComplexFFT/|BM_EngineBlock' \
    --benchmark_format=json --benchmark_out="$results/core.json" >/dev/null
fi

echo "== real-time runs" >&2
for cfg in "48000 1024" "12000 8192"; do
  set -- $cfg
  rate=$1 len=$2
  make_wav "$work/rt_$rate.wav" "$rate" $((settle + rt_seconds + 60))
  for display in xvfb offscreen; do
    for input in wav test; do
      d="$work/rt_${rate}_${len}_${display}_$input"; mkdir -p "$d"; write_ini "$d" "$rate" "$len"
      arg=test
      [[ $input == wav ]] && arg="$work/rt_$rate.wav"
      r=$(cpu_over "$display" "$d" "$rt_seconds" --input "$arg" --start --log \
          --quit-after $((settle + rt_seconds + 30)))
      echo "$rate $len $display $input $r $(records "$d") $(loadavg)" >>"$results/realtime"
    done
  done
  rm -f "$work/rt_$rate.wav"
done

echo "== idle" >&2
d="$work/idle_wav"; mkdir -p "$d"; write_ini "$d" 12000 8192
sox -n -r 12000 -c 2 -b 16 "$d/short.wav" synth 5 sine 1000 vol 0.1
r=$(cpu_over xvfb "$d" "$idle_seconds" --input "$d/short.wav" \
    --quit-after $((settle + idle_seconds + 30)))
echo "wav $r $(loadavg)" >>"$results/idle"
d="$work/idle_none"; mkdir -p "$d"; write_ini "$d" 12000 8192
r=$(cpu_over xvfb "$d" "$idle_seconds" --quit-after $((settle + idle_seconds + 30)))
echo "none $r $(loadavg)" >>"$results/idle"

echo "== one hour in --fast mode, and the lower bound" >&2
# user sys wall maxrss_kb of one run of a command, from /usr/bin/time.
timed_once() {  # dir display command...
  local dir=$1
  display_env "$2"
  shift 2
  (cd "$dir" && "${denv[@]}" /usr/bin/time -f '%U %S %e %M' -o "$work/time.txt" \
    "$@" >/dev/null 2>&1)
  cat "$work/time.txt"
}
# The run of median CPU (user + sys) among `repeats`.
timed() {  # dir display command...
  local runs=()
  for _ in $(seq "$repeats"); do
    rm -f "$1/SIGREC.TXT"
    runs+=("$(timed_once "$@") $(records "$1")")
  done
  printf '%s\n' "${runs[@]}" | awk '{ print $1 + $2, $0 }' | sort -n | \
    awk -v m=$(( (repeats + 1) / 2 )) 'NR == m { $1 = ""; print substr($0, 2) }'
}
d="$work/fast"; mkdir -p "$d"
make_wav "$d/hour.wav" 12000 "$hour"
# Start-up and shutdown alone: the same run over a 10 s file. What a Qt program pays in the
# kernel to start (mapping its libraries, the display, fonts) is the same for any length.
make_wav "$d/start.wav" 12000 10
for len in 8192 1024; do
  write_ini "$d" 12000 "$len"
  echo "lower $len x $(timed "$d" offscreen "$work/lower_bound" "$d/hour.wav" "$len" 16) $(loadavg)" \
    >>"$results/fast"
  for display in xvfb offscreen; do
    for log in on off; do
      logarg=()
      [[ $log == on ]] && logarg=(--log)
      echo "corvane $len $display $log $(timed "$d" "$display" "$corvane" --input "$d/hour.wav" \
        --start "${logarg[@]}" --fast) $(loadavg)" >>"$results/fast"
      echo "$len $display $log $(timed "$d" "$display" "$corvane" --input "$d/start.wav" \
        --start "${logarg[@]}" --fast)" >>"$results/startup"
    done
  done
done
rm -f "$d/hour.wav" "$d/start.wav"
echo "$hour" >"$results/hour"
echo "$repeats" >"$results/repeats"

if [[ $profile == 1 ]]; then
  echo "== callgrind profile" >&2
  d="$work/prof"; mkdir -p "$d"; write_ini "$d" 12000 8192
  display_env xvfb
  (cd "$d" && "${denv[@]}" valgrind --tool=callgrind \
    --callgrind-out-file="$work/callgrind.out" \
    --toggle-collect='corvane::BlockLoop::processBlock()' \
    --toggle-collect='QWidgetRepaintManager::sync*' \
    --toggle-collect='corvane::PacedSource::onTimer()' \
    --toggle-collect='corvane::FramePacer::*' \
    "$corvane" --input test --start --log --fast --quit-after 600 >/dev/null 2>&1)
  callgrind_annotate --inclusive=yes --threshold=100 "$work/callgrind.out" 2>/dev/null \
    >"$results/callgrind_inclusive.txt"
  echo "$(( (600 * 12000 + 8191) / 8192 ))" >"$results/callgrind_blocks"
fi
echo "$(loadavg)" >"$results/load_end"

echo "== writing $out" >&2
mkdir -p "$(dirname "$out")"
python3 - "$results" "$out" "$command_line" "$rt_seconds" "$idle_seconds" "$repo" <<'PY'
import json, os, re, statistics, subprocess, sys
res, out, cmd, rt_s, idle_s, repo = sys.argv[1:7]

def read(name):
    p = os.path.join(res, name)
    return open(p).read().strip() if os.path.exists(p) else ""

def load_json(name):
    p = os.path.join(res, name)
    return json.load(open(p)) if os.path.exists(p) else None

cpu_model = "unknown"
for line in open("/proc/cpuinfo"):
    if line.startswith("model name"):
        cpu_model = line.split(":", 1)[1].strip()
        break
nproc = subprocess.run(["nproc"], capture_output=True, text=True).stdout.strip()
commit = read("commit")
pipe = load_json("pipeline.json")
core = load_json("core.json")

def us(b):  # CPU time of one iteration in microseconds
    t = b["cpu_time"]
    return {"ns": t / 1000, "us": t, "ms": t * 1000}[b["time_unit"]]

L = []
w = L.append
w("# Corvane performance on this machine")
w("")
exported = " (built from a clean export of it)" if os.environ.get("CORVANE_SOURCE_DIR") else ""
w(f"Made by `{cmd}` at commit {commit}{exported}. Build: "
  f"{os.environ.get('CMAKE_BUILD_TYPE', 'RelWithDebInfo')} (the default). Programs run on a "
  "real X display (Xvfb with a window manager, `scripts/display.sh`) and offscreen "
  "(`-platform offscreen`), as the tables say.")
w("")
w("| | |")
w("|---|---|")
w(f"| `nproc` | {nproc} |")
w(f"| CPU | {cpu_model} |")
w(f"| load average (1, 5, 15 min) at start | {read('load_start')} |")
if read("load_bench"):
    w(f"| after the benchmarks | {read('load_bench')} |")
w(f"| at the end | {read('load_end')} |")
if pipe:
    w(f"| plot size in the default window | {pipe['context'].get('plot_px', '?')} px |")
w("")
w("The machine is shared with other builds: with a load average above the core count, wall "
  "times stretch while CPU times hold, so every figure below is CPU time of the process "
  "(utime + stime from /proc/PID/stat for the real-time runs, user + sys from /usr/bin/time "
  "for the others) unless it says wall.")
w("")

# ---- real time
w("## Real-time runs")
w("")
w(f"START with logging every second, the waterfall window shown; CPU over {rt_s} s after "
  "start-up. `WAV` is a file of an I/Q tone in noise paced at its own rate, as a sound card "
  "delivers it; `test signal` is the simulated beacon, whose noise generator costs about as "
  "much again at 48000 Hz. Resident size as the run ends.")
w("")
w("| display | input | rate Hz | FFT | CPU s | over s | share of one core | target | resident MB | records | load then |")
w("|---|---|---:|---:|---:|---:|---:|---|---:|---:|---|")
target = {(48000, 1024): "under 5 %", (12000, 8192): "under 1 %"}
names = {"xvfb": "Xvfb", "offscreen": "offscreen", "wav": "WAV", "test": "test signal"}
for line in read("realtime").splitlines():
    f = line.split()
    rate, fft, disp, inp = int(f[0]), int(f[1]), f[2], f[3]
    cpu, span, rss, recs = float(f[4]), float(f[5]), float(f[6]), f[7]
    tgt = target.get((rate, fft), "") if disp == "xvfb" else ""
    w(f"| {names[disp]} | {names[inp]} | {rate} | {fft} | {cpu:.2f} | {span:.0f} | "
      f"{100 * cpu / span:.2f} % | {tgt} | {rss / 1024:.0f} | {recs} | {' '.join(f[8:11])} |")
w("")
w(f"Idle on Xvfb: the window open with nothing captured, CPU over {idle_s} s.")
w("")
w("| state | CPU s | over s | share of one core |")
w("|---|---:|---:|---:|")
idle_names = {"wav": "WAV file selected, before START", "none": "no input chosen, before START"}
for line in read("idle").splitlines():
    f = line.split()
    cpu, span = float(f[1]), float(f[2])
    w(f"| {idle_names.get(f[0], f[0])} | {cpu:.2f} | {span:.0f} | {100 * cpu / span:.2f} % |")
w("")

# ---- fast
hour = int(read("hour") or 3600)
span_text = "one hour" if hour == 3600 else f"{hour} s"
w(f"## {span_text[0].upper() + span_text[1:]} of 12000 Hz audio in --fast mode, against the lower bound")
w("")
w(f"A {span_text} WAV file (I/Q tone at 1000 Hz in noise, made with sox) read with `--fast`: "
  "every block measured and put into the waterfall; the plot drawn a few times a second on "
  "Xvfb and not at all offscreen. `--log` writes one record a second of the file. The lower "
  "bound is `bench/lower_bound.cpp`: the same file read block by block, the same window, "
  "FFTW's transform, the power spectrum and its average over 16 blocks in the band and the "
  "peak search, and nothing else. Each figure is the run of median CPU out of "
  f"{read('repeats') or 'several'}. `start-up` is the same run over a 10 s file: starting "
  "and closing the program alone (CPU s, of it in the kernel); `kernel share of the hour` "
  "leaves it out: the kernel's part of the CPU the hour adds.")
w("")
w("| program | FFT | display | logging | user s | sys s | CPU s | kernel share | start-up CPU s (kernel) | kernel share of the hour | wall s | max resident MB | records | x lower bound | target |")
w("|---|---:|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|")
startup = {}
for line in read("startup").splitlines():
    f = line.split()
    startup[(int(f[0]), f[1], f[2])] = (float(f[3]), float(f[4]))
lower = {}
rows = []
for line in read("fast").splitlines():
    f = line.split()
    if f[0] == "lower":
        lower[int(f[1])] = float(f[3]) + float(f[4])
    rows.append(f)
fast_target = {8192: ("within 5 x", 5), 1024: ("within 8 x", 8)}
for f in rows:
    fft = int(f[1])
    if f[0] == "lower":
        user, sys_, wall, rss, recs = float(f[3]), float(f[4]), float(f[5]), float(f[6]), "-"
        prog, disp, log = "lower bound", "-", "-"
    else:
        user, sys_, wall, rss, recs = float(f[4]), float(f[5]), float(f[6]), float(f[7]), f[8]
        prog, disp, log = "Corvane", names[f[2]], f[3]
    cpu = user + sys_
    own, start = "-", "-"
    if f[0] != "lower" and (fft, f[2], f[3]) in startup:
        su, ss = startup[(fft, f[2], f[3])]
        start = f"{su + ss:.2f} ({ss:.2f})"
        if cpu - su - ss > 0:
            own = f"{100 * (sys_ - ss) / (cpu - su - ss):.1f} %"
    ratio = f"{cpu / lower[fft]:.1f}" if f[0] != "lower" and lower.get(fft) else "1"
    tgt = fast_target[fft][0] + ", kernel under 10 %" if f[0] != "lower" and fft in fast_target else ""
    w(f"| {prog} | {fft} | {disp} | {log} | {user:.2f} | {sys_:.2f} | {cpu:.2f} | "
      f"{100 * sys_ / cpu if cpu > 0 else 0:.1f} % | {start} | {own} | {wall:.2f} | {rss / 1024:.0f} | {recs} | {ratio} | {tgt} |")
w("")

# ---- benchmarks
if pipe:
    w("## Per-block and per-frame time (bench/pipeline_bench)")
    w("")
    w("One block of the simulated beacon through `ConvertBlock`, `ComplexFFT` and "
      "`MeasurementEngine::ProcessBlock` (engine); the same plus what the block loop does for "
      "the display with every block: the block taken into the plot and the waterfall row and "
      "scroll (loop); and one repaint of the plot and the waterfall (frame), paid at most "
      "25 times a second however fast blocks come. Band 20 Hz .. 0.45 x rate, offscreen. "
      "`real time` estimates the share of a core of a run: blocks a second x loop + frames a "
      "second x frame.")
    w("")
    w("| rate Hz | HistLen | FFT | block ms | engine us | engine % | loop us | loop % | frame us | real time % |")
    w("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    rows = {}
    for b in pipe["benchmarks"]:
        m = re.match(r"BM_(Block_engine|Block_loop|Frame)/rate:(\d+)/fft:(\d+)/hist:(\d+)", b["name"])
        if m:
            rows.setdefault((int(m.group(2)), int(m.group(4)), int(m.group(3))), {})[m.group(1)] = b
    frames = {}
    for (rate, hist, fft), r in rows.items():
        if "Frame" in r:
            frames[(rate, fft)] = us(r["Frame"])
    for (rate, hist, fft) in sorted(rows):
        r = rows[(rate, hist, fft)]
        if "Block_engine" not in r:
            continue
        block_us = fft / rate * 1e6
        e, lp = us(r["Block_engine"]), us(r["Block_loop"]) if "Block_loop" in r else None
        fr = frames.get((rate, fft))
        cells = [str(rate), str(hist), str(fft), f"{block_us / 1000:.1f}", f"{e:.0f}",
                 f"{100 * e / block_us:.3f}"]
        cells += [f"{lp:.0f}", f"{100 * lp / block_us:.3f}"] if lp is not None else ["-", "-"]
        if fr is not None and lp is not None:
            fps = min(25.0, rate / fft)
            cells += [f"{fr:.0f}", f"{(rate / fft * lp + fps * fr) / 1e4:.2f}"]
        else:
            cells += ["-", "-"]
        w("| " + " | ".join(cells) + " |")
    w("")
if core:
    w("## FFT and engine (corvane_bench)")
    w("")
    w("| benchmark | CPU us |")
    w("|---|---:|")
    for b in core["benchmarks"]:
        w(f"| {b['name']} | {us(b):.1f} |")
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
        ("  BandPlot::takeBlock", "corvane::BandPlot::takeBlock(float"),
        ("  WaterfallWindow::paintRow", "corvane::WaterfallWindow::paintRow("),
        ("  WaterfallWindow::scrollRow", "corvane::WaterfallWindow::scrollRow("),
        ("  one-second tick (Timer1_Timer)", "corvane::CorvaneWindow::Timer1_Timer("),
        ("    of which the log record", "corvane::LogPanel::WriteRecord("),
        ("frames given by the pacers (FramePacer)", "corvane::FramePacer::emitFrame()"),
        ("  read-out labels (ApplyReadouts)", "corvane::CorvaneWindow::ApplyReadouts("),
        ("repaint of the windows (QWidgetRepaintManager::sync)", "QWidgetRepaintManager::sync()"),
        ("  the plot (BandPlot::paintEvent)", "corvane::BandPlot::paintEvent("),
        ("    of which the trace", "corvane::BandPlot::drawTrace("),
        ("  the waterfall (WaterfallView::paintEvent)", "corvane::WaterfallView::paintEvent("),
        ("test signal generation (PacedSource::onTimer)", "corvane::PacedSource::onTimer()"),
    ]
    w("## Profile")
    w("")
    w("callgrind (instructions executed, not time) over a 600 s `--fast` run of the test "
      "signal at 12000 Hz / 8192 points on Xvfb, HistLen 16, band 20 .. 5400 Hz, logging every "
      f"second: {blocks} blocks. Collected inside the block, the frames, the repaints and the "
      "test signal source only, so start-up is left out; all figures are per block.")
    w("")
    w("| part | instructions per block |")
    w("|---|---:|")
    for label, key in parts:
        ir = find(key)
        if ir:
            indent = (len(label) - len(label.lstrip())) // 2
            w(f"| {'&emsp;' * indent}{label.strip()} | {ir / blocks / 1e6:.3f} M |")
    w("")

notes = os.path.join(repo, "docs", "performance-notes.md")
if os.path.exists(notes):
    w(open(notes).read().rstrip())
    w("")
open(out, "w").write("\n".join(L))
PY
echo "wrote $out" >&2
