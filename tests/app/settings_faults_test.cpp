// Whole-program runs against bad settings files and log names that cannot be written: the
// program starts, measures and ends normally, and says what it could not do.

#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "settings/settings_file.h"
#include "support/program_run.h"

namespace corvane::testing {
namespace {

struct BinaryRun {
  bool finished = false;
  int exitCode = -1;
  std::string stdErr;
};

BinaryRun RunBinary(const QString& dir, const QStringList& extra, int timeoutMs = 60000) {
  QProcess p;
  PrepareProcess(p, dir);
  p.start(CORVANE_BINARY, extra);
  BinaryRun run;
  run.finished = p.waitForFinished(timeoutMs);
  if (!run.finished) {
    p.kill();
    p.waitForFinished();
  }
  run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  run.stdErr = p.readAllStandardError().toStdString();
  return run;
}

const QStringList kShortRun = {"--input", "test", "--start",      "--log",
                               "--fast",  "--interval", "1s", "--quit-after", "3"};

std::string DesignLines(int replacedLine, const std::string& with) {
  std::vector<std::string> lines = {" 12000 ", " 8192 ", " 683 ", " 68 ", " 20 ", " 5400 ",
                                    " 10 ",    " 4 ",    " 1 ",   "SIGREC.TXT", " 4 "};
  if (replacedLine >= 1) lines[static_cast<size_t>(replacedLine - 1)] = with;
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  return text;
}

// An interval far beyond any counter writes the first record and then none.
TEST(WholeProgramFaults, AbsurdLogIntervalWritesOnlyTheFirstRecord) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (const char* interval : {"1e308", "1e19", "4294967296"}) {
    SCOPED_TRACE(interval);
    QFile::remove(dir.filePath("SIGREC.TXT"));
    std::ofstream(dir.filePath("CORVANE.INI").toStdString(), std::ios::binary)
        << DesignLines(9, interval);
    const BinaryRun run = RunBinary(dir.path(), {"--input", "test", "--start", "--log", "--fast",
                                                  "--quit-after", "10"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.stdErr;
    std::ifstream log(dir.filePath("SIGREC.TXT").toStdString(), std::ios::binary);
    int records = 0;
    for (std::string line; std::getline(log, line);) ++records;
    EXPECT_EQ(records, 1);
  }
}


struct BadSettings {
  std::string name;
  std::string bytes;  // empty name of the file: no file at all
  bool present = true;
};

std::vector<BadSettings> BadSettingsFiles() {
  std::vector<BadSettings> v;
  v.push_back({"missing", "", false});
  v.push_back({"empty", ""});
  v.push_back({"one line", " 12000 \r\n"});
  v.push_back({"three lines", " 8000 \r\n 4096 \r\n 512 \r\n"});
  v.push_back({"ten lines, last without a line end",
               " 12000 \r\n 8192 \r\n 683 \r\n 68 \r\n 20 \r\n 5400 \r\n 10 \r\n 4 \r\n 1 \r\nSIG"});
  std::string cr = DesignLines(0, ""), lf = cr;
  cr.erase(std::remove(cr.begin(), cr.end(), '\n'), cr.end());
  lf.erase(std::remove(lf.begin(), lf.end(), '\r'), lf.end());
  v.push_back({"CR line ends", cr});
  v.push_back({"LF line ends", lf});
  std::mt19937 rng(7);
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>(rng() & 0xff);
  v.push_back({"binary garbage", garbage});
  std::string high;
  for (int i = 0; i < 2000; ++i) high += static_cast<char>(0x80 + (rng() & 0x7f));
  v.push_back({"high bytes without line ends", high});
  v.push_back({"a line of a megabyte", std::string(1 << 20, '9') + "\r\n" + DesignLines(0, "")});
  for (int line : {1, 2, 3, 4, 5, 6, 7, 8, 9, 11}) {
    for (const char* value : {"1e308", "-1e308", "-0", "65536", "1e-320", "nan", "-inf"}) {
      v.push_back({std::string(value) + " on line " + std::to_string(line),
                   DesignLines(line, value)});
    }
  }
  v.push_back({"10 000-character file name", DesignLines(10, std::string(10000, 'L'))});
  v.push_back({"empty file name", DesignLines(10, "")});
  return v;
}

// Whatever the settings file holds, start-up reaches a usable state, a short run measures
// and the program ends normally, writing back a settings file that reads as sound values.
TEST(WholeProgramFaults, BadSettingsFilesStartAndEndNormally) {
  const std::vector<int> offered = {1024, 2048, 4096, 8192, 16384, 32768};
  for (const BadSettings& c : BadSettingsFiles()) {
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string ini = dir.filePath("CORVANE.INI").toStdString();
    if (c.present) std::ofstream(ini, std::ios::binary) << c.bytes;
    // Three seconds of the beacon take well under a second.
    const BinaryRun run = RunBinary(dir.path(), kShortRun, 20000);
    EXPECT_TRUE(run.finished) << "did not end";
    if (!run.finished) continue;
    EXPECT_EQ(run.exitCode, 0) << run.stdErr;

    std::vector<std::string> lines;
    EXPECT_EQ(ReadSettingsLines(ini, &lines), kSettingsLineCount);
    if (lines.size() != kSettingsLineCount) continue;
    std::ifstream raw(ini, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(raw)), {});
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), kSettingsLineCount);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), kSettingsLineCount);
    std::vector<double> n;
    for (const std::string& l : lines) n.push_back(SettingsNumber(l));
    const double rate = n[0], len = n[1], centre = n[2], sigBW = n[3], fMin = n[4],
                 fMax = n[5], stab = n[6], frames = n[7], interval = n[8], hist = n[10];
    EXPECT_GT(rate, 0);
    EXPECT_LE(rate, 384000);
    EXPECT_NE(std::find(offered.begin(), offered.end(), static_cast<int>(len)), offered.end())
        << len;
    for (double x : {centre, sigBW, stab, frames, interval}) EXPECT_TRUE(std::isfinite(x));
    // A negative interval stands as it is: it only means no record is ever due.
    EXPECT_GT(sigBW, 0);
    EXPECT_GE(fMin, 20);
    EXPECT_LE(fMin, 4962);
    EXPECT_GE(fMax, 20);
    EXPECT_LE(fMax, 32700);
    EXPECT_GE(frames, 2);
    EXPECT_GE(hist, 2);
    EXPECT_LE(hist, 64);
    // The band lies inside the spectrum the FFT gives.
    EXPECT_LE(fMax / rate * len, len);
  }
}

// A full disk and a name no file system takes: shown on the way out, with the count of the
// records that could not be written; the run itself goes to its end.
TEST(WholeProgramFaults, UnwritableLogNamesAreReportedWithTheRecordsHeld) {
  for (const std::string& name : {std::string("/dev/full"), std::string(10000, 'L')}) {
    SCOPED_TRACE(name.substr(0, 12));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::ofstream(dir.filePath("CORVANE.INI").toStdString(), std::ios::binary)
        << DesignLines(10, name);
    const BinaryRun run = RunBinary(dir.path(), {"--input", "test", "--start", "--log", "--fast",
                                                  "--quit-after", "20"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.stdErr;
    EXPECT_NE(run.stdErr.find("Log write failed: "), std::string::npos) << run.stdErr;
    EXPECT_NE(run.stdErr.find("; 20 record(s) held"), std::string::npos) << run.stdErr;
    EXPECT_EQ(run.stdErr.find("dropped"), std::string::npos) << run.stdErr;
  }
}

}  // namespace
}  // namespace corvane::testing
