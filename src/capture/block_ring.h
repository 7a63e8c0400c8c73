#pragma once
// The queue between the audio thread and the block loop, without locks: one thread (the
// producer) appends frames as they arrive, another (the consumer) takes whole blocks.
//
// Frames are gathered into blocks on the stream's own grid: block k holds the frames
// k * blockFrames ... (k + 1) * blockFrames - 1 since the start. A block that is complete
// while the ring is full is dropped whole, and so is a block that misses any frame (a gap
// in the input); the next block taken says how many were dropped right before it. So every
// block taken is contiguous, and every gap between two of them is a whole number of blocks,
// counted and known in place.

#include <atomic>
#include <cstdint>
#include <vector>

namespace corvane {

class BlockRing {
 public:
  // blockFrames > 0, capacityBlocks >= 1.
  BlockRing(int blockFrames, int capacityBlocks);

  // ---- Producer ----
  // Appends frames of `channels` (1 or 2) interleaved 16-bit samples; a mono frame goes to
  // the left channel, the right silent. Returns the number of blocks completed meanwhile,
  // delivered to the ring or dropped.
  int64_t Push(const int16_t* samples, int64_t frames, int channels = 2);
  // `frames` of the input were lost before they arrived: the blocks they touch are dropped.
  void Skip(int64_t frames);

  // ---- Consumer ----
  // Copies the oldest block into `stereo` (2 * blockFrames values) and frees its place;
  // *droppedBefore (if given) = the blocks dropped between the previous block taken and this
  // one. False when no whole block is waiting.
  bool Pop(int16_t* stereo, int64_t* droppedBefore = nullptr);
  bool HasBlock() const;

  // ---- Either thread ----
  // Blocks dropped so far, including those after the last block taken.
  int64_t droppedBlocks() const { return dropped_.load(std::memory_order_relaxed); }
  int blockFrames() const { return blockFrames_; }
  int capacityBlocks() const { return capacity_; }

 private:
  void Complete();

  const int blockFrames_;
  const int capacity_;
  std::vector<int16_t> slots_;      // capacity_ blocks of stereo frames
  std::vector<int64_t> gapBefore_;  // per slot: blocks dropped right before it
  // Blocks put in and taken out since the start; put - taken <= capacity_.
  alignas(64) std::atomic<uint64_t> put_{0};
  alignas(64) std::atomic<uint64_t> taken_{0};
  alignas(64) std::atomic<int64_t> dropped_{0};
  // Producer only: the block being gathered.
  std::vector<int16_t> gathering_;
  int64_t filled_ = 0;
  bool damaged_ = false;  // a frame of it is missing
  int64_t pendingGap_ = 0;
};

}  // namespace corvane
