#include <gtest/gtest.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QEvent>
#include <QImage>
#include <QTest>
#include <vector>

#include "app/level_meter.h"
#include "app/level_scale.h"
#include "display/axis_scales.h"
#include "support/event_counter.h"

namespace {

using corvane::LevelMeter;
using corvane::LevelScale;
using corvane::testing::EventCounter;

// Rows from the bottom that show the bar colour in the middle column.
int BarRows(const QImage& img, QRgb colour) {
  int rows = 0;
  for (int y = img.height() - 2; y > 0 && img.pixel(img.width() / 2, y) == colour; --y) ++rows;
  return rows;
}

// The meter skips repaints for level changes under a pixel, but never one that moves the bar
// or turns it red.
TEST(LevelMeter, RepaintsExactlyWhenTheBarChanges) {
  LevelMeter meter;
  // Not managed by the window manager, so no activation or frame repaints it meanwhile.
  meter.setWindowFlag(Qt::ToolTip);
  meter.resize(16, 100);
  EventCounter counter(QEvent::Paint, &meter);
  meter.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&meter));
  meter.setLevel(25, false);  // 50 px
  QApplication::processEvents();
  ASSERT_TRUE(QTest::qWaitFor([&] { return counter.count >= 1; }, 5000));

  counter.count = 0;
  meter.setLevel(25.2, false);  // 50.4 px: the same bar
  QApplication::processEvents();
  EXPECT_EQ(counter.count, 0);
  EXPECT_DOUBLE_EQ(meter.level(), 25.2);

  meter.setLevel(30, false);  // 60 px
  QApplication::processEvents();
  EXPECT_EQ(counter.count, 1);
  // The bottom row is the frame.
  EXPECT_EQ(BarRows(meter.grab().toImage(), qRgb(0, 0, 255)), 60 - 1);

  counter.count = 0;
  meter.setLevel(30, true);  // same height, new colour
  QApplication::processEvents();
  EXPECT_EQ(counter.count, 1);
  EXPECT_EQ(BarRows(meter.grab().toImage(), qRgb(255, 0, 0)), 60 - 1);

  // A change that is undone before the next paint leaves nothing to repaint, and the bar
  // shown is still the right one.
  meter.setLevel(10, true);
  meter.setLevel(30, true);
  QApplication::processEvents();
  EXPECT_EQ(BarRows(meter.grab().toImage(), qRgb(255, 0, 0)), 60 - 1);
}

// The dBFS scale beside the meter: a block whose peak is at a numbered level fills the bar
// exactly up to that number's row.
TEST(LevelMeter, ScaleTicksStandWhereTheBarOfThatLevelEnds) {
  QWidget box;
  box.setWindowFlag(Qt::ToolTip);
  auto* row = new QHBoxLayout(&box);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  auto* meter = new LevelMeter;
  meter->setScaleHeight(50);
  auto* scale = new LevelScale(meter);
  row->addWidget(scale);
  row->addWidget(meter);
  box.resize(70, 300);
  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));

  EXPECT_EQ(scale->step(), 10);
  std::vector<double> values;
  for (const LevelScale::Tick& t : scale->ticks()) values.push_back(t.dbfs);
  // The meter spans -60.3 dBFS (a peak of 1) to -10.3 dBFS (a peak of 10 000); -60 lies
  // too near the bottom for its number to stand on it.
  EXPECT_EQ(values, (std::vector<double>{-50, -40, -30, -20}));

  const QImage marks = scale->grab().toImage();
  const QRgb background = marks.pixel(0, 0);
  for (const LevelScale::Tick& t : scale->ticks()) {
    SCOPED_TRACE(t.dbfs);
    meter->setLevel(corvane::DbfsToInputLevel(t.dbfs), false);
    const QImage bar = meter->grab().toImage();
    int top = 0;
    while (top < bar.height() && bar.pixel(bar.width() / 2, top) != qRgb(0, 0, 255)) ++top;
    ASSERT_LT(top, bar.height());
    EXPECT_EQ(meter->mapTo(&box, QPoint(0, top)).y(), scale->mapTo(&box, QPoint(0, t.y)).y());
    // The number is drawn there: ink on its row, right of the scale's middle.
    bool ink = false;
    for (int x = marks.width() / 2; x < marks.width(); ++x) ink |= marks.pixel(x, t.y) != background;
    EXPECT_TRUE(ink);
  }
}

}  // namespace
