#include "capture/wav_reader.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace corvane {

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;
// KSDATAFORMAT_SUBTYPE_PCM as stored in the file.
constexpr uint8_t kPcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                       0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr int64_t kFramesPerRead = 4096;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
int16_t S16(const uint8_t* p) { return static_cast<int16_t>(U16(p)); }

std::string Hex4(unsigned v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", v);
  return text;
}

}  // namespace

class WavReader::ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual int64_t size() const = 0;
  // Reads up to n bytes at offset; returns the bytes actually read.
  virtual size_t ReadAt(int64_t offset, uint8_t* out, size_t n) = 0;
};

class WavReader::FileSource : public ByteSource {
 public:
  explicit FileSource(std::FILE* file) : file_(file) {
    if (std::fseek(file_, 0, SEEK_END) == 0) size_ = std::max<int64_t>(0, ftello(file_));
  }
  ~FileSource() override { std::fclose(file_); }
  int64_t size() const override { return size_; }
  size_t ReadAt(int64_t offset, uint8_t* out, size_t n) override {
    if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) return 0;
    return std::fread(out, 1, n, file_);
  }

 private:
  std::FILE* file_;
  int64_t size_ = 0;
};

class WavReader::MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : bytes_(data, data + size) {}
  int64_t size() const override { return static_cast<int64_t>(bytes_.size()); }
  size_t ReadAt(int64_t offset, uint8_t* out, size_t n) override {
    if (offset < 0 || offset >= size()) return 0;
    const size_t count = std::min(n, bytes_.size() - static_cast<size_t>(offset));
    std::memcpy(out, bytes_.data() + offset, count);
    return count;
  }

 private:
  std::vector<uint8_t> bytes_;
};

WavReader::WavReader() = default;
WavReader::~WavReader() = default;

bool WavReader::Fail(const std::string& reason) {
  error_ = reason;
  source_.reset();
  sampleRate_ = channels_ = 0;
  frames_ = declaredFrames_ = position_ = dataOffset_ = 0;
  return false;
}

bool WavReader::Open(const std::string& path) {
  Close();
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    return Fail("cannot open " + path + ": " + std::strerror(errno));
  }
  source_ = std::make_unique<FileSource>(file);
  return Parse();
}

bool WavReader::OpenBytes(const uint8_t* data, size_t size) {
  Close();
  source_ = std::make_unique<MemorySource>(data, size);
  return Parse();
}

void WavReader::Close() {
  source_.reset();
  error_.clear();
  sampleRate_ = channels_ = 0;
  frames_ = declaredFrames_ = position_ = dataOffset_ = 0;
  shortRead_ = false;
}

