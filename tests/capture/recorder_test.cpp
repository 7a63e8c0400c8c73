#include "capture/recorder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "capture/audio_file_reader.h"
#include "capture/recorder_thread.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kUs = 1'000'000;
// 2026-12-08 17:00:00 UTC.
constexpr int64_t k17h = 1796749200;

// Frame k of the input says which it is: left = k mod 2^15, right = k / 2^15.
void Numbered(int64_t first, int64_t frames, std::vector<int16_t>* out) {
  out->resize(static_cast<size_t>(2 * frames));
  for (int64_t i = 0; i < frames; ++i) {
    (*out)[static_cast<size_t>(2 * i)] = static_cast<int16_t>((first + i) & 0x7FFF);
    (*out)[static_cast<size_t>(2 * i + 1)] = static_cast<int16_t>((first + i) >> 15);
  }
}
int64_t FrameNumber(const int16_t* frame) { return frame[0] + (int64_t{frame[1]} << 15); }

struct FileRead {
  std::string name;
  int64_t frames = 0;
  int64_t firstFrame = -1;  // the input frame the file begins with
  bool inOrder = true;      // its frames follow each other with no gap
  bool unfinished = false;
};

FileRead ReadBack(const fs::path& path) {
  FileRead f;
  f.name = path.filename().string();
  AudioFileReader r;
  if (!r.Open(path.string())) {
    ADD_FAILURE() << r.error();
    return f;
  }
  EXPECT_EQ(r.formatName(), "FLAC, 16-bit integer");
  f.unfinished = r.unfinished();
  std::vector<int16_t> s(static_cast<size_t>(2 * r.frames()));
  f.frames = r.ReadFrames(s.data(), r.frames());
  EXPECT_EQ(f.frames, r.frames());
  if (f.frames > 0) f.firstFrame = FrameNumber(s.data());
  for (int64_t i = 1; i < f.frames; ++i) {
    f.inOrder &= FrameNumber(&s[static_cast<size_t>(2 * i)]) == f.firstFrame + i;
  }
  return f;
}

class RecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("recorder_test_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  RecorderOptions Options(int rate) {
    RecorderOptions o;
    o.directory = dir_.string();
    o.sampleRate = rate;
    o.freeBytes = [this](const std::string&) { return freeBytes_.load(); };
    return o;
  }
  std::vector<FileRead> Files() {
    std::vector<fs::path> paths;
    for (const auto& e : fs::directory_iterator(dir_)) paths.push_back(e.path());
    std::sort(paths.begin(), paths.end());
    std::vector<FileRead> files;
    for (const fs::path& p : paths) files.push_back(ReadBack(p));
    return files;
  }

  fs::path dir_;
  std::atomic<int64_t> freeBytes_{int64_t{4} << 30};
};

// A card whose frame k is taken at startUs + k / rate of its own clock, which runs `ppm`
// slow against the wall clock; each block reaches us 20 ms after its last frame, or
// anywhere from 20 to 60 ms when `jitter`. Blocks listed in `dropped` never arrive.
struct Card {
  int rate = 200;
  int blockFrames = 64;
  int64_t startUs = 0;
  double ppm = 0;
  bool jitter = false;
  std::vector<int64_t> dropped;
};

void Play(Recorder& rec, const Card& c, int64_t seconds) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int64_t> latency(20'000, c.jitter ? 60'000 : 20'000);
  std::vector<int16_t> block;
  const int64_t blocks = seconds * c.rate / c.blockFrames;
  for (int64_t b = 0; b < blocks; ++b) {
    const int64_t first = b * c.blockFrames;
    if (std::find(c.dropped.begin(), c.dropped.end(), b) != c.dropped.end()) {
      rec.Skip(c.blockFrames, 1, GapCause::Capture);
      continue;
    }
    Numbered(first, c.blockFrames, &block);
    const double taken = static_cast<double>(first + c.blockFrames) * kUs / c.rate *
                         (1 + c.ppm * 1e-6);
    rec.Write(block.data(), c.blockFrames, c.startUs + std::llround(taken) + latency(rng));
  }
}

