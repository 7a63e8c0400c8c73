// Any bytes as a WAV file, opened from memory and from a file (a memfd): both agree, an
// accepted input has a sane format, and every frame read comes from the input's bytes.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "capture/wav_reader.h"
#include "fuzz_check.h"

namespace corvane::fuzz {
namespace {

std::string WriteToMemfd(const uint8_t* data, size_t size) {
  static const int fd = memfd_create("wav_fuzz", 0);
  FUZZ_CHECK(fd >= 0, "memfd_create failed");
  FUZZ_CHECK(ftruncate(fd, 0) == 0, "ftruncate failed");
  FUZZ_CHECK(pwrite(fd, data, size, 0) == static_cast<ssize_t>(size), "pwrite failed");
  return "/proc/self/fd/" + std::to_string(fd);
}

// All frames in uneven pieces, as the block loop asks for them.
std::vector<int16_t> ReadInPieces(WavReader& r, uint32_t seed) {
  std::vector<int16_t> stereo(static_cast<size_t>(r.frames()) * 2 + 2);
  int64_t done = 0;
  for (int guard = 0; done < r.frames() && guard < 100000; ++guard) {
    seed = seed * 1664525u + 1013904223u;
    const int64_t ask = 1 + static_cast<int64_t>(seed >> 20) % 5000;
    const int64_t want = std::min(ask, r.frames() - done);
    const int64_t got = r.ReadFrames(stereo.data() + 2 * done, want);
    FUZZ_CHECK(got == want, "asked " + std::to_string(want) + ", read " + std::to_string(got));
    done += got;
  }
  FUZZ_CHECK(r.ReadFrames(stereo.data() + 2 * done, 1) == 0, "a frame beyond the end");
  FUZZ_CHECK(!r.shortRead() && r.position() == r.frames(), "short read from a whole input");
  stereo.resize(static_cast<size_t>(done) * 2);
  return stereo;
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane;
  using namespace corvane::fuzz;

  WavReader mem;
  const bool ok = mem.OpenBytes(data, size);
  const std::string path = WriteToMemfd(data, size);
  WavReader file;
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
  FUZZ_CHECK(mem.sampleRate() > 0, std::to_string(mem.sampleRate()));
  const int64_t frameBytes = 2 * mem.channels();
  FUZZ_CHECK(mem.frames() >= 0 && mem.frames() * frameBytes + 44 <= static_cast<int64_t>(size),
             "more frames than bytes: " + std::to_string(mem.frames()));
  FUZZ_CHECK(mem.declaredFrames() >= mem.frames(), "declared fewer than present");
  FUZZ_CHECK(mem.truncated() == (mem.declaredFrames() > mem.frames()), "truncated flag");
  FUZZ_CHECK(mem.durationSeconds() >= 0, "negative duration");
  FUZZ_CHECK(file.sampleRate() == mem.sampleRate() && file.channels() == mem.channels() &&
                 file.frames() == mem.frames() && file.declaredFrames() == mem.declaredFrames(),
             "file and memory readers disagree on the format");

  const uint32_t seed = size > 0 ? data[size - 1] : 0u;
  const std::vector<int16_t> stereo = ReadInPieces(mem, seed);
  FUZZ_CHECK(ReadInPieces(file, seed + 1) == stereo, "file and memory frames differ");
  mem.Rewind();
  FUZZ_CHECK(mem.position() == 0, "rewind");
  FUZZ_CHECK(ReadInPieces(mem, seed + 2) == stereo, "frames differ after a rewind");

  // The samples as stored: a run of the input's bytes.
  std::vector<int16_t> stored;
  for (size_t i = 0; i < stereo.size(); i += 2) {
    stored.push_back(stereo[i]);
    if (mem.channels() == 2) {
      stored.push_back(stereo[i + 1]);
    } else {
      FUZZ_CHECK(stereo[i + 1] == 0, "a mono frame with a right channel");
    }
  }
  if (!stored.empty()) {
    std::vector<uint8_t> bytes;
    for (int16_t s : stored) {
      bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) & 0xff));
      bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
    }
    FUZZ_CHECK(std::search(data, data + size, bytes.begin(), bytes.end()) != data + size,
               "samples that are not in the input");
  }

  std::vector<int16_t> all;
  int rate = 0, channels = 0;
  std::string error;
  const bool allOk = WavReader::ReadAll(path, &all, &rate, &channels, &error);
  FUZZ_CHECK(allOk == !mem.truncated(), "ReadAll: " + error);
  if (allOk) {
    FUZZ_CHECK(all == stored && rate == mem.sampleRate() && channels == mem.channels(),
               "ReadAll differs from the frames read");
  }
  return 0;
}
