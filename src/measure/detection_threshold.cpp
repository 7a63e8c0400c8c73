#include "measure/detection_threshold.h"

#include <algorithm>
#include <cmath>

namespace corvane {

double DetectionThreshold::NoiseExceeds(int spectra, double level) {
  if (spectra < 1) return 1;
  if (!(level > 0)) return 1;
  // The sum of k unit exponentials is gamma(k, 1): P(sum > y) = e^-y sum_{i<k} y^i / i!.
  const int k = spectra;
  const double y = k * level;
  if (y >= k) {
    // Terms fall from i = k - 1 downwards by i / y: sum them relative to the largest.
    const double logTop = -y + (k - 1) * std::log(y) - std::lgamma(static_cast<double>(k));
    double rel = 1, term = 1;
    for (int i = k - 1; i > 0; --i) {
      term *= i / y;
      rel += term;
      if (term < 1e-17 * rel) break;
    }
    return std::exp(logTop) * rel;
  }
  // Below the mean: one minus the lower tail, whose terms fall from i = k upwards.
  const double logBottom = -y + k * std::log(y) - std::lgamma(static_cast<double>(k) + 1);
  double rel = 1, term = 1;
  for (int i = k + 1;; ++i) {
    term *= y / i;
    rel += term;
    if (term < 1e-17 * rel) break;
  }
  return std::clamp(1 - std::exp(logBottom) * rel, 0.0, 1.0);
}

double DetectionThreshold::Compute(int spectra, int64_t bins, double falseAlarm) {
  spectra = std::max(spectra, 1);
  bins = std::max<int64_t>(bins, 1);
  falseAlarm = std::clamp(falseAlarm, 1e-12, 0.5);
  // The rate per bin that gives `falseAlarm` for the strongest of `bins`.
  const double perBin = -std::expm1(std::log1p(-falseAlarm) / static_cast<double>(bins));
  double lo = 1, hi = 2;
  while (NoiseExceeds(spectra, hi) > perBin && hi < 1e6) hi *= 2;
  for (int i = 0; i < 100 && hi - lo > 1e-9 * hi; ++i) {
    const double mid = 0.5 * (lo + hi);
    (NoiseExceeds(spectra, mid) > perBin ? lo : hi) = mid;
  }
  return hi;
}

double DetectionThreshold::Level(int spectra, int64_t bins, double falseAlarm) {
  if (spectra != spectra_ || bins != bins_ || falseAlarm != falseAlarm_) {
    spectra_ = spectra;
    bins_ = bins;
    falseAlarm_ = falseAlarm;
    level_ = Compute(spectra, bins, falseAlarm);
  }
  return level_;
}

}  // namespace corvane
