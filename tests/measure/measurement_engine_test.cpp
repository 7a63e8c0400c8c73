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

namespace corvane {
namespace {

constexpr double kFactor = 4.342944819;
double Db(double x) { return kFactor * std::log(x); }

// Stands in for the window: records the calls and runs the change handlers of the SigBW and
// CF controls the way they chain (a handler runs only when its text or value changes).
class TestHost : public EngineHost {
 public:
  explicit TestHost(MeasurementParams& p) : p_(p) {}

  double SigBWTextHz() override { return ParseLeadingNumber(sigBWText); }
  bool TrackingOn() override { return tracking; }
  void ShowNoiseFailure() override { ++messages; }
  void ResetSignalBandwidth() override {
    ++resets;
    SetSigBWUD(100);
    SetSigBWText("100");
  }
  void SetCentreFrequencyText(const std::string& text) override {
    cfTextsSet.push_back(text);
    SetCF(text);
  }
  void PlayAlarmSound() override { ++sounds; }

  std::string sigBWText = "100";
  int sigBWUD = 100;
  std::string cfText = "1000";
  int cfUD = 1000;
  bool tracking = false;
  int messages = 0, resets = 0, sounds = 0;
  std::vector<std::string> cfTextsSet;

 private:
  double Bins(double hz) const {
    return std::floor((hz / p_.SampleRate) * Module1::FFTLen + 0.5);
  }
  void SetSigBWUD(int v) {
    if (v == sigBWUD) return;
    sigBWUD = v;
    SetSigBWText(PlainText(v));
  }
  void SetSigBWText(const std::string& t) {
    if (t == sigBWText) return;
    sigBWText = t;
    p_.SigBWBins = std::max(Bins(ParseLeadingNumber(t)), 1.0);
    const double b = p_.SampleRate * p_.SigBWBins / Module1::FFTLen;
    if (b > 0 && b < 1000) SetSigBWUD(RoundHalfEven32(b));
    SetSigBWText(PlainText(sigBWUD));
  }
  void SetCF(const std::string& t) {
    if (t == cfText) return;
    cfText = t;
    if (IsWholeNumber(t)) p_.CentreBin = Bins(ParseLeadingNumber(t));
    const double f = ParseLeadingNumber(t);
    if (f > 1 && f < 3000 && RoundHalfEven32(f) != cfUD) {
      cfUD = RoundHalfEven32(f);
      SetCF(PlainText(cfUD));
    }
  }
  MeasurementParams& p_;
};

// 12000 Hz, 8192 points, band 100 .. 900, W 10, G 0.5, centre 500, HistLen 1: blocks are
// written straight into FFTData as bin powers, so every figure is exact.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Module1::FFTLen = 8192;
    p.SampleRate = 12000;
    p.CentreBin = 500;
    p.SigBWBins = 10;
    p.FMinBin = 100;
    p.FMaxBin = 900;
    p.DetFrames = 4;
    p.StabLimitDb = 10;
    p.HistLen = 1;
    p.AlarmThreshDb = 200;
    p.GuardBand = 0.5f;
    host.sigBWText = "100";
    engine.StartRun();
  }
  // Power of bin k as re^2 + im^2 of whole numbers, so the stored power is exact.
  void SetBin(int k, float re, float im = 0) {
    data[2 * k + 1] = re;
    data[2 * k + 2] = im;
  }
  // Noise floor of power 1 across the band, peak of power `peak` at `bin`.
  void FloorAndPeak(int bin, float amplitude) {
    std::fill(data.begin(), data.end(), 0.0f);
    for (int k = 100; k <= 900; ++k) SetBin(k, 1);
    SetBin(bin, amplitude);
  }
  void Run(int blocks = 1) {
    for (int i = 0; i < blocks; ++i) engine.ProcessBlock(data.data(), now);
  }

  MeasurementParams p;
  TestHost host{p};
  MeasurementEngine engine{p, host};
  std::vector<float> data = std::vector<float>(Module1::kFFTDataSize, 0.0f);
  DateTime now{2024, 5, 6, 14, 3, 27};
};

TEST_F(EngineTest, AveragingRisesOverTheHistoryAndRingAdvances) {
  p.HistLen = 4;
  FloorAndPeak(683, 32);  // power 1024
  const float expected[] = {256, 512, 768, 1024, 1024, 1024};
  const int idx[] = {1, 2, 3, 0, 1, 2};
  for (int b = 0; b < 6; ++b) {
    Run();
    EXPECT_EQ(engine.AvgPwr()[683], expected[b]) << "block " << b + 1;
    EXPECT_EQ(engine.HistIdx, idx[b]);
  }
  // Bins outside a narrowed band keep their old averages.
  std::fill(data.begin(), data.end(), 0.0f);
  SetBin(300, 2);
  SetBin(350, 2);
  p.FMinBin = 300;
  p.FMaxBin = 400;
  Run();
  EXPECT_EQ(engine.AvgPwr()[683], 1024.0f);
  EXPECT_EQ(engine.AvgPwr()[300], 1.75f);  // (1 + 1 + 4 + 1) / 4: this block wrote row 2
}

