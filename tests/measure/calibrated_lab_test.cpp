// The calibrated figures against signals of known truth: a tone in Gaussian noise of known
// density, made here, through the conversion and the FFT the block loop uses, over the
// rates, FFT lengths, windows, I/Q and mono, tone on a bin and half-way between bins.
//
// The noise goes through the whole path (16-bit frames, ConvertBlock, ComplexFFT). The
// steady tone is added to the transformed noise: the transform is linear, and a steady
// tone's spectrum in block b is that of block 0 turned by the phase it has gained, so one
// noise transform serves every level and position (formed only over the points the estimator
// reads). The drifting tone is transformed block by block.
//
// Frequency and drift are held to their bounds where bins are 1.46 Hz or finer. With the
// 47 Hz bins of 48000 Hz / 1024 points a 40 dB-Hz carrier's frequency scatters by about
// 0.1 Hz per record and its slope by about 0.003 Hz/s: the steady carrier's are printed,
// not held to 0.005, and no drifting carrier is run there.
//
// CORVANE_LAB_TABLE=1 prints the table of truth, measured and error per case.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "capture/block_convert.h"
#include "dsp/fft.h"
#include "measure/calibrated_estimator.h"
#include "settings/parameters.h"

namespace corvane {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kSigma = 1000;                              // noise per channel, samples
constexpr double kNoiseVar = kSigma * kSigma + 1.0 / 12.0;   // with the rounding to integers
constexpr double kLevels[] = {15, 20, 30, 40, 50, 60};       // dB-Hz
constexpr double kDrift = 0.05;                              // Hz/s
constexpr double kDriftLevel = 40;
constexpr double kIntegrationS = 20;
constexpr double kSpanS = 60;
constexpr const char* kWindowNames[] = {"Hamming", "Blackman Harris", "Hanning", "No Window"};

struct LabConfig {
  double rate;
  int32_t n;
  double seconds;
  bool fineBins;  // 1.46 Hz or finer: frequency and drift held to their bounds
};

std::string ConfigName(const LabConfig& c) {
  return std::to_string(static_cast<int>(c.rate)) + "/" + std::to_string(c.n);
}

void PrintTo(const LabConfig& c, std::ostream* os) { *os << ConfigName(c); }

bool PrintTable() {
  const char* v = std::getenv("CORVANE_LAB_TABLE");
  return v != nullptr && *v != '\0' && *v != '0';
}

void PrintRow(const std::string& what, const char* quantity, double truth, double measured,
              const std::string& note = {}) {
  if (!PrintTable()) return;
  std::printf("%-44s %-15s %9.3f %9.3f %+8.3f %s\n", what.c_str(), quantity, truth, measured,
              measured - truth, note.c_str());
}

// Complex noise density (per Hz, over the complex band) of the generated noise.
double NoiseDensity(InputKind input, double rate) {
  return (input == InputKind::IQ ? 2 : 1) * kNoiseVar / rate;
}

// The amplitude per channel that gives `cn0` dB-Hz.
double Amplitude(InputKind input, double rate, double cn0) {
  const double c = std::pow(10.0, cn0 / 10) * NoiseDensity(input, rate);  // complex power at +f
  return std::sqrt(input == InputKind::IQ ? c : 4 * c);
}

double TrueSignalDbfs(double amplitude) { return 20 * std::log10(amplitude / kFullScale); }

double TrueNoiseDbfsHz(InputKind input, double rate) {
  const double fs2 = kFullScale * kFullScale;
  const double n0 = NoiseDensity(input, rate);
  return 10 * std::log10(input == InputKind::IQ ? n0 / fs2 : 4 * n0 / fs2);
}

// 16-bit frames of Gaussian noise on the left channel, and on the right for I/Q.
std::vector<int16_t> NoiseFrames(InputKind input, int64_t frames, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> g(0, kSigma);
  std::vector<int16_t> out(static_cast<std::size_t>(2 * frames));
  for (int64_t i = 0; i < frames; ++i) {
    out[2 * i] = static_cast<int16_t>(std::lround(g(rng)));
    out[2 * i + 1] = input == InputKind::IQ ? static_cast<int16_t>(std::lround(g(rng))) : 0;
  }
  return out;
}

// Transform of w[i] e^{sign j omega i}, through the same FFT as the blocks, in its 1-based
// layout.
std::vector<float> WindowedTone(double omega, double sign, int32_t n) {
  std::vector<float> d(Module1::kFFTDataSize, 0.0f);
  for (int32_t i = 0; i < n; ++i) {
    d[2 * i + 1] = static_cast<float>(Module1::WinTable[i] * std::cos(omega * i));
    d[2 * i + 2] = static_cast<float>(sign * Module1::WinTable[i] * std::sin(omega * i));
  }
  Module1::ComplexFFT(d.data());
  return d;
}

struct Tally {
  int rows = 0, detected = 0;
  double cn0 = 0, signal = 0, noise = 0, freqErr2 = 0;
  int noiseRows = 0;
  int driftRows = 0;
  double driftWorst = 0, driftSum = 0;  // |error| of the worst row, sum of readings

