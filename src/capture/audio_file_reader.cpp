#include "capture/audio_file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "capture/sndfile_io.h"

namespace corvane {

namespace {

constexpr int64_t kFramesPerRead = 4096;

bool Starts(const std::vector<uint8_t>& head, size_t at, const char* id) {
  const size_t n = std::strlen(id);
  return head.size() >= at + n && std::memcmp(head.data() + at, id, n) == 0;
}

// libsndfile reads some twenty containers; only the ones a recording of ours or of a
// receiver's audio comes in are let through to it. Empty when the head is one of them.
std::string ContainerRefusal(const std::vector<uint8_t>& head) {
  if ((Starts(head, 0, "RIFF") || Starts(head, 0, "RF64")) && Starts(head, 8, "WAVE")) return {};
  if (Starts(head, 0, "riff")) return {};  // W64: libsndfile checks the rest of its GUID
  if (Starts(head, 0, "fLaC")) return {};
  if (Starts(head, 0, "FORM") && (Starts(head, 8, "AIFF") || Starts(head, 8, "AIFC"))) return {};
  if (Starts(head, 0, "OggS")) return "an Ogg file (Vorbis, Opus): lossy, not read";
  if (Starts(head, 0, "ID3") ||
      (head.size() >= 2 && head[0] == 0xFF && (head[1] & 0xE0) == 0xE0)) {
    return "an MP3 file: lossy, not read";
  }
  if (head.empty()) return "an empty file";
  return "not a WAV, RF64, W64, FLAC or AIFF file";
}

std::string ContainerName(int format) {
  switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX: return "WAV";
    case SF_FORMAT_RF64: return "RF64";
    case SF_FORMAT_W64: return "W64";
    case SF_FORMAT_FLAC: return "FLAC";
    case SF_FORMAT_AIFF: return "AIFF";
    default: return {};
  }
}

// Empty for the encodings that are not plain integers or floats.
std::string EncodingName(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return "8-bit integer";
    case SF_FORMAT_PCM_16: return "16-bit integer";
    case SF_FORMAT_PCM_24: return "24-bit integer";
    case SF_FORMAT_PCM_32: return "32-bit integer";
    case SF_FORMAT_FLOAT: return "32-bit float";
    case SF_FORMAT_DOUBLE: return "64-bit float";
    default: return {};
  }
}

std::string LibraryName(int format) {
  SF_FORMAT_INFO info{};
  info.format = format;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name) {
    return info.name;
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%04X", static_cast<unsigned>(format));
  return hex;
}

// Normalised samples (integers as libsndfile scales them, by 2^-(bits-1); floats as stored)
// to 16-bit full scale, rounded, clipped.
int16_t ToInt16(double v) {
  v *= 32768.0;
  if (!(v >= -32768.0)) return v != v ? 0 : -32768;  // NaN reads as silence
  if (v >= 32767.0) return 32767;
  return static_cast<int16_t>(std::lrint(v));
}

}  // namespace

AudioFileReader::AudioFileReader() = default;
AudioFileReader::~AudioFileReader() { Close(); }

bool AudioFileReader::Fail(const std::string& reason) {
  Close();
  error_ = reason;
  return false;
}

void AudioFileReader::Close() {
  if (sf_ != nullptr) sf_close(sf_);
  sf_ = nullptr;
  bytes_.reset();
  error_.clear();
  formatName_.clear();
  comment_.clear();
  sampleRate_ = channels_ = 0;
  frames_ = position_ = 0;
  unfinished_ = shortRead_ = exactIn16_ = false;
}

bool AudioFileReader::Open(const std::string& path) {
  Close();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Fail("cannot open " + path + ": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return Fail(path + " is a directory");
  }
  return OpenOver(std::make_unique<FdBytes>(fd));
}

bool AudioFileReader::OpenBytes(const uint8_t* data, size_t size) {
  Close();
  return OpenOver(std::make_unique<MemoryBytes>(data, size));
}

