// capture_probe: does live capture keep every sample while the user-interface thread is busy
// the way it really is?
//
// A steady tone (997 Hz, made inside the audio server by module-sine, so no player can
// starve) is captured from a device through the product's own block source, on the
// user-interface thread's event loop like the block loop, and every block is checked for
// continuity (tests/support/tone_continuity.h). Meanwhile the user-interface thread is kept
// busy by any of:
//   window     the real main window capturing the same device: blocks processed and drawn,
//              a record a second logged and synced to disk, the alarm sound played when
//              the carrier first rises above the threshold
//   stall:MS   the thread blocked for MS ms (a slow disk, the alarm sound) every --every s
//   dialog     a modal message box open for 3 s every --every s
//   drag       the main window dragged across the screen for 2 s every --every s
// --record FILE keeps what was captured as a WAV file, to compare with what was played;
// --keep DIR keeps the window's settings and log there.
// Prints one line per --report seconds and a summary, with the CPU time and wakeups of each
// busy thread; exits 1 when a sample was lost without being reported (a break in the tone
// that no blocksDropped() at that place explains exactly). scripts/capture-probe.sh sets up
// the server and the display.

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/corvane_window.h"
#include "capture/block_source.h"
#include "capture/source_factory.h"
#include "support/test_wav.h"
#include "support/tone_continuity.h"

using namespace corvane;

