#include "measure/window_kernel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace corvane {

namespace {
constexpr double kPi = std::numbers::pi;
}

WindowKernel::WindowKernel(const float* window, int32_t n) {
  if (window == nullptr || n < 8) return;
  n_ = n;
  const double nd = n;

  // The window's DFT at the few bins where a cosine-sum window has all its power, and the
  // DFT of w^2 at bin 1 for the correlation of neighbouring noise bins.
  std::array<std::complex<double>, kTerms + 1> dft{};
  std::complex<double> sq1{};
  for (int32_t i = 0; i < n; ++i) {
    const double w = window[i];
    sum_ += w;
    sumSq_ += w * w;
    const std::complex<double> e = std::polar(1.0, 2 * kPi * i / nd);
    std::complex<double> em = 1.0;
    for (int m = 0; m <= kTerms; ++m, em *= e) dft[m] += w * em;
    sq1 += w * w * e;
  }
  if (!(sumSq_ > 0)) {
    n_ = 0;
    return;
  }
  adjacentCorr_ = sq1.real() / sumSq_;

  double captured = 0;
  std::complex<double> edge{};
  for (int m = -kTerms; m <= kTerms; ++m) {
    const std::complex<double> d = m >= 0 ? dft[m] : std::conj(dft[-m]);
    captured += std::norm(d);
    const auto idx = static_cast<std::size_t>(m + kTerms);
    coef_[idx] = d / nd * std::polar(1.0, -kPi * m * (nd - 1) / nd);
    sinM_[idx] = std::sin(kPi * m / nd);
    cosM_[idx] = std::cos(kPi * m / nd);
    edge += (m % 2 == 0 ? 1.0 : -1.0) * coef_[idx];
  }
  modelShare_ = captured / (nd * sumSq_);
  edgePower_ = std::norm(edge);

  ratioTable_.resize(2 * kTableSteps + 1);
  for (int i = 0; i <= 2 * kTableSteps; ++i) {
    ratioTable_[i] = OffsetRatio(-1.0 + static_cast<double>(i) / kTableSteps);
  }
  // The usable range: where the ratio still rises on both sides of 0.
  int up = 0;
  while (kTableSteps + up + 1 <= 2 * kTableSteps &&
         ratioTable_[kTableSteps + up + 1] > ratioTable_[kTableSteps + up]) {
    ++up;
  }
  int down = 0;
  while (kTableSteps - down - 1 >= 0 &&
         ratioTable_[kTableSteps - down - 1] < ratioTable_[kTableSteps - down]) {
    ++down;
  }
  maxOffset_ = static_cast<double>(std::min(up, down)) / kTableSteps;
}

double WindowKernel::NoiseBandwidthBins() const {
  return valid() && sum_ != 0 ? n_ * sumSq_ / (sum_ * sum_) : 0.0;
}

std::complex<double> WindowKernel::Response(double d) const {
  if (!valid()) return {};
  const double nd = n_;
  const double s = std::sin(kPi * d);
  const double a = std::sin(kPi * d / nd);
  const double b = std::cos(kPi * d / nd);
  std::complex<double> acc{};
  for (int m = -kTerms; m <= kTerms; ++m) {
    const auto idx = static_cast<std::size_t>(m + kTerms);
    const double y = d - m;
    double r;
    if (std::abs(y) < 1e-6) {
      r = nd;  // sin(pi y) / sin(pi y / n) at y = 0
    } else {
      // sin(pi (d - m)) = (-1)^m sin(pi d); sin(pi (d - m) / n) by the difference formula.
      r = (m % 2 == 0 ? s : -s) / (a * cosM_[idx] - b * sinM_[idx]);
    }
    acc += coef_[idx] * r;
  }
  return std::polar(1.0, kPi * d * (nd - 1) / nd) * acc;
}

double WindowKernel::PowerShare(double d) const {
  if (!valid()) return 0;
  return std::norm(Response(d)) / (static_cast<double>(n_) * sumSq_);
}

double WindowKernel::ShareFar(int64_t first, int64_t last, double x) const {
  if (first > last) return 0;
  // Far from the tone only the window's edge step is left: |R|^2 = edge sin^2(pi x) /
  // sin^2(pi (k - x) / n), summed by the midpoint rule as an integral of 1 / sin^2.
  const double nd = n_;
  const double s = std::sin(kPi * x);
  const double ua = kPi * (static_cast<double>(first) - 0.5 - x) / nd;
  const double ub = kPi * (static_cast<double>(last) + 0.5 - x) / nd;
  const double sumInvSin2 = nd / kPi * (1.0 / std::tan(ua) - 1.0 / std::tan(ub));
  return edgePower_ * s * s * sumInvSin2 / (nd * sumSq_);
}

