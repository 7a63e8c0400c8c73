#pragma once
// Spaces the repaints of a picture that changes faster than anyone can look at it: changed()
// asks for a frame, which comes at once when the last one is at least interval() ago, else
// when it will be. More changes before it only add to what that one frame shows.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace corvane {

class FramePacer : public QObject {
  Q_OBJECT
 public:
  explicit FramePacer(QObject* parent = nullptr);

  // The shortest time between two frames; changes take effect from the next request.
  void setInterval(int ms);
  int interval() const { return intervalMs_; }
  // Held: changes are noted but give no frame until flush() (nobody looks at the picture).
  void setHeld(bool held);
  bool held() const { return held_; }

  void changed();
  // A frame now for any change not yet shown.
  void flush();
  bool pending() const { return pending_; }

 signals:
  void frame();

 private:
  void onTimer();
  void emitFrame();

  QTimer timer_;
  QElapsedTimer sinceFrame_;
  int intervalMs_ = 40;
  bool held_ = false;
  bool pending_ = false;
};

}  // namespace corvane
