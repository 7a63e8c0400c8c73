#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
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
  // The window keeps its size and options in the user's configuration folder: the tests,
  // and the programs they start, keep theirs in a folder of their own.
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QApplication app(argc, argv);
  app.setOrganizationName("Corvane");
  app.setApplicationName("Corvane");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
