#pragma once
// Blocks from a sound card through Qt Multimedia, 16-bit at the requested rate, stereo
// (a mono-only device gives its channel on the left, the right silent).
//
// Capture never pauses: audio that arrives while a block is processed waits in a bounded
// ring (at least 4 blocks and at least 1 s of audio, so a short stall such as the alarm
// sound loses nothing), and successive blocks are contiguous in time. When processing
// falls so far behind that the ring overflows, whole oldest blocks are dropped, counted
// and reported through statusChanged().

#include <QAudio>
#include <QAudioDevice>
#include <QByteArray>
#include <QIODevice>
#include <QPointer>
#include <memory>
#include <vector>

#include "capture/block_source.h"
#include "capture/frame_ring.h"

class QAudioSource;

namespace corvane {

class AudioCaptureSource : public BlockSource {
  Q_OBJECT
 public:
  // An empty id opens the platform's default input (the first input when it names none).
  explicit AudioCaptureSource(const QByteArray& deviceId, QObject* parent = nullptr);
  ~AudioCaptureSource() override;

  bool open(double sampleRate, int frames, QString* error) override;
  void queue(int16_t* buffer) override;
  void close() override;
  double actualSampleRate() const override { return rate_; }
  qint64 framesDelivered() const override { return delivered_; }
  qint64 droppedBlocks() const override { return dropped_; }

  // Ring size in blocks for a block of `frames` at `rate`.
  static int RingBlocks(double rate, int frames);
  QString deviceDescription() const { return device_.description(); }
  bool isMono() const { return channels_ == 1; }
  int channels() const override { return channels_; }
  bool deviceLost() const { return lost_; }

 private:
  void onReadyRead();
  void onStateChanged(QAudio::State state);
  void deliver();

  QByteArray deviceId_;
  QAudioDevice device_;
  std::unique_ptr<QAudioSource> audio_;
  // Owned by the audio back end, which deletes it when the stream dies.
  QPointer<QIODevice> io_;
  std::unique_ptr<FrameRing> ring_;
  std::vector<char> raw_;         // bytes read, a partial frame carried over
  size_t rawFill_ = 0;
  std::vector<int16_t> stereo_;
  int16_t* buffer_ = nullptr;
  bool deliveryPosted_ = false;
  bool lost_ = false;
  int channels_ = 2;
  int frames_ = 0;
  double rate_ = 0;
  qint64 delivered_ = 0;
  qint64 dropped_ = 0;
};

}  // namespace corvane
