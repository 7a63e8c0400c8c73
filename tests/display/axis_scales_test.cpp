#include "display/axis_scales.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace corvane {
namespace {

struct StepCase {
  const char* what;
  double span, lengthPx, step;
};

// The steps the axes take at the window sizes and rates people use, and the edges of the
// rule. 80 px is the closest labels may come.
TEST(AxisScales, RoundStepsNeverCloserThanTheLeastSpacing) {
  const StepCase cases[] = {
      {"12000 Hz, 8192 points after START (3686 bins), 900 px", 3686 * 12000.0 / 8192, 900, 500},
      {"44100 Hz after START, 900 px", 3686 * 44100.0 / 8192, 900, 2000},
      {"the same over a 1700 px plot", 3686 * 44100.0 / 8192, 1700, 1000},
      {"a 1000 Hz band over 600 px", 1000, 600, 200},
      {"the level scale over a 300 px plot", 315.3, 300, 100},
      {"the level scale over a 700 px plot", 315.3, 700, 50},
      {"exactly 80 px per 100", 1000, 800, 100},
      {"a hair under 80 px per 100", 1000, 799.99, 200},
      {"a 20 Hz span over 900 px", 20, 900, 2},
      {"a tiny span", 0.3, 500, 0.05},
      {"the meter's 50 dB over 280 px", 50, 280, 20},
  };
  for (const StepCase& c : cases) {
    const double step = RoundTickStep(c.span, c.lengthPx, 80);
    EXPECT_NEAR(step, c.step, c.step * 1e-12) << c.what;
    const double spacing = step / c.span * c.lengthPx;
    EXPECT_GE(spacing, 80 * (1 - 1e-9)) << c.what;
    EXPECT_LT(spacing, 200) << c.what;
  }
}

TEST(AxisScales, NothingToLabelGivesNoStepAndNoTicks) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (auto [span, len] : {std::pair{0.0, 900.0}, {-5.0, 900.0}, {1000.0, 0.0}, {nan, 900.0},
                           {1000.0, nan}, {inf, 900.0}}) {
    EXPECT_EQ(RoundTickStep(span, len, 80), 0) << span << " over " << len;
  }
  EXPECT_TRUE(TickValues(0, 5000, 0).empty());
  EXPECT_TRUE(TickValues(0, 1e12, 1).empty());  // beyond the limit: nothing, not a million
}

TEST(AxisScales, TicksAreExactMultiplesIncludingTheEdges) {
  EXPECT_EQ(TickValues(20, 5419.4, 500),
            (std::vector<double>{500, 1000, 1500, 2000, 2500, 3000, 3500, 4000, 4500, 5000}));
  EXPECT_EQ(TickValues(-6.57, 308.7, 100), (std::vector<double>{0, 100, 200, 300}));
  EXPECT_EQ(TickValues(1000, 2000, 500), (std::vector<double>{1000, 1500, 2000}));
  // Tenths that do not drift: the last one is 1.0, not 0.9999999.
  const auto tenths = TickValues(0.3, 1.0, 0.1);
  ASSERT_EQ(tenths.size(), 8u);
  EXPECT_EQ(TickLabel(tenths.back(), 0.1), "1.0");
  EXPECT_EQ(TickLabel(tenths.front(), 0.1), "0.3");
}

TEST(AxisScales, LabelsAndMinorSteps) {
  EXPECT_EQ(TickLabel(1500, 500), "1500");
  EXPECT_EQ(TickLabel(-1e-13, 100), "0");
  EXPECT_EQ(TickLabel(-60, 10), "-60");
  EXPECT_EQ(TickLabel(0.15, 0.05), "0.15");
  EXPECT_EQ(MinorTickStep(500), 100);
  EXPECT_EQ(MinorTickStep(200), 50);
  EXPECT_EQ(MinorTickStep(100), 20);
  EXPECT_NEAR(MinorTickStep(0.2), 0.05, 1e-15);
}

// The vertical axis agrees with the read-outs: a power drawn at a height is labelled with
// what "Noise" would show for it, DbOf(p) - 50.
TEST(AxisScales, LevelScaleMatchesTheReadOuts) {
  for (double p : {1.0, 1.0e3, 2.5e7, 1.0e12}) {
    const double height = 25 * std::log(p) - 250;
    EXPECT_NEAR(PlotHeightToLevelDb(height), 4.342944819 * std::log(p) - 50, 1e-9) << p;
    EXPECT_NEAR(LevelDbToPlotHeight(PlotHeightToLevelDb(height)), height, 1e-9) << p;
  }
  // The plot's bottom edge and top edge (1815 units).
  EXPECT_NEAR(PlotHeightToLevelDb(0), -6.57, 0.005);
  EXPECT_NEAR(PlotHeightToLevelDb(1815), 308.73, 0.005);
}

// The meter's top (a peak of 10 000, level 50) is -10.3 dBFS; a full-scale peak is 0 dBFS.
TEST(AxisScales, MeterLevelAsDbfs) {
  EXPECT_NEAR(InputLevelToDbfs(50), 20 * std::log10(10000.0 / 32768), 1e-6);
  EXPECT_NEAR(InputLevelToDbfs(20 * std::log10(32768.0) - 30), 0, 1e-6);
  EXPECT_NEAR(DbfsToInputLevel(InputLevelToDbfs(17.5)), 17.5, 1e-12);
}

}  // namespace
}  // namespace corvane
