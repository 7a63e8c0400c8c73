#pragma once
// The clock of a source read faster than real time: its time is the time of its first frame
// plus the frames delivered since, and its ticks fall on the whole seconds of that time, so
// a recording replayed gives the seconds the live run gave.

#include <cstdint>
#include <vector>

namespace corvane {

class SourceClock {
 public:
  // originMs: epoch milliseconds of the first frame; rate in Hz (at least 1).
  void Start(int64_t originMs, double rate);
  // The time after `frames` frames, epoch milliseconds.
  int64_t NowMs(int64_t frames) const;
  // The whole seconds passed since the last call, oldest first (epoch seconds). The first
  // is the first whole second after the origin.
  std::vector<int64_t> Advance(int64_t frames);
  bool started() const { return rate_ >= 1; }

 private:
  int64_t origin_ = 0;
  double rate_ = 0;
  int64_t next_ = 0;
};

}  // namespace corvane
