#include "capture/frame_ring.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvane {
namespace {

// Frames numbered by their position in the stream: left = n, right = -n (mod 2^15).
std::vector<int16_t> Stream(int64_t first, int64_t frames) {
  std::vector<int16_t> s;
  for (int64_t n = first; n < first + frames; ++n) {
    s.push_back(static_cast<int16_t>(n % 30000));
    s.push_back(static_cast<int16_t>(-(n % 30000)));
  }
  return s;
}

// The stream position of the block's first frame, after checking the block is contiguous.
int64_t BlockStart(const std::vector<int16_t>& block) {
  for (size_t i = 1; i < block.size() / 2; ++i) {
    EXPECT_EQ((block[2 * i] - block[2 * i - 2] + 30000) % 30000, 1) << "gap at frame " << i;
    EXPECT_EQ(block[2 * i + 1], -block[2 * i]);
  }
  return block[0];
}

TEST(FrameRing, ChunksOfAnySizeLeaveAsContiguousBlocks) {
  FrameRing ring(100, 4);
  std::vector<int16_t> block(200);
  int64_t sent = 0;
  int64_t expected = 0;
  // Odd chunk sizes so blocks straddle chunks and the ring's wrap point.
  for (int64_t chunk : {37, 1, 99, 250, 13, 64, 7, 300, 29}) {
    ring.Push(Stream(sent, chunk).data(), chunk);
    sent += chunk;
    while (ring.PopBlock(block.data())) {
      EXPECT_EQ(BlockStart(block), expected);
      expected += 100;
    }
  }
  EXPECT_EQ(expected, sent / 100 * 100);
  EXPECT_EQ(ring.framesWaiting(), sent % 100);
  EXPECT_EQ(ring.droppedBlocks(), 0);
}

TEST(FrameRing, OverflowDropsWholeOldestBlocksAndCountsThem) {
  FrameRing ring(100, 4);
  std::vector<int16_t> block(200);
  EXPECT_EQ(ring.Push(Stream(0, 400).data(), 400), 0);  // exactly full
  EXPECT_EQ(ring.Push(Stream(400, 1).data(), 1), 1);    // one frame more: block 0 goes
  EXPECT_EQ(ring.framesWaiting(), 301);
  EXPECT_LE(ring.framesWaiting(), ring.capacityFrames());
  ASSERT_TRUE(ring.PopBlock(block.data()));
  EXPECT_EQ(BlockStart(block), 100);
  EXPECT_EQ(ring.Push(Stream(401, 250).data(), 250), 1);  // 451 > 400: block 1 goes
  ASSERT_TRUE(ring.PopBlock(block.data()));
  EXPECT_EQ(BlockStart(block), 300);
  EXPECT_EQ(ring.droppedBlocks(), 2);
}

TEST(FrameRing, ChunkLargerThanTheRingKeepsItsNewestWholeBlocks) {
  FrameRing ring(100, 4);
  std::vector<int16_t> block(200);
  ring.Push(Stream(0, 50).data(), 50);
  // 50 waiting + 1000 arriving: only the last 400 can be kept.
  const int64_t dropped = ring.Push(Stream(50, 1000).data(), 1000);
  EXPECT_LE(ring.framesWaiting(), 400);
  EXPECT_EQ(ring.droppedBlocks(), dropped);
  EXPECT_GE(dropped, 6);
  int64_t last = -1;
  while (ring.PopBlock(block.data())) {
    const int64_t start = BlockStart(block);
    if (last >= 0) {
      EXPECT_EQ(start, last + 100);
    }
    last = start;
  }
  EXPECT_EQ(last + 100 + ring.framesWaiting(), 1050);  // ends with the newest frame
}

TEST(FrameRing, NothingToPopUntilAWholeBlockIsIn) {
  FrameRing ring(64, 2);
  std::vector<int16_t> block(128, 777);
  ring.Push(Stream(0, 63).data(), 63);
  EXPECT_FALSE(ring.HasBlock());
  EXPECT_FALSE(ring.PopBlock(block.data()));
  EXPECT_EQ(block[0], 777);
  ring.Push(Stream(63, 1).data(), 1);
  EXPECT_TRUE(ring.PopBlock(block.data()));
  EXPECT_EQ(ring.framesWaiting(), 0);
}

}  // namespace
}  // namespace corvane
