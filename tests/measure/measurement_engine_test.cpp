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

}  // namespace
}  // namespace corvane
