#include "measure/calibrated_estimator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/fft.h"

namespace corvane {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr const char* kWindows[] = {"Hamming", "Blackman Harris", "Hanning", "No Window"};

// Windowed complex tone at x bins, as ConvertBlock and ComplexFFT leave it: amplitude a per
// channel for I/Q (L = a cos, R = a sin), or a real cosine on the left channel for mono.
std::vector<float> ToneBlock(int32_t n, double x, double a, InputKind input, double noise = 0,
                             uint32_t seed = 1) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> g(0, noise > 0 ? noise : 1);
  std::vector<float> d(Module1::kFFTDataSize, 0.0f);
  for (int32_t i = 0; i < n; ++i) {
    const double phase = 2 * kPi * x * i / n;
    const double w = Module1::WinTable[i];
    const double nl = noise > 0 ? g(rng) : 0, nr = noise > 0 ? g(rng) : 0;
    const double left = a * std::cos(phase) + nl;
    const double right = input == InputKind::IQ ? a * std::sin(phase) + nr : 0.0;
    d[2 * i + 1] = static_cast<float>(left * w);
    d[2 * i + 2] = static_cast<float>(-right * w);
  }
  Module1::ComplexFFT(d.data());
  return d;
}

BlockMarks Band(int first, int last, double sigBwBins, float guard) {
  BlockMarks m;
  m.BandFirst = first;
  m.BandLast = last;
  m.MarkSigBWBins = sigBwBins;
  m.GuardBand = guard;
  return m;
}

RunSettings Settings(double rate, int32_t n, InputKind input = InputKind::IQ) {
  RunSettings s;
  s.sampleRate = rate;
  s.fftLen = n;
  s.window = Module1::WinTable;
  s.input = input;
  return s;
}

class WindowKernelTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    Module1::FFTLen = 1024;
    Module1::MakeWindow(GetParam());
  }
};

TEST_P(WindowKernelTest, ResponseIsTheTransformOfTheWindowedTone) {
  const int32_t n = 1024;
  const WindowKernel k(Module1::WinTable, n);
  ASSERT_TRUE(k.valid());
  EXPECT_NEAR(k.ModelShare(), 1.0, 1e-9) << kWindows[GetParam()];
  for (double x : {100.0, 100.3, 100.5, 371.77}) {
    const std::vector<float> d = ToneBlock(n, x, 1.0, InputKind::IQ);
    for (int bin = static_cast<int>(x) - 8; bin <= static_cast<int>(x) + 8; ++bin) {
      const std::complex<double> fft(d[2 * bin + 1], d[2 * bin + 2]);
      EXPECT_LT(std::abs(fft - k.Response(bin - x)), 1e-4 * k.Sum())
          << kWindows[GetParam()] << " x " << x << " bin " << bin;
    }
    // The shares of all n bins, near ones exact and far ones by the edge term, make the whole.
    const auto first = static_cast<int64_t>(std::floor(x)) - n / 2 + 1;
    EXPECT_NEAR(k.PowerShareSum(first, first + n - 1, x), 1.0, 1e-5)
        << kWindows[GetParam()] << " x " << x;
  }
}

TEST_P(WindowKernelTest, ThreeBinRatioMapsBackToTheOffset) {
  const WindowKernel k(Module1::WinTable, 1024);
  EXPECT_GE(k.MaxOffset(), 0.75) << kWindows[GetParam()];
  for (double delta : {-0.5, -0.37, -0.1, 0.0, 0.02, 0.25, 0.49}) {
    EXPECT_NEAR(k.OffsetFromRatio(k.OffsetRatio(delta)), delta, 1e-5)
        << kWindows[GetParam()] << " delta " << delta;
  }
}

INSTANTIATE_TEST_SUITE_P(Windows, WindowKernelTest, ::testing::Values(0, 1, 2, 3));

TEST(WindowKernel, NoiseBandwidthOfTheFourWindows) {
  const double expected[] = {1.3628, 1.7085, 1.5, 1.0};
  for (int w = 0; w < 4; ++w) {
    Module1::FFTLen = 8192;
    Module1::MakeWindow(w);
    EXPECT_NEAR(WindowKernel(Module1::WinTable, 8192).NoiseBandwidthBins(), expected[w], 1e-4)
        << kWindows[w];
  }
}

