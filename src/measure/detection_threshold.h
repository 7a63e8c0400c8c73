#pragma once
// The detection test of the calibrated figures: the strongest averaged bin of the band must
// stand above the mean noise per bin by a level that noise alone crosses in only a stated
// share of decisions. Each averaged bin of white noise is the mean of `spectra` independent
// exponential powers (a gamma variable); the band's strongest of `bins` such means exceeds the
// level with probability `falseAlarm`. Neighbouring bins are correlated by the window, which
// makes the true rate lower, never higher.

#include <cstdint>

namespace corvane {

class DetectionThreshold {
 public:
  // The level in multiples of the mean noise per bin; cached while the inputs stay the same.
  double Level(int spectra, int64_t bins, double falseAlarm);

  // P(mean of `spectra` independent unit-mean exponential variables > level).
  static double NoiseExceeds(int spectra, double level);
  static double Compute(int spectra, int64_t bins, double falseAlarm);

 private:
  int spectra_ = 0;
  int64_t bins_ = 0;
  double falseAlarm_ = 0;
  double level_ = 0;
};

}  // namespace corvane
