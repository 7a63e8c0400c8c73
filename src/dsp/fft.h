#pragma once
// Radix-2 complex FFT and the window functions, over program-wide module state.

#include <cstdint>

namespace Module1 {

inline constexpr int32_t kMaxFFTLen = 32768;
inline constexpr int32_t kFFTDataSize = 131072;  // floats; point k at 2k+1 (re), 2k+2 (im)
inline constexpr int32_t kWinTableSize = 65537;

// Points per FFT. Must be a power of two, 2 <= FFTLen <= kMaxFFTLen, when the FFT runs.
extern int32_t FFTLen;
// Window table; a window routine writes entries 0 .. FFTLen-1 and leaves the rest.
extern float WinTable[kWinTableSize];

// In-place DFT with the positive exponent and no scaling over entries 1 .. 2*FFTLen of
// `data` (which must hold kFFTDataSize floats). Does nothing unless FFTLen is a power of
// two in range.
void ComplexFFT(float* data);

void MakeHammingWindow();
void MakeBlackmanHarrisWindow();
void MakeHanningWindow();
void MakeFlatWindow();

// List index of the window combo box: 0 Hamming, 1 Blackman Harris, 2 Hanning,
// 3 No Window; anything else builds nothing.
void MakeWindow(int listIndex);

}  // namespace Module1