TEST_F(RecorderTest, ANewFileBeginsAtTheFrameOfEachHour) {
  struct Case {
    const char* what;
    Card card;
    int64_t seconds;
    std::vector<std::string> names;
    std::vector<int64_t> firstFrames;  // of the input, per file
  };
  // The first frame at 17:59:58.25 as the first block tells it (20 ms late): the first file
  // waits for 17:59:59, frame 150; 18:00:00 is frame 350.
  const int64_t start = (k17h + 3598) * kUs - 20'000;
  Card quarter{200, 64, start + 250'000, 0, false, {}};
  Card uneven{44100, 4096, start + 123'456, 0, false, {}};
  // Blocks 4 and 5 (frames 256 .. 383: 17:59:59.53 .. 18:00:00.17) are lost across the hour:
  // the first file ends at the gap and the next waits for 18:00:01.
  Card gap{200, 64, start + 250'000, 0, false, {4, 5}};
  // Started at 16:59:59.9; the card runs 500 ppm slow, so that by 18:00 its own count is
  // 1.8 s behind the wall clock, and the blocks come late by varying amounts.
  Card slow{200, 64, k17h * kUs - 100'000, 500, true, {}};
  const Case cases[] = {
      {"quarter second", quarter, 8,
       {"corvane-20261208T175959Z.flac", "corvane-20261208T180000Z.flac"}, {150, 350}},
      {"44100 Hz", uneven, 3,
       {"corvane-20261208T175959Z.flac", "corvane-20261208T180000Z.flac"}, {38656, 82756}},
      {"gap across the hour", gap, 8,
       {"corvane-20261208T175959Z.flac", "corvane-20261208T180001Z.flac"}, {150, 550}},
      // 18:00:00 of the wall is card frame 3600.1 x 200 / 1.0005 = 719660.
      {"card clock slow", slow, 3700,
       {"corvane-20261208T170000Z.flac", "corvane-20261208T180000Z.flac"}, {20, 719660}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    {
      Recorder rec(Options(c.card.rate));
      Play(rec, c.card, c.seconds);
      EXPECT_TRUE(rec.active());
    }
    const std::vector<FileRead> files = Files();
    ASSERT_EQ(files.size(), c.names.size());
    for (size_t i = 0; i < files.size(); ++i) {
      EXPECT_EQ(files[i].name, c.names[i]);
      EXPECT_TRUE(files[i].inOrder);
      EXPECT_FALSE(files[i].unfinished);
      // Within 0.2 s when the card drifts (the tolerance of 0.1 s, the least lateness seen
      // and how far the card wanders between two looks); exact otherwise. Left alone, the
      // slow card would split 1.8 s late.
      const int64_t slack = c.card.ppm != 0 ? c.card.rate / 5 : 0;
      EXPECT_LE(std::abs(files[i].firstFrame - c.firstFrames[i]), slack) << files[i].name;
    }
    const FileRead& first = files.front();
    if (c.card.dropped.empty()) {
      EXPECT_EQ(first.firstFrame + first.frames, files[1].firstFrame);  // nothing lost
    } else {
      EXPECT_EQ(first.firstFrame + first.frames, c.card.dropped.front() * c.card.blockFrames);
    }
  }
}

TEST_F(RecorderTest, StopsAtTheDiskMarginAndLeavesAFinishedFile) {
  RecorderOptions options = Options(1000);
  std::string why;
  freeBytes_ = 499'000'000;
  EXPECT_FALSE(Recorder::CanStart(options, &why));
  EXPECT_EQ(why, "not recording: 499 MB free on " + dir_.string() +
                     ", less than the 500 MB kept free");
  freeBytes_ = 2'000'000'000;
  ASSERT_TRUE(Recorder::CanStart(options, &why)) << why;

  std::vector<RecorderEvent> stops;
  Recorder rec(options, [&](const RecorderEvent& e) {
    if (e.kind == RecorderEvent::Kind::Stopped) stops.push_back(e);
  });
  std::vector<int16_t> block;
  int64_t frame = 0;
  auto second = [&] {
    Numbered(frame, 1000, &block);
    frame += 1000;
    rec.Write(block.data(), 1000, k17h * kUs + frame * 1000);
  };
  for (int s = 0; s < 20; ++s) second();
  const int64_t before = rec.framesRecorded();
  freeBytes_ = 400'000'000;  // something else filled the disk
  for (int s = 0; s < 20; ++s) second();
  ASSERT_EQ(stops.size(), 1u);
  EXPECT_EQ(stops[0].text, "Recording stopped: 400 MB free on " + dir_.string() +
                               ", less than the 500 MB kept free");
  EXPECT_FALSE(rec.active());
  // At most one look at the disk later; nothing after.
  EXPECT_LE(rec.framesRecorded() - before, 5 * 1000);
  const std::vector<FileRead> files = Files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].frames, rec.framesRecorded());
  EXPECT_FALSE(files[0].unfinished);
}

// A recorder killed at an arbitrary moment: its file reads back, exactly, up to within two
// FLAC blocks (4096 frames each: what the encoder held, and a frame cut in its writing) of
// what it had been given.
TEST_F(RecorderTest, KilledWhileRecordingLeavesAReadableFile) {
  constexpr int kRate = 48000;
  constexpr int kBlock = 4096;
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::close(report[0]);
    Recorder rec(Options(kRate));
    std::vector<int16_t> block;
    for (int64_t frame = 0;; frame += kBlock) {
      Numbered(frame, kBlock, &block);
      rec.Write(block.data(), kBlock, k17h * kUs + (frame + kBlock) * kUs / kRate);
      const int64_t given = rec.active() ? frame + kBlock : -1;
      if (::write(report[1], &given, sizeof given) != sizeof given || given < 0) ::_exit(1);
    }
  }
  ::close(report[1]);
  struct Reaper {  // a failed check must not leave the child behind
    pid_t pid;
    ~Reaper() {
      if (pid > 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0);
    }
  } reaper{child};
  int64_t given = 0;
  while (given >= 0 && given < 3 * kRate) {
    ASSERT_EQ(::read(report[0], &given, sizeof given), static_cast<ssize_t>(sizeof given));
  }
  ASSERT_GT(given, 0) << "the child could not record";
  ASSERT_EQ(::kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  reaper.pid = 0;
  ASSERT_TRUE(WIFSIGNALED(status));
  for (int64_t more = 0; ::read(report[0], &more, sizeof more) == sizeof more;) given = more;
  ::close(report[0]);

  std::vector<FileRead> files = Files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].name, "corvane-20261208T170000Z.flac");
  EXPECT_TRUE(files[0].unfinished);
  EXPECT_EQ(files[0].firstFrame, 0);
  EXPECT_TRUE(files[0].inOrder);
  EXPECT_GE(files[0].frames, given - 2 * kBlock);
  EXPECT_LE(files[0].frames, given + kBlock);

  // Cut again, in the middle: it reads up to the last whole frame before the cut.
  const fs::path path = dir_ / files[0].name;
  fs::resize_file(path, fs::file_size(path) / 2);
  const FileRead cut = ReadBack(path);
  EXPECT_EQ(cut.firstFrame, 0);
  EXPECT_TRUE(cut.inOrder);
  EXPECT_GT(cut.frames, 0);
  EXPECT_LT(cut.frames, files[0].frames);
  EXPECT_EQ(cut.frames % kBlock, 0);
}

// The writer thread held up (here inside its look at the free space, as on a stalled
// disk): the queue takes a second of audio, the rest is dropped, counted and named as a gap.
TEST_F(RecorderTest, AFullQueueDropsBlocksAndTheFileNamesTheGap) {
  std::mutex m;
  std::condition_variable cv;
  bool stalled = true, held = false;
  RecorderOptions options = Options(1000);
  options.freeBytes = [&](const std::string&) -> int64_t {
    std::unique_lock lock(m);
    held = true;
    cv.notify_all();
    cv.wait(lock, [&] { return !stalled; });
    return int64_t{4} << 30;
  };
  std::vector<RecorderEvent> gaps;
  RecorderThread thread(options, [&](const RecorderEvent& e) {
    if (e.kind == RecorderEvent::Kind::Gap) gaps.push_back(e);
  }, 1.0);
  std::vector<int16_t> block;
  auto push = [&](int64_t b) {
    Numbered(b * 500, 500, &block);
    thread.Push(block.data(), 500, k17h * kUs + (b + 1) * 500'000);
  };
  push(0);
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return held; });  // the writer has taken block 0 and waits
  }
  for (int64_t b = 1; b < 10; ++b) push(b);
  EXPECT_EQ(thread.queueDroppedBlocks(), 7);  // blocks 1 and 2 fill the queue
  {
    std::lock_guard lock(m);
    stalled = false;
  }
  cv.notify_all();
  thread.Drain();
  for (int64_t b = 10; b < 12; ++b) push(b);
  thread.Finish();

  ASSERT_EQ(gaps.size(), 1u);
  EXPECT_EQ(gaps[0].frameInFile, 1500);
  EXPECT_EQ(gaps[0].frames, 3500);
  EXPECT_EQ(gaps[0].blocks, 7);
  EXPECT_EQ(gaps[0].text,
            "Recording: 7 blocks (3500 frames, 3.500 s) missing from "
            "corvane-20261208T170000Z.flac at 00:00:01.500 into the file: the disk fell behind");
  const std::vector<FileRead> files = Files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].frames, 1500 + 1000);
  EXPECT_FALSE(files[0].inOrder);  // frame 5000 follows frame 1499
}

