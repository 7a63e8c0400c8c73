#include "logging/data_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/missing_value.h"
#include "support/file_text.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using corvane::testing::Slurp;

// A plain RFC 4180 reader, as a spreadsheet or pandas with comment='#' reads the file:
// lines starting with '#' are skipped, quoted fields may hold commas, quotes and '#'.
std::vector<std::vector<std::string>> ReadCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '#') {
      i = text.find('\n', i);
      i = i == std::string::npos ? text.size() : i + 1;
      continue;
    }
    std::vector<std::string> row;
    std::string field;
    bool quoted = false;
    for (; i < text.size(); ++i) {
      const char c = text[i];
      if (quoted) {
        if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
          field += '"';
          ++i;
        } else if (c == '"') {
          quoted = false;
        } else {
          field += c;
        }
      } else if (c == '"') {
        quoted = true;
      } else if (c == ',') {
        row.push_back(field);
        field.clear();
      } else if (c == '\r' || c == '\n') {
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        ++i;
        break;
      } else {
        field += c;
      }
    }
    row.push_back(field);
    rows.push_back(row);
  }
  return rows;
}

DataRecord FullRecord() {
  DataRecord r;
  r.utc = IsoUtc(1796752800);  // 2026-12-08T18:00:00Z
  r.local = "2026-12-08T19:00:00";
  r.freqHz = 1000.4866;
  r.cn0DbHz = 23.456;
  r.detected = true;
  r.steady = false;
  r.snr1HzDb = LoggedFigure(21.5);
  r.signalDbfs = -48.004;
  r.noiseDbfsHz = -71.46;
  r.driftHzS = -0.000123;
  r.driftSpanS = 59.95;
  r.ageS = 0.6836;
  r.droppedBlocks = 3;
  r.source = "USB Audio, \"rear\" #2";
  return r;
}

TEST(DataLogFormat, HeaderBeginsWithTheFixedColumns) {
  EXPECT_EQ(DataLogHeader().rfind("utc,local,freq_hz,cn0_dbhz,detected,steady,snr_1hz_db,"
                                  "signal_dbfs,noise_dbfs_hz,drift_hz_s,drift_span_s,age_s,"
                                  "dropped_blocks,source",
                                  0),
            0u);
}

TEST(DataLogFormat, FileNameBesideTheLog) {
  const std::pair<const char*, const char*> cases[] = {
      {"SIGREC.TXT", "SIGREC.csv"},     {"logs/beacon.log", "logs/beacon.csv"},
      {"a.b.c", "a.b.csv"},             {"noext", "noext.csv"},
      {"dir.v2/noext", "dir.v2/noext.csv"}, {".hidden", ".hidden.csv"},
  };
  for (const auto& [log, csv] : cases) EXPECT_EQ(DataLogFileName(log), csv) << log;
}

TEST(DataLogFormat, RowReadsBackFieldForField) {
  const std::string row = DataLogRow(FullRecord());
  ASSERT_EQ(row.substr(row.size() - 2), "\r\n");
  const auto rows = ReadCsv(DataLogHeader() + "\r\n" + row);
  ASSERT_EQ(rows.size(), 2u);
  ASSERT_EQ(rows[0].size(), rows[1].size());
  const std::vector<std::string> expected = {
      "2026-12-08T18:00:00Z", "2026-12-08T19:00:00", "1000.487", "23.46", "1", "0", "21.50",
      "-48.00", "-71.46", "-0.00012", "60.0", "0.684", "3", "USB Audio, \"rear\" #2"};
  EXPECT_EQ(rows[1], expected);
}

TEST(DataLogFormat, UnknownValuesAreEmptyFields) {
  DataRecord r;
  r.utc = "2026-12-08T18:00:01Z";
  r.snr1HzDb = LoggedFigure(kMissingDb);
  r.driftHzS = -0.000001;  // rounds to zero: no sign
  r.source = "line1\nline2";
  const std::string row = DataLogRow(r);
  EXPECT_EQ(row, "2026-12-08T18:00:01Z,,,,,,,,,0.00000,,,0,\"line1 line2\"\r\n");
}

TEST(DataLogFormat, DescriptionLinesAreComments) {
  RunDescription run;
  run.program = "Corvane 0.1";
  run.source = "test\r\nsignal";
  run.sampleRate = 12000;
  run.fftLen = 8192;
  run.window = "Blackman Harris";
  run.enbwBins = 1.70845;
  const std::string text = DataLogDescription(run);
  ASSERT_FALSE(text.empty());
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(text[start], '#') << text.substr(start, end - start);
    start = end + 2;
  }
  EXPECT_NE(text.find("# window_enbw_bins: 1.7085\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("# source: test  signal\r\n"), std::string::npos) << text;
}

class DataLogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "corvane_csv_XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    file_ = (dir_ / "SIGREC.csv").string();
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path dir_;
  std::string file_;
};

TEST_F(DataLogFileTest, EveryStartDescribesTheRunAndTheHeaderComesOnce) {
  RunDescription run;
  run.program = "Corvane 0.1";
  DataLog log;
  ASSERT_TRUE(log.Start(file_, run).ok);
  ASSERT_TRUE(log.Append(file_, FullRecord()).ok);
  DataLog again;  // the next program run
  ASSERT_TRUE(again.Start(file_, run).ok);
  ASSERT_TRUE(again.Append(file_, FullRecord()).ok);

  const std::string text = Slurp(file_);
  const auto rows = ReadCsv(text);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][0], "utc");
  EXPECT_EQ(rows[1], rows[2]);
  EXPECT_EQ(text.find("# program: Corvane 0.1"), 0u);
  EXPECT_NE(text.find("# program: Corvane 0.1", 1), std::string::npos);
}

TEST_F(DataLogFileTest, FileWithOtherColumnsIsLeftAlone) {
  const std::string old = "# an older log\r\nutc,local,freq_hz\r\n2026-01-01T00:00:00Z,,1.0\r\n";
  {
    DataLog log;
    ASSERT_TRUE(log.writer().Append(file_, old).ok);
  }
  DataLog log;
  const AppendResult r = log.Start(file_, RunDescription{});
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("other columns"), std::string::npos) << r.error;
  EXPECT_EQ(Slurp(file_), old);
}

}  // namespace
}  // namespace corvane
