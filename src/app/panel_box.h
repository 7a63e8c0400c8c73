#pragma once
// A group box that draws its frame and title once for each size and look and then copies
// them. The read-outs inside are transparent labels whose text changes every second, and
// each change repaints the box under the label: the style's frame (a pixmap looked up by
// name, stretched in nine pieces) and its title cost more than the label itself.

#include <QGroupBox>
#include <QPixmap>

namespace corvane {

class PanelBox : public QGroupBox {
  Q_OBJECT
 public:
  using QGroupBox::QGroupBox;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  // Style, palette, font and enabled state change the look; activation may.
  void changeEvent(QEvent* event) override;

 private:
  QPixmap cache_;
  QString cachedTitle_;
};

}  // namespace corvane
