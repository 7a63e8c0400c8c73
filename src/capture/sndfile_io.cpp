#include "capture/sndfile_io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace corvane {

SNDFILE* SndfileBytes::Open(int mode, SF_INFO* info) {
  static SF_VIRTUAL_IO io = {&VioLength, &VioSeek, &VioRead, &VioWrite, &VioTell};
  pos_ = 0;
  return sf_open_virtual(&io, mode, info, this);
}

std::vector<uint8_t> SndfileBytes::Head(int64_t n) {
  std::vector<uint8_t> head(static_cast<size_t>(std::max<int64_t>(n, 0)));
  const int64_t got = ReadAt(0, head.data(), n);
  head.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
  return head;
}

sf_count_t SndfileBytes::VioLength(void* self) {
  return static_cast<SndfileBytes*>(self)->Length();
}

sf_count_t SndfileBytes::VioSeek(sf_count_t offset, int whence, void* self) {
  auto* s = static_cast<SndfileBytes*>(self);
  int64_t base = 0;
  if (whence == SEEK_CUR) base = s->pos_;
  if (whence == SEEK_END) base = s->Length();
  // Past the end is allowed (a read there gives nothing); before the start is not.
  if (offset < -base) return -1;
  s->pos_ = base + offset;
  return s->pos_;
}

sf_count_t SndfileBytes::VioRead(void* out, sf_count_t n, void* self) {
  auto* s = static_cast<SndfileBytes*>(self);
  if (n <= 0) return 0;
  const int64_t got = s->ReadAt(s->pos_, out, n);
  if (got <= 0) return 0;
  s->pos_ += got;
  return got;
}

sf_count_t SndfileBytes::VioWrite(const void* in, sf_count_t n, void* self) {
  auto* s = static_cast<SndfileBytes*>(self);
  if (n <= 0) return 0;
  const int64_t put = s->WriteAt(s->pos_, in, n);
  if (put <= 0) return 0;
  s->pos_ += put;
  return put;
}

sf_count_t SndfileBytes::VioTell(void* self) { return static_cast<SndfileBytes*>(self)->pos_; }

int64_t MemoryBytes::ReadAt(int64_t pos, void* out, int64_t n) {
  const auto size = static_cast<int64_t>(bytes_.size());
  if (pos < 0 || pos >= size || n <= 0) return 0;
  const int64_t count = std::min(n, size - pos);
  std::memcpy(out, bytes_.data() + pos, static_cast<size_t>(count));
  return count;
}

FdBytes::~FdBytes() {
  if (fd_ >= 0) ::close(fd_);
}

bool FdBytes::Sync() {
  if (::fdatasync(fd_) == 0) return true;
  errno_ = errno;
  return false;
}

int64_t FdBytes::Length() {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    errno_ = errno;
    return 0;
  }
  return static_cast<int64_t>(st.st_size);
}

int64_t FdBytes::ReadAt(int64_t pos, void* out, int64_t n) {
  constexpr int64_t kAhead = 256 * 1024;
  if (n <= 0) return 0;
  if (n >= kAhead) return ReadThrough(pos, out, n);
  const auto held = static_cast<int64_t>(ahead_.size());
  if (pos >= aheadPos_ && pos + n <= aheadPos_ + held) {
    // A file cut since the read ahead: what it no longer holds is not served.
    if (!holdLength_ || heldLength_ < 0) heldLength_ = Length();
    const int64_t length = heldLength_;
    if (length < aheadPos_ + held)
      ahead_.resize(static_cast<size_t>(std::max<int64_t>(length - aheadPos_, 0)));
  }
  if (pos < aheadPos_ || pos + n > aheadPos_ + static_cast<int64_t>(ahead_.size())) {
    ahead_.resize(static_cast<size_t>(kAhead));
    ahead_.resize(static_cast<size_t>(ReadThrough(pos, ahead_.data(), kAhead)));
    aheadPos_ = pos;
  }
  const int64_t count =
      std::clamp<int64_t>(static_cast<int64_t>(ahead_.size()) - (pos - aheadPos_), 0, n);
  if (count > 0) std::memcpy(out, ahead_.data() + (pos - aheadPos_), static_cast<size_t>(count));
  return count;
}

int64_t FdBytes::ReadThrough(int64_t pos, void* out, int64_t n) {
  auto* p = static_cast<char*>(out);
  int64_t done = 0;
  while (done < n) {
    const ssize_t got = ::pread(fd_, p + done, static_cast<size_t>(n - done), pos + done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) errno_ = errno;
    if (got <= 0) break;
    done += got;
  }
  return done;
}

int64_t FdBytes::WriteAt(int64_t pos, const void* in, int64_t n) {
  ahead_.clear();
  const auto* p = static_cast<const char*>(in);
  int64_t done = 0;
  while (done < n) {
    const ssize_t put = ::pwrite(fd_, p + done, static_cast<size_t>(n - done), pos + done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      errno_ = put < 0 ? errno : ENOSPC;
      break;
    }
    done += put;
  }
  return done;
}

}  // namespace corvane
