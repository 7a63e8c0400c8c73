#include "capture/alarm_sound.h"

#include <QApplication>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "capture/audio_file_reader.h"

#include <functional>

namespace corvane {

// One play, shared between the caller, who may give up waiting, and the output thread,
// which may still be stuck in the audio system when the caller has gone on.
struct AlarmSound::Playback {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  bool abandoned = false;
  bool played = false;
  QString failure;
};

namespace {

// Feeds the sink in push mode and sleeps between writes: the thread runs no events while
// the sound plays. Returns how it went in `failure` (empty when it played).
bool PlayOnOutput(const std::vector<int16_t>& samples, int rate, int channels,
                  qint64 limitMs, const std::function<bool()>& abandoned, QString* failure) {
  const QAudioDevice out = QMediaDevices::defaultAudioOutput();
  if (out.isNull()) {
    *failure = QStringLiteral("no audio output");
    return false;
  }
  QAudioFormat format;
  format.setSampleRate(rate);
  format.setChannelCount(channels);
  format.setSampleFormat(QAudioFormat::Int16);
  if (!out.isFormatSupported(format)) {
    *failure = out.description() + QStringLiteral(" cannot play the alarm's format");
    return false;
  }
  QAudioSink sink(out, format);
  QIODevice* io = sink.start();
  if (io == nullptr || sink.error() != QAudio::NoError) {
    *failure = out.description() + QStringLiteral(": the audio output did not open");
    return false;
  }
  // An output that took too long to open plays nothing: the caller has beeped already.
  if (abandoned()) {
    sink.stop();
    *failure = QStringLiteral("the audio output answered too late");
    return false;
  }
  const char* data = reinterpret_cast<const char*>(samples.data());
  const qint64 total = static_cast<qint64>(samples.size() * sizeof(int16_t));
  const qint64 lengthUs = format.durationForBytes(static_cast<qint32>(total));
  QElapsedTimer clock;
  clock.start();
  qint64 written = 0;
  while (written < total && clock.elapsed() < limitMs && !abandoned()) {
    const qint64 room = std::min<qint64>(sink.bytesFree(), total - written);
    if (room > 0) {
      const qint64 n = io->write(data + written, room);
      if (n < 0) break;
      written += n;
    }
    if (written < total) QThread::msleep(5);
  }
  // The end: the sink goes idle once its buffer has run dry; processedUSecs() and the time
  // limit are the fallbacks.
  while (clock.elapsed() < limitMs && sink.error() == QAudio::NoError && !abandoned()) {
    if (sink.state() == QAudio::IdleState) break;
    if (sink.processedUSecs() >= lengthUs && clock.elapsed() * 1000 >= lengthUs) break;
    QThread::msleep(5);
  }
  sink.stop();
  return true;
}

}  // namespace

AlarmSound::AlarmSound(QString fileName) : fileName_(std::move(fileName)) {}

AlarmSound::~AlarmSound() {
  if (!thread_) return;
  thread_->quit();
  // A thread still stuck in an audio system that does not answer is left to the process's
  // end rather than holding the window's close.
  if (!thread_->wait(1000)) {
    thread_->setParent(nullptr);
    (void)thread_.release();
  }
}

QString AlarmSound::Locate() const {
  if (QFileInfo::exists(fileName_)) return QDir::current().absoluteFilePath(fileName_);
  if (QCoreApplication::instance() != nullptr) {
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(fileName_);
    if (QFileInfo::exists(beside)) return beside;
  }
  return {};
}

bool AlarmSound::PlayAndWait() {
  failure_.clear();
  lastWaitMs_ = 0;
  const QString path = Locate();
  if (path.isEmpty()) {
    failure_ = fileName_ + QStringLiteral(" not found in the current directory or beside the "
                                          "program");
  } else if (Play(path)) {
    return true;
  }
  QApplication::beep();
  return false;
}

bool AlarmSound::Play(const QString& path) {
  std::vector<int16_t> samples;
  int rate = 0;
  int channels = 0;
  std::string error;
  if (!AudioFileReader::ReadAll(QFile::encodeName(path).toStdString(), &samples, &rate,
                                &channels, &error)) {
    failure_ = path + QStringLiteral(": ") + QString::fromStdString(error);
    return false;
  }
  if (last_) {
    std::lock_guard<std::mutex> lock(last_->mutex);
    if (!last_->done) {
      failure_ = QStringLiteral("the audio output is still busy with the last alarm");
      return false;
    }
  }
  if (!thread_) {
    thread_ = std::make_unique<QThread>();
    thread_->setObjectName(QStringLiteral("AlarmOutput"));
    thread_->start();
  }
  const qint64 lengthMs =
      rate > 0 && channels > 0
          ? static_cast<qint64>(samples.size()) * 1000 / (static_cast<qint64>(rate) * channels)
          : 0;
  const qint64 limitMs = std::min<qint64>(lengthMs + 1000, kMaxWaitMs);

  auto playback = std::make_shared<Playback>();
  last_ = playback;
  QElapsedTimer clock;
  clock.start();
  auto job = [playback, samples = std::move(samples), rate, channels, limitMs] {
    QString failure;
    const bool ok = PlayOnOutput(
        samples, rate, channels, limitMs,
        [&playback] {
          std::lock_guard<std::mutex> lock(playback->mutex);
          return playback->abandoned;
        },
        &failure);
    std::lock_guard<std::mutex> lock(playback->mutex);
    playback->played = ok;
    playback->failure = failure;
    playback->done = true;
    playback->ended.notify_all();
  };
  // A context object living on the output thread runs the job there.
  auto* context = new QObject;
  context->moveToThread(thread_.get());
  QMetaObject::invokeMethod(
      context,
      [context, job = std::move(job)]() mutable {
        job();
        delete context;
      },
      Qt::QueuedConnection);

  std::unique_lock<std::mutex> lock(playback->mutex);
  const bool ended = playback->ended.wait_for(lock, std::chrono::milliseconds(limitMs),
                                              [&] { return playback->done; });
  lastWaitMs_ = clock.elapsed();
  if (!ended) {
    playback->abandoned = true;
    failure_ = QStringLiteral("the audio output did not answer within %1 ms").arg(limitMs);
    return false;
  }
  if (!playback->played) failure_ = playback->failure;
  return playback->played;
}

}  // namespace corvane
