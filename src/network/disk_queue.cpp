#include "network/disk_queue.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace corvane {

namespace {

constexpr char kMagic[] = "corvane-mqtt-queue 1 head=";
constexpr size_t kMagicSize = sizeof kMagic - 1;
constexpr size_t kHeaderSize = kMagicSize + 16 + 1;  // 16 hex digits and a line feed
// Copying the live part pays once the consumed part is both large and the larger.
constexpr uint64_t kCompactAbove = 1 << 20;

std::string Header(uint64_t head) {
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(head));
  return std::string(kMagic) + hex + "\n";
}

bool ParseHeader(const char* data, size_t size, uint64_t* head) {
  if (size < kHeaderSize || std::memcmp(data, kMagic, kMagicSize) != 0 ||
      data[kHeaderSize - 1] != '\n')
    return false;
  uint64_t v = 0;
  for (size_t i = kMagicSize; i < kHeaderSize - 1; ++i) {
    const char c = data[i];
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    if (d < 0) return false;
    v = v * 16 + static_cast<uint64_t>(d);
  }
  *head = v;
  return true;
}

bool KnownKind(char c) {
  return c == static_cast<char>(MessageKind::Record) || c == static_cast<char>(MessageKind::Run) ||
         c == static_cast<char>(MessageKind::Alarm);
}

bool Fail(std::string* error, const std::string& what) {
  *error = what + ": " + std::strerror(errno);
  return false;
}

bool WriteAll(int fd, const char* data, size_t size, uint64_t offset) {
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

bool ReadAll(int fd, char* data, size_t size, uint64_t offset) {
  while (size > 0) {
    const ssize_t n = ::pread(fd, data, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

}  // namespace

DiskQueue::DiskQueue(std::string path, size_t capacity)
    : path_(std::move(path)), capacity_(capacity > 0 ? capacity : 1) {}

DiskQueue::~DiskQueue() {
  if (fd_ >= 0) ::close(fd_);
}

bool DiskQueue::Create(std::string* error) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) return Fail(error, "cannot create " + path_);
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) return Fail(error, "cannot lock " + path_);
  offsets_.clear();
  end_ = kHeaderSize;
  return WriteHead(error);
}

bool DiskQueue::Open(std::string* error, std::string* warning) {
  warning->clear();
  offsets_.clear();
  front_ = 0;
  dropped_ = 0;
  if (fd_ >= 0) ::close(fd_);
  fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) return Fail(error, "cannot open " + path_);
  // Two programs appending to one queue would interleave their entries and their heads.
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd_);
    fd_ = -1;
    *error = path_ + " is in use by another program";
    return false;
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return Fail(error, "cannot read " + path_);
  const auto size = static_cast<uint64_t>(st.st_size);
  if (size == 0) {
    end_ = kHeaderSize;
    return WriteHead(error);
  }

  std::vector<char> data(size);
  if (!ReadAll(fd_, data.data(), data.size(), 0)) return Fail(error, "cannot read " + path_);
  uint64_t head = 0;
  if (!ParseHeader(data.data(), data.size(), &head)) {
    const std::string aside = path_ + ".unreadable";
    if (::rename(path_.c_str(), aside.c_str()) != 0)
      return Fail(error, path_ + " is not a message queue, and cannot be moved aside");
    *warning = path_ + " was not a message queue; moved to " + aside;
    return Create(error);
  }
  if (head < kHeaderSize || head > size) {
    // Sending some twice is better than losing any.
    *warning = path_ + ": its head is out of place; every entry is sent again";
    head = kHeaderSize;
  }
  size_t skipped = 0;
  uint64_t lineStart = head;
  uint64_t complete = head;  // end of the last whole line
  for (uint64_t i = head; i < size; ++i) {
    if (data[i] != '\n') continue;
    const uint64_t length = i - lineStart;
    if (length >= 2 && KnownKind(data[lineStart]) && data[lineStart + 1] == ' ') {
      offsets_.push_back(lineStart);
    } else {
      ++skipped;
    }
    lineStart = i + 1;
    complete = i + 1;
  }
  // Lines of no known kind keep their place in the file but are never sent.
  if (skipped > 0) {
    *warning += (warning->empty() ? "" : "; ") + path_ + ": " + std::to_string(skipped) +
                " unreadable line(s) skipped";
  }
  if (complete < size && ::ftruncate(fd_, static_cast<off_t>(complete)) != 0)
    return Fail(error, "cannot cut the unfinished line off " + path_);
  end_ = complete;
  if (offsets_.size() > capacity_ && !DropFront(offsets_.size() - capacity_, error)) return false;
  if (offsets_.empty()) {
    if (::ftruncate(fd_, static_cast<off_t>(kHeaderSize)) != 0)
      return Fail(error, "cannot truncate " + path_);
    end_ = kHeaderSize;
  }
  return WriteHead(error) && CompactIfWorthIt(error);
}

