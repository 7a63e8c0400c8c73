#include "network/disk_queue.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/file_text.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

class DiskQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "corvane_queue_XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    path_ = (dir_ / "SIGREC.TXT.mqtt-queue").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  static void Open(DiskQueue& q) {
    std::string error, warning;
    ASSERT_TRUE(q.Open(&error, &warning)) << error;
    EXPECT_EQ(warning, "");
  }
  static void Push(DiskQueue& q, const std::string& payload,
                   MessageKind kind = MessageKind::Record) {
    std::string error;
    ASSERT_TRUE(q.Push({kind, payload}, &error)) << error;
  }
  // Every entry, front to back.
  static std::vector<std::string> Entries(const DiskQueue& q) {
    std::vector<std::string> out;
    for (uint64_t s = q.frontSeq(); s < q.frontSeq() + q.size(); ++s) {
      QueuedMessage m;
      std::string error;
      EXPECT_TRUE(q.Read(s, &m, &error)) << error;
      out.push_back(std::string(1, static_cast<char>(m.kind)) + m.payload);
    }
    return out;
  }

  fs::path dir_;
  std::string path_;
};

TEST_F(DiskQueueTest, EntriesSurviveARestartInOrderAndTakenOnesStayTaken) {
  {
    DiskQueue q(path_);
    Open(q);
    Push(q, "{\"a\":1}", MessageKind::Run);
    Push(q, "{\"b\":2}");
    Push(q, "{\"c\":3}", MessageKind::Alarm);
    Push(q, "{\"d\":4}");
    std::string error;
    ASSERT_TRUE(q.PopFront(1, &error)) << error;
  }
  {
    DiskQueue q(path_);
    Open(q);
    EXPECT_EQ(Entries(q), (std::vector<std::string>{"R{\"b\":2}", "A{\"c\":3}", "R{\"d\":4}"}));
    std::string error;
    ASSERT_TRUE(q.PopFront(3, &error)) << error;
    // Empty, the file shrinks back to its header.
    EXPECT_LT(fs::file_size(path_), 64u);
    Push(q, "{\"e\":5}");
  }
  DiskQueue again(path_);
  Open(again);
  EXPECT_EQ(Entries(again), (std::vector<std::string>{"R{\"e\":5}"}));
}

TEST_F(DiskQueueTest, AFullQueueDropsTheOldestAndCountsThem) {
  {
    DiskQueue q(path_, 3);
    Open(q);
    for (int i = 0; i < 5; ++i) Push(q, std::to_string(i));
    EXPECT_EQ(q.dropped(), 2u);
    EXPECT_EQ(q.frontSeq(), 2u);
    EXPECT_EQ(Entries(q), (std::vector<std::string>{"R2", "R3", "R4"}));
  }
  // A smaller bound at the next start keeps the newest.
  DiskQueue smaller(path_, 2);
  std::string error, warning;
  ASSERT_TRUE(smaller.Open(&error, &warning)) << error;
  EXPECT_EQ(Entries(smaller), (std::vector<std::string>{"R3", "R4"}));
  EXPECT_EQ(smaller.dropped(), 1u);
}

TEST_F(DiskQueueTest, ALineCutShortByACrashIsCutOffAndAppendsGoOn) {
  {
    DiskQueue q(path_);
    Open(q);
    Push(q, "whole");
  }
  {
    std::ofstream f(path_, std::ios::app | std::ios::binary);
    f << "R {\"half";  // the power went here
  }
  DiskQueue q(path_);
  Open(q);
  Push(q, "next");
  EXPECT_EQ(Entries(q), (std::vector<std::string>{"Rwhole", "Rnext"}));
  EXPECT_EQ(testing::Slurp(path_).find("half"), std::string::npos);
}

TEST_F(DiskQueueTest, AGarbledLineIsSkippedAndNeverSentWithTheEntryBeforeIt) {
  {
    DiskQueue q(path_);
    Open(q);
    Push(q, "{\"n\":1}");
  }
  {
    std::ofstream f(path_, std::ios::app | std::ios::binary);
    f << "X garbled\nR {\"n\":2}\n";
  }
  DiskQueue q(path_);
  std::string error, warning;
  ASSERT_TRUE(q.Open(&error, &warning)) << error;
  EXPECT_NE(warning.find("1 unreadable line(s) skipped"), std::string::npos) << warning;
  EXPECT_EQ(Entries(q), (std::vector<std::string>{"R{\"n\":1}", "R{\"n\":2}"}));
}

TEST_F(DiskQueueTest, AFileThatIsNoQueueIsMovedAsideNotOverwritten) {
  {
    std::ofstream f(path_, std::ios::binary);
    f << "14:03:07  1000   12.3  -35.2  47.6  00.0012  \r\n";
  }
  DiskQueue q(path_);
  std::string error, warning;
  ASSERT_TRUE(q.Open(&error, &warning)) << error;
  EXPECT_NE(warning.find("moved to"), std::string::npos) << warning;
  EXPECT_EQ(q.size(), 0u);
  EXPECT_NE(testing::Slurp(path_ + ".unreadable").find("14:03:07"), std::string::npos);
}

TEST_F(DiskQueueTest, TheFileStaysNearTheSizeOfItsLiveEntries) {
  // A broker away for longer than the bound: the oldest go, and the file must not grow
  // with everything ever queued.
  std::vector<std::string> entries;
  {
    DiskQueue q(path_, 1000);
    Open(q);
    q.SetSyncToDisk(false);
    const std::string payload(500, 'x');
    for (int i = 0; i < 10000; ++i) Push(q, payload + std::to_string(i));
    EXPECT_EQ(q.size(), 1000u);
    EXPECT_EQ(q.dropped(), 9000u);
    // Everything ever queued would be 5 MB.
    EXPECT_LT(fs::file_size(path_), 2'000'000u);
    entries = Entries(q);
    ASSERT_EQ(entries.size(), 1000u);
    EXPECT_EQ(entries.front(), "R" + payload + "9000");
    EXPECT_EQ(entries.back(), "R" + payload + "9999");
  }
  DiskQueue reopened(path_, 1000);
  Open(reopened);
  EXPECT_EQ(Entries(reopened), entries);
}

}  // namespace
}  // namespace corvane
