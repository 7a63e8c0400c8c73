#include "dsp/fft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/fft_detail.h"

namespace {

using Module1::ComplexFFT;
using Module1::FFTLen;
using Module1::kFFTDataSize;
using Module1::kWinTableSize;
using Module1::WinTable;

// The transform as first written, one twiddle at a time over the whole array: the
// optimised ComplexFFT must reproduce its every bit.
void ReferenceFFT(float* d, int32_t points) {
  const int32_t n = 2 * points;
  int32_t j = 1;
  for (int32_t i = 1; i <= n; i += 2) {
    if (j > i) {
      std::swap(d[j], d[i]);
      std::swap(d[j + 1], d[i + 1]);
    }
    int32_t m = n / 2;
    while (m >= 2 && j > m) {
      j -= m;
      m /= 2;
    }
    j += m;
  }
  int32_t mmax = 2;
  while (n > mmax) {
    const int32_t istep = 2 * mmax;
    const double theta = 6.28318530717958 / mmax;
    const double wpr = std::cos(theta);
    const double wpi = std::sin(theta);
    double wr = 1.0;
    double wi = 0.0;
    for (int32_t m = 1; m <= mmax; m += 2) {
      for (int32_t i = m; i <= n; i += istep) {
        j = i + mmax;
        const double tempr = wr * d[j] - wi * d[j + 1];
        const double tempi = wr * d[j + 1] + wi * d[j];
        d[j] = static_cast<float>(d[i] - tempr);
        d[j + 1] = static_cast<float>(d[i + 1] - tempi);
        d[i] = static_cast<float>(d[i] + tempr);
        d[i + 1] = static_cast<float>(d[i + 1] + tempi);
      }
      const double wtemp = wr;
      wr = wr * wpr - wi * wpi;
      wi = wi * wpr + wtemp * wpi;
    }
    mmax = istep;
  }
}

// Module1 state is program-wide: every test leaves it as it found it.
class ModuleStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedLen_ = FFTLen;
    savedTable_.assign(WinTable, WinTable + kWinTableSize);
  }
  void TearDown() override {
    FFTLen = savedLen_;
    std::copy(savedTable_.begin(), savedTable_.end(), WinTable);
  }

 private:
  int32_t savedLen_ = 0;
  std::vector<float> savedTable_;
};

using FftTest = ModuleStateTest;
using WindowTest = ModuleStateTest;

std::complex<double> Point(const std::vector<float>& d, int32_t k) {
  return {d[2 * k + 1], d[2 * k + 2]};
}

void SetPoint(std::vector<float>& d, int32_t k, std::complex<double> v) {
  d[2 * k + 1] = static_cast<float>(v.real());
  d[2 * k + 2] = static_cast<float>(v.imag());
}

std::vector<float> RandomBlock(int32_t points, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  std::vector<float> d(kFFTDataSize, 0.0f);
  for (int32_t i = 1; i <= 2 * points; ++i) d[i] = u(rng);
  return d;
}

TEST_F(FftTest, MatchesDirectDftWithPositiveExponentAndNoScaling) {
  constexpr int32_t N = 1024;
  FFTLen = N;
  std::vector<float> d = RandomBlock(N, 1);
  const std::vector<float> input = d;
  ComplexFFT(d.data());

  double worst = 0.0;
  double energy = 0.0;
  for (int32_t k = 0; k < N; ++k) {
    std::complex<double> sum = 0.0;
    for (int32_t m = 0; m < N; ++m) {
      const double arg = 2.0 * std::numbers::pi * static_cast<double>((int64_t{m} * k) % N) / N;
      sum += Point(input, m) * std::polar(1.0, arg);
    }
    worst = std::max(worst, std::abs(Point(d, k) - sum));
    energy += std::norm(sum);
  }
  const double rms = std::sqrt(energy / N);
  // Single precision over log2(1024) = 10 stages: a few units of 2^-24 per stage.
  EXPECT_LT(worst, 1e-5 * rms) << "rms " << rms;
  EXPECT_GT(rms, 10.0);  // the input really was transformed, not zeroed
}

TEST_F(FftTest, ConstantHalfGivesOnlyDcOfHalfN) {
  constexpr int32_t N = 1024;
  FFTLen = N;
  std::vector<float> d(kFFTDataSize, 0.0f);
  for (int32_t k = 0; k < N; ++k) SetPoint(d, k, {0.5, 0.0});
  ComplexFFT(d.data());
  EXPECT_FLOAT_EQ(d[1], 512.0f);
  EXPECT_FLOAT_EQ(d[2], 0.0f);
  for (int32_t k = 1; k < N; ++k) {
    ASSERT_NEAR(std::abs(Point(d, k)), 0.0, 1e-4) << "point " << k;
  }
}

TEST_F(FftTest, ComplexExponentialsLandOnTheirBin) {
  constexpr int32_t N = 1024;
  FFTLen = N;
  for (const int sign : {-1, +1}) {
    std::vector<float> d(kFFTDataSize, 0.0f);
    for (int32_t m = 0; m < N; ++m) {
      SetPoint(d, m, std::polar(1.0, sign * 2.0 * std::numbers::pi * 5.0 * m / N));
    }
    ComplexFFT(d.data());
    // e^(-j..5m) cancels the positive exponent at k = 5; e^(+j..5m) at k = N - 5.
    const int32_t hit = sign < 0 ? 5 : N - 5;
    for (int32_t k = 0; k < N; ++k) {
      const std::complex<double> expected = k == hit ? std::complex<double>(N, 0.0) : 0.0;
      ASSERT_NEAR(std::abs(Point(d, k) - expected), 0.0, 2e-3) << "sign " << sign << " point " << k;
    }
  }
}

