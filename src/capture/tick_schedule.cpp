#include "capture/tick_schedule.h"

#include <algorithm>

namespace corvane {

int64_t TickSchedule::FloorSecond(int64_t ms) { return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000); }

void TickSchedule::Start(int64_t nowMs) { next_ = FloorSecond(nowMs) + 1; }

TickSchedule::Due TickSchedule::Advance(int64_t nowMs) {
  Due due;
  const int64_t current = FloorSecond(nowMs);
  if (current < next_) {
    // A clock set back by a little: wait for the seconds not yet ticked, so no second is
    // written twice. Set back by more: start again from where the clock now stands.
    if (next_ - current > kJumpSeconds + 1) {
      due.jumped = true;
      due.expected = next_;
      due.seconds.push_back(current);
      next_ = current + 1;
    }
    return due;
  }
  if (current - next_ > kJumpSeconds) {
    due.jumped = true;
    due.expected = next_;
    due.seconds.push_back(current);
  } else {
    for (int64_t s = next_; s <= current; ++s) due.seconds.push_back(s);
  }
  next_ = current + 1;
  return due;
}

int64_t TickSchedule::MsUntilNext(int64_t nowMs) const {
  return std::max<int64_t>(0, next_ * 1000 - nowMs);
}

}  // namespace corvane
