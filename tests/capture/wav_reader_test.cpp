#include "capture/wav_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

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

std::vector<int16_t> ReadAllFrames(WavReader& r) {
  std::vector<int16_t> out(static_cast<size_t>(r.frames()) * 2 + 8, 12345);
  const int64_t n = r.ReadFrames(out.data(), r.frames() + 4);
  out.resize(static_cast<size_t>(n) * 2);
  return out;
}

TEST(WavReader, StereoFramesAsStoredAtAnyRate) {
  const std::vector<int16_t> s = {1, -1, 32767, -32768, 300, -400};
  for (uint32_t rate : {8000u, 11025u, 12000u, 44100u, 48000u, 192000u}) {
    const Bytes b = Simple(2, rate, s);
    WavReader r;
    ASSERT_TRUE(r.OpenBytes(b.data(), b.size())) << r.error();
    EXPECT_EQ(r.sampleRate(), static_cast<int>(rate));
    EXPECT_EQ(r.channels(), 2);
    EXPECT_EQ(r.frames(), 3);
    EXPECT_FALSE(r.truncated());
    EXPECT_EQ(ReadAllFrames(r), s);
  }
}

TEST(WavReader, MonoGoesLeftWithSilentRight) {
  const Bytes b = Simple(1, 22050, {5, -7, 32767});
  WavReader r;
  ASSERT_TRUE(r.OpenBytes(b.data(), b.size())) << r.error();
  EXPECT_EQ(r.channels(), 1);
  EXPECT_EQ(ReadAllFrames(r), (std::vector<int16_t>{5, 0, -7, 0, 32767, 0}));
}

TEST(WavReader, ChunksInAnyOrderWithOddPadding) {
  Bytes c;
  Chunk(c, "LIST", {'a', 'b', 'c'});  // odd size: one pad byte follows
  Chunk(c, "data", Samples({10, 20, 30, 40}));
  Chunk(c, "junk", {1});
  Chunk(c, "fmt ", Fmt(1, 2, 16000, 16));
  const Bytes b = Riff(c);
  WavReader r;
  ASSERT_TRUE(r.OpenBytes(b.data(), b.size())) << r.error();
  EXPECT_EQ(r.sampleRate(), 16000);
  EXPECT_EQ(ReadAllFrames(r), (std::vector<int16_t>{10, 20, 30, 40}));
}

TEST(WavReader, LongFormatChunkAndExtensiblePcm) {
  Bytes f = Fmt(1, 1, 8000, 16);
  Le(f, 0, 2);  // 18-byte PCM format chunk with cbSize 0
  Bytes c;
  Chunk(c, "fmt ", f);
  Chunk(c, "data", Samples({1, 2}));
  Bytes b = Riff(c);
  WavReader r;
  EXPECT_TRUE(r.OpenBytes(b.data(), b.size())) << r.error();

  c.clear();
  Chunk(c, "fmt ", Extensible(2, 48000, true));
  Chunk(c, "data", Samples({1, 2}));
  b = Riff(c);
  ASSERT_TRUE(r.OpenBytes(b.data(), b.size())) << r.error();
  EXPECT_EQ(r.channels(), 2);
  EXPECT_EQ(r.frames(), 1);

  c.clear();
  Chunk(c, "fmt ", Extensible(2, 48000, false));
  Chunk(c, "data", Samples({1, 2}));
  b = Riff(c);
  EXPECT_FALSE(r.OpenBytes(b.data(), b.size()));
  EXPECT_NE(r.error().find("not PCM"), std::string::npos) << r.error();
}

void ExpectRefused(const Bytes& b, const std::string& reasonPart) {
  WavReader r;
  EXPECT_FALSE(r.OpenBytes(b.data(), b.size()));
  EXPECT_FALSE(r.isOpen());
  EXPECT_NE(r.error().find(reasonPart), std::string::npos)
      << "reason was: " << r.error() << ", expected: " << reasonPart;
}

TEST(WavReader, RefusesWhatItCannotRead) {
  ExpectRefused({}, "not a WAV file");
  ExpectRefused({'R', 'I', 'F', 'F', 0, 0}, "not a WAV file");
  Bytes notRiff = Simple(2, 8000, {1, 2});
  notRiff[0] = 'X';
  ExpectRefused(notRiff, "not a WAV file");

  auto withFmt = [](const Bytes& fmt) {
    Bytes c;
    Chunk(c, "fmt ", fmt);
    Chunk(c, "data", Samples({1, 2, 3, 4}));
    return Riff(c);
  };
  ExpectRefused(withFmt(Fmt(3, 2, 8000, 32)), "not PCM (format tag 0x0003)");
  ExpectRefused(withFmt(Fmt(1, 2, 8000, 8)), "8-bit");
  ExpectRefused(withFmt(Fmt(1, 2, 8000, 24)), "24-bit");
  ExpectRefused(withFmt(Fmt(1, 3, 8000, 16)), "3 channels");
  ExpectRefused(withFmt(Fmt(1, 0, 8000, 16)), "0 channels");
  ExpectRefused(withFmt(Fmt(1, 2, 0, 16)), "sample rate");
  Bytes badAlign = Fmt(1, 2, 8000, 16);
  badAlign[12] = 2;
  ExpectRefused(withFmt(badAlign), "block alignment");
  Bytes shortFmt = Fmt(1, 2, 8000, 16);
  shortFmt.resize(14);
  ExpectRefused(withFmt(shortFmt), "format chunk too short");

  Bytes noData;
  Chunk(noData, "fmt ", Fmt(1, 2, 8000, 16));
  ExpectRefused(Riff(noData), "no data chunk");
  Bytes noFmt;
  Chunk(noFmt, "data", Samples({1, 2}));
  ExpectRefused(Riff(noFmt), "no format chunk");

  // Header cut inside the format chunk.
  Bytes cut = Simple(2, 8000, {1, 2});
  cut.resize(12 + 8 + 10);
  ExpectRefused(cut, "format chunk cut short");
}

