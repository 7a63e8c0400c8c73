#include "logging/log_history.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "logging/log_record.h"
#include "support/scoped_time_zone.h"

namespace corvane {
namespace {

double Utc(const std::string& iso) {
  double t = 0;
  EXPECT_TRUE(ParseUtcTime(iso, &t)) << iso;
  return t;
}

// A record line exactly as the log writer makes it.
std::string Line(const std::string& hhmmss, double signalDb = 12.34, double noiseDb = -35.21,
                 double snDb = 47.56, double drift = 0.00123, double peakBin = 683) {
  DateTime at;
  at.hour = std::stoi(hhmmss.substr(0, 2));
  at.minute = std::stoi(hhmmss.substr(3, 2));
  at.second = std::stoi(hhmmss.substr(6, 2));
  return BuildLogRecord(at, 12000, 8192, peakBin, signalDb, noiseDb, snDb, drift);
}

// The record log is local time: these tests run in Central European time, whose summer time
// starts on 2026-03-29 at 02:00.
class LocalZone : public ::testing::Test {
  ScopedTimeZone zone_{"CET-1CEST,M3.5.0,M10.5.0/3"};
};

struct DatingCase {
  const char* name;
  std::vector<const char*> times;
  const char* mtime;
  std::vector<const char*> expected;  // local times with their offsets
};

TEST_F(LocalZone, RecordLogIsDatedBackFromTheFileTimeAcrossMidnights) {
  const std::vector<DatingCase> cases = {
      {"one day",
       {"10:00:00", "10:00:01"},
       "2026-12-08T10:00:01.5+01:00",
       {"2026-12-08T10:00:00+01:00", "2026-12-08T10:00:01+01:00"}},
      {"two midnights",
       {"23:59:59", "00:00:00", "12:00:00", "23:59:59", "00:00:00"},
       "2026-12-08T00:00:00.2+01:00",
       {"2026-12-06T23:59:59+01:00", "2026-12-07T00:00:00+01:00", "2026-12-07T12:00:00+01:00",
        "2026-12-07T23:59:59+01:00", "2026-12-08T00:00:00+01:00"}},
      // Written at 23:59:59, the file closed a moment after midnight.
      {"closed after midnight",
       {"23:59:58", "23:59:59"},
       "2026-12-09T00:00:00.3+01:00",
       {"2026-12-08T23:59:58+01:00", "2026-12-08T23:59:59+01:00"}},
      // Records ahead of the file's clock (a run whose tick follows the source's own clock).
      {"ahead of the file's time", {"22:28:59", "22:29:00"}, "2026-12-08T22:01:45+01:00",
       {"2026-12-08T22:28:59+01:00", "2026-12-08T22:29:00+01:00"}},
      // The clocks go forward: one second of records, an hour of local time.
      {"summer time begins",
       {"01:59:59", "03:00:00"},
       "2026-03-29T03:00:00.5+02:00",
       {"2026-03-29T01:59:59+01:00", "2026-03-29T03:00:00+02:00"}},
  };
  for (const DatingCase& c : cases) {
    std::string text;
    for (const char* t : c.times) text += Line(t);
    LogReader reader;
    LogHistory h;
    EXPECT_EQ(reader.read(text, Utc(c.mtime), &h), c.times.size()) << c.name;
    EXPECT_EQ(reader.format(), LogFormat::RecordLog);
    EXPECT_TRUE(reader.datesInferred());
    const HistorySeries& s = h[HistoryField::Snr1HzDb];
    ASSERT_EQ(s.size(), c.expected.size()) << c.name;
    for (size_t i = 0; i < s.size(); ++i) {
      EXPECT_EQ(s.t[i], Utc(c.expected[i])) << c.name << " record " << i;
    }
  }
}

TEST_F(LocalZone, RecordsAppendedLaterContinueFromTheLastOne) {
  LogReader reader;
  LogHistory h;
  const std::string first = Line("23:59:58") + Line("23:59:59");
  reader.read(first, Utc("2026-12-08T23:59:59.5+01:00"), &h);
  // The file's time says nothing useful now (copied back, clock set back): the new records
  // still follow the last one, across midnight.
  reader.read(Line("00:00:00") + Line("00:00:01"), Utc("2026-12-01T12:00:00+01:00"), &h);
  const HistorySeries& s = h[HistoryField::Snr1HzDb];
  ASSERT_EQ(s.size(), 4u);
  EXPECT_EQ(s.t[2], Utc("2026-12-09T00:00:00+01:00"));
  EXPECT_EQ(s.t[3], Utc("2026-12-09T00:00:01+01:00"));
}

TEST(LogHistory, RecordLogMissingValuesAreGaps) {
  const double nan = std::nan("");
  struct Case {
    std::string line;
    double freq, signal, noise, snr, drift;
  };
  const std::vector<Case> cases = {
      {Line("12:00:00"), 1000, 12.3, -35.2, 47.6, 0.0012},
      // Unstable: signal -99.9, S/N -99.0, and the frequency is of no steady carrier.
      {Line("12:00:01", kMissingDb, -35.21, kMissingDb), nan, nan, -35.2, nan, 0.0012},
      // A level not above 0 is written as -99.9 too; no peak is frequency 0.
      {Line("12:00:02", 0.0, kMissingDb, 3.0, 0.0, 0), nan, nan, nan, 3.0, 0.0},
      // A number too large for the time line's floats is no number at all.
      {"12:00:03  " + std::string(45, '9') + "   12.3  -35.2  47.6  00.0012  \r\n", nan, 12.3,
       -35.2, 47.6, 0.0012},
  };
  for (const Case& c : cases) {
    LogReader reader;
    LogHistory h;
    ASSERT_EQ(reader.read(c.line, 0, &h), 1u) << c.line;
    const std::pair<HistoryField, double> expected[] = {{HistoryField::FreqHz, c.freq},
                                                        {HistoryField::SignalDb, c.signal},
                                                        {HistoryField::NoiseDb, c.noise},
                                                        {HistoryField::Snr1HzDb, c.snr},
                                                        {HistoryField::DriftHzS, c.drift}};
    for (const auto& [field, value] : expected) {
      ASSERT_EQ(h[field].size(), 1u);
      if (std::isnan(value)) {
        EXPECT_TRUE(std::isnan(h[field].v[0])) << c.line << " field " << static_cast<int>(field);
      } else {
        EXPECT_NEAR(h[field].v[0], value, 1e-4) << c.line << " field " << static_cast<int>(field);
      }
    }
    // The record log has no C/N0 and no dBFS levels: those time lines stay empty.
    EXPECT_TRUE(h[HistoryField::Cn0DbHz].empty());
    EXPECT_TRUE(h[HistoryField::SignalDbfs].empty());
  }
}

TEST(LogHistory, HalfWrittenLastLineWaitsForItsEnd) {
  const std::string whole = Line("10:00:00") + Line("10:00:01");
  const size_t cut = whole.size() - 9;  // inside the second record
  LogReader reader;
  LogHistory h;
  EXPECT_EQ(reader.read(whole.substr(0, cut), 1e9, &h), 1u);
  EXPECT_EQ(reader.consumed(), whole.size() / 2);
  EXPECT_EQ(reader.skippedLines(), 0u);
  // The rest arrives: the reader goes on from where it stopped, the record whole.
  EXPECT_EQ(reader.read(whole.substr(reader.consumed()), 1e9 + 5, &h), 1u);
  const HistorySeries& s = h[HistoryField::Snr1HzDb];
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s.t[1] - s.t[0], 1.0);
  EXPECT_FLOAT_EQ(s.v[1], 47.6f);
  EXPECT_EQ(reader.consumed(), whole.size());
}

TEST(LogHistory, LineEndsCrLfAndLfReadAlike) {
  const std::string crlf = Line("10:00:00") + Line("10:00:01", 20.0, -30.0, 40.0, -0.5);
  std::string lf;
  for (char c : crlf) {
    if (c != '\r') lf += c;
  }
  LogHistory a, b;
  LogReader ra, rb;
  ra.read(crlf, 1e9, &a);
  rb.read(lf, 1e9, &b);
  for (int f = 0; f < kHistoryFieldCount; ++f) {
    const HistorySeries& x = a.series[static_cast<size_t>(f)];
    const HistorySeries& y = b.series[static_cast<size_t>(f)];
    EXPECT_EQ(x.t, y.t);
    ASSERT_EQ(x.v.size(), y.v.size());
    for (size_t i = 0; i < x.v.size(); ++i) {
      EXPECT_TRUE(x.v[i] == y.v[i] || (std::isnan(x.v[i]) && std::isnan(y.v[i])));
    }
  }
  EXPECT_EQ(a.rows(), 2u);
  EXPECT_EQ(rb.consumed(), lf.size());
}

TEST(LogHistory, DataLogColumnsAreFoundByTheirNames) {
  const std::string text =
      "# Corvane 0.1\r\n"
      "# source: \"Line In, left\"\r\n"
      "utc,local,freq_hz,cn0_dbhz,detected,steady,snr_1hz_db,signal_dbfs,noise_dbfs_hz,"
      "drift_hz_s,drift_span_s,age_s,dropped_blocks,source,extra\r\n"
      "2026-12-08T18:00:00Z,2026-12-08T19:00:00,1000.125,35.5,1,1,40.1,-90.5,-126.0,0.002,60,"
      "0.7,0,\"Line In, left \"\"A\"\"\",x\r\n"
      // Not detected: the calibrated figures are empty; the design's S/N is missing too.
      "2026-12-08T18:00:01Z,2026-12-08T19:00:01,,,0,0,,,-126.1,,60,0.7,0,\"Line In, left\",x\r\n"
      // A header names the columns wherever they stand.
      "# Corvane 0.1\n"
      "source,cn0_dbhz,utc\n"
      "\"a, b\",33.25,2026-12-08T18:00:05Z\n";
  LogReader reader;
  LogHistory h;
  EXPECT_EQ(reader.read(text, 0, &h), 3u);
  EXPECT_EQ(reader.format(), LogFormat::DataLog);
  EXPECT_FALSE(reader.datesInferred());
  EXPECT_EQ(reader.skippedLines(), 0u);
  const double t0 = Utc("2026-12-08T18:00:00Z");
  const HistorySeries& cn0 = h[HistoryField::Cn0DbHz];
  ASSERT_EQ(cn0.size(), 3u);
  EXPECT_EQ(cn0.t, (std::vector<double>{t0, t0 + 1, t0 + 5}));
  EXPECT_FLOAT_EQ(cn0.v[0], 35.5f);
  EXPECT_TRUE(std::isnan(cn0.v[1]));
  EXPECT_FLOAT_EQ(cn0.v[2], 33.25f);
  EXPECT_FLOAT_EQ(h[HistoryField::FreqHz].v[0], 1000.125f);
  EXPECT_FLOAT_EQ(h[HistoryField::Snr1HzDb].v[0], 40.1f);
  EXPECT_FLOAT_EQ(h[HistoryField::SignalDbfs].v[0], -90.5f);
  EXPECT_FLOAT_EQ(h[HistoryField::NoiseDbfsHz].v[1], -126.1f);
  EXPECT_FLOAT_EQ(h[HistoryField::DriftHzS].v[0], 0.002f);
  // The last header has only C/N0: the other quantities get no row at 18:00:05.
  EXPECT_EQ(h[HistoryField::NoiseDbfsHz].size(), 2u);
  EXPECT_TRUE(h[HistoryField::SignalDb].empty());
}

TEST(LogHistory, GarbageLinesAreSkippedAndCounted) {
  const std::string record = Line("10:00:00") +
                             "hello\r\n"
                             "10:00:01  1000\r\n"
                             "25:00:00  1000   12.3  -35.2  47.6  00.0012  \r\n"
                             "10:00:02  1000   12.3  -35.2  4x.6  00.0012  \r\n"
                             "10:00:03  1000   12.3  -35.2  47.6  00.0012  7\r\n" +
                             std::string("\x01\xff\x00\x7f", 4) + "\r\n" + Line("10:00:04");
  LogReader r1;
  LogHistory h1;
  EXPECT_EQ(r1.read(record, 1e9, &h1), 2u);
  EXPECT_EQ(r1.skippedLines(), 6u);

  const std::string data =
      "utc,snr_1hz_db\n"
      "2026-12-08T18:00:00Z,1\n"
      "2026-02-30T18:00:00Z,2\n"
      "yesterday,3\n"
      "\"2026-12-08T18:00:01Z,4\n"
      "2026-12-08T18:00:02Z,five\n";
  LogReader r2;
  LogHistory h2;
  EXPECT_EQ(r2.read(data, 0, &h2), 2u);
  EXPECT_EQ(r2.skippedLines(), 3u);
  // An unreadable value is a missing value, not a lost record.
  ASSERT_EQ(h2[HistoryField::Snr1HzDb].size(), 2u);
  EXPECT_TRUE(std::isnan(h2[HistoryField::Snr1HzDb].v[1]));
}

TEST(LogHistory, FilesJoinIntoOneSortedTimeLine) {
  auto part = [](std::vector<double> t) {
    LogHistory h;
    h[HistoryField::Snr1HzDb].t = t;
    h[HistoryField::Snr1HzDb].v = std::vector<float>(t.size(), static_cast<float>(t[0]));
    return h;
  };
  // Daily files given out of order, one overlapping another.
  LogHistory joined = JoinHistories({part({200, 201}), part({100, 101, 250}), part({300})});
  EXPECT_EQ(joined[HistoryField::Snr1HzDb].t, (std::vector<double>{100, 101, 200, 201, 250, 300}));
  EXPECT_EQ(joined[HistoryField::Snr1HzDb].v, (std::vector<float>{100, 100, 200, 200, 100, 300}));

  AppendHistory(&joined, part({301, 302}));
  AppendHistory(&joined, part({150}));
  EXPECT_EQ(joined[HistoryField::Snr1HzDb].t,
            (std::vector<double>{100, 101, 150, 200, 201, 250, 300, 301, 302}));
}

TEST(LogHistory, UtcTimes) {
  const double day = Utc("2026-12-08");
  EXPECT_EQ(day, 20795.0 * 86400);
  const std::vector<std::pair<const char*, double>> good = {
      {"2026-12-08T18:00", day + 18 * 3600},
      {"2026-12-08 18:00:30", day + 18 * 3600 + 30},
      {"2026-12-08T18:00:30.25Z", day + 18 * 3600 + 30.25},
      {"2026-12-08T19:00:00+01:00", day + 18 * 3600},
      {"2026-12-08T13:00:00-0500", day + 18 * 3600},
      {"2024-02-29", 19782.0 * 86400},
  };
  for (const auto& [text, expected] : good) {
    double t = 0;
    EXPECT_TRUE(ParseUtcTime(text, &t)) << text;
    EXPECT_DOUBLE_EQ(t, expected) << text;
  }
  for (const char* bad :
       {"", "2026-02-29", "2026-13-01", "2026-12-08T24:00", "2026-12-08T18", "2026-12-08T18:00:00X",
        "20261208", "2026-12-08T18:00:00.", " 2026-12-08"}) {
    double t = 0;
    EXPECT_FALSE(ParseUtcTime(bad, &t)) << bad;
  }
}

}  // namespace
}  // namespace corvane
