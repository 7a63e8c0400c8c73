// Every second ticked once, in order, with its own second; a jumped clock noted and not
// worked off as a backlog. And the clock of a file read faster than real time.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "capture/source_clock.h"
#include "capture/tick_schedule.h"

namespace corvane {
namespace {

using Seconds = std::vector<int64_t>;

struct ScheduleCase {
  const char* name;
  int64_t startMs;
  int64_t nowMs;
  Seconds due;
  bool jumped;
};

TEST(TickSchedule, GivesEachSecondOnceAndNotesJumps) {
  const ScheduleCase cases[] = {
      {"early timer: nothing yet", 1000500, 1000999, {}, false},
      {"on time", 1000500, 1001003, {1001}, false},
      {"late by three seconds: each with its own", 1000500, 1003200, {1001, 1002, 1003}, false},
      {"late by as much as a jump allows", 1000500, 1006999, {1001, 1002, 1003, 1004, 1005, 1006},
       false},
      {"a suspend: the current second only", 1000500, 1090400, {1090}, true},
      {"set back a little: wait for the seconds not yet ticked", 1000500, 997000, {}, false},
      {"set back a lot: on from now", 1000500, 900000, {900}, true},
      {"before the epoch", -2500, -1000, {-2, -1}, false},
  };
  for (const ScheduleCase& c : cases) {
    TickSchedule s;
    s.Start(c.startMs);
    const TickSchedule::Due d = s.Advance(c.nowMs);
    EXPECT_EQ(d.seconds, c.due) << c.name;
    EXPECT_EQ(d.jumped, c.jumped) << c.name;
    if (c.jumped) {
      EXPECT_EQ(d.expected, c.startMs / 1000 + 1) << c.name;
    }
  }
}

TEST(TickSchedule, NeverGivesASecondTwiceAcrossCalls) {
  TickSchedule s;
  s.Start(5'000'250);
  Seconds all;
  // Timers that fire early, on time, twice in a second, late, and a clock set back by 2 s.
  for (int64_t now : {5'000'990, 5'001'001, 5'001'400, 5'003'010, 5'001'500, 5'003'999,
                      5'004'002, 5'004'002}) {
    for (int64_t sec : s.Advance(now).seconds) all.push_back(sec);
  }
  EXPECT_EQ(all, (Seconds{5001, 5002, 5003, 5004}));
  EXPECT_EQ(s.MsUntilNext(5'004'002), 998);
}

TEST(SourceClock, TicksOnTheWholeSecondsOfTheFilesOwnTime) {
  struct Case {
    const char* name;
    int64_t originMs;
    double rate;
    int64_t frames;
    Seconds due;
  };
  const Case cases[] = {
      {"recording from a whole second", 1'000'000, 12000, 8192 * 3, {1001, 1002}},
      {"exactly one second of frames", 1'000'000, 12000, 12000, {1001}},
      {"one frame short of it", 1'000'000, 12000, 11999, {}},
      {"origin in the middle of a second", 1'000'600, 8000, 4000, {1001}},
      {"a rate below 1 Hz never ticks", 1'000'000, 0.5, 1'000'000, {}},
  };
  for (const Case& c : cases) {
    SourceClock clock;
    clock.Start(c.originMs, c.rate);
    EXPECT_EQ(clock.Advance(c.frames), c.due) << c.name;
    EXPECT_TRUE(clock.Advance(c.frames).empty()) << c.name << ": ticked twice";
  }
  SourceClock clock;
  clock.Start(1'000'000, 12000);
  EXPECT_EQ(clock.NowMs(18000), 1'001'500);
}

}  // namespace
}  // namespace corvane
