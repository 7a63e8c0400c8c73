#pragma once
// Writes 16-bit PCM WAV files of synthetic carriers in noise for the tests.

#include <cmath>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace corvane::testing {

struct CarrierParams {
  double sampleRate = 12000;
  double seconds = 10;
  int channels = 2;          // 2: I/Q (left cos, right sin), 1: mono cos
  double frequencyHz = 1000;
  double amplitude = 3000;   // carrier amplitude per channel, sample units
  double noiseSigma = 0;     // Gaussian noise standard deviation per channel
  bool rightLeads = false;   // true: right = -sin, the other sideband
  uint32_t seed = 1;
  // Digital silence (every sample 0) from silenceFrom to silenceTo seconds.
  double silenceFrom = 0, silenceTo = 0;
};

inline void PutLe(std::vector<char>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

inline std::vector<char> WavBytes(const std::vector<int16_t>& interleaved, int channels,
                                  uint32_t rate) {
  std::vector<char> out;
  const uint32_t dataBytes = static_cast<uint32_t>(interleaved.size() * 2);
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  PutLe(out, 36 + dataBytes, 4);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  PutLe(out, 16, 4);
  PutLe(out, 1, 2);
  PutLe(out, static_cast<uint32_t>(channels), 2);
  PutLe(out, rate, 4);
  PutLe(out, rate * static_cast<uint32_t>(channels) * 2, 4);
  PutLe(out, static_cast<uint32_t>(channels) * 2, 2);
  PutLe(out, 16, 2);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  PutLe(out, dataBytes, 4);
  for (int16_t s : interleaved) PutLe(out, static_cast<uint16_t>(s), 2);
  return out;
}

inline std::vector<int16_t> CarrierSamples(const CarrierParams& c) {
  const auto frames = static_cast<size_t>(c.sampleRate * c.seconds);
  std::vector<int16_t> out;
  out.reserve(frames * static_cast<size_t>(c.channels));
  std::mt19937 rng(c.seed);
  std::normal_distribution<double> noise(0.0, c.noiseSigma > 0 ? c.noiseSigma : 1.0);
  auto clip = [](double v) {
    return static_cast<int16_t>(std::lround(std::fmax(-32768.0, std::fmin(32767.0, v))));
  };
  const double w = 2 * M_PI * c.frequencyHz / c.sampleRate;
  for (size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / c.sampleRate;
    if (t >= c.silenceFrom && t < c.silenceTo) {
      out.insert(out.end(), static_cast<size_t>(c.channels), int16_t{0});
      continue;
    }
    const double ph = w * static_cast<double>(i);
    const double nl = c.noiseSigma > 0 ? noise(rng) : 0.0;
    out.push_back(clip(c.amplitude * std::cos(ph) + nl));
    if (c.channels == 2) {
      const double nr = c.noiseSigma > 0 ? noise(rng) : 0.0;
      const double s = c.rightLeads ? -std::sin(ph) : std::sin(ph);
      out.push_back(clip(c.amplitude * s + nr));
    }
  }
  return out;
}

inline void WriteCarrierWav(const std::string& path, const CarrierParams& c) {
  const auto bytes =
      WavBytes(CarrierSamples(c), c.channels, static_cast<uint32_t>(std::lround(c.sampleRate)));
  std::ofstream f(path, std::ios::binary);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// S/N in 1 Hz of an I/Q carrier of amplitude A per channel in noise of sigma per channel:
// carrier power A^2 over complex noise density 2 sigma^2 / rate.
inline double ExpectedIqSnr1HzDb(const CarrierParams& c) {
  return 10 * std::log10(c.amplitude * c.amplitude * c.sampleRate /
                         (2 * c.noiseSigma * c.noiseSigma));
}

}  // namespace corvane::testing
