// The waterfall docked under the spectrum, and a window that fits a small screen.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDockWidget>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <vector>

#include "app/window_fixture.h"
#include "display/band_plot.h"
#include "display/waterfall_view.h"
#include "display/waterfall_window.h"
#include "settings/parameter_panel.h"

namespace corvane::testing {
namespace {

class WaterfallDockTest : public WindowTest {
 protected:
  QDockWidget* Dock() { return Find<QDockWidget>("WaterfallDock"); }
  QAction* ViewWaterfall() { return Find<QAction>("ShowWaterfall"); }
  static int GlobalX(QWidget* w, int x) { return w->mapToGlobal(QPoint(x, 0)).x(); }
};

// On a 1280 x 720 screen the whole window, frame included, fits; every group can be reached
// and the plot and the waterfall keep a useful size.
TEST_F(WaterfallDockTest, WindowFitsA1280By720Screen) {
  QSettings().clear();
  CorvaneWindow& w = Make();
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  const QSize frame = w.frameGeometry().size() - w.geometry().size();
  w.resize(1280 - frame.width(), 720 - frame.height());
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.frameGeometry().width() <= 1280; }, 5000))
      << w.frameGeometry().width() << " wide at least";
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.frameGeometry().height() <= 720; }, 5000))
      << w.frameGeometry().height() << " high at least";
  QApplication::processEvents();
  for (const char* name : {"Start", "DeviceBox", "SetupGroup", "FrequencyGroup", "CFToPeak",
                           "SNResults", "Calibrated", "LoggingGroup", "GeneralInfoGroup",
                           "StartLog", "FMax", "AVConst", "WFpal", "AutoLevel"}) {
    auto* c = w.findChild<QWidget*>(name);
    ASSERT_NE(c, nullptr) << name;
    const QRect inWindow(c->mapTo(&w, QPoint(0, 0)), c->size());
    EXPECT_TRUE(w.rect().contains(inWindow)) << name << " lies outside the window";
    EXPECT_GT(c->width(), 10) << name;
    EXPECT_GT(c->height(), 10) << name;
  }
  EXPECT_GE(w.spectrum()->width(), 500);
  EXPECT_GE(w.spectrum()->height(), 100);
  EXPECT_GE(w.waterfall()->view()->height(), 100);
}

// Closed with its own button, the waterfall comes back from View, docked under the plot;
// the menu's check follows it.
TEST_F(WaterfallDockTest, ClosedWaterfallComesBackFromTheViewMenu) {
  QSettings().clear();
  CorvaneWindow& w = Make();
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  ASSERT_TRUE(w.waterfall()->isVisible());
  EXPECT_TRUE(ViewWaterfall()->isChecked());
  Dock()->close();
  EXPECT_FALSE(w.waterfall()->isVisible());
  EXPECT_FALSE(ViewWaterfall()->isChecked());
  ViewWaterfall()->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.waterfall()->isVisible(); }, 5000));
  EXPECT_FALSE(Dock()->isFloating());
  EXPECT_TRUE(ViewWaterfall()->isChecked());
  const QPoint plotBottom = w.spectrum()->mapToGlobal(QPoint(0, w.spectrum()->height()));
  EXPECT_GE(w.waterfall()->view()->mapToGlobal(QPoint(0, 0)).y(), plotBottom.y());
  // Ctrl+W as well, once the window manager has made the window active.
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  QTest::keyClick(&w, Qt::Key_W, Qt::ControlModifier);
  EXPECT_FALSE(w.waterfall()->isVisible());
}

