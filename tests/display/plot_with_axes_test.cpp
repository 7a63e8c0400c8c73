#include "display/plot_with_axes.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <set>
#include <vector>

#include "display/axis_scales.h"
#include "display/band_plot.h"

namespace corvane {
namespace {

const QRgb kGridLight = qRgb(170, 170, 170);
const QRgb kGridDark = qRgb(150, 150, 150);
const QRgb kTrace = qRgb(0, 0, 0);

// After START at 12000 Hz and 8192 points: left edge 13.65 bins, 3686 bins wide.
void ScaleAfterStart(BandPlot& plot) {
  plot.setScaleLeft(13.65);
  plot.setScaleWidth(3686);
}

MeasurementParams Band() {
  MeasurementParams params;
  params.SampleRate = 12000;
  params.FMinBin = 14;
  params.FMaxBin = 3277;
  return params;
}

BlockMarks Unmeasured() {
  BlockMarks m;
  m.BoxCentreBin = -1.0e5;  // the band box far off to the left
  m.BoxSigBWBins = 10;
  return m;
}

// A flat spectrum drawn at the height of the read-outs' `levelDb`.
std::vector<float> FlatAt(double levelDb) {
  const double height = LevelDbToPlotHeight(levelDb);
  return std::vector<float>(65536, static_cast<float>(std::exp((height + 250) / 25)));
}

// Runs of `colour` along a row (or a column): where each begins and how long it is.
std::vector<std::pair<int, int>> Runs(const QImage& img, int fixed, bool alongRow, QRgb colour) {
  std::vector<std::pair<int, int>> runs;
  const int n = alongRow ? img.width() : img.height();
  for (int i = 0; i < n;) {
    const QRgb c = alongRow ? img.pixel(i, fixed) : img.pixel(fixed, i);
    if (c != colour) {
      ++i;
      continue;
    }
    int j = i;
    while (j < n && (alongRow ? img.pixel(j, fixed) : img.pixel(fixed, j)) == colour) ++j;
    runs.push_back({i, j - i});
    i = j;
  }
  return runs;
}

// On a 2x screen the plot is drawn in device pixels: twice as many each way, every grid
// line and the trace one device pixel wide, each where the 1x picture has it.
TEST(SpectrumSharpness, TwiceThePixelsAndLinesOneDevicePixelWide) {
  BandPlot plot;
  plot.resize(625, 121);
  ScaleAfterStart(plot);
  const std::vector<float> flat = FlatAt(100);
  plot.takeBlock(flat.data(), Unmeasured(), Band(), 8192);
  const QImage one = plot.picture(1).convertToFormat(QImage::Format_RGB32);
  const QImage two = plot.picture(2).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(one.size(), QSize(625, 121));
  ASSERT_EQ(two.size(), QSize(1250, 242));
  EXPECT_EQ(two.devicePixelRatio(), 2);

  // The 1000 Hz lines along a row clear of the trace and the level grid.
  const int row = 5;
  const auto darkOne = Runs(one, row, true, kGridDark);
  const auto darkTwo = Runs(two, 2 * row, true, kGridDark);
  ASSERT_EQ(darkOne.size(), 5u);  // 1000 .. 5000 Hz; the plot begins at 20 Hz
  ASSERT_EQ(darkTwo.size(), darkOne.size());
  for (size_t i = 0; i < darkOne.size(); ++i) {
    EXPECT_EQ(darkTwo[i].first, 2 * darkOne[i].first) << i;
    EXPECT_EQ(darkTwo[i].second, 1) << i;
  }

  // The level grid and the trace down a column clear of the frequency grid.
  int col = 300;
  while (one.pixel(col, row) != qRgb(192, 192, 255)) ++col;
  const auto levelsOne = Runs(one, col, false, kGridLight);
  const auto levelsTwo = Runs(two, 2 * col, false, kGridLight);
  ASSERT_EQ(levelsTwo.size(), levelsOne.size());
  ASSERT_GE(levelsOne.size(), 5u);
  for (size_t i = 0; i < levelsOne.size(); ++i) {
    EXPECT_EQ(levelsTwo[i].first, 2 * levelsOne[i].first) << i;
    EXPECT_EQ(levelsTwo[i].second, 1) << i;
  }
  const auto traceOne = Runs(one, col, false, kTrace);
  const auto traceTwo = Runs(two, 2 * col, false, kTrace);
  ASSERT_EQ(traceOne.size(), 1u);
  ASSERT_EQ(traceTwo.size(), 1u);
  EXPECT_EQ(traceTwo[0].first, 2 * traceOne[0].first);
  EXPECT_EQ(traceTwo[0].second, 1);

  // The axes around it double too.
  PlotWithAxes view(new BandPlot);
  view.resize(700, 200);
  EXPECT_EQ(view.picture(2).size(), QSize(1400, 400));
}

struct ViewSize {
  int width, height;
};

// Labels along both axes at the sizes a window takes, at two rates: round steps, never
// closer than 80 px or touching, each on the place it names.
TEST(SpectrumAxes, RoundLabelsOnThePlacesTheyName) {
  const ViewSize sizes[] = {{520, 180}, {760, 300}, {1000, 400}, {1600, 620}, {1860, 900}};
  for (double rate : {12000.0, 44100.0}) {
    for (const ViewSize& s : sizes) {
      SCOPED_TRACE(::testing::Message() << rate << " Hz, " << s.width << " x " << s.height);
      auto* plot = new BandPlot;
      PlotWithAxes view(plot);
      view.resize(s.width, s.height);
      ScaleAfterStart(*plot);
      view.setFrequencyScale(rate, 8192);
      const double fStep = view.frequencyStep();  // lays the hidden view out
      const QRect area = plot->geometry();
      ASSERT_TRUE(view.rect().contains(area));

      const auto& f = view.frequencyLabels();
      ASSERT_GE(f.size(), 3u);
      const double spacing = fStep / (3686 * rate / 8192) * area.width();
      EXPECT_GE(spacing, PlotWithAxes::kMinLabelSpacingPx);
      EXPECT_LT(spacing, 2.5 * PlotWithAxes::kMinLabelSpacingPx);
      for (size_t i = 0; i < f.size(); ++i) {
        EXPECT_TRUE(view.rect().contains(f[i].rect)) << f[i].text.toStdString();
        EXPECT_EQ(f[i].text, QString::number(f[i].value));
        EXPECT_DOUBLE_EQ(std::remainder(f[i].value, fStep), 0);
        // The tick stands on the column of that frequency's grid line.
        EXPECT_EQ(f[i].tick, area.left() + plot->pixelColumn(f[i].value * 8192 / rate));
        if (i > 0) {
          EXPECT_GT(f[i].rect.left(), f[i - 1].rect.right()) << f[i].text.toStdString();
        }
      }

      const auto& l = view.levelLabels();
      ASSERT_GE(l.size(), 2u);
      const double levelSpan = PlotHeightToLevelDb(BandPlot::kScaleHeight) - PlotHeightToLevelDb(0);
      EXPECT_GE(view.levelStep() / levelSpan * area.height(), PlotWithAxes::kMinLabelSpacingPx);
      for (size_t i = 0; i < l.size(); ++i) {
        EXPECT_TRUE(view.rect().contains(l[i].rect)) << l[i].text.toStdString();
        EXPECT_LT(l[i].rect.right(), area.left());
        if (i > 0) {
          EXPECT_LT(l[i].rect.bottom(), l[i - 1].rect.top()) << l[i].text.toStdString();
        }
      }
    }
  }
}

// The level axis reads what "Noise" and "Signal" show: a flat spectrum at 100 dB of the
// read-outs is traced on the row of the axis's "100", however tall the plot is.
TEST(SpectrumAxes, TraceAtALevelLiesOnThatLevelsLabel) {
  for (int h : {333, 640, 900}) {
    SCOPED_TRACE(h);
    auto* plot = new BandPlot;
    PlotWithAxes view(plot);
    view.resize(800, h);
    (void)view.levelStep();  // lays the hidden view out
    ScaleAfterStart(*plot);
    const std::vector<float> flat = FlatAt(100);
    plot->takeBlock(flat.data(), Unmeasured(), Band(), 8192);
    const QImage img = plot->picture(1).convertToFormat(QImage::Format_RGB32);
    const int col = plot->width() / 2;
    const auto trace = Runs(img, col, false, kTrace);
    ASSERT_EQ(trace.size(), 1u);
    bool found = false;
    for (const auto& label : view.levelLabels()) {
      if (label.value != 100) continue;
      found = true;
      EXPECT_EQ(label.text, "100");
      EXPECT_EQ(label.tick, plot->geometry().top() + trace[0].first);
    }
    EXPECT_TRUE(found);
  }
}

// Narrowing the band, a new rate and a new size each choose the labels again.
TEST(SpectrumAxes, LabelsFollowTheBandTheRateAndTheSize) {
  auto* plot = new BandPlot;
  PlotWithAxes view(plot);
  view.resize(1000, 300);
  ScaleAfterStart(*plot);
  view.setFrequencyScale(12000, 8192);
  EXPECT_EQ(view.frequencyStep(), 500);
  EXPECT_EQ(view.frequencyLabels().back().value, 5000);

  // 1000 .. 1500 Hz.
  plot->setScaleLeft(1000 * 8192 / 12000.0);
  plot->setScaleWidth(500 * 8192 / 12000.0);
  EXPECT_EQ(view.frequencyStep(), 50);
  EXPECT_EQ(view.frequencyLabels().front().value, 1000);
  EXPECT_EQ(view.frequencyLabels().back().value, 1500);

  // A block at another rate: the plot's own rate is the one labelled.
  ScaleAfterStart(*plot);
  MeasurementParams params = Band();
  params.SampleRate = 48000;
  const std::vector<float> flat = FlatAt(50);
  plot->takeBlock(flat.data(), Unmeasured(), params, 8192);
  EXPECT_EQ(view.frequencyStep(), 2000);
  EXPECT_EQ(view.frequencyLabels().back().value, 20000);

  const double tallStep = view.levelStep();
  view.resize(1000, 900);
  EXPECT_LT(view.levelStep(), tallStep);
}

}  // namespace
}  // namespace corvane
