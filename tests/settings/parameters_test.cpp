#include "settings/parameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/numtext.h"

namespace corvane {
namespace {

constexpr double kRate = 12000;
constexpr int32_t kLen = 8192;

TEST(Parameters, CentreFrequencyToBinAndBack) {
  EXPECT_EQ(HzToBin(1000, kRate, kLen), 683);  // 682.67
  EXPECT_EQ(CentreFreqText(683, kRate, kLen), "1000.5");
  EXPECT_EQ(CentreFreqText(0, kRate, kLen), ".0");
  EXPECT_EQ(HzToBin(20, kRate, kLen), 14);      // 13.65
  EXPECT_EQ(HzToBin(4800, kRate, kLen), 3277);  // 3276.8
  EXPECT_DOUBLE_EQ(BinToHz(683, kRate, kLen), 12000.0 * (683.0 / 8192.0));
  EXPECT_EQ(BinToHz(4096, kRate, kLen), 6000);
}

TEST(Parameters, HzToBinRoundsHalfUpInTheStatedOrder) {
  // 3 Hz at 8 Hz and 4 points is 1.5 bins exactly: up to 2; -1.5 goes up to -1.
  EXPECT_EQ(HzToBin(3, 8, 4), 2);
  EXPECT_EQ(HzToBin(-3, 8, 4), -1);
  // (hz / rate) * len: 3.3 Hz at 3 Hz and 5 points is 5.4999999999999991 this way, 5.5
  // as hz * len / rate.
  EXPECT_EQ(HzToBin(3.3, 3, 5), 5);
}

TEST(Parameters, SignalBandwidthIsAtLeastOneBin) {
  EXPECT_EQ(SigBWHzToBins(0.5, kRate, kLen), 1);
  EXPECT_EQ(SigBWHzToBins(0, kRate, kLen), 1);
  EXPECT_EQ(SigBWHzToBins(-50, kRate, kLen), 1);
  EXPECT_EQ(SigBWHzToBins(100, kRate, kLen), 68);  // 68.27
}

TEST(Parameters, DetectionPeriodToFramesAndBack) {
  EXPECT_EQ(SecondsToDetFrames(1, kRate, kLen), 2);  // 1.46 -> 1 -> raised to 2
  EXPECT_EQ(PlainText(DetFramesToSeconds(2, kRate, kLen)), "1.36533333333333");
  EXPECT_EQ(SecondsToDetFrames(3, kRate, kLen), 4);  // 4.39
  EXPECT_EQ(PlainText(DetFramesToSeconds(4, kRate, kLen)), "2.73066666666667");
  EXPECT_EQ(SecondsToDetFrames(5, kRate, kLen), 7);  // 7.32
  EXPECT_EQ(PlainText(DetFramesToSeconds(7, kRate, kLen)), "4.77866666666667");
  // rate * (seconds / len): 3.4999999999999996 frames this way, 3.5 as rate * seconds / len.
  EXPECT_EQ(SecondsToDetFrames(5.833333333333333, 3, 5), 3);
  // The read-out reads back to the same frame count.
  EXPECT_EQ(SecondsToDetFrames(ParseLeadingNumber("2.73066666666667"), kRate, kLen), 4);
}

TEST(Parameters, HistoryLengthRoundsHalfEvenAndIsLimited) {
  EXPECT_EQ(HistLenFromPeriod(3, kRate, kLen), 4);    // 4.39
  EXPECT_EQ(HistLenFromPeriod(10, kRate, 1024), 64);  // 117.19
  EXPECT_EQ(HistLenFromPeriod(0.1, kRate, kLen), 2);  // 0.15
  EXPECT_EQ(HistLenFromPeriod(-5, kRate, kLen), 2);
  // A period of 2.5 frames: the history ties to even, the detection frames round up.
  const double seconds = 2.5 * kLen / kRate;
  EXPECT_EQ(kRate * (seconds / kLen), 2.5);
  EXPECT_EQ(HistLenFromPeriod(seconds, kRate, kLen), 2);
  EXPECT_EQ(SecondsToDetFrames(seconds, kRate, kLen), 3);
  EXPECT_EQ(HistLenFromPeriod(3.5 * kLen / kRate, kRate, kLen), 4);
  EXPECT_EQ(HistLenFromPeriod(1e300, kRate, kLen), 64);
}

TEST(Parameters, StabilityScrollBarOnlyStrictlyInsideItsRange) {
  EXPECT_EQ(StabFactUDValueFor(10), 10);
  EXPECT_EQ(StabFactUDValueFor(4.5), 5);
  EXPECT_EQ(StabFactUDValueFor(19.49), 19);
  EXPECT_EQ(StabFactUDValueFor(4), -1);
  EXPECT_EQ(StabFactUDValueFor(4.49), -1);
  EXPECT_EQ(StabFactUDValueFor(20), -1);
  EXPECT_EQ(StabFactUDValueFor(19.5), -1);
  EXPECT_EQ(StabFactUDValueFor(-7), -1);
  EXPECT_EQ(StabFactUDValueFor(std::nan("")), -1);
}

TEST(Parameters, BinSizeText) {
  EXPECT_EQ(BinSizeText(12000, 8192), "Sampling rate 12000Hz   FFT Bin Size 1.46Hz");
  EXPECT_EQ(BinSizeText(48000, 1024), "Sampling rate 48000Hz   FFT Bin Size 46.88Hz");
  EXPECT_EQ(BinSizeText(0, 8192), "Sampling rate 0Hz   FFT Bin Size 0.Hz");
}

TEST(Parameters, NoRateOrLengthGivesZeroThenTheMinimum) {
  const double nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double rate;
    int32_t len;
  } unusable[] = {{0, kLen},  {-12000, kLen}, {nan, kLen}, {inf, kLen},
                  {kRate, 0}, {kRate, -8192}, {0, 0}};
  for (const auto& u : unusable) {
    SCOPED_TRACE(testing::Message() << "rate " << u.rate << " len " << u.len);
    EXPECT_EQ(HzToBin(1000, u.rate, u.len), 0);
    EXPECT_EQ(SigBWHzToBins(100, u.rate, u.len), 1);
    EXPECT_EQ(BinToHz(683, u.rate, u.len), 0);
    EXPECT_EQ(CentreFreqText(683, u.rate, u.len), ".0");
    EXPECT_EQ(SecondsToDetFrames(3, u.rate, u.len), 2);
    EXPECT_EQ(DetFramesToSeconds(4, u.rate, u.len), 0);
    EXPECT_EQ(HistLenFromPeriod(3, u.rate, u.len), 2);
  }
}

TEST(Parameters, NonFiniteInputsNeverReachAField) {
  const double nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  for (double x : {nan, inf, -inf, 1e308, -1e308}) {
    SCOPED_TRACE(x);
    EXPECT_TRUE(std::isfinite(HzToBin(x, 1e-300, kLen)));
    EXPECT_TRUE(std::isfinite(SigBWHzToBins(x, kRate, kLen)));
    EXPECT_TRUE(std::isfinite(BinToHz(x, 1e300, kLen)));
    EXPECT_TRUE(std::isfinite(SecondsToDetFrames(x, 1e300, 1)));
    EXPECT_TRUE(std::isfinite(DetFramesToSeconds(x, 1e-300, kLen)));
    EXPECT_GE(SecondsToDetFrames(x, kRate, kLen), 2);
    const int32_t h = HistLenFromPeriod(x, kRate, kLen);
    EXPECT_TRUE(h >= 2 && h <= 64);
  }
  EXPECT_EQ(HzToBin(nan, kRate, kLen), 0);
  EXPECT_EQ(BinToHz(inf, kRate, kLen), 0);
}

TEST(Parameters, DesignDefaultsConvert) {
  // The design-time texts give the start-up values at 12000 Hz and 8192 points.
  const double rate = ParseLeadingNumber(design::kSRate);
  const int32_t len = RoundHalfEven32(ParseLeadingNumber(design::kFFTSize));
  EXPECT_EQ(HzToBin(ParseLeadingNumber(design::kCF), rate, len), 683);
  EXPECT_EQ(SigBWHzToBins(ParseLeadingNumber(design::kSigBW), rate, len), 68);
  EXPECT_EQ(SecondsToDetFrames(ParseLeadingNumber(design::kDetPeriod), rate, len), 4);
  EXPECT_EQ(HistLenFromPeriod(ParseLeadingNumber(design::kDetPeriod), rate, len), 4);
  EXPECT_EQ(StabFactUDValueFor(ParseLeadingNumber(design::kStabFactor)), 10);
  EXPECT_EQ(ParseLeadingNumber(design::kLogInterval), 0);
}

}  // namespace
}  // namespace corvane
