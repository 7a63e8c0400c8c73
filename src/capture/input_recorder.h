#pragma once
// Records the input beside the log: the window's side of RecorderThread. takeBlock() is
// called with each block's raw stereo frames as the block loop takes them and returns at
// once (the encoding and the disk are on the writer thread); what happens there comes back
// as notices on this object's thread.

#include <QDateTime>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "capture/recorder.h"

namespace corvane {

class RecorderThread;

class InputRecorder : public QObject {
  Q_OBJECT
 public:
  explicit InputRecorder(QObject* parent = nullptr);
  ~InputRecorder() override;

  // Starts recording into `directory` (made when missing) at the capture's rate. False
  // with *error when it cannot start (not writable, less than the margin free).
  bool start(const QString& directory, double sampleRate, QString* error = nullptr);
  // Finishes the current file. Nothing happens when not recording.
  void stop();
  bool isRecording() const;

  // One block as the block loop takes it: `frames` interleaved 16-bit stereo frames.
  void takeBlock(const int16_t* stereo, int frames);
  // Blocks the source dropped since the last takeBlock() (an increment, not a total).
  void noteDroppedBlocks(qint64 blocks);

  // Blocks not recorded because the writer fell behind, since start().
  qint64 queueDroppedBlocks() const;
  QString directory() const { return directory_; }

  // The UTC clock each block is stamped with (the wall clock unless set).
  void setClock(std::function<QDateTime()> utcNow);
  // Free bytes on a directory's disk (the file system's figure unless set); -1: unknown.
  void setFreeSpaceProbe(std::function<qint64(const QString& directory)> probe);
  void setMarginBytes(qint64 bytes) { margin_ = bytes; }
  qint64 marginBytes() const { return margin_; }

 signals:
  // A line for the operator: a file begun, a gap, recording stopped and why.
  void notice(const QString& text);
  // Frames missing from `file` after `secondsIntoFile` seconds of it.
  void gapRecorded(const QString& file, double secondsIntoFile, qint64 blocks);
  // Recording began or ended (stop(), or by itself: disk margin, write failure).
  void recordingChanged(bool recording);

 private:
  void onEvent(const RecorderEvent& event, quint64 generation);

  std::unique_ptr<RecorderThread> thread_;
  std::function<QDateTime()> clock_;
  std::function<qint64(const QString&)> freeSpace_;
  qint64 margin_ = kDefaultRecordMarginBytes;
  QString directory_;
  int rate_ = 0;
  int lastBlockFrames_ = 0;
  qint64 droppedBefore_ = 0;
  // Events of an earlier start() that arrive late are not taken for this one's.
  quint64 generation_ = 0;
};

}  // namespace corvane
