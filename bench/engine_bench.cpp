#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "dsp/fft.h"
#include "measure/measurement_engine.h"
#include "settings/parameters.h"
#include "support/quiet_host.h"

namespace {

using corvane::EngineHost;

using corvane::testing::QuietHost;

// One whole block after the conversion: the FFT of a windowed tone in noise and every
// measurement step, HistLen 64, band 20 Hz .. 0.45 x 48000 Hz. The counter gives the time
// as a percentage of the block's own duration at 48000 Hz.
void BM_EngineBlock(benchmark::State& state) {
  constexpr double kRate = 48000;
  const auto n = static_cast<int32_t>(state.range(0));
  Module1::FFTLen = n;
  Module1::MakeWindow(1);

  corvane::MeasurementParams p;
  p.SampleRate = kRate;
  p.CentreBin = corvane::HzToBin(1000, kRate, n);
  p.SigBWBins = corvane::SigBWHzToBins(100, kRate, n);
  p.FMinBin = corvane::HzToBin(20, kRate, n);
  p.FMaxBin = corvane::HzToBin(0.45 * kRate, kRate, n);
  p.DetFrames = 16;
  p.StabLimitDb = 10;
  p.HistLen = 64;
  p.AlarmThreshDb = 200;
  p.GuardBand = 0.5f;
  QuietHost host;
  corvane::MeasurementEngine engine(p, host);
  engine.StartRun();

  std::mt19937 rng(3);
  std::normal_distribution<double> noise(0, 300);
  std::vector<float> block(Module1::kFFTDataSize, 0.0f);
  const double w = 2 * std::numbers::pi * 1000 / kRate;
  for (int32_t i = 0; i < n; ++i) {
    const double s = std::round(1000 * std::cos(w * i) + noise(rng));
    block[2 * i + 1] = static_cast<float>(s) * Module1::WinTable[i];
  }
  std::vector<float> data(Module1::kFFTDataSize, 0.0f);
  const corvane::DateTime now{};
  const auto used = static_cast<std::ptrdiff_t>(2 * n + 1);

  for (auto _ : state) {
    std::copy(block.begin(), block.begin() + used, data.begin());
    Module1::ComplexFFT(data.data());
    engine.ProcessBlock(data.data(), now);
    benchmark::DoNotOptimize(engine.SigPwr);
    benchmark::ClobberMemory();
  }
  const double blockSeconds = n / kRate;
  state.counters["pct_of_block"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * blockSeconds / 100,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_EngineBlock)->Arg(1024)->Arg(8192)->Arg(32768)->Unit(benchmark::kMicrosecond);

}  // namespace