// Floating or closed, the waterfall is as it was left at the next start, and so is the
// automatic level; CORVANE.INI keeps its eleven lines.
TEST_F(WaterfallDockTest, DockAndAutoLevelComeBackAtTheNextStart) {
  QSettings().clear();
  {
    CorvaneWindow& w = Make();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    Dock()->setFloating(true);
    Dock()->move(w.geometry().topLeft() + QPoint(200, 150));
    QTest::mouseClick(w.waterfall()->autoLevel(), Qt::LeftButton, {},
                      QPoint(8, w.waterfall()->autoLevel()->height() / 2));
    ASSERT_FALSE(w.waterfall()->autoLevel()->isChecked());
    w.close();
  }
  window_.reset();
  {
    CorvaneWindow& w = Make();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_TRUE(Dock()->isFloating());
    EXPECT_TRUE(Dock()->isVisible());
    EXPECT_FALSE(w.waterfall()->autoLevel()->isChecked());
    EXPECT_TRUE(w.waterfall()->gain()->isEnabled());
    Dock()->setFloating(false);
    Dock()->close();
    w.close();
  }
  window_.reset();
  CorvaneWindow& w = Make();
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  EXPECT_FALSE(Dock()->isFloating());
  EXPECT_FALSE(Dock()->isVisible());
  EXPECT_FALSE(ViewWaterfall()->isChecked());
  EXPECT_EQ(FileLines("CORVANE.INI").size(), 11u);
}

// A carrier's column in the waterfall stands under the plot's column for the same bin, and
// the scale's labels under their frequencies, after the band is narrowed and after the
// window is resized.
TEST_F(WaterfallDockTest, WaterfallLinesUpWithThePlotAfterABandChange) {
  QSettings().clear();
  CorvaneWindow& w = Make();
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  WaterfallWindow* wf = w.waterfall();
  wf->autoLevel()->setChecked(false);
  BandPlot* plot = w.spectrum();
  ParameterPanel& p = w.parameters();
  const double hzPerBin = 12000.0 / 8192;

  auto check = [&](const char* when) {
    QApplication::processEvents();
    WaterfallView* view = wf->view();
    EXPECT_EQ(view->scaleLeft(), plot->scaleLeft()) << when;
    EXPECT_EQ(view->scaleWidth(), plot->scaleWidth()) << when;
    EXPECT_EQ(GlobalX(view, 0), GlobalX(plot, static_cast<int>(plot->binsToX(plot->scaleLeft()))))
        << when;
    EXPECT_EQ(GlobalX(view, view->width()),
              GlobalX(plot, static_cast<int>(std::lround(
                                plot->binsToX(plot->scaleLeft() + plot->scaleWidth())))))
        << when;
    // A lone strong bin in the middle of the band.
    const int bin = static_cast<int>(plot->scaleLeft() + plot->scaleWidth() / 2);
    std::vector<float> power(65536, 0.0f);
    power[static_cast<size_t>(bin)] = 1.0e9f;
    wf->clearPicture();
    wf->paintRow(power.data(), 0, 4095);
    const QImage row = view->picture();
    std::vector<int> lit;
    for (int x = 0; x < row.width(); ++x)
      if (row.pixel(x, 0) != qRgb(0, 0, 0)) lit.push_back(x);
    ASSERT_FALSE(lit.empty()) << when;
    const int plotColumn = GlobalX(plot, plot->pixelColumn(bin));
    EXPECT_LE(std::abs(GlobalX(view, lit.front()) - plotColumn), 1) << when;
    // The scale's labels: the frequency each names lies under it.
    const auto labels = wf->frequencyScale()->labels();
    ASSERT_GE(labels.size(), 2u) << when;
    for (const auto& l : labels) {
      const double hz = l.text.toDouble();
      const int underPlot = GlobalX(plot, static_cast<int>(plot->binsToX(hz / hzPerBin)));
      EXPECT_LE(std::abs(GlobalX(wf->frequencyScale(), l.x) - underPlot), 1)
          << when << " " << l.text.toStdString();
    }
  };
  check("at start");
  p.FMin->setValue(800);
  p.FMax->setValue(1600);
  check("after narrowing the band");
  const int narrower = w.width() - 150;
  w.resize(narrower, w.height());
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.width() == narrower; }, 5000));
  check("after a resize");
}

}  // namespace
}  // namespace corvane::testing
