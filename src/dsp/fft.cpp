#include "dsp/fft.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <utility>

#include "dsp/fft_detail.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace Module1 {

int32_t FFTLen = 0;
float WinTable[kWinTableSize] = {};

namespace {

constexpr double kTwoPi = 6.28318530717958;

bool ValidLength(int32_t n) {
  return n >= 2 && n <= kMaxFFTLen && (n & (n - 1)) == 0;
}

// Fills entries 0 .. FFTLen-1 with w(x), x = i * 2pi / FFTLen: periodic windows.
template <typename F>
void FillWindow(F w) {
  const int32_t n = FFTLen;
  if (n <= 0 || n > kWinTableSize) return;
  for (int32_t i = 0; i < n; ++i) {
    const double x = static_cast<double>(i) * kTwoPi / static_cast<double>(n);
    WinTable[i] = static_cast<float>(w(x));
  }
}

}  // namespace

namespace {

// Twiddle factors of every stage, made once by the rotation recurrence the transform is
// defined with, so that the values are the very ones a per-stage recurrence would give.
// The stage of half-width h (h butterflies per group) keeps its h factors, as (wr, wi)
// pairs, at pairs h-1 .. 2h-2.
struct TwiddleTable {
  static constexpr int32_t kPairs = kMaxFFTLen;  // 1 + 2 + ... + kMaxFFTLen/2 < kMaxFFTLen
  alignas(64) double w[2 * kPairs];

  TwiddleTable() {
    for (int32_t h = 1; h <= kMaxFFTLen / 2; h *= 2) {
      const int32_t mmax = 2 * h;
      const double theta = kTwoPi / mmax;
      const double wpr = std::cos(theta);
      const double wpi = std::sin(theta);
      double wr = 1.0;
      double wi = 0.0;
      for (int32_t k = 0; k < h; ++k) {
        w[2 * (h - 1 + k)] = wr;
        w[2 * (h - 1 + k) + 1] = wi;
        const double wtemp = wr;
        wr = wr * wpr - wi * wpi;
        wi = wi * wpr + wtemp * wpi;
      }
    }
  }

