#include "logging/background_appender.h"

#include <utility>

namespace corvane {

BackgroundAppender::BackgroundAppender(Done done, size_t maxPending)
    : shared_(std::make_shared<Shared>(maxPending)) {
  shared_->done = std::move(done);
  // The thread holds its own reference: if it has to be left behind at the end, it never
  // touches freed memory.
  thread_ = std::thread([s = shared_] { Run(s); });
}

BackgroundAppender::~BackgroundAppender() {
  const bool idle = WaitIdle(kShutdownWait);
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->stop = true;
    shared_->done = nullptr;
  }
  shared_->wake.notify_all();
  if (idle) {
    thread_.join();
  } else {
    thread_.detach();
  }
}

void BackgroundAppender::Post(Job job) {
  bool wake = true;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->jobs.push_back(std::move(job));
    // Gathering: the first job starts the wait, a full batch ends it.
    const size_t n = shared_->jobs.size();
    if (!shared_->sync) wake = n == 1 || n == kBatchJobs;
  }
  if (wake) shared_->wake.notify_one();
}

void BackgroundAppender::Append(const std::string& fileName, const std::string& line) {
  Post({fileName, line, false, {}, {}});
}

void BackgroundAppender::Flush(const std::string& fileName) { Post({fileName, {}, true, {}, {}}); }

void BackgroundAppender::Run(std::function<AppendResult()> job) {
  Post({{}, {}, false, std::move(job), {}});
}

void BackgroundAppender::Run(std::function<AppendResult()> job, const std::string& fileName,
                             std::function<void()> hold) {
  Post({fileName, {}, false, std::move(job), std::move(hold)});
}

bool BackgroundAppender::Joins(const Job& a, const Job& b) {
  return a.appends() && b.appends() && a.fileName == b.fileName && !a.custom == !b.custom;
}

void BackgroundAppender::SetSyncToDisk(bool on) {
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->sync = on;
  }
  shared_->wake.notify_one();
}

bool BackgroundAppender::WaitIdle(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->hurry = true;
  shared_->wake.notify_one();
  const bool idle = shared_->idle.wait_for(
      lock, limit, [this] { return shared_->jobs.empty() && !shared_->busy; });
  shared_->hurry = false;
  return idle;
}

size_t BackgroundAppender::pending() const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->pending;
}

void BackgroundAppender::Run(const std::shared_ptr<Shared>& s) {
  std::unique_lock<std::mutex> lock(s->mutex);
  while (true) {
    s->wake.wait(lock, [&] { return s->stop || !s->jobs.empty(); });
    if (s->jobs.empty()) break;  // stopping, and nothing left to write
    if (!s->sync && !s->busy) {
      s->wake.wait_for(lock, kBatchWait, [&] {
        return s->stop || s->hurry || s->sync || s->jobs.size() >= kBatchJobs;
      });
    }
    Job job = std::move(s->jobs.front());
    s->jobs.pop_front();
    s->busy = true;
    s->writer.SetSyncToDisk(s->sync);
    if (!s->sync && !s->jobs.empty() && Joins(job, s->jobs.front())) {
      // The next record's write takes this one along.
      lock.unlock();
      if (job.custom) {
        job.hold();
      } else {
        s->writer.Hold(job.line);
      }
      lock.lock();
      continue;
    }
    lock.unlock();
    // The writer is only ever used on this thread.
    const AppendResult r = job.custom      ? job.custom()
                           : job.flushOnly ? s->writer.Flush(job.fileName)
                                           : s->writer.Append(job.fileName, job.line);
    lock.lock();
    s->pending = s->writer.pending();
    const Done done = s->done;
    lock.unlock();
    if (done) done(r);
    lock.lock();
    // A gathered batch is written to its end before the next wait.
    s->busy = !s->jobs.empty();
    if (s->jobs.empty()) s->idle.notify_all();
  }
  s->idle.notify_all();
}

}  // namespace corvane
