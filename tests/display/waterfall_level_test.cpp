// The waterfall's automatic level and the round steps of its scales.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "display/axis_ticks.h"
#include "display/waterfall_level.h"
#include "display/wf_colours.h"

namespace corvane {
namespace {

Rgb Colour(float power, const WaterfallScale& s, uint8_t palette) {
  double level = WaterfallLevel(power, s.gain, s.threshold);
  return WFCols(level, palette);
}
int Brightest(const Rgb& c) { return std::max({c.r, c.g, c.b}); }

// Whatever the receiver's level, the noise comes out dark and a carrier 10 dB above it
// bright, in the colour scale and in grey; noise 3 dB up shows blue, far from the carrier.
TEST(AutoWaterfallLevel, NoiseDarkAndACarrierTenDbUpBright) {
  for (double noise : {1.0e3, 3.0e7, 4.0e10, 2.5e13}) {
    const WaterfallScale s = AutoWaterfallScale(noise);
    const auto n = static_cast<float>(noise);
    const Rgb dark = Colour(n, s, 0);
    const Rgb bright = Colour(10 * n, s, 0);
    EXPECT_LT(Brightest(dark), 40) << noise;
    EXPECT_EQ(bright.g, 255) << noise;  // past green, towards yellow
    EXPECT_GE(bright.r, 100) << noise;
    const Rgb up3 = Colour(static_cast<float>(2 * noise), s, 0);
    EXPECT_EQ(up3.r, 0) << noise;
    EXPECT_LT(up3.g, 100) << noise;
    EXPECT_LT(Colour(n, s, 1).r, 10) << noise;
    EXPECT_GT(Colour(10 * n, s, 1).r, 140) << noise;
  }
}

// A step in the noise floor (the receiver's gain turned up) is followed within seconds, and
// one odd block does not flash the picture.
TEST(AutoWaterfallLevel, FollowsTheFloorWithoutFlickering) {
  AutoWaterfallLevel level;
  const float low = 1.0e7f, high = 1.0e9f;  // 20 dB apart
  WaterfallScale s = level.Follow(low);
  EXPECT_LT(Brightest(Colour(low, s, 0)), 40);  // the first block sets it at once
  s = level.Follow(10 * low);
  EXPECT_LT(Brightest(Colour(low, s, 0)), 100);
  EXPECT_EQ(level.Follow(0).threshold, s.threshold);  // nothing measured: kept
  for (int i = 0; i < 60; ++i) s = level.Follow(high);
  EXPECT_LT(Brightest(Colour(high, s, 0)), 40);
  EXPECT_EQ(Colour(10 * high, s, 0).g, 255);
}

// Labels along an axis stand 80 px apart or more, never more than 2.5 times that, on round
// 1-2-5 steps; the next smaller round step would crowd them.
TEST(AxisTicks, RoundStepsThatNeverCrowd) {
  struct Case {
    double span, pixels;
  };
  for (const Case& c : {Case{5400, 800}, Case{5400, 1500}, Case{22050, 1600}, Case{300, 400},
                        Case{12, 700}, Case{0.7, 90}, Case{96000, 300}}) {
    const double step = TickStep(c.span, c.pixels);
    const double apart = step / c.span * c.pixels;
    EXPECT_GE(apart, 80 - 1e-6) << c.span << " over " << c.pixels;
    EXPECT_LE(apart, 200 + 1e-6) << c.span << " over " << c.pixels;
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step)));
    EXPECT_TRUE(std::abs(mantissa - 1) < 1e-9 || std::abs(mantissa - 2) < 1e-9 ||
                std::abs(mantissa - 5) < 1e-9)
        << step;
    const double smaller = mantissa == 1 ? step / 2 : mantissa == 2 ? step / 2 : step * 2 / 5;
    EXPECT_LT(smaller / c.span * c.pixels, 80) << step;
  }
  EXPECT_EQ(TickStep(5400, 800), 1000);
  const std::vector<double> ticks = TickValues(150, 5400, 1000);
  EXPECT_EQ(ticks, (std::vector<double>{1000, 2000, 3000, 4000, 5000}));
  EXPECT_EQ(TickStep(0, 800), 0);
}

// A mark a minute while rows come fast enough to keep them apart, wider steps when not.
TEST(AxisTicks, TimeMarksAboutEveryMinute) {
  EXPECT_EQ(TimeMarkStep(8192.0 / 48000, 40), 60);
  EXPECT_EQ(TimeMarkStep(8192.0 / 12000, 40), 60);
  EXPECT_EQ(TimeMarkStep(65536.0 / 8000, 40), 600);  // 8.2 s a row: 73 rows apart
  EXPECT_EQ(TimeMarkStep(2.0, 40), 120);
}

}  // namespace
}  // namespace corvane
