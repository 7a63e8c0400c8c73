#include "capture/block_convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "dsp/fft.h"

namespace {

using corvane::ConvertBlock;
using corvane::InputLevel;

constexpr int32_t kFrames = 1024;

std::vector<int16_t> RandomStereo(int32_t frames, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> u(-32768, 32767);
  std::vector<int16_t> s(2 * static_cast<size_t>(frames));
  for (auto& v : s) v = static_cast<int16_t>(u(rng));
  return s;
}

std::vector<float> Ramp(int32_t n) {
  std::vector<float> w(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) w[i] = 0.25f + static_cast<float>(i) / static_cast<float>(n);
  return w;
}

// Converts into a fresh array and returns both the array and the level.
struct Converted {
  std::vector<float> data;
  InputLevel level;
};

Converted Convert(const std::vector<int16_t>& s, const std::vector<float>& w, bool swap,
                  double previousDb = 0.0) {
  Converted c{std::vector<float>(Module1::kFFTDataSize, -1.0f), {}};
  c.level = ConvertBlock(s.data(), static_cast<int32_t>(w.size()), w.data(), swap, previousDb,
                         c.data.data());
  return c;
}

TEST(BlockConvert, WindowsBothChannelsAndNegatesImaginaryUnlessSwapped) {
  // Lengths that are and are not a multiple of the frames handled at once.
  for (const int32_t frames : {1, 3, 7, kFrames, kFrames + 3}) {
    const std::vector<int16_t> s = RandomStereo(frames, 7);
    const std::vector<float> w = Ramp(frames);
    const Converted plain = Convert(s, w, false);
    const Converted swapped = Convert(s, w, true);
    for (int32_t i = 0; i < frames; ++i) {
      const float re = static_cast<float>(s[2 * i]) * w[i];
      const float im = static_cast<float>(s[2 * i + 1]) * w[i];
      ASSERT_EQ(plain.data[2 * i + 1], re) << frames << " " << i;
      ASSERT_EQ(plain.data[2 * i + 2], -im) << frames << " " << i;
      ASSERT_EQ(swapped.data[2 * i + 1], re) << frames << " " << i;
      ASSERT_EQ(swapped.data[2 * i + 2], im) << frames << " " << i;
    }
    // Entry 0 and everything past the block stay as they were.
    EXPECT_EQ(plain.data[0], -1.0f);
    EXPECT_EQ(plain.data[2 * frames + 1], -1.0f);
    EXPECT_EQ(plain.data.back(), -1.0f);
  }
}

// With the FFT's positive exponent, a right channel lagging the left by a quarter period
// shows at its frequency with the box unchecked and mirrored (point N - f) with it checked.
class ConvertAndTransform : public ::testing::Test {
 protected:
  void SetUp() override {
    savedLen_ = Module1::FFTLen;
    Module1::FFTLen = kFrames;
  }
  void TearDown() override { Module1::FFTLen = savedLen_; }

  static std::vector<double> PowerSpectrum(const std::vector<int16_t>& s,
                                           const std::vector<float>& w, bool swap) {
    Converted c = Convert(s, w, swap);
    Module1::ComplexFFT(c.data.data());
    std::vector<double> p(kFrames);
    for (int32_t k = 0; k < kFrames; ++k) {
      const double re = c.data[2 * k + 1];
      const double im = c.data[2 * k + 2];
      p[k] = re * re + im * im;
    }
    return p;
  }

