#include "capture/frame_ring.h"

#include <algorithm>
#include <cstring>

namespace corvane {

FrameRing::FrameRing(int blockFrames, int capacityBlocks)
    : blockFrames_(std::max(1, blockFrames)),
      capacity_(static_cast<int64_t>(blockFrames_) * std::max(1, capacityBlocks)),
      data_(static_cast<size_t>(capacity_) * 2) {}

void FrameRing::Discard(int64_t frames) {
  head_ = (head_ + frames) % capacity_;
  count_ -= frames;
}

int64_t FrameRing::Push(const int16_t* stereo, int64_t frames) {
  int64_t droppedNow = 0;
  while (frames > 0) {
    // A chunk larger than the whole ring: only its newest part can survive, and what is
    // skipped counts in whole blocks like any other overflow.
    if (count_ == 0 && frames > capacity_) {
      const int64_t skip = ((frames - capacity_ + blockFrames_ - 1) / blockFrames_) *
                           blockFrames_;
      droppedNow += skip / blockFrames_;
      stereo += 2 * skip;
      frames -= skip;
      continue;
    }
    if (count_ + frames > capacity_) {
      // Drop whole oldest blocks until the chunk fits (or the ring is empty).
      const int64_t over = count_ + frames - capacity_;
      const int64_t blocks = std::min((over + blockFrames_ - 1) / blockFrames_,
                                      (count_ + blockFrames_ - 1) / blockFrames_);
      Discard(std::min(count_, blocks * blockFrames_));
      droppedNow += blocks;
      continue;
    }
    int64_t tail = (head_ + count_) % capacity_;
    int64_t left = frames;
    while (left > 0) {
      const int64_t n = std::min(left, capacity_ - tail);
      std::memcpy(data_.data() + 2 * tail, stereo, static_cast<size_t>(n) * 4);
      stereo += 2 * n;
      left -= n;
      count_ += n;
      tail = (tail + n) % capacity_;
    }
    frames = 0;
  }
  dropped_ += droppedNow;
  return droppedNow;
}

bool FrameRing::PopBlock(int16_t* stereo) {
  if (!HasBlock()) return false;
  int64_t left = blockFrames_;
  while (left > 0) {
    const int64_t n = std::min(left, capacity_ - head_);
    std::memcpy(stereo, data_.data() + 2 * head_, static_cast<size_t>(n) * 4);
    stereo += 2 * n;
    left -= n;
    Discard(n);
  }
  return true;
}

}  // namespace corvane
