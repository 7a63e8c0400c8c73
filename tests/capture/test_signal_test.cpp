#include "capture/test_signal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "dsp/fft.h"

namespace corvane {
namespace {

constexpr int kN = 8192;

// The block as the loop forms it: (L - jR) or, with the sideband box checked, (L + jR).
std::vector<double> PowerSpectrum(const std::vector<int16_t>& stereo, bool swapped,
                                  bool windowed) {
  Module1::FFTLen = kN;
  if (windowed) Module1::MakeHammingWindow(); else Module1::MakeFlatWindow();
  std::vector<float> d(Module1::kFFTDataSize, 0.0f);
  for (int i = 0; i < kN; ++i) {
    d[2 * i + 1] = static_cast<float>(stereo[2 * i]) * Module1::WinTable[i];
    const float q = static_cast<float>(stereo[2 * i + 1]) * Module1::WinTable[i];
    d[2 * i + 2] = swapped ? q : -q;
  }
  Module1::ComplexFFT(d.data());
  std::vector<double> p(kN);
  for (int k = 0; k < kN; ++k) {
    p[k] = static_cast<double>(d[2 * k + 1]) * d[2 * k + 1] +
           static_cast<double>(d[2 * k + 2]) * d[2 * k + 2];
  }
  return p;
}

int PeakBin(const std::vector<double>& p) {
  return static_cast<int>(std::max_element(p.begin(), p.end()) - p.begin());
}

TEST(TestSignal, CarrierShowsAtCentreFrequencyOnThePositiveSide) {
  for (double rate : {12000.0, 48000.0}) {
    TestSignalParams params;
    params.sampleRate = rate;
    params.centreHz = 1000;
    params.seed = 42;
    TestSignal sig(params);
    std::vector<int16_t> block(2 * kN);
    sig.Generate(block.data(), kN);
    const int expected = static_cast<int>(std::lround(1000.0 * kN / rate));
    EXPECT_EQ(PeakBin(PowerSpectrum(block, false, true)), expected) << rate;
    // The other sideband: the same carrier mirrored into the top half.
    EXPECT_EQ(PeakBin(PowerSpectrum(block, true, true)), kN - expected) << rate;
  }
}

TEST(TestSignal, NegativeCentreFrequencyShowsMirrored) {
  TestSignalParams params;
  params.centreHz = -1500;
  params.seed = 3;
  TestSignal sig(params);
  std::vector<int16_t> block(2 * kN);
  sig.Generate(block.data(), kN);
  EXPECT_EQ(PeakBin(PowerSpectrum(block, false, true)), kN - 1024);
}

// S/N in 1 Hz measured from the spectrum: carrier on an exact bin, no window, so the
// carrier's power sits in one bin and the noise is the mean of the rest.
TEST(TestSignal, SignalToNoiseInOneHertzIsAsAsked) {
  const double rate = 12000;
  for (double snr : {30.0, 20.0}) {
    TestSignalParams params;
    params.sampleRate = rate;
    params.centreHz = 683 * rate / kN;
    params.snr1HzDb = snr;
    params.wanderHz = 0;
    params.seed = 11;
    TestSignal sig(params);
    double noise = 0, carrier = 0;
    int noiseBins = 0;
    const int blocks = 8;
    std::vector<int16_t> block(2 * kN);
    for (int b = 0; b < blocks; ++b) {
      sig.Generate(block.data(), kN);
      const auto p = PowerSpectrum(block, false, false);
      carrier += p[683];
      for (int k = 0; k < kN; ++k) {
        if (std::abs(k - 683) > 3) {
          noise += p[k];
          ++noiseBins;
        }
      }
    }
    const double perBinNoise = noise / noiseBins;
    const double carrierOnly = carrier / blocks - perBinNoise;
    const double snr1Hz = 10 * std::log10(carrierOnly / perBinNoise * rate / kN);
    EXPECT_NEAR(snr1Hz, snr, 0.5);
  }
}

TEST(TestSignal, StaysInsideSixteenBitsWithoutClipping) {
  TestSignalParams params;
  params.sampleRate = 8000;  // the largest carrier amplitude of the usual rates
  params.seed = 5;
  TestSignal sig(params);
  std::vector<int16_t> block(2 * 80000);
  sig.Generate(block.data(), 80000);
  const auto [lo, hi] = std::minmax_element(block.begin(), block.end());
  EXPECT_GT(*lo, -32768);
  EXPECT_LT(*hi, 32767);
  EXPECT_GE(sig.carrierAmplitude(), 1000);
}

TEST(TestSignal, BlocksJoinWithoutAStepAndSeedsRepeat) {
  TestSignalParams params;
  params.seed = 9;
  TestSignal whole(params), pieces(params);
  std::vector<int16_t> a(2 * 3000), b(2 * 3000);
  whole.Generate(a.data(), 3000);
  pieces.Generate(b.data(), 1000);
  pieces.Generate(b.data() + 2000, 1234);
  pieces.Generate(b.data() + 2 * 2234, 766);
  EXPECT_EQ(a, b);
  EXPECT_EQ(pieces.framesGenerated(), 3000);
}

TEST(TestSignal, DriftsAFewTenthsOfAHertzPerMinute) {
  TestSignalParams params;
  params.seed = 1;
  TestSignal sig(params);
  std::vector<int16_t> minute(2 * 12000 * 60);
  double previous = sig.currentHz();
  double largest = 0;
  for (int m = 0; m < 8; ++m) {
    sig.Generate(minute.data(), 12000 * 60);
    largest = std::max(largest, std::abs(sig.currentHz() - previous));
    previous = sig.currentHz();
  }
  EXPECT_GT(largest, 0.2);
  EXPECT_LT(largest, 0.5);
  EXPECT_LT(std::abs(sig.currentHz() - 1000), 1.01);
}

}  // namespace
}  // namespace corvane
