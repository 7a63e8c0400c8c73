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
#include <iostream>
#include <numbers>
#include <vector>

#include "capture/alarm_sound.h"
#include "capture/audio_capture_source.h"
#include "capture/source_factory.h"

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

TEST(AudioCaptureSource, RingHoldsAtLeastFourBlocksAndOneSecond) {
  EXPECT_EQ(AudioCaptureSource::RingBlocks(12000, 8192), 4);
  EXPECT_EQ(AudioCaptureSource::RingBlocks(48000, 1024), 47);
  EXPECT_EQ(AudioCaptureSource::RingBlocks(8000, 32768), 4);
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
class TonePlayer : public QObject {
 public:
  TonePlayer(const QAudioDevice& out, int rate, double toneHz, double silenceS,
             int bufferMs = 200)
      : rate_(rate), toneHz_(toneHz), silenceFrames_(static_cast<int64_t>(silenceS * rate)) {
    QAudioFormat f;
    f.setSampleRate(rate);
    f.setChannelCount(2);
    f.setSampleFormat(QAudioFormat::Int16);
    sink_ = std::make_unique<QAudioSink>(out, f);
    // Long enough never to run dry in a busy test; the onset estimate counts what is queued.
    sink_->setBufferSize(f.bytesForDuration(bufferMs * 1000LL));
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
// [from, end): a lost or repeated frame breaks it, and its sign says +toneHz stayed +.
double WorstPhaseStep(const std::vector<int16_t>& stereo, int64_t from, double toneHz,
                      int rate) {
  const double expected = 2 * std::numbers::pi * toneHz / rate;
  double worst = 0;
  for (int64_t i = std::max<int64_t>(from, 1); i < static_cast<int64_t>(stereo.size() / 2);
       ++i) {
    const double a = std::atan2(stereo[2 * i - 1], stereo[2 * i - 2]);
    const double b = std::atan2(stereo[2 * i + 1], stereo[2 * i]);
    const double e = std::abs(std::remainder(b - a - expected, 2 * std::numbers::pi));
    worst = std::max(worst, e);
  }
  return worst;
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

  const int rate = 48000, frames = 2048;
  auto source = CreateSource(*entry, 0, false);
  QString error;
  ASSERT_TRUE(source->open(rate, frames, &error)) << error.toStdString();
  QElapsedTimer clock;
  clock.start();
  TonePlayer player(out, rate, 1000.0, 0.5);
  player.setClock(&clock);
  ASSERT_TRUE(player.ok());

  std::vector<int16_t> buffer(2 * frames);
  std::vector<int16_t> all;
  std::vector<qint64> deliveredNs;
  QObject::connect(source.get(), &BlockSource::blockDone, source.get(), [&] {
    deliveredNs.push_back(clock.nsecsElapsed());
    all.insert(all.end(), buffer.begin(), buffer.end());
    source->queue(buffer.data());
  }, Qt::QueuedConnection);
  source->queue(buffer.data());
  const int blocks = 2 * rate / frames;  // about 2 s
  while (static_cast<int>(deliveredNs.size()) < blocks && clock.elapsed() < 10000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  source->close();
  ASSERT_EQ(static_cast<int>(deliveredNs.size()), blocks);
  EXPECT_EQ(source->droppedBlocks(), 0);

  // Onset: the first loud frame.
  int64_t onset = -1;
  for (size_t i = 0; i < all.size() / 2; ++i) {
    if (std::abs(all[2 * i]) + std::abs(all[2 * i + 1]) > 3000) {
      onset = static_cast<int64_t>(i);
      break;
    }
  }
  ASSERT_GE(onset, 0) << "the tone never arrived";
  // From two blocks after the onset, every frame steps the phase alike, across block
  // boundaries too.
  const int64_t from = (onset / frames + 2) * frames;
  ASSERT_LT(from + 3 * frames, static_cast<int64_t>(all.size() / 2));
  const double worst = WorstPhaseStep(all, from, 1000.0, rate);
  EXPECT_LT(worst, 0.01) << "phase steps off by up to " << worst << " rad";

  // Latency: when the block holding the onset was handed over, less the time its last
  // frame was heard.
  const size_t onsetBlock = static_cast<size_t>(onset / frames);
  const double lastFrameHeardMs =
      static_cast<double>(player.onsetNs()) / 1e6 +
      static_cast<double>((static_cast<int64_t>(onsetBlock) + 1) * frames - 1 - onset) * 1000.0 /
          rate;
  const double latencyMs = static_cast<double>(deliveredNs[onsetBlock]) / 1e6 - lastFrameHeardMs;
  std::cout << "capture latency (last frame of a block heard -> block handed over): "
            << latencyMs << " ms; block of " << frames << " frames lasts "
            << frames * 1000.0 / rate << " ms\n";
  EXPECT_GT(latencyMs, -5.0);
}

// An I/Q tone file (left cos, right sin) for a player in another process, which our stall
// cannot starve.
QString WriteToneWav(const QString& path, int rate, double toneHz, double seconds) {
  const auto frames = static_cast<uint32_t>(rate * seconds);
  QByteArray b("RIFF");
  auto le = [&b](uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.append(static_cast<char>((v >> (8 * i)) & 0xff));
  };
  le(36 + frames * 4, 4);
  b.append("WAVEfmt ");
  le(16, 4);
  le(1, 2);
  le(2, 2);
  le(static_cast<uint32_t>(rate), 4);
  le(static_cast<uint32_t>(rate) * 4, 4);
  le(4, 2);
  le(16, 2);
  b.append("data");
  le(frames * 4, 4);
  for (uint32_t n = 0; n < frames; ++n) {
    const double ph = 2 * std::numbers::pi * toneHz * n / rate;
    le(static_cast<uint16_t>(static_cast<int16_t>(std::lround(8000 * std::cos(ph)))), 2);
    le(static_cast<uint16_t>(static_cast<int16_t>(std::lround(8000 * std::sin(ph)))), 2);
  }
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return {};
  f.write(b);
  return path;
}

// A stall longer than the ring holds: whole blocks are dropped, counted and reported, and
// the blocks that follow are whole and contiguous again.
TEST(AudioCaptureSource, LiveStallDropsWholeBlocksAndSaysSo) {
  const QAudioDevice in = DeviceNamed(QMediaDevices::audioInputs(), "TestSource");
  if (in.isNull() || QStandardPaths::findExecutable("paplay").isEmpty()) {
    GTEST_SKIP() << "no TestSource audio server or no paplay";
  }
  AudioServerLock lock;
  ASSERT_TRUE(lock.locked());
  const int rate = 48000, frames = 1024;
  QTemporaryDir dir;
  const QString wav = WriteToneWav(dir.filePath("tone.wav"), rate, 750.0, 8.0);
  ASSERT_FALSE(wav.isEmpty());
  AudioCaptureSource source(in.id());
  QString error;
  ASSERT_TRUE(source.open(rate, frames, &error)) << error.toStdString();
  QProcess player;
  player.start(QStringLiteral("paplay"), {QStringLiteral("--latency-msec=20"), wav});
  ASSERT_TRUE(player.waitForStarted(5000));

  QSignalSpy status(&source, &BlockSource::statusChanged);
  std::vector<int16_t> buffer(2 * frames);
  std::vector<int16_t> after;
  int loudBlocks = 0;
  bool stalled = false;
  QObject::connect(&source, &BlockSource::blockDone, &source, [&] {
    if (stalled) after.insert(after.end(), buffer.begin(), buffer.end());
    if (!stalled && std::abs(buffer[0]) + std::abs(buffer[1]) > 3000 && ++loudBlocks == 10) {
      // Processing falls 2 s behind; the ring holds about 1 s.
      QThread::msleep(2000);
      stalled = true;
    }
    source.queue(buffer.data());
  }, Qt::QueuedConnection);
  source.queue(buffer.data());
  QElapsedTimer clock;
  clock.start();
  while (after.size() < 2u * 80 * frames && clock.elapsed() < 15000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  source.close();
  player.kill();
  player.waitForFinished(2000);
  ASSERT_GE(after.size(), 2u * 80 * frames);
  const int ringBlocks = AudioCaptureSource::RingBlocks(rate, frames);
  // About 2 s of audio against a ring of ringBlocks: the excess is dropped.
  EXPECT_GT(source.droppedBlocks(), 2 * rate / frames - ringBlocks - 15);
  EXPECT_LT(source.droppedBlocks(), 2 * rate / frames - ringBlocks + 15);
  ASSERT_FALSE(status.isEmpty());
  EXPECT_TRUE(status.last().at(0).toString().contains(
      QStringLiteral("%1 blocks dropped").arg(source.droppedBlocks())))
      << status.last().at(0).toString().toStdString();
  // Each block after the stall is whole (the drops fell between blocks), and once the
  // backlog has been worked off the blocks join up again.
  for (size_t b = 0; b < after.size() / (2 * frames); ++b) {
    const std::vector<int16_t> block(after.begin() + static_cast<long>(b * 2 * frames),
                                     after.begin() + static_cast<long>((b + 1) * 2 * frames));
    ASSERT_LT(WorstPhaseStep(block, 1, 750.0, rate), 0.01) << "block " << b;
  }
  const std::vector<int16_t> tail(after.end() - 2 * 20 * frames, after.end());
  EXPECT_LT(WorstPhaseStep(tail, 1, 750.0, rate), 0.01);
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