double WindowKernel::ShareNear(int64_t first, int64_t last, double x) const {
  if (first > last) return 0;
  // PowerShare(k - x) for consecutive k. sin(pi (k - m - x)) is +-sin(pi x) and
  // sin(pi (k - m - x) / n) = sin(a[k - m]) with a[j] = pi (j - x) / n, which a rotation by
  // pi / n steps through: no trigonometry per bin.
  const double nd = n_;
  const double sx = std::sin(kPi * x);
  const int64_t j0 = first - kTerms;
  const auto count = static_cast<std::size_t>(last - first + 2 * kTerms + 1);
  std::array<double, 2 * (kNear + kTerms) + 1> sinA{};
  if (count > sinA.size()) return 0;
  double s = std::sin(kPi * (static_cast<double>(j0) - x) / nd);
  double c = std::cos(kPi * (static_cast<double>(j0) - x) / nd);
  const double rs = std::sin(kPi / nd), rc = std::cos(kPi / nd);
  for (std::size_t i = 0; i < count; ++i) {
    sinA[i] = s;
    const double t = s * rc + c * rs;
    c = c * rc - s * rs;
    s = t;
  }
  // r(j - x) = sin(pi (j - x)) / sin(pi (j - x) / n), with sin(pi (j - x)) = (-1)^(j+1) sin(pi x)
  // and its limit n where j - x vanishes.
  std::array<double, 2 * (kNear + kTerms) + 1> r{};
  for (std::size_t i = 0; i < count; ++i) {
    const auto j = j0 + static_cast<int64_t>(i);
    r[i] = std::abs(static_cast<double>(j) - x) < 1e-6 ? nd : ((j & 1) != 0 ? sx : -sx) / sinA[i];
  }
  double total = 0;
  for (int64_t k = first; k <= last; ++k) {
    double re = 0, im = 0;
    for (int m = -kTerms; m <= kTerms; ++m) {
      const double rm = r[static_cast<std::size_t>(k - m - j0)];
      const auto idx = static_cast<std::size_t>(m + kTerms);
      re += coef_[idx].real() * rm;
      im += coef_[idx].imag() * rm;
    }
    total += re * re + im * im;
  }
  return total / (nd * sumSq_);
}

double WindowKernel::PowerShareSum(int64_t first, int64_t last, double x) const {
  if (!valid() || first > last) return 0;
  const auto nearLo = static_cast<int64_t>(std::ceil(x - kNear));
  const auto nearHi = static_cast<int64_t>(std::floor(x + kNear));
  double total = ShareNear(std::max(first, nearLo), std::min(last, nearHi), x);
  total += ShareFar(first, std::min(last, nearLo - 1), x);
  total += ShareFar(std::max(first, nearHi + 1), last, x);
  return total;
}

double WindowKernel::OffsetRatio(double delta) const {
  const std::complex<double> below = Response(-1 - delta);
  const std::complex<double> centre = Response(-delta);
  const std::complex<double> above = Response(1 - delta);
  const double lo = (below * std::conj(centre)).real();
  const double hi = (above * std::conj(centre)).real();
  const double den = 2 * std::norm(centre) - lo - hi;
  return den != 0 ? (lo - hi) / den : 0.0;
}

double WindowKernel::OffsetFromRatio(double ratio) const {
  if (ratioTable_.empty() || maxOffset_ <= 0 || !std::isfinite(ratio)) return 0;
  const int span = static_cast<int>(std::lround(maxOffset_ * kTableSteps));
  const int first = kTableSteps - span;
  const int last = kTableSteps + span;
  if (ratio <= ratioTable_[first]) return -maxOffset_;
  if (ratio >= ratioTable_[last]) return maxOffset_;
  const auto begin = ratioTable_.begin() + first;
  const auto it = std::upper_bound(begin, ratioTable_.begin() + last + 1, ratio);
  const auto i = static_cast<int>(it - ratioTable_.begin()) - 1;
  const double t = (ratio - ratioTable_[i]) / (ratioTable_[i + 1] - ratioTable_[i]);
  return -1.0 + (i + t) / kTableSteps;
}

}  // namespace corvane
