#include "settings/settings_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/file_text.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

using corvane::testing::Slurp;

void Put(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

SettingsValues Example() {
  SettingsValues v;
  v.sampleRate = 12000;
  v.fftLen = 8192;
  v.centreBin = 683;
  v.sigBWBins = 68;
  v.fMin = 20;
  v.fMax = 5400;
  v.stabLimitDb = 10;
  v.detFrames = 4;
  v.logIntervalSecs = 60;
  v.logFileName = "SIGREC.TXT";
  v.histLen = 4;
  return v;
}

const char kExampleText[] =
    " 12000 \r\n 8192 \r\n 683 \r\n 68 \r\n 20 \r\n 5400 \r\n 10 \r\n 4 \r\n 60 \r\n"
    "SIGREC.TXT\r\n 4 \r\n";

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "corvane_ini_XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    ini_ = (dir_ / kSettingsFileName).string();
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  // Only the settings file itself: no temporary left behind.
  bool OnlyTheSettingsFile() const {
    for (const auto& e : fs::directory_iterator(dir_)) {
      if (e.path().filename() != kSettingsFileName) return false;
    }
    return true;
  }
  fs::path dir_;
  std::string ini_;
};

TEST_F(SettingsFileTest, ExampleWrittenByteForByteAndReadBack) {
  std::string error = "stale";
  ASSERT_TRUE(WriteSettingsFile(ini_, Example(), &error)) << error;
  EXPECT_EQ(error, "");
  EXPECT_EQ(Slurp(ini_), kExampleText);
  EXPECT_TRUE(OnlyTheSettingsFile());

  std::vector<std::string> lines;
  ASSERT_EQ(ReadSettingsLines(ini_, &lines), 11);
  ASSERT_EQ(lines.size(), 11u);
  const double expected[] = {12000, 8192, 683, 68, 20, 5400, 10, 4, 60, 0, 4};
  for (int i = 0; i < 11; ++i) {
    if (i == 9) continue;
    EXPECT_EQ(SettingsNumber(lines[i]), expected[i]) << "line " << i + 1;
  }
  EXPECT_EQ(lines[1], " 8192 ");  // taken whole, blanks included
  EXPECT_EQ(lines[9], "SIGREC.TXT");
}

TEST_F(SettingsFileTest, NumbersAndNamesThatNeedCare) {
  SettingsValues v = Example();
  v.centreBin = 0.5;
  v.sigBWBins = -3;
  v.stabLimitDb = std::numeric_limits<double>::quiet_NaN();
  v.detFrames = std::numeric_limits<double>::infinity();
  v.logFileName = "a\r\nb\rc\nd" + std::string(1, '\0') + "e.txt";
  std::string text = SettingsFileText(v);
  std::vector<std::string> lines;
  ASSERT_EQ(SplitSettingsLines(text, &lines), 11);
  EXPECT_EQ(lines[2], " .5 ");
  EXPECT_EQ(lines[3], "-3 ");
  EXPECT_EQ(lines[6], " 0 ");
  EXPECT_EQ(lines[7], " 0 ");
  EXPECT_EQ(lines[9], "abcde.txt");
  EXPECT_EQ(SettingsNumber(lines[10]), 4);

  v.logFileName = "";  // an empty name is a line of its own
  ASSERT_EQ(SplitSettingsLines(SettingsFileText(v), &lines), 11);
  EXPECT_EQ(lines[9], "");
  EXPECT_EQ(SettingsNumber(lines[10]), 4);
}

TEST_F(SettingsFileTest, RewriteReplacesTheWholeOldFile) {
  Put(ini_, std::string(5000, 'x') + "\r\n");
  std::string error;
  ASSERT_TRUE(WriteSettingsFile(ini_, Example(), &error)) << error;
  EXPECT_EQ(Slurp(ini_), kExampleText);
  EXPECT_TRUE(OnlyTheSettingsFile());
}

