#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QImage>
#include <QTest>

#include "app/level_meter.h"

namespace {

using corvane::LevelMeter;

class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

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
  PaintCounter counter;
  meter.installEventFilter(&counter);
  meter.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&meter));
  meter.setLevel(25, false);  // 50 px
  QApplication::processEvents();
  ASSERT_TRUE(QTest::qWaitFor([&] { return counter.paints >= 1; }, 5000));

  counter.paints = 0;
  meter.setLevel(25.2, false);  // 50.4 px: the same bar
  QApplication::processEvents();
  EXPECT_EQ(counter.paints, 0);
  EXPECT_DOUBLE_EQ(meter.level(), 25.2);

  meter.setLevel(30, false);  // 60 px
  QApplication::processEvents();
  EXPECT_EQ(counter.paints, 1);
  // The bottom row is the frame.
  EXPECT_EQ(BarRows(meter.grab().toImage(), qRgb(0, 0, 255)), 60 - 1);

  counter.paints = 0;
  meter.setLevel(30, true);  // same height, new colour
  QApplication::processEvents();
  EXPECT_EQ(counter.paints, 1);
  EXPECT_EQ(BarRows(meter.grab().toImage(), qRgb(255, 0, 0)), 60 - 1);

  // A change that is undone before the next paint leaves nothing to repaint, and the bar
  // shown is still the right one.
  meter.setLevel(10, true);
  meter.setLevel(30, true);
  QApplication::processEvents();
  EXPECT_EQ(BarRows(meter.grab().toImage(), qRgb(255, 0, 0)), 60 - 1);
}

}  // namespace
