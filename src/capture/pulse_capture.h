#pragma once
// Sound-card capture through the PulseAudio client library (PipeWire's pulse server speaks
// the same protocol), on the library's own thread: whatever the user-interface thread does,
// audio is read as it arrives and gathered into a BlockRing.
//
// The stream never moves to another input: when its source goes (unplugged, the server
// stopped) the capture fails and says so, rather than measuring something else.
//
// What this thread misses stays in the server's buffer for the stream (4 MiB by default,
// about 22 s at 48000 Hz stereo); only a thread kept from running longer than that would
// lose audio the server drops without a word.

#include <cstdint>
#include <functional>
#include <string>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

namespace corvane {

class BlockRing;

class PulseCapture {
 public:
  // Both are called on the audio thread; they must only hand the news on.
  struct Callbacks {
    std::function<void()> blocksReady;               // a block entered the ring
    std::function<void(const std::string&)> failed;  // capture ended: why
  };

  explicit PulseCapture(Callbacks callbacks);
  ~PulseCapture();
  PulseCapture(const PulseCapture&) = delete;
  PulseCapture& operator=(const PulseCapture&) = delete;

  // Connects to the server and starts capturing 16-bit frames at `rate` from the source
  // named `source` (its PulseAudio name; empty: the server's default input) into `ring`,
  // which must outlive the capture. A source with one channel is captured mono (left, the
  // right silent). On failure returns false with the reason in *error, and nothing runs.
  bool Open(const std::string& source, int rate, BlockRing* ring, std::string* error);
  // Stops the audio thread; no callback runs after it returns. Safe when not open.
  void Close();

  bool mono() const { return channels_ == 1; }
  const std::string& description() const { return description_; }

  // Audio is fetched from the server in periods of about this length.
  static constexpr int kPeriodMs = 20;

 private:
  static void OnContextState(pa_context* c, void* self);
  static void OnStreamState(pa_stream* s, void* self);
  static void OnRead(pa_stream* s, size_t bytes, void* self);
  // With the main loop locked: waits until done() or `seconds` have passed.
  template <class Done>
  bool WaitLocked(Done done, double seconds);
  void Fail(const std::string& why);

  Callbacks callbacks_;
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  BlockRing* ring_ = nullptr;
  int channels_ = 2;
  std::string description_;
  bool running_ = false;  // after Open() succeeded; guards the failure report
  bool failed_ = false;
};

}  // namespace corvane
