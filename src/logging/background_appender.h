#pragma once
// A LogWriter on a thread of its own: records are queued and written, synced and closed
// there, in order, so a slow disk, a sync that takes seconds or a stuck network share never
// holds up a block or a tick. Records that fail are held by the writer exactly as before.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "logging/log_writer.h"

namespace corvane {

class BackgroundAppender {
 public:
  // Called on the writer thread after every append or flush, in order.
  using Done = std::function<void(const AppendResult&)>;

  explicit BackgroundAppender(Done done = {}, size_t maxPending = LogWriter::kDefaultMaxPending);
  // Writes what is queued, waiting at most kShutdownWait for it; a writer stuck beyond that
  // is left to end with the process.
  ~BackgroundAppender();
  BackgroundAppender(const BackgroundAppender&) = delete;
  BackgroundAppender& operator=(const BackgroundAppender&) = delete;

  static constexpr std::chrono::seconds kShutdownWait{10};

  void Append(const std::string& fileName, const std::string& line);
  // Any other writing that must happen on the writer's thread, in order with the rest (a
  // writer of its own, such as the data log's); its result goes to Done like an append's.
  void Run(std::function<AppendResult()> job);
  // The same for a job that appends a record to fileName through a writer of its own. When
  // jobs are gathered and the next one appends to the same file the same way, `hold` runs
  // instead of `job`: it only queues the record in that writer (LogWriter::Hold), and the
  // last of them writes them all with one open and close.
  void Run(std::function<AppendResult()> job, const std::string& fileName,
           std::function<void()> hold);
  // Writes the held records, if any, to fileName.
  void Flush(const std::string& fileName);
  // Off is for runs far faster than real time, and then the jobs are also gathered: the
  // thread wakes when kBatchJobs wait or kBatchWait has passed since the first, a few times
  // a second instead of for every record.
  void SetSyncToDisk(bool on);
  static constexpr size_t kBatchJobs = 512;
  static constexpr std::chrono::milliseconds kBatchWait{100};
  // Blocks until every queued job has run; false when `limit` passed first.
  bool WaitIdle(std::chrono::milliseconds limit);
  // Records held by the writer after the last job (for the program end's report).
  size_t pending() const;

 private:
  struct Job {
    std::string fileName;
    std::string line;
    bool flushOnly = false;
    std::function<AppendResult()> custom;
    std::function<void()> hold;  // a custom append's record, queued only
    bool appends() const { return !flushOnly && (!custom || hold); }
  };
  // b appends to a's file the way a does, so a's record may wait for b's write.
  static bool Joins(const Job& a, const Job& b);
  struct Shared {
    std::mutex mutex;
    std::condition_variable wake, idle;
    std::deque<Job> jobs;
    bool busy = false;
    bool stop = false;
    bool sync = true;
    bool hurry = false;  // someone waits for the jobs: no gathering
    size_t pending = 0;
    LogWriter writer;
    Done done;
    explicit Shared(size_t maxPending) : writer(maxPending) {}
  };
  static void Run(const std::shared_ptr<Shared>& s);
  void Post(Job job);

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace corvane
