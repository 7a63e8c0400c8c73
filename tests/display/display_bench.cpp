// Drawing cost per block: the spectrum plot over a wide band and one waterfall row.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>
#include <random>
#include <vector>

#include "display/band_plot.h"
#include "display/waterfall_view.h"

namespace {

using namespace corvane;

std::vector<float> NoisySpectrum() {
  std::vector<float> p(65536);
  std::mt19937 rng(5);
  std::exponential_distribution<float> e(1.0f / 3.0e7f);
  for (float& v : p) v = e(rng);
  return p;
}

// Band of `bins` bins, shown across the design width of 625 pixels: one block taken and
// painted.
void BM_SpectrumDrawBlock(benchmark::State& state) {
  const int bins = static_cast<int>(state.range(0));
  const std::vector<float> power = NoisySpectrum();
  BandPlot plot;
  plot.resize(625, 121);
  plot.show();
  plot.setScaleLeft(20);
  plot.setScaleWidth(bins);
  MeasurementParams params;
  params.SampleRate = 48000;
  params.FMinBin = 20;
  params.FMaxBin = 20 + bins - 1;
  BlockMarks marks;
  marks.Measured = true;
  marks.InBand = true;
  marks.PeakBin = 1000;
  marks.NoisePwr = 3.0e7;
  marks.SigPwr = 1.0e9;
  marks.MarkSigBWBins = marks.BoxSigBWBins = 60;
  marks.BoxCentreBin = 1000;
  for (auto _ : state) {
    plot.drawBlock(power.data(), marks, params, 32768);
    plot.repaint();
  }
  state.SetItemsProcessed(state.iterations() * bins);
}
BENCHMARK(BM_SpectrumDrawBlock)->Arg(3264)->Arg(15000);

void BM_WaterfallRow(benchmark::State& state) {
  const int bins = static_cast<int>(state.range(0));
  const std::vector<float> power = NoisySpectrum();
  WaterfallView view;
  view.setScaleWidth(bins);
  for (auto _ : state) {
    view.paintRow(power.data(), 0, bins - 1, 2.5f, 30, 0);
    view.scrollRow();
  }
  state.SetItemsProcessed(state.iterations() * bins);
}
BENCHMARK(BM_WaterfallRow)->Arg(3686)->Arg(14745);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
