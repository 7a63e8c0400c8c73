#include "logging/log_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include "logging/background_appender.h"
#include "support/file_text.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

using corvane::testing::Slurp;

std::string Rec(int i) {
  return "record " + std::to_string(i) + "  \r\n";
}

class LogWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "corvane_log_XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  fs::path dir_;
};

TEST_F(LogWriterTest, AppendsWholeRecordsInOrderToNewAndExistingFiles) {
  const std::string created = (dir_ / "new.txt").string();
  LogWriter w;
  for (int i = 1; i <= 3; ++i) {
    AppendResult r = w.Append(created, Rec(i));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.StatusText(), "");
    EXPECT_EQ(r.pending, 0u);
  }
  EXPECT_EQ(Slurp(created), Rec(1) + Rec(2) + Rec(3));

  const fs::path existing = dir_ / "old.txt";
  std::ofstream(existing, std::ios::binary) << "earlier\r\n";
  EXPECT_TRUE(w.Append(existing.string(), Rec(4)).ok);
  EXPECT_EQ(Slurp(existing), "earlier\r\n" + Rec(4));
}

// A run far faster than real time gathers its records: those held go out with the next
// write, in order, however many writes of 64 KiB they take, and the appender's queue of
// records for one file becomes one write.
TEST_F(LogWriterTest, GatheredRecordsReachTheFileInOrderAndTogether) {
  const std::string held = (dir_ / "held.txt").string();
  LogWriter w;
  std::string expected;
  for (int i = 0; i < 3000; ++i) {
    w.Hold(Rec(i));
    expected += Rec(i);
  }
  EXPECT_FALSE(fs::exists(held));
  EXPECT_TRUE(w.Append(held, Rec(3000)).ok);
  EXPECT_EQ(Slurp(held), expected + Rec(3000));
  EXPECT_EQ(w.pending(), 0u);

  const std::string text = (dir_ / "text.txt").string();
  const std::string data = (dir_ / "data.csv").string();
  LogWriter dataWriter;  // used on the appender's thread only, as the data log's is
  std::atomic<int> writes{0};
  std::promise<void> open;
  std::shared_future<void> gate = open.get_future().share();
  {
    BackgroundAppender a([&](const AppendResult& r) {
      EXPECT_TRUE(r.ok) << r.StatusText();
      ++writes;
    });
    a.SetSyncToDisk(false);
    // Everything below is queued before the thread can take any of it.
    a.Run([gate] {
      gate.wait();
      return AppendResult{};
    });
    for (int i = 0; i < 100; ++i) {
      const std::string line = Rec(i);
      a.Run([&dataWriter, data, line] { return dataWriter.Append(data, line); }, data,
            [&dataWriter, line] { dataWriter.Hold(line); });
    }
    for (int i = 0; i < 200; ++i) a.Append(text, Rec(i));
    open.set_value();
    ASSERT_TRUE(a.WaitIdle(std::chrono::seconds(30)));
  }
  // The gate, then one write for each file.
  EXPECT_EQ(writes.load(), 3);
  std::string textExpected, dataExpected;
  for (int i = 0; i < 200; ++i) textExpected += Rec(i);
  for (int i = 0; i < 100; ++i) dataExpected += Rec(i);
  EXPECT_EQ(Slurp(text), textExpected);
  EXPECT_EQ(Slurp(data), dataExpected);
}

TEST_F(LogWriterTest, OpenFailureHoldsRecordsUntilTheFileCanBeWritten) {
  const fs::path sub = dir_ / "later";
  const std::string name = (sub / "log.txt").string();
  LogWriter w;
  AppendResult r = w.Append(name, Rec(1));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, std::string("Log write failed: ") + std::strerror(ENOENT));
  EXPECT_EQ(r.pending, 1u);
  r = w.Append(name, Rec(2));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.pending, 2u);
  EXPECT_NE(r.StatusText().find("2 record(s) held"), std::string::npos) << r.StatusText();

  fs::create_directory(sub);
  r = w.Append(name, Rec(3));
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.pending, 0u);
  EXPECT_EQ(w.pending(), 0u);
  EXPECT_EQ(Slurp(name), Rec(1) + Rec(2) + Rec(3));
}

