#pragma once
// Counts the events of one type that the watched objects receive (paints, posted calls,
// caption changes), to tell how often a widget did something.

#include <QEvent>
#include <QObject>

namespace corvane::testing {

class EventCounter : public QObject {
 public:
  explicit EventCounter(QEvent::Type type, QObject* watched = nullptr) : type_(type) {
    if (watched != nullptr) watched->installEventFilter(this);
  }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    count += e->type() == type_;
    return false;
  }

 private:
  QEvent::Type type_;
};

}  // namespace corvane::testing