// The 16 MiB power history is sized for 65 536 bins; a 1024-point run over all 64 rows uses
// 4 KiB of each and must leave the rest out of memory.
TEST_F(EngineTest, SmallTransformLeavesMostOfTheHistoryOutOfMemory) {
  Module1::FFTLen = 1024;
  p.FMinBin = 2;
  p.FMaxBin = 460;
  p.HistLen = 64;
  FloorAndPeak(300, 32);
  Run(70);
  const long page = sysconf(_SC_PAGESIZE);
  const size_t bytes = sizeof(float) * 65536 * 64;
  std::vector<unsigned char> resident(bytes / static_cast<size_t>(page));
  // The history is one mapping, row 0 first.
  auto* start = const_cast<float*>(engine.PwrHistRow(0));
  ASSERT_EQ(reinterpret_cast<uintptr_t>(start) % static_cast<uintptr_t>(page), 0u);
  ASSERT_EQ(mincore(start, bytes, resident.data()), 0);
  size_t pages = 0;
  for (unsigned char r : resident) pages += r & 1;
  // One page a row for the bins written and averaged; everything else untouched.
  EXPECT_LE(pages, 64u * (1024 * sizeof(float) / static_cast<size_t>(page) + 1));
  EXPECT_GE(pages, 64u);
}

// The row-by-row averaging must give the bits of the bin-by-bin running float sum.
TEST_F(EngineTest, AveragingMatchesRunningSumBitForBit) {
  p.HistLen = 7;
  p.FMinBin = 3;
  p.FMaxBin = 8000;
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-3000, 3000);
  std::vector<std::vector<float>> rows(7, std::vector<float>(8192, 0.0f));
  for (int b = 0; b < 11; ++b) {
    const int row = engine.HistIdx;
    for (int k = 0; k < 8192; ++k) {
      SetBin(k, u(rng), u(rng));
      const double re = data[2 * k + 1], im = data[2 * k + 2];
      rows[row][k] = static_cast<float>(im * im + re * re);
    }
    Run();
    for (int k = 3; k <= 8000; ++k) {
      float sum = 0;
      for (int r = 0; r < 7; ++r) sum = rows[r][k] + sum;
      ASSERT_EQ(engine.AvgPwr()[k], static_cast<float>(static_cast<double>(sum) / 7))
          << "block " << b << " bin " << k;
    }
  }
}

TEST_F(EngineTest, HistLenOutsideItsRangeIsClamped) {
  FloorAndPeak(500, 32);
  p.HistLen = 0;
  Run(3);
  EXPECT_EQ(engine.AvgPwr()[500], 1024.0f);  // treated as 1
  EXPECT_EQ(engine.HistIdx, 0);
  p.HistLen = 1000;
  Run(2);
  EXPECT_EQ(engine.HistRows(), 64);
  EXPECT_EQ(engine.AvgPwr()[500], 1024.0f * 2 / 64);  // rows 0 and 1 written since
  EXPECT_EQ(engine.HistIdx, 2);
  p.HistLen = -3;
  Run();
  EXPECT_EQ(engine.HistIdx, 0);
}

TEST_F(EngineTest, BandOutsideTheSpectrumIsKeptInside) {
  FloorAndPeak(500, 32);
  SetBin(0, 1);
  SetBin(8191, 1);
  p.FMinBin = -500;
  p.FMaxBin = 1e9;
  Run();
  EXPECT_EQ(engine.marks().BandFirst, 0);
  EXPECT_EQ(engine.marks().BandLast, 8191);
  EXPECT_EQ(engine.PeakBin, 500);
  // Reversed or unreadable band: nothing is searched, the noise check fails.
  for (double lo : {900.0, std::numeric_limits<double>::quiet_NaN()}) {
    p.FMinBin = lo;
    p.FMaxBin = 100;
    Run();
    EXPECT_FALSE(engine.marks().Measured);
    EXPECT_LT(engine.marks().BandLast, engine.marks().BandFirst);
    EXPECT_EQ(engine.PeakBin, 0);
  }
}

