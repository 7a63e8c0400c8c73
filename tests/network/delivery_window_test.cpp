#include "network/delivery_window.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvane {
namespace {

// Sends what the window allows from a queue of `queued` messages starting at `front`;
// the packet ids are the sequence numbers plus 100.
std::vector<uint64_t> SendAll(DeliveryWindow& w, uint64_t front, size_t queued) {
  std::vector<uint64_t> sent;
  while (const std::optional<uint64_t> seq = w.Next(front, queued)) {
    w.Sent(static_cast<int>(*seq + 100), *seq);
    sent.push_back(*seq);
  }
  return sent;
}

TEST(DeliveryWindow, SendsInOrderWithinItsWidth) {
  DeliveryWindow w(3);
  EXPECT_EQ(SendAll(w, 0, 5), (std::vector<uint64_t>{0, 1, 2}));
  EXPECT_EQ(w.Acknowledged(100, 0), 1u);
  EXPECT_EQ(SendAll(w, 1, 4), (std::vector<uint64_t>{3}));
}

TEST(DeliveryWindow, OutOfOrderAcknowledgementsFreeOnlyTheFront) {
  DeliveryWindow w(4);
  SendAll(w, 0, 4);
  EXPECT_EQ(w.Acknowledged(102, 0), 0u);  // 0 and 1 still out
  EXPECT_EQ(w.Acknowledged(101, 0), 0u);
  EXPECT_EQ(w.Acknowledged(999, 0), 0u);  // not ours
  EXPECT_EQ(w.Acknowledged(100, 0), 3u);  // 0, 1 and 2 go together
  EXPECT_EQ(w.Acknowledged(100, 3), 0u);  // twice changes nothing
  EXPECT_EQ(w.Acknowledged(103, 3), 1u);
  EXPECT_EQ(w.inFlight(), 0u);
}

TEST(DeliveryWindow, ALostConnectionSendsAgainFromTheOldest) {
  DeliveryWindow w(4);
  SendAll(w, 0, 6);
  EXPECT_EQ(w.Acknowledged(100, 0), 1u);
  w.Reset();
  // The acknowledgement of the old connection's 1 came too late to count.
  EXPECT_EQ(w.Acknowledged(101, 1), 0u);
  EXPECT_EQ(SendAll(w, 1, 5), (std::vector<uint64_t>{1, 2, 3, 4}));
}

TEST(DeliveryWindow, MessagesDroppedFromAFullQueueAreNeitherWaitedForNorSent) {
  DeliveryWindow w(2);
  SendAll(w, 0, 10);  // 0 and 1 out
  EXPECT_EQ(w.Acknowledged(101, 0), 0u);
  // The queue dropped 0 to 4 meanwhile: its front is 5.
  EXPECT_EQ(w.Acknowledged(100, 5), 0u);
  EXPECT_EQ(SendAll(w, 5, 5), (std::vector<uint64_t>{5, 6}));
  EXPECT_EQ(w.Acknowledged(105, 5), 1u);
  EXPECT_EQ(w.Acknowledged(106, 6), 1u);
}

}  // namespace
}  // namespace corvane
