// Stability, drift, the clicks and the alarm: what the engine concludes over many blocks.
#include "measure/measurement_engine.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "common/numtext.h"
#include "dsp/fft.h"
#include "measure/engine_fixture.h"

namespace corvane {
namespace {

using namespace engine_testing;

TEST_F(EngineTest, StabilityOverFourFrames) {
  p.SigBWBins = 1;  // the signal band is the peak bin alone: SigPwr 1024
  FloorAndPeak(500, 32);
  const double diffs[] = {Db(1 / std::sqrt(3.0)), 0, Db(std::sqrt(3.0))};
  for (double d : diffs) {
    Run();
    EXPECT_NEAR(engine.StabMeanDb - engine.StabSpreadDb, d, 1e-9);
    EXPECT_FALSE(engine.Steady);
    EXPECT_EQ(engine.readouts().CarrStabMsg, "Carrier Unstable");
    EXPECT_EQ(engine.readouts().CarrStabColour, (Rgb{128, 32, 0}));
    EXPECT_EQ(engine.LogSignalDb, kMissingDb);
  }
  Run();
  EXPECT_EQ(engine.StabSpreadDb, 0);
  EXPECT_NEAR(engine.StabMeanDb, 30.103, 1e-3);
  EXPECT_TRUE(engine.Steady);
  EXPECT_EQ(engine.readouts().CarrStabMsg, "Carrier steady");
  EXPECT_EQ(engine.readouts().CarrStabColour, (Rgb{0, 128, 32}));
  EXPECT_DOUBLE_EQ(engine.LogSignalDb, Db(1024) - 50);
  EXPECT_DOUBLE_EQ(engine.LogSN1HzDb, Db(100 * (1024 / engine.NoisePwr)));

  // Equal to the limit is not steady.
  p.StabLimitDb = engine.StabMeanDb;
  Run();
  EXPECT_FALSE(engine.Steady);

  // One out-of-band block puts a 0 into the period.
  p.StabLimitDb = 10;
  p.CentreBin = 700;
  Run();
  EXPECT_FALSE(engine.Steady);
  EXPECT_NEAR(engine.StabMeanDb - engine.StabSpreadDb, Db(std::sqrt(3.0)), 1e-9);
}

// The log values come from the block at hand whenever the period is steady, in band or not.
TEST_F(EngineTest, SteadyPeriodLogsTheCurrentBlockEvenOutOfBand) {
  p.DetFrames = 8;
  p.StabLimitDb = 3;  // seven equal powers and one 0 in the period: 4.2 dB, still steady
  FloorAndPeak(500, 32);
  Run(8);
  ASSERT_TRUE(engine.Steady);
  FloorAndPeak(700, 64);  // far outside W / 2 of the centre, and four times the power
  Run();
  ASSERT_FALSE(engine.InBand);
  ASSERT_TRUE(engine.Steady);
  EXPECT_DOUBLE_EQ(engine.SigPwr, (4096.0 + 10) / 10);
  EXPECT_DOUBLE_EQ(engine.LogSignalDb, Db(engine.SigPwr) - 50);
  EXPECT_DOUBLE_EQ(engine.LogSN1HzDb, Db(100 * (engine.SigPwr / engine.NoisePwr)));
}

TEST_F(EngineTest, DetectionPeriodGuards) {
  FloorAndPeak(500, 32);
  p.DetFrames = 1000;
  EXPECT_EQ(engine.DetPeriod(), 256);
  Run(300);
  EXPECT_EQ(engine.DetCount, 300 % 256);
  for (double d : {0.0, -3.0, 0.5, std::numeric_limits<double>::infinity(),
                   std::numeric_limits<double>::quiet_NaN()}) {
    p.DetFrames = d;
    EXPECT_EQ(engine.DetPeriod(), 2);
    Run(3);
    EXPECT_GE(engine.DetCount, 0);
    EXPECT_LT(engine.DetCount, 2);
    EXPECT_TRUE(std::isfinite(engine.StabMeanDb) && std::isfinite(engine.StabSpreadDb));
  }
  // Shrinking the period: the counter comes back by the modulo.
  p.DetFrames = 8;
  engine.StartRun();
  Run(7);
  p.DetFrames = 4;
  Run();
  EXPECT_EQ(engine.DetCount, 0);
}

TEST_F(EngineTest, DriftFollowsTrackedCarrier) {
  host.tracking = true;
  p.CentreBin = 683;
  p.FMinBin = 14;
  p.FMaxBin = 3277;
  p.SigBWBins = 68;
  engine.StartRun();
  const double expected[] = {0.29, 0.53, 0.71};
  for (int s = 0; s < 3; ++s) {
    std::fill(data.begin(), data.end(), 0.0f);
    for (int k = 14; k <= 3277; ++k) SetBin(k, 1);
    SetBin(684 + s, 100);
    Run();
    EXPECT_EQ(p.CentreBin, 684 + s);
    engine.TickDrift(5);
    EXPECT_NEAR(engine.DriftStepHz, 12000.0 / 8192, 1e-12);
    EXPECT_NEAR(engine.DriftHzPerSec, expected[s], 0.005);
  }
  EXPECT_EQ(host.cfTextsSet.front(), "1002.0");
  EXPECT_EQ(engine.readouts().Drift, "Freq Drift 0.7148 Hz/s");
  engine.TickDrift(1);  // no smoothing: the last step, which is now 0
  EXPECT_EQ(engine.readouts().Drift, "Freq Drift 0.00 Hz/s");
}

TEST_F(EngineTest, DriftWithTrackingOff) {
  // Capture start takes the centre as reference: no drift of the centre frequency itself.
  p.CentreBin = 683;
  engine.StartRun();
  engine.TickDrift(5);
  EXPECT_EQ(engine.DriftHzPerSec, 0);
  // Peak steadily 2 bins below the centre.
  FloorAndPeak(681, 100);
  p.FMinBin = 400;
  p.FMaxBin = 900;
  for (int i = 0; i < 80; ++i) {
    Run();
    engine.TickDrift(5);
  }
  EXPECT_DOUBLE_EQ(engine.DriftStepHz, 2 * 12000.0 / 8192);
  EXPECT_NEAR(engine.DriftHzPerSec, 2 * 12000.0 / 8192, 1e-3);
  EXPECT_EQ(engine.readouts().Drift, "Freq Drift 2.9297 Hz/s");
}

TEST_F(EngineTest, DriftFactorZeroOrUnreadableKeepsLastValue) {
  p.CentreBin = 683;
  engine.StartRun();
  p.CentreBin = 686;
  engine.TickDrift(1);
  const double last = engine.DriftHzPerSec;
  p.CentreBin = 700;
  for (double n : {0.0, std::numeric_limits<double>::infinity(),
                   std::numeric_limits<double>::quiet_NaN()}) {
    engine.TickDrift(n);
    EXPECT_EQ(engine.DriftHzPerSec, last);
    EXPECT_EQ(engine.PrevCentreBin, 700);
  }
  EXPECT_EQ(engine.readouts().Drift, "Freq Drift 4.3945 Hz/s");
}

// A factor below 1 weighs the old drift negatively; below 0.5 it grew without bound (past
// 1e300 within 1,699 ticks at 0.4). It counts as 1: the drift is the last step.
TEST_F(EngineTest, DriftFactorBelowOneCountsAsOneAndStaysBounded) {
  p.CentreBin = 683;
  engine.StartRun();
  for (double factor : {0.4, 0.5, 0.99, -5.0, 1e-300}) {
    for (int t = 0; t < 2000; ++t) {
      p.CentreBin = 683 + (t % 2);
      engine.TickDrift(factor);
      ASSERT_LE(std::fabs(engine.DriftHzPerSec), p.SampleRate) << factor << " tick " << t;
    }
    EXPECT_EQ(engine.DriftHzPerSec, engine.DriftStepHz) << factor;
  }
}

TEST_F(EngineTest, CentreToPeakMakesNextStepZero) {
  FloorAndPeak(700, 100);
  p.CentreBin = 683;
  p.SigBWBins = 10;
  Run();  // out of band: nothing tracked
  engine.CFToPeakClick();
  EXPECT_EQ(host.cfTextsSet.back(), "1025.4");
  EXPECT_EQ(p.CentreBin, 700);
  EXPECT_EQ(engine.PrevCentreBin, 700);
  engine.TickDrift(5);
  EXPECT_EQ(engine.DriftStepHz, 0);
}

TEST_F(EngineTest, ClicksSetCentreAndReference) {
  engine.SpectrumClick(683.4);
  EXPECT_EQ(host.cfTextsSet.back(), "1001.1");
  EXPECT_EQ(p.CentreBin, 683);  // from the text, through the CF handler
  EXPECT_EQ(engine.PrevCentreBin, static_cast<double>(683.4f));
  engine.SpectrumClick(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(p.CentreBin, 683);

  EXPECT_FALSE(engine.readouts().DriftVisible);
  p.CentreBin = 690;
  engine.TrackSigClick();
  EXPECT_TRUE(engine.readouts().DriftVisible);
  EXPECT_EQ(engine.PrevCentreBin, 690);
}

TEST_F(EngineTest, TrackingMovesCentreButBoxKeepsBlockStart) {
  host.tracking = true;
  FloorAndPeak(503, 100);
  Run();
  EXPECT_EQ(engine.marks().BoxCentreBin, 500);
  EXPECT_EQ(p.CentreBin, 503);
  EXPECT_EQ(host.cfTextsSet.back(), "736.8");
}

TEST_F(EngineTest, AlarmOnRisingEdgeOnly) {
  FloorAndPeak(500, 100);
  p.AlarmThreshDb = 200;
  Run();
  const double sn = engine.SN1HzDb;
  EXPECT_EQ(engine.readouts().AlarmColour, (Rgb{128, 128, 128}));
  EXPECT_FALSE(engine.readouts().AlarmVisible);

  p.AlarmThreshDb = sn;  // equal: no alarm
  Run();
  EXPECT_EQ(host.sounds, 0);
  EXPECT_FALSE(p.AlarmActive);

  p.AlarmThreshDb = sn - 1;
  Run();
  EXPECT_EQ(host.sounds, 1);
  EXPECT_TRUE(p.AlarmActive);
  EXPECT_TRUE(engine.readouts().AlarmVisible);
  EXPECT_EQ(engine.readouts().AlarmVisual, "Big Signal 14:03:27");
  EXPECT_EQ(engine.readouts().AlarmColour, (Rgb{0, 0, 0}));
  now.second = 40;
  Run(5);
  EXPECT_EQ(host.sounds, 1);
  EXPECT_EQ(engine.readouts().AlarmVisual, "Big Signal 14:03:27");

  // Out of band keeps the state: no new sound.
  p.CentreBin = 800;
  Run();
  EXPECT_EQ(host.sounds, 1);
  EXPECT_TRUE(p.AlarmActive);
  p.CentreBin = 500;

  p.AlarmThreshDb = sn + 1;
  Run();
  EXPECT_EQ(engine.readouts().AlarmColour, (Rgb{128, 128, 128}));
  EXPECT_FALSE(p.AlarmActive);
  p.AlarmThreshDb = sn - 1;
  Run();
  EXPECT_EQ(host.sounds, 2);
  EXPECT_EQ(engine.readouts().AlarmVisual, "Big Signal 14:03:40");

  // The threshold stepped: the flag is cleared and the next block alarms again.
  p.AlarmActive = false;
  Run();
  EXPECT_EQ(host.sounds, 3);
}

// No input (a source lost, digital silence) shows and logs nothing measured, not the last
// values, and arms the alarm again: a strong carrier that comes back alarms anew.
TEST_F(EngineTest, NothingMeasuredShowsMissingAndRearmsTheAlarm) {
  p.DetFrames = 2;
  FloorAndPeak(500, 100);
  p.AlarmThreshDb = 10;
  Run(3);
  ASSERT_EQ(host.sounds, 1);
  ASSERT_TRUE(engine.Steady);
  ASSERT_EQ(engine.readouts().CarrStabMsg, "Carrier steady");

  for (const bool silence : {false, true}) {
    if (silence) {
      std::fill(data.begin(), data.end(), 0.0f);  // a block of digital silence
      Run();
    } else {
      engine.NothingMeasured();  // the source lost
    }
    EXPECT_EQ(engine.NoiseLevelDb, -99.0) << silence;
    EXPECT_EQ(engine.LogSignalDb, -99.0) << silence;
    EXPECT_EQ(engine.LogSN1HzDb, -99.0) << silence;
    EXPECT_FALSE(engine.Steady) << silence;
    EXPECT_NE(engine.readouts().CarrStabMsg, "Carrier steady") << silence;
    EXPECT_FALSE(engine.readouts().SNResultsVisible) << silence;
    EXPECT_TRUE(engine.readouts().PeakDet.empty()) << silence;
    EXPECT_FALSE(p.AlarmActive) << silence;

    FloorAndPeak(500, 100);
    now.second = silence ? 50 : 45;
    Run();
    EXPECT_EQ(host.sounds, silence ? 3 : 2) << "the carrier back alarms again";
    EXPECT_EQ(engine.readouts().AlarmVisual, silence ? "Big Signal 14:03:50" : "Big Signal 14:03:45");
  }
}

TEST_F(EngineTest, AlarmBeforeAnyInBandBlock) {
  FloorAndPeak(800, 100);  // out of band: SN1HzDb stays 0
  p.AlarmThreshDb = 0;
  Run();
  EXPECT_EQ(host.sounds, 0);
  p.AlarmThreshDb = -1;
  Run();
  EXPECT_EQ(host.sounds, 1);
}

TEST_F(EngineTest, GarbageInputNeverGivesNonFiniteValues) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  p.DetFrames = 2;
  for (int variant = 0; variant < 4; ++variant) {
    FloorAndPeak(500, 100);
    if (variant == 0) SetBin(500, inf);
    if (variant == 1) SetBin(300, nan);
    if (variant == 2) SetBin(502, 3e38f, 3e38f);
    if (variant == 3) {
      for (int k = 100; k <= 900; ++k) SetBin(k, 1.8e19f);
      p.HistLen = 64;
    }
    Run(3);
    for (double v : {engine.SN1HzDb, engine.NoiseLevelDb, engine.LogSignalDb,
                     engine.LogSN1HzDb, engine.StabMeanDb, engine.StabSpreadDb}) {
      EXPECT_TRUE(std::isfinite(v)) << "variant " << variant;
    }
    const Readouts& r = engine.readouts();
    for (const std::string& s : {r.SNBin, r.SN1Hz, r.SN2k5Hz, r.ShowNoise, r.ShowSignal}) {
      EXPECT_EQ(s.find("nan"), std::string::npos) << s;
      EXPECT_EQ(s.find("inf"), std::string::npos) << s;
    }
  }
}

TEST_F(EngineTest, ZeroOrMissingBandwidthAndRateDoNotDivideByZero) {
  FloorAndPeak(500, 100);
  p.SigBWBins = 0;
  Run();
  EXPECT_TRUE(std::isfinite(engine.SigPwr));
  p.SampleRate = 0;
  std::fill(data.begin(), data.end(), 0.0f);
  Run();
  EXPECT_TRUE(std::isfinite(p.SigBWBins));
  Module1::FFTLen = 0;
  Run();
  engine.TickDrift(5);
  EXPECT_TRUE(std::isfinite(engine.DriftHzPerSec));
  Module1::FFTLen = 8192;
}

// A tone in white Gaussian noise, through the window and the FFT: the S/N in 1 Hz is the
// tone's power over the noise density. Both the carrier's summed lobe and the noise per
// bin carry the window's sum of squares, so it cancels: S/N(1 Hz) = P / (N0), with P the
// power of the tone's complex component and N0 the noise power per Hz of the complex
// spectrum (variance summed over the channels, divided by the rate). The signal band also
// holds BWHz worth of noise, which the expectation adds.
double MeasuredSN1Hz(bool iq, double amplitude, double sigma) {
  Module1::FFTLen = 8192;
  Module1::MakeWindow(1);
  MeasurementParams p;
  p.SampleRate = 12000;
  p.CentreBin = 683;
  p.SigBWBins = 68;
  p.FMinBin = 14;
  p.FMaxBin = 3277;
  p.DetFrames = 4;
  p.HistLen = 16;
  p.GuardBand = 0.5f;
  p.AlarmThreshDb = 200;
  TestHost host(p);
  MeasurementEngine engine(p, host);
  engine.StartRun();
  std::mt19937 rng(12345);
  std::normal_distribution<double> noise(0, sigma);
  std::vector<float> data(Module1::kFFTDataSize, 0.0f);
  const double w = 2 * std::numbers::pi * 1000.0 / 12000;
  int phase = 0;
  for (int b = 0; b < 16; ++b) {
    for (int i = 0; i < 8192; ++i, ++phase) {
      const double re = amplitude * std::cos(w * phase) + noise(rng);
      const double im = iq ? amplitude * std::sin(w * phase) + noise(rng) : 0.0;
      data[2 * i + 1] = static_cast<float>(std::round(re)) * Module1::WinTable[i];
      data[2 * i + 2] = -static_cast<float>(std::round(im)) * Module1::WinTable[i];
    }
    Module1::ComplexFFT(data.data());
    engine.ProcessBlock(data.data(), DateTime{});
  }
  EXPECT_TRUE(engine.InBand);
  EXPECT_NEAR(engine.PeakBin, 683, 1);
  return engine.SN1HzDb;
}

TEST(EngineSignalToNoise, ToneInGaussianNoiseMatchesTheory) {
  const double a = 1000, sigma = 300, rate = 12000, bwHz = 100;
  // Mono: the tone splits into two components of power a^2/4; the noise, real, spreads
  // its variance over the whole complex spectrum.
  const double mono = 10 * std::log10((a * a / 4) / (sigma * sigma / rate) + bwHz);
  const double measuredMono = MeasuredSN1Hz(false, a, sigma);
  EXPECT_NEAR(measuredMono, mono, 0.5);
  std::printf("mono S/N 1 Hz: measured %.3f dB, expected %.3f dB\n", measuredMono, mono);
  // I/Q: one component of power a^2, noise on both channels.
  const double iq = 10 * std::log10((a * a) / (2 * sigma * sigma / rate) + bwHz);
  const double measuredIq = MeasuredSN1Hz(true, a, sigma);
  EXPECT_NEAR(measuredIq, iq, 0.5);
  std::printf("I/Q S/N 1 Hz: measured %.3f dB, expected %.3f dB\n", measuredIq, iq);
}

}  // namespace
}  // namespace corvane
