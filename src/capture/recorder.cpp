#include "capture/recorder.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "capture/sndfile_io.h"

namespace corvane {

namespace {

constexpr int64_t kUs = 1'000'000;
constexpr int64_t kHourUs = 3600 * kUs;
// How far the card's clock may wander from the wall clock before it is moved, and over how
// long the least lateness of the blocks is taken.
constexpr int64_t kDriftToleranceUs = 100'000;
constexpr int64_t kDriftWatchSeconds = 60;
// At 48 kHz a noisy input takes under 150 kB a second of FLAC, so a check every few seconds
// leaves the margin untouched by what is written in between.
constexpr int64_t kDiskCheckSeconds = 5;
// Data on the disk itself (not only in the page cache, which a kill leaves intact).
constexpr int64_t kSyncSeconds = 60;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

std::string Megabytes(int64_t bytes) { return std::to_string(bytes / 1'000'000) + " MB"; }

std::string Clock(double seconds) {
  const auto ms = static_cast<int64_t>(seconds * 1000 + 0.5);
  char text[64];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld",
                static_cast<long long>(ms / 3'600'000), static_cast<long long>(ms / 60'000 % 60),
                static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
  return text;
}

}  // namespace

int64_t FreeDiskBytes(const std::string& directory) {
  struct statvfs st {};
  if (::statvfs(directory.c_str(), &st) != 0) return -1;
  return static_cast<int64_t>(st.f_bavail) * static_cast<int64_t>(st.f_frsize);
}

struct Recorder::File {
  std::unique_ptr<FdBytes> bytes;
  SNDFILE* sf = nullptr;
  int64_t recorded = 0;  // frames in the file
};

Recorder::Recorder(RecorderOptions options, Listener listener)
    : options_(std::move(options)), listener_(std::move(listener)) {
  if (options_.sampleRate < 1) active_ = false;
}

Recorder::~Recorder() { Finish(); }

bool Recorder::CanStart(const RecorderOptions& options, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (options.directory.empty()) return fail("no directory to record into");
  if (options.sampleRate < 1) return fail("no sample rate to record at");
  std::error_code ec;
  std::filesystem::create_directories(options.directory, ec);
  if (!std::filesystem::is_directory(options.directory, ec)) {
    return fail("cannot record into " + options.directory + ": not a directory" +
                (ec ? " (" + ec.message() + ")" : std::string()));
  }
  if (::access(options.directory.c_str(), W_OK | X_OK) != 0) {
    return fail("cannot record into " + options.directory + ": " + std::strerror(errno));
  }
  const int64_t free = options.freeBytes ? options.freeBytes(options.directory) : -1;
  if (free >= 0 && free < options.marginBytes) {
    return fail("not recording: " + Megabytes(free) + " free on " + options.directory +
                ", less than the " + Megabytes(options.marginBytes) + " kept free");
  }
  return true;
}

int64_t Recorder::TimeUs(int64_t frame) const {
  const int64_t rate = options_.sampleRate;
  const int64_t d = frame - clockFrame_;
  const int64_t q = FloorDiv(d, rate);
  return clockUs_ + q * kUs + (d - q * rate) * kUs / rate;
}

int64_t Recorder::FrameAtOrAfter(int64_t utcUs) const {
  const int64_t rate = options_.sampleRate;
  const int64_t d = utcUs - clockUs_;
  const int64_t q = FloorDiv(d, kUs);
  return clockFrame_ + q * rate + CeilDiv((d - q * kUs) * rate, kUs);
}

void Recorder::Write(const int16_t* stereo, int64_t frames, int64_t wallEndUs) {
  if (!active_ || frames <= 0) return;
  const int64_t end = frame_ + frames;
  if (!clockSet_) {
    clockSet_ = true;
    clockFrame_ = frame_;
    clockUs_ = wallEndUs - frames * kUs / options_.sampleRate;
    minLateUs_ = INT64_MAX;
    observedSince_ = frame_;
  }
  Observe(end, wallEndUs);

  int64_t at = frame_;
  while (at < end && active_) {
    if (!file_) {
      at = OpenFileFrom(at, end);
      continue;
    }
    const int64_t n = std::min(end, fileEndFrame_) - at;
    if (n > 0) {
      const int16_t* from = stereo + 2 * (at - frame_);
      if (sf_writef_short(file_->sf, from, n) != n) {
        const int err = file_->bytes->lastErrno();
        Stop("Recording stopped: cannot write " + path_ + ": " +
             (err != 0 ? std::strerror(err) : sf_strerror(file_->sf)));
        break;
      }
      file_->recorded += n;
      recorded_ += n;
      at += n;
    }
    if (at >= fileEndFrame_) CloseFile();
  }
  frame_ = end;
  if (!file_) return;
  if (frame_ - lastDiskCheck_ >= kDiskCheckSeconds * options_.sampleRate) CheckDisk();
  if (file_ && frame_ - lastSync_ >= kSyncSeconds * options_.sampleRate) {
    lastSync_ = frame_;
    if (!file_->bytes->Sync()) {
      Stop("Recording stopped: cannot write " + path_ + ": " +
           std::strerror(file_->bytes->lastErrno()));
    }
  }
}

void Recorder::Observe(int64_t endFrame, int64_t wallEndUs) {
  minLateUs_ = std::min(minLateUs_, wallEndUs - TimeUs(endFrame));
  if (endFrame - observedSince_ < kDriftWatchSeconds * options_.sampleRate) return;
  const int64_t offset = minLateUs_;
  minLateUs_ = INT64_MAX;
  observedSince_ = endFrame;
  if (std::abs(offset) <= kDriftToleranceUs) return;
  clockUs_ += offset;
  if (!file_) return;
  // A file never spans two hours of the moved clock: it ends now when the move crossed one.
  const bool sameHour = FloorDiv(TimeUs(frame_), kHourUs) == fileHour_;
  fileEndFrame_ =
      sameHour ? std::max(frame_, FrameAtOrAfter((fileHour_ + 1) * kHourUs)) : frame_;
}

int64_t Recorder::OpenFileFrom(int64_t frame, int64_t limit) {
  int64_t second = FloorDiv(TimeUs(frame), kUs);
  if (FrameAtOrAfter(second * kUs) != frame) ++second;
  for (;;) {
    const int64_t first = FrameAtOrAfter(second * kUs);
    if (first >= limit) return limit;  // the second begins in a later block
    // The file's own timeline, name + frames / rate, is the clock's from here on.
    clockUs_ = second * kUs;
    clockFrame_ = first;
    if (!CheckDisk()) return limit;

    const std::string path =
        (std::filesystem::path(options_.directory) / RecordingFileName(second)).string();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) {
      ++second;  // an earlier run's file: never overwritten
      continue;
    }
    if (fd < 0) {
      Stop("Recording stopped: cannot create " + path + ": " + std::strerror(errno));
      return limit;
    }
    auto file = std::make_unique<File>();
    file->bytes = std::make_unique<FdBytes>(fd);
    SF_INFO info{};
    info.samplerate = options_.sampleRate;
    info.channels = 2;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    file->sf = file->bytes->Open(SFM_WRITE, &info);
    if (file->sf == nullptr) {
      const std::string why = sf_strerror(nullptr);
      file.reset();
      ::unlink(path.c_str());
      Stop("Recording stopped: cannot write " + path + ": " + why);
      return limit;
    }
    sf_set_string(file->sf, SF_STR_SOFTWARE, "Corvane");
    sf_set_string(file->sf, SF_STR_DATE, IsoUtcText(second).c_str());
    // `frame_` .. `limit` is the block being written.
    const int64_t blockFrames = limit - frame_;
    sf_set_string(file->sf, SF_STR_COMMENT,
                  BlockOffsetComment((limit - first) % blockFrames).c_str());

    file_ = std::move(file);
    path_ = path;
    fileHour_ = FloorDiv(second * kUs, kHourUs);
    fileEndFrame_ = FrameAtOrAfter((fileHour_ + 1) * kHourUs);
    lastDiskCheck_ = lastSync_ = first;
    RecorderEvent e;
    e.kind = RecorderEvent::Kind::FileStarted;
    e.path = path;
    e.text = "Recording to " + path;
    Emit(std::move(e));
    return first;
  }
}

void Recorder::Skip(int64_t frames, int64_t blocks, GapCause cause) {
  if (!active_ || frames <= 0) return;
  if (file_) {
    RecorderEvent e;
    e.kind = RecorderEvent::Kind::Gap;
    e.path = path_;
    e.frameInFile = file_->recorded;
    e.frames = frames;
    e.blocks = blocks;
    const double rate = options_.sampleRate;
    char figures[64];
    std::snprintf(figures, sizeof figures, " (%lld frames, %.3f s) missing from ",
                  static_cast<long long>(frames), static_cast<double>(frames) / rate);
    e.text = "Recording: " + (blocks == 1 ? std::string("1 block") : std::to_string(blocks) + " blocks") +
             figures + std::filesystem::path(path_).filename().string() + " at " +
             Clock(static_cast<double>(e.frameInFile) / rate) + " into the file: " +
             (cause == GapCause::Capture ? "dropped by the capture" : "the disk fell behind");
    Emit(std::move(e));
  }
  frame_ += frames;
  // A gap across the hour ends the file; the next begins on a whole second after it.
  if (file_ && frame_ >= fileEndFrame_) CloseFile();
}

void Recorder::CloseFile() {
  if (!file_) return;
  // Finishing writes the length and checksum into the FLAC header.
  const int status = sf_close(file_->sf);
  file_->sf = nullptr;
  const std::string path = path_;
  file_.reset();
  path_.clear();
  if (status != 0 && active_) {
    Stop("Recording stopped: cannot finish " + path + ": " + sf_error_number(status));
  }
}

bool Recorder::CheckDisk() {
  lastDiskCheck_ = frame_;
  const int64_t free = options_.freeBytes ? options_.freeBytes(options_.directory) : -1;
  if (free < 0 || free >= options_.marginBytes) return true;
  Stop("Recording stopped: " + Megabytes(free) + " free on " + options_.directory +
       ", less than the " + Megabytes(options_.marginBytes) + " kept free");
  return false;
}

void Recorder::Stop(const std::string& reason) {
  if (!active_) return;
  active_ = false;
  CloseFile();
  RecorderEvent e;
  e.kind = RecorderEvent::Kind::Stopped;
  e.text = reason;
  Emit(std::move(e));
}

void Recorder::Finish() {
  active_ = false;
  CloseFile();
}

void Recorder::Emit(RecorderEvent event) {
  if (listener_) listener_(event);
}

}  // namespace corvane
