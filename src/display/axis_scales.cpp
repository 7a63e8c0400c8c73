#include "display/axis_scales.h"

#include <cmath>
#include <cstdio>

#include "common/numtext.h"

namespace corvane {

namespace {
// 20 log10(32768) with the factor every dB figure here uses.
const double kFullScaleDb = 2 * kDbFactor * std::log(32768.0);
}  // namespace

double RoundTickStep(double span, double lengthPx, double minSpacingPx) {
  if (!(span > 0) || !(lengthPx > 0) || !std::isfinite(span) || !std::isfinite(lengthPx) ||
      !(minSpacingPx > 0) || !std::isfinite(minSpacingPx))
    return 0;
  const double least = span * minSpacingPx / lengthPx;
  if (!(least > 0) || !std::isfinite(least)) return 0;
  double decade = std::pow(10.0, std::floor(std::log10(least)));
  // log10 may land a hair below a power of ten; the loop below then takes the 10.
  for (;;) {
    for (double m : {1.0, 2.0, 5.0}) {
      // A step that gives exactly the least spacing is wide enough.
      if (m * decade >= least * (1 - 1e-12)) return m * decade;
    }
    decade *= 10;
  }
}

double MinorTickStep(double step) {
  if (!(step > 0)) return 0;
  const double decade = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
  const double lead = step / decade;
  return std::fabs(lead - 2) < 1e-6 ? step / 4 : step / 5;
}

std::vector<double> TickValues(double lo, double hi, double step, std::size_t limit) {
  std::vector<double> ticks;
  if (!(step > 0) || !std::isfinite(lo) || !std::isfinite(hi) || hi < lo) return ticks;
  // Multiples reached by rounding, so 0.1 steps do not drift and an edge that is a
  // multiple itself counts.
  const double first = std::ceil(lo / step - 1e-9);
  const double last = std::floor(hi / step + 1e-9);
  if (!(last - first < static_cast<double>(limit))) return ticks;
  for (double i = first; i <= last; ++i) ticks.push_back(i * step);
  return ticks;
}

std::string TickLabel(double value, double step) {
  int decimals = 0;
  if (step > 0 && step < 1) decimals = static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
  if (std::fabs(value) < step * 1e-6) value = 0;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  std::string s(buf);
  if (s.size() > 1 && s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
  return s;
}

double PlotHeightToLevelDb(double heightUnits) {
  // A power p stands at 25 ln p - 250; the read-outs show DbOf(p) - 50.
  return kDbFactor * (heightUnits + 250) / 25 - 50;
}

double LevelDbToPlotHeight(double levelDb) { return (levelDb + 50) / kDbFactor * 25 - 250; }

double InputLevelToDbfs(double levelDb) { return levelDb + 30 - kFullScaleDb; }

double DbfsToInputLevel(double dbfs) { return dbfs - 30 + kFullScaleDb; }

}  // namespace corvane
