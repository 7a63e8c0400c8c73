#pragma once
// libsndfile's virtual I/O over bytes held in memory or over a file descriptor of our own.
// Reading from memory and from a file then share every line past the byte access, and a
// failed write keeps its errno, which libsndfile's own file layer would not tell us.

#include <sndfile.h>

#include <cstdint>
#include <vector>

namespace corvane {

class SndfileBytes {
 public:
  virtual ~SndfileBytes() = default;
  SndfileBytes(const SndfileBytes&) = delete;
  SndfileBytes& operator=(const SndfileBytes&) = delete;

  // sf_open_virtual over these bytes, from the start; null on failure (sf_strerror(nullptr)
  // says why). The handle must be closed before this object goes.
  SNDFILE* Open(int mode, SF_INFO* info);

  // The first `n` bytes (fewer when the input is shorter), without moving the position.
  std::vector<uint8_t> Head(int64_t n);

  // While held, reads take the input's length as it was at the first of them.
  virtual void HoldLength(bool /*on*/) {}

 protected:
  SndfileBytes() = default;
  virtual int64_t Length() = 0;
  virtual int64_t ReadAt(int64_t pos, void* out, int64_t n) = 0;
  virtual int64_t WriteAt(int64_t pos, const void* in, int64_t n) = 0;

 private:
  static sf_count_t VioLength(void* self);
  static sf_count_t VioSeek(sf_count_t offset, int whence, void* self);
  static sf_count_t VioRead(void* out, sf_count_t n, void* self);
  static sf_count_t VioWrite(const void* in, sf_count_t n, void* self);
  static sf_count_t VioTell(void* self);

  int64_t pos_ = 0;
};

class MemoryBytes final : public SndfileBytes {
 public:
  MemoryBytes(const uint8_t* data, size_t size) : bytes_(data, data + size) {}

 protected:
  int64_t Length() override { return static_cast<int64_t>(bytes_.size()); }
  int64_t ReadAt(int64_t pos, void* out, int64_t n) override;
  int64_t WriteAt(int64_t, const void*, int64_t) override { return 0; }

 private:
  std::vector<uint8_t> bytes_;
};

class FdBytes final : public SndfileBytes {
 public:
  explicit FdBytes(int fd) : fd_(fd) {}  // takes ownership
  ~FdBytes() override;

  // errno of the last failed read or write, 0 when none failed.
  int lastErrno() const { return errno_; }
  bool Sync();
  void HoldLength(bool on) override {
    holdLength_ = on;
    heldLength_ = -1;
  }

 protected:
  int64_t Length() override;
  int64_t ReadAt(int64_t pos, void* out, int64_t n) override;
  int64_t WriteAt(int64_t pos, const void* in, int64_t n) override;

 private:
  int64_t ReadThrough(int64_t pos, void* out, int64_t n);

  int fd_;
  int errno_ = 0;
  // Small reads (libsndfile asks for one block's bytes at a time) are served from one
  // larger read ahead: a read per block of a 1024-point run was most of a fast run's kernel
  // time. Its end follows the file's length, so a file cut while read ends where it is cut;
  // any write drops it.
  std::vector<char> ahead_;
  int64_t aheadPos_ = 0;
  bool holdLength_ = false;
  int64_t heldLength_ = -1;
};

}  // namespace corvane
