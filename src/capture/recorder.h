#pragma once
// Recording of the input: exactly the frames that go into the blocks, as 16-bit stereo FLAC
// at the capture rate, one file per UTC hour, each named by the UTC time of its first frame
// ("corvane-20261208T180000Z.flac").
//
// Time: every block comes with the wall-clock time at which its last frame was taken. The
// first block anchors a clock that then runs on the count of frames (dropped ones
// included), so the hour falls on one exact frame. Blocks reach us late by a varying amount;
// the least lateness seen over a minute or more estimates how far the sound card's clock
// has wandered from the wall clock, and past 0.1 s the clock is moved to it. Every file
// begins on a whole UTC second: at the start, and after a gap across the hour, the frames
// before the next second are not recorded (less than a second), so a file's name is the
// time of its first frame to within one frame. The next file begins at the frame of the
// hour.
//
// A killed program leaves its file readable up to the last frame the encoder had finished
// (at most 4096 frames and what was queued are lost): the FLAC header then holds no length,
// which FLAC readers, ours included, take as "unknown". Before each file and every few
// seconds of audio the free space is checked; below the margin, and on any failure to
// write, recording stops for good with a notice. It never fills the disk.
//
// Not thread-safe: one thread makes every call (RecorderThread keeps it off the block loop).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "capture/recording_name.h"

namespace corvane {

// Bytes free to us on the file system holding `directory`; -1 when it cannot be told.
int64_t FreeDiskBytes(const std::string& directory);

inline constexpr int64_t kDefaultRecordMarginBytes = 500'000'000;

struct RecorderOptions {
  std::string directory;
  int sampleRate = 12000;
  int64_t marginBytes = kDefaultRecordMarginBytes;
  std::function<int64_t(const std::string& directory)> freeBytes = FreeDiskBytes;
};

struct RecorderEvent {
  enum class Kind { FileStarted, Gap, Stopped };
  Kind kind = Kind::FileStarted;
  std::string path;          // the file concerned (empty for a refusal to start)
  int64_t frameInFile = 0;   // Gap: frames in the file before the missing ones
  int64_t frames = 0;        // Gap: frames missing
  int64_t blocks = 0;        // Gap: blocks they were in
  std::string text;          // one line for the operator
};

enum class GapCause { Capture, Queue };

class Recorder {
 public:
  using Listener = std::function<void(const RecorderEvent&)>;

  Recorder(RecorderOptions options, Listener listener = {});
  ~Recorder();  // finishes the file
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Whether recording can begin: the directory exists (it is made when missing) and is
  // writable, and its disk has more than the margin free. False with *error otherwise.
  static bool CanStart(const RecorderOptions& options, std::string* error);

  // `frames` interleaved stereo frames whose last was taken at `wallEndUs` (microseconds
  // since 1970-01-01 UTC).
  void Write(const int16_t* stereo, int64_t frames, int64_t wallEndUs);
  // Frames that never reach us, in `blocks` blocks, just before the next Write: the clock
  // runs on over them and the file names the gap.
  void Skip(int64_t frames, int64_t blocks, GapCause cause);
  // Finishes the current file; nothing more is recorded.
  void Finish();

  bool active() const { return active_; }
  const std::string& currentPath() const { return path_; }
  int64_t framesRecorded() const { return recorded_; }

 private:
  struct File;

  int64_t TimeUs(int64_t frame) const;
  int64_t FrameAtOrAfter(int64_t utcUs) const;
  void Observe(int64_t endFrame, int64_t wallEndUs);
  // Opens the next file at or after `frame`; returns its first frame (> limit: none yet).
  int64_t OpenFileFrom(int64_t frame, int64_t limit);
  void CloseFile();
  bool CheckDisk();
  void Stop(const std::string& reason);
  void Emit(RecorderEvent event);

  RecorderOptions options_;
  Listener listener_;
  bool active_ = true;

  // The clock: frame clockFrame_ was taken at clockUs_.
  bool clockSet_ = false;
  int64_t clockFrame_ = 0;
  int64_t clockUs_ = 0;
  int64_t frame_ = 0;  // frames seen, dropped ones included
  int64_t minLateUs_ = 0;
  int64_t observedSince_ = 0;  // first frame of the current lateness watch

  std::unique_ptr<File> file_;
  std::string path_;
  int64_t fileFirstFrame_ = 0;
  int64_t fileHour_ = 0;
  int64_t fileEndFrame_ = 0;
  int64_t recorded_ = 0;
  int64_t lastDiskCheck_ = 0;
  int64_t lastSync_ = 0;
};

}  // namespace corvane
