#include "capture/audio_file_reader.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "capture/block_convert.h"
#include "dsp/fft.h"
#include "measure/measurement_engine.h"
#include "settings/parameters.h"
#include "support/quiet_host.h"

namespace corvane {
namespace {

using Bytes = std::vector<uint8_t>;

void Le(Bytes& b, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Id(Bytes& b, const char* id) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(id[i]));
}

void Chunk(Bytes& b, const char* id, const Bytes& body, uint32_t declared = UINT32_MAX) {
  Id(b, id);
  Le(b, declared == UINT32_MAX ? static_cast<uint32_t>(body.size()) : declared, 4);
  b.insert(b.end(), body.begin(), body.end());
  if (body.size() % 2 == 1) b.push_back(0);
}

Bytes Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
  Bytes f;
  Le(f, tag, 2);
  Le(f, channels, 2);
  Le(f, rate, 4);
  Le(f, rate * channels * bits / 8, 4);
  Le(f, channels * bits / 8, 2);
  Le(f, bits, 2);
  return f;
}

Bytes Extensible(uint16_t channels, uint32_t rate, bool pcm) {
  Bytes f = Fmt(0xFFFE, channels, rate, 16);
  Le(f, 22, 2);  // cbSize
  Le(f, 16, 2);  // valid bits
  Le(f, channels == 2 ? 3 : 4, 4);
  const uint8_t guid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                            0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  f.insert(f.end(), guid, guid + 16);
  if (!pcm) f[24] = 3;  // IEEE float sub-format
  return f;
}

Bytes Samples(const std::vector<int16_t>& s) {
  Bytes b;
  for (int16_t v : s) Le(b, static_cast<uint16_t>(v), 2);
  return b;
}

Bytes Riff(const Bytes& chunks) {
  Bytes b;
  Id(b, "RIFF");
  Le(b, static_cast<uint32_t>(chunks.size() + 4), 4);
  Id(b, "WAVE");
  b.insert(b.end(), chunks.begin(), chunks.end());
  return b;
}

Bytes Simple(uint16_t channels, uint32_t rate, const std::vector<int16_t>& s) {
  Bytes c;
  Chunk(c, "fmt ", Fmt(1, channels, rate, 16));
  Chunk(c, "data", Samples(s));
  return Riff(c);
}

std::vector<int16_t> ReadAllFrames(AudioFileReader& r) {
  std::vector<int16_t> out(static_cast<size_t>(r.frames()) * 2 + 8, 12345);
  const int64_t n = r.ReadFrames(out.data(), r.frames() + 4);
  out.resize(static_cast<size_t>(n) * 2);
  return out;
}

TEST(AudioFileReader, StereoFramesAsStoredAtAnyRate) {
  const std::vector<int16_t> s = {1, -1, 32767, -32768, 300, -400};
  for (uint32_t rate : {8000u, 11025u, 12000u, 44100u, 48000u, 192000u}) {
    const Bytes b = Simple(2, rate, s);
    AudioFileReader r;
    ASSERT_TRUE(r.OpenBytes(b.data(), b.size())) << r.error();
    EXPECT_EQ(r.sampleRate(), static_cast<int>(rate));
    EXPECT_EQ(r.channels(), 2);
    EXPECT_EQ(r.frames(), 3);
    EXPECT_EQ(r.formatName(), "WAV, 16-bit integer");
    EXPECT_EQ(ReadAllFrames(r), s);
  }
}

TEST(AudioFileReader, MonoGoesLeftWithSilentRight) {
  const Bytes b = Simple(1, 22050, {5, -7, 32767});
  AudioFileReader r;
  ASSERT_TRUE(r.OpenBytes(b.data(), b.size())) << r.error();
  EXPECT_EQ(r.channels(), 1);
  EXPECT_EQ(ReadAllFrames(r), (std::vector<int16_t>{5, 0, -7, 0, 32767, 0}));
}

