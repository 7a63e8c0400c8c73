#include "display/band_plot.h"

#include "dsp/fft.h"

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <cmath>
#include <map>
#include <random>
#include <vector>
#include "support/quiet_host.h"

namespace corvane {
namespace {

const QRgb kBackground = qRgb(192, 192, 255);
const QRgb kGridLight = qRgb(170, 170, 170);
const QRgb kGridDark = qRgb(150, 150, 150);
const QRgb kNoiseBar = qRgb(128, 250, 0);
const QRgb kPeakMark = qRgb(255, 64, 0);
const QRgb kSignalBar = qRgb(255, 220, 0);
const QRgb kTrace = qRgb(0, 0, 0);

// The power drawn at `height` units above the bottom edge.
float PowerAtHeight(double height) { return static_cast<float>(std::exp((height + 250) / 25)); }

class PlotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plot.resize(625, 121);  // the original 9375 x 1815 units
    params.SampleRate = 12000;
    params.FMinBin = 14;
    params.FMaxBin = 3277;
    params.GuardBand = 5;
  }
  // Marks that put nothing on the plot: the band box far off to the left.
  static BlockMarks Unmeasured() {
    BlockMarks m;
    m.BoxCentreBin = -1.0e5;
    m.BoxSigBWBins = 10;
    return m;
  }
  QImage Draw(const BlockMarks& marks) {
    plot.drawBlock(avgPwr.data(), marks, params, 8192);
    return plot.grab().toImage().convertToFormat(QImage::Format_RGB32);
  }

  BandPlot plot;
  MeasurementParams params;
  std::vector<float> avgPwr = std::vector<float>(65536, 0.0f);
};

