#pragma once
// Drift as the least-squares slope of the carrier frequency against time over a stated span
// of the source's clock. Times, not block counts: dropped blocks leave gaps, not errors.

#include <deque>
#include <optional>

namespace corvane {

class DriftFit {
 public:
  struct Slope {
    double hzPerS = 0;
    double spanS = 0;  // time between the first and last point used
    int points = 0;
  };

  explicit DriftFit(double spanS = 60) : span_(spanS) {}
  void Reset(double spanS);
  double span() const { return span_; }

  // A frequency measured at time t. A time before the last one starts the fit afresh.
  void Add(double t, double hz);
  // Drops points older than span before `now`.
  void Prune(double now);
  // Empty until at least three points cover half the span.
  std::optional<Slope> Fit() const;

 private:
  double span_;
  std::deque<std::pair<double, double>> points_;
};

}  // namespace corvane
