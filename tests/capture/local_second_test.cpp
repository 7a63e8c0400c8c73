#include <gtest/gtest.h>

#include <QDateTime>
#include <cstdlib>
#include <string>

#include "capture/tick_clock.h"
#include "common/local_time.h"

namespace corvane {
namespace {

// The tick's local time is made without Qt's zone lookup: it must still be the date and time
// Qt's own local conversion gives, on both sides of each summer-time change.
TEST(LocalSecond, SameDateAndTimeAsQtsLocalTimeAcrossSummerTime) {
  const char* tz = std::getenv("TZ");
  const std::string saved = tz ? tz : "";
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
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
  if (tz) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  ReloadLocalZone();
}

}  // namespace
}  // namespace corvane
