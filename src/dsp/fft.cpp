#include "dsp/fft.h"

#include <cmath>

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

void ComplexFFT(float* data) {
  if (!ValidLength(FFTLen)) return;
  float* d = data;  // d[i] is entry i; the points use entries 1 .. n
  const int32_t n = 2 * FFTLen;

  int32_t j = 1;
  for (int32_t i = 1; i <= n; i += 2) {
    if (j > i) {
      const float tr = d[j];
      d[j] = d[i];
      d[i] = tr;
      const float ti = d[j + 1];
      d[j + 1] = d[i + 1];
      d[i + 1] = ti;
    }
    int32_t m = n / 2;
    while (m >= 2 && j > m) {
      j -= m;
      m /= 2;
    }
    j += m;
  }

  int32_t mmax = 2;
  while (n > mmax) {
    const int32_t istep = 2 * mmax;
    const double theta = kTwoPi / mmax;
    const double wpr = std::cos(theta);
    const double wpi = std::sin(theta);
    double wr = 1.0;
    double wi = 0.0;
    for (int32_t m = 1; m <= mmax; m += 2) {
      for (int32_t i = m; i <= n; i += istep) {
        const int32_t k = i + mmax;
        const double tempr = wr * d[k] - wi * d[k + 1];
        const double tempi = wr * d[k + 1] + wi * d[k];
        d[k] = static_cast<float>(d[i] - tempr);
        d[k + 1] = static_cast<float>(d[i + 1] - tempi);
        d[i] = static_cast<float>(d[i] + tempr);
        d[i + 1] = static_cast<float>(d[i + 1] + tempi);
      }
      const double wtemp = wr;
      wr = wr * wpr - wi * wpi;
      wi = wi * wpr + wtemp * wpi;
    }
    mmax = istep;
  }
}

void MakeHammingWindow() {
  FillWindow([](double x) { return 0.54 - 0.46 * std::cos(x); });
}

void MakeBlackmanHarrisWindow() {
  FillWindow([](double x) {
    return 0.42323 - 0.49755 * std::cos(x) + 0.07922 * std::cos(2.0 * x);
  });
}

void MakeHanningWindow() {
  FillWindow([](double x) { return 0.5 - 0.5 * std::cos(x); });
}

void MakeFlatWindow() {
  FillWindow([](double) { return 0.5; });
}

void MakeWindow(int listIndex) {
  switch (listIndex) {
    case 0: MakeHammingWindow(); break;
    case 1: MakeBlackmanHarrisWindow(); break;
    case 2: MakeHanningWindow(); break;
    case 3: MakeFlatWindow(); break;
    default: break;
  }
}

}  // namespace Module1
