#pragma once
// Blocks from a sound card, 16-bit at the requested rate, stereo (a mono-only device gives
// its channel on the left, the right silent).
//
// The audio is read on its own thread (PulseCapture) into a lock-free ring of whole blocks
// holding at least kRingSeconds, so nothing the user-interface thread does (a block that
// takes long, a log record waiting for the disk, a modal message, the alarm sound) costs a
// sample unless it lasts longer than the ring. Successive blocks are contiguous in time;
// when the ring overflows whole blocks are dropped, and the first block after the gap comes
// with blocksDropped() and the running count in statusChanged().

#include <QByteArray>
#include <QString>
#include <atomic>
#include <memory>

#include "capture/block_source.h"

namespace corvane {

class BlockRing;
class PulseCapture;

class AudioCaptureSource : public BlockSource {
  Q_OBJECT
 public:
  // Audio the ring holds: a user-interface stall up to this long loses nothing.
  static constexpr double kRingSeconds = 4;

  // `deviceId` is the capture device's id as listed (the PulseAudio source name); an empty
  // id opens the audio server's default input.
  explicit AudioCaptureSource(const QByteArray& deviceId, double ringSeconds = kRingSeconds,
                              QObject* parent = nullptr);
  ~AudioCaptureSource() override;

  bool open(double sampleRate, int frames, QString* error) override;
  void queue(int16_t* buffer) override;
  void close() override;
  double actualSampleRate() const override { return rate_; }
  qint64 framesDelivered() const override { return delivered_; }
  qint64 droppedBlocks() const override;

  // Ring size in blocks for a block of `frames` at `rate`: at least 4 blocks and `seconds`.
  static int RingBlocks(double rate, int frames, double seconds = kRingSeconds);
  QString deviceDescription() const { return description_; }
  bool isMono() const { return mono_; }
  int channels() const override { return mono_ ? 1 : 2; }
  bool deviceLost() const { return lost_; }

 private:
  void onBlocksReady();
  void onLost(const QString& reason);
  void deliver();

  QByteArray deviceId_;
  double ringSeconds_;
  std::unique_ptr<BlockRing> ring_;
  std::unique_ptr<PulseCapture> capture_;
  // Set by the audio thread when it posts a wake-up, cleared when that is handled: at most
  // one wake-up waits in the event queue.
  std::atomic<bool> wakePosted_{false};
  int16_t* buffer_ = nullptr;
  bool deliveryPosted_ = false;
  bool lost_ = false;
  bool mono_ = false;
  QString description_;
  int frames_ = 0;
  double rate_ = 0;
  qint64 delivered_ = 0;
  qint64 reported_ = 0;  // dropped blocks reported so far
};

}  // namespace corvane
