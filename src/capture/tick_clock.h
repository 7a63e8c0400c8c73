#pragma once
// The one-second tick of a real-time run, on the clock's whole seconds: a precise timer is
// armed for the next second each time, so ticks never drift against the clock, and every
// second is delivered once, late if the thread was busy, but with its own second.

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <functional>

#include "capture/tick_schedule.h"

namespace corvane {

// The local time of an epoch second, held as its offset from UTC: the date and time of
// QDateTime::fromSecsSinceEpoch(second) without Qt reloading the zone for each one.
QDateTime LocalSecond(qint64 second);

class TickClock : public QObject {
  Q_OBJECT
 public:
  explicit TickClock(QObject* parent = nullptr);

  void start();
  void stop();
  bool active() const { return active_; }
  // For tests: the clock read, in epoch milliseconds.
  void setNow(std::function<qint64()> now) { now_ = std::move(now); }

 signals:
  // One per whole second, epoch seconds, oldest first.
  void tick(qint64 second);
  // The clock jumped (a suspend, the time set): the ticks go on from `now`.
  void jumped(qint64 expectedSecond, qint64 nowSecond);

 private:
  void onTimer();
  void arm();

  QTimer timer_;
  TickSchedule schedule_;
  std::function<qint64()> now_;
  bool active_ = false;
};

}  // namespace corvane
