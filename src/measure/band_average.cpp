#include "measure/band_average.h"

#include <algorithm>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvane {

void BandAverage::Reset(int32_t fftLen, int lo, int hi, int rows) {
  fftLen_ = fftLen;
  lo_ = lo;
  hi_ = hi;
  count_ = 0;
  slot_ = 0;
  turned_ = false;
  const int w = hi >= lo ? hi - lo + 1 : 0;
  const int64_t maxRows = w > 0 ? kMaxRingFloats / (2 * int64_t{w}) : 1;
  rows_ = static_cast<int>(std::clamp<int64_t>(rows, 1, std::max<int64_t>(maxRows, 1)));
  ring_.assign(static_cast<std::size_t>(rows_) * 2 * w, 0.0f);
  newer_.assign(static_cast<std::size_t>(2 * w), 0.0f);
  ends_.assign(static_cast<std::size_t>(rows_), 0.0);
}

const float* BandAverage::Row(int slot) const {
  return ring_.data() + static_cast<std::size_t>(slot) * 2 * width();
}

float* BandAverage::Row(int slot) {
  return ring_.data() + static_cast<std::size_t>(slot) * 2 * width();
}

void BandAverage::Add(const float* fftData, double endS) {
  const int w = width();
  if (w <= 0 || rows_ < 1) return;
  float* __restrict row = Row(slot_);
  float* __restrict sum = newer_.data();
  // Point k sits at 2k+1 (re), 2k+2 (im).
  const float* __restrict x = fftData + 2 * static_cast<std::ptrdiff_t>(lo_) + 1;
  // The band's last product needs the point above hi, when there is one.
  const int crosses = hi_ + 1 < fftLen_ ? w : w - 1;
  int i = 0;
#if defined(__SSE2__)
  // Four points at a time: (re, im) pairs de-interleaved, and the same from one point on.
  for (; i + 4 <= crosses; i += 4) {
    const __m128 a0 = _mm_loadu_ps(x + 2 * i), a1 = _mm_loadu_ps(x + 2 * i + 4);
    const __m128 b0 = _mm_loadu_ps(x + 2 * i + 2), b1 = _mm_loadu_ps(x + 2 * i + 6);
    const __m128 re = _mm_shuffle_ps(a0, a1, _MM_SHUFFLE(2, 0, 2, 0));
    const __m128 im = _mm_shuffle_ps(a0, a1, _MM_SHUFFLE(3, 1, 3, 1));
    const __m128 re1 = _mm_shuffle_ps(b0, b1, _MM_SHUFFLE(2, 0, 2, 0));
    const __m128 im1 = _mm_shuffle_ps(b0, b1, _MM_SHUFFLE(3, 1, 3, 1));
    const __m128 p = _mm_add_ps(_mm_mul_ps(re, re), _mm_mul_ps(im, im));
    const __m128 c = _mm_add_ps(_mm_mul_ps(re1, re), _mm_mul_ps(im1, im));
    _mm_storeu_ps(row + i, p);
    _mm_storeu_ps(row + w + i, c);
    _mm_storeu_ps(sum + i, _mm_add_ps(_mm_loadu_ps(sum + i), p));
    _mm_storeu_ps(sum + w + i, _mm_add_ps(_mm_loadu_ps(sum + w + i), c));
  }
#endif
  for (; i < w; ++i) {
    const float re = x[2 * i], im = x[2 * i + 1];
    const float p = re * re + im * im;
    const float c = i < crosses ? x[2 * i + 2] * re + x[2 * i + 3] * im : 0.0f;
    row[i] = p;
    sum[i] += p;
    row[w + i] = c;
    sum[w + i] += c;
  }

  ends_[static_cast<std::size_t>(slot_)] = endS;
  if (count_ < rows_) ++count_;
  slot_ = (slot_ + 1) % rows_;
  if (slot_ == 0) Fold();
}

void BandAverage::Fold() {
  // Row j becomes the sum of rows j .. rows-1: what is left of the old rows as each is
  // overwritten in turn. Their sum now stands in row 0, so the newer sums start again.
  const std::size_t n = static_cast<std::size_t>(2 * width());
  for (int j = rows_ - 2; j >= 0; --j) {
    float* __restrict dst = Row(j);
    const float* __restrict src = Row(j + 1);
    for (std::size_t i = 0; i < n; ++i) dst[i] += src[i];
  }
  std::fill(newer_.begin(), newer_.end(), 0.0f);
  turned_ = true;
}

double BandAverage::Power(int k) const {
  const std::size_t i = static_cast<std::size_t>(k - lo_);
  const double older = turned_ ? Row(slot_)[i] : 0.0;
  return (newer_[i] + older) / count_;
}

double BandAverage::Cross(int k) const {
  const std::size_t i = static_cast<std::size_t>(width() + k - lo_);
  const double older = turned_ ? Row(slot_)[i] : 0.0;
  return (newer_[i] + older) / count_;
}

}  // namespace corvane