TEST_F(EngineTest, PeakSearchTakesLowestOfEqualMaxima) {
  FloorAndPeak(450, 32);
  SetBin(520, 32);
  Run();
  EXPECT_EQ(engine.PeakBin, 450);
  EXPECT_EQ(engine.PeakPwr, 1024);
  EXPECT_EQ(engine.readouts().PeakDet, "Peak at 659Hz");  // 450 * 12000 / 8192 = 659.2
}

TEST_F(EngineTest, NoiseGuardAndSignalRegionsAtW10G05) {
  FloorAndPeak(500, 1000);  // peak power 1e6
  // Marked bins, perfect squares: noise 489, 511; guard 490, 494, 506, 510; signal 495, 505.
  SetBin(489, 2);
  SetBin(490, 3);
  SetBin(494, 4);
  SetBin(495, 5);
  SetBin(505, 6);
  SetBin(506, 7);
  SetBin(510, 8);
  SetBin(511, 9);
  Run();
  ASSERT_TRUE(engine.marks().Measured);
  EXPECT_EQ(engine.NoiseBins, 785);  // 800 - 10 * 1.5
  // 780 noise bins: 778 of power 1, then 4 and 81.
  EXPECT_DOUBLE_EQ(engine.NoisePwr, 863.0 / 785);
  // 495 .. 505: 1e6, 25, 36 and eight of power 1.
  EXPECT_DOUBLE_EQ(engine.SigPwr, 1000069.0 / 10);
}

TEST_F(EngineTest, NoiseBinsFromFormulaNotFromBinsSummed) {
  p.FMinBin = 100;
  p.FMaxBin = 300;
  // 200 - W * 1.5, rounded half to even: at W = 5 the tie 192.5 gives 192, not 193.
  const struct {
    double w;
    int noiseBins;
    double binsSummed;
  } cases[] = {{10, 185, 180}, {5, 192, 190}};
  for (const auto& c : cases) {
    p.SigBWBins = c.w;
    FloorAndPeak(200, 1000);
    Run();
    EXPECT_EQ(engine.NoiseBins, c.noiseBins) << "W " << c.w;
    EXPECT_DOUBLE_EQ(engine.NoisePwr, c.binsSummed / c.noiseBins) << "W " << c.w;
  }
  EXPECT_EQ(host.messages, 0);
}

TEST_F(EngineTest, NarrowBandResetsBandwidthAndGoesOn) {
  p.FMinBin = 100;
  p.FMaxBin = 112;
  host.sigBWText = "15";
  host.sigBWUD = 15;
  FloorAndPeak(100, 100);
  p.CentreBin = 100;
  Run();
  EXPECT_EQ(host.messages, 1);
  EXPECT_EQ(host.resets, 1);
  EXPECT_EQ(p.SigBWBins, 68);  // 100 Hz, rounded by the handlers
  EXPECT_EQ(engine.NoiseBins, 1);
  EXPECT_DOUBLE_EQ(engine.NoisePwr, 2);  // bins 111 and 112
  // Summed over the old band (100 .. 105), divided by the new bandwidth.
  EXPECT_DOUBLE_EQ(engine.SigPwr, (10000.0 + 5) / 68);
  EXPECT_TRUE(engine.marks().Measured);
  EXPECT_EQ(engine.marks().BoxSigBWBins, 10);
  EXPECT_EQ(engine.marks().MarkSigBWBins, 68);
  EXPECT_EQ(engine.DetCount, 1);
}

TEST_F(EngineTest, BandwidthResetWithoutTextChangeStaysUnrounded) {
  p.FMinBin = 100;
  p.FMaxBin = 112;
  FloorAndPeak(100, 100);
  Run();  // SigBW already reads "100": no handler runs
  EXPECT_DOUBLE_EQ(p.SigBWBins, 8192.0 * 100 / 12000);
  EXPECT_DOUBLE_EQ(engine.SigPwr, (10000.0 + 5) / (8192.0 * 100 / 12000));
}

