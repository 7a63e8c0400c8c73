#include "capture/audio_capture_source.h"

#include <QAudioFormat>
#include <QAudioSource>
#include <QMediaDevices>
#include <QMetaObject>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace corvane {

namespace {

constexpr size_t kReadBytes = 16384;

QString AudioErrorText(QAudio::Error e) {
  switch (e) {
    case QAudio::NoError: return QStringLiteral("no error");
    case QAudio::OpenError: return QStringLiteral("the device could not be opened");
    case QAudio::IOError: return QStringLiteral("read error");
    case QAudio::UnderrunError: return QStringLiteral("underrun");
    case QAudio::FatalError: return QStringLiteral("the audio system failed");
  }
  return QStringLiteral("unknown error");
}

QAudioDevice FindInput(const QByteArray& id) {
  const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
  if (!id.isEmpty()) {
    for (const QAudioDevice& d : inputs) {
      if (d.id() == id) return d;
    }
    return {};
  }
  for (const QAudioDevice& d : inputs) {
    if (d.isDefault()) return d;
  }
  const QAudioDevice def = QMediaDevices::defaultAudioInput();
  if (!def.isNull()) return def;
  return inputs.isEmpty() ? QAudioDevice() : inputs.first();
}

}  // namespace

AudioCaptureSource::AudioCaptureSource(const QByteArray& deviceId, QObject* parent)
    : BlockSource(parent), deviceId_(deviceId) {}

AudioCaptureSource::~AudioCaptureSource() { close(); }

int AudioCaptureSource::RingBlocks(double rate, int frames) {
  if (frames <= 0) return 4;
  const double perSecond = std::ceil(rate / frames);
  return std::max(4, static_cast<int>(std::min(perSecond, 1000.0)));
}

bool AudioCaptureSource::open(double sampleRate, int frames, QString* error) {
  close();
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    close();
    return false;
  };
  if (!(sampleRate > 0) || frames <= 0) return fail(QStringLiteral("invalid sampling rate"));

  device_ = FindInput(deviceId_);
  if (device_.isNull()) {
    return fail(deviceId_.isEmpty()
                    ? QStringLiteral("no capture device (is an audio server running?)")
                    : QStringLiteral("capture device %1 is not present (unplugged?)")
                          .arg(QString::fromUtf8(deviceId_)));
  }

  QAudioFormat format;
  format.setSampleRate(static_cast<int>(std::lrint(sampleRate)));
  format.setSampleFormat(QAudioFormat::Int16);
  format.setChannelCount(2);
  if (!device_.isFormatSupported(format)) {
    format.setChannelCount(1);
    if (!device_.isFormatSupported(format)) {
      return fail(QStringLiteral("%1 does not take 16-bit samples at %2 Hz")
                      .arg(device_.description())
                      .arg(format.sampleRate()));
    }
  }
  channels_ = format.channelCount();
  rate_ = format.sampleRate();
  frames_ = frames;

  audio_ = std::make_unique<QAudioSource>(device_, format);
  // Short periods keep the latency from audio in to block out low.
  audio_->setBufferSize(format.bytesForDuration(20000));
  connect(audio_.get(), &QAudioSource::stateChanged, this, &AudioCaptureSource::onStateChanged);
  io_ = audio_->start();
  if (io_ == nullptr || audio_->error() != QAudio::NoError) {
    return fail(QStringLiteral("%1: %2").arg(device_.description(),
                                             AudioErrorText(audio_->error())));
  }
  connect(io_, &QIODevice::readyRead, this, &AudioCaptureSource::onReadyRead);

  ring_ = std::make_unique<FrameRing>(frames, RingBlocks(rate_, frames));
  raw_.assign(kReadBytes + 4, 0);
  rawFill_ = 0;
  stereo_.assign(kReadBytes, 0);
  delivered_ = 0;
  dropped_ = 0;
  lost_ = false;
  return true;
}

void AudioCaptureSource::close() {
  buffer_ = nullptr;
  if (audio_) {
    audio_->disconnect(this);
    if (io_) io_->disconnect(this);
    audio_->stop();
    audio_.reset();
  }
  io_ = nullptr;
  ring_.reset();
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

void AudioCaptureSource::deliver() {
  if (buffer_ == nullptr || !ring_ || !ring_->PopBlock(buffer_)) return;
  buffer_ = nullptr;
  delivered_ += frames_;
  emit blockDone();
}

void AudioCaptureSource::onReadyRead() {
  if (!io_ || !ring_) return;
  const size_t frameBytes = static_cast<size_t>(channels_) * 2;
  qint64 dropped = 0;
  qint64 n = 0;
  // bytesAvailable() lags a period behind: read until the device has nothing more.
  while ((n = io_->read(raw_.data() + rawFill_,
                        static_cast<qint64>(kReadBytes - rawFill_))) > 0) {
    rawFill_ += static_cast<size_t>(n);
    const size_t frames = rawFill_ / frameBytes;
    const char* p = raw_.data();
    for (size_t i = 0; i < frames; ++i) {
      int16_t l = 0, r = 0;
      std::memcpy(&l, p + i * frameBytes, 2);
      if (channels_ == 2) std::memcpy(&r, p + i * frameBytes + 2, 2);
      stereo_[2 * i] = l;
      stereo_[2 * i + 1] = r;
    }
    dropped += ring_->Push(stereo_.data(), static_cast<int64_t>(frames));
    const size_t used = frames * frameBytes;
    std::memmove(raw_.data(), raw_.data() + used, rawFill_ - used);
    rawFill_ -= used;
  }
  if (dropped > 0) {
    dropped_ += dropped;
    emit statusChanged(QStringLiteral("Processing fell behind: %1 blocks dropped so far")
                           .arg(dropped_));
  }
  deliver();
}

void AudioCaptureSource::onStateChanged(QAudio::State state) {
  if (!audio_ || lost_) return;
  const QAudio::Error e = audio_->error();
  if (state == QAudio::StoppedState && e != QAudio::NoError) {
    lost_ = true;
    emit lost(QStringLiteral("Sound card lost: no more audio from %1 (%2; unplugged, "
                             "or the audio server stopped)")
                  .arg(device_.description(), AudioErrorText(e)));
  }
}

}  // namespace corvane
