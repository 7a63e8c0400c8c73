// The window as a desktop program: menus and their shortcuts, keys in the parameter boxes,
// and what it keeps between runs besides the settings file.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>
#include <QSettings>
#include <QTest>

#include "app/window_fixture.h"
#include "logging/data_log_panel.h"

namespace corvane::testing {
namespace {

// Up and Down step a parameter as its arrows do; Page Up and Page Down ten steps, never past
// the bar's ends.
TEST_F(WindowTest, KeysInAParameterBoxStepItAsItsArrows) {
  CorvaneWindow& w = Make();
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  QLineEdit* bw = Edit("SigBW");
  bw->setFocus();
  struct Step {
    Qt::Key key;
    const char* text;
  };
  // Down to the bar's end at 0 Hz: the box's own rule raises that to one bin, 1 Hz.
  for (const Step& s : {Step{Qt::Key_Up, "110"}, Step{Qt::Key_Down, "100"},
                        Step{Qt::Key_PageDown, "1"}, Step{Qt::Key_PageUp, "101"},
                        Step{Qt::Key_PageUp, "201"}}) {
    QTest::keyClick(bw, s.key);
    EXPECT_EQ(bw->text(), s.text) << s.key;
  }
  EXPECT_EQ(w.params().SigBWBins, 137);  // 201 Hz at 12000 Hz and 8192 points
}

// F1 shows the shortcuts beside the window, holding nothing up; Ctrl+Q ends the program
// through its normal end.
TEST_F(WindowTest, HelpDoesNotHoldTheWindowAndCtrlQQuits) {
  CorvaneWindow& w = Make();
  w.show();
  // A shortcut reaches the window the window manager has made active, not merely shown.
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  QTest::keyClick(&w, Qt::Key_F1);
  auto* help = w.findChild<QMessageBox*>("Keyboard shortcuts");
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->isVisible());
  EXPECT_FALSE(help->isModal());
  // Ctrl+Q where the user is: the window manager may or may not have made the help active.
  QWidget* active = QApplication::activeWindow();
  QTest::keyClick(active != nullptr ? active : &w, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w.isVisible(); }, 5000));
  EXPECT_TRUE(QFile::exists("CORVANE.INI"));
}

// The window's size and the options outside the design come back at the next start;
// CORVANE.INI keeps its eleven lines.
TEST_F(WindowTest, SizeAndOptionsComeBackAtTheNextStart) {
  QSettings().clear();
  {
    CorvaneWindow& w = Make();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QSize size(w.width() + 120, w.height() + 80);
    w.resize(size);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.size() == size; }, 5000));
    QTest::mouseClick(Find<QCheckBox>("DataLogOn"), Qt::LeftButton);
    ASSERT_FALSE(w.dataLog().enabled());
    w.close();
    window_.reset();
    CorvaneWindow& again = Make();
    EXPECT_EQ(again.size(), size);
    EXPECT_FALSE(again.dataLog().enabled());
  }
  EXPECT_EQ(FileLines("CORVANE.INI").size(), 11u);
}

}  // namespace
}  // namespace corvane::testing
