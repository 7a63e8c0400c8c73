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
#include <memory>
#include <vector>

#include "capture/audio_file_reader.h"

namespace corvane {

AlarmSound::AlarmSound(QString fileName) : fileName_(std::move(fileName)) {}

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
  const QAudioDevice out = QMediaDevices::defaultAudioOutput();
  if (out.isNull()) {
    failure_ = QStringLiteral("no audio output");
    return false;
  }
  QAudioFormat format;
  format.setSampleRate(rate);
  format.setChannelCount(channels);
  format.setSampleFormat(QAudioFormat::Int16);
  if (!out.isFormatSupported(format)) {
    failure_ = out.description() + QStringLiteral(" cannot play ") + path;
    return false;
  }

  // The sink's destructor dispatches pending events (Qt 6.4, PulseAudio), so it is left
  // to the event loop to destroy, after the block.
  std::unique_ptr<QAudioSink, void (*)(QAudioSink*)> owner(new QAudioSink(out, format),
                                                            [](QAudioSink* s) {
                                                              s->stop();
                                                              s->deleteLater();
                                                            });
  QAudioSink& sink = *owner;
  QIODevice* io = sink.start();
  if (io == nullptr || sink.error() != QAudio::NoError) {
    failure_ = out.description() + QStringLiteral(": the audio output did not open");
    return false;
  }

  const char* data = reinterpret_cast<const char*>(samples.data());
  const qint64 total = static_cast<qint64>(samples.size() * sizeof(int16_t));
  const qint64 lengthUs = format.durationForBytes(static_cast<qint32>(total));
  const qint64 limitMs = std::min<qint64>(lengthUs / 1000 + 1000, kMaxWaitMs);
  QElapsedTimer clock;
  clock.start();

  // Push mode: the sink's own thread plays what is written; we only sleep, so no event of
  // this thread is dispatched while the sound plays.
  qint64 written = 0;
  while (written < total && clock.elapsed() < limitMs) {
    const qint64 room = std::min<qint64>(sink.bytesFree(), total - written);
    if (room > 0) {
      const qint64 n = io->write(data + written, room);
      if (n < 0) break;
      written += n;
    }
    if (written < total) QThread::msleep(5);
  }
  // The end: the sink goes idle once its buffer has run dry (its state follows the audio
  // thread, no event loop needed); processedUSecs() and the time limit are the fallbacks.
  while (clock.elapsed() < limitMs && sink.error() == QAudio::NoError) {
    if (sink.state() == QAudio::IdleState) break;
    if (sink.processedUSecs() >= lengthUs && clock.elapsed() * 1000 >= lengthUs) break;
    QThread::msleep(5);
  }
  lastWaitMs_ = clock.elapsed();
  return true;
}

}  // namespace corvane
