#pragma once
// One captured block into windowed complex samples, and the input level of the block.

#include <cstdint>

namespace corvane {

struct InputLevel {
  int32_t peak = 0;      // largest sample magnitude (the largest sample if none is negative)
  bool red = false;      // meter colour: red above 10 000, blue otherwise
  double levelDb = 0.0;  // 20 log10(peak) - 30; the previous level when peak <= 0
};

// `samples` holds fftLen interleaved stereo frames (left = in-phase, right = quadrature).
// Writes point i of `fftData` (1-based layout: re at 2i+1, im at 2i+2) as
// (L + jR) * winTable[i] when sidebandSwap is set, (L - jR) * winTable[i] otherwise.
InputLevel ConvertBlock(const int16_t* samples, int32_t fftLen, const float* winTable,
                        bool sidebandSwap, double previousLevelDb, float* fftData);

}  // namespace corvane
