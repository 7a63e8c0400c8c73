#pragma once
// The text of one log record: six fixed-pattern fields and CR LF.

#include "common/missing_value.h"
#include <cstdint>
#include <string>

#include "common/format_pattern.h"

namespace corvane {

// The value that stands for "not measured" in the signal level and S/N.

// Builds "HH:mm:ss  ", the carrier frequency sampleRate * peakBin / fftLen as "0000  ",
// the signal level as " 00.0  " (or the fixed "-99.9  " when it is not above 0), the noise
// level and the S/N in 1 Hz as "00.0  ", the drift as "00.0000  ", then CR LF.
//
// Nothing non-numeric ever reaches the line: a non-finite level or S/N is written as the
// missing value (-99.9 for the signal, -99.0 for noise and S/N); a frequency that cannot
// be formed (fftLen <= 0, a non-finite rate or bin) and a non-finite drift are written as 0.
std::string BuildLogRecord(const DateTime& now, double sampleRate, int32_t fftLen, double peakBin,
                           double logSignalDb, double noiseLevelDb, double logSN1HzDb,
                           double driftHzPerSec);

}  // namespace corvane
