#pragma once
// The alarm sound: "ding.WAV" played to its end while the caller waits. Nothing is
// dispatched meanwhile (no event loop runs), so no handler, timer tick or block can run
// inside the sound. The wait is bounded (the sound's length plus a margin, at most a few
// seconds), so a stuck audio output cannot hang the program. When the file is missing or
// unplayable, or there is no audio output, the platform beep sounds instead and the call
// returns at once.

#include <QString>

namespace corvane {

class AlarmSound {
 public:
  explicit AlarmSound(QString fileName = QStringLiteral("ding.WAV"));

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
  bool Play(const QString& path);

  QString fileName_;
  QString failure_;
  qint64 lastWaitMs_ = 0;
};

}  // namespace corvane
