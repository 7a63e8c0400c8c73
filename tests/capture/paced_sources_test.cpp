#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cmath>
#include <vector>

#include "capture/source_factory.h"
#include "capture/test_signal_source.h"
#include "capture/wav_file_source.h"
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

class WavFileSourceTest : public ::testing::Test {
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

TEST_F(WavFileSourceTest, FastModeDeliversContiguousBlocksThenFinishes) {
  const int frames = 1024;
  for (int channels : {2, 1}) {
    // 10.5 blocks: the half block at the end is dropped.
    WavFileSource source(Write(Wav(Numbered(10 * frames + 512, channels), channels, 22050)),
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

TEST_F(WavFileSourceTest, BlocksComeFromTheEventLoopNeverInsideQueue) {
  WavFileSource source(Write(Wav(Numbered(4096, 2), 2, 8000)), true);
  ASSERT_TRUE(source.open(8000, 1024, nullptr));
  QSignalSpy done(&source, &BlockSource::blockDone);
  std::vector<int16_t> buffer(2048);
  source.queue(buffer.data());
  EXPECT_EQ(done.count(), 0);
  EXPECT_TRUE(done.wait(2000));
}

TEST_F(WavFileSourceTest, RealTimePacingFollowsTheFileRate) {
  // 8 blocks of 400 frames at 8000 Hz: 50 ms each, 0.4 s in all.
  WavFileSource source(Write(Wav(Numbered(3200, 2), 2, 8000)), false);
  ASSERT_TRUE(source.open(8000, 400, nullptr));
  EXPECT_FALSE(source.drivesOwnClock());
  QSignalSpy finished(&source, &BlockSource::finished);
  QElapsedTimer t;
  t.start();
  const auto blocks = RunToEnd(source, 400, 100, finished);
  EXPECT_EQ(blocks.size(), 8u);
  EXPECT_GE(t.elapsed(), 390);  // never early; how late depends on the machine's load
}

TEST_F(WavFileSourceTest, RefusesWhatItCannotPlayWithTheReason) {
  QString error;
  WavFileSource missing(dir_.filePath("nope.wav"), true);
  EXPECT_FALSE(missing.open(12000, 1024, &error));
  EXPECT_TRUE(error.contains("No such file")) << error.toStdString();

  QByteArray cut = Wav(Numbered(4096, 2), 2, 8000);
  cut.chop(1000);
  WavFileSource truncated(Write(cut, "cut.wav"), true);
  EXPECT_FALSE(truncated.open(12000, 1024, &error));
  EXPECT_TRUE(error.contains("truncated")) << error.toStdString();

  WavFileSource shortFile(Write(Wav(Numbered(1000, 2), 2, 8000), "short.wav"), true);
  EXPECT_FALSE(shortFile.open(12000, 1024, &error));
  EXPECT_TRUE(error.contains("less than one block")) << error.toStdString();

  QByteArray eightBit = Wav(Numbered(4096, 2), 2, 8000);
  eightBit[34] = 8;  // bits per sample
  WavFileSource notSixteen(Write(eightBit, "8bit.wav"), true);
  EXPECT_FALSE(notSixteen.open(12000, 1024, &error));
  EXPECT_TRUE(error.contains("8-bit")) << error.toStdString();
}

// A header's rate beyond what a sound card delivers would be drawn, measured and then saved
// as the settings' rate: it is refused at open, saying why.
TEST_F(WavFileSourceTest, RateOutsideWhatASoundCardDeliversIsRefused) {
  const struct {
    uint32_t rate;
    bool opens;
  } cases[] = {{1, true}, {384000, true}, {384001, false}, {1000000000, false}};
  for (const auto& c : cases) {
    WavFileSource source(Write(Wav(Numbered(2048, 2), 2, c.rate), "rate.wav"), true);
    QString error;
    EXPECT_EQ(source.open(12000, 1024, &error), c.opens) << c.rate;
    if (!c.opens) {
      EXPECT_TRUE(error.contains(QStringLiteral("sampling rate %1 Hz").arg(c.rate)))
          << error.toStdString();
    }
    source.close();
  }
}

TEST_F(WavFileSourceTest, FileCutShortWhileReadEndsWithAStatus) {
  const QString path = Write(Wav(Numbered(8 * 1024, 2), 2, 8000));
  WavFileSource source(path, true);
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

TEST_F(WavFileSourceTest, CloseAbandonsTheQueuedBuffer) {
  WavFileSource source(Write(Wav(Numbered(4096, 2), 2, 8000)), false);
  ASSERT_TRUE(source.open(8000, 1024, nullptr));
  QSignalSpy done(&source, &BlockSource::blockDone);
  std::vector<int16_t> buffer(2048, 7);
  source.queue(buffer.data());
  source.close();
  EXPECT_FALSE(done.wait(300));
  EXPECT_EQ(buffer[0], 7);
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
}

}  // namespace
}  // namespace corvane
