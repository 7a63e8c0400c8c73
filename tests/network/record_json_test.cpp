#include "network/record_json.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "logging/data_log.h"

namespace corvane {
namespace {

TEST(RecordJson, TheCsvRowsValuesUnderTheCsvColumnsNames) {
  DataRecord r;
  r.utc = "2026-12-08T18:00:00Z";
  r.local = "2026-12-08T19:00:00";
  r.freqHz = 1000.1234;
  r.cn0DbHz = 45.678;
  r.detected = true;
  r.steady = false;
  r.snr1HzDb = 47.56;
  r.signalDbfs = -60.004;
  r.noiseDbfsHz = -105.5;
  r.driftHzS = -0.000004;
  r.driftSpanS = 60;
  r.ageS = 0.25;
  r.droppedBlocks = 3;
  r.source = "Beacon \"A\"\t\\1";
  EXPECT_EQ(RecordJson(r, "G4ABC"),
            "{\"station\":\"G4ABC\",\"utc\":\"2026-12-08T18:00:00Z\",\"local\":\"2026-12-08T19:"
            "00:00\",\"freq_hz\":1000.123,\"cn0_dbhz\":45.68,\"detected\":1,\"steady\":0,"
            "\"snr_1hz_db\":47.56,\"signal_dbfs\":-60.00,\"noise_dbfs_hz\":-105.50,"
            "\"drift_hz_s\":0.00000,\"drift_span_s\":60.0,\"age_s\":0.250,\"dropped_blocks\":3,"
            "\"source\":\"Beacon \\\"A\\\" \\\\1\"}");
  // The CSV row holds the same texts.
  EXPECT_NE(DataLogRow(r).find(",1000.123,45.68,1,0,47.56,-60.00,-105.50,0.00000,60.0,0.250,3,"),
            std::string::npos);

  DataRecord unknown;
  unknown.utc = "2026-12-08T18:00:01Z";
  EXPECT_EQ(RecordJson(unknown, "X"),
            "{\"station\":\"X\",\"utc\":\"2026-12-08T18:00:01Z\",\"local\":\"\",\"freq_hz\":null,"
            "\"cn0_dbhz\":null,\"detected\":null,\"steady\":null,\"snr_1hz_db\":null,"
            "\"signal_dbfs\":null,\"noise_dbfs_hz\":null,\"drift_hz_s\":null,"
            "\"drift_span_s\":null,\"age_s\":null,\"dropped_blocks\":0,\"source\":\"\"}");
}

TEST(RecordJson, ControlCharactersAreEscaped) {
  EXPECT_EQ(JsonString(std::string("a\nb\x01\"\\", 6)), "\"a\\nb\\u0001\\\"\\\\\"");
}

TEST(RecordJson, TheRunCarriesEveryLineOfTheCsvDescription) {
  RunDescription run;
  run.program = "Corvane 0.1";
  run.sampleRate = 12000;
  run.fftLen = 8192;
  run.window = "Blackman Harris";
  run.bandLowHz = 20;
  run.bandHighHz = 5400;
  const std::string json = RunJson(run, "G4ABC");
  EXPECT_NE(json.find("\"sample_rate_hz\":12000,\"fft_len\":8192,\"bin_hz\":1.46484375,"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"band_low_hz\":20,\"band_high_hz\":5400,"), std::string::npos) << json;

  std::set<std::string> jsonKeys;
  const std::regex key("\"([a-z0-9_]+)\":");
  for (std::sregex_iterator i(json.begin(), json.end(), key), end; i != end; ++i)
    jsonKeys.insert((*i)[1]);
  const std::string description = DataLogDescription(run);
  const std::regex line("# ([a-z0-9_]+):");
  for (std::sregex_iterator i(description.begin(), description.end(), line), end; i != end; ++i) {
    const std::string k = (*i)[1];
    if (k == "band_hz") continue;  // as band_low_hz and band_high_hz
    EXPECT_TRUE(jsonKeys.count(k)) << k << " is in the CSV's description but not in " << json;
  }
}

TEST(RecordJson, TheAlarm) {
  AlarmEvent a{"2026-12-08T18:00:00Z", "2026-12-08T19:00:00", 41.234, 40, 1000.488, "Test"};
  EXPECT_EQ(AlarmJson(a, "G4ABC"),
            "{\"station\":\"G4ABC\",\"utc\":\"2026-12-08T18:00:00Z\",\"local\":\"2026-12-08T19:"
            "00:00\",\"snr_1hz_db\":41.23,\"threshold_db\":40.00,\"peak_hz\":1000.488,"
            "\"source\":\"Test\"}");
}

}  // namespace
}  // namespace corvane