bool WavReader::Parse() {
  const int64_t size = source_->size();
  uint8_t head[12];
  if (source_->ReadAt(0, head, sizeof head) < sizeof head) {
    return Fail("not a WAV file: shorter than a RIFF header");
  }
  if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) {
    return Fail("not a WAV file (no RIFF/WAVE header)");
  }

  // The RIFF size is often wrong in files written by recorders that were cut short, so the
  // walk is bounded by the real input size instead.
  bool haveFmt = false;
  bool haveData = false;
  uint8_t fmt[40] = {};
  uint32_t fmtSize = 0;
  uint32_t dataSize = 0;
  int64_t dataAvailable = 0;
  int64_t pos = 12;
  while (pos + 8 <= size && !(haveFmt && haveData)) {
    uint8_t chunk[8];
    if (source_->ReadAt(pos, chunk, sizeof chunk) < sizeof chunk) break;
    const uint32_t chunkSize = U32(chunk + 4);
    const int64_t body = pos + 8;
    if (std::memcmp(chunk, "fmt ", 4) == 0 && !haveFmt) {
      if (chunkSize < 16) return Fail("format chunk too short");
      const size_t want = std::min<size_t>(chunkSize, sizeof fmt);
      if (source_->ReadAt(body, fmt, want) < std::min<size_t>(want, 16)) {
        return Fail("truncated header: format chunk cut short");
      }
      fmtSize = static_cast<uint32_t>(std::min<int64_t>(chunkSize, size - body));
      haveFmt = true;
    } else if (std::memcmp(chunk, "data", 4) == 0 && !haveData) {
      dataOffset_ = body;
      dataSize = chunkSize;
      dataAvailable = std::min<int64_t>(chunkSize, size - body);
      haveData = true;
    }
    pos = body + static_cast<int64_t>(chunkSize) + (chunkSize & 1u);
  }
  if (!haveFmt) return Fail("no format chunk");

  uint16_t tag = U16(fmt);
  const uint16_t channels = U16(fmt + 2);
  const uint32_t rate = U32(fmt + 4);
  const uint16_t blockAlign = U16(fmt + 12);
  const uint16_t bits = U16(fmt + 14);
  if (tag == kFormatExtensible) {
    if (fmtSize < 40 || U16(fmt + 16) < 22) return Fail("extensible format chunk too short");
    if (std::memcmp(fmt + 24, kPcmSubFormat, sizeof kPcmSubFormat) != 0) {
      return Fail("not PCM (extensible format with another sub-format)");
    }
    const uint16_t validBits = U16(fmt + 18);
    if (validBits != 0 && validBits != 16) {
      return Fail(std::to_string(validBits) + " valid bits per sample: only 16-bit PCM is read");
    }
    tag = kFormatPcm;
  }
  if (tag != kFormatPcm) return Fail("not PCM (format tag " + Hex4(tag) + ")");
  if (bits != 16) {
    return Fail(std::to_string(bits) + "-bit samples: only 16-bit PCM is read");
  }
  if (channels != 1 && channels != 2) {
    return Fail(std::to_string(channels) + " channels: only mono or stereo is read");
  }
  if (rate == 0 || rate > static_cast<uint32_t>(INT_MAX)) {
    return Fail("invalid sample rate " + std::to_string(rate));
  }
  if (blockAlign != channels * 2) return Fail("inconsistent block alignment");
  if (!haveData) return Fail("no data chunk");

  sampleRate_ = static_cast<int>(rate);
  channels_ = channels;
  frames_ = dataAvailable / blockAlign;
  declaredFrames_ = static_cast<int64_t>(dataSize) / blockAlign;
  position_ = 0;
  shortRead_ = false;
  error_.clear();
  return true;
}

int64_t WavReader::ReadFrames(int16_t* stereo, int64_t maxFrames) {
  if (!source_ || maxFrames <= 0) return 0;
  const int64_t align = channels_ * 2;
  int64_t done = 0;
  int64_t want = std::min(maxFrames, frames_ - position_);
  while (want > 0) {
    const int64_t n = std::min(want, kFramesPerRead);
    scratch_.resize(static_cast<size_t>(n * align));
    const size_t got = source_->ReadAt(dataOffset_ + position_ * align, scratch_.data(),
                                       scratch_.size());
    const int64_t gotFrames = static_cast<int64_t>(got) / align;
    const uint8_t* p = scratch_.data();
    int16_t* out = stereo + 2 * done;
    for (int64_t i = 0; i < gotFrames; ++i) {
      if (channels_ == 2) {
        out[2 * i] = S16(p + 4 * i);
        out[2 * i + 1] = S16(p + 4 * i + 2);
      } else {
        out[2 * i] = S16(p + 2 * i);
        out[2 * i + 1] = 0;
      }
    }
    done += gotFrames;
    position_ += gotFrames;
    want -= gotFrames;
    if (gotFrames < n) {
      shortRead_ = true;
      break;
    }
  }
  return done;
}

void WavReader::Rewind() {
  position_ = 0;
  shortRead_ = false;
}

bool WavReader::ReadAll(const std::string& path, std::vector<int16_t>* samples, int* rate,
                        int* channels, std::string* error) {
  WavReader reader;
  if (!reader.Open(path)) {
    if (error) *error = reader.error();
    return false;
  }
  if (reader.truncated()) {
    if (error) *error = "truncated file: the data chunk runs past the end";
    return false;
  }
  std::vector<int16_t> stereo(static_cast<size_t>(reader.frames()) * 2);
  const int64_t got = reader.ReadFrames(stereo.data(), reader.frames());
  if (got < reader.frames()) {
    if (error) *error = "read error: the file ended early";
    return false;
  }
  if (reader.channels() == 2) {
    *samples = std::move(stereo);
  } else {
    samples->resize(static_cast<size_t>(got));
    for (int64_t i = 0; i < got; ++i) samples->at(static_cast<size_t>(i)) = stereo[2 * i];
  }
  *rate = reader.sampleRate();
  *channels = reader.channels();
  return true;
}

}  // namespace corvane
