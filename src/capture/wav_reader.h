#pragma once
// Reader of 16-bit PCM WAV files (mono or stereo, any rate), frames returned as interleaved
// stereo (a mono file's channel on the left, the right silent).
//
// Accepted: RIFF/WAVE with chunks in any order (odd chunk sizes padded), a 'fmt ' chunk of
// format tag 1 (PCM) or WAVE_FORMAT_EXTENSIBLE with the PCM sub-format, 16 bits per
// sample, 1 or 2 channels, a rate above 0, and a 'data' chunk. A data chunk that declares
// more bytes than the file holds is accepted with the frames present and flagged as
// truncated(); whether that is good enough is the caller's decision. A trailing partial
// frame is ignored. Everything else is refused with a reason. Every read is bounds-checked
// against what the input really holds, so arbitrary bytes are safe to feed in.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace corvane {

class WavReader {
 public:
  WavReader();
  ~WavReader();
  WavReader(const WavReader&) = delete;
  WavReader& operator=(const WavReader&) = delete;

  // Opens a file and parses its header; false with error() on failure. Frames are read
  // from the file as they are asked for.
  bool Open(const std::string& path);
  // The same over bytes held in memory (copied).
  bool OpenBytes(const uint8_t* data, size_t size);
  void Close();

  bool isOpen() const { return source_ != nullptr; }
  const std::string& error() const { return error_; }

  int sampleRate() const { return sampleRate_; }
  int channels() const { return channels_; }
  // Whole frames the data chunk holds in the input as opened.
  int64_t frames() const { return frames_; }
  // Whole frames the data chunk declares (more than frames() when truncated()).
  int64_t declaredFrames() const { return declaredFrames_; }
  bool truncated() const { return declaredFrames_ > frames_; }
  double durationSeconds() const {
    return sampleRate_ > 0 ? static_cast<double>(frames_) / sampleRate_ : 0.0;
  }

  // Reads up to maxFrames frames from the current position as interleaved stereo into
  // `stereo` (room for 2 * maxFrames values); returns the frames read. Fewer than asked
  // before frames() are reached means the input shrank (shortRead() then says so).
  int64_t ReadFrames(int16_t* stereo, int64_t maxFrames);
  // Frames read so far.
  int64_t position() const { return position_; }
  bool shortRead() const { return shortRead_; }
  // Back to the first frame.
  void Rewind();

  // Reads the whole data chunk of a file: the samples exactly as stored (interleaved when
  // stereo). False with *error set on failure (a truncated file included).
  static bool ReadAll(const std::string& path, std::vector<int16_t>* samples, int* rate,
                      int* channels, std::string* error);

 private:
  class ByteSource;
  class FileSource;
  class MemorySource;

  bool Parse();
  bool Fail(const std::string& reason);

  std::unique_ptr<ByteSource> source_;
  std::string error_;
  int sampleRate_ = 0;
  int channels_ = 0;
  int64_t dataOffset_ = 0;
  int64_t frames_ = 0;
  int64_t declaredFrames_ = 0;
  int64_t position_ = 0;
  bool shortRead_ = false;
  std::vector<uint8_t> scratch_;
};

}  // namespace corvane
