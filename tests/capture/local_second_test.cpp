#include <gtest/gtest.h>

#include <QDateTime>

#include "capture/tick_clock.h"
#include "common/local_time.h"
#include "support/scoped_time_zone.h"

namespace corvane {
namespace {

// The tick's local time is made without Qt's zone lookup: it must still be the date and time
// Qt's own local conversion gives, on both sides of each summer-time change.
TEST(LocalSecond, SameDateAndTimeAsQtsLocalTimeAcrossSummerTime) {
  const ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
  ReloadLocalZone();
  for (const qint64 change : {qint64{1774746000}, qint64{1792890000}}) {
    for (qint64 s = change - 2; s <= change + 2; ++s) {
      const QDateTime mine = LocalSecond(s);
      const QDateTime qts = QDateTime::fromSecsSinceEpoch(s);
      EXPECT_EQ(mine.date(), qts.date()) << s;
      EXPECT_EQ(mine.time(), qts.time()) << s;
      EXPECT_EQ(mine.toSecsSinceEpoch(), s);
    }
  }
}

}  // namespace
}  // namespace corvane
