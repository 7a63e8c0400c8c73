#include "capture/block_ring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <random>
#include <thread>
#include <vector>

namespace corvane {
namespace {

// Frames numbered by their position in the stream: left the low, right the high 15 bits.
std::vector<int16_t> Stream(int64_t first, int64_t frames) {
  std::vector<int16_t> s;
  for (int64_t n = first; n < first + frames; ++n) {
    s.push_back(static_cast<int16_t>(n & 0x7fff));
    s.push_back(static_cast<int16_t>((n >> 15) & 0x7fff));
  }
  return s;
}

int64_t Position(const int16_t* frame) {
  return frame[0] | (int64_t{frame[1]} << 15);
}

// The stream position of the block's first frame; -1 if the block is not contiguous.
int64_t BlockStart(const std::vector<int16_t>& block) {
  for (size_t i = 1; i < block.size() / 2; ++i) {
    if (Position(&block[2 * i]) != Position(&block[2 * i - 2]) + 1) return -1;
  }
  return Position(block.data());
}

TEST(BlockRing, ChunksOfAnySizeLeaveAsContiguousBlocks) {
  BlockRing ring(100, 4);
  std::vector<int16_t> block(200);
  int64_t sent = 0, expected = 0, gap = -1;
  // Odd chunk sizes, so blocks straddle chunks and the ring wraps.
  for (int64_t chunk : {37, 1, 99, 250, 13, 64, 7, 300, 29}) {
    ring.Push(Stream(sent, chunk).data(), chunk);
    sent += chunk;
    while (ring.Pop(block.data(), &gap)) {
      EXPECT_EQ(BlockStart(block), expected);
      EXPECT_EQ(gap, 0);
      expected += 100;
    }
  }
  EXPECT_EQ(expected, sent / 100 * 100);
  EXPECT_EQ(ring.droppedBlocks(), 0);
}

TEST(BlockRing, AFullRingDropsWholeNewBlocksAndTheNextBlockTakenSaysHowMany) {
  BlockRing ring(100, 4);
  std::vector<int16_t> block(200);
  int64_t gap = -1;
  EXPECT_EQ(ring.Push(Stream(0, 400).data(), 400), 4);    // exactly full
  EXPECT_EQ(ring.Push(Stream(400, 250).data(), 250), 2);  // blocks 4 and 5 find no room
  EXPECT_EQ(ring.droppedBlocks(), 2);
  ASSERT_TRUE(ring.Pop(block.data(), &gap));
  EXPECT_EQ(BlockStart(block), 0);
  ring.Push(Stream(650, 50).data(), 50);  // block 6 is complete and has room
  for (int64_t start : {100, 200, 300}) {
    ASSERT_TRUE(ring.Pop(block.data(), &gap));
    EXPECT_EQ(BlockStart(block), start);
    EXPECT_EQ(gap, 0);
  }
  ASSERT_TRUE(ring.Pop(block.data(), &gap));
  EXPECT_EQ(BlockStart(block), 600);
  EXPECT_EQ(gap, 2);
  EXPECT_FALSE(ring.HasBlock());
}

TEST(BlockRing, LostInputDropsEveryBlockItTouchesAndKeepsTheGrid) {
  BlockRing ring(100, 8);
  std::vector<int16_t> block(200);
  int64_t gap = -1;
  ring.Push(Stream(0, 30).data(), 30);
  ring.Skip(10);                            // frames 30..39 lost: block 0 is incomplete
  ring.Push(Stream(40, 160).data(), 160);   // ends block 0 and makes block 1
  ring.Skip(250);                           // 200..449: blocks 2, 3 and the start of 4
  ring.Push(Stream(450, 250).data(), 250);  // ends block 4, makes 5 and 6
  ASSERT_TRUE(ring.Pop(block.data(), &gap));
  EXPECT_EQ(BlockStart(block), 100);
  EXPECT_EQ(gap, 1);
  ASSERT_TRUE(ring.Pop(block.data(), &gap));
  EXPECT_EQ(BlockStart(block), 500);
  EXPECT_EQ(gap, 3);
  ASSERT_TRUE(ring.Pop(block.data(), &gap));
  EXPECT_EQ(BlockStart(block), 600);
  EXPECT_EQ(gap, 0);
  EXPECT_EQ(ring.droppedBlocks(), 4);
  // A loss that ends exactly on a block's end spoils nothing after it.
  ring.Skip(100);
  ring.Push(Stream(800, 100).data(), 100);
  ASSERT_TRUE(ring.Pop(block.data(), &gap));
  EXPECT_EQ(BlockStart(block), 800);
  EXPECT_EQ(gap, 1);
}

TEST(BlockRing, AMonoFrameGoesLeftWithTheRightSilent) {
  BlockRing ring(3, 2);
  const int16_t mono[] = {5, -6, 7};
  ring.Push(mono, 3, 1);
  std::vector<int16_t> block(6, 99);
  ASSERT_TRUE(ring.Pop(block.data()));
  EXPECT_EQ(block, (std::vector<int16_t>{5, 0, -6, 0, 7, 0}));
}

TEST(BlockRing, NothingToTakeUntilAWholeBlockIsIn) {
  BlockRing ring(64, 2);
  std::vector<int16_t> block(128, 777);
  ring.Push(Stream(0, 63).data(), 63);
  EXPECT_FALSE(ring.HasBlock());
  EXPECT_FALSE(ring.Pop(block.data()));
  EXPECT_EQ(block[0], 777);
  ring.Push(Stream(63, 1).data(), 1);
  EXPECT_TRUE(ring.Pop(block.data()));
}

// An audio thread and a consumer that pauses now and then: every block taken is contiguous,
// and the blocks taken, the gaps they report and the blocks never taken add up to the
// stream.
TEST(BlockRing, EveryBlockIsTakenWholeOrCountedAcrossThreads) {
  constexpr int kFrames = 64;
  constexpr int64_t kBlocks = 5000;
  BlockRing ring(kFrames, 8);
  std::atomic<bool> done{false};
  std::thread producer([&] {
    std::mt19937 rng(3);
    int64_t sent = 0;
    while (sent < kBlocks * kFrames) {
      const int64_t n =
          std::min<int64_t>(kBlocks * kFrames - sent, 1 + static_cast<int64_t>(rng() % 200));
      ring.Push(Stream(sent, n).data(), n);
      sent += n;
      // About real time for small blocks: the consumer mostly keeps up, and falls behind
      // when it pauses.
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
    done = true;
  });
  std::mt19937 rng(4);
  std::vector<int16_t> block(2 * kFrames);
  int64_t taken = 0, next = 0, gap = 0;
  for (;;) {
    const bool finished = done;  // read before the last look, so nothing is left behind
    if (!ring.Pop(block.data(), &gap)) {
      if (finished) break;
      std::this_thread::yield();
      continue;
    }
    ++taken;
    ASSERT_EQ(BlockStart(block), next + gap * kFrames) << "block " << taken;
    next = BlockStart(block) + kFrames;
    if (rng() % 64 == 0) std::this_thread::sleep_for(std::chrono::microseconds(rng() % 5000));
  }
  producer.join();
  // The blocks dropped after the last one taken are counted too.
  EXPECT_EQ(taken + ring.droppedBlocks(), kBlocks);
  std::cout << taken << " blocks taken, " << ring.droppedBlocks() << " dropped\n";
}

}  // namespace
}  // namespace corvane
