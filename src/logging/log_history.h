#pragma once
// The logs read back for the history view and --plot: the record log ("SIGREC.TXT", time of
// day only) and the data log (CSV, UTC dates), each quantity a time line of its own.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// The record log's levels are the design's raw dB, the data log's are dBFS: different
// quantities, kept apart.
enum class HistoryField {
  Snr1HzDb,     // S/N in 1 Hz (both logs)
  Cn0DbHz,      // data log
  SignalDb,     // record log
  NoiseDb,      // record log
  SignalDbfs,   // data log
  NoiseDbfsHz,  // data log
  FreqHz,       // both
  DriftHzS,     // both
};
inline constexpr int kHistoryFieldCount = 8;

// One quantity over time. A missing value is NaN and breaks the line where it stands; a file
// without the quantity adds no rows at all, so it breaks nothing.
struct HistorySeries {
  std::vector<double> t;  // UTC seconds since 1970, ascending
  std::vector<float> v;
  size_t size() const { return t.size(); }
  bool empty() const { return t.empty(); }
};

struct LogHistory {
  std::array<HistorySeries, kHistoryFieldCount> series;

  HistorySeries& operator[](HistoryField f) { return series[static_cast<size_t>(f)]; }
  const HistorySeries& operator[](HistoryField f) const { return series[static_cast<size_t>(f)]; }
  size_t rows() const;  // of the longest series
  // Earliest and latest time of any series; false when there is none.
  bool span(double* first, double* last) const;
};

enum class LogFormat { Unknown, RecordLog, DataLog };

// Reads one log file, first whole and then what has been appended. Only whole lines are
// read: a last line without its line end (a record being written) waits for the next call.
// CR LF and LF both end a line; lines that are neither a record nor a comment nor a header
// are skipped and counted.
class LogReader {
 public:
  // `text`: the file from byte consumed() to its end. `mtime`: its modification time, UTC
  // seconds. The record log has times of day only: its last record takes the date that
  // puts it nearest to `mtime`, and each earlier one a day back wherever the time of day
  // goes backwards; records appended later continue from the last one. Returns the number
  // of records added to `out`.
  size_t read(std::string_view text, double mtime, LogHistory* out);

  LogFormat format() const { return format_; }
  uint64_t consumed() const { return consumed_; }
  size_t skippedLines() const { return skipped_; }
  bool datesInferred() const { return format_ == LogFormat::RecordLog; }

 private:
  struct TimeOfDayRecord {
    int32_t tod;  // seconds after local midnight
    std::array<float, 5> v;
  };
  void readRecordLine(std::string_view line, std::vector<TimeOfDayRecord>* pending);
  void readDataLine(std::string_view line, LogHistory* out, size_t* added);
  void useHeader(const std::vector<std::string_view>& names);
  void dateRecords(const std::vector<TimeOfDayRecord>& pending, double mtime, LogHistory* out);

  LogFormat format_ = LogFormat::Unknown;
  uint64_t consumed_ = 0;
  size_t skipped_ = 0;
  // Record log: the last record dated, to continue from.
  bool haveLast_ = false;
  double lastUtc_ = 0;
  int64_t lastDay_ = 0;  // local calendar day, days since 1970-01-01
  int32_t lastTod_ = 0;
  // Data log: column index of each field (-1: not in the file) and of `utc`.
  std::array<int, kHistoryFieldCount> column_{};
  int utcColumn_ = 0;
  bool columnsKnown_ = false;
  std::vector<std::string_view> fields_;
};

// Joins files' histories into one time line per quantity, sorted by time; equal times keep
// the order of `parts`.
LogHistory JoinHistories(std::vector<LogHistory> parts);

// Adds records read later (a log being written). Cheap when they come after what is there.
void AppendHistory(LogHistory* into, const LogHistory& more);

// UTC time: a date "2026-12-08", optionally followed by "T" or a blank and "18:00",
// "18:00:30" or "18:00:30.25", optionally followed by "Z" or an offset "+01:00" / "-0500".
// No zone means UTC. Seconds since 1970.
bool ParseUtcTime(std::string_view text, double* seconds);

}  // namespace corvane
