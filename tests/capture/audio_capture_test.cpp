// Sound-card capture and the alarm sound. The live tests need an input named "TestSource"
// fed by an output named "TestSink" (scripts/audio-server.sh starts such a server); without
// it they are skipped.

#include <gtest/gtest.h>

#include <QAudioSink>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QMediaDevices>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <cmath>
#include <functional>
#include <iostream>
#include <numbers>
#include <vector>

#include "capture/alarm_sound.h"
#include "capture/audio_capture_source.h"
#include "capture/source_factory.h"
#include "support/tone_continuity.h"

namespace corvane {
namespace {

// Tests that play into TestSink and listen on TestSource must not overlap (ctest -j runs
// them in parallel processes): each holds this lock while it uses the server.
class AudioServerLock {
 public:
  AudioServerLock() : lock_(QDir::temp().filePath(QStringLiteral("corvane-test-audio.lock"))) {
    lock_.setStaleLockTime(0);
    locked_ = lock_.tryLock(120000);
  }
  bool locked() const { return locked_; }

 private:
  QLockFile lock_;
  bool locked_ = false;
};

QAudioDevice DeviceNamed(const QList<QAudioDevice>& devices, const QString& name) {
  for (const QAudioDevice& d : devices) {
    if (d.description() == name) return d;
  }
  return {};
}

TEST(AudioCaptureSource, UnknownDeviceFailsWithAReason) {
  AudioCaptureSource source("no-such-device");
  QString error;
  QElapsedTimer t;
  t.start();
  EXPECT_FALSE(source.open(12000, 1024, &error));
  EXPECT_FALSE(error.isEmpty());
  std::cout << "open failure took " << t.elapsed() << " ms: " << error.toStdString() << "\n";
  // Still safe to use after a failed open.
  std::vector<int16_t> buffer(2048);
  source.queue(buffer.data());
  source.close();
  source.close();
}

TEST(AudioCaptureSource, RingHoldsAtLeastFourBlocksAndFourSeconds) {
  EXPECT_EQ(AudioCaptureSource::RingBlocks(12000, 8192), 6);
  EXPECT_EQ(AudioCaptureSource::RingBlocks(48000, 1024), 188);
  EXPECT_EQ(AudioCaptureSource::RingBlocks(8000, 32768), 4);
  EXPECT_EQ(AudioCaptureSource::RingBlocks(48000, 1024, 0.5), 24);
}

TEST(AudioCaptureSource, WithoutAnyInputTheDefaultFailsToOpen) {
  if (!QMediaDevices::audioInputs().isEmpty()) GTEST_SKIP() << "this machine has inputs";
  AudioCaptureSource source{QByteArray()};
  QString error;
  EXPECT_FALSE(source.open(12000, 1024, &error));
  EXPECT_TRUE(error.contains("no capture device")) << error.toStdString();
}

// Plays an I/Q tone (left cos, right sin) at +toneHz into TestSink after `silenceS` of
// silence; the time the tone is first heard is estimated from what the sink still holds.
// Its buffer is long, so a test process that gets no processor for a while does not run it
// dry (which would put silence into the tone).
class TonePlayer : public QObject {
 public:
  TonePlayer(const QAudioDevice& out, int rate, double toneHz, double silenceS)
      : rate_(rate), toneHz_(toneHz), silenceFrames_(static_cast<int64_t>(silenceS * rate)) {
    QAudioFormat f;
    f.setSampleRate(rate);
    f.setChannelCount(2);
    f.setSampleFormat(QAudioFormat::Int16);
    sink_ = std::make_unique<QAudioSink>(out, f);
    sink_->setBufferSize(f.bytesForDuration(2000000));
    io_ = sink_->start();
    connect(&timer_, &QTimer::timeout, this, [this] { Feed(); });
    timer_.start(5);
  }
  bool ok() const { return io_ != nullptr; }
  // Estimated wall time (ns on `clock`) at which the tone starts to be heard; 0 until known.
  qint64 onsetNs() const { return onsetNs_; }
  void setClock(const QElapsedTimer* c) { clock_ = c; }

