// Runs the corvane binary on the display over generated WAV files with --fast and reads its log.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/program_run.h"
#include "support/test_wav.h"

namespace {

using corvane::testing::CarrierParams;
using corvane::testing::ProgramRun;
using corvane::testing::RunCorvane;

int Seconds(const std::string& hhmmss) { return corvane::testing::SecondOfDay(hhmmss); }

// Eleven settings lines: 12000 Hz, 8192 points, centre bin 683 (1000 Hz), 100 Hz bandwidth,
// band 20 .. 5400 Hz, stability 10 dB, 4 frames, logging every second to SIGREC.TXT.
void WriteSettings(const QString& dir, double rate = 12000) {
  std::ofstream f((dir + "/CORVANE.INI").toStdString(), std::ios::binary);
  const double bins = 1000.0 / rate * 8192;
  f << " " << rate << " \r\n 8192 \r\n " << std::lround(bins) << " \r\n 68 \r\n 20 \r\n 5400 \r\n"
    << " 10 \r\n 4 \r\n 1 \r\nSIGREC.TXT\r\n 4 \r\n";
}

class WholeProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    WriteSettings(dir_.path());
  }
  QString path(const char* name) const { return dir_.path() + "/" + name; }
  QTemporaryDir dir_;
};

TEST_F(WholeProgram, IqCarrierIsLoggedAtItsFrequencyWithTheExpectedSnr) {
  CarrierParams c;
  c.seconds = 30;
  c.amplitude = 1000;
  c.noiseSigma = 2449;  // S/N in 1 Hz about 30 dB
  corvane::testing::WriteCarrierWav(path("iq.wav").toStdString(), c);
  // The recording began at 18:00:00 local time: it was last written 30 s later.
  const QDateTime began(QDate(2026, 12, 8), QTime(18, 0, 0));
  {
    QFile f(path("iq.wav"));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(began.addSecs(30), QFileDevice::FileModificationTime));
  }
  const ProgramRun run = RunCorvane(dir_.path(), {"--input", "iq.wav", "--start", "--log", "--fast"});
  ASSERT_EQ(run.exitCode, 0) << run.stdErr;
  EXPECT_TRUE(run.settingsWritten);

  // One record per second of the file's own time, from 18:00:01: 43 blocks of 8192 frames
  // hold 29 whole seconds.
  const int blocks = static_cast<int>(c.sampleRate * c.seconds) / 8192;
  ASSERT_EQ(static_cast<int>(run.records.size()), blocks * 8192 / 12000);
  EXPECT_EQ(run.records.front().time, "18:00:01");
  for (size_t i = 1; i < run.records.size(); ++i) {
    EXPECT_EQ(Seconds(run.records[i].time), Seconds(run.records[i - 1].time) + 1) << i;
  }
  for (const std::string& line : run.lines) {
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(line.back(), '\r');  // CR LF line ends
  }

  // Missing until the carrier has been steady for the detection period (4 frames).
  EXPECT_EQ(run.lines[0].substr(16, 7), "-99.9  ");
  EXPECT_DOUBLE_EQ(run.records[0].snr, -99.0);

  // The signal band's W + 1 = 69 bins carry noise too, and the 1 Hz figure is taken from the
  // 100 Hz the SigBW box shows over W = 68 bins of 12000 / 8192 Hz.
  const double binHz = 12000.0 / 8192;
  const double carrierOverN0 = std::pow(10, corvane::testing::ExpectedIqSnr1HzDb(c) / 10);
  const double expected = 10 * std::log10((carrierOverN0 / binHz + 69) * 100 / 68);
  int steady = 0;
  double snrSum = 0;
  for (const corvane::testing::LogRecord& r : run.records) {
    EXPECT_NEAR(r.freq, 1000, 1);
    if (r.snr != -99.0) {
      ++steady;
      snrSum += r.snr;
    }
  }
  ASSERT_GT(steady, 15);
  EXPECT_NEAR(snrSum / steady, expected, 0.5);

  // The data log beside it: a row for every record, at the same second, with the carrier's
  // true C/N0 once the calibrated average has filled.
  std::ifstream csv(path("SIGREC.csv").toStdString(), std::ios::binary);
  std::vector<std::vector<std::string>> rows;
  std::string header;
  for (std::string line; std::getline(csv, line);) {
    if (line.empty() || line[0] == '#') continue;
    if (header.empty()) {
      header = line;
      continue;
    }
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string f; std::getline(in, f, ',');) fields.push_back(f);
    rows.push_back(fields);
  }
  EXPECT_EQ(header.rfind("utc,local,freq_hz,cn0_dbhz,detected,steady,snr_1hz_db,", 0), 0u);
  ASSERT_EQ(rows.size(), run.records.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    ASSERT_GE(rows[i].size(), 14u);
    EXPECT_EQ(rows[i][1].substr(11, 8), run.records[i].time) << i;  // local time of the record
  }
  const std::vector<std::string>& last = rows.back();
  ASSERT_FALSE(last[3].empty()) << "detected";
  EXPECT_NEAR(std::stod(last[3]), corvane::testing::ExpectedIqSnr1HzDb(c), 1.0);
  EXPECT_NEAR(std::stod(last[2]), 1000.0, 0.1);
}

