#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "dsp/fft.h"
#include "dsp/fft_detail.h"

namespace {

void RunFFT(benchmark::State& state, bool vectorPath) {
  Module1::detail::AllowVectorPath(vectorPath);
  const auto n = static_cast<int32_t>(state.range(0));
  Module1::FFTLen = n;
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> u(-30000.0f, 30000.0f);
  std::vector<float> input(Module1::kFFTDataSize, 0.0f);
  for (int32_t i = 1; i <= 2 * n; ++i) input[i] = u(rng);
  std::vector<float> data = input;
  for (auto _ : state) {
    // Re-load the block so the values stay in range, as in the block loop.
    state.PauseTiming();
    std::copy(input.begin(), input.begin() + 2 * n + 1, data.begin());
    state.ResumeTiming();
    Module1::ComplexFFT(data.data());
    benchmark::DoNotOptimize(data.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * n);
  Module1::detail::AllowVectorPath(true);
}

void BM_ComplexFFT(benchmark::State& state) {
  RunFFT(state, true);
}
BENCHMARK(BM_ComplexFFT)->RangeMultiplier(2)->Range(1024, 32768)->Unit(benchmark::kMicrosecond);

// The portable kernels, which machines without AVX2 run.
void BM_ComplexFFTPortable(benchmark::State& state) {
  RunFFT(state, false);
}
BENCHMARK(BM_ComplexFFTPortable)
    ->RangeMultiplier(2)
    ->Range(1024, 32768)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
