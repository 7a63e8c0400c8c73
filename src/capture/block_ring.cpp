#include "capture/block_ring.h"

#include <algorithm>
#include <cstring>

namespace corvane {

BlockRing::BlockRing(int blockFrames, int capacityBlocks)
    : blockFrames_(std::max(1, blockFrames)),
      capacity_(std::max(1, capacityBlocks)),
      slots_(static_cast<size_t>(blockFrames_) * 2 * static_cast<size_t>(capacity_)),
      gapBefore_(static_cast<size_t>(capacity_), 0),
      gathering_(static_cast<size_t>(blockFrames_) * 2) {}

int64_t BlockRing::Push(const int16_t* samples, int64_t frames, int channels) {
  int64_t completed = 0;
  while (frames > 0) {
    const int64_t n = std::min(frames, blockFrames_ - filled_);
    int16_t* out = gathering_.data() + 2 * filled_;
    if (channels == 2) {
      std::memcpy(out, samples, static_cast<size_t>(n) * 4);
    } else {
      for (int64_t i = 0; i < n; ++i) {
        out[2 * i] = samples[i];
        out[2 * i + 1] = 0;
      }
    }
    samples += n * channels;
    frames -= n;
    filled_ += n;
    if (filled_ == blockFrames_) {
      Complete();
      ++completed;
    }
  }
  return completed;
}

void BlockRing::Skip(int64_t frames) {
  if (frames <= 0) return;
  // The block in hand misses frames; so does every block the gap covers, and the block it
  // ends in, unless it ends exactly on a block's end.
  const int64_t total = filled_ + frames;
  const int64_t whole = total / blockFrames_;
  if (whole > 0) {
    dropped_.fetch_add(whole, std::memory_order_relaxed);
    pendingGap_ += whole;
  }
  filled_ = total % blockFrames_;
  damaged_ = whole == 0 || filled_ > 0;
}

void BlockRing::Complete() {
  filled_ = 0;
  const uint64_t put = put_.load(std::memory_order_relaxed);
  // acquire: the consumer is done with the slot it freed.
  const bool room = put - taken_.load(std::memory_order_acquire) < static_cast<uint64_t>(capacity_);
  if (damaged_ || !room) {
    damaged_ = false;
    ++pendingGap_;
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  const size_t slot = static_cast<size_t>(put % static_cast<uint64_t>(capacity_));
  std::memcpy(slots_.data() + slot * gathering_.size(), gathering_.data(),
              gathering_.size() * sizeof(int16_t));
  gapBefore_[slot] = pendingGap_;
  pendingGap_ = 0;
  // release: the block and its gap are written before the consumer can see it.
  put_.store(put + 1, std::memory_order_release);
}

bool BlockRing::HasBlock() const {
  return put_.load(std::memory_order_acquire) != taken_.load(std::memory_order_relaxed);
}

bool BlockRing::Pop(int16_t* stereo, int64_t* droppedBefore) {
  const uint64_t taken = taken_.load(std::memory_order_relaxed);
  if (put_.load(std::memory_order_acquire) == taken) return false;
  const size_t slot = static_cast<size_t>(taken % static_cast<uint64_t>(capacity_));
  const size_t values = static_cast<size_t>(blockFrames_) * 2;
  std::memcpy(stereo, slots_.data() + slot * values, values * sizeof(int16_t));
  if (droppedBefore) *droppedBefore = gapBefore_[slot];
  // release: the slot is read before the producer may fill it again.
  taken_.store(taken + 1, std::memory_order_release);
  return true;
}

}  // namespace corvane
