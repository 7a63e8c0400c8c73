// The log history's costs, for a day (86,400) and a week (604,800) of one-second records:
//   BM_Read/record|data:   parsing the text alone (the record log, the CSV data log)
//   BM_Open/record|data:   what opening costs: reading the files from disk, parsing, joining,
//                          and the first drawing of the panes into a 1600 x 1000 picture
//   BM_Pan/<span>:         one frame while dragging: the panes drawn again for a view moved
//                          by 10 pixels (reduction to pixel columns included), over a week
//   BM_Follow:             one second of a log being written: one appended record read and
//                          added to a week
// Runs offscreen; the logs are generated into a temporary folder before timing.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <string>

#include "display/history_columns.h"
#include "display/history_files.h"
#include "display/history_plot.h"
#include "logging/log_history.h"
#include "support/history_logs.h"

namespace {

using namespace corvane;

constexpr double kStart = 20787.0 * 86400;  // Monday 2026-11-30 00:00 UTC
constexpr long kDay = 86400;
constexpr long kWeek = 7 * kDay;
const QSize kPicture(1600, 1000);

QTemporaryDir* g_dir = nullptr;

const std::string& Text(bool record, long rows) {
  static std::string texts[2][2];
  std::string& t = texts[record][rows == kWeek];
  if (t.empty()) {
    t = record ? testing::RecordLogText(kStart, rows) : testing::DataLogText(kStart, rows);
  }
  return t;
}

QString File(bool record, long rows) {
  const QString path = g_dir->filePath(
      QString("%1-%2.%3").arg(record ? "record" : "data").arg(rows).arg(record ? "TXT" : "csv"));
  if (!QFile::exists(path)) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    const std::string& t = Text(record, rows);
    f.write(t.data(), static_cast<qint64>(t.size()));
  }
  return path;
}

void BM_Read(benchmark::State& state) {
  const bool record = state.range(0) == 1;
  const long rows = state.range(1);
  const std::string& text = Text(record, rows);
  for (auto _ : state) {
    LogReader reader;
    LogHistory h;
    benchmark::DoNotOptimize(reader.read(text, kStart + static_cast<double>(rows), &h));
  }
  state.SetLabel(record ? "record log" : "data log");
  state.SetItemsProcessed(state.iterations() * rows);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_Read)
    ->ArgsProduct({{1, 0}, {kDay, kWeek}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

void BM_Open(benchmark::State& state) {
  const bool record = state.range(0) == 1;
  const long rows = state.range(1);
  const QString path = File(record, rows);
  QImage image(kPicture, QImage::Format_RGB32);
  for (auto _ : state) {
    HistoryFiles files;
    QString error;
    if (!LoadHistoryFiles({path}, &files, &error)) state.SkipWithError("cannot read");
    double first = 0, last = 0;
    files.history.span(&first, &last);
    HistoryPlot plot;
    plot.setHistory(&files.history);
    QPainter p(&image);
    plot.paint(p, image.rect(), first, last);
  }
  state.SetLabel(record ? "record log" : "data log");
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_Open)
    ->ArgsProduct({{1, 0}, {kDay, kWeek}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// A week of the data log, viewed `span` seconds wide, moved 10 pixels a frame.
void BM_Pan(benchmark::State& state) {
  static HistoryFiles files;
  if (files.files.empty()) {
    QString error;
    LoadHistoryFiles({File(false, kWeek)}, &files, &error);
  }
  const double span = static_cast<double>(state.range(0));
  HistoryPlot plot;
  plot.setHistory(&files.history);
  QImage image(kPicture, QImage::Format_RGB32);
  double t0 = kStart;
  const double step = 10 * span / kPicture.width();
  for (auto _ : state) {
    QPainter p(&image);
    plot.paint(p, image.rect(), t0, t0 + span);
    p.end();
    t0 += step;
    if (t0 + span > kStart + kWeek) t0 = kStart;
  }
  state.SetLabel(span >= kWeek ? "week in view" : span >= kDay ? "day in view" : "hour in view");
}
BENCHMARK(BM_Pan)->Arg(3600)->Arg(kDay)->Arg(kWeek)->Unit(benchmark::kMillisecond);

// The reduction alone, S/N in 1 Hz only, for the same views.
void BM_Reduce(benchmark::State& state) {
  static HistoryFiles files;
  if (files.files.empty()) {
    QString error;
    LoadHistoryFiles({File(false, kWeek)}, &files, &error);
  }
  const double span = static_cast<double>(state.range(0));
  const HistorySeries& s = files.history[HistoryField::Snr1HzDb];
  double t0 = kStart;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ReduceToColumns(s, t0, t0 + span, 1500, 3.5));
    t0 += 10 * span / 1500;
    if (t0 + span > kStart + kWeek) t0 = kStart;
  }
}
BENCHMARK(BM_Reduce)->Arg(3600)->Arg(kDay)->Arg(kWeek)->Unit(benchmark::kMillisecond);

void BM_Follow(benchmark::State& state) {
  HistoryFiles files;
  QString error;
  LoadHistoryFiles({File(false, kWeek)}, &files, &error);
  const std::string one = testing::DataLogText(kStart + kWeek, 1);
  const std::string line = one.substr(one.find('\n', one.find("utc,")) + 1);
  HistoryPlot plot;
  plot.setHistory(&files.history);
  double t = kStart + kWeek;
  for (auto _ : state) {
    LogHistory more;
    files.files[0].reader.read(line, t, &more);
    AppendHistory(&files.history, more);
    plot.historyChanged();
    t += 1;
  }
}
BENCHMARK(BM_Follow)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir dir;
  g_dir = &dir;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
