#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cmath>
#include <vector>

#include "capture/audio_file_source.h"
#include "capture/recorder.h"
#include "capture/source_factory.h"
#include "capture/test_signal_source.h"
#include "dsp/fft.h"

namespace corvane {
namespace {

void Le(QByteArray& b, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b.append(static_cast<char>((v >> (8 * i)) & 0xff));
}

QByteArray Wav(const std::vector<int16_t>& samples, int channels, uint32_t rate) {
  QByteArray b("RIFF");
  Le(b, static_cast<uint32_t>(36 + samples.size() * 2), 4);
  b.append("WAVEfmt ");
  Le(b, 16, 4);
  Le(b, 1, 2);
  Le(b, static_cast<uint32_t>(channels), 2);
  Le(b, rate, 4);
  Le(b, rate * static_cast<uint32_t>(channels) * 2, 4);
  Le(b, static_cast<uint32_t>(channels) * 2, 2);
  Le(b, 16, 2);
  b.append("data");
  Le(b, static_cast<uint32_t>(samples.size() * 2), 4);
  for (int16_t s : samples) Le(b, static_cast<uint16_t>(s), 2);
  return b;
}

// Sample values that name their position: frame i has left = i, right = -i (mod 2^15).
std::vector<int16_t> Numbered(int frames, int channels) {
  std::vector<int16_t> s;
  for (int i = 0; i < frames; ++i) {
    s.push_back(static_cast<int16_t>(i % 32000));
    if (channels == 2) s.push_back(static_cast<int16_t>(-(i % 32000)));
  }
  return s;
}

class AudioFileSourceTest : public ::testing::Test {
 protected:
  QString Write(const QByteArray& bytes, const QString& name = QStringLiteral("in.wav")) {
    const QString path = dir_.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path;
  }
  QTemporaryDir dir_;
};

// Runs a source to its end, queueing the next block as the loop does (from the event
// loop, after blockDone); returns the blocks' contents.
std::vector<std::vector<int16_t>> RunToEnd(BlockSource& source, int frames, int maxBlocks,
                                           QSignalSpy& finished) {
  std::vector<std::vector<int16_t>> blocks;
  std::vector<int16_t> buffer(2 * frames, 0x5555);
  QObject::connect(&source, &BlockSource::blockDone, &source, [&] {
    blocks.push_back(buffer);
    std::fill(buffer.begin(), buffer.end(), int16_t{0x5555});
    if (static_cast<int>(blocks.size()) < maxBlocks) source.queue(buffer.data());
  }, Qt::QueuedConnection);
  source.queue(buffer.data());
  QElapsedTimer t;
  t.start();
  while (finished.isEmpty() && static_cast<int>(blocks.size()) < maxBlocks &&
         t.elapsed() < 20000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  QCoreApplication::processEvents();
  return blocks;
}

TEST_F(AudioFileSourceTest, FastModeDeliversContiguousBlocksThenFinishes) {
  const int frames = 1024;
  for (int channels : {2, 1}) {
    // 10.5 blocks: the half block at the end is dropped.
    AudioFileSource source(Write(Wav(Numbered(10 * frames + 512, channels), channels, 22050)),
                         true);
    QString error;
    ASSERT_TRUE(source.open(12000, frames, &error)) << error.toStdString();
    EXPECT_EQ(source.actualSampleRate(), 22050);  // the file's rate, not the one asked
    EXPECT_TRUE(source.drivesOwnClock());
    QSignalSpy finished(&source, &BlockSource::finished);
    const auto blocks = RunToEnd(source, frames, 100, finished);
    ASSERT_EQ(blocks.size(), 10u);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(source.framesDelivered(), 10 * frames);
    for (size_t b = 0; b < blocks.size(); ++b) {
      for (int i = 0; i < frames; i += 97) {
        const int n = static_cast<int>(b) * frames + i;
        ASSERT_EQ(blocks[b][2 * i], n % 32000) << "block " << b << " frame " << i;
        ASSERT_EQ(blocks[b][2 * i + 1], channels == 2 ? -(n % 32000) : 0);
      }
    }
  }
}

TEST_F(AudioFileSourceTest, BlocksComeFromTheEventLoopNeverInsideQueue) {
  AudioFileSource source(Write(Wav(Numbered(4096, 2), 2, 8000)), true);
  ASSERT_TRUE(source.open(8000, 1024, nullptr));
  QSignalSpy done(&source, &BlockSource::blockDone);
  std::vector<int16_t> buffer(2048);
  source.queue(buffer.data());
  EXPECT_EQ(done.count(), 0);
  EXPECT_TRUE(done.wait(2000));
}

TEST_F(AudioFileSourceTest, RealTimePacingFollowsTheFileRate) {
  // 8 blocks of 400 frames at 8000 Hz: 50 ms each, 0.4 s in all.
  AudioFileSource source(Write(Wav(Numbered(3200, 2), 2, 8000)), false);
  ASSERT_TRUE(source.open(8000, 400, nullptr));
  EXPECT_FALSE(source.drivesOwnClock());
  QSignalSpy finished(&source, &BlockSource::finished);
  QElapsedTimer t;
  t.start();
  const auto blocks = RunToEnd(source, 400, 100, finished);
  EXPECT_EQ(blocks.size(), 8u);
  EXPECT_GE(t.elapsed(), 390);  // never early; how late depends on the machine's load
}

TEST_F(AudioFileSourceTest, RefusesWhatItCannotPlayWithTheReason) {
  QString error;
  AudioFileSource missing(dir_.filePath("nope.wav"), true);
  EXPECT_FALSE(missing.open(12000, 1024, &error));
  EXPECT_TRUE(error.contains("No such file")) << error.toStdString();

  // A recorder stopped before it wrote its header's length: what is there still plays.
  QByteArray cut = Wav(Numbered(4096, 2), 2, 8000);
  cut.chop(1000);
  AudioFileSource truncated(Write(cut, "cut.wav"), true);
  EXPECT_TRUE(truncated.open(12000, 1024, &error)) << error.toStdString();
  EXPECT_EQ(truncated.totalFrames(), 4096 - 250);

  AudioFileSource shortFile(Write(Wav(Numbered(1000, 2), 2, 8000), "short.wav"), true);
  EXPECT_FALSE(shortFile.open(12000, 1024, &error));
  EXPECT_TRUE(error.contains("less than one block")) << error.toStdString();

  QByteArray quad = Wav(Numbered(4096, 2), 2, 8000);
  quad[22] = 4;  // channels
  AudioFileSource fourChannels(Write(quad, "quad.wav"), true);
  EXPECT_FALSE(fourChannels.open(12000, 1024, &error));
  EXPECT_TRUE(error.contains("4 channels")) << error.toStdString();
}

TEST_F(AudioFileSourceTest, FileCutShortWhileReadEndsWithAStatus) {
  const QString path = Write(Wav(Numbered(8 * 1024, 2), 2, 8000));
  AudioFileSource source(path, true);
  ASSERT_TRUE(source.open(8000, 1024, nullptr));
  QSignalSpy finished(&source, &BlockSource::finished);
  QSignalSpy status(&source, &BlockSource::statusChanged);
  std::vector<int16_t> buffer(2048);
  QSignalSpy done(&source, &BlockSource::blockDone);
  source.queue(buffer.data());
  ASSERT_TRUE(done.wait(2000));
  // Cut in the middle of the third block.
  ASSERT_TRUE(QFile::resize(path, 44 + 4 * (2 * 1024 + 300)));
  source.queue(buffer.data());
  ASSERT_TRUE(done.wait(2000));
  source.queue(buffer.data());
  ASSERT_TRUE(finished.wait(2000));
  EXPECT_EQ(done.count(), 2);
  ASSERT_EQ(status.count(), 1);
  EXPECT_TRUE(status.at(0).at(0).toString().contains("cut short"));
  EXPECT_EQ(source.framesDelivered(), 2048);
}

TEST_F(AudioFileSourceTest, CloseAbandonsTheQueuedBuffer) {
  AudioFileSource source(Write(Wav(Numbered(4096, 2), 2, 8000)), false);
  ASSERT_TRUE(source.open(8000, 1024, nullptr));
  QSignalSpy done(&source, &BlockSource::blockDone);
  std::vector<int16_t> buffer(2048, 7);
  source.queue(buffer.data());
  source.close();
  EXPECT_FALSE(done.wait(300));
  EXPECT_EQ(buffer[0], 7);
}

// The clock's origin: a recording's name, or for any other file its modification time less
// its duration.
TEST_F(AudioFileSourceTest, TellsItsLengthAndWhenItsFirstFrameWasTaken) {
  const QDateTime modified = QDateTime(QDate(2026, 12, 8), QTime(18, 30, 0), Qt::UTC);
  struct Case {
    const char* name;
    QDateTime first;
  };
  const Case cases[] = {
      {"corvane-20261208T180000Z.wav", QDateTime(QDate(2026, 12, 8), QTime(18, 0, 0), Qt::UTC)},
      {"beacon.wav", modified.addMSecs(-1500)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = Write(Wav(Numbered(12000, 2), 2, 8000), c.name);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(modified, QFileDevice::FileModificationTime));
    f.close();
    AudioFileSource source(path, true);
    EXPECT_FALSE(source.firstFrameTime().isValid());
    ASSERT_TRUE(source.open(8000, 1024, nullptr));
    EXPECT_EQ(source.totalFrames(), 12000);
    EXPECT_EQ(source.firstFrameTime(), c.first);
  }
}

// What the recorder wrote plays back as the same frames, from the time in the file's name,
// cut into blocks where the live run cut them: the recording begins on the whole second,
// 800 frames into the first live block of 1000, so the replay passes over the 200 frames
// before the next block boundary and its clock counts them.
TEST_F(AudioFileSourceTest, ARecordingPlaysBackTheLiveBlocksOnTheirTimes) {
  RecorderOptions options;
  options.directory = QFile::encodeName(dir_.path()).toStdString();
  options.sampleRate = 8000;
  {
    Recorder rec(options);
    std::vector<int16_t> block;
    for (int b = 0; b < 20; ++b) {
      block = Numbered(1000, 2);
      for (int i = 0; i < 1000; ++i) {
        block[2 * i] = static_cast<int16_t>(b * 1000 + i);
        block[2 * i + 1] = static_cast<int16_t>(-b);
      }
      // The first frame at 2026-12-08 17:59:59.9 UTC.
      rec.Write(block.data(), 1000, 1796752800LL * 1'000'000 - 100'000 + (b + 1) * 125'000);
    }
  }
  const QString path = dir_.filePath("corvane-20261208T180000Z.flac");
  ASSERT_TRUE(QFile::exists(path));
  AudioFileSource source(path, true);
  ASSERT_TRUE(source.open(8000, 1000, nullptr));
  EXPECT_EQ(source.totalFrames(), 19200);
  EXPECT_EQ(source.firstFrameTime(), QDateTime(QDate(2026, 12, 8), QTime(18, 0, 0), Qt::UTC));
  EXPECT_EQ(source.framesDelivered(), 200);
  QSignalSpy finished(&source, &BlockSource::finished);
  const auto blocks = RunToEnd(source, 1000, 100, finished);
  ASSERT_EQ(blocks.size(), 19u);
  for (size_t b = 0; b < blocks.size(); ++b) {
    for (int i = 0; i < 1000; ++i) {
      const int n = static_cast<int>(b + 1) * 1000 + i;
      ASSERT_EQ(blocks[b][2 * i], n) << n;
      ASSERT_EQ(blocks[b][2 * i + 1], -(n / 1000)) << n;
    }
  }
  EXPECT_EQ(source.framesDelivered(), 19200);
}

int PeakBin(const std::vector<int16_t>& block, int n) {
  Module1::FFTLen = n;
  Module1::MakeHanningWindow();
  std::vector<float> d(Module1::kFFTDataSize, 0.0f);
  for (int i = 0; i < n; ++i) {
    d[2 * i + 1] = static_cast<float>(block[2 * i]) * Module1::WinTable[i];
    d[2 * i + 2] = -static_cast<float>(block[2 * i + 1]) * Module1::WinTable[i];
  }
  Module1::ComplexFFT(d.data());
  int best = 0;
  float bestPower = -1;
  for (int k = 0; k < n; ++k) {
    const float p = d[2 * k + 1] * d[2 * k + 1] + d[2 * k + 2] * d[2 * k + 2];
    if (p > bestPower) {
      bestPower = p;
      best = k;
    }
  }
  return best;
}

TEST(TestSignalSourceTest, FactoryEntryGivesTheBeaconAtTheCentreFrequency) {
  SourceEntry entry;
  entry.kind = SourceEntry::Kind::TestSignal;
  auto source = CreateSource(entry, 1500.0, true);
  ASSERT_TRUE(source);
  QString error;
  ASSERT_TRUE(source->open(12000, 4096, &error)) << error.toStdString();
  EXPECT_TRUE(source->drivesOwnClock());
  EXPECT_EQ(source->actualSampleRate(), 12000);
  QSignalSpy finished(source.get(), &BlockSource::finished);
  const auto blocks = RunToEnd(*source, 4096, 5, finished);
  ASSERT_EQ(blocks.size(), 5u);
  EXPECT_TRUE(finished.isEmpty());
  for (const auto& b : blocks) EXPECT_EQ(PeakBin(b, 4096), 512);  // 1500 Hz * 4096 / 12000
  EXPECT_EQ(source->framesDelivered(), 5 * 4096);
}

TEST(TestSignalSourceTest, RefusesRatesNoCardDelivers) {
  SourceEntry entry;
  entry.kind = SourceEntry::Kind::TestSignal;
  for (const double rate : {0.0, 0.5, 1e-320, 384001.0, 1e308}) {
    auto source = CreateSource(entry, 1000.0, true);
    QString error;
    EXPECT_FALSE(source->open(rate, 4096, &error)) << rate;
    EXPECT_FALSE(error.isEmpty());
  }
  auto source = CreateSource(entry, 1000.0, true);
  EXPECT_TRUE(source->open(384000, 4096, nullptr));
}

TEST(TestSignalSourceTest, RealTimeSignalIsPaced) {
  TestSignalSource source(1000, false, 1);
  ASSERT_TRUE(source.open(8000, 800, nullptr));  // 100 ms blocks
  EXPECT_FALSE(source.drivesOwnClock());
  QSignalSpy finished(&source, &BlockSource::finished);
  QElapsedTimer t;
  t.start();
  const auto blocks = RunToEnd(source, 800, 3, finished);
  EXPECT_EQ(blocks.size(), 3u);
  EXPECT_GE(t.elapsed(), 290);
}

TEST(SourceFactory, ListEndsWithTheTestSignalAndWavEntriesKeepThePath) {
  const auto list = ListSources();
  ASSERT_FALSE(list.empty());
  EXPECT_EQ(list.back().kind, SourceEntry::Kind::TestSignal);
  EXPECT_EQ(list.back().text, "Test signal (simulated beacon)");
  for (size_t i = 0; i + 1 < list.size(); ++i) {
    EXPECT_EQ(list[i].kind, SourceEntry::Kind::SoundCard);
    EXPECT_FALSE(list[i].id.isEmpty());
  }
  // With no capture device the default is the beacon, otherwise a card.
  const SourceEntry def = DefaultSource();
  if (QMediaDevices::audioInputs().isEmpty()) {
    EXPECT_EQ(def.kind, SourceEntry::Kind::TestSignal);
  } else {
    EXPECT_EQ(def.kind, SourceEntry::Kind::SoundCard);
  }
  const SourceEntry wav = WavFileEntry("/data/rec/beacon 1.wav");
  EXPECT_EQ(wav.kind, SourceEntry::Kind::WavFile);
  EXPECT_EQ(wav.path, "/data/rec/beacon 1.wav");
  EXPECT_TRUE(wav.text.contains("beacon 1.wav"));
  auto source = CreateSource(wav, 1000, false);
  ASSERT_TRUE(source);
  EXPECT_FALSE(source->drivesOwnClock());
  for (const char* name : {"a.wav", "b.FLAC", "c.aif", "d.aiff", "e.aifc", "f.w64", "g.rf64"}) {
    EXPECT_TRUE(IsAudioFileName(name)) << name;
  }
  for (const char* name : {"a.mp3", "b.ogg", "flac", "c.wav.txt"}) {
    EXPECT_FALSE(IsAudioFileName(name)) << name;
  }
}

}  // namespace
}  // namespace corvane
