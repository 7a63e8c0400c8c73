#pragma once
// The measurement parameter set and its unit conversions (Hz <-> bins, seconds <-> frames).
// FFTLen is not here: it is program-wide module state (Module1::FFTLen).

#include <cstdint>
#include <string>

namespace corvane {

struct Rgb {
  int r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

struct MeasurementParams {
  double SampleRate = 0;  // Hz
  double CentreBin = 0;
  double SigBWBins = 0;
  double FMinBin = 0;
  double FMaxBin = 0;
  double DetFrames = 0;
  double StabLimitDb = 0;
  int32_t HistLen = 0;
  double AlarmThreshDb = 0;
  bool AlarmActive = false;
  float GuardBand = 0;
  double LogIntervalSecs = 0;
  std::string LogFileName;
  Rgb TraceColour{0, 0, 0};
};

// No capture device goes above this rate. A rate outside 1 Hz .. this (a settings line of
// 1e308 or 1e-320, a file header of 1 GHz) is none a source delivers.
inline constexpr double kMaxSampleRate = 384000;
inline bool UsableSampleRate(double rate) { return rate >= 1 && rate <= kMaxSampleRate; }

// Design-time texts and values of the controls.
namespace design {
inline constexpr const char* kSRate = "12000";
inline constexpr const char* kFFTSize = "8192";
inline constexpr const char* kCF = "1000";
inline constexpr const char* kSigBW = "100";
inline constexpr const char* kDetPeriod = "3";
inline constexpr const char* kStabFactor = "10";
inline constexpr const char* kHist = "16";
inline constexpr const char* kAVConst = "5";
inline constexpr const char* kLogFile = "SIGREC.TXT";
inline constexpr const char* kLogInterval = "No Log";
inline constexpr const char* kCaption = "Signal Logging  Velmora  June 2012";
inline constexpr const char* kFFTSizes[] = {"1024", "2048", "4096", "8192", "16384", "32768"};
inline constexpr const char* kWindowTypes[] = {"Hamming", "Blackman Harris", "Hanning",
                                                "No Window"};
inline constexpr const char* kLogIntervals[] = {"No Log", "1s",  "5s",    "15s",   "30s", "1min",
                                                 "5min",   "15min", "30min", "1hr", "2hr"};

// An up-down or band scroll bar as designed. For the vertical ones min > max: the upper
// arrow raises the value.
struct ScrollBarDesign {
  int min, max, smallChange, largeChange, value;
};
inline constexpr ScrollBarDesign kCFUD{3000, 1, 1, 1, 1};
inline constexpr ScrollBarDesign kSigBWUD{1000, 0, 10, 100, 100};
inline constexpr ScrollBarDesign kDetPeriodUD{20, 1, 1, 1, 5};
inline constexpr ScrollBarDesign kStabFactUD{20, 4, 1, 1, 10};
inline constexpr ScrollBarDesign kHistUD{64, 2, 1, 2, 16};
inline constexpr ScrollBarDesign kAvConstUD{20, 2, 1, 1, 5};
inline constexpr ScrollBarDesign kAlarmThreshUD{50, 2, 1, 5, 40};
inline constexpr ScrollBarDesign kGB{0, 20, 1, 1, 5};
inline constexpr ScrollBarDesign kFMin{20, 4962, 10, 100, 20};
inline constexpr ScrollBarDesign kFMax{20, 32700, 10, 100, 4800};
}  // namespace design

// Every conversion below returns 0 (then raised to its minimum where one applies) when the
// sampling rate or the FFT length is not above 0, so no bin or frame field ever holds an
// infinity or NaN.

// round half up of ((hz / rate) * fftLen)
double HzToBin(double hz, double sampleRate, int32_t fftLen);
// HzToBin raised to at least 1.
double SigBWHzToBins(double hz, double sampleRate, int32_t fftLen);
// rate * (bin / fftLen)
double BinToHz(double bin, double sampleRate, int32_t fftLen);
// The centre frequency read-out: BinToHz in "####.0".
std::string CentreFreqText(double bin, double sampleRate, int32_t fftLen);
// round half up of (rate * (seconds / fftLen)), raised to at least 2.
double SecondsToDetFrames(double seconds, double sampleRate, int32_t fftLen);
// (fftLen * frames) / rate
double DetFramesToSeconds(double frames, double sampleRate, int32_t fftLen);
// round half to even of (rate * (seconds / fftLen)), limited to 2 .. 64.
int32_t HistLenFromPeriod(double seconds, double sampleRate, int32_t fftLen);
// The StabFactUD value for a limit, or -1 when it lies outside (4, 20) exclusive.
int StabFactUDValueFor(double stabLimitDb);
// "Sampling rate" + sign-spaced rate + "Hz   FFT Bin Size " + rate/len in "#0.##Hz".
std::string BinSizeText(double sampleRate, int32_t fftLen);

}  // namespace corvane
