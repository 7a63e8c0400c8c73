#pragma once
// Reader of recordings through libsndfile: WAV (also WAVE_FORMAT_EXTENSIBLE), RF64, W64, FLAC
// and AIFF, holding 8, 16, 24 or 32-bit integers or 32 or 64-bit floats, mono or stereo, at
// 1 Hz … 384 kHz. Frames come back as interleaved 16-bit stereo at 16-bit full scale (a
// float of 1.0 is 32768, a 24-bit sample is rounded to its top 16 bits), so the same signal
// gives the same figures whatever it was stored as; a mono file's channel goes left, the
// right stays silent. Anything else (other channel counts, lossy or companded encodings,
// other containers, unreadable input) is refused with a reason.
//
// A FLAC file whose writer was stopped before it finished (no length in its header, maybe
// a last frame cut short) reads up to its last whole frame: frames() is counted then.

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvane {

class SndfileBytes;

inline constexpr int kMaxFileSampleRate = 384000;

class AudioFileReader {
 public:
  AudioFileReader();
  ~AudioFileReader();
  AudioFileReader(const AudioFileReader&) = delete;
  AudioFileReader& operator=(const AudioFileReader&) = delete;

  // Opens a file and reads its header; false with error() on failure.
  bool Open(const std::string& path);
  // The same over bytes held in memory (copied).
  bool OpenBytes(const uint8_t* data, size_t size);
  void Close();

  bool isOpen() const { return sf_ != nullptr; }
  const std::string& error() const { return error_; }

  int sampleRate() const { return sampleRate_; }
  int channels() const { return channels_; }
  int64_t frames() const { return frames_; }
  double durationSeconds() const {
    return sampleRate_ > 0 ? static_cast<double>(frames_) / sampleRate_ : 0.0;
  }
  // "FLAC, 16-bit integer", "WAV, 32-bit float", ...
  const std::string& formatName() const { return formatName_; }
  // The header did not give the length (a FLAC recording that was never finished).
  bool unfinished() const { return unfinished_; }
  // The file's comment tag (FLAC's or WAV's), empty when it has none.
  const std::string& comment() const { return comment_; }

  // Reads up to maxFrames frames from the current position as interleaved stereo into
  // `stereo` (room for 2 * maxFrames values); returns the frames read. Fewer than asked
  // before frames() are reached means the input shrank or broke (shortRead() then says so).
  int64_t ReadFrames(int16_t* stereo, int64_t maxFrames);
  int64_t position() const { return position_; }
  bool shortRead() const { return shortRead_; }
  // While held, reads take the file's length as it was at the first of them: a run of
  // blocks read in one go looks at the file once, not once a block. A file cut meanwhile is
  // seen at the first read after the hold is let go.
  void HoldLength(bool on);
  // Back to the first frame; false (with error()) when the input no longer allows it.
  bool Rewind();

  // The whole of a file at 16-bit scale: interleaved when stereo, one value per frame when
  // mono. False with *error set on failure.
  static bool ReadAll(const std::string& path, std::vector<int16_t>* samples, int* rate,
                      int* channels, std::string* error);

 private:
  bool OpenOver(std::unique_ptr<SndfileBytes> bytes);
  bool Fail(const std::string& reason);
  int64_t CountFrames();
  bool Reopen();

  std::unique_ptr<SndfileBytes> bytes_;
  SNDFILE* sf_ = nullptr;
  std::string error_;
  std::string formatName_;
  int sampleRate_ = 0;
  int channels_ = 0;
  int64_t frames_ = 0;
  int64_t position_ = 0;
  std::string comment_;
  bool unfinished_ = false;
  bool shortRead_ = false;
  // 8- and 16-bit integers read as 16-bit values: the same numbers as through doubles.
  bool exactIn16_ = false;
  std::vector<double> scratch_;
  std::vector<int16_t> monoScratch_;
};

}  // namespace corvane
