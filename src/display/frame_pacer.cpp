#include "display/frame_pacer.h"

namespace corvane {

FramePacer::FramePacer(QObject* parent) : QObject(parent) {
  // Repeating while changes keep coming, so a steady stream of blocks registers no timer.
  connect(&timer_, &QTimer::timeout, this, &FramePacer::onTimer);
}

void FramePacer::setInterval(int ms) { intervalMs_ = ms > 0 ? ms : 0; }

void FramePacer::setHeld(bool held) {
  held_ = held;
  if (held_) timer_.stop();
}

void FramePacer::changed() {
  pending_ = true;
  if (held_ || timer_.isActive()) return;
  const qint64 since = sinceFrame_.isValid() ? sinceFrame_.elapsed() : intervalMs_;
  if (since >= intervalMs_) {
    emitFrame();
    timer_.start(intervalMs_);
  } else {
    timer_.start(static_cast<int>(intervalMs_ - since));
  }
}

void FramePacer::flush() {
  timer_.stop();
  emitFrame();
}

void FramePacer::onTimer() {
  if (!pending_) {
    timer_.stop();
    return;
  }
  emitFrame();
  if (timer_.interval() != intervalMs_) timer_.start(intervalMs_);
}

void FramePacer::emitFrame() {
  if (!pending_) return;
  pending_ = false;
  sinceFrame_.start();
  emit frame();
}

}  // namespace corvane
