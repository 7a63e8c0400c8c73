#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "display/waterfall_view.h"
#include "display/waterfall_window.h"
#include "display/wf_colours.h"

namespace corvane {
namespace {

float PowerAtDb(double db) { return static_cast<float>(std::exp(db / 4.342944819)); }

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb k100Db = qRgb(0, 255, 167);  // palette 0 at gain 50, threshold 30

// A 400 x 50 picture over 4000 bins: ten bins a column.
class WaterfallViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view.resize(400, 50);
    view.show();
    view.setScaleWidth(4000);
  }
  void Row(int fMin, int fMax, uint8_t palette = 0) {
    view.paintRow(power.data(), fMin, fMax, 2.5f, 30, palette);
  }
  std::vector<int> ColouredColumns(const QImage& img, int row) const {
    std::vector<int> cols;
    for (int x = 0; x < img.width(); ++x) {
      if (img.pixel(x, row) != kBlack) cols.push_back(x);
    }
    return cols;
  }

  WaterfallView view;
  std::vector<float> power = std::vector<float>(65536, PowerAtDb(100));
};

TEST_F(WaterfallViewTest, RowCoversTheBandAtItsTruePlace) {
  EXPECT_EQ(view.objectName(), "WFall");
  ASSERT_EQ(view.picture().size(), QSize(400, 50));
  Row(1000, 1999);
  const QImage img = view.picture();
  EXPECT_EQ(img.pixel(100, 0), k100Db);
  EXPECT_EQ(img.pixel(199, 0), k100Db);
  EXPECT_EQ(img.pixel(99, 0), kBlack);
  EXPECT_EQ(img.pixel(200, 0), kBlack);
  EXPECT_EQ(ColouredColumns(img, 0).size(), 100u);
  EXPECT_TRUE(ColouredColumns(img, 1).empty());
}

// A resized window keeps what the waterfall showed: rows in order, newest on top, columns
// stretched or squeezed with the band.
TEST_F(WaterfallViewTest, ResizeKeepsTheHistory) {
  Row(1000, 1999);  // columns 100 .. 199
  view.scrollRow();
  std::fill(power.begin(), power.end(), PowerAtDb(162.4));
  Row(2000, 2999, 1);  // grey over columns 200 .. 299 of the top row only
  const QRgb grey = qRgb(255, 255, 255);
  struct Case {
    QSize size;
    int scale;  // new columns per old column, times 2
  };
  for (const Case& c : {Case{{800, 120}, 4}, Case{{200, 50}, 1}, Case{{400, 60}, 2}}) {
    view.resize(c.size);
    const QImage img = view.picture();
    ASSERT_EQ(img.size(), c.size);
    const auto at = [&](int oldColumn) { return oldColumn * c.scale / 2; };
    for (const int y : {0, 1}) {
      EXPECT_EQ(img.pixel(at(100), y), k100Db) << c.size.width() << " row " << y;
      EXPECT_EQ(img.pixel(at(199), y), k100Db) << c.size.width() << " row " << y;
      EXPECT_EQ(img.pixel(at(100) - 1, y), kBlack) << c.size.width() << " row " << y;
      EXPECT_EQ(img.pixel(at(250), y), y == 0 ? grey : kBlack) << c.size.width() << " row " << y;
    }
    EXPECT_TRUE(ColouredColumns(img, 2).empty()) << c.size.width();
  }
}

TEST_F(WaterfallViewTest, RowMovesDownOneRowPerScroll) {
  Row(1000, 1999);
  view.scrollRow();
  QImage img = view.picture();
  EXPECT_EQ(img.pixel(150, 1), k100Db);
  // The top row keeps the row just painted until the next one overwrites the band.
  EXPECT_EQ(img.pixel(150, 0), k100Db);
  EXPECT_TRUE(ColouredColumns(img, 2).empty());

  std::fill(power.begin(), power.end(), PowerAtDb(162.4));  // level 1: grey 255 in palette 1
  Row(1500, 2499, 1);
  view.scrollRow();
  view.scrollRow();
  img = view.picture();
  // Rows 0 .. 2: the grey row over columns 150 .. 249 on top of the first row's copies.
  for (int y = 0; y <= 2; ++y) {
    EXPECT_EQ(img.pixel(120, y), k100Db) << y;  // outside the new band the old row stays
    EXPECT_EQ(img.pixel(150, y), qRgb(255, 255, 255)) << y;
    EXPECT_EQ(img.pixel(240, y), qRgb(255, 255, 255)) << y;
  }
  EXPECT_EQ(img.pixel(150, 3), k100Db);
  EXPECT_EQ(img.pixel(199, 3), k100Db);
  EXPECT_EQ(img.pixel(200, 3), kBlack);
  EXPECT_EQ(img.pixel(240, 3), kBlack);
  EXPECT_TRUE(ColouredColumns(img, 4).empty());

  // After a picture's height of scrolls the first row has fallen off the bottom.
  for (int i = 0; i < 46; ++i) view.scrollRow();
  EXPECT_EQ(view.picture().pixel(150, 49), k100Db);
  view.scrollRow();
  for (int y = 0; y < 50; ++y) EXPECT_NE(view.picture().pixel(150, y), k100Db) << y;
}

