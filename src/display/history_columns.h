#pragma once
// Many records, few pixels: a quantity's time line reduced to what each pixel column shows,
// and the scales of the history's panes. Plain maths, no drawing.

#include <utility>
#include <vector>

#include "logging/log_history.h"

namespace corvane {

// A stretch without records longer than this many usual intervals is a gap; records a
// little late (a busy block loop delays the tick) are not.
inline constexpr double kGapIntervals = 3.5;

struct PlotColumn {
  double x;  // in columns from the left edge: the column's middle; for the neighbour just
             // outside the view, its exact place, so lines run on to the edge
  float min, max, mean;  // of the present values in the column
  bool joined;           // a line runs to it from the previous column
};

struct ColumnReduction {
  std::vector<PlotColumn> columns;
  std::vector<std::pair<double, double>> outages;  // stretches without records, in columns
};

// The records of `s` from t0 to t1 in `columns` pixel columns. Two present values are joined
// only when no missing value stands between them and they are at most `gapSeconds` apart;
// inside one column, missing values and short gaps are below a pixel and not shown.
ColumnReduction ReduceToColumns(const HistorySeries& s, double t0, double t1, int columns,
                                double gapSeconds);

// The usual spacing of records: the median step between successive ones (1 when unknown).
double TypicalInterval(const HistorySeries& s);

// Where the bulk of `values` lies: from the 1st to the 99th percentile, so that a few wild
// records (a peak found in the noise) do not flatten the rest. False when there are none.
bool RobustRange(std::vector<float> values, double* lo, double* hi);

struct ValueTicks {
  double first = 0;  // lowest tick at or above the range's low end
  double step = 1;   // 1, 2 or 5 times a power of ten
  int decimals = 0;  // digits after the point that the step needs
};
// Ticks from `lo` up, at least `minStep` apart.
ValueTicks NiceTicks(double lo, double minStep);

// The time step (1 s ... 1 week) of ticks at least `minPixels` apart, and the first tick at
// or after t0. Ticks fall on round UTC times: hours from midnight, weeks from a Monday.
double TimeTickStep(double secondsPerPixel, double minPixels);
double FirstTimeTick(double t0, double step);
// The same steps for the waterfall's time marks, a minute at the least.
double TimeMarkStep(double secondsPerRow, double minRows);

}  // namespace corvane
