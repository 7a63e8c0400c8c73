#include "settings/updown_keys.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QObject>
#include <QScrollBar>
#include <algorithm>

namespace corvane {
namespace {

class UpDownKeys : public QObject {
 public:
  UpDownKeys(QLineEdit* edit, QScrollBar* bar) : QObject(edit), bar_(bar) {}

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    int steps = 0;
    if (key == Qt::Key_Up) steps = 1;
    if (key == Qt::Key_Down) steps = -1;
    if (key == Qt::Key_PageUp) steps = 10;
    if (key == Qt::Key_PageDown) steps = -10;
    if (steps == 0) return false;
    // The bar's own change handler writes the text, as an arrow click does.
    const int target = std::clamp(bar_->value() + steps * bar_->singleStep(), bar_->minimum(),
                                  bar_->maximum());
    bar_->setValue(target);
    return true;
  }

 private:
  QScrollBar* bar_;
};

}  // namespace

void AttachUpDownKeys(QLineEdit* edit, QScrollBar* bar) {
  edit->installEventFilter(new UpDownKeys(edit, bar));
}

}  // namespace corvane