namespace {

struct Options {
  QString device = QStringLiteral("TestSource");
  int rate = 12000;
  int frames = 8192;
  double seconds = 60;
  double toneHz = 997;
  double every = 10;
  double report = 10;
  bool window = false;
  int stallMs = 0;
  bool dialog = false;
  bool drag = false;
  QString record;  // every block captured, as a WAV file
  QString keep;    // the window's folder (settings, log), kept
};

bool Parse(const QStringList& args, Options* o) {
  for (qsizetype i = 1; i < args.size(); ++i) {
    const QString& a = args[i];
    const QString v = i + 1 < args.size() ? args[i + 1] : QString();
    if (a == "--device")
      o->device = v;
    else if (a == "--rate")
      o->rate = v.toInt();
    else if (a == "--frames")
      o->frames = v.toInt();
    else if (a == "--seconds")
      o->seconds = v.toDouble();
    else if (a == "--tone")
      o->toneHz = v.toDouble();
    else if (a == "--every")
      o->every = v.toDouble();
    else if (a == "--report")
      o->report = v.toDouble();
    else if (a == "--record")
      o->record = v;
    else if (a == "--keep")
      o->keep = v;
    else if (a == "--load") {
      for (const QString& l : v.split(',', Qt::SkipEmptyParts)) {
        if (l == "window")
          o->window = true;
        else if (l == "dialog")
          o->dialog = true;
        else if (l == "drag")
          o->drag = true;
        else if (l.startsWith("stall:"))
          o->stallMs = l.mid(6).toInt();
        else if (l != "none")
          return false;
      }
    } else {
      return false;
    }
    ++i;
  }
  return o->rate > 0 && o->frames > 0 && o->seconds > 0 && o->every > 0 && o->report > 0;
}

// The settings file for the window: rate, FFT length, the band round the tone, a record
// every second to SIGREC.TXT.
void WriteIni(const QString& dir, int rate, int frames) {
  auto bins = [&](double hz) { return std::lround(hz * frames / rate); };
  const QString ini = QStringLiteral(
                          " %1 \r\n %2 \r\n %3 \r\n %4 \r\n 20 \r\n %5 \r\n 10 \r\n 4 \r\n"
                          " 1 \r\nSIGREC.TXT\r\n 4 \r\n")
                          .arg(rate)
                          .arg(frames)
                          .arg(bins(1000))
                          .arg(std::max(2L, bins(100)))
                          .arg(std::lround(0.45 * rate));
  QFile f(QDir(dir).filePath("CORVANE.INI"));
  if (f.open(QIODevice::WriteOnly)) f.write(ini.toLatin1());
}

// CPU time and wakeups of every thread of this process, from /proc: a thread's voluntary
// context switches are its wakeups from a wait.
struct ThreadUse {
  QString name;
  double cpuS = 0;
  long long wakeups = 0;
};

std::map<QString, ThreadUse> ThreadUses() {
  std::map<QString, ThreadUse> out;
  const long tick = sysconf(_SC_CLK_TCK);
  const QDir tasks(QStringLiteral("/proc/self/task"));
  for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    const QString base = QStringLiteral("/proc/self/task/") + tid;
    ThreadUse u;
    QFile comm(base + QStringLiteral("/comm"));
    if (comm.open(QIODevice::ReadOnly)) u.name = QString::fromUtf8(comm.readAll()).trimmed();
    QFile stat(base + QStringLiteral("/stat"));
    if (stat.open(QIODevice::ReadOnly)) {
      // Fields after the name in parentheses; utime and stime are the 14th and 15th.
      const QString text = QString::fromUtf8(stat.readAll());
      const QStringList f = text.mid(text.lastIndexOf(')') + 2).split(' ');
      if (f.size() > 12) {
        u.cpuS = (f[11].toDouble() + f[12].toDouble()) / static_cast<double>(tick);
      }
    }
    QFile status(base + QStringLiteral("/status"));
    if (status.open(QIODevice::ReadOnly)) {
      for (const QByteArray& l : status.readAll().split('\n')) {
        if (l.startsWith("voluntary_ctxt_switches:")) u.wakeups = l.mid(24).trimmed().toLongLong();
      }
    }
    out[tid] = u;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setApplicationName("Corvane");
  Options opt;
  if (!Parse(QCoreApplication::arguments(), &opt)) {
    std::fprintf(stderr,
                 "usage: capture_probe [--device NAME] [--rate HZ] [--frames N] [--seconds S]\n"
                 "         [--tone HZ] [--load window,stall:MS,dialog,drag] [--every S]"
                 " [--report S]\n");
    return 2;
  }

  SourceEntry entry;
  bool found = false;
  for (const SourceEntry& e : ListSources()) {
    if (e.kind == SourceEntry::Kind::SoundCard && e.text == opt.device) {
      entry = e;
      found = true;
    }
  }
  if (!found) {
    std::fprintf(stderr, "capture_probe: no capture device named %s\n", qPrintable(opt.device));
    return 2;
  }

  // The window reads its settings from, and logs into, the current directory.
  QTemporaryDir temp;
  const QString dir = opt.keep.isEmpty() ? temp.path() : QDir(opt.keep).absolutePath();
  QDir().mkpath(dir);
  const QString oldDir = QDir::currentPath();
  QDir::setCurrent(dir);
  WriteIni(dir, opt.rate, opt.frames);
  // The alarm sound, as the program finds it beside itself.
  QFile::copy(QStringLiteral(CORVANE_SOURCE_DIR "/data/ding.WAV"), QDir(dir).filePath("ding.WAV"));
  std::unique_ptr<CorvaneWindow> window;
  if (opt.window || opt.drag) {
    window = std::make_unique<CorvaneWindow>();
    window->show();
  }

  std::unique_ptr<BlockSource> source = CreateSource(entry, 0, false);
  QString error;
  if (!source->open(opt.rate, opt.frames, &error)) {
    std::fprintf(stderr, "capture_probe: %s did not open: %s\n", qPrintable(opt.device),
                 qPrintable(error));
    return 2;
  }
  if (window && opt.window) {
    window->selectSource(entry);
    window->pressStart();
    window->setLogging(true);
  }

  testing::ToneContinuity check(opt.toneHz, opt.rate, opt.frames);
  std::vector<int16_t> buffer(2 * static_cast<size_t>(opt.frames));
  std::vector<int16_t> recorded;
  QElapsedTimer clock;
  clock.start();
  qint64 firstBlockNs = -1;
  int64_t reportedBreaks = 0;
  int64_t unexplained = 0;          // breaks that no reported drop accounts for
  std::map<int64_t, qint64> drops;  // block that followed a gap -> blocks dropped there
  int stalls = 0, dialogs = 0, drags = 0;

  // As the block loop takes them: queued, from the event loop.
  QObject::connect(
      source.get(), &BlockSource::blockDone, source.get(),
      [&] {
        if (firstBlockNs < 0) firstBlockNs = clock.nsecsElapsed();
        check.Feed(buffer.data());
        if (!opt.record.isEmpty()) recorded.insert(recorded.end(), buffer.begin(), buffer.end());
        source->queue(buffer.data());
      },
      Qt::QueuedConnection);
  QObject::connect(source.get(), &BlockSource::blocksDropped, source.get(),
                   [&](qint64 blocks, qint64) { drops[check.blocks()] = blocks; });
  QObject::connect(source.get(), &BlockSource::statusChanged, source.get(),
                   [](const QString& text) { std::printf("  status: %s\n", qPrintable(text)); });
  source->queue(buffer.data());

  auto line = [&](const char* what) {
    const double t = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    // Audio the wall clock says was made since the first block, less the blocks handed out
    // or dropped: what still waits in the ring or the server ("behind"). It falls back to
    // about zero whenever the loop has caught up; if it did not, audio went missing before
    // it reached the ring.
    const double blockS = static_cast<double>(opt.frames) / opt.rate;
    const double accounted =
        static_cast<double>(check.blocks() - 1 + source->droppedBlocks()) * blockS;
    const double wall =
        firstBlockNs < 0 ? 0 : static_cast<double>(clock.nsecsElapsed() - firstBlockNs) / 1e9;
    for (size_t i = static_cast<size_t>(reportedBreaks); i < check.breaks().size(); ++i) {
      const auto& b = check.breaks()[i];
      const auto drop = drops.find(b.block);
      if (drop != drops.end() && check.GapIs(b, drop->second)) {
        std::printf("  gap before block %lld: %lld whole blocks, reported\n",
                    static_cast<long long>(b.block), static_cast<long long>(drop->second));
      } else {
        ++unexplained;
        std::printf("  break %s block %lld, not reported\n", b.atBoundary ? "before" : "inside",
                    static_cast<long long>(b.block));
      }
    }
    reportedBreaks = static_cast<int64_t>(check.breaks().size());
    std::printf(
        "%s t=%.0fs blocks=%lld breaks=%zu (not reported %lld) silent=%lld "
        "dropped=%lld behind=%.2fs worst=%.0f stalls=%d dialogs=%d drags=%d\n",
        what, t, static_cast<long long>(check.blocks()), check.breaks().size(),
        static_cast<long long>(unexplained), static_cast<long long>(check.silentBlocks()),
        static_cast<long long>(source->droppedBlocks()), wall - accounted - blockS / 2,
        check.worstResidual(), stalls, dialogs, drags);
    std::fflush(stdout);
  };

  QTimer report;
  QObject::connect(&report, &QTimer::timeout, &app, [&] { line("probe:"); });
  report.start(static_cast<int>(opt.report * 1000));

  QTimer load;
  int turn = 0;
  QObject::connect(&load, &QTimer::timeout, &app, [&] {
    // One kind of load per turn, in rotation.
    std::vector<int> kinds;
    if (opt.stallMs > 0) kinds.push_back(0);
    if (opt.dialog) kinds.push_back(1);
    if (opt.drag && window) kinds.push_back(2);
    if (kinds.empty()) return;
    switch (kinds[static_cast<size_t>(turn++) % kinds.size()]) {
      case 0:
        ++stalls;
        QThread::msleep(static_cast<unsigned long>(opt.stallMs));
        break;
      case 1: {
        ++dialogs;
        QMessageBox box(QMessageBox::Information, "Probe", "A modal dialog", QMessageBox::Ok,
                        window.get());
        QTimer::singleShot(3000, &box, &QMessageBox::accept);
        box.exec();
        break;
      }
      case 2: {
        ++drags;
        // Small steps as a hand moves it, every 10 ms for 2 s, and back.
        auto step = std::make_shared<int>(0);
        auto* t = new QTimer(&app);
        const QPoint origin = window->pos();
        QObject::connect(t, &QTimer::timeout, &app, [t, step, origin, &window] {
          const int s = (*step)++;
          const int dx = s < 100 ? 3 * s : 3 * (200 - s);
          window->move(origin + QPoint(dx, dx / 3));
          if (s >= 200) t->deleteLater();
        });
        t->start(10);
        break;
      }
    }
  });
  load.start(static_cast<int>(opt.every * 1000));

  // Quitting closes the window, which stops its capture: its figures are taken first.
  qint64 windowBlocks = -1, windowDropped = 0;
  QTimer::singleShot(static_cast<int>(opt.seconds * 1000), &app, [&] {
    if (window && window->blockLoop()->source()) {
      windowBlocks = window->blockLoop()->blocksProcessed();
      windowDropped = window->blockLoop()->source()->droppedBlocks();
    }
    QCoreApplication::quit();
  });
  const auto usesBefore = ThreadUses();
  QElapsedTimer runClock;
  runClock.start();
  app.exec();
  const auto usesAfter = ThreadUses();
  const double runS = static_cast<double>(runClock.nsecsElapsed()) / 1e9;
  line("summary:");
  source->close();
  if (windowBlocks >= 0) {
    std::printf("  the window's own capture: %lld blocks processed, %lld dropped\n",
                static_cast<long long>(windowBlocks), static_cast<long long>(windowDropped));
  }
  for (const auto& [tid, after] : usesAfter) {
    const auto before = usesBefore.find(tid);
    if (before == usesBefore.end()) continue;
    const double cpu = after.cpuS - before->second.cpuS;
    const long long wakeups = after.wakeups - before->second.wakeups;
    // Threads that slept throughout are left out.
    if (cpu < 0.005 * runS && static_cast<double>(wakeups) < runS) continue;
    std::printf("  thread %-16s cpu %5.2f%%  wakeups %6.1f/s\n", qPrintable(after.name),
                100 * cpu / runS, static_cast<double>(wakeups) / runS);
  }
  const bool lost = unexplained > 0 || check.silentBlocks() > 0;
  if (window) window->close();
  window.reset();
  QDir::setCurrent(oldDir);
  if (!opt.record.isEmpty()) {
    const std::vector<char> wav = testing::WavBytes(recorded, 2, static_cast<uint32_t>(opt.rate));
    QFile f(opt.record);
    if (!f.open(QIODevice::WriteOnly) ||
        f.write(wav.data(), static_cast<qint64>(wav.size())) != static_cast<qint64>(wav.size()))
      std::fprintf(stderr, "capture_probe: %s not written\n", qPrintable(opt.record));
  }
  return lost ? 1 : 0;
}
