#include "capture/recorder_thread.h"

#include <algorithm>
#include <cmath>

namespace corvane {

RecorderThread::RecorderThread(RecorderOptions options, Recorder::Listener listener,
                               double queueSeconds)
    : capacityFrames_(std::max<int64_t>(1, std::llround(queueSeconds * options.sampleRate))),
      recorder_(std::move(options),
                [this, listener = std::move(listener)](const RecorderEvent& e) {
                  if (e.kind == RecorderEvent::Kind::Stopped) {
                    active_.store(false, std::memory_order_relaxed);
                  }
                  if (listener) listener(e);
                }) {
  if (!recorder_.active()) active_.store(false, std::memory_order_relaxed);
  thread_ = std::thread(&RecorderThread::Run, this);
}

RecorderThread::~RecorderThread() { Finish(); }

void RecorderThread::Push(const int16_t* stereo, int64_t frames, int64_t wallEndUs) {
  if (!active() || frames <= 0) return;
  std::unique_lock lock(mutex_);
  if (finishing_) return;
  if (!queue_.empty() && queuedFrames_ + frames > capacityFrames_) {
    pendingGap_.queueGapFrames += frames;
    pendingGap_.queueGapBlocks += 1;
    ++queueDropped_;
    return;
  }
  Item item = std::move(pendingGap_);
  pendingGap_ = Item{};
  if (!spare_.empty()) {
    item.samples = std::move(spare_.back());
    spare_.pop_back();
  }
  item.samples.assign(stereo, stereo + 2 * frames);
  item.frames = frames;
  item.wallEndUs = wallEndUs;
  queuedFrames_ += frames;
  queue_.push_back(std::move(item));
  lock.unlock();
  wake_.notify_one();
}

void RecorderThread::NoteDropped(int64_t frames, int64_t blocks) {
  if (!active() || frames <= 0) return;
  std::lock_guard lock(mutex_);
  pendingGap_.captureGapFrames += frames;
  pendingGap_.captureGapBlocks += blocks;
}

void RecorderThread::Finish() {
  {
    std::lock_guard lock(mutex_);
    finishing_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
  active_.store(false, std::memory_order_relaxed);
}

void RecorderThread::Drain() {
  std::unique_lock lock(mutex_);
  drained_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

int64_t RecorderThread::queueDroppedBlocks() const {
  std::lock_guard lock(mutex_);
  return queueDropped_;
}

void RecorderThread::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return !queue_.empty() || finishing_; });
    if (queue_.empty()) break;  // finishing, and all written
    Item item = std::move(queue_.front());
    queue_.pop_front();
    queuedFrames_ -= item.frames;
    busy_ = true;
    lock.unlock();
    // The capture's gap came before the blocks the queue had to drop.
    recorder_.Skip(item.captureGapFrames, item.captureGapBlocks, GapCause::Capture);
    recorder_.Skip(item.queueGapFrames, item.queueGapBlocks, GapCause::Queue);
    recorder_.Write(item.samples.data(), item.frames, item.wallEndUs);
    lock.lock();
    busy_ = false;
    spare_.push_back(std::move(item.samples));
    if (queue_.empty()) drained_.notify_all();
  }
  lock.unlock();
  recorder_.Finish();
}

}  // namespace corvane
