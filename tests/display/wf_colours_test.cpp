#include "display/wf_colours.h"

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace corvane {
namespace {

// The raw power whose level is `db` decibels.
float PowerAtDb(double db) { return static_cast<float>(std::exp(db / 4.342944819)); }

Rgb Cols(double level, uint8_t palette) { return WFCols(level, palette); }

TEST(WaterfallLevel, GainAndThresholdPlaceTheScale) {
  // Design settings: gain 50 / 20, threshold 30: 0 at 60 dB, 1 at 162.4 dB.
  EXPECT_NEAR(WaterfallLevel(PowerAtDb(60), 2.5f, 30), 0.0, 1e-6);
  EXPECT_NEAR(WaterfallLevel(PowerAtDb(162.4), 2.5f, 30), 1.0, 1e-6);
  EXPECT_NEAR(WaterfallLevel(PowerAtDb(100), 2.5f, 30), 0.390625, 1e-6);
  // A higher threshold shifts the scale up, a higher gain steepens it about the offset.
  EXPECT_NEAR(WaterfallLevel(PowerAtDb(100), 2.5f, 40), 2.5 * 30 / 256, 1e-6);
  EXPECT_NEAR(WaterfallLevel(PowerAtDb(100), 5.0f, 30), 5.0 * 40 / 256, 1e-6);
  // No power reads as 0 dB, not as minus infinity.
  EXPECT_DOUBLE_EQ(WaterfallLevel(0.0f, 2.5f, 30), 2.5 * -60 / 256);
  EXPECT_DOUBLE_EQ(WaterfallLevel(-1.0f, 2.5f, 30), 2.5 * -60 / 256);
}

TEST(WFCols, ZeroPowerIsClampedAndGivesEachPalettesFloor) {
  double level = WaterfallLevel(0.0f, 2.5f, 30);
  EXPECT_EQ(WFCols(level, 0), (Rgb{0, 0, 0}));
  EXPECT_EQ(level, 0.0);  // the caller's level is clamped in place
  EXPECT_EQ(Cols(level, 1), (Rgb{0, 0, 0}));
  EXPECT_EQ(Cols(level, 2), (Rgb{0, 127, 254}));
}

TEST(WFCols, HundredDbAtDesignSettings) {
  double level = WaterfallLevel(PowerAtDb(100), 2.5f, 30);
  EXPECT_EQ(WFCols(level, 0), (Rgb{0, 255, 167}));  // a = 600, b = 88
}

TEST(WFCols, LevelAboveOneBecomesJustBelowOne) {
  double level = 1.2;
  EXPECT_EQ(WFCols(level, 1), (Rgb{254, 254, 254}));
  EXPECT_EQ(level, 0.996);
  EXPECT_EQ(Cols(1.2, 0), (Rgb{255, 250, 250}));  // a = 1530
  EXPECT_EQ(Cols(0.996, 0), (Rgb{255, 250, 250}));
}

TEST(WFCols, ColourScaleAnchors) {
  const struct {
    int a;
    Rgb colour;
  } anchors[] = {
      {0, {0, 0, 0}},        {128, {0, 0, 128}},     {255, {0, 0, 255}},
      {256, {0, 0, 255}},    {511, {0, 255, 255}},   {512, {0, 255, 255}},
      {767, {0, 255, 0}},    {768, {0, 255, 0}},     {1023, {255, 255, 0}},
      {1024, {255, 255, 0}}, {1279, {255, 0, 0}},    {1280, {255, 0, 0}},
      {1400, {255, 120, 120}}, {1535, {255, 255, 255}},
  };
  for (const auto& anchor : anchors) {
    EXPECT_EQ(Cols(anchor.a / 1536.0, 0), anchor.colour) << "a = " << anchor.a;
  }
}

// Every step of a along the scale moves each component by at most one: a wrong sign or a
// swapped component anywhere in the table shows up as a jump.
TEST(WFCols, ColourScaleIsContinuous) {
  Rgb prev = Cols(0, 0);
  for (int a = 1; a <= 1535; ++a) {
    const Rgb c = Cols(a / 1536.0, 0);
    const int jump = std::max({std::abs(c.r - prev.r), std::abs(c.g - prev.g),
                               std::abs(c.b - prev.b)});
    EXPECT_LE(jump, 1) << "a = " << a;
    prev = c;
  }
}

// Levels from 1535.5/1536 up to 1 round to a = 1536, past the table: they stay white.
TEST(WFCols, TopOfTheColourScaleStaysWhite) {
  EXPECT_EQ(Cols(1535.5 / 1536, 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(Cols(1535.9 / 1536, 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(Cols(1.0, 0), (Rgb{255, 255, 255}));
}

TEST(WFCols, GreyScale) {
  EXPECT_EQ(Cols(0.5, 1), (Rgb{128, 128, 128}));  // 127.5 rounds to the even 128
  EXPECT_EQ(Cols(1.0, 1), (Rgb{255, 255, 255}));
  EXPECT_EQ(Cols(-0.3, 1), (Rgb{0, 0, 0}));
}

TEST(WFCols, CyclicPalette) {
  EXPECT_EQ(Cols(0.25, 2), (Rgb{0, 254, 127}));
  EXPECT_EQ(Cols(0.5, 2), (Rgb{0, 127, 0}));
  EXPECT_EQ(Cols(0.75, 2), (Rgb{0, 0, 127}));
  EXPECT_EQ(Cols(1.0, 2), (Rgb{127, 127, 254}));
  // Above 0.75 red swings between 0 and 254: 8K(level - 0.75) = pi/2 at level ~0.78125.
  EXPECT_EQ(Cols(0.75 + 3.141 / (16 * 6.282), 2).r, 254);
  EXPECT_EQ(Cols(0.75 + 3 * 3.141 / (16 * 6.282), 2).r, 0);
  // Any palette index past 1 is this palette.
  EXPECT_EQ(Cols(0.25, 7), Cols(0.25, 2));
}

// Rows are painted through tables; every level, the rounding ties and the clamps among
// them, must come out in the colour WFCols gives.
TEST(WFCols, PackedColoursAreThoseOfWFCols) {
  std::vector<double> levels = {-1.0, -0.0, 0.0, 0.996, 1.0, 1.0000001, 7.0, 1e300};
  for (int k = 0; k <= 1536; ++k) {
    for (double x : {k / 1536.0, (k + 0.5) / 1536.0}) {
      levels.insert(levels.end(), {x, std::nextafter(x, 0.0), std::nextafter(x, 2.0)});
    }
  }
  for (int g = 0; g <= 255; ++g) levels.push_back((g + 0.5) / 255);
  for (double level : levels) {
    for (const uint8_t palette : {uint8_t{0}, uint8_t{1}, uint8_t{2}}) {
      const Rgb c = Cols(level, palette);
      const uint32_t want = 0xff000000u | static_cast<uint32_t>(c.r) << 16 |
                            static_cast<uint32_t>(c.g) << 8 | static_cast<uint32_t>(c.b);
      ASSERT_EQ(WFColsPacked(level, palette), want)
          << "level " << level << " palette " << int{palette};
    }
  }
}

}  // namespace
}  // namespace corvane
