#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "capture/block_convert.h"
#include "dsp/fft.h"

namespace {

void BM_ConvertBlock(benchmark::State& state) {
  const auto n = static_cast<int32_t>(state.range(0));
  std::mt19937 rng(2);
  std::uniform_int_distribution<int> u(-32768, 32767);
  std::vector<int16_t> samples(2 * static_cast<size_t>(n));
  for (auto& s : samples) s = static_cast<int16_t>(u(rng));
  std::vector<float> window(static_cast<size_t>(n), 0.5f);
  std::vector<float> data(Module1::kFFTDataSize, 0.0f);
  double level = 0.0;
  for (auto _ : state) {
    const corvane::InputLevel l =
        corvane::ConvertBlock(samples.data(), n, window.data(), false, level, data.data());
    level = l.levelDb;
    benchmark::DoNotOptimize(data.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_ConvertBlock)->Arg(1024)->Arg(8192)->Arg(32768)->Unit(benchmark::kMicrosecond);

}  // namespace
