// The whole per-block path of the block loop, for every offered FFT length at 12000 and
// 48000 Hz with HistLen 16 and 64, band 20 Hz .. 0.45 x rate:
//   BM_Block_engine: ConvertBlock + ComplexFFT + MeasurementEngine::ProcessBlock
//   BM_Block_loop:   the same, plus what the loop does with every block for the display:
//                    the block taken into the spectrum plot, the waterfall row and scroll
//   BM_Frame:        one repaint of the plot and the waterfall (shown widgets, offscreen),
//                    at the plot size of the main window as it opens: paid at most
//                    BlockLoop::kFramesPerSecond times a second, not per block
// Counter pct_of_block: CPU time per block as a percentage of the block's duration
// (FFTLen / rate). The input is the simulated beacon, generated before timing.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/corvane_window.h"
#include "capture/block_convert.h"
#include "capture/test_signal.h"
#include "display/band_plot.h"
#include "display/waterfall_window.h"
#include "dsp/fft.h"
#include "measure/measurement_engine.h"
#include "settings/parameters.h"
#include "support/quiet_host.h"

namespace {

using namespace corvane;

using corvane::testing::QuietHost;

QSize g_plotSize(900, 500);
BandPlot* g_plot = nullptr;
WaterfallWindow* g_waterfall = nullptr;

// The parameters as START leaves them with the design-time texts, except the band, which
// spans 20 Hz .. 0.45 x rate, and HistLen.
MeasurementParams StartParams(double rate, int32_t len, int32_t histLen) {
  MeasurementParams p;
  p.SampleRate = rate;
  p.CentreBin = HzToBin(1000, rate, len);
  p.SigBWBins = (100 / rate) * len;
  p.FMinBin = HzToBin(20, rate, len);
  p.FMaxBin = HzToBin(0.45 * rate, rate, len);
  p.DetFrames = std::max(2.0, static_cast<double>(static_cast<int64_t>(rate * (3.0 / len))));
  p.StabLimitDb = 10;
  p.HistLen = histLen;
  p.AlarmThreshDb = 40;
  p.GuardBand = 0.5f;
  p.TraceColour = {0, 0, 0};
  return p;
}

enum class Path { kEngine, kLoop, kFrame };

void RunBlocks(benchmark::State& state, Path path) {
  const bool drawn = path != Path::kEngine;
  const double rate = static_cast<double>(state.range(0));
  const auto len = static_cast<int32_t>(state.range(1));
  const auto histLen = static_cast<int32_t>(state.range(2));
  Module1::FFTLen = len;
  Module1::MakeWindow(0);  // Hamming, the design-time choice

  MeasurementParams params = StartParams(rate, len, histLen);
  QuietHost host;
  MeasurementEngine engine(params, host);
  engine.StartRun();

  // A few seconds of the beacon, cycled: enough blocks that HistLen 64 is filled with
  // different rows, and small enough to stay in memory.
  constexpr int kBlocks = 8;
  TestSignalParams sp;
  sp.sampleRate = rate;
  sp.seed = 11;
  TestSignal signal(sp);
  std::vector<int16_t> input(2 * static_cast<size_t>(len) * kBlocks);
  signal.Generate(input.data(), len * kBlocks);
  std::vector<float> fftData(Module1::kFFTDataSize, 0.0f);

  if (drawn) {
    g_plot->setScaleLeft(len * (20 / rate));
    g_plot->setScaleWidth(len * ((0.45 * rate - 20) / rate));
    g_waterfall->setupForStart(std::round(0.9 * len) / 2);
    QApplication::processEvents();
  }

  double levelDb = 0;
  const DateTime now{};
  int b = 0;
  auto block = [&] {
    const int16_t* samples = input.data() + 2 * static_cast<size_t>(len) * b;
    b = (b + 1) % kBlocks;
    levelDb = ConvertBlock(samples, len, Module1::WinTable, false, levelDb, fftData.data())
                  .levelDb;
    Module1::ComplexFFT(fftData.data());
    engine.ProcessBlock(fftData.data(), now);
    if (drawn) {
      g_plot->takeBlock(engine, params, len);
      const BlockMarks& m = engine.marks();
      if (m.Measured && m.BandLast >= m.BandFirst) {
        g_waterfall->paintRow(engine.AvgPwr(), m.BandFirst, m.BandLast);
        g_waterfall->scrollRow();
      }
    }
  };
  if (path == Path::kFrame) {
    // A picture worth painting: the history filled, the waterfall scrolled.
    for (int i = 0; i < 2 * kBlocks + histLen; ++i) block();
  }
  for (auto _ : state) {
    if (path == Path::kFrame) {
      g_plot->update();
      g_waterfall->showRows();
      QApplication::processEvents();
    } else {
      block();
    }
    benchmark::DoNotOptimize(engine.SigPwr);
    benchmark::ClobberMemory();
  }
  const double blockSeconds = len / rate;
  state.counters["pct_of_block"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * blockSeconds / 100,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Block_engine(benchmark::State& state) { RunBlocks(state, Path::kEngine); }
void BM_Block_loop(benchmark::State& state) { RunBlocks(state, Path::kLoop); }
void BM_Frame(benchmark::State& state) { RunBlocks(state, Path::kFrame); }

void Args(benchmark::internal::Benchmark* b) {
  b->ArgNames({"rate", "fft", "hist"});
  for (int64_t rate : {12000, 48000})
    for (int64_t hist : {16, 64})
      for (int64_t len = 1024; len <= 32768; len *= 2) b->Args({rate, len, hist});
  b->Unit(benchmark::kMicrosecond);
}
// A frame costs the same whatever HistLen was averaged.
void FrameArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"rate", "fft", "hist"});
  for (int64_t rate : {12000, 48000})
    for (int64_t len = 1024; len <= 32768; len *= 2) b->Args({rate, len, 16});
  b->Unit(benchmark::kMicrosecond);
}
BENCHMARK(BM_Block_engine)->Apply(Args);
BENCHMARK(BM_Block_loop)->Apply(Args);
BENCHMARK(BM_Frame)->Apply(FrameArgs);

// The plot's size in the main window as it opens, with the design-time settings.
QSize DefaultPlotSize() {
  QTemporaryDir dir;
  if (!dir.isValid()) return g_plotSize;
  const QString old = QDir::currentPath();
  QDir::setCurrent(dir.path());
  QSize size = g_plotSize;
  {
    CorvaneWindow window;
    window.show();
    QApplication::processEvents();
    size = window.spectrum()->size();
    window.hide();
  }
  QDir::setCurrent(old);
  return size;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  g_plotSize = DefaultPlotSize();
  std::fprintf(stderr, "plot size %dx%d px\n", g_plotSize.width(), g_plotSize.height());

  BandPlot plot;
  plot.resize(g_plotSize);
  plot.show();
  WaterfallWindow waterfall;
  waterfall.show();
  QApplication::processEvents();
  g_plot = &plot;
  g_waterfall = &waterfall;

  benchmark::AddCustomContext("plot_px", std::to_string(g_plotSize.width()) + "x" +
                                             std::to_string(g_plotSize.height()));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
