#pragma once
// The bounded queue between a sound card and the block loop: stereo frames arrive in
// chunks of any size and leave in whole blocks. When processing falls behind and the ring
// would overflow, whole blocks are dropped from the oldest end, so every block handed out
// is contiguous in time and the gaps fall on block boundaries.

#include <cstdint>
#include <vector>

namespace corvane {

class FrameRing {
 public:
  // blockFrames > 0, capacityBlocks >= 1.
  FrameRing(int blockFrames, int capacityBlocks);

  // Appends interleaved stereo frames; returns the number of whole blocks dropped to make
  // room (also added to droppedBlocks()).
  int64_t Push(const int16_t* stereo, int64_t frames);
  // Copies the oldest whole block into `stereo` (2 * blockFrames values) and removes it;
  // false when less than a block is waiting.
  bool PopBlock(int16_t* stereo);

  bool HasBlock() const { return count_ >= blockFrames_; }
  int64_t framesWaiting() const { return count_; }
  int64_t capacityFrames() const { return capacity_; }
  int blockFrames() const { return blockFrames_; }
  int64_t droppedBlocks() const { return dropped_; }
  void Clear() { head_ = count_ = 0; }

 private:
  void Discard(int64_t frames);

  int blockFrames_;
  int64_t capacity_;
  std::vector<int16_t> data_;  // capacity_ stereo frames
  int64_t head_ = 0;           // oldest frame
  int64_t count_ = 0;
  int64_t dropped_ = 0;
};

}  // namespace corvane
