#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTimer>
#include <cmath>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <iostream>
#include <memory>

#include "app/command_line.h"
#include "app/corvane_window.h"
#include "app/history_command.h"
#include "capture/block_loop.h"
#include "capture/source_factory.h"
#include "logging/log_panel.h"

using namespace corvane;

namespace {

// Resolves --input; an unknown device name is a bad value.
bool ResolveInput(const std::string& input, SourceEntry* entry, std::string* error) {
  const QString text = QString::fromStdString(input);
  if (text == "default") {
    *entry = PlatformDefaultEntry();
    return true;
  }
  const std::vector<SourceEntry> sources = ListSources();
  if (text == "test") {
    for (const SourceEntry& s : sources) {
      if (s.kind == SourceEntry::Kind::TestSignal) {
        *entry = s;
        return true;
      }
    }
  }
  for (const SourceEntry& s : sources) {
    if (s.text == text) {
      *entry = s;
      return true;
    }
  }
  if (text.endsWith(".wav", Qt::CaseInsensitive) || QFileInfo(text).isFile()) {
    *entry = WavFileEntry(QFileInfo(text).absoluteFilePath());
    return true;
  }
  *error = "corvane: --input: no such source: " + input;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef __GLIBC__
  // A fixed threshold: large blocks (GenInfo's text as the document compacts it) go back to
  // the system when freed. With glibc's sliding threshold they are carved from the heap
  // instead, and over days of records the resident size creeps up by fragmentation.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
  // --help must work where no window can open; and an unattended station without a display
  // runs offscreen rather than aborting.
  bool platformGiven = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << CommandLineHelp();
      return 0;
    }
    if (arg == "-platform" || arg == "--platform") platformGiven = true;
  }
  if (!platformGiven && WantsPlotOnly(argc, argv)) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    platformGiven = true;
  }
  if (!platformGiven && !qEnvironmentVariableIsSet("DISPLAY") &&
      !qEnvironmentVariableIsSet("WAYLAND_DISPLAY")) {
    std::cerr << "corvane: no display; running offscreen\n";
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  app.setApplicationName("Corvane");

  std::vector<std::string> args;
  const QStringList qargs = QCoreApplication::arguments();
  for (qsizetype i = 1; i < qargs.size(); ++i) args.push_back(qargs[i].toStdString());
  const ParseResult parsed = ParseCommandLine(args);
  if (!parsed.options) {
    std::cerr << parsed.error << "\n";
    return 2;
  }
  const CommandLine& cl = *parsed.options;
  if (cl.help) {
    std::cout << CommandLineHelp();
    return 0;
  }
  if (!cl.plotFiles.empty() || !cl.historyFiles.empty()) return RunHistoryCommand(cl);
  SourceEntry input;
  if (!cl.input.empty()) {
    std::string error;
    if (!ResolveInput(cl.input, &input, &error)) {
      std::cerr << error << "\n";
      return 2;
    }
  }

  CorvaneWindow window;
  if (!cl.input.empty()) {
    if (cl.input == "default") {
      window.selectDefaultDevice();
    } else {
      window.selectSource(input);
    }
  }
  if (cl.fast) {
    window.setFastMode(true);
    // The source's own clock: a file starts at its modification time less its duration.
    auto origin = std::make_shared<QDateTime>();
    window.setClock([&window, origin, input]() {
      BlockSource* src = window.blockLoop() ? window.blockLoop()->source() : nullptr;
      if (!src) return QDateTime::currentDateTime();
      const double rate = src->actualSampleRate();
      if (!origin->isValid()) {
        QDateTime start = QDateTime::currentDateTime();
        if (input.kind == SourceEntry::Kind::WavFile && rate > 0 && src->totalFrames() > 0) {
          const QFileInfo info(input.path);
          start = info.lastModified().addMSecs(
              -static_cast<qint64>(std::llround(1000.0 * static_cast<double>(src->totalFrames()) /
                                                rate)));
        }
        *origin = start;
      }
      if (rate <= 0) return *origin;
      // A tick stands exactly on its second; a block in between on its last frame.
      const double seconds = window.blockLoop()->inSourceTick()
                                 ? static_cast<double>(window.blockLoop()->clockSeconds())
                                 : static_cast<double>(src->framesDelivered()) / rate;
      return origin->addMSecs(static_cast<qint64>(std::llround(1000.0 * seconds)));
    });
  }
  window.show();

  if (cl.start) {
    QTimer::singleShot(0, &window, [&window, &cl] {
      window.pressStart();
      if (cl.log) window.setLogging(true);
    });
  }
  if (cl.quitAfterSeconds) {
    const double limit = *cl.quitAfterSeconds;
    if (cl.fast) {
      QObject::connect(window.blockLoop(), &BlockLoop::clockTicked, &window,
                       [&window, limit](qint64 seconds) {
                         if (static_cast<double>(seconds) >= limit) window.close();
                       });
    } else {
      QTimer::singleShot(static_cast<int>(std::min(limit * 1000.0, 2.0e9)), &window,
                         &QWidget::close);
    }
  }
  const int status = app.exec();
  // For long unattended runs: GenInfo keeps at most LogPanel::kGenInfoLines records.
  if (qEnvironmentVariableIntValue("CORVANE_REPORT") == 1) {
    const QTextDocument* genInfo = window.logging().GenInfo->document();
    std::cerr << "corvane: GenInfo lines: " << (genInfo->isEmpty() ? 0 : genInfo->blockCount())
              << "\n";
  }
  return status;
}