TEST_F(WaterfallViewTest, ClearTurnsThePictureBlackAndTheNextRowStartsAtTheTop) {
  Row(1000, 1999);
  for (int i = 0; i < 60; ++i) view.scrollRow();  // wrap the ring
  Row(1000, 1999);
  view.clearPicture();
  const QImage cleared = view.picture();
  for (int y = 0; y < cleared.height(); ++y) ASSERT_TRUE(ColouredColumns(cleared, y).empty());
  Row(3000, 3099);
  EXPECT_EQ(ColouredColumns(view.picture(), 0).size(), 10u);
  EXPECT_TRUE(ColouredColumns(view.picture(), 1).empty());
}

// 8.21 bins a column, as at 8192 points: a single strong bin anywhere shows in its column.
TEST_F(WaterfallViewTest, NoBinIsSkippedWhenColumnsHoldSeveralBins) {
  view.setScaleWidth(3284);
  for (int bin = 1000; bin < 1100; ++bin) {
    std::fill(power.begin(), power.end(), 0.0f);
    power[bin] = PowerAtDb(100);
    view.clearPicture();
    Row(14, 3277);
    const QImage img = view.picture();
    const int col = static_cast<int>(std::floor(bin / (3284.0 / 400)));
    ASSERT_EQ(img.pixel(col, 0), k100Db) << "bin " << bin;
    // Its neighbours only when the bin straddles the column edge.
    for (int x : {col - 1, col + 1}) {
      const double lo = x * 3284.0 / 400, hi = (x + 1) * 3284.0 / 400;
      const bool overlaps = bin + 1 > lo && bin < hi;
      EXPECT_EQ(img.pixel(x, 0) == k100Db, overlaps) << "bin " << bin << " col " << x;
    }
  }
}

// Fewer bins than columns: each bin fills the columns it spans, no gaps.
TEST_F(WaterfallViewTest, FewBinsAreStretchedWithoutGaps) {
  view.setScaleWidth(100);  // four columns a bin
  Row(10, 19);
  EXPECT_EQ(ColouredColumns(view.picture(), 0).size(), 40u);
  EXPECT_EQ(view.picture().pixel(40, 0), k100Db);
  EXPECT_EQ(view.picture().pixel(79, 0), k100Db);
}

// The ring against the picture as the design moves it: each block paints the band into the
// top row, then the whole picture is copied one row lower. After more blocks than the
// picture has rows, the ring and its two-slice paint on the screen show the same.
TEST_F(WaterfallViewTest, RingShowsTheWholeImageScrollOfTheDesign) {
  QImage design(view.picture().size(), QImage::Format_RGB32);
  design.fill(kBlack);
  std::mt19937 rng(9);
  std::uniform_int_distribution<int> edge(0, 399);
  std::uniform_real_distribution<double> db(60, 170);
  const int blocks = 2 * design.height() + 17;
  for (int b = 0; b < blocks; ++b) {
    // A band of whole columns (ten bins each) at one level.
    int lo = edge(rng), hi = edge(rng);
    if (lo > hi) std::swap(lo, hi);
    const float p = PowerAtDb(db(rng));
    const auto palette = static_cast<uint8_t>(b % 3);
    std::fill(power.begin(), power.end(), p);
    Row(lo * 10, hi * 10 + 9, palette);
    double level = WaterfallLevel(p, 2.5f, 30);
    const Rgb c = WFCols(level, palette);
    for (int x = lo; x <= hi; ++x) design.setPixel(x, 0, qRgb(c.r, c.g, c.b));
    view.scrollRow();
    const QImage before = design.copy();
    QPainter painter(&design);
    painter.drawImage(0, 1, before);
  }
  ASSERT_EQ(view.picture(), design);
  view.update();
  EXPECT_EQ(view.grab().toImage().convertToFormat(QImage::Format_RGB32), design);
}

