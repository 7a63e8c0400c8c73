#pragma once
// The response of the FFT window to a tone, as a function of the tone's distance from a bin.
// Built once per run from the window table itself, so the calibrated figures stay exact for
// whichever window was chosen: how much of a tone's power lands in each bin, how correlated
// the noise of neighbouring bins is, and how the three-bin frequency ratio maps back to the
// tone's offset.
//
// Conventions are those of ComplexFFT: a tone w[i] e^{-j 2 pi x i / n} transforms to
// Response(k - x) at bin k, and |Response|^2 summed over the n bins is n * SumSq().

#include <array>
#include <complex>
#include <cstdint>
#include <vector>

namespace corvane {

class WindowKernel {
 public:
  WindowKernel() = default;
  // The first n entries of `window`; n >= 8.
  WindowKernel(const float* window, int32_t n);

  bool valid() const { return n_ >= 8 && sumSq_ > 0; }
  int32_t size() const { return n_; }
  double Sum() const { return sum_; }
  double SumSq() const { return sumSq_; }
  // Equivalent noise bandwidth in bins: n * sum(w^2) / sum(w)^2.
  double NoiseBandwidthBins() const;
  // Re E[N(k+1) N(k)*] / E|N(k)|^2 for white noise: the window's correlation of adjacent bins.
  double AdjacentNoiseCorrelation() const { return adjacentCorr_; }
  // Share of the window's power the model accounts for (1 for cosine-sum windows).
  double ModelShare() const { return modelShare_; }

  // Complex response at d bins from a tone of unit amplitude.
  std::complex<double> Response(double d) const;
  // |Response(d)|^2 / (n SumSq()): the share of the tone's power in a bin d bins away.
  double PowerShare(double d) const;
  // Sum of PowerShare(k - x) for the whole bins k = first .. last (|k - x| < n / 2).
  double PowerShareSum(int64_t first, int64_t last, double x) const;

  // The three-bin ratio of a noise-free tone delta bins above the centre bin p:
  // (Re[X(p-1) X(p)*] - Re[X(p+1) X(p)*]) / (2|X(p)|^2 - Re[X(p-1) X(p)*] - Re[X(p+1) X(p)*]).
  double OffsetRatio(double delta) const;
  // Its inverse, clamped to +-MaxOffset().
  double OffsetFromRatio(double ratio) const;
  // The ratio rises strictly with the offset up to this distance (at most 1 bin).
  double MaxOffset() const { return maxOffset_; }

 private:
  static constexpr int kTerms = 3;  // cosine terms each side of 0: up to four-term windows
  static constexpr int kNear = 16;  // bins either side summed exactly; beyond, the edge term
  static constexpr int kTableSteps = 256;  // per bin of offset

  double ShareNear(int64_t first, int64_t last, double x) const;
  double ShareFar(int64_t first, int64_t last, double x) const;

  int32_t n_ = 0;
  double sum_ = 0, sumSq_ = 0;
  double adjacentCorr_ = 0;
  double modelShare_ = 0;
  // c'_m = (DFT of w at m) / n * e^{-j pi m (n-1)/n}, m = -kTerms .. kTerms.
  std::array<std::complex<double>, 2 * kTerms + 1> coef_{};
  std::array<double, 2 * kTerms + 1> sinM_{}, cosM_{};  // sin, cos of pi m / n
  double edgePower_ = 0;  // |sum (-1)^m c'_m|^2: the response far from the tone
  std::vector<double> ratioTable_;  // OffsetRatio at -1 .. 1 bins
  double maxOffset_ = 0;
};

}  // namespace corvane
