#pragma once
// Generated logs for the history's tests and benchmarks: one-second records with a daily
// S/N curve, every 97th record unsteady (its S/N and signal missing), and an optional stretch
// without records.

#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

#include "logging/log_record.h"

namespace corvane::testing {

// S/N in 1 Hz at UTC second t: best in the early afternoon, with a slow ripple.
inline double SnrAt(double t) {
  constexpr double kPi = 3.14159265358979;
  const double hour = std::fmod(t, 86400.0) / 3600.0;
  return 25 + 12 * std::cos(2 * kPi * (hour - 13.5) / 24) + 2 * std::sin(t / 37.0);
}

inline bool Unsteady(long k) {
  return k % 97 == 96;
}

// The data log from `start` (UTC seconds), `count` one-second records, none in
// [outageFrom, outageTo).
inline std::string DataLogText(double start, long count, double outageFrom = 0,
                               double outageTo = 0) {
  std::string text =
      "# Corvane 0.1\n"
      "utc,local,freq_hz,cn0_dbhz,detected,steady,snr_1hz_db,signal_dbfs,noise_dbfs_hz,"
      "drift_hz_s,drift_span_s,age_s,dropped_blocks,source\n";
  text.reserve(text.size() + static_cast<size_t>(count) * 130);
  char line[256];
  for (long k = 0; k < count; ++k) {
    const double t = start + static_cast<double>(k);
    if (t >= outageFrom && t < outageTo) continue;
    const std::time_t s = static_cast<std::time_t>(t);
    std::tm utc{};
    gmtime_r(&s, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &utc);
    const double snr = SnrAt(t);
    if (Unsteady(k)) {
      std::snprintf(line, sizeof line, "%sZ,%s,,,0,0,,,-126.00,,60,0.68,0,\"Test, beacon\"\n",
                    stamp, stamp);
    } else {
      std::snprintf(line, sizeof line,
                    "%sZ,%s,%.3f,%.2f,1,1,%.1f,%.2f,-126.00,%.5f,60,0.68,0,\"Test, beacon\"\n",
                    stamp, stamp, 1000 + 0.5 * std::sin(t / 3000), snr - 0.5, snr, snr - 0.5 - 126,
                    0.5 / 3000 * std::cos(t / 3000));
    }
    text += line;
  }
  return text;
}

// The record log, lines as the log writer makes them, local time.
inline std::string RecordLogText(double start, long count, double outageFrom = 0,
                                 double outageTo = 0) {
  std::string text;
  text.reserve(static_cast<size_t>(count) * 48);
  for (long k = 0; k < count; ++k) {
    const double t = start + static_cast<double>(k);
    if (t >= outageFrom && t < outageTo) continue;
    const std::time_t s = static_cast<std::time_t>(t);
    std::tm local{};
    localtime_r(&s, &local);
    DateTime at{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                local.tm_hour,        local.tm_min,     local.tm_sec};
    const double snr = SnrAt(t);
    const bool unsteady = Unsteady(k);
    text += BuildLogRecord(at, 12000, 8192, 683, unsteady ? kMissingDb : snr - 20, -35.2,
                           unsteady ? kMissingDb : snr, 0.0012);
  }
  return text;
}

}  // namespace corvane::testing
