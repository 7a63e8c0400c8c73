#include "network/delivery_window.h"

namespace corvane {

void DeliveryWindow::Reset() {
  inFlight_.clear();
  acknowledged_.clear();
  next_.reset();
}

std::optional<uint64_t> DeliveryWindow::Next(uint64_t frontSeq, size_t queued) {
  if (inFlight_.size() >= max_) return std::nullopt;
  // Messages dropped from a full queue are never sent.
  const uint64_t next = next_ && *next_ > frontSeq ? *next_ : frontSeq;
  if (next >= frontSeq + queued) return std::nullopt;
  return next;
}

void DeliveryWindow::Sent(int mid, uint64_t seq) {
  inFlight_[mid] = seq;
  next_ = seq + 1;
}

size_t DeliveryWindow::Acknowledged(int mid, uint64_t frontSeq) {
  const auto it = inFlight_.find(mid);
  if (it == inFlight_.end()) return 0;
  if (it->second >= frontSeq) acknowledged_.insert(it->second);
  inFlight_.erase(it);
  // Acknowledgements left behind by messages the queue has dropped meanwhile.
  acknowledged_.erase(acknowledged_.begin(), acknowledged_.lower_bound(frontSeq));
  size_t done = 0;
  for (auto a = acknowledged_.begin(); a != acknowledged_.end() && *a == frontSeq + done;) {
    a = acknowledged_.erase(a);
    ++done;
  }
  return done;
}

}  // namespace corvane