// libsndfile wants the format chunk before the data, as every writer puts it.
TEST(AudioFileReader, OtherChunksAroundWithOddPadding) {
  Bytes c;
  Chunk(c, "LIST", {'a', 'b', 'c'});  // odd size: one pad byte follows
  Chunk(c, "fmt ", Fmt(1, 2, 16000, 16));
  Chunk(c, "junk", {1});
  Chunk(c, "data", Samples({10, 20, 30, 40}));
  Chunk(c, "LIST", {'x'});
  const Bytes b = Riff(c);
  AudioFileReader r;
  ASSERT_TRUE(r.OpenBytes(b.data(), b.size())) << r.error();
  EXPECT_EQ(r.sampleRate(), 16000);
  EXPECT_EQ(ReadAllFrames(r), (std::vector<int16_t>{10, 20, 30, 40}));
}

TEST(AudioFileReader, LongFormatChunkAndExtensiblePcm) {
  Bytes f = Fmt(1, 1, 8000, 16);
  Le(f, 0, 2);  // 18-byte PCM format chunk with cbSize 0
  Bytes c;
  Chunk(c, "fmt ", f);
  Chunk(c, "data", Samples({1, 2}));
  Bytes b = Riff(c);
  AudioFileReader r;
  EXPECT_TRUE(r.OpenBytes(b.data(), b.size())) << r.error();

  c.clear();
  Chunk(c, "fmt ", Extensible(2, 48000, true));
  Chunk(c, "data", Samples({1, 2}));
  b = Riff(c);
  ASSERT_TRUE(r.OpenBytes(b.data(), b.size())) << r.error();
  EXPECT_EQ(r.channels(), 2);
  EXPECT_EQ(r.frames(), 1);

  EXPECT_EQ(ReadAllFrames(r), (std::vector<int16_t>{1, 2}));
}

void ExpectRefused(const Bytes& b, const std::string& reasonPart) {
  AudioFileReader r;
  EXPECT_FALSE(r.OpenBytes(b.data(), b.size()));
  EXPECT_FALSE(r.isOpen());
  EXPECT_NE(r.error().find(reasonPart), std::string::npos)
      << "reason was: " << r.error() << ", expected: " << reasonPart;
}