TEST(RecordingFileName, NamesAndReadsBackTheUtcStart) {
  EXPECT_EQ(RecordingFileName(k17h + 3600), "corvane-20261208T180000Z.flac");
  int64_t t = 0;
  EXPECT_TRUE(ParseRecordingFileName("/data/rec/corvane-20261208T180000Z.flac", &t));
  EXPECT_EQ(t, k17h + 3600);
  EXPECT_TRUE(ParseRecordingFileName("corvane-20240229T235959Z.wav", &t));
  EXPECT_EQ(RecordingFileName(t), "corvane-20240229T235959Z.flac");
  for (const char* other : {"corvane-20230229T000000Z.flac", "corvane-20261208T240000Z.flac",
                            "corvane-20261208T180000.flac", "beacon.flac",
                            "corvane-20261208T180000Zx.flac", "xcorvane-20261208T180000Z.flac"}) {
    EXPECT_FALSE(ParseRecordingFileName(other, &t)) << other;
  }
  // The comment that tells the replay where the live blocks began.
  int64_t offset = -1;
  EXPECT_TRUE(ParseBlockOffsetComment(BlockOffsetComment(1234), &offset));
  EXPECT_EQ(offset, 1234);
  EXPECT_TRUE(ParseBlockOffsetComment("note block_offset=0", &offset));
  EXPECT_EQ(offset, 0);
  for (const char* other : {"", "block_offset=", "block_offset=12x", "xblock_offset=5",
                            "block_offset=-5", "block_offset=1234567890123"}) {
    EXPECT_FALSE(ParseBlockOffsetComment(other, &offset)) << other;
  }
}

}  // namespace
}  // namespace corvane
