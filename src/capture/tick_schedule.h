#pragma once
// Which whole seconds of a clock are due for a tick. Every second gets exactly one tick, in
// order, stamped with its own second: a tick that comes late is still given its second, and
// never folded into the next. A clock that jumps by more than kJumpSeconds (a suspend, the
// clock set by hand or by NTP) is not a backlog to be worked off: the schedule says so and
// goes on from the current second.

#include <cstdint>
#include <vector>

namespace corvane {

class TickSchedule {
 public:
  static constexpr int64_t kJumpSeconds = 5;

  struct Due {
    std::vector<int64_t> seconds;  // epoch seconds to tick, oldest first
    bool jumped = false;           // the clock jumped; `seconds` starts afresh
    int64_t expected = 0;          // the second that was due when the jump was seen
  };

  // The first tick is the first whole second after nowMs.
  void Start(int64_t nowMs);
  // The seconds due at nowMs (epoch milliseconds).
  Due Advance(int64_t nowMs);
  // Milliseconds from nowMs until the next second is due (0 when one is due already).
  int64_t MsUntilNext(int64_t nowMs) const;
  int64_t nextSecond() const { return next_; }

 private:
  static int64_t FloorSecond(int64_t ms);
  int64_t next_ = 0;
};

}  // namespace corvane
