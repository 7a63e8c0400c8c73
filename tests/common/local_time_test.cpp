#include "common/local_time.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/scoped_time_zone.h"

namespace corvane {
namespace {

// A zone with summer time, written out so no zone database is needed.
class LocalTimeZone : public ::testing::Test {
 protected:
  void SetUp() override { ReloadLocalZone(); }
  static void Use(const char* tz) {
    ScopedTimeZone::Set(tz);
    ReloadLocalZone();
  }
  ScopedTimeZone zone_{"CET-1CEST,M3.5.0,M10.5.0/3"};
};

TEST_F(LocalTimeZone, OffsetChangesAtTheZonesOwnSecond) {
  struct Case {
    int64_t unix;
    int offset;
  } const cases[] = {
      {1768478400, 3600},      // 2026-01-15 12:00Z, winter
      {1784116800, 7200},      // 2026-07-15 12:00Z, summer
      {1774746000 - 1, 3600},  // 2026-03-29 00:59:59Z, the last second of winter time
      {1774746000, 7200},      // 01:00:00Z, clocks go forward
      {1792890000 - 1, 7200},  // 2026-10-25 00:59:59Z, the last second of summer time
      {1792890000, 3600},      // 01:00:00Z, clocks go back
  };
  for (const Case& c : cases) EXPECT_EQ(UtcOffsetAt(c.unix), c.offset) << c.unix;
}

TEST_F(LocalTimeZone, AChangedZoneShowsOnceReloaded) {
  EXPECT_EQ(UtcOffsetAt(1768478400), 3600);
  Use("IST-5:30");
  EXPECT_EQ(UtcOffsetAt(1768478400), 5 * 3600 + 1800);
  Use("UTC0");
  EXPECT_EQ(UtcOffsetAt(1768478400), 0);
}

TEST_F(LocalTimeZone, ASystemZoneChangedUnderARunShowsWithinASecond) {
  EXPECT_EQ(UtcOffsetAt(1768478400), 3600);
  setenv("TZ", "EST5", 1);  // no reload asked for, as when the station's zone is changed
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_EQ(UtcOffsetAt(1768478400), -5 * 3600);
}

}  // namespace
}  // namespace corvane
