#include "capture/paced_source.h"

#include <algorithm>
#include <cmath>

namespace corvane {

PacedSource::PacedSource(bool fast, QObject* parent) : BlockSource(parent), fast_(fast) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &PacedSource::onTimer);
}

void PacedSource::startPacing(double rate, int frames, qint64 passedOver) {
  rate_ = rate;
  frames_ = frames;
  delivered_ = passedOver;
  buffer_ = nullptr;
  running_ = true;
  clock_.start();
}

void PacedSource::queue(int16_t* buffer) {
  if (!running_ || buffer == nullptr) return;
  buffer_ = buffer;
  if (fast_) {
    timer_.start(0);
    return;
  }
  // Each block is due when its last frame would have arrived from a sound card started at
  // open(); a late loop catches up at once instead of drifting behind the wall clock.
  const double dueMs = static_cast<double>(delivered_ + frames_) * 1000.0 / rate_;
  const double waitMs = dueMs - static_cast<double>(clock_.nsecsElapsed()) / 1e6;
  timer_.start(static_cast<int>(std::clamp(std::ceil(waitMs), 0.0, 3.6e6)));
}

void PacedSource::close() {
  running_ = false;
  buffer_ = nullptr;
  timer_.stop();
}

void PacedSource::onTimer() {
  // In fast mode blocks follow one another for up to kFastSliceMs before the event loop
  // runs again: a pass of the loop per block (a poll each) cost more than a small block.
  QElapsedTimer slice;
  slice.start();
  yield_ = false;
  // One look at a file's length a pass: a cut made while the pass runs is seen at the next
  // pass, as if it had come a moment later.
  struct Hold {
    PacedSource* source;
    explicit Hold(PacedSource* s) : source(s) { source->holdInput(true); }
    ~Hold() { source->holdInput(false); }
  } hold(this);
  do {
    if (!running_ || buffer_ == nullptr) return;
    timer_.stop();
    int16_t* buffer = buffer_;
    buffer_ = nullptr;
    if (!fillBlock(buffer, frames_)) {
      running_ = false;
      emit finished();
      return;
    }
    delivered_ += frames_;
    // A handler may close the source (it is deleted later, never inside this signal).
    emit blockDone();
  } while (fast_ && !yield_ && slice.elapsed() < kFastSliceMs);
}

}  // namespace corvane