bool DiskQueue::WriteHead(std::string* error) {
  const std::string h = Header(head());
  // Not synced: a head that is behind after a crash only sends some entries twice.
  if (!WriteAll(fd_, h.data(), h.size(), 0)) return Fail(error, "cannot write " + path_);
  return true;
}

bool DiskQueue::Push(const QueuedMessage& message, std::string* error) {
  if (fd_ < 0) {
    *error = "the message queue is not open";
    return false;
  }
  if (message.payload.find('\n') != std::string::npos) {
    *error = "a message of more than one line";
    return false;
  }
  if (offsets_.size() >= capacity_ && !DropFront(offsets_.size() - capacity_ + 1, error))
    return false;
  std::string line;
  line.reserve(message.payload.size() + 3);
  line += static_cast<char>(message.kind);
  line += ' ';
  line += message.payload;
  line += '\n';
  if (!WriteAll(fd_, line.data(), line.size(), end_)) {
    const int e = errno;
    // A part-written line would be cut off at the next Open anyway; cut it now so the
    // next append starts clean.
    const bool cut = ::ftruncate(fd_, static_cast<off_t>(end_)) == 0;
    errno = e;
    return Fail(error, (cut ? "cannot append to " : "cannot append to, nor cut back, ") + path_);
  }
  if (sync_ && ::fdatasync(fd_) != 0) return Fail(error, "cannot sync " + path_);
  offsets_.push_back(end_);
  end_ += line.size();
  return true;
}

bool DiskQueue::Read(uint64_t seq, QueuedMessage* out, std::string* error) const {
  if (seq < front_ || seq - front_ >= offsets_.size()) {
    *error = "no entry " + std::to_string(seq) + " in the message queue";
    return false;
  }
  const size_t i = static_cast<size_t>(seq - front_);
  const uint64_t start = offsets_[i];
  const uint64_t stop = i + 1 < offsets_.size() ? offsets_[i + 1] : end_;
  std::string line(static_cast<size_t>(stop - start), '\0');
  if (!ReadAll(fd_, line.data(), line.size(), start)) return Fail(error, "cannot read " + path_);
  // Lines skipped at Open may lie between this entry and the next: the entry ends at its own
  // line feed.
  out->kind = static_cast<MessageKind>(line[0]);
  out->payload = line.substr(2, line.find('\n') - 2);
  return true;
}

bool DiskQueue::DropFront(size_t n, std::string* error) {
  dropped_ += n;
  return PopFront(n, error);
}

bool DiskQueue::PopFront(size_t n, std::string* error) {
  n = std::min(n, offsets_.size());
  offsets_.erase(offsets_.begin(), offsets_.begin() + static_cast<std::ptrdiff_t>(n));
  front_ += n;
  if (offsets_.empty() && end_ > kHeaderSize) {
    if (::ftruncate(fd_, static_cast<off_t>(kHeaderSize)) != 0)
      return Fail(error, "cannot truncate " + path_);
    end_ = kHeaderSize;
  }
  return WriteHead(error) && CompactIfWorthIt(error);
}

bool DiskQueue::CompactIfWorthIt(std::string* error) {
  const uint64_t dead = head() - kHeaderSize;
  const uint64_t live = end_ - head();
  if (dead <= kCompactAbove || dead <= live) return true;
  const std::string tmp = path_ + ".tmp";
  const int out = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) return Fail(error, "cannot create " + tmp);
  bool ok = WriteAll(out, Header(kHeaderSize).data(), kHeaderSize, 0);
  std::vector<char> buf(1 << 16);
  for (uint64_t at = head(); ok && at < end_;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), end_ - at));
    ok = ReadAll(fd_, buf.data(), n, at) && WriteAll(out, buf.data(), n, kHeaderSize + at - head());
    at += n;
  }
  ok = ok && ::fsync(out) == 0;
  ::close(out);
  if (!ok || ::rename(tmp.c_str(), path_.c_str()) != 0) {
    const int e = errno;
    ::unlink(tmp.c_str());
    errno = e;
    return Fail(error, "cannot compact " + path_);
  }
  const int fd = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return Fail(error, "cannot reopen " + path_);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return Fail(error, "cannot lock " + path_);
  }
  ::close(fd_);
  fd_ = fd;
  const uint64_t shift = head() - kHeaderSize;
  for (uint64_t& o : offsets_) o -= shift;
  end_ -= shift;
  return true;
}

}  // namespace corvane
