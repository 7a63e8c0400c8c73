#include "logging/data_record.h"

namespace corvane {

const std::vector<std::string>& DataRecordColumns() {
  static const std::vector<std::string> columns = {
      "utc",         "local",         "freq_hz",    "cn0_dbhz",     "detected",
      "steady",      "snr_1hz_db",    "signal_dbfs", "noise_dbfs_hz", "drift_hz_s",
      "drift_span_s", "age_s",        "dropped_blocks", "source"};
  return columns;
}

}  // namespace corvane