  const double* Stage(int32_t h) const { return w + 2 * (h - 1); }
};

const TwiddleTable& Twiddles() {
  static const TwiddleTable table;
  return table;
}

// i with its `bits` low bits reversed (bits 1 .. 32).
inline uint32_t Reversed(uint32_t i, int bits) {
  i = ((i >> 1) & 0x55555555u) | ((i & 0x55555555u) << 1);
  i = ((i >> 2) & 0x33333333u) | ((i & 0x33333333u) << 2);
  i = ((i >> 4) & 0x0F0F0F0Fu) | ((i & 0x0F0F0F0Fu) << 4);
  i = ((i >> 8) & 0x00FF00FFu) | ((i & 0x00FF00FFu) << 8);
  i = (i >> 16) | (i << 16);
  return i >> (32 - bits);
}

// Exchanges points i and r of the 8-byte points at p (entry 1 is only 4-byte aligned).
inline void SwapPoints(char* p, uint32_t i, uint32_t r) {
  uint64_t x;
  uint64_t y;
  std::memcpy(&x, p + 8 * size_t{i}, 8);
  std::memcpy(&y, p + 8 * size_t{r}, 8);
  std::memcpy(p + 8 * size_t{i}, &y, 8);
  std::memcpy(p + 8 * size_t{r}, &x, 8);
}

// The bit-reversal permutation of the points in entries 1 .. 2*points: the same exchanges
// as the incremental reversed counter, made tile by tile so that both sides of the
// exchanges stay in a few cache lines. Writing a point index as (high 3 bits, middle,
// low 3 bits), the 64 points sharing one middle map onto the 64 sharing the reversed
// middle, eight whole cache lines on each side. A point is moved as one 64-bit word.
void BitReverse(float* d, int32_t points) {
  int bits = 0;
  while ((int32_t{1} << bits) < points) ++bits;
  char* p = reinterpret_cast<char*>(d + 1);
  if (bits < 6) {
    for (uint32_t i = 0; i < static_cast<uint32_t>(points); ++i) {
      const uint32_t r = Reversed(i, bits);
      if (r > i) SwapPoints(p, i, r);
    }
    return;
  }
  static constexpr uint32_t kRev3[8] = {0, 4, 2, 6, 1, 5, 3, 7};
  const int midBits = bits - 6;
  const int highShift = bits - 3;
  for (uint32_t m = 0; m < (uint32_t{1} << midBits); ++m) {
    const uint32_t mr = midBits > 0 ? Reversed(m, midBits) : 0;
    if (mr < m) continue;  // this pair of tiles was exchanged from the other side
    for (uint32_t a = 0; a < 8; ++a) {
      for (uint32_t c = 0; c < 8; ++c) {
        const uint32_t i = (a << highShift) | (m << 3) | c;
        const uint32_t r = (kRev3[c] << highShift) | (mr << 3) | kRev3[a];
        if (mr != m || r > i) SwapPoints(p, i, r);
      }
    }
  }
}

// One butterfly stage of half-width h; w holds its h (wr, wi) pairs. The butterflies of a
// stage touch disjoint pairs of points, so running them group by group (rather than
// twiddle by twiddle across the whole array) gives the same values with far better
// locality.
void Stage(float* d, int32_t n, int32_t h, const double* w) {
  const int32_t mmax = 2 * h;
  for (int32_t g = 1; g <= n; g += 2 * mmax) {
    float* a = d + g;
    float* b = a + mmax;
    for (int32_t k = 0; k < h; ++k) {
      const double wr = w[2 * k];
      const double wi = w[2 * k + 1];
      const double br = b[2 * k];
      const double bi = b[2 * k + 1];
      const double tempr = wr * br - wi * bi;
      const double tempi = wr * bi + wi * br;
      const double ar = a[2 * k];
      const double ai = a[2 * k + 1];
      b[2 * k] = static_cast<float>(ar - tempr);
      b[2 * k + 1] = static_cast<float>(ai - tempi);
      a[2 * k] = static_cast<float>(ar + tempr);
      a[2 * k + 1] = static_cast<float>(ai + tempi);
    }
  }
}

bool vectorPathAllowed = true;

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define CORVANE_FFT_AVX2 1

// Two butterflies (k, k+1) with their two (wr, wi) pairs in w. Every product, sum and
// rounding is the scalar one: addsub forms wr*br - wi*bi and wr*bi + wi*br exactly as
// written, and nothing is fused.
__attribute__((target("avx2"))) inline void ButterflyPair(float* a, float* b, __m256d w) {
  const __m256d wr = _mm256_movedup_pd(w);              // wr0 wr0 wr1 wr1
  const __m256d wi = _mm256_permute_pd(w, 0xF);         // wi0 wi0 wi1 wi1
  const __m256d bv = _mm256_cvtps_pd(_mm_loadu_ps(b));  // br0 bi0 br1 bi1
  const __m256d bs = _mm256_permute_pd(bv, 0x5);        // bi0 br0 bi1 br1
  const __m256d t = _mm256_addsub_pd(_mm256_mul_pd(wr, bv), _mm256_mul_pd(wi, bs));
  const __m256d av = _mm256_cvtps_pd(_mm_loadu_ps(a));
  _mm_storeu_ps(b, _mm256_cvtpd_ps(_mm256_sub_pd(av, t)));
  _mm_storeu_ps(a, _mm256_cvtpd_ps(_mm256_add_pd(av, t)));
}

// A stage with h >= 2, two butterflies per vector of four doubles.
__attribute__((target("avx2"))) void StageAvx2(float* d, int32_t n, int32_t h, const double* w) {
  const int32_t mmax = 2 * h;
  if (h == 2) {
    const __m256d w01 = _mm256_loadu_pd(w);
    for (int32_t g = 1; g <= n; g += 2 * mmax) ButterflyPair(d + g, d + g + mmax, w01);
    return;
  }
  for (int32_t g = 1; g <= n; g += 2 * mmax) {
    float* a = d + g;
    float* b = a + mmax;
    for (int32_t k = 0; k < h; k += 4) {
      ButterflyPair(a + 2 * k, b + 2 * k, _mm256_loadu_pd(w + 2 * k));
      ButterflyPair(a + 2 * k + 4, b + 2 * k + 4, _mm256_loadu_pd(w + 2 * k + 4));
    }
  }
}

// The first stage (h = 1: one butterfly per group of two points), one group per vector.
__attribute__((target("avx2"))) void FirstStageAvx2(float* d, int32_t n, const double* w) {
  const __m256d wr = _mm256_set1_pd(w[0]);
  const __m256d wi = _mm256_set1_pd(w[1]);
  for (int32_t g = 1; g <= n; g += 4) {
    const __m256d v = _mm256_cvtps_pd(_mm_loadu_ps(d + g));  // ar ai br bi
    const __m256d av = _mm256_permute4x64_pd(v, 0x44);       // ar ai ar ai
    const __m256d bv = _mm256_permute4x64_pd(v, 0xEE);       // br bi br bi
    const __m256d bs = _mm256_permute_pd(bv, 0x5);           // bi br bi br
    const __m256d t = _mm256_addsub_pd(_mm256_mul_pd(wr, bv), _mm256_mul_pd(wi, bs));
    // a + t into the first point, a - t into the second.
    const __m256d out = _mm256_blend_pd(_mm256_add_pd(av, t), _mm256_sub_pd(av, t), 0xC);
    _mm_storeu_ps(d + g, _mm256_cvtpd_ps(out));
  }
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

}  // namespace

namespace detail {
void AllowVectorPath(bool allowed) {
  vectorPathAllowed = allowed;
}
}  // namespace detail

void ComplexFFT(float* data) {
  if (!ValidLength(FFTLen)) return;
  const TwiddleTable& tw = Twiddles();
  const int32_t n = 2 * FFTLen;  // data[i] is entry i; the points use entries 1 .. n
  BitReverse(data, FFTLen);
#ifdef CORVANE_FFT_AVX2
  if (vectorPathAllowed && HasAvx2()) {
    FirstStageAvx2(data, n, tw.Stage(1));
    for (int32_t h = 2; 2 * h < n; h *= 2) StageAvx2(data, n, h, tw.Stage(h));
    return;
  }
#endif
  for (int32_t h = 1; 2 * h < n; h *= 2) Stage(data, n, h, tw.Stage(h));
}

void MakeHammingWindow() {
  FillWindow([](double x) { return 0.54 - 0.46 * std::cos(x); });
}

void MakeBlackmanHarrisWindow() {
  FillWindow(
      [](double x) { return 0.42323 - 0.49755 * std::cos(x) + 0.07922 * std::cos(2.0 * x); });
}

void MakeHanningWindow() {
  FillWindow([](double x) { return 0.5 - 0.5 * std::cos(x); });
}

void MakeFlatWindow() {
  FillWindow([](double) { return 0.5; });
}

void MakeWindow(int listIndex) {
  switch (listIndex) {
    case 0:
      MakeHammingWindow();
      break;
    case 1:
      MakeBlackmanHarrisWindow();
      break;
    case 2:
      MakeHanningWindow();
      break;
    case 3:
      MakeFlatWindow();
      break;
    default:
      break;
  }
}

}  // namespace Module1