TEST(AudioFileReader, RefusesWhatItCannotRead) {
  ExpectRefused({}, "an empty file");
  ExpectRefused({'R', 'I', 'F', 'F', 0, 0}, "not a WAV, RF64, W64, FLAC or AIFF file");
  Bytes notRiff = Simple(2, 8000, {1, 2});
  notRiff[0] = 'X';
  ExpectRefused(notRiff, "not a WAV, RF64, W64, FLAC or AIFF file");
  ExpectRefused({'O', 'g', 'g', 'S', 0, 2, 0, 0, 0, 0, 0, 0}, "lossy");
  ExpectRefused({'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0, 0, 0}, "lossy");

  auto withFmt = [](const Bytes& fmt) {
    Bytes c;
    Chunk(c, "fmt ", fmt);
    Chunk(c, "data", Samples({1, 2, 3, 4, 5, 6}));
    return Riff(c);
  };
  ExpectRefused(withFmt(Fmt(1, 3, 8000, 16)), "3 channels");
  ExpectRefused(withFmt(Fmt(1, 0, 8000, 16)), "unreadable");
  ExpectRefused(withFmt(Fmt(1, 2, 0, 16)), "unreadable");
  // A rate no sound card has: reading it would take minutes and the memory of a block of
  // its length, and the rate would end up in the settings file.
  ExpectRefused(withFmt(Fmt(1, 1, 1'000'000'000, 16)), "outside 1 Hz … 384 kHz");
  ExpectRefused(withFmt(Fmt(1, 1, 384001, 16)), "outside 1 Hz … 384 kHz");
  Bytes shortFmt = Fmt(1, 2, 8000, 16);
  shortFmt.resize(14);
  ExpectRefused(withFmt(shortFmt), "unreadable");

  Bytes noData;
  Chunk(noData, "fmt ", Fmt(1, 2, 8000, 16));
  ExpectRefused(Riff(noData), "unreadable");
  Bytes noFmt;
  Chunk(noFmt, "data", Samples({1, 2}));
  ExpectRefused(Riff(noFmt), "unreadable");

  // Header cut inside the format chunk.
  Bytes cut = Simple(2, 8000, {1, 2});
  cut.resize(12 + 8 + 10);
  ExpectRefused(cut, "unreadable");
}

TEST(AudioFileReader, DataChunkBeyondTheFileKeepsTheFramesPresent) {
  Bytes c;
  Chunk(c, "fmt ", Fmt(1, 2, 8000, 16));
  Chunk(c, "data", Samples({1, 2, 3, 4, 5}), 400);  // declares 100 frames; 2.5 present
  const Bytes b = Riff(c);
  AudioFileReader r;
  ASSERT_TRUE(r.OpenBytes(b.data(), b.size())) << r.error();
  EXPECT_EQ(r.frames(), 2);  // the partial third frame is not read
  EXPECT_EQ(ReadAllFrames(r), (std::vector<int16_t>{1, 2, 3, 4}));
  EXPECT_FALSE(r.shortRead());
}

TEST(AudioFileReader, ReadsInPiecesAndRewinds) {
  std::vector<int16_t> s(2 * 10000);
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(i * 7);
  const Bytes b = Simple(2, 12000, s);
  AudioFileReader r;
  ASSERT_TRUE(r.OpenBytes(b.data(), b.size()));
  std::vector<int16_t> got(s.size());
  int64_t at = 0;
  while (int64_t n = r.ReadFrames(got.data() + 2 * at, 777)) at += n;
  EXPECT_EQ(at, 10000);
  EXPECT_EQ(got, s);
  EXPECT_EQ(r.ReadFrames(got.data(), 10), 0);
  r.Rewind();
  int16_t first[2] = {};
  EXPECT_EQ(r.ReadFrames(first, 1), 1);
  EXPECT_EQ(first[1], 7);
}

class AudioFileReaderFile : public ::testing::Test {
 protected:
  std::string Write(const Bytes& b) {
    std::ofstream(path_, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    return path_.string();
  }
  void TearDown() override { std::filesystem::remove(path_); }
  std::filesystem::path path_ = std::filesystem::temp_directory_path() /
                                ("audio_file_reader_test_" + std::to_string(::getpid()) + ".wav");
};

TEST_F(AudioFileReaderFile, MissingFileNamesTheReason) {
  AudioFileReader r;
  EXPECT_FALSE(r.Open("/nonexistent/dir/x.wav"));
  EXPECT_NE(r.error().find("No such file"), std::string::npos) << r.error();
}

// Read one read at a time, or in runs that hold the length (a fast replay's passes): a cut
// between runs is seen at the next read.
TEST_F(AudioFileReaderFile, FileThatShrinksWhileReadStopsShort) {
  for (const bool held : {false, true}) {
    SCOPED_TRACE(held ? "in held runs" : "one read at a time");
    std::vector<int16_t> s(2 * 4000, 9);
    const std::string path = Write(Simple(2, 8000, s));
    AudioFileReader r;
    ASSERT_TRUE(r.Open(path)) << r.error();
    std::vector<int16_t> buf(2 * 4000);
    r.HoldLength(held);
    EXPECT_EQ(r.ReadFrames(buf.data(), 500), 500);
    EXPECT_EQ(r.ReadFrames(buf.data(), 500), 500);
    r.HoldLength(false);
    std::filesystem::resize_file(path, 44 + 4 * 1500);
    r.HoldLength(held);
    EXPECT_EQ(r.ReadFrames(buf.data(), 1000), 500);
    EXPECT_TRUE(r.shortRead());
    EXPECT_EQ(r.ReadFrames(buf.data(), 1000), 0);
  }
}

TEST_F(AudioFileReaderFile, ReadAllGivesSamplesAsStoredAndWhatACutFileHolds) {
  std::vector<int16_t> samples;
  int rate = 0, channels = 0;
  std::string error;
  ASSERT_TRUE(AudioFileReader::ReadAll(Write(Simple(1, 22050, {3, 4, 5})), &samples, &rate,
                                       &channels, &error))
      << error;
  EXPECT_EQ(samples, (std::vector<int16_t>{3, 4, 5}));
  EXPECT_EQ(rate, 22050);
  EXPECT_EQ(channels, 1);

  Bytes c;
  Chunk(c, "fmt ", Fmt(1, 1, 8000, 16));
  Chunk(c, "data", Samples({1, 2}), 100);
  ASSERT_TRUE(AudioFileReader::ReadAll(Write(Riff(c)), &samples, &rate, &channels, &error))
      << error;
  EXPECT_EQ(samples, (std::vector<int16_t>{1, 2}));
}

// Every prefix and many random corruptions of a valid file: the reader either refuses
// with a reason or reads at most the frames it announced (ASan watches the bounds).
TEST(AudioFileReader, SurvivesCutAndCorruptedInput) {
  Bytes c;
  Chunk(c, "LIST", {'x'});
  Chunk(c, "fmt ", Extensible(2, 8000, true));
  Chunk(c, "data", Samples(std::vector<int16_t>(64, 3)));
  const Bytes good = Riff(c);
  std::mt19937 rng(7);
  std::vector<int16_t> buf(2 * 200);
  auto probe = [&](const Bytes& b) {
    AudioFileReader r;
    if (!r.OpenBytes(b.data(), b.size())) {
      EXPECT_FALSE(r.error().empty());
      return;
    }
    EXPECT_LE(r.frames() * r.channels() * 2, static_cast<int64_t>(b.size()));
    EXPECT_LE(r.ReadFrames(buf.data(), 200), r.frames());
  };
  for (size_t n = 0; n <= good.size(); ++n) probe(Bytes(good.begin(), good.begin() + n));
  for (int i = 0; i < 3000; ++i) {
    Bytes b = good;
    const int flips = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < flips; ++k) b[rng() % b.size()] = static_cast<uint8_t>(rng());
    probe(b);
  }
}

// ---- Files as other programs write them, through libsndfile's own writer ----

class LibraryFile : public ::testing::Test {
 protected:
  void TearDown() override { std::filesystem::remove_all(dir_); }
  // `samples`: interleaved, in 16-bit units. Empty on success, libsndfile's reason otherwise.
  std::string Write(const std::string& name, int format, int channels, int rate,
                    const std::vector<double>& samples) {
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / name).string();
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path_.c_str(), SFM_WRITE, &info);
    if (f == nullptr) return sf_strerror(nullptr);
    // Integers are written in their own units: libsndfile's writer scales normalised values
    // by 2^(bits-1) - 1 where its reader divides by 2^(bits-1), 0.07 dB apart at 8 bits.
    double scale = 1.0 / 32768;
    switch (format & SF_FORMAT_SUBMASK) {
      case SF_FORMAT_PCM_S8:
      case SF_FORMAT_PCM_U8: scale = 1.0 / 256; break;
      case SF_FORMAT_PCM_16: scale = 1; break;
      case SF_FORMAT_PCM_24: scale = 256; break;
      case SF_FORMAT_PCM_32: scale = 65536; break;
      default: break;
    }
    sf_command(f, SFC_SET_NORM_DOUBLE, nullptr, scale == 1.0 / 32768 ? SF_TRUE : SF_FALSE);
    std::vector<double> scaled(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) scaled[i] = samples[i] * scale;
    const auto frames = static_cast<sf_count_t>(samples.size()) / channels;
    const bool whole = sf_writef_double(f, scaled.data(), frames) == frames;
    sf_close(f);
    return whole ? std::string() : "short write";
  }
  std::filesystem::path dir_ = std::filesystem::temp_directory_path() /
                               ("library_file_" + std::to_string(::getpid()));
  std::string path_;
};

// An I/Q carrier at 1000 Hz, amplitude 1500 per channel, in Gaussian noise of 2000 per
// channel, at 12000 Hz, unquantised.
std::vector<double> CarrierInNoise(int frames) {
  std::mt19937 rng(5);
  std::normal_distribution<double> noise(0.0, 2000.0);
  std::vector<double> s;
  for (int i = 0; i < frames; ++i) {
    const double ph = 2 * M_PI * 1000.0 * i / 12000.0;
    s.push_back(1500 * std::cos(ph) + noise(rng));
    s.push_back(1500 * std::sin(ph) + noise(rng));
  }
  return s;
}

struct Figures {
  double sn1HzDb = 0, noiseDb = 0, signalDb = 0;
};

// What the block loop makes of the file: 8192-point Hamming blocks, HistLen 4.
Figures Measure(AudioFileReader& r) {
  constexpr int32_t kLen = 8192;
  Module1::FFTLen = kLen;
  Module1::MakeWindow(0);
  MeasurementParams p;
  p.SampleRate = r.sampleRate();
  p.CentreBin = HzToBin(1000, p.SampleRate, kLen);
  p.SigBWBins = (100 / p.SampleRate) * kLen;
  p.FMinBin = HzToBin(20, p.SampleRate, kLen);
  p.FMaxBin = HzToBin(0.45 * p.SampleRate, p.SampleRate, kLen);
  p.DetFrames = 4;
  p.StabLimitDb = 10;
  p.HistLen = 4;
  p.AlarmThreshDb = 99;
  p.GuardBand = 0.5f;
  testing::QuietHost host;
  MeasurementEngine engine(p, host);
  engine.StartRun();
  std::vector<int16_t> block(2 * kLen);
  std::vector<float> fft(Module1::kFFTDataSize, 0.0f);
  double level = 0;
  while (r.ReadFrames(block.data(), kLen) == kLen) {
    level = ConvertBlock(block.data(), kLen, Module1::WinTable, false, level, fft.data()).levelDb;
    Module1::ComplexFFT(fft.data());
    engine.ProcessBlock(fft.data(), DateTime{});
  }
  return {engine.SN1HzDb, engine.NoiseLevelDb, 4.342944819 * std::log(engine.SigPwr) - 50};
}

// Integers of 16 bits or fewer come out exactly at 16-bit scale, in one read or in pieces.
TEST_F(LibraryFile, SmallIntegersReadExactlyAtSixteenBitScale) {
  struct Case {
    const char* name;
    int format;
    int channels;
  };
  const Case cases[] = {
      {"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 2},
      {"s8.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_S8, 1},
      {"s8.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 2},
      {"i16.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2},
      {"i16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1},
  };
  constexpr int kFrames = 600;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool eightBit = (c.format & SF_FORMAT_SUBMASK) != SF_FORMAT_PCM_16;
    // Every 8-bit value, or 16-bit values to both ends of the range.
    std::vector<double> samples;
    std::vector<int16_t> expected;
    for (int i = 0; i < kFrames; ++i) {
      for (int ch = 0; ch < 2; ++ch) {
        const int v = eightBit ? (i * 7 + ch * 100) % 256 - 128 : (i * 2311 + ch * 977) % 65536 - 32768;
        const int16_t at16 = static_cast<int16_t>(eightBit ? v * 256 : v);
        if (ch < c.channels) samples.push_back(at16);  // Write() takes 16-bit units
        expected.push_back(ch < c.channels ? at16 : 0);
      }
    }
    ASSERT_EQ(Write(c.name, c.format, c.channels, 8000, samples), "");
    AudioFileReader r;
    ASSERT_TRUE(r.Open(path_)) << r.error();
    std::vector<int16_t> got(2 * kFrames, 1);
    ASSERT_EQ(r.ReadFrames(got.data(), 100), 100);
    ASSERT_EQ(r.ReadFrames(got.data() + 200, kFrames), kFrames - 100);
    EXPECT_EQ(got, expected);
    EXPECT_FALSE(r.shortRead());
  }
}

TEST_F(LibraryFile, SameSignalGivesTheSameFiguresInEveryFormat) {
  struct Case {
    const char* name;
    int format;
    const char* formatName;
  };
  const Case cases[] = {
      {"ref.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, "WAV, 16-bit integer"},
      {"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, "WAV, 8-bit integer"},
      {"i24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, "WAV, 24-bit integer"},
      {"i32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, "WAV, 32-bit integer"},
      {"f32.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, "WAV, 32-bit float"},
      {"f64.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, "WAV, 64-bit float"},
      {"ext24.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, "WAV, 24-bit integer"},
      {"extf32.wav", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, "WAV, 32-bit float"},
      {"i16.rf64", SF_FORMAT_RF64 | SF_FORMAT_PCM_16, "RF64, 16-bit integer"},
      {"i24.w64", SF_FORMAT_W64 | SF_FORMAT_PCM_24, "W64, 24-bit integer"},
      {"f32.w64", SF_FORMAT_W64 | SF_FORMAT_FLOAT, "W64, 32-bit float"},
      {"s8.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_S8, "FLAC, 8-bit integer"},
      {"i16.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "FLAC, 16-bit integer"},
      {"i24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, "FLAC, 24-bit integer"},
      {"s8.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, "AIFF, 8-bit integer"},
      {"i16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, "AIFF, 16-bit integer"},
      {"i24.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, "AIFF, 24-bit integer"},
      {"f32.aifc", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, "AIFF, 32-bit float"},
  };
  const std::vector<double> signal = CarrierInNoise(12000 * 6);
  Figures ref;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Write(c.name, c.format, 2, 12000, signal), "");
    AudioFileReader r;
    ASSERT_TRUE(r.Open(path_)) << r.error();
    EXPECT_EQ(r.formatName(), c.formatName);
    EXPECT_EQ(r.frames(), 12000 * 6);
    const Figures f = Measure(r);
    if (&c == &cases[0]) {
      // The carrier is there at all: 10 log10(1500^2 x 12000 / (2 x 2000^2)) = 35.3 dB.
      EXPECT_NEAR(f.sn1HzDb, 35.3, 1.0);
      ref = f;
      continue;
    }
    EXPECT_NEAR(f.sn1HzDb, ref.sn1HzDb, 0.05);
    EXPECT_NEAR(f.noiseDb, ref.noiseDb, 0.05);
    EXPECT_NEAR(f.signalDb, ref.signalDb, 0.05);
  }
}

TEST_F(LibraryFile, LossyEncodingsAndOtherChannelCountsAreRefusedWithTheReason) {
  struct Case {
    const char* name;
    int format;
    int channels;
    const char* reason;
  };
  const Case cases[] = {
      {"ima.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 2, "WAV holding IMA ADPCM: lossy"},
      {"ulaw.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW, 2, "WAV holding U-Law: lossy"},
      {"gsm.wav", SF_FORMAT_WAV | SF_FORMAT_GSM610, 1, "WAV holding GSM 6.10: lossy"},
      {"vorbis.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, "an Ogg file (Vorbis, Opus): lossy"},
      {"quad.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4, "4 channels: only mono or stereo"},
      {"three.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 3, "3 channels: only mono or stereo"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<double> silence(static_cast<size_t>(c.channels) * 8000, 100.0);
    ASSERT_EQ(Write(c.name, c.format, c.channels, 8000, silence), "");
    AudioFileReader r;
    EXPECT_FALSE(r.Open(path_));
    EXPECT_NE(r.error().find(c.reason), std::string::npos) << r.error();
  }
}

}  // namespace
}  // namespace corvane