TEST_F(FftTest, TouchesOnlyEntriesOneToTwoN) {
  constexpr int32_t N = 1024;
  FFTLen = N;
  std::vector<float> d = RandomBlock(N, 2);
  d[0] = 123.0f;
  for (int32_t i = 2 * N + 1; i < kFFTDataSize; ++i) d[i] = static_cast<float>(i);
  ComplexFFT(d.data());
  EXPECT_EQ(d[0], 123.0f);
  for (int32_t i = 2 * N + 1; i < kFFTDataSize; ++i) {
    ASSERT_EQ(d[i], static_cast<float>(i)) << "entry " << i;
  }
}

TEST_F(FftTest, InvalidLengthLeavesDataAlone) {
  for (const int32_t len : {0, 1, -1024, 3, 1000, 1025, 65536, Module1::kMaxFFTLen * 2}) {
    FFTLen = len;
    std::vector<float> d = RandomBlock(1024, 3);
    const std::vector<float> before = d;
    ComplexFFT(d.data());
    EXPECT_EQ(d, before) << "FFTLen " << len;
  }
}

TEST_F(FftTest, SmallestLengthIsTheTwoPointSumAndDifference) {
  FFTLen = 2;
  std::vector<float> d(kFFTDataSize, 0.0f);
  SetPoint(d, 0, {1.0, 2.0});
  SetPoint(d, 1, {3.0, -5.0});
  ComplexFFT(d.data());
  EXPECT_EQ(Point(d, 0), std::complex<double>(4.0, -3.0));
  EXPECT_EQ(Point(d, 1), std::complex<double>(-2.0, 7.0));
}

// Bit for bit against the plain algorithm, over every length the FFT accepts, with the
// vector kernels and with the portable ones.
TEST_F(FftTest, IdenticalBitsToPlainAlgorithmAtEveryLength) {
  for (const bool vector : {true, false}) {
    Module1::detail::AllowVectorPath(vector);
    for (int32_t n = 2; n <= Module1::kMaxFFTLen; n *= 2) {
      FFTLen = n;
      std::vector<float> d = RandomBlock(n, static_cast<unsigned>(n));
      // Integer-valued windowed samples as the block loop produces them, plus exact zeros.
      for (int32_t i = 1; i <= 2 * n; i += 7) d[i] = std::round(d[i] * 30000.0f) * 0.42323f;
      for (int32_t i = 3; i <= 2 * n; i += 11) d[i] = 0.0f;
      std::vector<float> expected = d;
      ReferenceFFT(expected.data(), n);
      ComplexFFT(d.data());
      ASSERT_EQ(0, std::memcmp(d.data(), expected.data(), d.size() * sizeof(float)))
          << "FFTLen " << n << (vector ? " vector" : " portable");
    }
  }
  Module1::detail::AllowVectorPath(true);
}

TEST_F(WindowTest, HammingAtEightPoints) {
  FFTLen = 8;
  Module1::MakeHammingWindow();
  EXPECT_FLOAT_EQ(WinTable[0], 0.08f);
  EXPECT_FLOAT_EQ(WinTable[4], 1.0f);
  EXPECT_FLOAT_EQ(WinTable[2], 0.54f);
  EXPECT_FLOAT_EQ(WinTable[6], 0.54f);
  // Periodic: symmetric about N/2, so w(1) = w(7), w(3) = w(5).
  EXPECT_FLOAT_EQ(WinTable[1], WinTable[7]);
  EXPECT_FLOAT_EQ(WinTable[3], WinTable[5]);
}

TEST_F(WindowTest, EachRoutineFollowsItsFormulaAndLeavesTheRestOfTheTable) {
  constexpr int32_t N = 1024;
  struct Case {
    int index;
    double (*w)(double);
  };
  const Case cases[] = {
      {0, [](double x) { return 0.54 - 0.46 * std::cos(x); }},
      {1, [](double x) { return 0.42323 - 0.49755 * std::cos(x) + 0.07922 * std::cos(2 * x); }},
      {2, [](double x) { return 0.5 - 0.5 * std::cos(x); }},
      {3, [](double) { return 0.5; }},
  };
  for (const Case& c : cases) {
    FFTLen = N;
    std::fill(WinTable, WinTable + kWinTableSize, -7.0f);
    Module1::MakeWindow(c.index);
    for (int32_t i = 0; i < N; ++i) {
      const float want = static_cast<float>(c.w(i * 6.28318530717958 / N));
      ASSERT_EQ(WinTable[i], want) << "window " << c.index << " i " << i;
    }
    for (int32_t i = N; i < kWinTableSize; ++i) {
      ASSERT_EQ(WinTable[i], -7.0f) << "window " << c.index << " i " << i;
    }
  }
}

TEST_F(WindowTest, MeansAreNearOneHalf) {
  FFTLen = 4096;
  const double means[] = {0.54, 0.42323, 0.5, 0.5};
  for (int index = 0; index < 4; ++index) {
    Module1::MakeWindow(index);
    double sum = 0.0;
    for (int32_t i = 0; i < FFTLen; ++i) sum += WinTable[i];
    EXPECT_NEAR(sum / FFTLen, means[index], 1e-6) << "window " << index;
  }
}

TEST_F(WindowTest, UnknownListIndexBuildsNothing) {
  FFTLen = 1024;
  for (int32_t i = 0; i < kWinTableSize; ++i) WinTable[i] = static_cast<float>(i % 97);
  const std::vector<float> before(WinTable, WinTable + kWinTableSize);
  for (const int index : {-1, 4, 100}) {
    Module1::MakeWindow(index);
    ASSERT_TRUE(std::equal(before.begin(), before.end(), WinTable)) << "index " << index;
  }
}

}  // namespace
