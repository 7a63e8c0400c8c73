// The waterfall's automatic level and the steps of its time marks.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "display/history_columns.h"
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

// A mark a minute while rows come fast enough to keep them apart, wider steps when not.
TEST(WaterfallTimeMarks, AboutEveryMinute) {
  EXPECT_EQ(TimeMarkStep(8192.0 / 48000, 40), 60);
  EXPECT_EQ(TimeMarkStep(8192.0 / 12000, 40), 60);
  EXPECT_EQ(TimeMarkStep(65536.0 / 8000, 40), 600);  // 8.2 s a row: 73 rows apart
  EXPECT_EQ(TimeMarkStep(2.0, 40), 120);
}

}  // namespace
}  // namespace corvane
