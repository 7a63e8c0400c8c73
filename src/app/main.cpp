#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <cmath>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <iostream>
#include <memory>

#include "app/command_line.h"
#include "app/corvane_window.h"
#include "app/history_command.h"
#include "app/unix_signals.h"
#include "capture/run_control.h"
#include "capture/source_factory.h"
#include "logging/log_panel.h"

using namespace corvane;

namespace {

// Resolves --input: a source of ours, a listed device, an audio file, or else a capture
// device's name as the audio server knows it.
SourceEntry ResolveInput(const std::string& input) {
  const QString text = QString::fromStdString(input);
  if (text == "default") return PlatformDefaultEntry();
  const std::vector<SourceEntry> sources = ListSources();
  if (text == "test") {
    for (const SourceEntry& s : sources) {
      if (s.kind == SourceEntry::Kind::TestSignal) return s;
    }
  }
  for (const SourceEntry& s : sources) {
    if (s.text == text) return s;
  }
  if (IsAudioFileName(text) || QFileInfo(text).isFile())
    return WavFileEntry(QFileInfo(text).absoluteFilePath());
  // Not (yet) in the platform's list, which fills in a while after start-up on a busy
  // machine: the audio server is asked for it by name at START, and says if it has none.
  SourceEntry card;
  card.kind = SourceEntry::Kind::SoundCard;
  card.text = text;
  card.id = text.toUtf8();
  return card;
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
  app.setOrganizationName("Corvane");

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
  if (!cl.input.empty()) input = ResolveInput(cl.input);

  UnixSignals unixSignals;
  CorvaneWindow window;
  QObject::connect(&unixSignals, &UnixSignals::received, &window, [&window](int number) {
    std::cerr << "corvane: signal " << number << ": ending\n";
    window.close();
  });
  if (!cl.interval.empty()) window.chooseLogInterval(QString::fromStdString(cl.interval));
  if (cl.log && window.params().LogIntervalSecs == 0) {
    std::cerr << "corvane: --log: the log interval is \"No Log\", so nothing would be "
                 "written; choose one with --interval (for example --interval 1s)\n";
    return 2;
  }
  if (!cl.input.empty()) {
    if (cl.input == "default") {
      window.selectDefaultDevice();
    } else {
      window.selectSource(input);
    }
  }
  if (cl.fast) window.setFastMode(true);
  if (!cl.csv.empty()) window.setDataLogFile(cl.csv);
  if (!cl.mqtt.empty()) {
    QString error;
    if (!window.setMqtt(QString::fromStdString(cl.mqtt),
                        QString::fromStdString(cl.mqttCredentials), &error)) {
      std::cerr << "corvane: --mqtt: " << error.toStdString() << "\n";
      return 2;
    }
  }
  if (!cl.recordDirectory.empty())
    window.setRecording(QString::fromStdString(cl.recordDirectory), true);
  window.show();

  int exitStatus = 0;
  QObject::connect(&window, &CorvaneWindow::runEnded, &window,
                   [&window, &exitStatus, &cl](bool opened) {
                     // An unattended run with nothing to measure ends at once and says so.
                     if (!opened && cl.start) {
                       exitStatus = 1;
                       window.close();
                     } else if (opened && cl.fast) {
                       window.close();
                     }
                   });
  if (cl.start) {
    QTimer::singleShot(0, &window, [&window, &cl] {
      window.pressStart();
      if (cl.log && window.captureRunning()) window.setLogging(true);
    });
  }
  QTimer quitTimer;
  if (cl.quitAfterSeconds) {
    const double limit = *cl.quitAfterSeconds;
    if (cl.fast) {
      auto ticks = std::make_shared<qint64>(0);
      QObject::connect(window.runControl(), &RunControl::tick, &window,
                       [&window, limit, ticks](const QDateTime&) {
                         if (static_cast<double>(++*ticks) >= limit) window.close();
                       });
    } else {
      // A timer holds about 24 days at most: longer spans are waited for in steps.
      const qint64 deadline = QDateTime::currentMSecsSinceEpoch() +
                              static_cast<qint64>(std::llround(limit * 1000.0));
      quitTimer.setSingleShot(true);
      auto arm = [&quitTimer, deadline] {
        const qint64 left = deadline - QDateTime::currentMSecsSinceEpoch();
        quitTimer.start(static_cast<int>(std::clamp<qint64>(left, 0, 86400000)));
      };
      QObject::connect(&quitTimer, &QTimer::timeout, &window, [&window, deadline, arm] {
        if (QDateTime::currentMSecsSinceEpoch() >= deadline) {
          window.close();
        } else {
          arm();
        }
      });
      arm();
    }
  }
  const int status = app.exec();
  if (status == 0 && exitStatus != 0) return exitStatus;
  // For long unattended runs: GenInfo keeps at most LogPanel::kGenInfoLines records.
  if (qEnvironmentVariableIntValue("CORVANE_REPORT") == 1) {
    const QTextDocument* genInfo = window.logging().GenInfo->document();
    std::cerr << "corvane: GenInfo lines: " << (genInfo->isEmpty() ? 0 : genInfo->blockCount())
              << "\n";
  }
  return status;
}
