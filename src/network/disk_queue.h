#pragma once
// The messages that wait for the broker, in a file, oldest first: they survive the broker's
// absence and a restart of the program, and are taken from the front only once the broker
// has acknowledged them. Bounded: when full, the oldest is dropped and counted.
//
// The file: a header line of fixed width holding the offset of the oldest live entry,
// rewritten in place as entries are taken; then one line per entry, "<kind> <payload>",
// appended. A line cut short by a crash is cut off when the file is opened again. Once
// empty the file is truncated to its header; when the consumed part outgrows the live part
// the live part is copied to a fresh file, so the file stays near the size of its entries.
//
// Not thread-safe: one thread owns a queue.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace corvane {

enum class MessageKind : char { Record = 'R', Run = 'D', Alarm = 'A' };

struct QueuedMessage {
  MessageKind kind = MessageKind::Record;
  std::string payload;  // one line: no line feed
};

class DiskQueue {
 public:
  // A day of records at one a second.
  static constexpr size_t kDayOfRecords = 86400;

  explicit DiskQueue(std::string path, size_t capacity = kDayOfRecords);
  ~DiskQueue();
  DiskQueue(const DiskQueue&) = delete;
  DiskQueue& operator=(const DiskQueue&) = delete;

  // Opens the file, creating it, and takes the entries an earlier run left. A file that is
  // not such a queue is renamed to "<path>.unreadable" and a new one started; `warning`
  // says so (and reports lines it had to skip).
  bool Open(std::string* error, std::string* warning);

  // Appends, dropping the oldest first when the queue is full. The entry is on disk (synced
  // when SetSyncToDisk) when this returns true.
  bool Push(const QueuedMessage& message, std::string* error);
  // The entry with sequence number `seq`, frontSeq() <= seq < frontSeq() + size().
  bool Read(uint64_t seq, QueuedMessage* out, std::string* error) const;
  // Takes the `n` oldest entries away.
  bool PopFront(size_t n, std::string* error);

  size_t size() const { return offsets_.size(); }
  size_t capacity() const { return capacity_; }
  // Sequence number of the oldest entry: counts from 0 at Open, up by one per entry taken
  // or dropped.
  uint64_t frontSeq() const { return front_; }
  // Entries dropped because the queue was full, since Open.
  uint64_t dropped() const { return dropped_; }
  void SetSyncToDisk(bool on) { sync_ = on; }
  const std::string& path() const { return path_; }

 private:
  bool Create(std::string* error);
  bool WriteHead(std::string* error);
  bool DropFront(size_t n, std::string* error);
  bool CompactIfWorthIt(std::string* error);
  uint64_t head() const { return offsets_.empty() ? end_ : offsets_.front(); }

  std::string path_;
  size_t capacity_;
  int fd_ = -1;
  std::deque<uint64_t> offsets_;  // where each entry's line starts
  uint64_t end_ = 0;              // the file's length: where the next entry goes
  uint64_t front_ = 0;
  uint64_t dropped_ = 0;
  bool sync_ = true;
};

}  // namespace corvane
