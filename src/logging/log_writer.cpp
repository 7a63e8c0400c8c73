#include "logging/log_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/file_io.h"

namespace corvane {

std::string AppendResult::StatusText() const {
  if (ok) return {};
  std::string s = error;
  if (pending > 0) s += "; " + std::to_string(pending) + " record(s) held";
  if (dropped > 0) s += "; " + std::to_string(dropped) + " oldest record(s) dropped";
  return s;
}

LogWriter::LogWriter(size_t maxPending) : maxPending_(maxPending > 0 ? maxPending : 1) {}

AppendResult LogWriter::Append(const std::string& fileName, const std::string& line) {
  pending_.push_back(line);
  AppendResult r = WriteHeld(fileName);
  // Trimmed only after the attempt, so a full hold loses nothing when the file is back.
  if (pending_.size() > maxPending_) {
    dropped_ += pending_.size() - maxPending_;
    pending_.erase(pending_.begin(),
                   pending_.begin() + static_cast<std::ptrdiff_t>(pending_.size() - maxPending_));
    r.pending = pending_.size();
    r.dropped = dropped_;
  }
  return r;
}

AppendResult LogWriter::Flush(const std::string& fileName) {
  if (pending_.empty()) return Result(true, {});
  return WriteHeld(fileName);
}

AppendResult LogWriter::Result(bool ok, const std::string& reason) const {
  AppendResult r;
  r.ok = ok;
  if (!ok) r.error = "Log write failed: " + reason;
  r.pending = pending_.size();
  r.dropped = dropped_;
  return r;
}

AppendResult LogWriter::WriteHeld(const std::string& fileName) {
  if (fileName.empty()) return Result(false, "no file name");
  if (fileName.find('\0') != std::string::npos) return Result(false, "invalid file name");

  // O_NONBLOCK: a FIFO with no reader fails at once instead of freezing the window.
  int fd = ::open(fileName.c_str(),
                  O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
  if (fd < 0) return Result(false, std::strerror(errno));

  struct stat st {};
  bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  // The file's length before this call: on any failure the file is cut back to it, so a
  // record is either wholly in the file and no longer held, or not in it and still held.
  off_t startSize = regular ? st.st_size : 0;

  int err = 0;  // first failure, 0 while all is well
  // Gathered into writes of up to kChunk bytes: a long hold (a day of records after the disk
  // came back) neither costs a syscall a record nor a copy of itself at once.
  constexpr size_t kChunk = 64 * 1024;
  std::string chunk;
  for (const std::string& rec : pending_) {
    if (!chunk.empty() && chunk.size() + rec.size() > kChunk) {
      if (!WriteAll(fd, chunk)) {
        err = errno;
        break;
      }
      chunk.clear();
    }
    chunk += rec;
  }
  if (err == 0 && !chunk.empty() && !WriteAll(fd, chunk)) err = errno;
  if (err == 0 && regular && sync_ && ::fsync(fd) != 0) err = errno;
  bool cutBack = true;
  if (err != 0 && regular) {
    while (::ftruncate(fd, startSize) != 0) {
      if (errno != EINTR) {
        cutBack = false;
        break;
      }
    }
  }
  // close() can report a deferred write error; after a successful fsync the data is safe.
  if (::close(fd) != 0 && err == 0 && !(regular && sync_)) {
    err = errno;
    if (regular && ::truncate(fileName.c_str(), startSize) != 0) cutBack = false;
  }

  if (err == 0) {
    pending_.clear();
    return Result(true, {});
  }
  std::string reason = std::strerror(err);
  if (!cutBack) reason += " (a partial line may remain in the file)";
  return Result(false, reason);
}

}  // namespace corvane