 private:
  void Feed() {
    const qint64 free = sink_->bytesFree();
    const int frames = static_cast<int>(free / 4);
    if (frames <= 0) return;
    if (onsetNs_ == 0 && written_ + frames > silenceFrames_ && clock_) {
      // What is still queued in the sink plays before the first tone sample.
      const qint64 queuedFrames = (sink_->bufferSize() - free) / 4;
      onsetNs_ = clock_->nsecsElapsed() +
                 (queuedFrames + silenceFrames_ - written_) * 1000000000LL / rate_;
    }
    std::vector<int16_t> buf(2 * static_cast<size_t>(frames), 0);
    for (int i = 0; i < frames; ++i) {
      const int64_t n = written_ + i - silenceFrames_;
      if (n < 0) continue;
      const double ph = 2 * std::numbers::pi * toneHz_ * static_cast<double>(n) / rate_;
      buf[2 * i] = static_cast<int16_t>(std::lround(8000 * std::cos(ph)));
      buf[2 * i + 1] = static_cast<int16_t>(std::lround(8000 * std::sin(ph)));
    }
    written_ += io_->write(reinterpret_cast<const char*>(buf.data()), frames * 4) / 4;
  }

  int rate_;
  double toneHz_;
  int64_t silenceFrames_;
  int64_t written_ = 0;
  qint64 onsetNs_ = 0;
  const QElapsedTimer* clock_ = nullptr;
  std::unique_ptr<QAudioSink> sink_;
  QIODevice* io_ = nullptr;
  QTimer timer_;
};

// The largest deviation of the tone's phase step from 2 pi toneHz / rate over frames
// [from, end), and the frame where it is: a lost or repeated frame breaks it, and its sign
// says +toneHz stayed +.
std::pair<double, int64_t> WorstPhaseStep(const std::vector<int16_t>& stereo, int64_t from,
                                          double toneHz, int rate) {
  const double expected = 2 * std::numbers::pi * toneHz / rate;
  double worst = 0;
  int64_t where = -1;
  for (int64_t i = std::max<int64_t>(from, 1); i < static_cast<int64_t>(stereo.size() / 2);
       ++i) {
    const double a = std::atan2(stereo[2 * i - 1], stereo[2 * i - 2]);
    const double b = std::atan2(stereo[2 * i + 1], stereo[2 * i]);
    const double e = std::abs(std::remainder(b - a - expected, 2 * std::numbers::pi));
    if (e > worst) {
      worst = e;
      where = i;
    }
  }
  return {worst, where};
}

TEST(AudioCaptureSource, LiveToneArrivesContiguousAtItsFrequency) {
  const QAudioDevice in = DeviceNamed(QMediaDevices::audioInputs(), "TestSource");
  const QAudioDevice out = DeviceNamed(QMediaDevices::audioOutputs(), "TestSink");
  if (in.isNull() || out.isNull()) GTEST_SKIP() << "no TestSource/TestSink audio server";
  AudioServerLock lock;
  ASSERT_TRUE(lock.locked());

  // The input is listed and reached through its list entry.
  const auto list = ListSources();
  const auto entry = std::find_if(list.begin(), list.end(),
                                  [](const SourceEntry& e) { return e.text == "TestSource"; });
  ASSERT_NE(entry, list.end());

  // 997 Hz: no whole number of its periods fits a whole number of frames below a second, so
  // no lost stretch can pass for a seamless one.
  const int rate = 48000, frames = 2048;
  const double toneHz = 997;
  auto source = CreateSource(*entry, 0, false);
  QString error;
  ASSERT_TRUE(source->open(rate, frames, &error)) << error.toStdString();
  QElapsedTimer clock;
  clock.start();
  TonePlayer player(out, rate, toneHz, 0.5);
  player.setClock(&clock);
  ASSERT_TRUE(player.ok());

  // Blocks until the tone has arrived and six blocks from its first one are in, however
  // long the player takes to start.
  std::vector<int16_t> buffer(2 * frames);
  std::vector<int16_t> all;
  std::vector<qint64> deliveredNs;
  int64_t onset = -1;  // the first loud frame
  auto enough = [&] {
    return onset >= 0 && static_cast<int64_t>(deliveredNs.size()) >= onset / frames + 6;
  };
  QObject::connect(source.get(), &BlockSource::blockDone, source.get(), [&] {
    deliveredNs.push_back(clock.nsecsElapsed());
    all.insert(all.end(), buffer.begin(), buffer.end());
    for (int64_t i = static_cast<int64_t>(all.size() / 2) - frames;
         onset < 0 && i < static_cast<int64_t>(all.size() / 2); ++i) {
      if (std::abs(all[2 * i]) + std::abs(all[2 * i + 1]) > 3000) onset = i;
    }
    if (!enough()) source->queue(buffer.data());
  }, Qt::QueuedConnection);
  source->queue(buffer.data());
  while (!enough() && clock.elapsed() < 60000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  source->close();
  ASSERT_GE(onset, 0) << "the tone never arrived";
  ASSERT_TRUE(enough());
  EXPECT_EQ(source->droppedBlocks(), 0);

  // From two blocks after the onset, every frame steps the phase alike, across block
  // boundaries too.
  const int64_t from = (onset / frames + 2) * frames;
  const auto [worst, where] = WorstPhaseStep(all, from, toneHz, rate);
  EXPECT_LT(worst, 0.01) << "phase steps off by up to " << worst << " rad at frame " << where
                         << " (block " << where / frames << ", frame " << where % frames
                         << " of it); the tone began at frame " << onset;

  // For the record, not a test (it depends on the machine's timing): when the block holding
  // the onset was handed over, less the time its last frame was heard.
  const size_t onsetBlock = static_cast<size_t>(onset / frames);
  const double lastFrameHeardMs =
      static_cast<double>(player.onsetNs()) / 1e6 +
      static_cast<double>((static_cast<int64_t>(onsetBlock) + 1) * frames - 1 - onset) * 1000.0 /
          rate;
  const double latencyMs = static_cast<double>(deliveredNs[onsetBlock]) / 1e6 - lastFrameHeardMs;
  std::cout << "capture latency (last frame of a block heard -> block handed over): "
            << latencyMs << " ms; block of " << frames << " frames lasts "
            << frames * 1000.0 / rate << " ms\n";
}

// A 997 Hz tone made inside the audio server (module-sine) into an output: no player of
// ours or of any other process can fall behind and put silence into it, however busy the
// machine is. 997 Hz, a prime, so only a gap of whole seconds could pass for none.
class ServerTone {
 public:
  explicit ServerTone(const QByteArray& sinkName) {
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"),
                {QStringLiteral("load-module"), QStringLiteral("module-sine"),
                 QStringLiteral("sink=") + QString::fromUtf8(sinkName),
                 QStringLiteral("frequency=997")});
    if (pactl.waitForFinished(10000) && pactl.exitCode() == 0) {
      module_ = QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
    }
  }
  ~ServerTone() {
    if (!module_.isEmpty()) QProcess::execute(QStringLiteral("pactl"), {"unload-module", module_});
  }
  bool ok() const { return !module_.isEmpty(); }
  static constexpr double kHz = 997;

 private:
  QString module_;
};

// Busy loops in processes of their own, one per processor, for as long as it lives.
class CpuHogs {
 public:
  CpuHogs() {
    for (int i = 0; i < std::max(1, QThread::idealThreadCount()); ++i) {
      auto p = std::make_unique<QProcess>();
      p->start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
      if (p->waitForStarted(5000)) hogs_.push_back(std::move(p));
    }
  }
  ~CpuHogs() {
    for (auto& p : hogs_) {
      p->kill();
      p->waitForFinished(5000);
    }
  }
  size_t count() const { return hogs_.size(); }

