// The block loop measures every block and puts every block into the waterfall, but paints and
// sets the read-outs only at the display's pace.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>
#include <QEvent>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <memory>
#include <random>

#include "capture/block_loop.h"
#include "capture/block_source.h"
#include "display/band_plot.h"
#include "display/waterfall_view.h"
#include "display/waterfall_window.h"
#include "dsp/fft.h"
#include "support/event_counter.h"
#include "support/quiet_host.h"

namespace corvane {
namespace {

using testing::EventCounter;

constexpr int kLen = 1024;
constexpr double kRate = 12000;

// A tone at 1000 Hz in noise, one block per pass of the event loop, `blocks` in all.
class ToneSource : public BlockSource {
 public:
  explicit ToneSource(int blocks, bool fast = false) : left_(blocks), fast_(fast) {}
  bool drivesOwnClock() const override { return fast_; }
  bool open(double, int, QString*) override { return true; }
  void queue(int16_t* buffer) override {
    if (left_ == 0) return;
    --left_;
    for (int i = 0; i < kLen; ++i, ++t_) {
      const double phase = 2 * M_PI * 1000 * static_cast<double>(t_) / kRate;
      buffer[2 * i] = static_cast<int16_t>(std::lround(3000 * std::cos(phase) + noise_(rng_)));
      buffer[2 * i + 1] = static_cast<int16_t>(std::lround(3000 * std::sin(phase) + noise_(rng_)));
    }
    QTimer::singleShot(0, this, [this] {
      ++delivered_;
      emit blockDone();
    });
  }
  void close() override { left_ = 0; }
  double actualSampleRate() const override { return kRate; }
  qint64 framesDelivered() const override { return delivered_ * kLen; }

 private:
  int left_;
  bool fast_;
  qint64 delivered_ = 0;
  long t_ = 0;
  std::mt19937 rng_{4};
  std::normal_distribution<double> noise_{0, 2000};
};

struct CountingHost : BlockLoopHost {
  bool SidebandSwapChecked() override { return false; }
  void ShowInputLevel(double, bool) override { ++levels; }
  void ApplyReadouts(const Readouts&) override { ++readouts; }
  DateTime Now() override { return {}; }
  void BlockDrawn() override {}
  int levels = 0, readouts = 0;
};

// Thirty blocks come far faster than the (here, hour-long) frame interval: the first is shown
// at once, the rest only update what the next frame shows, and stopping shows the last one.
// Plot and waterfall then hold the picture that drawing every block would have left.
MeasurementParams ToneParams() {
  Module1::FFTLen = kLen;
  Module1::MakeWindow(0);
  MeasurementParams params;
  params.SampleRate = kRate;
  params.CentreBin = HzToBin(1000, kRate, kLen);
  params.SigBWBins = SigBWHzToBins(100, kRate, kLen);
  params.FMinBin = HzToBin(20, kRate, kLen);
  params.FMaxBin = HzToBin(5400, kRate, kLen);
  params.DetFrames = 4;
  params.StabLimitDb = 10;
  params.HistLen = 4;
  params.AlarmThreshDb = 200;
  params.GuardBand = 0.5f;
  return params;
}

// The engine a block loop measures the tone with, and the host that counts what it shows.
class DisplayPace : public ::testing::Test {
 protected:
  MeasurementParams params = ToneParams();
  testing::QuietHost engineHost;
  MeasurementEngine engine{params, engineHost};
  CountingHost host;
};

TEST_F(DisplayPace, BlocksFasterThanFramesAreAllMeasuredButPaintedOnce) {
  BandPlot plot;
  plot.setWindowFlag(Qt::ToolTip);  // no window manager frame or activation to repaint it
  plot.resize(625, 121);
  plot.setScaleLeft(HzToBin(20, kRate, kLen));
  plot.setScaleWidth(460);
  EventCounter counter(QEvent::Paint, &plot);
  plot.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&plot));
  WaterfallWindow waterfall;
  waterfall.autoLevel()->setChecked(false);  // the bars' scale, as the rows below are painted
  waterfall.setupForStart(460);

  // What drawing every block gives.
  BandPlot everyBlock;
  everyBlock.resize(plot.size());
  everyBlock.setScaleLeft(plot.scaleLeft());
  everyBlock.setScaleWidth(plot.scaleWidth());
  WaterfallView everyRow;
  everyRow.resize(waterfall.view()->size());
  everyRow.setScaleWidth(460);