  void Add(const DataRecord& r, double trueHz, double trueDrift) {
    ++rows;
    if (r.noiseDbfsHz) {
      ++noiseRows;
      noise += *r.noiseDbfsHz;
    }
    if (r.detected.value_or(false) && r.cn0DbHz && r.freqHz && r.signalDbfs) {
      ++detected;
      cn0 += *r.cn0DbHz;
      signal += *r.signalDbfs;
      freqErr2 += (*r.freqHz - trueHz) * (*r.freqHz - trueHz);
    }
    if (r.driftHzS && r.driftSpanS && *r.driftSpanS >= 0.95 * kSpanS) {
      ++driftRows;
      driftSum += *r.driftHzS;
      driftWorst = std::max(driftWorst, std::abs(*r.driftHzS - trueDrift));
    }
  }
  double DetectedShare() const { return rows ? static_cast<double>(detected) / rows : 0; }
};

enum class Kind { Tone, NoiseOnly, Drift };

struct Variant {
  Kind kind;
  double level = 0;      // dB-Hz
  bool halfBin = false;
  double hz = 0;         // tone frequency (start frequency when drifting)
  double amplitude = 0;
  std::vector<float> plus, minus;  // transforms of w e^{+j omega i}, w e^{-j omega i}
  CalibratedEstimator estimator;
  Tally tally;
};

class CalibratedLabTest : public ::testing::TestWithParam<LabConfig> {};

TEST_P(CalibratedLabTest, FiguresAgreeWithTheTruth) {
  const LabConfig cfg = GetParam();
  const double rate = cfg.rate;
  const int32_t n = cfg.n;
  const double blockS = n / rate;
  const int blocks = static_cast<int>(std::ceil(cfg.seconds / blockS));
  // Rows once the average holds its full count of spectra.
  const double warm = std::round(kIntegrationS / blockS) * blockS + 1;

  BlockMarks marks;
  marks.BandFirst = static_cast<int>(HzToBin(20, rate, n));
  marks.BandLast = static_cast<int>(HzToBin(std::min(4800.0, 0.45 * rate), rate, n));
  marks.MarkSigBWBins = SigBWHzToBins(100, rate, n);
  marks.GuardBand = 0.5f;

  const double onBin = std::round(1000 * n / rate);
  const int readFirst = std::max(marks.BandFirst - 1, 0);
  // The points the estimator reads: the band, a neighbour each side, and the point above
  // that for the last product of neighbours.
  const int readLast = std::min(marks.BandLast + 2, n - 1);
  std::vector<float> noiseData(Module1::kFFTDataSize, 0.0f);
  std::vector<float> data(Module1::kFFTDataSize, 0.0f);
  std::vector<float> chirp(Module1::kFFTDataSize, 0.0f);

  int noiseRows = 0, noiseDetected = 0;
  for (InputKind input : {InputKind::IQ, InputKind::Mono}) {
    const char* inputName = input == InputKind::IQ ? "I/Q" : "mono";
    const std::vector<int16_t> noise =
        NoiseFrames(input, static_cast<int64_t>(blocks) * n,
                    static_cast<uint64_t>(rate) * 7 + n + (input == InputKind::IQ ? 1 : 2));
    for (int window = 0; window < 4; ++window) {
      Module1::FFTLen = n;
      Module1::MakeWindow(window);
      RunSettings settings;
      settings.sampleRate = rate;
      settings.fftLen = n;
      settings.window = Module1::WinTable;
      settings.input = input;
      settings.integrationS = kIntegrationS;
      settings.driftSpanS = kSpanS;

      std::vector<std::unique_ptr<Variant>> variants;
      for (bool half : {false, true}) {
        const double hz = (onBin + (half ? 0.5 : 0.0)) * rate / n;
        const double omega = 2 * kPi * hz / rate;
        const std::vector<float> plus = WindowedTone(omega, +1, n);
        const std::vector<float> minus = WindowedTone(omega, -1, n);
        for (double level : kLevels) {
          auto v = std::make_unique<Variant>();
          v->kind = Kind::Tone;
          v->level = level;
          v->halfBin = half;
          v->hz = hz;
          v->amplitude = Amplitude(input, rate, level);
          v->plus = plus;
          v->minus = minus;
          variants.push_back(std::move(v));
        }
      }
      variants.push_back(std::make_unique<Variant>());
      variants.back()->kind = Kind::NoiseOnly;
      // The drifting carrier costs a transform per block; it runs where its bound is held.
      if (cfg.fineBins) {
        auto drifting = std::make_unique<Variant>();
        drifting->kind = Kind::Drift;
        drifting->level = kDriftLevel;
        drifting->hz = 1000 - kDrift * cfg.seconds / 2;
        drifting->amplitude = Amplitude(input, rate, kDriftLevel);
        variants.push_back(std::move(drifting));
      }
      for (auto& v : variants) v->estimator.StartRun(settings);

      int nextRecord = 1;
      for (int b = 0; b < blocks; ++b) {
        ConvertBlock(noise.data() + 2 * static_cast<std::ptrdiff_t>(b) * n, n,
                     Module1::WinTable, false, 0, noiseData.data());
        Module1::ComplexFFT(noiseData.data());
        const double endS = (b + 1) * blockS;
        for (auto& v : variants) {
          if (v->kind == Kind::NoiseOnly) {
            v->estimator.ProcessBlock(noiseData.data(), marks, endS);
            continue;
          }
          if (v->kind == Kind::Drift) {
            // f(t) = f0 + d t: phase 2 pi (f0 t + d t^2 / 2), made afresh for each block.
            for (int32_t i = 0; i < n; ++i) {
              const double t = (static_cast<double>(b) * n + i) / rate;
              const double phase = 2 * kPi * (v->hz * t + 0.5 * kDrift * t * t);
              const double a = v->amplitude * Module1::WinTable[i];
              chirp[2 * i + 1] = static_cast<float>(a * std::cos(phase));
              chirp[2 * i + 2] =
                  input == InputKind::IQ ? static_cast<float>(-a * std::sin(phase)) : 0.0f;
            }
            Module1::ComplexFFT(chirp.data());
            for (int32_t j = 2 * readFirst + 1; j <= 2 * readLast + 2; ++j) {
              data[j] = noiseData[j] + chirp[j];
            }
            v->estimator.ProcessBlock(data.data(), marks, endS);
            continue;
          }
          // The tone's phase at the start of block b: theta = 2 pi f b n / rate. Only the
          // points the estimator reads (the band and one on either side) are formed.
          const double cycles = v->hz * b * n / rate;
          const double theta = 2 * kPi * (cycles - std::floor(cycles));
          const double dr = v->amplitude * std::cos(theta), di = -v->amplitude * std::sin(theta);
          const float* pl = v->plus.data();
          const float* mi = v->minus.data();
          for (int32_t j = 2 * readFirst + 1; j <= 2 * readLast + 1; j += 2) {
            // I/Q: L - jR = A e^{-j phi}; mono: A cos phi = A/2 (e^{j phi} + e^{-j phi}).
            // down = A e^{-j theta} times minus, and for mono conj(down) times plus.
            double re = dr * mi[j] - di * mi[j + 1];
            double im = dr * mi[j + 1] + di * mi[j];
            if (input == InputKind::Mono) {
              re = 0.5 * (re + dr * pl[j] + di * pl[j + 1]);
              im = 0.5 * (im + dr * pl[j + 1] - di * pl[j]);
            }
            data[j] = noiseData[j] + static_cast<float>(re);
            data[j + 1] = noiseData[j + 1] + static_cast<float>(im);
          }
          v->estimator.ProcessBlock(data.data(), marks, endS);
        }
        const double nextEnd = (b + 2) * blockS;
        for (; nextRecord < nextEnd && nextRecord <= cfg.seconds; ++nextRecord) {
          if (nextRecord < warm) continue;
          for (auto& v : variants) {
            DataRecord row;
            v->estimator.FillRecord(row, nextRecord);
            ASSERT_TRUE(row.ageS.has_value());
            EXPECT_GE(*row.ageS, 0);
            EXPECT_LT(*row.ageS, blockS + 1e-9);
            const double trueDrift = v->kind == Kind::Drift ? kDrift : 0.0;
            v->tally.Add(row, v->hz, trueDrift);
          }
        }
      }

      const std::string base =
          ConfigName(cfg) + " " + kWindowNames[window] + " " + inputName;
      for (auto& v : variants) {
        const Tally& t = v->tally;
        ASSERT_GT(t.rows, 40) << base;
        if (v->kind == Kind::NoiseOnly) {
          noiseRows += t.rows;
          noiseDetected += t.detected;
          ASSERT_EQ(t.noiseRows, t.rows) << base;
          const double measured = t.noise / t.noiseRows;
          const double truth = TrueNoiseDbfsHz(input, rate);
          PrintRow(base + " noise alone", "noise_dbfs_hz", truth, measured,
                   "detected " + std::to_string(t.detected) + "/" + std::to_string(t.rows));
          EXPECT_NEAR(measured, truth, 0.2) << base;
          continue;
        }
        if (v->kind == Kind::Drift) {
          const std::string what = base + " drifting 40 dB-Hz";
          ASSERT_GT(t.driftRows, 0) << what;
          PrintRow(what, "drift_hz_s", kDrift, t.driftSum / t.driftRows,
                   "worst row off by " + std::to_string(t.driftWorst));
          if (cfg.fineBins) {
            EXPECT_LE(t.driftWorst, 0.005) << what;
          }
          continue;
        }
        const std::string what = base + (v->halfBin ? " half-bin " : " on-bin ") +
                                 std::to_string(static_cast<int>(v->level)) + " dB-Hz";
        const std::string det = "detected " + std::to_string(t.detected) + "/" +
                                std::to_string(t.rows);
        // A mean over a selection of the rows would flatter a weak carrier.
        EXPECT_GE(t.DetectedShare(), 0.99) << what << " " << det;
        if (t.detected == 0) continue;
        const double cn0 = t.cn0 / t.detected;
        PrintRow(what, "cn0_dbhz", v->level, cn0, det);
        EXPECT_NEAR(cn0, v->level, v->level < 20 ? 1.0 : 0.5) << what;

        const double signal = t.signal / t.detected;
        const double trueSignal = TrueSignalDbfs(v->amplitude);
        PrintRow(what, "signal_dbfs", trueSignal, signal);
        EXPECT_NEAR(signal, trueSignal, v->level < 20 ? 1.0 : 0.5) << what;

        const double rms = std::sqrt(t.freqErr2 / t.detected);
        PrintRow(what, "freq_hz rms err", 0, rms);
        if (cfg.fineBins && v->level == 40) {
          EXPECT_LE(rms, 0.02) << what;
        }
        if (cfg.fineBins && v->level == 20) {
          EXPECT_LE(rms, 0.1) << what;
        }

        if (v->level == kDriftLevel) {
          ASSERT_GT(t.driftRows, 0) << what;
          PrintRow(what, "drift_hz_s", 0, t.driftSum / t.driftRows,
                   "worst row off by " + std::to_string(t.driftWorst));
          if (cfg.fineBins) {
            EXPECT_LE(t.driftWorst, 0.005) << what;
          }
        }
      }
    }
  }
  // Noise alone: "detected" in at most 1% of the rows, over both inputs and every window.
  PrintRow(ConfigName(cfg) + " noise alone, all windows", "detected share", 0,
           static_cast<double>(noiseDetected) / noiseRows);
  EXPECT_LE(noiseDetected, noiseRows / 100) << noiseDetected << " of " << noiseRows;
}

// The same input read at every FFT length and window, and with two other averaging times:
// the levels must not move with any of them.
TEST(CalibratedLabLevels, SameInputSameLevelsAtEveryLengthWindowAndAveraging) {
  constexpr double kRate = 12000;
  constexpr double kSeconds = 30;
  constexpr double kLevel = 40;
  const auto frames = static_cast<int64_t>(kSeconds * kRate);
  std::vector<int16_t> input = NoiseFrames(InputKind::IQ, frames, 99);
  const double amplitude = Amplitude(InputKind::IQ, kRate, kLevel);
  const double hz = 1000.3;
  for (int64_t i = 0; i < frames; ++i) {
    const double phase = 2 * kPi * hz * static_cast<double>(i) / kRate;
    input[2 * i] = static_cast<int16_t>(std::lround(input[2 * i] + amplitude * std::cos(phase)));
    input[2 * i + 1] =
        static_cast<int16_t>(std::lround(input[2 * i + 1] + amplitude * std::sin(phase)));
  }
  const double trueNoise = TrueNoiseDbfsHz(InputKind::IQ, kRate);
  const double trueSignal = TrueSignalDbfs(amplitude);

  struct Run {
    int32_t n;
    int window;
    double integrationS;
  };
  std::vector<Run> runs;
  for (int32_t n = 1024; n <= 32768; n *= 2) {
    for (int window = 0; window < 4; ++window) runs.push_back({n, window, 20});
  }
  runs.push_back({8192, 1, 5});
  runs.push_back({8192, 1, 60});

  std::vector<float> data(Module1::kFFTDataSize, 0.0f);
  double noiseLo = 1e9, noiseHi = -1e9, signalLo = 1e9, signalHi = -1e9;
  for (const Run& run : runs) {
    Module1::FFTLen = run.n;
    Module1::MakeWindow(run.window);
    RunSettings settings;
    settings.sampleRate = kRate;
    settings.fftLen = run.n;
    settings.window = Module1::WinTable;
    settings.integrationS = run.integrationS;
    CalibratedEstimator estimator;
    estimator.StartRun(settings);
    BlockMarks marks;
    marks.BandFirst = static_cast<int>(HzToBin(20, kRate, run.n));
    marks.BandLast = static_cast<int>(HzToBin(4800, kRate, run.n));
    marks.MarkSigBWBins = SigBWHzToBins(100, kRate, run.n);
    marks.GuardBand = 0.5f;
    const int64_t blocks = frames / run.n;
    for (int64_t b = 0; b < blocks; ++b) {
      ConvertBlock(input.data() + 2 * b * run.n, run.n, Module1::WinTable, false, 0, data.data());
      Module1::ComplexFFT(data.data());
      estimator.ProcessBlock(data.data(), marks, static_cast<double>((b + 1) * run.n) / kRate);
    }
    const CalibratedFigures& f = estimator.Latest();
    const std::string what = std::string("12000/") + std::to_string(run.n) + " " +
                             kWindowNames[run.window] + " average " +
                             std::to_string(static_cast<int>(run.integrationS)) + " s";
    ASSERT_TRUE(f.noiseDbfsHz && f.signalDbfs) << what;
    PrintRow(what, "noise_dbfs_hz", trueNoise, *f.noiseDbfsHz);
    PrintRow(what, "signal_dbfs", trueSignal, *f.signalDbfs);
    EXPECT_NEAR(*f.noiseDbfsHz, trueNoise, 0.2) << what;
    EXPECT_NEAR(*f.signalDbfs, trueSignal, 0.2) << what;
    noiseLo = std::min(noiseLo, *f.noiseDbfsHz);
    noiseHi = std::max(noiseHi, *f.noiseDbfsHz);
    signalLo = std::min(signalLo, *f.signalDbfs);
    signalHi = std::max(signalHi, *f.signalDbfs);
  }
  PrintRow("12000 Hz, all lengths, windows, averaging", "noise spread", 0, noiseHi - noiseLo);
  PrintRow("12000 Hz, all lengths, windows, averaging", "signal spread", 0, signalHi - signalLo);
  EXPECT_LE(noiseHi - noiseLo, 0.2);
  EXPECT_LE(signalHi - signalLo, 0.2);
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, CalibratedLabTest,
    ::testing::Values(LabConfig{12000, 8192, 85, true}, LabConfig{48000, 1024, 82, false},
                      LabConfig{8000, 32768, 85, true}),
    [](const ::testing::TestParamInfo<LabConfig>& p) {
      return "Rate" + std::to_string(static_cast<int>(p.param.rate)) + "Fft" +
             std::to_string(p.param.n);
    });

}  // namespace
}  // namespace corvane
