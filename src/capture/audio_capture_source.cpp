#include "capture/audio_capture_source.h"

#include <QMetaObject>
#include <algorithm>
#include <cmath>

#include "capture/block_ring.h"
#include "capture/pulse_capture.h"

namespace corvane {

AudioCaptureSource::AudioCaptureSource(const QByteArray& deviceId, double ringSeconds,
                                       QObject* parent)
    : BlockSource(parent), deviceId_(deviceId), ringSeconds_(ringSeconds) {}

AudioCaptureSource::~AudioCaptureSource() {
  close();
}

int AudioCaptureSource::RingBlocks(double rate, int frames, double seconds) {
  if (frames <= 0 || !(rate > 0) || !(seconds > 0)) return 4;
  const double blocks = std::ceil(seconds * rate / frames);
  // The upper bound only keeps a nonsensical rate from asking for gigabytes.
  return static_cast<int>(std::clamp(blocks, 4.0, 1.0e5));
}

bool AudioCaptureSource::open(double sampleRate, int frames, QString* error) {
  close();
  if (!(sampleRate > 0) || sampleRate > 1e7 || frames <= 0) {
    if (error) *error = QStringLiteral("invalid sampling rate");
    return false;
  }
  const int rate = static_cast<int>(std::lrint(sampleRate));
  auto ring = std::make_unique<BlockRing>(frames, RingBlocks(rate, frames, ringSeconds_));
  PulseCapture::Callbacks callbacks;
  // Both run on the audio thread: they only post to this object's thread.
  callbacks.blocksReady = [this] {
    if (!wakePosted_.exchange(true)) {
      QMetaObject::invokeMethod(this, &AudioCaptureSource::onBlocksReady, Qt::QueuedConnection);
    }
  };
  callbacks.failed = [this](const std::string& why) {
    QMetaObject::invokeMethod(
        this, [this, reason = QString::fromStdString(why)] { onLost(reason); },
        Qt::QueuedConnection);
  };
  auto capture = std::make_unique<PulseCapture>(std::move(callbacks));
  std::string why;
  if (!capture->Open(deviceId_.toStdString(), rate, ring.get(), &why)) {
    if (error) *error = QString::fromStdString(why);
    return false;
  }
  ring_ = std::move(ring);
  capture_ = std::move(capture);
  description_ = QString::fromStdString(capture_->description());
  mono_ = capture_->mono();
  rate_ = rate;
  frames_ = frames;
  delivered_ = 0;
  reported_ = 0;
  lost_ = false;
  return true;
}

void AudioCaptureSource::close() {
  buffer_ = nullptr;
  // The audio thread ends first, so the ring it writes outlives it.
  capture_.reset();
  ring_.reset();
}

qint64 AudioCaptureSource::droppedBlocks() const {
  return ring_ ? ring_->droppedBlocks() : reported_;
}

void AudioCaptureSource::queue(int16_t* buffer) {
  if (!ring_ || buffer == nullptr) return;
  buffer_ = buffer;
  if (ring_->HasBlock() && !deliveryPosted_) {
    deliveryPosted_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          deliveryPosted_ = false;
          deliver();
        },
        Qt::QueuedConnection);
  }
}

void AudioCaptureSource::onBlocksReady() {
  // Cleared before looking at the ring: a block put in after the look posts a new wake-up.
  wakePosted_.exchange(false);
  deliver();
}

void AudioCaptureSource::deliver() {
  if (buffer_ == nullptr || !ring_) return;
  int64_t gap = 0;
  if (!ring_->Pop(buffer_, &gap)) return;
  buffer_ = nullptr;
  if (gap > 0) {
    reported_ += gap;
    emit blocksDropped(gap, reported_);
    emit statusChanged(
        QStringLiteral("Processing fell behind: %1 blocks dropped so far").arg(reported_));
  }
  delivered_ += frames_;
  emit blockDone();
}

void AudioCaptureSource::onLost(const QString& reason) {
  if (!capture_ || lost_) return;
  lost_ = true;
  emit lost(QStringLiteral("Sound card lost: no more audio from %1 (%2; unplugged, "
                           "or the audio server stopped)")
                .arg(description_, reason));
}

}  // namespace corvane
