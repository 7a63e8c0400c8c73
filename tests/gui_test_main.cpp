#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <cstdio>

// Windows are tested the way a user meets them: on a display, with a window manager, where
// a modal dialog really does stop everything (scripts/display.sh gives one). Offscreen hid
// exactly such a dialog once, so it is not a silent fallback here.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
      std::fprintf(stderr,
                   "corvane_gui_tests: no DISPLAY; run under scripts/test.sh, or start one with "
                   "eval \"$(scripts/display.sh start DIR)\"\n");
      return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
  }
  // Settings the program keeps between runs (QSettings) go to a test location, begun empty:
  // a user's own never steer a test, and a test's never reach the user.
  QStandardPaths::setTestModeEnabled(true);
  QSettings("Corvane", "Corvane").clear();
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
