#include "capture/input_recorder.h"

#include <QFile>
#include <chrono>
#include <cmath>

#include "capture/recorder_thread.h"

namespace corvane {

InputRecorder::InputRecorder(QObject* parent) : QObject(parent) {}

// The writer thread is joined before the object goes, so no event can outlive it.
InputRecorder::~InputRecorder() { thread_.reset(); }

bool InputRecorder::start(const QString& directory, double sampleRate, QString* error) {
  stop();
  RecorderOptions options;
  options.directory = QFile::encodeName(directory).toStdString();
  options.sampleRate = static_cast<int>(std::lround(sampleRate));
  options.marginBytes = margin_;
  if (freeSpace_) {
    options.freeBytes = [probe = freeSpace_](const std::string& dir) {
      return static_cast<int64_t>(probe(QFile::decodeName(dir.c_str())));
    };
  }
  std::string why;
  if (!Recorder::CanStart(options, &why)) {
    if (error) *error = QString::fromStdString(why);
    emit notice(QString::fromStdString(why));
    return false;
  }
  directory_ = directory;
  rate_ = options.sampleRate;
  lastBlockFrames_ = 0;
  droppedBefore_ = 0;
  const quint64 generation = ++generation_;
  thread_ = std::make_unique<RecorderThread>(
      std::move(options), [this, generation](const RecorderEvent& e) {
        QMetaObject::invokeMethod(
            this, [this, e, generation] { onEvent(e, generation); }, Qt::QueuedConnection);
      });
  emit recordingChanged(true);
  return true;
}

void InputRecorder::stop() {
  if (!thread_) return;
  const bool wasRecording = thread_->active();
  thread_->Finish();
  thread_.reset();
  if (wasRecording) emit recordingChanged(false);
}

bool InputRecorder::isRecording() const { return thread_ && thread_->active(); }

void InputRecorder::takeBlock(const int16_t* stereo, int frames) {
  if (!isRecording() || frames <= 0) return;
  int64_t nowUs = 0;
  if (clock_) {
    nowUs = clock_().toMSecsSinceEpoch() * 1000;
  } else {
    nowUs = std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::system_clock::now().time_since_epoch())
                .count();
  }
  lastBlockFrames_ = frames;
  if (droppedBefore_ > 0) {
    thread_->NoteDropped(droppedBefore_ * frames, droppedBefore_);
    droppedBefore_ = 0;
  }
  thread_->Push(stereo, frames, nowUs);
}

void InputRecorder::noteDroppedBlocks(qint64 blocks) {
  // The block length is only known from the blocks themselves; before the first one there
  // is nothing in a file that a gap could interrupt.
  if (isRecording() && blocks > 0 && lastBlockFrames_ > 0) droppedBefore_ += blocks;
}

qint64 InputRecorder::queueDroppedBlocks() const {
  return thread_ ? thread_->queueDroppedBlocks() : 0;
}

void InputRecorder::setClock(std::function<QDateTime()> utcNow) { clock_ = std::move(utcNow); }

void InputRecorder::setFreeSpaceProbe(std::function<qint64(const QString&)> probe) {
  freeSpace_ = std::move(probe);
}

void InputRecorder::onEvent(const RecorderEvent& e, quint64 generation) {
  emit notice(QString::fromStdString(e.text));
  if (e.kind == RecorderEvent::Kind::Gap && rate_ > 0) {
    emit gapRecorded(QFile::decodeName(e.path.c_str()),
                     static_cast<double>(e.frameInFile) / rate_, e.blocks);
  }
  if (e.kind == RecorderEvent::Kind::Stopped && generation == generation_ && thread_) {
    thread_->Finish();
    thread_.reset();
    emit recordingChanged(false);
  }
}

}  // namespace corvane
