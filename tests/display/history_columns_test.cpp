#include "display/history_columns.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace corvane {
namespace {

const float kNaN = std::nanf("");

HistorySeries Series(std::vector<double> t, std::vector<float> v) {
  HistorySeries s;
  s.t = std::move(t);
  s.v = std::move(v);
  return s;
}

std::vector<double> Range(double from, double to, double step = 1) {
  std::vector<double> t;
  for (double x = from; x < to; x += step) t.push_back(x);
  return t;
}

struct Column {
  float min, max;
  bool joined;
};

struct ReduceCase {
  const char* name;
  HistorySeries series;
  double t0, t1;
  int columns;
  std::vector<Column> expected;
  size_t outages;
};

TEST(HistoryColumns, MinimumMaximumAndWhereLinesBreak) {
  std::vector<float> saw(100);
  for (size_t i = 0; i < saw.size(); ++i) saw[i] = static_cast<float>(i % 10);
  std::vector<float> tenGood(10, 1.0f);
  std::vector<float> oneMissing = tenGood;
  oneMissing[5] = kNaN;
  std::vector<float> missingInside = tenGood;
  missingInside[2] = kNaN;
  std::vector<double> twoRuns = Range(0, 5);
  for (double t : Range(20, 25)) twoRuns.push_back(t);

  const std::vector<ReduceCase> cases = {
      {"ten records to a column",
       Series(Range(0, 100), saw),
       0,
       100,
       10,
       {{0, 9, false},
        {0, 9, true},
        {0, 9, true},
        {0, 9, true},
        {0, 9, true},
        {0, 9, true},
        {0, 9, true},
        {0, 9, true},
        {0, 9, true},
        {0, 9, true}},
       0},
      {"a missing value breaks the line",
       Series(Range(0, 10), oneMissing),
       0,
       10,
       10,
       {{1, 1, false},
        {1, 1, true},
        {1, 1, true},
        {1, 1, true},
        {1, 1, true},
        {1, 1, false},
        {1, 1, true},
        {1, 1, true},
        {1, 1, true}},
       0},
      {"a missing value inside a column is below a pixel",
       Series(Range(0, 10), missingInside),
       0,
       10,
       2,
       {{1, 1, false}, {1, 1, true}},
       0},
      {"a stretch without records breaks the line",
       Series(twoRuns, std::vector<float>(10, 2)),
       0,
       25,
       5,
       {{2, 2, false}, {2, 2, false}},
       1},
  };
  for (const ReduceCase& c : cases) {
    const ColumnReduction r = ReduceToColumns(c.series, c.t0, c.t1, c.columns, 3.5);
    ASSERT_EQ(r.columns.size(), c.expected.size()) << c.name;
    for (size_t i = 0; i < r.columns.size(); ++i) {
      EXPECT_EQ(r.columns[i].min, c.expected[i].min) << c.name << " column " << i;
      EXPECT_EQ(r.columns[i].max, c.expected[i].max) << c.name << " column " << i;
      EXPECT_EQ(r.columns[i].joined, c.expected[i].joined) << c.name << " column " << i;
    }
    EXPECT_EQ(r.outages.size(), c.outages) << c.name;
  }
}

TEST(HistoryColumns, LinesRunOnToTheNeighboursOutsideTheView) {
  // Records every 5 s, the view from 12 to 22 s in 10 columns: the records at 10 and 25 s lie
  // outside and are kept at their exact places, so the line reaches both edges.
  const ColumnReduction r =
      ReduceToColumns(Series(Range(0, 40, 5), std::vector<float>(8, 3)), 12, 22, 10, 17.5);
  ASSERT_EQ(r.columns.size(), 4u);
  EXPECT_DOUBLE_EQ(r.columns[0].x, -2.0);
  EXPECT_DOUBLE_EQ(r.columns[1].x, 3.5);
  EXPECT_DOUBLE_EQ(r.columns[2].x, 8.5);
  EXPECT_DOUBLE_EQ(r.columns[3].x, 13.0);
  EXPECT_TRUE(r.columns[3].joined);
  EXPECT_FLOAT_EQ(r.columns[1].mean, 3);
}

TEST(HistoryColumns, OutageOutsideEveryRecordCoversTheView) {
  // Nothing between 10 and 100 s: the view from 40 to 60 s is one outage from edge to edge.
  const ColumnReduction r =
      ReduceToColumns(Series({9, 10, 100, 101}, {1, 1, 1, 1}), 40, 60, 20, 3.5);
  ASSERT_EQ(r.outages.size(), 1u);
  EXPECT_LT(r.outages[0].first, 0);
  EXPECT_GT(r.outages[0].second, 20);
  ASSERT_EQ(r.columns.size(), 2u);
  EXPECT_FALSE(r.columns[1].joined);
}

TEST(HistoryColumns, ScalesResistAFewWildRecords) {
  // One-second records with a two-hour outage: the usual interval is still one second.
  std::vector<double> t = Range(0, 3600);
  for (double x : Range(10800, 14400)) t.push_back(x);
  EXPECT_EQ(TypicalInterval(Series(t, std::vector<float>(t.size(), 0))), 1.0);

  // A peak found in the noise now and then does not flatten the carrier near 1000 Hz.
  std::vector<float> freq(1000, 1000.0f);
  for (size_t i = 0; i < freq.size(); ++i) freq[i] += static_cast<float>(i % 7) * 0.5f;
  freq[100] = 3000;
  freq[700] = 200;
  double lo = 0, hi = 0;
  ASSERT_TRUE(RobustRange(freq, &lo, &hi));
  EXPECT_EQ(lo, 1000);
  EXPECT_EQ(hi, 1003);
  EXPECT_FALSE(RobustRange({kNaN}, &lo, &hi));
}

TEST(HistoryColumns, RoundTicks) {
  const ValueTicks a = NiceTicks(-131.3, 3.2);
  EXPECT_EQ(a.step, 5);
  EXPECT_EQ(a.first, -130);
  EXPECT_EQ(a.decimals, 0);
  const ValueTicks b = NiceTicks(0.0013, 0.0012);
  EXPECT_DOUBLE_EQ(b.step, 0.002);
  EXPECT_EQ(b.decimals, 3);

  EXPECT_EQ(TimeTickStep(1.0, 80), 120);                // a second a pixel: two minutes
  EXPECT_EQ(TimeTickStep(604800 / 1400.0, 80), 43200);  // a week in 1400 pixels: 12 hours
  EXPECT_EQ(TimeTickStep(1e6, 80), 604800);
  const double tue = 20795.0 * 86400 + 7 * 3600;  // Tuesday 2026-12-08 07:00 UTC
  EXPECT_EQ(FirstTimeTick(tue, 21600), 20795.0 * 86400 + 12 * 3600);
  EXPECT_EQ(FirstTimeTick(tue, 604800), (20795.0 + 6) * 86400);  // the next Monday
}

}  // namespace
}  // namespace corvane
