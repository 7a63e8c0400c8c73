// The engine's per-block time with and without the calibrated figures: ComplexFFT and
// MeasurementEngine::ProcessBlock, then (calibrated) CalibratedEstimator::ProcessBlock and,
// once a second of the source's clock, a data-log row. Start-up parameters (HistLen 16,
// SigBW 100 Hz, guard 0.5); band 20 .. 4800 Hz as at start-up, or 20 Hz .. 0.45 x rate (wide).
// Arguments: rate, FFT length, calibrated (0/1), wide band (0/1).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/fft.h"
#include "logging/data_record.h"
#include "measure/calibrated_estimator.h"
#include "measure/measurement_engine.h"
#include "settings/parameters.h"
#include "support/quiet_host.h"

namespace {

using namespace corvane;

MeasurementParams StartParams(double rate, int32_t n, bool wide) {
  MeasurementParams p;
  p.SampleRate = rate;
  p.CentreBin = HzToBin(1000, rate, n);
  p.SigBWBins = SigBWHzToBins(100, rate, n);
  p.FMinBin = HzToBin(20, rate, n);
  p.FMaxBin = HzToBin(wide ? 0.45 * rate : std::min(4800.0, 0.45 * rate), rate, n);
  p.DetFrames = std::max(2.0, std::floor(rate * 3 / n));
  p.StabLimitDb = 10;
  p.HistLen = 16;
  p.AlarmThreshDb = 200;
  p.GuardBand = 0.5f;
  return p;
}

// A handful of different blocks of a 30 dB-Hz carrier in noise, windowed as converted.
constexpr int kBlocks = 8;
std::vector<std::vector<float>> Blocks(double rate, int32_t n) {
  std::mt19937 rng(3);
  std::normal_distribution<double> noise(0, 1000);
  const double amplitude = std::sqrt(1000.0 * 2e6 / rate);
  std::vector<std::vector<float>> blocks(kBlocks, std::vector<float>(Module1::kFFTDataSize));
  for (int b = 0; b < kBlocks; ++b) {
    for (int32_t i = 0; i < n; ++i) {
      const double phase = 2 * std::numbers::pi * 1000 * (static_cast<double>(b) * n + i) / rate;
      const float w = Module1::WinTable[i];
      blocks[b][2 * i + 1] = static_cast<float>(amplitude * std::cos(phase) + noise(rng)) * w;
      blocks[b][2 * i + 2] = static_cast<float>(-amplitude * std::sin(phase) - noise(rng)) * w;
    }
  }
  return blocks;
}

RunSettings Settings(double rate, int32_t n) {
  RunSettings settings;
  settings.sampleRate = rate;
  settings.fftLen = n;
  settings.window = Module1::WinTable;
  return settings;
}

void BM_EngineWithCalibrated(benchmark::State& state) {
  const double rate = static_cast<double>(state.range(0));
  const auto n = static_cast<int32_t>(state.range(1));
  const bool calibrated = state.range(2) != 0;
  const bool wide = state.range(3) != 0;
  Module1::FFTLen = n;
  Module1::MakeWindow(1);
  MeasurementParams p = StartParams(rate, n, wide);
  testing::QuietHost host;
  MeasurementEngine engine(p, host);
  engine.StartRun();
  CalibratedEstimator estimator;
  estimator.StartRun(Settings(rate, n));
  const std::vector<std::vector<float>> blocks = Blocks(rate, n);

  std::vector<float> data(Module1::kFFTDataSize, 0.0f);
  const DateTime now{};
  const auto used = static_cast<std::ptrdiff_t>(2 * n + 1);
  const double blockS = n / rate;
  double endS = 0;
  double nextRecord = 1;
  DataRecord row;
  int b = 0;

  for (auto _ : state) {
    std::copy(blocks[b].begin(), blocks[b].begin() + used, data.begin());
    b = (b + 1) % kBlocks;
    Module1::ComplexFFT(data.data());
    engine.ProcessBlock(data.data(), now);
    endS += blockS;
    if (calibrated) {
      estimator.ProcessBlock(data.data(), engine.marks(), endS);
      for (; nextRecord <= endS; nextRecord += 1) estimator.FillRecord(row, nextRecord);
    }
    benchmark::DoNotOptimize(engine.SigPwr);
    benchmark::DoNotOptimize(row);
    benchmark::ClobberMemory();
  }
}
// The calibrated figures alone, over blocks transformed and measured beforehand: what they
// add to each block, without the noise of timing the engine alongside.
void BM_CalibratedOnly(benchmark::State& state) {
  const double rate = static_cast<double>(state.range(0));
  const auto n = static_cast<int32_t>(state.range(1));
  const bool wide = state.range(3) != 0;
  Module1::FFTLen = n;
  Module1::MakeWindow(1);
  MeasurementParams p = StartParams(rate, n, wide);
  testing::QuietHost host;
  MeasurementEngine engine(p, host);
  engine.StartRun();
  std::vector<std::vector<float>> blocks = Blocks(rate, n);
  for (auto& block : blocks) Module1::ComplexFFT(block.data());
  engine.ProcessBlock(blocks[0].data(), DateTime{});
  const BlockMarks marks = engine.marks();
  CalibratedEstimator estimator;
  estimator.StartRun(Settings(rate, n));
  const double blockS = n / rate;
  double endS = 0;
  double nextRecord = 1;
  DataRecord row;
  int b = 0;
  for (auto _ : state) {
    endS += blockS;
    estimator.ProcessBlock(blocks[b].data(), marks, endS);
    b = (b + 1) % kBlocks;
    for (; nextRecord <= endS; nextRecord += 1) estimator.FillRecord(row, nextRecord);
    benchmark::DoNotOptimize(row);
    benchmark::ClobberMemory();
  }
}
// On a shared machine the least of the repetitions is the figure least disturbed by others.
double Least(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

BENCHMARK(BM_CalibratedOnly)
    ->ArgNames({"rate", "fft", "cal", "wide"})
    ->ComputeStatistics("min", Least)
    ->ArgsProduct({{12000}, {8192}, {1}, {0, 1}})
    ->ArgsProduct({{48000}, {1024}, {1}, {0, 1}})
    ->ArgsProduct({{8000}, {32768}, {1}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_EngineWithCalibrated)
    ->ArgNames({"rate", "fft", "cal", "wide"})
    ->ComputeStatistics("min", Least)
    ->ArgsProduct({{12000}, {8192}, {0, 1}, {0, 1}})
    ->ArgsProduct({{48000}, {1024}, {0, 1}, {0, 1}})
    ->ArgsProduct({{8000}, {32768}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
