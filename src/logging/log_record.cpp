#include "logging/log_record.h"

#include <cmath>

namespace corvane {

namespace {

double FiniteOr(double x, double fallback) {
  return std::isfinite(x) ? x : fallback;
}

}  // namespace

std::string BuildLogRecord(const DateTime& now, double sampleRate, int32_t fftLen, double peakBin,
                           double logSignalDb, double noiseLevelDb, double logSN1HzDb,
                           double driftHzPerSec) {
  double freqHz = 0;
  if (fftLen > 0) freqHz = FiniteOr(sampleRate * peakBin / static_cast<double>(fftLen), 0);

  std::string line = FormatPattern(now, "HH:mm:ss  ");
  line += FormatPattern(freqHz, "0000  ");
  // Written as "-99.9" rather than through the pattern: an unsteady carrier and a level of
  // 0 dB or below read the same in the log. NaN fails the test too.
  line += logSignalDb > 0 && std::isfinite(logSignalDb) ? FormatPattern(logSignalDb, " 00.0  ")
                                                        : std::string("-99.9  ");
  line += FormatPattern(FiniteOr(noiseLevelDb, kMissingDb), "00.0  ");
  line += FormatPattern(FiniteOr(logSN1HzDb, kMissingDb), "00.0  ");
  line += FormatPattern(FiniteOr(driftHzPerSec, 0), "00.0000  ");
  line += "\r\n";
  return line;
}

}  // namespace corvane