TEST_F(WholeProgram, MonoCarrierAndBothSidebandSettings) {
  CarrierParams mono;
  mono.channels = 1;
  mono.seconds = 8;
  mono.amplitude = 2000;
  mono.noiseSigma = 300;
  corvane::testing::WriteCarrierWav(path("mono.wav").toStdString(), mono);
  const ProgramRun run = RunCorvane(dir_.path(), {"--input", "mono.wav", "--start", "--log", "--fast"});
  ASSERT_EQ(run.exitCode, 0) << run.stdErr;
  ASSERT_GE(run.records.size(), 5u);
  EXPECT_NEAR(run.records.back().freq, 1000, 1);

  // The other sideband: right channel leading. Unswapped it shows at -1000 Hz, outside the
  // band, so the peak is noise elsewhere; nothing is steady at 1000 Hz.
  CarrierParams other;
  other.seconds = 8;
  other.amplitude = 2000;
  other.noiseSigma = 300;
  other.rightLeads = true;
  corvane::testing::WriteCarrierWav(path("lsb.wav").toStdString(), other);
  QFile::remove(path("SIGREC.TXT"));
  WriteSettings(dir_.path());
  const ProgramRun unswapped =
      RunCorvane(dir_.path(), {"--input", "lsb.wav", "--start", "--log", "--fast"});
  ASSERT_EQ(unswapped.exitCode, 0) << unswapped.stdErr;
  ASSERT_GE(unswapped.records.size(), 5u);
  EXPECT_GT(std::abs(unswapped.records.back().freq - 1000), 5);
}

TEST_F(WholeProgram, BadOptionsExitWithStatusTwoAndWriteNoSettings) {
  QFile::remove(path("CORVANE.INI"));
  for (const QStringList& args : {QStringList{"--bogus"}, QStringList{"--quit-after", "soon"},
                                  QStringList{"--input"}}) {
    const ProgramRun run = RunCorvane(dir_.path(), args);
    EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
    // One line of ours; Qt may add its own warnings about the environment.
    size_t ours = 0;
    std::istringstream err(run.stdErr);
    for (std::string line; std::getline(err, line);) ours += line.rfind("corvane: ", 0) == 0;
    EXPECT_EQ(ours, 1u) << run.stdErr;
    EXPECT_FALSE(run.settingsWritten);
  }
}

// An unattended run whose input never opens has nothing to do: it ends at once, with
// a status that says so, fast or not.
TEST_F(WholeProgram, UnreadableWavShowsTheOpenFailureAndEndsWithStatusOne) {
  {
    std::ofstream f(path("bad.wav").toStdString(), std::ios::binary);
    f << "RIFF\x10\0\0\0WAVEjunk";
  }
  const ProgramRun fast = RunCorvane(dir_.path(), {"--input", "bad.wav", "--start", "--fast"});
  EXPECT_EQ(fast.exitCode, 1) << fast.stdErr;
  const ProgramRun run = RunCorvane(dir_.path(), {"--input", "bad.wav", "--start"});
  ASSERT_EQ(run.exitCode, 1) << run.stdErr;
  EXPECT_NE(run.stdErr.find("Wave input device didn't open!!"), std::string::npos) << run.stdErr;
  EXPECT_TRUE(run.records.empty());
}

}  // namespace
