#pragma once
// Appends log records to a named file: opened, written, synced and closed per call, so the
// file can be read or moved between records. A record that cannot be written is held and
// written, in order, ahead of the next one; nothing is lost without being counted.

#include <cstddef>
#include <deque>
#include <string>

namespace corvane {

struct AppendResult {
  bool ok = true;      // every held record, the new one included, reached the file
  std::string error;   // "Log write failed: <reason>" when !ok, else empty
  size_t pending = 0;  // records held for the next attempt
  size_t dropped = 0;  // records discarded so far because the hold was full (oldest first)

  // error, followed by the held and dropped counts when there are any; empty when ok.
  std::string StatusText() const;
  bool operator==(const AppendResult&) const = default;
};

class LogWriter {
 public:
  // About a day of one-second records.
  static constexpr size_t kDefaultMaxPending = 100000;

  explicit LogWriter(size_t maxPending = kDefaultMaxPending);

  // Queues line (written byte for byte, the caller supplies CR LF) behind any held records
  // and writes them all to fileName, oldest first. Held records go to whatever file name the
  // current call gives, so correcting a bad name delivers them to the corrected file.
  AppendResult Append(const std::string& fileName, const std::string& line);

  // Writes the held records, if any, without adding one (for example before the program
  // ends). With nothing held it does not touch the file and reports ok.
  AppendResult Flush(const std::string& fileName);

  // Queues line behind the held records without touching the file: the next Append or Flush
  // writes them together, with one open and close (a run far faster than real time gathers
  // its records so).
  void Hold(const std::string& line) { pending_.push_back(line); }

  size_t pending() const { return pending_.size(); }
  size_t dropped() const { return dropped_; }

  // Sync each append to the storage device before closing (default on): a record reported
  // written survives a power cut. Off is for runs that write far faster than real time.
  void SetSyncToDisk(bool on) { sync_ = on; }

 private:
  AppendResult WriteHeld(const std::string& fileName);
  AppendResult Result(bool ok, const std::string& reason) const;

  std::deque<std::string> pending_;
  size_t maxPending_;
  size_t dropped_ = 0;
  bool sync_ = true;
};

}  // namespace corvane