TEST_F(PlotTest, DesignNameSizeAndEmptyBackground) {
  EXPECT_EQ(plot.objectName(), "Spectrum");
  EXPECT_EQ(plot.sizeHint(), QSize(625, 121));
  EXPECT_EQ(plot.sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
  EXPECT_DOUBLE_EQ(plot.scaleHeight(), 1815);
  EXPECT_DOUBLE_EQ(plot.unitsPerPixel(), 15);
  const QImage img = plot.grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(img.size(), QSize(625, 121));
  for (int y = 0; y < img.height(); ++y) {
    for (int x = 0; x < img.width(); ++x) ASSERT_EQ(img.pixel(x, y), kBackground) << x << "," << y;
  }
}

TEST_F(PlotTest, ScaleMappingAndMouseEventsInScaleUnits) {
  plot.setScaleLeft(13.65);
  plot.setScaleWidth(3263.15);
  EXPECT_DOUBLE_EQ(plot.xToBins(0), 13.65);
  EXPECT_DOUBLE_EQ(plot.xToBins(625), 13.65 + 3263.15);
  const double px = plot.binsToX(682.67);
  EXPECT_NEAR(px, (682.67 - 13.65) / 3263.15 * 625, 1e-9);
  EXPECT_NEAR(plot.xToBins(px), 682.67, 1e-9);

  QSignalSpy moved(&plot, &BandPlot::mouseMoved);
  QSignalSpy pressed(&plot, &BandPlot::mousePressed);
  const QPointF at(px, 40.5);
  QMouseEvent move(QEvent::MouseMove, at, plot.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(&plot, &move);
  ASSERT_EQ(moved.count(), 1);
  const double x = moved[0][0].toDouble();
  EXPECT_NEAR(x, 682.67, 1e-6);
  EXPECT_NEAR(x / 8192 * 12000, 1000.0, 0.01);  // the bin under the pointer is 1000 Hz
  EXPECT_DOUBLE_EQ(moved[0][1].toDouble(), 40.5 * 15);

  QMouseEvent right(QEvent::MouseButtonPress, at, plot.mapToGlobal(at), Qt::RightButton,
                    Qt::RightButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&plot, &right);
  ASSERT_EQ(pressed.count(), 1);
  EXPECT_EQ(pressed[0][0].value<Qt::MouseButton>(), Qt::RightButton);
  EXPECT_NEAR(pressed[0][1].toDouble(), 682.67, 1e-6);
}

TEST(FrequencyGrid, SixtyOneLinesAtTwelveKilohertz) {
  const auto lines = FrequencyGridLines(12000, 8192);
  ASSERT_EQ(lines.size(), 61u);
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_DOUBLE_EQ(lines[i].bin, 8192 * (100.0 * static_cast<double>(i) / 12000));
    EXPECT_EQ(lines[i].dark, i % 10 == 0) << i;
  }
  EXPECT_EQ(FrequencyGridLines(11025, 1024).size(), 56u);  // 0 .. 5500: 5512.5 is not reached
}

// However many lines the rate has, the grid drawn is one entry per pixel column at most, and
// shows in each column the line that drawing every line in turn would leave there.
TEST(FrequencyGrid, DrawnPerColumnAsEveryLineWouldLeaveIt) {
  struct Case {
    double rate;
    int32_t fftLen;
    double left, width;  // the plot's scale, in bins
  };
  const Case cases[] = {
      {12000, 8192, 13.65, 3686},      // the design's plot after START
      {12000, 8192, -400, 9000},       // lines on both sides beyond the plot
      {384000, 1024, 10, 60},          // several lines a column
      {1.0e9, 1024, 0.0, 460},         // a file's absurd rate: five million lines
      {1.0e9, 1024, 200.3, 0.02},      // zoomed into them
  };
  BandPlot plot;
  plot.resize(625, 121);
  for (const Case& c : cases) {
    plot.setScaleLeft(c.left);
    plot.setScaleWidth(c.width);
    std::map<int, bool> lastInColumn;
    for (const FreqGridLine& line : FrequencyGridLines(c.rate, c.fftLen)) {
      const int col = plot.pixelColumn(line.bin);
      if (col >= 0 && col < plot.width()) lastInColumn[col] = line.dark;
    }
    const auto columns = FrequencyGridColumns(
        c.rate, c.fftLen, plot.width(), [&](double bin) { return plot.pixelColumn(bin); });
    ASSERT_LE(columns.size(), static_cast<size_t>(plot.width())) << c.rate;
    std::map<int, bool> drawn;
    for (const FreqGridColumn& g : columns) drawn[g.column] = g.dark;
    EXPECT_EQ(drawn, lastInColumn) << "rate " << c.rate << ", scale " << c.left << " + "
                                   << c.width;
  }
}

TEST_F(PlotTest, GridsAsDrawn) {
  // 0 .. 6000 Hz across 600 pixels, shifted by half a pixel: a grid line every 10 pixels.
  plot.resize(600, 121);
  plot.setScaleLeft(-4096.0 / 1200);
  plot.setScaleWidth(4096);
  params.FMinBin = 10;
  params.FMaxBin = 9;  // nothing traced
  const QImage img = Draw(Unmeasured());

  // Above the level grid: only frequency lines.
  std::vector<int> light, dark;
  for (int x = 0; x < img.width(); ++x) {
    if (img.pixel(x, 5) == kGridLight) light.push_back(x);
    if (img.pixel(x, 5) == kGridDark) dark.push_back(x);
    if (img.pixel(x, 5) != kGridLight && img.pixel(x, 5) != kGridDark) {
      EXPECT_EQ(img.pixel(x, 5), kBackground) << x;
    }
  }
  ASSERT_EQ(light.size() + dark.size(), 60u);  // 6000 Hz falls just right of the plot
  EXPECT_EQ(dark, (std::vector<int>{0, 100, 200, 300, 400, 500}));
  EXPECT_EQ(light.front(), 10);
  plot.setScaleWidth(4200);
  const QImage wider = Draw(Unmeasured());
  int lines = 0;
  for (int x = 0; x < wider.width(); ++x) {
    lines += wider.pixel(x, 5) == kGridLight || wider.pixel(x, 5) == kGridDark;
  }
  EXPECT_EQ(lines, 61);

  // Level grid, one line per 10 dB from the bottom edge, 57.565 units = 3.84 pixels apart.
  std::vector<int> rows;
  for (int y = 0; y < img.height(); ++y) {
    if (img.pixel(5, y) == kGridLight) rows.push_back(y);
  }
  EXPECT_EQ(rows, (std::vector<int>{86, 90, 94, 97, 101, 105, 109, 113, 117, 120}));
}

TEST_F(PlotTest, LevelGridEndsAtHalfTheTransform) {
  plot.setScaleLeft(0);
  plot.setScaleWidth(6250);  // 10 bins a pixel; FFTLen / 2 = 4096 at x = 409.6
  params.FMinBin = 10;
  params.FMaxBin = 9;
  const QImage img = Draw(Unmeasured());
  EXPECT_EQ(img.pixel(408, 120), kGridLight);
  EXPECT_EQ(img.pixel(411, 120), kBackground);
}

// Noise floor at 298 units, peak at 897 units on bin 1000, signal level 753 units; the scale
// has ten bins to a pixel, so every expected pixel follows from the units by hand (row r
// spans 1815 - 15r down to 1800 - 15r units of height).
TEST_F(PlotTest, LevelMarksAtTheirPixels) {
  plot.setScaleLeft(0);
  plot.setScaleWidth(6250);
  for (int k = 14; k <= 3277; ++k) avgPwr[k] = PowerAtHeight(298);
  avgPwr[1000] = PowerAtHeight(897);
  BlockMarks m;
  m.BoxCentreBin = 2000;
  m.BoxSigBWBins = 100;
  m.MarkSigBWBins = 70;
  m.PeakBin = 1000;
  m.NoisePwr = PowerAtHeight(298);
  m.SigPwr = PowerAtHeight(753);
  m.GuardBand = 5;
  m.InBand = true;
  m.Measured = true;
  const QImage img = Draw(m);

  // Noise bars, rows 101 (298 units) and 100 (301 units), from the band edges to the guard
  // region 70 x 5.5 = 385 bins either side of the peak.
  for (int x : {1, 30, 61, 138, 200, 327}) {
    EXPECT_EQ(img.pixel(x, 101), kNoiseBar) << x;
    EXPECT_EQ(img.pixel(x, 100), kNoiseBar) << x;
    EXPECT_NE(img.pixel(x, 99), kNoiseBar) << x;
  }
  for (int x : {0, 62, 100, 137, 328}) EXPECT_NE(img.pixel(x, 101), kNoiseBar) << x;

  // The V: tip at (100, 61), arms up 40 units to row 58 at 1000 -+ 40.96 bins, and the block
  // between 10 and 20 units above the tip (rows 60 and 59) over 1000 -+ 16.384 bins.
  EXPECT_EQ(img.pixel(100, 61), kPeakMark);
  EXPECT_EQ(img.pixel(95, 58), kPeakMark);
  EXPECT_EQ(img.pixel(104, 58), kPeakMark);
  for (int x = 98; x <= 101; ++x) {
    for (int y = 59; y <= 60; ++y) EXPECT_EQ(img.pixel(x, y), kPeakMark) << x << "," << y;
  }
  for (int x = 90; x <= 110; ++x) {
    EXPECT_NE(img.pixel(x, 57), kPeakMark) << x;
    EXPECT_NE(img.pixel(x, 62), kPeakMark) << x;
  }

  // Signal bar: from 753 down to 745 units (rows 70 and 71) over 1000 -+ 35 bins.
  for (int x = 96; x <= 103; ++x) {
    EXPECT_EQ(img.pixel(x, 70), kSignalBar) << x;
    EXPECT_EQ(img.pixel(x, 71), kSignalBar) << x;
  }
  EXPECT_NE(img.pixel(95, 71), kSignalBar);
  EXPECT_NE(img.pixel(104, 71), kSignalBar);
  EXPECT_NE(img.pixel(100, 69), kSignalBar);
  EXPECT_NE(img.pixel(100, 72), kSignalBar);

  // The band box: two full-height sides at 1950 and 2050 bins joined along the top.
  const QRgb box = qRgb(240, 240, 240);
  EXPECT_EQ(img.pixel(195, 0), box);
  EXPECT_EQ(img.pixel(195, 60), box);
  EXPECT_EQ(img.pixel(205, 60), box);
  EXPECT_EQ(img.pixel(200, 0), box);
  EXPECT_NE(img.pixel(200, 60), box);

  // Out of band: no signal bar. Not measured: trace only.
  m.InBand = false;
  const QImage outOfBand = Draw(m);
  EXPECT_NE(outOfBand.pixel(96, 71), kSignalBar);
  EXPECT_EQ(outOfBand.pixel(100, 61), kPeakMark);
  m.Measured = false;
  const QImage unmeasured = Draw(m);
  for (int y = 0; y < unmeasured.height(); ++y) {
    for (int x = 0; x < unmeasured.width(); ++x) {
      const QRgb c = unmeasured.pixel(x, y);
      ASSERT_TRUE(c != kNoiseBar && c != kPeakMark && c != kSignalBar) << x << "," << y;
    }
  }
  EXPECT_EQ(unmeasured.pixel(30, 101), kTrace);
}

TEST_F(PlotTest, ZeroPowerAndPeakOfZeroLieOnTheBottomRow) {
  plot.setScaleLeft(0);
  plot.setScaleWidth(625);  // a bin a pixel
  params.FMinBin = 100;
  params.FMaxBin = 200;
  BlockMarks m = Unmeasured();
  EXPECT_EQ(Draw(m).pixel(150, 120), kTrace);
  // No bin had power: the peak stays at bin 0, and without a noise power the bars lie at
  // the last trace point's height, on the bottom row too.
  m.Measured = true;
  m.PeakBin = 0;
  m.MarkSigBWBins = 10;
  const QImage img = Draw(m);
  EXPECT_EQ(img.pixel(0, 120), kPeakMark);  // the V's tip
  EXPECT_EQ(img.pixel(150, 120), kNoiseBar);
  EXPECT_NE(img.pixel(150, 119), kNoiseBar);
}

// The first block starts its trace from height 0 at FMinBin - 1; later blocks from the
// previous block's last point.
TEST_F(PlotTest, TraceStartsWhereThePreviousBlockEnded) {
  params.FMinBin = 100;
  params.FMaxBin = 110;
  plot.setScaleLeft(94.95);
  plot.setScaleWidth(62.5);  // ten pixels a bin: bin 99 at x = 40.5, bin 100 at 50.5
  for (int k = 100; k <= 110; ++k) avgPwr[k] = PowerAtHeight(298);
  avgPwr[110] = PowerAtHeight(603);
  EXPECT_EQ(plot.prevPlotY(), 0);
  const QImage first = Draw(Unmeasured());
  EXPECT_EQ(first.pixel(40, 120), kTrace);
  EXPECT_NE(first.pixel(40, 101), kTrace);
  EXPECT_NEAR(plot.prevPlotY(), 603, 1e-3);
  const QImage second = Draw(Unmeasured());
  EXPECT_EQ(second.pixel(40, 80), kTrace);  // 603 units: row 80
  EXPECT_NE(second.pixel(40, 120), kTrace);
}

// The trace is drawn per pixel column; it must cover exactly the pixels of the polyline
// through every bin.
class TraceReduction : public PlotTest,
                       public ::testing::WithParamInterface<std::pair<double, double>> {};

TEST_P(TraceReduction, SamePixelsAsOneLinePerBin) {
  const auto [left, width] = GetParam();
  plot.setScaleLeft(left);
  plot.setScaleWidth(width);
  params.FMinBin = 20;
  params.FMaxBin = 15020;
  std::mt19937 rng(3);
  std::normal_distribution<double> noise(400, 120);
  for (int k = 20; k <= 15020; ++k) avgPwr[k] = PowerAtHeight(noise(rng));
  avgPwr[7000] = PowerAtHeight(1700);
  avgPwr[7001] = 0;
  const QImage reduced = Draw(Unmeasured());  // the first block starts from height 0

  QImage reference(plot.size(), QImage::Format_RGB32);
  reference.fill(kBackground);
  {
    QPainter p(&reference);
    p.setPen(QPen(QColor(kTrace), 0));
    QPoint prev(plot.pixelColumn(19), plot.pixelRow(0));
    for (int k = 20; k <= 15020; ++k) {
      const QPoint next(plot.pixelColumn(k), plot.pixelRow(PlotHeight(avgPwr[k])));
      p.drawLine(prev, next);
      prev = next;
    }
  }
  int tracePixels = 0;
  for (int y = 0; y < reduced.height(); ++y) {
    for (int x = 0; x < reduced.width(); ++x) {
      const bool want = reference.pixel(x, y) == kTrace;
      tracePixels += want;
      ASSERT_EQ(reduced.pixel(x, y) == kTrace, want) << x << "," << y;
    }
  }
  EXPECT_GT(tracePixels, plot.width() / 2);
}

INSTANTIATE_TEST_SUITE_P(Scales, TraceReduction,
                         ::testing::Values(std::make_pair(0.0, 16000.0),   // whole band
                                           std::make_pair(13.65, 3686.0),  // runs off right
                                           std::make_pair(6900.0, 200.0),  // zoomed: 3 px a bin
                                           std::make_pair(5000.0, 4000.0)));  // both sides off

TEST_F(PlotTest, ResizeRedrawsTheLastBlock) {
  plot.setScaleLeft(0);
  plot.setScaleWidth(6250);
  for (int k = 14; k <= 3277; ++k) avgPwr[k] = PowerAtHeight(298);
  Draw(Unmeasured());
  const double prev = plot.prevPlotY();
  plot.resize(1250, 242);
  const QImage img = plot.grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(img.size(), QSize(1250, 242));
  // Twice the height: 7.5 units a pixel, so 298 units lie on row (1815 - 298) / 7.5.
  EXPECT_EQ(img.pixel(600, 202), kTrace);
  EXPECT_NE(img.pixel(600, 201), kTrace);
  EXPECT_EQ(plot.yToUnits(202), 1515);
  EXPECT_EQ(plot.prevPlotY(), prev);  // a redraw is not a block
}


using corvane::testing::QuietHost;

// A block through the measurement engine: the marks sit where its figures say.
TEST_F(PlotTest, MarksOfAMeasuredBlock) {
  Module1::FFTLen = 8192;
  params.CentreBin = 683;
  params.SigBWBins = 10;
  params.FMinBin = 100;
  params.FMaxBin = 900;
  params.DetFrames = 4;
  params.StabLimitDb = 10;
  params.HistLen = 1;
  params.AlarmThreshDb = 200;
  params.GuardBand = 0.5f;
  QuietHost host;
  MeasurementEngine engine(params, host);
  engine.StartRun();
  std::vector<float> data(Module1::kFFTDataSize, 0.0f);
  for (int k = 100; k <= 900; ++k) data[2 * k + 1] = 3000;  // power 9e6: 150 units
  data[2 * 683 + 1] = 1.0e6f;                                // power 1e12: 441 units
  engine.ProcessBlock(data.data(), DateTime{});
  ASSERT_TRUE(engine.marks().Measured);
  ASSERT_EQ(engine.PeakBin, 683);

  plot.setScaleLeft(0);
  plot.setScaleWidth(1000);
  plot.drawBlock(engine, params, 8192);
  const QImage img = plot.grab().toImage().convertToFormat(QImage::Format_RGB32);
  const int noiseRow = plot.pixelRow(PlotHeight(engine.NoisePwr));
  EXPECT_EQ(noiseRow, 110);
  EXPECT_EQ(img.pixel(plot.pixelColumn(150), noiseRow), kNoiseBar);
  EXPECT_EQ(img.pixel(plot.pixelColumn(850), noiseRow), kNoiseBar);
  EXPECT_EQ(img.pixel(plot.pixelColumn(683), 91), kPeakMark);  // the V's tip on the peak
  EXPECT_EQ(img.pixel(plot.pixelColumn(400), noiseRow - 3), kBackground);  // between grid rows
}

}  // namespace
}  // namespace corvane
