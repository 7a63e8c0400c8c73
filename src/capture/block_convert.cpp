#include "capture/block_convert.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
  // Multiplying by -1 is an exact negation, the same bits as negating the stored product.
  const float imSign = sidebandSwap ? 1.0f : -1.0f;
  int32_t i = 0;

#if defined(__SSE2__)
  // Four frames at a time. The frames are interleaved (L, R) like the points (re, im), so
  // each converted pair lands where it is read from, times (w, w) and (1, imSign).
  if (fftLen >= 4) {
    const __m128 sign = _mm_setr_ps(1.0f, imSign, 1.0f, imSign);
    __m128i vmax = _mm_set1_epi16(INT16_MIN);
    __m128i vmin = _mm_set1_epi16(INT16_MAX);
    for (; i + 4 <= fftLen; i += 4) {
      const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + 2 * i));
      vmax = _mm_max_epi16(vmax, s);
      vmin = _mm_min_epi16(vmin, s);
      const __m128 lo = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(s, s), 16));
      const __m128 hi = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(s, s), 16));
      const __m128 w = _mm_loadu_ps(winTable + i);
      _mm_storeu_ps(fftData + 2 * i + 1, _mm_mul_ps(sign, _mm_mul_ps(lo, _mm_unpacklo_ps(w, w))));
      _mm_storeu_ps(fftData + 2 * i + 5, _mm_mul_ps(sign, _mm_mul_ps(hi, _mm_unpackhi_ps(w, w))));
    }
    alignas(16) int16_t maxLanes[8];
    alignas(16) int16_t minLanes[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(maxLanes), vmax);
    _mm_store_si128(reinterpret_cast<__m128i*>(minLanes), vmin);
    for (int lane = 0; lane < 8; ++lane) {
      peakMax = std::max<int32_t>(peakMax, maxLanes[lane]);
      peakMin = std::min<int32_t>(peakMin, minLanes[lane]);
    }
  }
#endif

  for (; i < fftLen; ++i) {
    const int32_t left = samples[2 * i];
    const int32_t right = samples[2 * i + 1];
    const float w = winTable[i];
    fftData[2 * i + 1] = static_cast<float>(left) * w;
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
