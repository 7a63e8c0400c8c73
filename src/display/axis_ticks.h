#pragma once
// Round steps for axis labels and the waterfall's time marks. Qt-free.

#include <vector>

namespace corvane {

// A 1-2-5 step (…, 10, 20, 50, 100, …) for labels along `pixels` pixels showing `span`
// units: the smallest whose labels stand at least `minPx` apart, so they never crowd (at
// most 2.5 × minPx apart, the widest gap between 1-2-5 steps). 0 for an empty axis.
double TickStep(double span, double pixels, double minPx = 80);

// The multiples of `step` from lo to hi inclusive, rising.
std::vector<double> TickValues(double lo, double hi, double step);

// Seconds between time marks down a picture that gains one row every `secondsPerRow`: a
// minute, or the smallest of 2, 5, 10, 15, 30 min, 1, 2, 6, 12, 24 h that puts the marks at
// least `minRows` rows apart.
int TimeMarkStep(double secondsPerRow, double minRows);

}  // namespace corvane
