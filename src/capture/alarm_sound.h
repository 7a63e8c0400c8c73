#pragma once
// The alarm sound: "ding.WAV" played to its end while the caller waits. Nothing is
// dispatched meanwhile (no event loop runs), so no handler, timer tick or block can run
// inside the sound. The output is opened and fed on a thread of its own, and the caller's
// wait is bounded by the sound's length plus a margin (at most a few seconds), the opening
// included: an audio server that does not answer cannot hold the program. When the file is
// missing or unplayable, there is no audio output, or the output does not answer in time,
// the platform beep sounds instead.

#include <QString>
#include <memory>

class QThread;

namespace corvane {

class AlarmSound {
 public:
  explicit AlarmSound(QString fileName = QStringLiteral("ding.WAV"));
  ~AlarmSound();
  AlarmSound(const AlarmSound&) = delete;
  AlarmSound& operator=(const AlarmSound&) = delete;

  // Plays the sound (or beeps) and returns when it has ended. True when the file played.
  bool PlayAndWait();

  // Where the file was found: the current directory first, then beside the executable.
  // Empty when it is in neither.
  QString Locate() const;
  // Why the last PlayAndWait() fell back to the beep (empty after a good play).
  const QString& failure() const { return failure_; }
  // Milliseconds the last PlayAndWait() spent waiting.
  qint64 lastWaitMs() const { return lastWaitMs_; }

  // Upper bound of any wait, whatever the file's length.
  static constexpr int kMaxWaitMs = 5000;

 private:
  struct Playback;
  bool Play(const QString& path);

  QString fileName_;
  std::unique_ptr<QThread> thread_;
  std::shared_ptr<Playback> last_;
  QString failure_;
  qint64 lastWaitMs_ = 0;
};

}  // namespace corvane
