#include "capture/tick_clock.h"

#include <QDateTime>
#include <QPointer>

#include "common/local_time.h"

namespace corvane {

QDateTime LocalSecond(qint64 second) {
  return QDateTime::fromSecsSinceEpoch(second, Qt::OffsetFromUTC, UtcOffsetAt(second));
}

TickClock::TickClock(QObject* parent)
    : QObject(parent), now_([] { return QDateTime::currentMSecsSinceEpoch(); }) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &TickClock::onTimer);
}

void TickClock::start() {
  schedule_.Start(now_());
  active_ = true;
  arm();
}

void TickClock::stop() {
  active_ = false;
  timer_.stop();
}

void TickClock::arm() {
  // A few milliseconds past the second, so a timer that fires a hair early still finds
  // the second begun.
  timer_.start(static_cast<int>(schedule_.MsUntilNext(now_()) + 3));
}

void TickClock::onTimer() {
  if (!active_) return;
  const TickSchedule::Due due = schedule_.Advance(now_());
  QPointer<TickClock> self(this);
  if (due.jumped && !due.seconds.empty()) emit jumped(due.expected, due.seconds.front());
  for (qint64 s : due.seconds) {
    if (!self || !active_) return;  // a tick's handler may stop the run or close the window
    emit tick(s);
  }
  if (self && active_) arm();
}

}  // namespace corvane