TEST(DetectionThreshold, TailOfTheAveragedNoiseIsTheGammaTail) {
  // One spectrum: an exponential tail; two: e^-2y (1 + 2y) with y the level.
  EXPECT_NEAR(DetectionThreshold::NoiseExceeds(1, 3.0), std::exp(-3.0), 1e-15);
  EXPECT_NEAR(DetectionThreshold::NoiseExceeds(2, 3.0), std::exp(-6.0) * 7, 1e-15);
  EXPECT_NEAR(DetectionThreshold::NoiseExceeds(50, 1.0), 0.48119168, 1e-8);  // below the mean
  struct Case {
    int spectra;
    int64_t bins;
    double falseAlarm;
  };
  for (const Case c : {Case{1, 1, 0.01}, Case{16, 3000, 1e-3}, Case{937, 102, 1e-3},
                       Case{5, 14000, 1e-3}}) {
    const double level = DetectionThreshold::Compute(c.spectra, c.bins, c.falseAlarm);
    const double perBin = 1 - std::pow(1 - c.falseAlarm, 1.0 / static_cast<double>(c.bins));
    EXPECT_NEAR(DetectionThreshold::NoiseExceeds(c.spectra, level) / perBin, 1.0, 1e-6)
        << c.spectra << " spectra, " << c.bins << " bins";
    EXPECT_GT(level, 1.0);
  }
}

TEST(BandAverage, MeanOfTheLastRowsLeavesNothingOfOlderOnes) {
  // Three rows averaged; rows of a strong carrier pass through and leave: the mean must then
  // be that of the weak rows alone, to float precision of the weak values.
  const int32_t n = 64;
  BandAverage avg;
  avg.Reset(n, 4, 20, 3);
  std::vector<float> d(Module1::kFFTDataSize, 0.0f);
  std::vector<std::vector<float>> rows;
  for (int b = 0; b < 11; ++b) {
    const float level = (b >= 3 && b < 6) ? 1e6f : 1.0f + 0.1f * static_cast<float>(b);
    for (int k = 0; k < n; ++k) {
      d[2 * k + 1] = level * static_cast<float>(k % 5 + 1);
      d[2 * k + 2] = -level * 0.5f;
    }
    avg.Add(d.data(), b + 1.0);
    rows.push_back(d);
    const int count = std::min(b + 1, 3);
    ASSERT_EQ(avg.count(), count);
    for (int k = 4; k <= 20; ++k) {
      double p = 0, c = 0;
      for (int r = b + 1 - count; r <= b; ++r) {
        const std::vector<float>& x = rows[r];
        p += static_cast<double>(x[2 * k + 1]) * x[2 * k + 1] + x[2 * k + 2] * x[2 * k + 2];
        c += static_cast<double>(x[2 * k + 3]) * x[2 * k + 1] + x[2 * k + 4] * x[2 * k + 2];
      }
      EXPECT_NEAR(avg.Power(k), p / count, 1e-5 * p / count) << "block " << b << " bin " << k;
      if (k < 20) {
        EXPECT_NEAR(avg.Cross(k), c / count, 1e-5 * p / count) << "block " << b << " bin " << k;
      }
    }
    EXPECT_DOUBLE_EQ(avg.OldestEnd(), b + 2.0 - count);
  }
}

TEST(DriftFit, SlopeOverTheSpanFromTimesNotCounts) {
  DriftFit fit(60);
  // 0.05 Hz/s with points missing (dropped blocks) and one far outside the span.
  fit.Add(0, 999.0);
  for (int i = 0; i < 100; ++i) {
    if (i % 7 == 3) continue;
    const double t = 100 + 0.7 * i;
    fit.Add(t, 1000 + 0.05 * t);
    fit.Prune(t);
  }
  const auto slope = fit.Fit();
  ASSERT_TRUE(slope.has_value());
  EXPECT_NEAR(slope->hzPerS, 0.05, 1e-9);
  EXPECT_LE(slope->spanS, 60);
  EXPECT_GT(slope->spanS, 58);

  // Less than half the span covered: no slope yet. A clock that goes back starts afresh.
  DriftFit fresh(60);
  for (int i = 0; i < 20; ++i) fresh.Add(i, 5.0 * i);
  EXPECT_FALSE(fresh.Fit().has_value());
  for (int i = 20; i <= 40; ++i) fresh.Add(i, 5.0 * i);
  ASSERT_TRUE(fresh.Fit().has_value());
  fresh.Add(3, 0);
  EXPECT_FALSE(fresh.Fit().has_value());
}