  BlockLoop loop(engine, params, host, &plot, &waterfall);
  int measured = 0;
  QObject::connect(&loop, &BlockLoop::blockProcessed, &loop, [&] {
    everyBlock.drawBlock(engine, params, kLen);
    (void)everyBlock.grab();
    const BlockMarks& m = engine.marks();
    if (!m.Measured) return;
    ++measured;
    everyRow.paintRow(engine.AvgPwr(), m.BandFirst, m.BandLast, 2.5f, 30, 0);
    everyRow.scrollRow();
  });
  QApplication::processEvents();
  counter.count = 0;

  constexpr int kBlocks = 30;
  loop.start(std::make_unique<ToneSource>(kBlocks));
  constexpr int kHour = 3600 * 1000;
  loop.frames().setInterval(kHour);
  loop.readoutFrames().setInterval(kHour);
  ASSERT_TRUE(QTest::qWaitFor([&] { return loop.blocksProcessed() == kBlocks; }, 20000));
  QApplication::processEvents();
  EXPECT_GT(measured, kBlocks / 2);
  EXPECT_EQ(counter.count, 1);
  EXPECT_EQ(host.readouts, 1);
  EXPECT_EQ(host.levels, 1);

  loop.stop();
  QApplication::processEvents();
  EXPECT_EQ(counter.count, 2);
  EXPECT_EQ(host.readouts, 2);
  EXPECT_EQ(plot.grab().toImage(), everyBlock.grab().toImage());
  EXPECT_EQ(waterfall.view()->picture(), everyRow.picture());
}

// A fast run paints in frames, each with what changed since the last: text set between frames
// shows at the next one, a panel that did not change is not painted again, and what changed
// after the last frame shows when the run ends.
TEST_F(DisplayPace, FastRunFramesPaintOnlyWhatChanged) {
  QWidget window;
  window.setWindowFlag(Qt::ToolTip);  // no window manager frame or activation to repaint it
  auto* layout = new QVBoxLayout(&window);
  auto* plot = new BandPlot;
  plot->setMinimumSize(625, 121);
  plot->setScaleLeft(HzToBin(20, kRate, kLen));
  plot->setScaleWidth(460);
  auto* panel = new QGroupBox(QStringLiteral("Parameters"));
  panel->setMinimumHeight(200);
  auto* label = new QLabel(QStringLiteral("none"));
  layout->addWidget(plot);
  layout->addWidget(panel);
  layout->addWidget(label);
  EventCounter plotPaints(QEvent::Paint, plot), panelPaints(QEvent::Paint, panel),
      labelPaints(QEvent::Paint, label);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  WaterfallWindow waterfall;
  waterfall.setupForStart(460);

  BlockLoop loop(engine, params, host, plot, &waterfall);
  constexpr int kBlocks = 8;
  int blocks = 0;
  QObject::connect(&loop, &BlockLoop::blockProcessed, &loop,
                   [&] { label->setText(QString::number(++blocks)); });
  loop.start(std::make_unique<ToneSource>(kBlocks, true));
  constexpr int kHour = 3600 * 1000;
  loop.frames().setInterval(kHour);
  loop.readoutFrames().setInterval(kHour);
  ASSERT_TRUE(QTest::qWaitFor([&] { return loop.blocksProcessed() == kBlocks; }, 20000));
  QApplication::processEvents();
  plotPaints.count = panelPaints.count = labelPaints.count = 0;

  label->setText(QStringLiteral("between frames"));
  QApplication::processEvents();
  EXPECT_EQ(labelPaints.count, 0) << "painted before its frame";
  loop.frames().flush();
  EXPECT_EQ(labelPaints.count, 1);
  EXPECT_EQ(plotPaints.count, 1);
  EXPECT_EQ(panelPaints.count, 0) << "an unchanged panel painted again with the frame";

  // Set after the last frame: the end of the run shows it.
  labelPaints.count = 0;
  label->setText(QStringLiteral("after the last frame"));
  QApplication::processEvents();
  loop.stop();
  EXPECT_TRUE(QTest::qWaitFor([&] { return labelPaints.count > 0; }, 2000))
      << "the window paints no more after a fast run";
}

}  // namespace
}  // namespace corvane
