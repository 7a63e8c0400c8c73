#include "display/axis_ticks.h"

#include <cmath>

namespace corvane {

double TickStep(double span, double pixels, double minPx) {
  if (!(span > 0) || !(pixels > 0) || !std::isfinite(span) || !std::isfinite(pixels)) return 0;
  const double least = span * minPx / pixels;  // units that minPx pixels show
  const double decade = std::pow(10.0, std::floor(std::log10(least)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    // A hair of slack: 0.3 / 0.1 lands a bit above 3 and must still pick 5, not 10.
    if (m * decade >= least * (1 - 1e-9)) return m * decade;
  }
  return 10 * decade;
}

std::vector<double> TickValues(double lo, double hi, double step) {
  std::vector<double> out;
  if (!(step > 0) || !(hi >= lo)) return out;
  const double first = std::ceil(lo / step - 1e-9);
  const double last = std::floor(hi / step + 1e-9);
  if (last - first > 10000) return out;
  for (double i = first; i <= last; ++i) out.push_back(i * step);
  return out;
}

int TimeMarkStep(double secondsPerRow, double minRows) {
  static constexpr int kSteps[] = {60,   120,  300,   600,   900,  1800,
                                   3600, 7200, 21600, 43200, 86400};
  if (!(secondsPerRow > 0)) return kSteps[0];
  for (int s : kSteps) {
    if (s / secondsPerRow >= minRows) return s;
  }
  return kSteps[std::size(kSteps) - 1];
}

}  // namespace corvane