TEST(CalibratedEstimator, SubBinFrequencyOfEveryWindow) {
  const double rate = 12000;
  const int32_t n = 1024;
  for (int w = 0; w < 4; ++w) {
    Module1::FFTLen = n;
    Module1::MakeWindow(w);
    for (double x : {85.0, 85.13, 85.5, 85.81}) {
      CalibratedEstimator e;
      e.StartRun(Settings(rate, n));
      e.ProcessBlock(ToneBlock(n, x, 10000, InputKind::IQ, 1, 7).data(), Band(2, 400, 9, 0.5f),
                     n / rate);
      const CalibratedFigures& f = e.Latest();
      ASSERT_TRUE(f.detected) << kWindows[w] << " x " << x;
      EXPECT_NEAR(*f.freqHz * n / rate, x, 2e-4) << kWindows[w];
    }
  }
}

TEST(CalibratedEstimator, FullScaleSineReadsZeroDbfs) {
  // A full-scale sine on the input, I/Q and mono, with a weak noise floor under it.
  const double rate = 8000;
  const int32_t n = 4096;
  Module1::FFTLen = n;
  Module1::MakeWindow(1);
  for (InputKind input : {InputKind::IQ, InputKind::Mono}) {
    for (double x : {500.0, 700.5}) {
      CalibratedEstimator e;
      e.StartRun(Settings(rate, n, input));
      e.ProcessBlock(ToneBlock(n, x, kFullScale, input, 3, 11).data(), Band(3, 1800, 51, 0.5f),
                     n / rate);
      const CalibratedFigures& f = e.Latest();
      ASSERT_TRUE(f.signalDbfs.has_value());
      EXPECT_NEAR(*f.signalDbfs, 0.0, 0.01) << (input == InputKind::IQ ? "I/Q" : "mono") << x;
      EXPECT_NEAR(*f.cn0DbHz, *f.signalDbfs - *f.noiseDbfsHz, 1e-9);
    }
  }
}

TEST(CalibratedEstimator, RecordsCarryTheLatestBlockAndItsAge) {
  const double rate = 8000;
  const int32_t n = 32768;  // blocks of 4.096 s: several records per block
  Module1::FFTLen = n;
  Module1::MakeWindow(1);
  CalibratedEstimator e;
  e.StartRun(Settings(rate, n));

  DataRecord row;
  row.freqHz = 1;  // stale values must not survive
  e.FillRecord(row, 1);
  EXPECT_FALSE(row.freqHz || row.cn0DbHz || row.detected || row.noiseDbfsHz || row.ageS);

  e.ProcessBlock(ToneBlock(n, 4096.25, 2000, InputKind::IQ, 1000, 3).data(),
                 Band(82, 14746, 410, 0.5f), 4.096);
  e.FillRecord(row, 5);
  ASSERT_TRUE(row.detected.value_or(false));
  const DataRecord first = row;
  for (int t = 6; t <= 8; ++t) {
    e.FillRecord(row, t);
    EXPECT_EQ(row.freqHz, first.freqHz);
    EXPECT_EQ(row.cn0DbHz, first.cn0DbHz);
    ASSERT_TRUE(row.ageS.has_value());
    EXPECT_NEAR(*row.ageS, t - 4.096, 1e-12);
  }
  EXPECT_FALSE(row.driftHzS.has_value());  // one point is no slope

  // Digital silence: nothing to measure the noise against, so no figure at all but the age.
  e.StartRun(Settings(rate, n));
  std::vector<float> silence(Module1::kFFTDataSize, 0.0f);
  e.ProcessBlock(silence.data(), Band(82, 14746, 410, 0.5f), 4.096);
  e.FillRecord(row, 5);
  EXPECT_FALSE(row.freqHz || row.cn0DbHz || row.detected || row.noiseDbfsHz);
  EXPECT_NEAR(row.ageS.value_or(-1), 5 - 4.096, 1e-12);
}

}  // namespace
}  // namespace corvane
