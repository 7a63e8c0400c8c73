#pragma once
// The simulated beacon: a complex carrier in white Gaussian noise, as interleaved I/Q
// frames. Left = A cos(phi), right = A sin(phi): the block loop forms L - jR = A e^{-j phi}
// and the positive-exponent FFT puts that at +f, so the carrier shows at centreHz with the
// sideband box unchecked. The frequency wanders slowly and sinusoidally around centreHz;
// the phase is carried across blocks, so successive blocks join without a step.

#include <cstdint>
#include <random>

namespace corvane {

struct TestSignalParams {
  double sampleRate = 12000;
  double centreHz = 1000;
  double snr1HzDb = 30;       // carrier power over noise density
  double noiseSigma = 2000;   // per channel; keeps the sum well inside 16 bits
  double wanderHz = 1.0;      // peak frequency excursion
  double wanderPeriodS = 1200;  // 20 min: at most 2*pi*1/1200*60 = 0.31 Hz per minute
  uint64_t seed = 0;          // 0: a seed of its own
};

class TestSignal {
 public:
  explicit TestSignal(const TestSignalParams& params);

  // Fills `frames` interleaved stereo frames and advances the signal's clock.
  void Generate(int16_t* stereo, int frames);

  // Carrier amplitude per channel: the complex carrier's power A^2 over the complex noise
  // density 2 sigma^2 / rate gives snr1HzDb.
  double carrierAmplitude() const { return amplitude_; }
  // The carrier frequency at the next frame.
  double currentHz() const;
  int64_t framesGenerated() const { return n_; }

 private:
  TestSignalParams p_;
  double amplitude_;
  static constexpr int64_t kFrequencyStep = 256;
  double phase_ = 0;  // radians at the last frequency step
  double step_ = 0;   // radians per frame
  double c_ = 1, s_ = 0, dc_ = 1, ds_ = 0;  // phasor and its rotation
  int64_t n_ = 0;
  std::mt19937_64 rng_;
  std::normal_distribution<double> noise_;
};

}  // namespace corvane
