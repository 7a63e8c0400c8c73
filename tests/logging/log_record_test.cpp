#include "logging/log_record.h"

#include <gtest/gtest.h>

#include <limits>

namespace corvane {
namespace {

const DateTime kAt{2012, 6, 15, 14, 3, 7};

// Bin 683 at 12000 Hz and 8192 points is 1000.49 Hz.
std::string Record(double signalDb, double noiseDb, double snDb, double drift = 0.00123) {
  return BuildLogRecord(kAt, 12000, 8192, 683, signalDb, noiseDb, snDb, drift);
}

TEST(LogRecord, SteadyCarrierLine) {
  EXPECT_EQ(Record(12.34, -35.21, 47.56), "14:03:07  1000   12.3  -35.2  47.6  00.0012  \r\n");
}

TEST(LogRecord, UnstableAndUnmeasuredSignalReadAsMissing) {
  // Unstable: both kept values are -99; fields 2, 4 and 6 still carry the latest values.
  EXPECT_EQ(Record(kMissingDb, -35.21, kMissingDb),
            "14:03:07  1000  -99.9  -35.2  -99.0  00.0012  \r\n");
  // The signal test is strictly above 0: 0 dB and below read -99.9, the S/N field does not.
  EXPECT_EQ(Record(0.0, -35.21, 3.0), "14:03:07  1000  -99.9  -35.2  03.0  00.0012  \r\n");
  EXPECT_EQ(Record(-4.0, -35.21, 3.0), "14:03:07  1000  -99.9  -35.2  03.0  00.0012  \r\n");
  EXPECT_EQ(Record(0.04, -35.21, 3.0), "14:03:07  1000   00.0  -35.2  03.0  00.0012  \r\n");
}

TEST(LogRecord, SignsAndWideValuesKeepAllDigits) {
  EXPECT_EQ(Record(105.26, -5.26, -5.26, -0.00123),
            "14:03:07  1000   105.3  -05.3  -05.3  -00.0012  \r\n");
  EXPECT_EQ(Record(12.34, 123.46, 100.0, 12.5),
            "14:03:07  1000   12.3  123.5  100.0  12.5000  \r\n");
  // Four digits at least, more when the frequency has them.
  EXPECT_EQ(BuildLogRecord(kAt, 12000, 1200, 52.34, 1, 1, 1, 0).substr(10, 6), "0523  ");
  EXPECT_EQ(BuildLogRecord(kAt, 12345, 1, 1, 1, 1, 1, 0).substr(10, 7), "12345  ");
  EXPECT_EQ(BuildLogRecord(kAt, 12000, 8192, 0, 1, 1, 1, 0).substr(10, 6), "0000  ");
}

TEST(LogRecord, TimeOfDayIsTwentyFourHour) {
  DateTime midnight{2012, 6, 15, 0, 0, 0};
  DateTime late{2012, 12, 31, 23, 59, 59};
  EXPECT_EQ(BuildLogRecord(midnight, 12000, 8192, 683, 1, 1, 1, 0).substr(0, 10), "00:00:00  ");
  EXPECT_EQ(BuildLogRecord(late, 12000, 8192, 683, 1, 1, 1, 0).substr(0, 10), "23:59:59  ");
}

TEST(LogRecord, ValuesThatCannotBeFormedNeverReachTheLine) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  // No usable FFT length or rate: frequency 0.
  EXPECT_EQ(BuildLogRecord(kAt, 12000, 0, 683, 12.34, -35.21, 47.56, 0),
            "14:03:07  0000   12.3  -35.2  47.6  00.0000  \r\n");
  EXPECT_EQ(BuildLogRecord(kAt, 12000, -8192, 683, 12.34, -35.21, 47.56, 0).substr(10, 6),
            "0000  ");
  EXPECT_EQ(BuildLogRecord(kAt, inf, 8192, 683, 1, 1, 1, 0).substr(10, 6), "0000  ");
  EXPECT_EQ(BuildLogRecord(kAt, 12000, 8192, nan, 1, 1, 1, 0).substr(10, 6), "0000  ");
  // Levels: the missing value; drift: 0.
  EXPECT_EQ(Record(inf, nan, -inf, nan), "14:03:07  1000  -99.9  -99.0  -99.0  00.0000  \r\n");
  EXPECT_EQ(Record(nan, -inf, inf, -inf), "14:03:07  1000  -99.9  -99.0  -99.0  00.0000  \r\n");
  EXPECT_EQ(Record(12.34, -35.21, 47.56, inf), "14:03:07  1000   12.3  -35.2  47.6  00.0000  \r\n");
}

}  // namespace
}  // namespace corvane