TEST_F(SettingsFileTest, FailureWhileWritingLeavesTheOldFileWhole) {
  Put(ini_, kExampleText);
  SettingsValues v = Example();
  v.sampleRate = 48000;
  // The file-size limit stops the write part way through the new file.
  struct sigaction ignore {
  }, oldAction{};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &oldAction), 0);
  rlimit oldLimit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
  rlimit small = oldLimit;
  small.rlim_cur = 20;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string error;
  bool ok = WriteSettingsFile(ini_, v, &error);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &oldLimit), 0);
  ::sigaction(SIGXFSZ, &oldAction, nullptr);

  EXPECT_FALSE(ok);
  EXPECT_NE(error.find(ini_), std::string::npos) << error;
  EXPECT_NE(error.find(std::strerror(EFBIG)), std::string::npos) << error;
  EXPECT_EQ(Slurp(ini_), kExampleText);
  EXPECT_TRUE(OnlyTheSettingsFile());
}

TEST_F(SettingsFileTest, UnwritableLocationsAreReported) {
  std::string error;
  EXPECT_FALSE(WriteSettingsFile((dir_ / "missing" / "x.ini").string(), Example(), &error));
  EXPECT_NE(error.find(std::strerror(ENOENT)), std::string::npos) << error;

  // A directory in the file's place stays as it was, and no temporary is left beside it.
  const fs::path asDir = dir_ / kSettingsFileName;
  fs::create_directory(asDir);
  EXPECT_FALSE(WriteSettingsFile(asDir.string(), Example(), &error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(fs::is_directory(asDir));
  EXPECT_TRUE(OnlyTheSettingsFile());

  EXPECT_FALSE(WriteSettingsFile("", Example(), nullptr));  // no error sink: still false
}

TEST_F(SettingsFileTest, ReadOnlyDirectoryKeepsTheOldFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "running as root: directory permissions are not enforced";
  Put(ini_, kExampleText);
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  std::string error;
  EXPECT_FALSE(WriteSettingsFile(ini_, SettingsValues{}, &error));
  EXPECT_NE(error.find(std::strerror(EACCES)), std::string::npos) << error;
  fs::permissions(dir_, fs::perms::owner_all);
  EXPECT_EQ(Slurp(ini_), kExampleText);
}

// The names in a folder.
std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

// A settings file reached through a symbolic link: the file the link names is replaced, with
// its mode, and the link stays a link; a relative link counts from its own folder.
TEST_F(SettingsFileTest, SymbolicLinkIsWrittenThroughAndStaysALink) {
  for (const bool relative : {false, true}) {
    const std::string tag = relative ? "relative" : "absolute";
    SCOPED_TRACE(tag);
    const fs::path conf = dir_ / ("conf_" + tag);
    const fs::path run = dir_ / ("run_" + tag);
    fs::create_directory(conf);
    fs::create_directory(run);
    const fs::path target = conf / "station.ini";
    Put(target, "old\r\n");
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(target, mode);
    const fs::path link = run / kSettingsFileName;
    const fs::path linkText = relative ? fs::path("..") / conf.filename() / "station.ini" : target;
    fs::create_symlink(linkText, link);

    std::string error;
    ASSERT_TRUE(WriteSettingsFile(link.string(), Example(), &error)) << error;
    ASSERT_TRUE(fs::is_symlink(fs::symlink_status(link)));
    EXPECT_EQ(fs::read_symlink(link), linkText);
    EXPECT_EQ(Slurp(target), kExampleText);
    EXPECT_EQ(fs::status(target).permissions(), mode);
    EXPECT_EQ(Names(conf), std::set<std::string>{"station.ini"});
    EXPECT_EQ(Names(run), std::set<std::string>{kSettingsFileName});
  }
}

// What a write killed half-way leaves ("<name>.new<pid>_<n>") is removed at the next start
// when that writer is gone; a writer that still runs and every other name are left alone.
TEST_F(SettingsFileTest, LeftoversOfAWriterThatIsGoneAreRemovedAndNothingElse) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  const std::string gone = std::to_string(child);
  const std::string running = std::to_string(::getppid());
  const std::string self = std::to_string(::getpid());
  const std::string ini = kSettingsFileName;
  const struct {
    std::string name;
    bool removed;
  } files[] = {
      {ini + ".new" + gone + "_0", true},
      {ini + ".new" + gone + "_17", true},
      {ini + ".new" + running + "_0", false},
      {ini + ".new" + self + "_0", false},
      {ini + ".new" + gone, false},
      {ini + ".new" + gone + "_0x", false},
      {ini + ".new" + gone + "_0_1", false},
      {ini + ".new_" + gone, false},
      {"OTHER.INI.new" + gone + "_0", false},
  };
  Put(ini_, kExampleText);
  for (const auto& f : files) Put(dir_ / f.name, "x");
  EXPECT_EQ(RemoveSettingsLeftovers(ini_), 2);
  for (const auto& f : files) EXPECT_EQ(fs::exists(dir_ / f.name), !f.removed) << f.name;
  EXPECT_EQ(Slurp(ini_), kExampleText);
}

TEST_F(SettingsFileTest, UnreadableFileIsToldApartFromAMissingOne) {
  if (::geteuid() == 0) GTEST_SKIP() << "running as root: file permissions are not enforced";
  EXPECT_FALSE(SettingsFileUnreadable(ini_));  // missing: the design's values, written at the end
  Put(ini_, kExampleText);
  EXPECT_FALSE(SettingsFileUnreadable(ini_));
  fs::permissions(ini_, fs::perms::owner_write);
  EXPECT_TRUE(SettingsFileUnreadable(ini_));
  EXPECT_FALSE(SettingsFileUnreadable(dir_.string()));  // a folder is no settings file
}

TEST_F(SettingsFileTest, MissingEmptyAndShortFilesReportHowFarTheyGot) {
  std::vector<std::string> lines{"old"};
  EXPECT_EQ(ReadSettingsLines((dir_ / "none.ini").string(), &lines), 0);
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(ReadSettingsLines(dir_.string(), &lines), 0);  // a directory

  Put(ini_, "");
  EXPECT_EQ(ReadSettingsLines(ini_, &lines), 0);
  Put(ini_, " 12000 \r\n 8192 \r\n 683 \r\n");
  EXPECT_EQ(ReadSettingsLines(ini_, &lines), 3);
  EXPECT_EQ(lines, (std::vector<std::string>{" 12000 ", " 8192 ", " 683 "}));
  Put(ini_, " 12000 \r\n 8192");  // the last line needs no line end
  EXPECT_EQ(ReadSettingsLines(ini_, &lines), 2);
  EXPECT_EQ(lines[1], " 8192");
  Put(ini_, std::string(kExampleText) + "extra\r\nlines\r\n");
  EXPECT_EQ(ReadSettingsLines(ini_, &lines), 11);
  EXPECT_EQ(lines[10], " 4 ");
}

TEST_F(SettingsFileTest, EveryLineEndIsAccepted) {
  const std::vector<std::string> expected{"1", "", "3", "4", "", "6"};
  for (const char* text : {"1\r\n\r\n3\r\n4\r\n\r\n6\r\n", "1\n\n3\n4\n\n6\n", "1\r\r3\r4\r\r6\r",
                           "1\r\n\n3\r4\n\r\n6"}) {
    std::vector<std::string> lines;
    EXPECT_EQ(SplitSettingsLines(text, &lines), 6) << text;
    EXPECT_EQ(lines, expected);
    Put(ini_, text);
    EXPECT_EQ(ReadSettingsLines(ini_, &lines), 6);
    EXPECT_EQ(lines, expected);
  }
}

TEST_F(SettingsFileTest, OverlongLinesNulBytesAndGarbage) {
  // A line is cut at the cap and its rest skipped; a CR LF pair split across the reader's
  // buffer boundary still ends one line, not two.
  std::string text = std::string(65535, '7') + "\r\n" + "5400" + std::string(3, '\0') + "\r\n";
  Put(ini_, text);
  std::vector<std::string> lines;
  ASSERT_EQ(ReadSettingsLines(ini_, &lines), 2);
  EXPECT_EQ(lines[0], std::string(kSettingsMaxLineLength, '7'));
  EXPECT_EQ(lines[1], "5400");

  std::string garbage;
  for (int rep = 0; rep < 10; ++rep) {
    for (int b = 255; b >= 0; --b) garbage.push_back(static_cast<char>(b));
  }
  Put(ini_, garbage);
  int n = ReadSettingsLines(ini_, &lines);
  EXPECT_EQ(n, 11);  // two line ends in every 256 bytes
  for (const std::string& line : lines) {
    EXPECT_EQ(line.find('\0'), std::string::npos);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
    EXPECT_TRUE(std::isfinite(SettingsNumber(line)));
  }
}

}  // namespace
}  // namespace corvane
