// carrier_wav: writes an I/Q carrier in white Gaussian noise as a 16-bit stereo WAV file
// (left cos, right sin), for playing into a live input and reading back with --fast.
//
//   carrier_wav FILE SECONDS RATE HZ SNR_1HZ_DB NOISE_SIGMA
//
// The carrier's amplitude follows from the S/N in 1 Hz and the noise per channel.

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "support/test_wav.h"

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: carrier_wav FILE SECONDS RATE HZ SNR_1HZ_DB NOISE_SIGMA\n");
    return 2;
  }
  corvane::testing::CarrierParams c;
  c.seconds = std::atof(argv[2]);
  c.sampleRate = std::atof(argv[3]);
  c.frequencyHz = std::atof(argv[4]);
  const double snrDb = std::atof(argv[5]);
  c.noiseSigma = std::atof(argv[6]);
  c.seed = 7;
  if (!(c.seconds > 0) || !(c.sampleRate > 0) || !(c.noiseSigma > 0)) {
    std::fprintf(stderr, "carrier_wav: seconds, rate and sigma must be positive\n");
    return 2;
  }
  // The inverse of ExpectedIqSnr1HzDb: A^2 rate / (2 sigma^2) = 10^(snr/10).
  c.amplitude =
      std::sqrt(std::pow(10, snrDb / 10) * 2 * c.noiseSigma * c.noiseSigma / c.sampleRate);
  corvane::testing::WriteCarrierWav(argv[1], c);
  std::printf("carrier amplitude %.1f, noise sigma %.1f per channel, S/N in 1 Hz %.2f dB\n",
              c.amplitude, c.noiseSigma, corvane::testing::ExpectedIqSnr1HzDb(c));
  return 0;
}
