#pragma once
// Checks that a captured sine of known frequency arrived sample for sample.
//
// Every sampled sinusoid obeys x[n-1] + x[n+1] = 2 cos(w) x[n], whatever its amplitude and
// phase, so a lost, repeated or silent stretch shows as a large residual where it happens.
// A break that falls exactly between two blocks is told apart from one inside a block, and
// the phase of the tone, fitted over each block, tells whether k whole blocks are missing
// there: such a gap turns it by k * w * blockFrames more than none.
// A gap of g frames passes unseen only when g * toneHz / rate is a whole number: with a
// prime such as 997 Hz at 12000 or 48000 Hz, only a gap of whole seconds.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <optional>
#include <vector>

namespace corvane::testing {

class ToneContinuity {
 public:
  struct Break {
    int64_t block = 0;        // the block at whose start (or in which) it was found
    bool atBoundary = false;  // between block - 1 and block, not inside a block
    double extraPhase = 0;    // at a boundary: the phase turned beyond a seamless join
  };

  // `minPeak`: a block whose largest magnitude is below it counts as silent (the tone did
  // not arrive); the check starts after the first block that is not. `threshold`: the
  // residual, in sample units, above which a frame breaks the tone.
  ToneContinuity(double toneHz, double rate, int blockFrames, double minPeak = 2000,
                 double threshold = 40)
      : w_(2 * std::numbers::pi * toneHz / rate),
        c_(2 * std::cos(w_)),
        n_(blockFrames),
        minPeak_(minPeak),
        threshold_(threshold) {}

  // One block of interleaved stereo frames; the left channel is checked.
  void Feed(const int16_t* stereo) {
    int peak = 0;
    for (int i = 0; i < n_; ++i) peak = std::max(peak, std::abs(static_cast<int>(stereo[2 * i])));
    const int64_t block = blocks_++;
    if (peak < minPeak_) {
      if (armed_) ++silent_;
      held_ = 0;
      prevPhase_.reset();
      return;
    }
    // The first block with the tone only primes the check (a resampler starts with a ramp).
    const bool priming = !armed_;
    armed_ = true;
    bool inner = false;
    bool boundary = false;
    for (int i = 0; i < n_; ++i) {
      const double x = stereo[2 * i];
      if (held_ == 2) {
        // The residual of frame i - 1: the previous block's last when i == 0, and a frame
        // of each block when i == 1.
        const double r = std::abs(x1_ + x - c_ * x0_);
        worst_ = std::max(worst_, r);
        if (r > threshold_) (i <= 1 ? boundary : inner) = true;
      }
      x1_ = x0_;
      x0_ = x;
      held_ = std::min(held_ + 1, 2);
    }
    const double phase = PhaseAtStart(stereo);
    if (priming) {
      worst_ = 0;
    } else if (inner) {
      breaks_.push_back({block, false, 0});
    } else if (boundary) {
      breaks_.push_back({block, true, prevPhase_ ? phase - *prevPhase_ - w_ * n_ : 0});
    }
    prevPhase_ = phase;
  }

  // True when the break lies between blocks and k whole blocks missing explain it.
  bool GapIs(const Break& b, int64_t k) const {
    return b.atBoundary && std::abs(std::remainder(b.extraPhase - w_ * n_ * static_cast<double>(k),
                                                   2 * std::numbers::pi)) < 2e-3;
  }

  int64_t blocks() const { return blocks_; }
  // Blocks without the tone after it first arrived.
  int64_t silentBlocks() const { return silent_; }
  const std::vector<Break>& breaks() const { return breaks_; }
  int64_t innerBreaks() const {
    int64_t n = 0;
    for (const Break& b : breaks_) n += b.atBoundary ? 0 : 1;
    return n;
  }
  // The largest residual seen (a clean capture stays at a few sample units).
  double worstResidual() const { return worst_; }

 private:
  // The tone's phase at the block's first frame, least squares over the whole block.
  double PhaseAtStart(const int16_t* stereo) const {
    double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0;
    for (int i = 0; i < n_; ++i) {
      const double c = std::cos(w_ * i), s = std::sin(w_ * i), x = stereo[2 * i];
      cc += c * c;
      ss += s * s;
      cs += c * s;
      xc += x * c;
      xs += x * s;
    }
    const double det = cc * ss - cs * cs;
    const double a = (xc * ss - xs * cs) / det;  // x = a cos + b sin = A cos(wi + phase)
    const double b = (xs * cc - xc * cs) / det;
    return std::atan2(-b, a);
  }

  double w_, c_;
  int n_;
  double minPeak_, threshold_;
  int64_t blocks_ = 0;
  int64_t silent_ = 0;
  bool armed_ = false;
  int held_ = 0;  // previous frames held for the residual, up to 2
  double x0_ = 0, x1_ = 0;
  double worst_ = 0;
  std::optional<double> prevPhase_;
  std::vector<Break> breaks_;
};

}  // namespace corvane::testing
