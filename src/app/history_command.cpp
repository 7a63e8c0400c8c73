#include "app/history_command.h"

#include <QApplication>
#include <QDateTime>
#include <QSize>
#include <QStringList>
#include <iostream>
#include <string>

#include "display/history_files.h"
#include "display/history_plot.h"
#include "display/history_view.h"
#include "display/history_window.h"

namespace corvane {

namespace {

constexpr int kPictureWidth = 1600;
constexpr int kPictureHeight = 1000;

QStringList Paths(const std::vector<std::string>& files) {
  QStringList paths;
  for (const std::string& f : files) paths << QString::fromStdString(f);
  return paths;
}

double Resolve(const TimeArgument& t, double last) {
  return t.beforeLast ? last - t.seconds : t.seconds;
}

// The span to draw: --from and --to where given, else the records' own (or the last day,
// when there are none yet).
bool ChooseSpan(const CommandLine& cl, const LogHistory& history, double* t0, double* t1) {
  double first = 0, last = 0;
  if (!history.span(&first, &last)) {
    last = static_cast<double>(QDateTime::currentSecsSinceEpoch());
    first = last - 86400;
  }
  if (last - first < 60) {
    first -= 30;
    last += 30;
  }
  *t0 = cl.from ? Resolve(*cl.from, last) : first;
  *t1 = cl.to ? Resolve(*cl.to, last) : last;
  return *t1 > *t0;
}

}  // namespace

bool WantsPlotOnly(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--plot" || arg.rfind("--plot=", 0) == 0) return true;
  }
  return false;
}

int RunHistoryCommand(const CommandLine& cl) {
  const bool plot = !cl.plotFiles.empty();
  HistoryFiles files;
  QString error;
  if (!LoadHistoryFiles(Paths(plot ? cl.plotFiles : cl.historyFiles), &files, &error)) {
    std::cerr << "corvane: " << error.toStdString() << "\n";
    return 2;
  }
  double t0 = 0, t1 = 0;
  if (!ChooseSpan(cl, files.history, &t0, &t1)) {
    std::cerr << "corvane: --from must come before --to\n";
    return 2;
  }
  if (plot) {
    if (files.history.rows() == 0) std::cerr << "corvane: no records in the logs given\n";
    if (!WriteHistoryPicture(files.history, files.title, files.datesInferred,
                             kDefaultAlarmThresholdDb, t0, t1, QSize(kPictureWidth, kPictureHeight),
                             QString::fromStdString(cl.out), &error)) {
      std::cerr << "corvane: " << error.toStdString() << "\n";
      return 2;
    }
    return 0;
  }
  HistoryWindow window;
  if (!window.openFiles(Paths(cl.historyFiles))) {
    std::cerr << "corvane: " << window.status().toStdString() << "\n";
    return 2;
  }
  if (cl.from || cl.to) window.view()->setTimeRange(t0, t1);
  window.resize(1280, 860);
  window.show();
  return QApplication::exec();
}

}  // namespace corvane
