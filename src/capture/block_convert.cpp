#include "capture/block_convert.h"

#include <algorithm>
#include <cmath>

namespace corvane {

namespace {
constexpr int32_t kRedAbove = 10000;
constexpr double kDbPerNeper = 4.342944819;
}  // namespace

InputLevel ConvertBlock(const int16_t* samples, int32_t fftLen, const float* winTable,
                        bool sidebandSwap, double previousLevelDb, float* fftData) {
  // The reset values lie outside the int16 range, so any sample replaces them.
  int32_t peakMax = -100000;
  int32_t peakMin = 100000;
  const float imSign = sidebandSwap ? 1.0f : -1.0f;

  for (int32_t i = 0; i < fftLen; ++i) {
    const int32_t left = samples[2 * i];
    const int32_t right = samples[2 * i + 1];
    const float w = winTable[i];
    fftData[2 * i + 1] = static_cast<float>(left) * w;
    // Multiplying by -1 is an exact negation, same as negating the stored product.
    fftData[2 * i + 2] = imSign * (static_cast<float>(right) * w);
    peakMax = std::max(peakMax, std::max(left, right));
    peakMin = std::min(peakMin, std::min(left, right));
  }

  if (peakMin < 0) peakMin = -peakMin;
  if (peakMin > peakMax) peakMax = peakMin;

  InputLevel level;
  level.peak = peakMax;
  level.red = peakMax > kRedAbove;
  level.levelDb = peakMax > 0 ? std::log(static_cast<double>(peakMax)) * kDbPerNeper * 2.0 - 30.0
                              : previousLevelDb;
  return level;
}

}  // namespace corvane
