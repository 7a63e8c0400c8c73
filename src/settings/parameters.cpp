#include "settings/parameters.h"

#include <algorithm>
#include <cmath>

#include "common/format_pattern.h"
#include "common/numtext.h"

namespace corvane {
namespace {

// Every conversion needs a rate and a length above 0; anything else has no result.
bool Usable(double sampleRate, int32_t fftLen) {
  return std::isfinite(sampleRate) && sampleRate > 0 && fftLen > 0;
}

double FiniteOrZero(double x) {
  return std::isfinite(x) ? x : 0.0;
}

// rate * (seconds / len): frames in a period, in the order the controls compute it.
double FramesIn(double seconds, double sampleRate, int32_t fftLen) {
  if (!Usable(sampleRate, fftLen)) return 0.0;
  return FiniteOrZero(sampleRate * (seconds / static_cast<double>(fftLen)));
}

}  // namespace

double HzToBin(double hz, double sampleRate, int32_t fftLen) {
  if (!Usable(sampleRate, fftLen)) return 0.0;
  return RoundHalfUp((hz / sampleRate) * static_cast<double>(fftLen));
}

double SigBWHzToBins(double hz, double sampleRate, int32_t fftLen) {
  return std::max(HzToBin(hz, sampleRate, fftLen), 1.0);
}

double BinToHz(double bin, double sampleRate, int32_t fftLen) {
  if (!Usable(sampleRate, fftLen)) return 0.0;
  return FiniteOrZero(sampleRate * (bin / static_cast<double>(fftLen)));
}

std::string CentreFreqText(double bin, double sampleRate, int32_t fftLen) {
  return FormatPattern(BinToHz(bin, sampleRate, fftLen), "####.0");
}

double SecondsToDetFrames(double seconds, double sampleRate, int32_t fftLen) {
  return std::max(RoundHalfUp(FramesIn(seconds, sampleRate, fftLen)), 2.0);
}

double DetFramesToSeconds(double frames, double sampleRate, int32_t fftLen) {
  if (!Usable(sampleRate, fftLen)) return 0.0;
  return FiniteOrZero((static_cast<double>(fftLen) * frames) / sampleRate);
}

int32_t HistLenFromPeriod(double seconds, double sampleRate, int32_t fftLen) {
  return std::clamp(RoundHalfEven32(FramesIn(seconds, sampleRate, fftLen)), int32_t{2},
                    int32_t{64});
}

int StabFactUDValueFor(double stabLimitDb) {
  const double s = RoundHalfUp(stabLimitDb);
  const double max = design::kStabFactUD.max;  // 4, the lower end: the bar is upside down
  const double min = design::kStabFactUD.min;  // 20
  if (s > max && s < min) return static_cast<int>(s);
  return -1;
}

std::string BinSizeText(double sampleRate, int32_t fftLen) {
  const double binHz = Usable(sampleRate, fftLen) ? sampleRate / static_cast<double>(fftLen) : 0.0;
  return "Sampling rate" + SignSpacedText(sampleRate) + "Hz   FFT Bin Size " +
         FormatPattern(binHz, "#0.##Hz");
}

}  // namespace corvane