 private:
  std::vector<std::unique_ptr<QProcess>> hogs_;
};

struct DropEvent {
  int64_t beforeBlock;  // the index of the block that followed the gap
  qint64 blocks;
  qint64 total;
};

// Takes `blocks` blocks from an opened source as the block loop does (queued, from the
// event loop), checks each for continuity, and runs `afterBlock(i)` after block i (where a
// test stalls). Every gap must be counted where it is, in whole blocks.
struct LiveRun {
  LiveRun(AudioCaptureSource& source, int rate, int frames, int blocks,
          const std::function<void(int)>& afterBlock = {})
      : check(ServerTone::kHz, rate, frames) {
    std::vector<int16_t> buffer(2 * static_cast<size_t>(frames));
    int taken = 0;
    QObject context;
    QObject::connect(&source, &BlockSource::blocksDropped, &context,
                     [&](qint64 n, qint64 total) { events.push_back({check.blocks(), n, total}); });
    QObject::connect(&source, &BlockSource::blockDone, &context, [&] {
      check.Feed(buffer.data());
      if (afterBlock) afterBlock(taken);
      ++taken;
      source.queue(buffer.data());
    }, Qt::QueuedConnection);
    source.queue(buffer.data());
    // Only a bound against hanging: what is checked is what arrived.
    QElapsedTimer limit;
    limit.start();
    while (taken < blocks && limit.elapsed() < 120000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    complete = taken >= blocks;
    dropped = source.droppedBlocks();
    source.close();
  }

  // No sample lost without being counted: every break in the tone lies between two blocks,
  // at a gap reported there, and the whole blocks missing explain it exactly.
  void ExpectEveryGapCounted() const {
    EXPECT_TRUE(complete);
    EXPECT_EQ(check.innerBreaks(), 0) << "audio broken inside a block";
    EXPECT_EQ(check.silentBlocks(), 0);
    ASSERT_EQ(check.breaks().size(), events.size()) << "gaps in the audio vs gaps reported";
    qint64 sum = 0;
    for (size_t i = 0; i < events.size(); ++i) {
      const auto& b = check.breaks()[i];
      EXPECT_EQ(b.block, events[i].beforeBlock) << "gap " << i;
      EXPECT_TRUE(check.GapIs(b, events[i].blocks)) << "gap " << i << ": " << events[i].blocks;
      sum += events[i].blocks;
      EXPECT_EQ(events[i].total, sum);
    }
    EXPECT_EQ(dropped, sum);
  }

  testing::ToneContinuity check;
  std::vector<DropEvent> events;
  qint64 dropped = 0;
  bool complete = false;
};

// The server's tone on TestSink, heard on TestSource.
class LiveAudioCapture : public ::testing::Test {
 protected:
  void SetUp() override {
    in_ = DeviceNamed(QMediaDevices::audioInputs(), "TestSource");
    const QAudioDevice out = DeviceNamed(QMediaDevices::audioOutputs(), "TestSink");
    if (in_.isNull() || out.isNull()) GTEST_SKIP() << "no TestSource/TestSink audio server";
    if (QStandardPaths::findExecutable("pactl").isEmpty()) GTEST_SKIP() << "no pactl";
    lock_ = std::make_unique<AudioServerLock>();
    ASSERT_TRUE(lock_->locked());
    tone_ = std::make_unique<ServerTone>(out.id());
    ASSERT_TRUE(tone_->ok());
  }
  QAudioDevice in_;
  std::unique_ptr<AudioServerLock> lock_;
  std::unique_ptr<ServerTone> tone_;
};

// Every processor busy with something else: the audio thread still gets its turn, and
// whatever the block loop misses is counted where it is missing.
TEST_F(LiveAudioCapture, EverySampleArrivesOrIsCountedWhileTheProcessorsAreBusy) {
  const int rate = 48000, frames = 1024;
  AudioCaptureSource source(in_.id());
  QString error;
  ASSERT_TRUE(source.open(rate, frames, &error)) << error.toStdString();
  CpuHogs hogs;
  ASSERT_GE(hogs.count(), 1u);
  const LiveRun run(source, rate, frames, 5 * rate / frames);
  run.ExpectEveryGapCounted();
  std::cout << run.check.blocks() << " blocks with " << hogs.count() << " busy loops, "
            << run.dropped << " dropped\n";
}

// The user-interface thread blocked for 1.5 s (a disk that keeps a record waiting, a dialog)
// loses nothing: the ring holds more.
TEST_F(LiveAudioCapture, StallShorterThanTheRingLosesNothing) {
  const int rate = 48000, frames = 1024;
  AudioCaptureSource source(in_.id());
  QString error;
  ASSERT_TRUE(source.open(rate, frames, &error)) << error.toStdString();
  ASSERT_GT(AudioCaptureSource::kRingSeconds, 1.5);
  const LiveRun run(source, rate, frames, 4 * rate / frames, [](int block) {
    if (block == 20) QThread::msleep(1500);
  });
  run.ExpectEveryGapCounted();
  EXPECT_EQ(run.dropped, 0);
  EXPECT_TRUE(run.check.breaks().empty());
}

// A stall longer than the ring: whole blocks are dropped, reported once at the gap with
// their number, and the blocks on either side are whole; the count matches the audio
// missing exactly.
TEST_F(LiveAudioCapture, StallDropsWholeBlocksAndSaysSo) {
  const int rate = 48000, frames = 1024;
  AudioCaptureSource source(in_.id(), 0.5);
  QString error;
  ASSERT_TRUE(source.open(rate, frames, &error)) << error.toStdString();
  QSignalSpy status(&source, &BlockSource::statusChanged);
  const LiveRun run(source, rate, frames, 3 * rate / frames, [](int block) {
    if (block == 20) QThread::msleep(1500);
  });
  run.ExpectEveryGapCounted();
  ASSERT_FALSE(run.events.empty()) << "a 1.5 s stall against a 0.5 s ring dropped nothing";
  ASSERT_FALSE(status.isEmpty());
  EXPECT_EQ(status.last().at(0).toString(),
            QStringLiteral("Processing fell behind: %1 blocks dropped so far").arg(run.dropped));
}

// A device with one channel: it arrives on the left, the right silent.
TEST_F(LiveAudioCapture, MonoInputArrivesOnTheLeft) {
  QProcess pactl;
  pactl.start(QStringLiteral("pactl"),
              {"load-module", "module-remap-source", "master=testsink.monitor", "channels=1",
               "source_name=corvane_test_mono", "channel_map=mono"});
  ASSERT_TRUE(pactl.waitForFinished(10000));
  const QString module = QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
  ASSERT_EQ(pactl.exitCode(), 0) << pactl.readAllStandardError().toStdString();
  const int rate = 12000, frames = 1024;
  AudioCaptureSource source("corvane_test_mono");
  QString error;
  const bool opened = source.open(rate, frames, &error);
  EXPECT_TRUE(source.isMono());
  bool rightSilent = true;
  int leftPeak = 0;
  if (opened) {
    std::vector<int16_t> buffer(2 * frames);
    int taken = 0;
    QObject::connect(&source, &BlockSource::blockDone, &source, [&] {
      for (int i = 0; i < frames; ++i) {
        rightSilent = rightSilent && buffer[2 * i + 1] == 0;
        leftPeak = std::max(leftPeak, std::abs(static_cast<int>(buffer[2 * i])));
      }
      if (++taken < 10) source.queue(buffer.data());
    }, Qt::QueuedConnection);
    source.queue(buffer.data());
    QElapsedTimer limit;
    limit.start();
    while (taken < 10 && limit.elapsed() < 30000) QCoreApplication::processEvents();
    source.close();
    EXPECT_EQ(taken, 10);
  }
  QProcess::execute(QStringLiteral("pactl"), {"unload-module", module});
  ASSERT_TRUE(opened) << error.toStdString();
  EXPECT_TRUE(rightSilent);
  EXPECT_GT(leftPeak, 8000);  // the server's tone is at half of full scale
}

TEST(AlarmSound, MissingFileBeepsAndReturnsAtOnce) {
  AlarmSound alarm(QStringLiteral("no-such-ding-file.WAV"));
  EXPECT_TRUE(alarm.Locate().isEmpty());
  EXPECT_FALSE(alarm.PlayAndWait());
  EXPECT_TRUE(alarm.failure().contains("not found")) << alarm.failure().toStdString();
}

TEST(AlarmSound, UnreadableFileBeepsWithTheReason) {
  QTemporaryDir dir;
  const QString old = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  QFile f(QStringLiteral("ding.WAV"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("RIFF\x10\0\0\0WAVEjunk", 16);
  f.close();
  AlarmSound alarm;
  EXPECT_EQ(alarm.Locate(), dir.filePath("ding.WAV"));
  EXPECT_FALSE(alarm.PlayAndWait());
  EXPECT_TRUE(alarm.failure().contains("unreadable: ")) << alarm.failure().toStdString();
  QDir::setCurrent(old);
}

TEST(AlarmSound, PlaysToItsEndWithoutRunningEvents) {
  const QString ding = QStringLiteral(CORVANE_SOURCE_DIR "/data/ding.WAV");
  ASSERT_TRUE(QFile::exists(ding));
  AlarmSound alarm(ding);
  AudioServerLock lock;
  bool timerRan = false;
  QObject context;  // the timer dies with the test
  QTimer::singleShot(0, &context, [&] { timerRan = true; });
  QElapsedTimer t;
  t.start();
  const bool played = alarm.PlayAndWait();
  const qint64 ms = t.elapsed();
  EXPECT_FALSE(timerRan) << "an event was dispatched during the sound";
  EXPECT_LE(ms, AlarmSound::kMaxWaitMs + 500);
  std::cout << "alarm: " << (played ? "played" : "beeped: ") << alarm.failure().toStdString()
            << ", returned after " << ms << " ms\n";
  if (DeviceNamed(QMediaDevices::audioOutputs(), "TestSink").isNull()) return;
  // With an output the whole sound plays: 0.45 s.
  EXPECT_TRUE(played) << alarm.failure().toStdString();
  EXPECT_GE(ms, 440);
  QCoreApplication::processEvents();
  EXPECT_TRUE(timerRan);
}

}  // namespace
}  // namespace corvane