 private:
  int32_t savedLen_ = 0;
};

TEST_F(ConvertAndTransform, QuadratureInputFallsInTheSidebandTheBoxChooses) {
  constexpr int bin = 37;
  std::vector<int16_t> s(2 * kFrames);
  for (int32_t i = 0; i < kFrames; ++i) {
    const double ph = 2.0 * 3.14159265358979 * bin * i / kFrames;
    s[2 * i] = static_cast<int16_t>(std::lround(8000.0 * std::cos(ph)));
    s[2 * i + 1] = static_cast<int16_t>(std::lround(8000.0 * std::cos(ph - 1.5707963267949)));
  }
  const std::vector<float> flat(kFrames, 0.5f);
  const auto unchecked = PowerSpectrum(s, flat, false);
  const auto checked = PowerSpectrum(s, flat, true);
  const auto strongest = [](const std::vector<double>& p) {
    return std::max_element(p.begin(), p.end()) - p.begin();
  };
  EXPECT_EQ(strongest(unchecked), bin);
  EXPECT_EQ(strongest(checked), kFrames - bin);
  EXPECT_GT(unchecked[bin], 1e6 * unchecked[kFrames - bin]);
}

TEST_F(ConvertAndTransform, MonoBlockGivesTheSamePowerSpectrumEitherWay) {
  std::vector<int16_t> s = RandomStereo(kFrames, 11);
  for (int32_t i = 0; i < kFrames; ++i) s[2 * i + 1] = 0;
  const std::vector<float> w = Ramp(kFrames);
  EXPECT_EQ(PowerSpectrum(s, w, false), PowerSpectrum(s, w, true));
}

TEST_F(ConvertAndTransform, EmptyWindowTableGivesAllZeroSpectrum) {
  // No window chosen before the first start: the table is still all zeros.
  const std::vector<int16_t> s = RandomStereo(kFrames, 13);
  const std::vector<float> zeros(kFrames, 0.0f);
  for (const double p : PowerSpectrum(s, zeros, false)) ASSERT_EQ(p, 0.0);
}

TEST(BlockConvert, MeterTurnsRedOnlyAboveTenThousand) {
  const std::vector<float> w(kFrames, 1.0f);
  std::vector<int16_t> s(2 * kFrames, 100);

  s[501] = 10000;
  InputLevel level = Convert(s, w, false).level;
  EXPECT_EQ(level.peak, 10000);
  EXPECT_FALSE(level.red);
  EXPECT_NEAR(level.levelDb, 50.0, 1e-6);  // full scale of the meter

  s[501] = 10001;
  level = Convert(s, w, false).level;
  EXPECT_EQ(level.peak, 10001);
  EXPECT_TRUE(level.red);

  // A negative sample counts by its magnitude, in either channel.
  s[501] = 100;
  s[800] = -10001;
  level = Convert(s, w, false).level;
  EXPECT_EQ(level.peak, 10001);
  EXPECT_TRUE(level.red);
}

TEST(BlockConvert, PeakIsTheLargestMagnitude) {
  const std::vector<float> w(kFrames, 1.0f);
  std::vector<int16_t> s(2 * kFrames, -3);
  s[10] = -200;
  EXPECT_EQ(Convert(s, w, false).level.peak, 200);  // only negative samples

  std::fill(s.begin(), s.end(), int16_t{5});
  s[21] = 300;
  EXPECT_EQ(Convert(s, w, false).level.peak, 300);  // only positive samples

  s[22] = -32768;
  const InputLevel extreme = Convert(s, w, false).level;
  EXPECT_EQ(extreme.peak, 32768);
  EXPECT_NEAR(extreme.levelDb, 20.0 * std::log10(32768.0) - 30.0, 1e-6);

  // Larger positive than negative: the positive one stands.
  s[22] = -299;
  EXPECT_EQ(Convert(s, w, false).level.peak, 300);
}

TEST(BlockConvert, EveryFrameCountsForThePeak) {
  // Odd lengths too, with the extreme in the first, a middle and the last frame.
  for (const int32_t frames : {1, 5, kFrames + 3}) {
    const std::vector<float> w(static_cast<size_t>(frames), 1.0f);
    for (const int32_t at : {0, frames / 2, 2 * frames - 1}) {
      std::vector<int16_t> s(2 * static_cast<size_t>(frames), int16_t{-7});
      s[at] = -12345;
      EXPECT_EQ(Convert(s, w, false).level.peak, 12345) << frames << " " << at;
      s[at] = 23456;
      EXPECT_EQ(Convert(s, w, false).level.peak, 23456) << frames << " " << at;
    }
  }
}

TEST(BlockConvert, SilenceKeepsThePreviousLevel) {
  const std::vector<float> w(kFrames, 1.0f);
  const std::vector<int16_t> silence(2 * kFrames, 0);
  const InputLevel level = Convert(silence, w, false, 42.5).level;
  EXPECT_EQ(level.peak, 0);
  EXPECT_FALSE(level.red);
  EXPECT_EQ(level.levelDb, 42.5);

  std::vector<int16_t> loud = silence;
  loud[3] = 1000;
  EXPECT_NEAR(Convert(loud, w, false, 42.5).level.levelDb, 30.0, 1e-6);
}

}  // namespace