TEST_F(EngineTest, InBandReadOutTexts) {
  FloorAndPeak(500, 100);  // signal 1e4 over W 10: SigPwr 1000
  for (int k = 495; k <= 505; ++k)
    if (k != 500) SetBin(k, 0);
  SetBin(200, 1, 2);  // 5: the 780 noise bins now sum to 785, NoisePwr 1
  SetBin(201, 1, 1);
  Run();
  EXPECT_DOUBLE_EQ(engine.NoisePwr, 1);
  EXPECT_DOUBLE_EQ(engine.SigPwr, 1000);
  const Readouts& r = engine.readouts();
  EXPECT_TRUE(engine.InBand);
  EXPECT_TRUE(r.SNResultsVisible);
  EXPECT_EQ(r.SNBin, "S/N FFT Bin  40.0dB");
  EXPECT_EQ(r.SN1Hz, "    ''     1Hz     50.0dB");
  EXPECT_EQ(r.SN2k5Hz, "    ''   2500Hz  16.0dB");
  EXPECT_EQ(r.ShowNoise, "Noise             -50.0dB");
  EXPECT_EQ(r.ShowSignal, "Signal            -20.0dB (Sig B/W)");
  EXPECT_NEAR(engine.SN1HzDb, 50, 1e-6);
  EXPECT_NEAR(engine.NoiseLevelDb, -50, 1e-9);
  EXPECT_EQ(r.PeakDet, "Peak at 732Hz");

  // BWHz from the text, not from W.
  host.sigBWText = "50";
  Run();
  EXPECT_NEAR(engine.SN1HzDb, Db(1000 * 50.0), 1e-9);
  EXPECT_EQ(r.SNBin, "S/N FFT Bin  40.0dB");
  // 50.0297 dB: less 33.98 rounds down, less 10 log10(2500) would round up.
  host.sigBWText = "100.6866";
  Run();
  EXPECT_EQ(r.SN1Hz, "    ''     1Hz     50.0dB");
  EXPECT_EQ(r.SN2k5Hz, "    ''   2500Hz  16.0dB");
}

TEST_F(EngineTest, InBandUpToHalfTheBandwidth) {
  FloorAndPeak(505, 100);
  Run();
  EXPECT_TRUE(engine.InBand);  // exactly W / 2 away
  const double sn = engine.SN1HzDb;
  const std::string caption = engine.readouts().SN1Hz;
  FloorAndPeak(506, 200);
  Run();
  EXPECT_FALSE(engine.InBand);
  EXPECT_FALSE(engine.marks().InBand);
  EXPECT_FALSE(engine.readouts().SNResultsVisible);
  EXPECT_EQ(engine.SN1HzDb, sn);
  EXPECT_EQ(engine.readouts().SN1Hz, caption);
  EXPECT_EQ(engine.readouts().PeakDet, "Peak at 741Hz");  // written in or out of band
  EXPECT_NE(engine.NoiseLevelDb, kMissingDb);
}

TEST_F(EngineTest, NonPositiveBandwidthTextGivesMissingSN) {
  host.sigBWText = "0";
  p.DetFrames = 2;
  FloorAndPeak(500, 100);
  Run(3);
  ASSERT_TRUE(engine.Steady);
  EXPECT_EQ(engine.SN1HzDb, kMissingDb);
  EXPECT_EQ(engine.readouts().SN1Hz, "    ''     1Hz     -99.0dB");
  EXPECT_EQ(engine.readouts().SN2k5Hz, "    ''   2500Hz  -99.0dB");
  EXPECT_EQ(engine.LogSN1HzDb, kMissingDb);
  EXPECT_TRUE(std::isfinite(engine.LogSignalDb));
  EXPECT_NE(engine.LogSignalDb, kMissingDb);
  host.sigBWText = "-20";
  Run();
  EXPECT_EQ(engine.SN1HzDb, kMissingDb);
  EXPECT_EQ(engine.LogSN1HzDb, kMissingDb);
}

TEST_F(EngineTest, SilenceGivesOneMessageAndMeasurementResumes) {
  std::fill(data.begin(), data.end(), 0.0f);
  Run(21);  // not a multiple of DetFrames 4: a counter advanced by them would not read 0
  EXPECT_EQ(host.messages, 1);
  EXPECT_EQ(host.resets, 21);
  EXPECT_FALSE(engine.marks().Measured);
  EXPECT_EQ(engine.NoiseLevelDb, kMissingDb);
  EXPECT_EQ(engine.LogSignalDb, kMissingDb);
  EXPECT_EQ(engine.LogSN1HzDb, kMissingDb);
  EXPECT_EQ(engine.DetCount, 0);  // the rest of the block is skipped
  EXPECT_EQ(engine.readouts().PeakDet, "");

  FloorAndPeak(500, 100);
  Run();
  EXPECT_TRUE(engine.marks().Measured);
  // The failed blocks left the bandwidth at 100 Hz (68.27 bins): 664 noise bins summed,
  // NoiseBins 800 - 102.4 = 698.
  EXPECT_NEAR(engine.NoiseLevelDb, Db(664.0 / 698) - 50, 1e-9);
  EXPECT_EQ(host.messages, 1);

  std::fill(data.begin(), data.end(), 0.0f);
  Run(5);
  EXPECT_EQ(host.messages, 2);
  EXPECT_EQ(engine.NoiseLevelDb, kMissingDb);
}

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
