#pragma once
// A source that makes its own blocks (a file, the simulated beacon): either paced like a
// sound card, one block per frames/rate seconds of wall-clock time, or, in fast mode, back
// to back, the event loop run between them at least every kFastSliceMs. Blocks are always
// handed over from a timer, never inside queue().

#include <QElapsedTimer>
#include <QTimer>

#include "capture/block_source.h"

namespace corvane {

class PacedSource : public BlockSource {
  Q_OBJECT
 public:
  // The longest run of blocks a fast source hands over before the event loop runs again
  // (it runs sooner when asked, at every tick of the source's clock).
  static constexpr qint64 kFastSliceMs = 5;

  void queue(int16_t* buffer) override;
  void close() override;
  double actualSampleRate() const override { return rate_; }
  bool drivesOwnClock() const override { return fast_; }
  qint64 framesDelivered() const override { return delivered_; }
  void yieldAfterThisBlock() override { yield_ = true; }

 protected:
  PacedSource(bool fast, QObject* parent);
  // Called by open() of the subclass once it is ready to deliver. Frames passed over before
  // the first block count as delivered: the clock stays on the source's own timeline.
  void startPacing(double rate, int frames, qint64 passedOver = 0);
  // Fills one block of `frames` stereo frames; false when there are no more blocks.
  virtual bool fillBlock(int16_t* buffer, int frames) = 0;
  // Around a fast run of blocks: the input may assume nothing else changes it meanwhile.
  virtual void holdInput(bool /*on*/) {}
  bool running() const { return running_; }

 private:
  void onTimer();

  QTimer timer_;
  QElapsedTimer clock_;
  int16_t* buffer_ = nullptr;
  double rate_ = 0;
  int frames_ = 0;
  qint64 delivered_ = 0;
  bool fast_;
  bool running_ = false;
  bool yield_ = false;
};

}  // namespace corvane
