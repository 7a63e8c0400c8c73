#pragma once
// A Recorder on a thread of its own behind a bounded queue, so that encoding and a slow disk
// never hold up the block loop. Push() copies the block and returns at once; when the
// queue already holds `queueSeconds` of audio the block is dropped instead, counted, and
// recorded as a gap. Events reach the listener on the writer thread.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "capture/recorder.h"

namespace corvane {

class RecorderThread {
 public:
  RecorderThread(RecorderOptions options, Recorder::Listener listener,
                 double queueSeconds = 30);
  ~RecorderThread();  // Finish()
  RecorderThread(const RecorderThread&) = delete;
  RecorderThread& operator=(const RecorderThread&) = delete;

  // A block of interleaved stereo frames whose last was taken at `wallEndUs` (microseconds
  // since 1970-01-01 UTC).
  void Push(const int16_t* stereo, int64_t frames, int64_t wallEndUs);
  // Blocks the capture dropped just before the next Push.
  void NoteDropped(int64_t frames, int64_t blocks);
  // Waits until every block pushed so far has reached the recorder (for a caller about to
  // look at the files).
  void Drain();
  // Records what is queued, finishes the file and ends the thread.
  void Finish();

  // False once the recorder has stopped by itself (disk margin, write failure) or finished.
  bool active() const { return active_.load(std::memory_order_relaxed); }
  // Blocks dropped because the queue was full.
  int64_t queueDroppedBlocks() const;

 private:
  struct Item {
    std::vector<int16_t> samples;
    int64_t frames = 0;
    int64_t wallEndUs = 0;
    int64_t captureGapFrames = 0, captureGapBlocks = 0;
    int64_t queueGapFrames = 0, queueGapBlocks = 0;
  };

  void Run();

  const int64_t capacityFrames_;
  std::atomic<bool> active_{true};
  Recorder recorder_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable drained_;
  bool busy_ = false;  // the writer holds an item outside the queue
  std::deque<Item> queue_;
  std::vector<std::vector<int16_t>> spare_;  // buffers handed back, so pushing rarely allocates
  int64_t queuedFrames_ = 0;
  Item pendingGap_;  // gaps waiting for the next block
  int64_t queueDropped_ = 0;
  bool finishing_ = false;
  std::thread thread_;
};

}  // namespace corvane
