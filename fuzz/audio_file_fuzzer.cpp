// Any bytes as an audio file, opened from memory and from a file (a memfd): both agree, an
// accepted input has a format we read, and its frames read the same in uneven pieces, after
// a rewind and through ReadAll.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/audio_file_reader.h"
#include "fuzz_check.h"

namespace corvane::fuzz {
namespace {

// A tiny input may decode to millions of frames (FLAC's constant subframes): they are
// hashed rather than kept, and ReadAll only runs on the smaller ones.
constexpr int64_t kReadAllLimit = 1 << 20;

std::string WriteToMemfd(const uint8_t* data, size_t size) {
  static const int fd = memfd_create("audio_fuzz", 0);
  FUZZ_CHECK(fd >= 0, "memfd_create failed");
  FUZZ_CHECK(ftruncate(fd, 0) == 0, "ftruncate failed");
  FUZZ_CHECK(pwrite(fd, data, size, 0) == static_cast<ssize_t>(size), "pwrite failed");
  return "/proc/self/fd/" + std::to_string(fd);
}

struct Digest {
  uint64_t hash = 1469598103934665603u;
  int64_t frames = 0;
  bool rightSilent = true;
  bool operator==(const Digest&) const = default;
};

// All frames in uneven pieces, as the block loop asks for them. A header may promise more
// frames than the input holds (a FLAC length over a cut file): the read then stops short,
// and says so.
Digest ReadInPieces(AudioFileReader& r, uint32_t seed) {
  std::vector<int16_t> piece(2 * 5000);
  Digest d;
  while (d.frames < r.frames()) {
    seed = seed * 1664525u + 1013904223u;
    const int64_t want = std::min<int64_t>(1 + (seed >> 20) % 5000, r.frames() - d.frames);
    const int64_t got = r.ReadFrames(piece.data(), want);
    FUZZ_CHECK(got >= 0 && got <= want, "asked " + std::to_string(want) + ", read " +
                                            std::to_string(got));
    for (int64_t i = 0; i < 2 * got; ++i) {
      d.hash = (d.hash ^ static_cast<uint16_t>(piece[static_cast<size_t>(i)])) * 1099511628211u;
    }
    for (int64_t i = 0; i < got; ++i) d.rightSilent &= piece[static_cast<size_t>(2 * i + 1)] == 0;
    d.frames += got;
    if (got < want) {
      FUZZ_CHECK(r.shortRead(), "a short read not flagged");
      break;
    }
  }
  FUZZ_CHECK(r.position() == d.frames, "position " + std::to_string(r.position()));
  FUZZ_CHECK(r.shortRead() == (d.frames < r.frames()), "short-read flag");
  if (!r.shortRead()) FUZZ_CHECK(r.ReadFrames(piece.data(), 1) == 0, "a frame beyond the end");
  return d;
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane;
  using namespace corvane::fuzz;

  AudioFileReader mem;
  const bool ok = mem.OpenBytes(data, size);
  const std::string path = WriteToMemfd(data, size);
  AudioFileReader file;
  const bool fileOk = file.Open(path);
  FUZZ_CHECK(ok == fileOk && mem.error() == file.error(),
             "memory: " + mem.error() + " / file: " + file.error());
  FUZZ_CHECK(ok == mem.isOpen(), mem.error());
  if (!ok) {
    FUZZ_CHECK(!mem.error().empty(), "refused without a reason");
    FUZZ_CHECK(mem.frames() == 0 && mem.sampleRate() == 0, mem.error());
    int16_t sink[8];
    FUZZ_CHECK(mem.ReadFrames(sink, 4) == 0, "frames from a refused input");
    return 0;
  }

  FUZZ_CHECK(mem.error().empty(), mem.error());
  FUZZ_CHECK(mem.channels() == 1 || mem.channels() == 2, std::to_string(mem.channels()));
  FUZZ_CHECK(mem.sampleRate() >= 1 && mem.sampleRate() <= kMaxFileSampleRate,
             std::to_string(mem.sampleRate()));
  FUZZ_CHECK(mem.frames() >= 0 && mem.durationSeconds() >= 0, std::to_string(mem.frames()));
  FUZZ_CHECK(!mem.formatName().empty(), "accepted without a format name");
  FUZZ_CHECK(file.sampleRate() == mem.sampleRate() && file.channels() == mem.channels() &&
                 file.frames() == mem.frames() && file.formatName() == mem.formatName(),
             "file and memory readers disagree on the format");

  const uint32_t seed = size > 0 ? data[size - 1] : 0u;
  const Digest digest = ReadInPieces(mem, seed);
  FUZZ_CHECK(mem.channels() == 2 || digest.rightSilent, "a mono frame with a right channel");
  FUZZ_CHECK(ReadInPieces(file, seed + 1) == digest, "file and memory frames differ");
  FUZZ_CHECK(mem.Rewind(), "rewind: " + mem.error());
  FUZZ_CHECK(mem.position() == 0, "rewind");
  FUZZ_CHECK(ReadInPieces(mem, seed + 2) == digest, "frames differ after a rewind");

  if (mem.frames() <= kReadAllLimit) {
    std::vector<int16_t> all;
    int rate = 0, channels = 0;
    std::string error;
    const bool allOk = AudioFileReader::ReadAll(path, &all, &rate, &channels, &error);
    FUZZ_CHECK(allOk == (digest.frames == mem.frames()), "ReadAll: " + error);
    if (!allOk) return 0;
    FUZZ_CHECK(rate == mem.sampleRate() && channels == mem.channels() &&
                   all.size() == static_cast<size_t>(mem.frames() * channels),
               "ReadAll differs in format or length");
    Digest d;
    d.frames = mem.frames();
    for (size_t i = 0; i < all.size(); i += static_cast<size_t>(channels)) {
      const int16_t right = channels == 2 ? all[i + 1] : int16_t{0};
      d.hash = (d.hash ^ static_cast<uint16_t>(all[i])) * 1099511628211u;
      d.hash = (d.hash ^ static_cast<uint16_t>(right)) * 1099511628211u;
      d.rightSilent &= right == 0;
    }
    FUZZ_CHECK(d == digest, "ReadAll differs from the frames read");
  }
  return 0;
}
