#include "settings/list_pick_box.h"

#include <QKeyEvent>

namespace corvane {

ListPickBox::ListPickBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  setCompleter(nullptr);
  connect(this, &QComboBox::activated, this, [this](int index) {
    if (typingEnds_ == 0) emit picked(index);
  });
}

void ListPickBox::focusOutEvent(QFocusEvent* event) {
  ++typingEnds_;
  QComboBox::focusOutEvent(event);
  --typingEnds_;
}

void ListPickBox::keyPressEvent(QKeyEvent* event) {
  const int ends = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ? 1 : 0;
  typingEnds_ += ends;
  QComboBox::keyPressEvent(event);
  typingEnds_ -= ends;
}

}  // namespace corvane
