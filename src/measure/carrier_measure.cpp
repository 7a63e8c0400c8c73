#include "measure/carrier_measure.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvane {

namespace {

// Sum of newer + older over bins a .. b (none when b < a); older may be null.
double SumOver(const float* newer, const float* older, int a, int b) {
  double total = 0;
  int i = a;
#if defined(__SSE2__)
  // Four lanes of floats, summed in two pairs of doubles: no lane waits for another.
  __m128d lo = _mm_setzero_pd(), hi = _mm_setzero_pd();
  for (; i + 3 <= b; i += 4) {
    __m128 v = _mm_loadu_ps(newer + i);
    if (older != nullptr) v = _mm_add_ps(v, _mm_loadu_ps(older + i));
    lo = _mm_add_pd(lo, _mm_cvtps_pd(v));
    hi = _mm_add_pd(hi, _mm_cvtps_pd(_mm_movehl_ps(v, v)));
  }
  alignas(16) double lanes[4];
  _mm_store_pd(lanes, lo);
  _mm_store_pd(lanes + 2, hi);
  total = (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
#endif
  for (; i <= b; ++i) total += newer[i] + (older != nullptr ? older[i] : 0.0f);
  return total;
}

// Index of the largest newer + older over a .. b (of equal ones the lowest, as in
// MeasurementEngine's peak search), and the sum over a .. b, in one pass.
int StrongestAndTotal(const float* newer, const float* older, int a, int b, double& total) {
  int best = a;
  float top = newer[a] + (older != nullptr ? older[a] : 0.0f);
  total = top;
  int i = a + 1;
#if defined(__SSE2__)
  if (b - a >= 8) {
    // Four lanes, each keeping its first largest value and where it stood; the sum in two
    // pairs of doubles.
    __m128 vtop = _mm_set1_ps(top);
    __m128i vbest = _mm_set1_epi32(a);
    __m128i idx = _mm_setr_epi32(i, i + 1, i + 2, i + 3);
    const __m128i step = _mm_set1_epi32(4);
    __m128d lo = _mm_setzero_pd(), hi = _mm_setzero_pd();
    for (; i + 3 <= b; i += 4) {
      __m128 v = _mm_loadu_ps(newer + i);
      if (older != nullptr) v = _mm_add_ps(v, _mm_loadu_ps(older + i));
      lo = _mm_add_pd(lo, _mm_cvtps_pd(v));
      hi = _mm_add_pd(hi, _mm_cvtps_pd(_mm_movehl_ps(v, v)));
      const __m128 gt = _mm_cmpgt_ps(v, vtop);
      vtop = _mm_or_ps(_mm_and_ps(gt, v), _mm_andnot_ps(gt, vtop));
      const __m128i m = _mm_castps_si128(gt);
      vbest = _mm_or_si128(_mm_and_si128(m, idx), _mm_andnot_si128(m, vbest));
      idx = _mm_add_epi32(idx, step);
    }
    alignas(16) float tops[4];
    alignas(16) int32_t bests[4];
    alignas(16) double sums[4];
    _mm_store_ps(tops, vtop);
    _mm_store_si128(reinterpret_cast<__m128i*>(bests), vbest);
    _mm_store_pd(sums, lo);
    _mm_store_pd(sums + 2, hi);
    total += (sums[0] + sums[1]) + (sums[2] + sums[3]);
    for (int lane = 0; lane < 4; ++lane) {
      if (tops[lane] > top || (tops[lane] == top && bests[lane] < best)) {
        top = tops[lane];
        best = bests[lane];
      }
    }
  }
#endif
  for (; i <= b; ++i) {
    const float v = newer[i] + (older != nullptr ? older[i] : 0.0f);
    total += v;
    if (v > top) {
      top = v;
      best = i;
    }
  }
  return best;
}

}  // namespace

CarrierMeasure MeasureCarrier(const BandAverage& average, const WindowKernel& kernel,
                              const BandGeometry& band) {
  CarrierMeasure m;
  const int first = std::max(band.first, average.lo());
  const int last = std::min(band.last, average.hi());
  if (average.count() < 1 || first > last || !kernel.valid()) return m;

  // Sums indexed from the band's first bin.
  const int base = average.lo();
  const float* newer = average.NewerPower() + (first - base);
  const float* older = average.OlderPower();
  if (older != nullptr) older += first - base;
  const double count = average.count();
  auto sumBins = [&](int a, int b) { return SumOver(newer, older, a - first, b - first) / count; };
  double bandSum = 0;
  const int p = first + StrongestAndTotal(newer, older, 0, last - first, bandSum);
  bandSum /= count;

  const double w = band.sigBwBins > 0 && std::isfinite(band.sigBwBins) ? band.sigBwBins : 1.0;
  const double g = band.guardBand > 0 && std::isfinite(band.guardBand) ? band.guardBand : 0.0;
  const double guard = (g + 0.5) * w;
  const int sigA = std::max(first, static_cast<int>(std::ceil(p - w / 2)));
  const int sigB = std::min(last, static_cast<int>(std::floor(p + w / 2)));
  const int lowB = std::min(last, static_cast<int>(std::ceil(p - guard)) - 1);
  const int highA = std::max(first, static_cast<int>(std::floor(p + guard)) + 1);
  const int ks = sigB - sigA + 1;
  const int kn = std::max(0, lowB - first + 1) + std::max(0, last - highA + 1);
  if (kn < 1) return m;

  const double signalSum = sumBins(sigA, sigB);
  // The noise bins are the band less the guard region around the peak.
  const double noiseSum = bandSum - sumBins(std::max(first, lowB + 1), std::min(last, highA - 1));
  const double noiseFirstGuess = noiseSum / kn;

  // Sub-bin offset from the averaged products of neighbouring bins, less what white noise
  // puts into them (the window correlates neighbours), mapped back through the window.
  double offset = 0;
  if (p - 1 >= average.lo() && p + 1 <= average.hi()) {
    const double rho = kernel.AdjacentNoiseCorrelation();
    const double below = average.Cross(p - 1);
    const double above = average.Cross(p);
    const double num = below - above;
    const double den = 2 * (average.Power(p) - noiseFirstGuess) -
                       (below - noiseFirstGuess * rho) - (above - noiseFirstGuess * rho);
    if (den > 0) offset = kernel.OffsetFromRatio(num / den);
  }
  const double x = p + offset;

  const double fs = kernel.PowerShareSum(sigA, sigB, x);
  const double fn = kernel.PowerShareSum(first, lowB, x) + kernel.PowerShareSum(highA, last, x);
  const double det = fs - ks * fn / kn;
  const double carrier = det > 0 ? (signalSum - ks * noiseSum / kn) / det : 0.0;
  double noise = (noiseSum - carrier * fn) / kn;
  if (!(noise > 0)) noise = noiseFirstGuess;
  if (!(noise > 0)) return m;

  m.valid = true;
  m.peakBin = p;
  m.offsetBins = offset;
  m.carrierPower = carrier;
  m.noisePerBin = noise;
  m.peakOverNoise = average.Power(p) / noise;
  m.signalBins = ks;
  m.noiseBins = kn;
  return m;
}

}  // namespace corvane
