#include "capture/test_signal.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace corvane {

namespace {

int16_t Clip16(double v) {
  return static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
}

}  // namespace

TestSignal::TestSignal(const TestSignalParams& params)
    : p_(params),
      amplitude_(params.noiseSigma *
                 std::sqrt(2.0 * std::pow(10.0, params.snr1HzDb / 10.0) / params.sampleRate)),
      rng_(params.seed != 0 ? params.seed : std::random_device{}()),
      noise_(0.0, params.noiseSigma) {}

double TestSignal::currentHz() const {
  const double t = static_cast<double>(n_) / p_.sampleRate;
  return p_.centreHz +
         p_.wanderHz * std::sin(2 * std::numbers::pi * t / p_.wanderPeriodS);
}

void TestSignal::Generate(int16_t* stereo, int frames) {
  constexpr double kTwoPi = 2 * std::numbers::pi;
  for (int i = 0; i < frames; ++i) {
    // Every kFrequencyStep frames, counted from the start, the frequency is stepped and the
    // phasor rebuilt from the exact phase; in between the phasor is rotated. Fixed frame
    // numbers keep the output independent of how the caller cuts it into blocks.
    if (n_ % kFrequencyStep == 0) {
      const double step = std::remainder(kTwoPi * currentHz() / p_.sampleRate, kTwoPi);
      if (n_ > 0) phase_ = std::remainder(phase_ + step_ * kFrequencyStep, kTwoPi);
      step_ = step;
      c_ = std::cos(phase_);
      s_ = std::sin(phase_);
      dc_ = std::cos(step_);
      ds_ = std::sin(step_);
    }
    const double l = amplitude_ * c_ + noise_(rng_);
    const double r = amplitude_ * s_ + noise_(rng_);
    stereo[2 * i] = Clip16(l);
    stereo[2 * i + 1] = Clip16(r);
    const double c = c_ * dc_ - s_ * ds_;
    s_ = s_ * dc_ + c_ * ds_;
    c_ = c;
    ++n_;
  }
}

}  // namespace corvane