TEST(WavReader, DataChunkBeyondTheFileKeepsTheFramesPresent) {
  Bytes c;
  Chunk(c, "fmt ", Fmt(1, 2, 8000, 16));
  Chunk(c, "data", Samples({1, 2, 3, 4, 5}), 400);  // declares 100 frames; 2.5 present
  const Bytes b = Riff(c);
  WavReader r;
  ASSERT_TRUE(r.OpenBytes(b.data(), b.size())) << r.error();
  EXPECT_TRUE(r.truncated());
  EXPECT_EQ(r.declaredFrames(), 100);
  EXPECT_EQ(r.frames(), 2);  // the partial third frame is not read
  EXPECT_EQ(ReadAllFrames(r), (std::vector<int16_t>{1, 2, 3, 4}));
  EXPECT_FALSE(r.shortRead());
}

TEST(WavReader, ReadsInPiecesAndRewinds) {
  std::vector<int16_t> s(2 * 10000);
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(i * 7);
  const Bytes b = Simple(2, 12000, s);
  WavReader r;
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

class WavReaderFile : public ::testing::Test {
 protected:
  std::string Write(const Bytes& b) {
    std::ofstream(path_, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    return path_.string();
  }
  void TearDown() override { std::filesystem::remove(path_); }
  std::filesystem::path path_ = std::filesystem::temp_directory_path() /
                                ("wav_reader_test_" + std::to_string(::getpid()) + ".wav");
};

TEST_F(WavReaderFile, MissingFileNamesTheReason) {
  WavReader r;
  EXPECT_FALSE(r.Open("/nonexistent/dir/x.wav"));
  EXPECT_NE(r.error().find("No such file"), std::string::npos) << r.error();
}

TEST_F(WavReaderFile, FileThatShrinksWhileReadStopsShort) {
  std::vector<int16_t> s(2 * 4000, 9);
  const std::string path = Write(Simple(2, 8000, s));
  WavReader r;
  ASSERT_TRUE(r.Open(path)) << r.error();
  std::vector<int16_t> buf(2 * 4000);
  EXPECT_EQ(r.ReadFrames(buf.data(), 1000), 1000);
  std::filesystem::resize_file(path, 44 + 4 * 1500);
  EXPECT_EQ(r.ReadFrames(buf.data(), 1000), 500);
  EXPECT_TRUE(r.shortRead());
  EXPECT_EQ(r.ReadFrames(buf.data(), 1000), 0);
}

TEST_F(WavReaderFile, ReadAllGivesSamplesAsStoredAndRefusesTruncation) {
  std::vector<int16_t> samples;
  int rate = 0, channels = 0;
  std::string error;
  ASSERT_TRUE(WavReader::ReadAll(Write(Simple(1, 22050, {3, 4, 5})), &samples, &rate,
                                 &channels, &error))
      << error;
  EXPECT_EQ(samples, (std::vector<int16_t>{3, 4, 5}));
  EXPECT_EQ(rate, 22050);
  EXPECT_EQ(channels, 1);

  Bytes c;
  Chunk(c, "fmt ", Fmt(1, 1, 8000, 16));
  Chunk(c, "data", Samples({1, 2}), 100);
  EXPECT_FALSE(WavReader::ReadAll(Write(Riff(c)), &samples, &rate, &channels, &error));
  EXPECT_NE(error.find("truncated"), std::string::npos) << error;
}

// Every prefix and many random corruptions of a valid file: the reader either refuses
// with a reason or reads at most the frames it announced (ASan watches the bounds).
TEST(WavReader, SurvivesCutAndCorruptedInput) {
  Bytes c;
  Chunk(c, "LIST", {'x'});
  Chunk(c, "fmt ", Extensible(2, 8000, true));
  Chunk(c, "data", Samples(std::vector<int16_t>(64, 3)));
  const Bytes good = Riff(c);
  std::mt19937 rng(7);
  std::vector<int16_t> buf(2 * 200);
  auto probe = [&](const Bytes& b) {
    WavReader r;
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

}  // namespace
}  // namespace corvane
