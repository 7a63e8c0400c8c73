// Runs the corvane binary with --plot over a generated log: it draws without a display and
// exits, and refuses what it cannot do with one line and status 2.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "support/history_logs.h"

namespace {

struct PlotRun {
  int exitCode = -1;
  std::string stdErr;
};

PlotRun Corvane(const QTemporaryDir& dir, const QStringList& args) {
  QProcess p;
  p.setWorkingDirectory(dir.path());
  // No display at all: --plot must not need one.
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  env.remove("QT_QPA_PLATFORM");
  env.insert("XDG_RUNTIME_DIR", dir.path());  // else Qt warns about it on stderr
  p.setProcessEnvironment(env);
  p.start(CORVANE_BINARY, args);
  PlotRun run;
  if (!p.waitForFinished(120000)) {
    p.kill();
    p.waitForFinished();
    return run;
  }
  run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  run.stdErr = p.readAllStandardError().toStdString();
  return run;
}

class PlotCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    // Six hours of the record log with an hour's outage.
    const double start = 20795.0 * 86400 + 6 * 3600;
    const std::string text =
        corvane::testing::RecordLogText(start, 6 * 3600, start + 7200, start + 10800);
    QFile f(dir_.filePath("SIGREC.TXT"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.data(), static_cast<qint64>(text.size()));
  }
  QTemporaryDir dir_;
};

TEST_F(PlotCommand, DrawsAPictureAndExits) {
  const PlotRun run = Corvane(dir_, {"--plot", "SIGREC.TXT", "--out", "week.png"});
  EXPECT_EQ(run.exitCode, 0) << run.stdErr;
  const QImage image(dir_.filePath("week.png"));
  EXPECT_EQ(image.size(), QSize(1600, 1000));
  // Not a blank page: the S/N line's blue is in it.
  int blue = 0;
  for (int y = 0; y < image.height(); y += 2) {
    for (int x = 0; x < image.width(); x += 2) {
      const QColor c = image.pixelColor(x, y);
      blue += c.blue() - c.red() > 60;
    }
  }
  EXPECT_GT(blue, 200);

  const PlotRun svg = Corvane(dir_, {"--plot", "SIGREC.TXT", "--out", "day.svg", "--from", "-2h"});
  EXPECT_EQ(svg.exitCode, 0) << svg.stdErr;
  QFile f(dir_.filePath("day.svg"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_TRUE(f.readAll().contains("<svg"));
}

TEST_F(PlotCommand, RefusesWithStatusTwoAndOneLine) {
  const std::vector<QStringList> bad = {
      {"--plot", "SIGREC.TXT", "--out", "week.jpg"},
      {"--plot", "missing.TXT", "--out", "week.png"},
      {"--plot", "SIGREC.TXT", "--out", "week.png", "--from", "noon"},
  };
  for (const QStringList& args : bad) {
    const PlotRun run = Corvane(dir_, args);
    EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
    EXPECT_EQ(run.stdErr.rfind("corvane: ", 0), 0u) << run.stdErr;
    EXPECT_EQ(run.stdErr.find('\n'), run.stdErr.size() - 1) << run.stdErr;
  }
  EXPECT_FALSE(QFile::exists(dir_.filePath("week.png")));
}

}  // namespace
