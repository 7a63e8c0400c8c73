// Draws the spectrum plot and the waterfall from a synthetic carrier in noise, run through
// the measurement engine, and writes offscreen grabs of both as PNG files for inspection.
// Usage: display_snapshots OUTPUT_DIR

#include <QApplication>
#include <QDir>
#include <QScrollBar>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "display/band_plot.h"
#include "display/waterfall_window.h"
#include "dsp/fft.h"
#include "support/quiet_host.h"

namespace {

using corvane::testing::QuietHost;

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: display_snapshots OUTPUT_DIR\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));

  using namespace corvane;
  Module1::FFTLen = 8192;
  MeasurementParams params;
  params.SampleRate = 12000;
  params.CentreBin = 683;
  params.SigBWBins = 68;
  params.FMinBin = 14;
  params.FMaxBin = 3277;
  params.DetFrames = 4;
  params.StabLimitDb = 10;
  params.HistLen = 16;
  params.AlarmThreshDb = 40;
  params.GuardBand = 5;
  QuietHost host;
  MeasurementEngine engine(params, host);
  engine.StartRun();

  BandPlot plot;
  plot.resize(625, 121);
  plot.setScaleLeft(13.65);
  plot.setScaleWidth(3686);
  WaterfallWindow wf;
  wf.show();
  wf.setupForStart(3686);

  std::mt19937 rng(11);
  std::normal_distribution<float> noise(0, 3873);  // ~3e7 per bin: about 75 dB
  std::vector<float> data(Module1::kFFTDataSize, 0.0f);
  const int blocks = 200;
  for (int b = 0; b < blocks; ++b) {
    for (int k = 0; k < 8192; ++k) {
      data[2 * k + 1] = noise(rng);
      data[2 * k + 2] = noise(rng);
    }
    // A carrier drifting over two bins, and a weaker one that comes and goes.
    const double bin = 683 + 2.0 * b / blocks;
    const int k0 = static_cast<int>(bin);
    const double frac = bin - k0;
    data[2 * k0 + 1] += static_cast<float>(4.0e6 * (1 - frac));
    data[2 * (k0 + 1) + 1] += static_cast<float>(4.0e6 * frac);
    if ((b / 40) % 2 == 0) data[2 * 2100 + 1] += 2.0e5f;
    // A broad hump so the palette shows its middle range.
    for (int k = 1300; k < 1700; ++k) {
      data[2 * k + 1] *= static_cast<float>(1 + 30 * std::exp(-std::pow((k - 1500) / 60.0, 2)));
    }
    if (b == 120) wf.palette()->setValue(1);
    if (b == 160) wf.palette()->setValue(2);
    engine.ProcessBlock(data.data(), DateTime{});
    plot.drawBlock(engine, params, Module1::FFTLen);
    if (engine.marks().Measured) {
      wf.paintRow(engine.AvgPwr(), static_cast<int>(params.FMinBin),
                  static_cast<int>(params.FMaxBin));
      wf.scrollRow();
    }
  }
  std::printf("peak bin %g, noise %g, signal %g, in band %d\n", engine.PeakBin, engine.NoisePwr,
              engine.SigPwr, static_cast<int>(engine.InBand));

  bool ok = plot.grab().save(out.filePath("spectrum.png"));
  // Zoomed about the carrier, and at twice the size.
  plot.setScaleLeft(600);
  plot.setScaleWidth(170);
  plot.drawBlock(engine, params, Module1::FFTLen);
  ok = plot.grab().save(out.filePath("spectrum_zoom.png")) && ok;
  plot.setScaleLeft(13.65);
  plot.setScaleWidth(3686);
  plot.resize(1250, 242);
  ok = plot.grab().save(out.filePath("spectrum_large.png")) && ok;
  ok = wf.grab().save(out.filePath("waterfall.png")) && ok;
  return ok ? 0 : 1;
}