TEST_F(LogWriterTest, DirectoryOrEmptyNameIsReportedNotWritten) {
  LogWriter w;
  AppendResult r = w.Append(dir_.string(), Rec(1));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, std::string("Log write failed: ") + std::strerror(EISDIR));
  r = w.Append("", Rec(2));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.pending, 2u);
  // Flush delivers what is held without adding a record; with nothing held it touches nothing.
  const fs::path good = dir_ / "good.txt";
  EXPECT_TRUE(w.Flush(good.string()).ok);
  EXPECT_EQ(Slurp(good), Rec(1) + Rec(2));
  const fs::path untouched = dir_ / "untouched.txt";
  EXPECT_TRUE(w.Flush(untouched.string()).ok);
  EXPECT_FALSE(fs::exists(untouched));
}

TEST_F(LogWriterTest, FullDiskHoldsRecordsAndCorrectedNameReceivesThemInOrder) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  LogWriter w;
  for (int i = 1; i <= 4; ++i) {
    AppendResult r = w.Append("/dev/full", Rec(i));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, std::string("Log write failed: ") + std::strerror(ENOSPC));
    EXPECT_EQ(r.pending, static_cast<size_t>(i));
  }
  const fs::path good = dir_ / "log.txt";
  AppendResult r = w.Append(good.string(), Rec(5));
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(Slurp(good), Rec(1) + Rec(2) + Rec(3) + Rec(4) + Rec(5));
}

TEST_F(LogWriterTest, BoundedHoldDropsOldestAndCountsThem) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  LogWriter w(3);
  AppendResult r;
  for (int i = 1; i <= 5; ++i) r = w.Append("/dev/full", Rec(i));
  EXPECT_EQ(r.pending, 3u);
  EXPECT_EQ(r.dropped, 2u);
  EXPECT_EQ(w.dropped(), 2u);
  EXPECT_NE(r.StatusText().find("2 oldest record(s) dropped"), std::string::npos) << r.StatusText();
  const fs::path good = dir_ / "log.txt";
  r = w.Append(good.string(), Rec(6));
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.dropped, 2u);  // the count stays visible after recovery
  // The new record joins a full hold without pushing out another when the write succeeds.
  EXPECT_EQ(Slurp(good), Rec(3) + Rec(4) + Rec(5) + Rec(6));
}

// A write that stops part way through a record (here at the file-size limit) must not leave
// the fragment behind: the retry writes the record whole, exactly once.
TEST_F(LogWriterTest, PartlyWrittenRecordIsCutBackAndRetriedWhole) {
  const fs::path file = dir_ / "log.txt";
  std::ofstream(file, std::ios::binary) << "earlier\r\n";  // 9 bytes
  struct sigaction ignore {
  }, oldAction{};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &oldAction), 0);
  rlimit oldLimit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
  rlimit small = oldLimit;
  small.rlim_cur = 9 + Rec(1).size() + 5;  // room for one record and a bit of the next
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);

  LogWriter w;
  EXPECT_TRUE(w.Append(file.string(), Rec(1)).ok);
  AppendResult r = w.Append(file.string(), Rec(2));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, std::string("Log write failed: ") + std::strerror(EFBIG));
  const std::string afterFailure = Slurp(file);

  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &oldLimit), 0);
  ::sigaction(SIGXFSZ, &oldAction, nullptr);
  EXPECT_EQ(afterFailure, "earlier\r\n" + Rec(1));

  r = w.Append(file.string(), Rec(3));
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(Slurp(file), "earlier\r\n" + Rec(1) + Rec(2) + Rec(3));
}

TEST_F(LogWriterTest, ReadOnlyDirectoryThenWritableAgain) {
  if (::geteuid() == 0) GTEST_SKIP() << "running as root: directory permissions are not enforced";
  const fs::path sub = dir_ / "ro";
  fs::create_directory(sub);
  fs::permissions(sub, fs::perms::owner_read | fs::perms::owner_exec);
  const std::string name = (sub / "log.txt").string();
  LogWriter w;
  AppendResult r = w.Append(name, Rec(1));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, std::string("Log write failed: ") + std::strerror(EACCES));
  EXPECT_FALSE(w.Append(name, Rec(2)).ok);
  fs::permissions(sub, fs::perms::owner_all);
  EXPECT_TRUE(w.Append(name, Rec(3)).ok);
  EXPECT_EQ(Slurp(name), Rec(1) + Rec(2) + Rec(3));
}

}  // namespace
}  // namespace corvane
