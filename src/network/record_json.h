#pragma once
// The messages a station publishes, each one JSON object on one line:
//   <topic>/record  a record of the data log: its columns by the CSV's names, with the
//                   CSV's values (numbers as bare numbers, 0/1 flags, null where the CSV
//                   is empty), plus "station";
//   <topic>/run     the run's description, the CSV's "#" lines (retained);
//   <topic>/alarm   an alarm's rising edge.

#include <string>

#include "logging/data_record.h"

namespace corvane {

struct AlarmEvent {
  std::string utc, local;  // ISO 8601, as in the records
  double snr1HzDb = 0;     // the S/N in 1 Hz that crossed the threshold
  double thresholdDb = 0;
  double peakHz = 0;  // the peak bin's frequency
  std::string source;
};

// A JSON string: quotes, backslashes and control characters escaped.
std::string JsonString(const std::string& text);

std::string RecordJson(const DataRecord& record, const std::string& station);
std::string RunJson(const RunDescription& run, const std::string& station);
std::string AlarmJson(const AlarmEvent& alarm, const std::string& station);

}  // namespace corvane
