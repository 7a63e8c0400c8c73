#include "measure/drift_fit.h"

#include <cmath>

namespace corvane {

void DriftFit::Reset(double spanS) {
  span_ = spanS > 0 && std::isfinite(spanS) ? spanS : 60.0;
  points_.clear();
}

void DriftFit::Add(double t, double hz) {
  if (!std::isfinite(t) || !std::isfinite(hz)) return;
  if (!points_.empty() && t < points_.back().first) points_.clear();
  points_.emplace_back(t, hz);
}

void DriftFit::Prune(double now) {
  if (!points_.empty() && now < points_.back().first) {
    points_.clear();
    return;
  }
  while (!points_.empty() && points_.front().first < now - span_) points_.pop_front();
}

std::optional<DriftFit::Slope> DriftFit::Fit() const {
  if (points_.size() < 3) return std::nullopt;
  const double covered = points_.back().first - points_.front().first;
  if (covered < 0.5 * span_) return std::nullopt;
  // Centred sums: no cancellation however long the clock has run.
  const double n = static_cast<double>(points_.size());
  double mt = 0, mf = 0;
  for (const auto& [t, f] : points_) {
    mt += t;
    mf += f;
  }
  mt /= n;
  mf /= n;
  double stt = 0, stf = 0;
  for (const auto& [t, f] : points_) {
    stt += (t - mt) * (t - mt);
    stf += (t - mt) * (f - mf);
  }
  if (!(stt > 0)) return std::nullopt;
  return Slope{stf / stt, covered, static_cast<int>(points_.size())};
}

}  // namespace corvane
