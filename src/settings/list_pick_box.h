#pragma once
// An editable list box (the FFT length, the log interval) whose `picked` comes only from a
// choice in the list: the open list, by mouse or keys, or the arrow keys on the closed box.
// Qt's own `activated` also comes when typing ends (Return, or the focus leaving the box) on
// a text that equals an entry, and its completion turns a typed "1" into the first entry
// that begins with it. Here typing stays typing: the text is what was typed, and no handler
// runs for it.

#include <QComboBox>

namespace corvane {

class ListPickBox : public QComboBox {
  Q_OBJECT
 public:
  explicit ListPickBox(QWidget* parent = nullptr);

 signals:
  void picked(int index);

 protected:
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // Inside the handling of a focus-out or of Return: an `activated` there is typing ending.
  int typingEnds_ = 0;
};

}  // namespace corvane