bool AudioFileReader::OpenOver(std::unique_ptr<SndfileBytes> bytes) {
  bytes_ = std::move(bytes);
  const std::string refusal = ContainerRefusal(bytes_->Head(12));
  if (!refusal.empty()) return Fail(refusal);

  SF_INFO info{};
  sf_ = bytes_->Open(SFM_READ, &info);
  if (sf_ == nullptr) return Fail(std::string("unreadable: ") + sf_strerror(nullptr));
  const std::string container = ContainerName(info.format);
  const std::string encoding = EncodingName(info.format);
  if (container.empty()) return Fail("not a WAV, RF64, W64, FLAC or AIFF file");
  if (encoding.empty()) {
    return Fail(container + " holding " + LibraryName(info.format & SF_FORMAT_SUBMASK) +
                ": lossy or compressed, only integer and float samples are read");
  }
  if (info.channels != 1 && info.channels != 2) {
    return Fail(std::to_string(info.channels) + " channels: only mono or stereo is read");
  }
  if (info.samplerate < 1 || info.samplerate > kMaxFileSampleRate) {
    return Fail("sample rate " + std::to_string(info.samplerate) +
                " Hz: outside 1 Hz … 384 kHz");
  }
  formatName_ = container + ", " + encoding;
  const char* comment = sf_get_string(sf_, SF_STR_COMMENT);
  comment_ = comment != nullptr ? comment : "";
  sampleRate_ = info.samplerate;
  channels_ = info.channels;
  const int subtype = info.format & SF_FORMAT_SUBMASK;
  exactIn16_ = subtype == SF_FORMAT_PCM_16 || subtype == SF_FORMAT_PCM_S8 ||
               subtype == SF_FORMAT_PCM_U8;
  // libsndfile gives the largest count it has for "unknown": a FLAC header without a length.
  unfinished_ = info.frames == SF_COUNT_MAX;
  frames_ = std::max<sf_count_t>(info.frames, 0);
  if (unfinished_) {
    frames_ = CountFrames();
    if (!Reopen()) return false;
  }
  return true;
}

int64_t AudioFileReader::CountFrames() {
  std::vector<short> scratch(static_cast<size_t>(kFramesPerRead * channels_));
  int64_t count = 0;
  while (const sf_count_t n = sf_readf_short(sf_, scratch.data(), kFramesPerRead)) {
    if (n < 0) break;
    count += n;
  }
  return count;
}

// Back to the first frame by opening again: libsndfile's FLAC seek fails on some damaged
// files that read through well enough.
bool AudioFileReader::Reopen() {
  sf_close(sf_);
  SF_INFO info{};
  sf_ = bytes_->Open(SFM_READ, &info);
  if (sf_ == nullptr || info.channels != channels_ || info.samplerate != sampleRate_) {
    return Fail("unreadable: the file changed while it was read");
  }
  position_ = 0;
  shortRead_ = false;
  return true;
}

void AudioFileReader::HoldLength(bool on) {
  if (bytes_) bytes_->HoldLength(on);
}

int64_t AudioFileReader::ReadFrames(int16_t* stereo, int64_t maxFrames) {
  if (sf_ == nullptr || maxFrames <= 0) return 0;
  int64_t done = 0;
  int64_t want = std::min(maxFrames, frames_ - position_);
  if (exactIn16_ && want > 0) {
    // No conversion: stereo lands where it belongs in one read.
    int16_t* into = stereo;
    if (channels_ == 1) {
      monoScratch_.resize(static_cast<size_t>(want));
      into = monoScratch_.data();
    }
    const sf_count_t got = std::max<sf_count_t>(sf_readf_short(sf_, into, want), 0);
    if (channels_ == 1) {
      for (int64_t i = 0; i < got; ++i) {
        stereo[2 * i] = into[i];
        stereo[2 * i + 1] = 0;
      }
    }
    position_ += got;
    if (got < want) shortRead_ = true;
    return got;
  }
  while (want > 0) {
    const int64_t n = std::min(want, kFramesPerRead);
    scratch_.resize(static_cast<size_t>(n * channels_));
    const sf_count_t got = std::max<sf_count_t>(sf_readf_double(sf_, scratch_.data(), n), 0);
    int16_t* out = stereo + 2 * done;
    for (int64_t i = 0; i < got; ++i) {
      if (channels_ == 2) {
        out[2 * i] = ToInt16(scratch_[static_cast<size_t>(2 * i)]);
        out[2 * i + 1] = ToInt16(scratch_[static_cast<size_t>(2 * i + 1)]);
      } else {
        out[2 * i] = ToInt16(scratch_[static_cast<size_t>(i)]);
        out[2 * i + 1] = 0;
      }
    }
    done += got;
    position_ += got;
    want -= got;
    if (got < n) {
      shortRead_ = true;
      break;
    }
  }
  return done;
}

bool AudioFileReader::Rewind() { return sf_ != nullptr && Reopen(); }

bool AudioFileReader::ReadAll(const std::string& path, std::vector<int16_t>* samples, int* rate,
                              int* channels, std::string* error) {
  AudioFileReader reader;
  if (!reader.Open(path)) {
    if (error) *error = reader.error();
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
    for (int64_t i = 0; i < got; ++i) (*samples)[static_cast<size_t>(i)] = stereo[2 * i];
  }
  *rate = reader.sampleRate();
  *channels = reader.channels();
  return true;
}

}  // namespace corvane
