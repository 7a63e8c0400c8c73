#pragma once
// Which queued messages are with the broker and not yet acknowledged. Messages go out in
// queue order, at most `maxInFlight` at a time; an acknowledgement may come out of order,
// but the queue is only ever taken from the front, so a message is removed once it and
// every older one are acknowledged. A lost connection forgets what was in flight: the next
// one sends again from the oldest, so nothing is lost and the order holds (a message the
// broker took just before the loss may arrive twice: MQTT's QoS 1 is "at least once").

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>

namespace corvane {

class DeliveryWindow {
 public:
  explicit DeliveryWindow(size_t maxInFlight) : max_(maxInFlight > 0 ? maxInFlight : 1) {}

  // A new connection: nothing is in flight; the oldest queued message goes next.
  void Reset();
  // The next message to send, given the queue's front sequence number and length; none when
  // the window is full or every queued message is out.
  std::optional<uint64_t> Next(uint64_t frontSeq, size_t queued);
  // The message `seq` went out with packet id `mid`.
  void Sent(int mid, uint64_t seq);
  // The broker acknowledged `mid`; returns how many messages from the queue's front may now
  // be removed. Unknown ids (from an earlier connection) change nothing.
  size_t Acknowledged(int mid, uint64_t frontSeq);

  size_t inFlight() const { return inFlight_.size(); }

 private:
  size_t max_;
  std::map<int, uint64_t> inFlight_;  // packet id -> sequence number
  std::set<uint64_t> acknowledged_;   // beyond the front, waiting for an older one
  std::optional<uint64_t> next_;      // next sequence number to send
};

}  // namespace corvane