TEST(WaterfallWindow, DesignStateAndCaptions) {
  WaterfallWindow wf;
  EXPECT_EQ(wf.objectName(), "WF");
  EXPECT_EQ(wf.windowTitle(), "Wfall ");
  EXPECT_TRUE(wf.isWindow());
  EXPECT_EQ(wf.view()->objectName(), "WFall");
  auto label = [&](const char* name) { return wf.findChild<QLabel*>(name)->text(); };
  EXPECT_EQ(label("Label1"), "WF Gain");
  EXPECT_EQ(label("Label2"), "Threshold");
  EXPECT_EQ(label("Label3"), "Pallette");
  EXPECT_EQ(wf.gain()->objectName(), "WFGain");
  EXPECT_EQ(wf.gain()->minimum(), 1);
  EXPECT_EQ(wf.gain()->maximum(), 255);
  EXPECT_EQ(wf.gain()->pageStep(), 5);
  EXPECT_EQ(wf.gain()->value(), 50);
  EXPECT_EQ(wf.threshold()->objectName(), "WFThr");
  EXPECT_EQ(wf.threshold()->maximum(), 100);
  EXPECT_EQ(wf.threshold()->value(), 30);
  EXPECT_EQ(wf.palette()->objectName(), "WFpal");
  EXPECT_EQ(wf.palette()->maximum(), 2);
  EXPECT_EQ(wf.palette()->value(), 0);

  wf.gain()->setValue(255);
  EXPECT_EQ(label("Label1"), "WF Gain 255");
  wf.gain()->setValue(50);
  EXPECT_EQ(label("Label1"), "WF Gain 50");
  wf.threshold()->setValue(31);
  wf.threshold()->setValue(30);
  EXPECT_EQ(label("Label2"), "WF Thresh  30dB");
  wf.palette()->setValue(2);
  EXPECT_EQ(label("Label3"), "Pallette");

  // The automatic level is on at first and holds the gain and threshold bars; off, they
  // work again.
  EXPECT_TRUE(wf.autoLevel()->isChecked());
  EXPECT_FALSE(wf.gain()->isEnabled());
  EXPECT_FALSE(wf.threshold()->isEnabled());
  EXPECT_TRUE(wf.palette()->isEnabled());
  wf.autoLevel()->setChecked(false);
  EXPECT_TRUE(wf.gain()->isEnabled());
  EXPECT_TRUE(wf.threshold()->isEnabled());
}

TEST(WaterfallWindow, RowsUseTheScrollBarsAndTheStartScale) {
  WaterfallWindow wf;
  wf.autoLevel()->setChecked(false);
  wf.show();
  WaterfallView* view = wf.view();
  ASSERT_GT(view->width(), 300);
  EXPECT_GT(view->height(), 200);
  wf.setupForStart(view->width() * 10.0);  // ten bins a column
  std::vector<float> power(65536, 0.0f);
  power[1005] = PowerAtDb(100);
  wf.paintRow(power.data(), 14, 3277);
  EXPECT_EQ(view->picture().pixel(100, 0), k100Db);
  EXPECT_EQ(view->picture().pixel(50, 0), kBlack);  // 0 power: black in palette 0
  wf.palette()->setValue(2);
  wf.threshold()->setValue(40);  // 100 dB now reads 2.5 x 30 / 256
  wf.scrollRow();
  wf.paintRow(power.data(), 14, 3277);
  const QImage img = view->picture();
  EXPECT_EQ(img.pixel(50, 0), qRgb(0, 127, 254));
  EXPECT_EQ(img.pixel(100, 1), k100Db);
  double level = 2.5 * 30 / 256;
  const Rgb expected = WFCols(level, 2);
  EXPECT_EQ(img.pixel(100, 0), qRgb(expected.r, expected.g, expected.b));
  wf.clearPicture();
  EXPECT_EQ(view->picture().pixel(100, 1), kBlack);
}

// With the automatic level, a carrier 10 dB over the noise stands out of dark noise,
// wherever the receiver's level puts them.
TEST(WaterfallWindow, AutoLevelShowsTheCarrierOverDarkNoise) {
  for (double noiseDb : {75.0, 110.0}) {
    WaterfallWindow wf;
    wf.show();
    WaterfallView* view = wf.view();
    wf.setupForStart(view->width() * 10.0);
    std::vector<float> power(65536, PowerAtDb(noiseDb));
    power[1005] = PowerAtDb(noiseDb + 10);
    wf.paintRow(power.data(), 14, 3277, 0);
    const QImage img = view->picture();
    EXPECT_LT(std::max({qRed(img.pixel(50, 0)), qGreen(img.pixel(50, 0)), qBlue(img.pixel(50, 0))}),
              40)
        << noiseDb;
    EXPECT_EQ(qGreen(img.pixel(100, 0)), 255) << noiseDb;
  }
}

// Rows keep the time they were made: a mark stands on the first row of each minute and
// moves down with it.
TEST_F(WaterfallViewTest, TimeMarksMoveDownWithTheirRows) {
  const double t0 = 1781265000 - 30;  // 30 s before a whole minute, UTC
  for (int i = 0; i < 40; ++i) {      // one row a second, newest at the top
    Row(1000, 1999);
    view.stampRow(t0 + i);
    view.scrollRow();
  }
  // The top two rows show the same row until the next is painted; the marks begin below.
  std::vector<WaterfallView::TimeMark> marks = view.timeMarks();
  ASSERT_EQ(marks.size(), 1u);
  EXPECT_EQ(marks[0].row, 10);  // 39 - 30 + 1: the row of t0 + 30 s
  EXPECT_EQ(marks[0].text,
            QDateTime::fromSecsSinceEpoch(1781265000, Qt::UTC).toString("hh:mm"));
  for (int i = 40; i < 45; ++i) {
    Row(1000, 1999);
    view.stampRow(t0 + i);
    view.scrollRow();
  }
  marks = view.timeMarks();
  ASSERT_EQ(marks.size(), 1u);
  EXPECT_EQ(marks[0].row, 15);
  view.clearPicture();
  EXPECT_TRUE(view.timeMarks().empty());
}

}  // namespace
}  // namespace corvane
