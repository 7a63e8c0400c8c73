#pragma once
// Scroll bars built from their design: the narrow vertical up-down bars beside the parameter
// texts and the horizontal band and guard-band bars.

#include <QScrollBar>

#include "settings/parameters.h"

namespace corvane {

// A vertical up-down bar. Its Min lies above its Max; Qt's range is [Max .. Min] with the
// picture turned over, and the arrows and page areas are turned too, so that the upper arrow
// (and a click above the thumb) raises the value, as the Up key already does. The wheel
// steps as the arrows: one SmallChange a notch, up raising the value.
class UpDownBar : public QScrollBar {
  Q_OBJECT
 public:
  UpDownBar(const design::ScrollBarDesign& d, const QString& name, QWidget* parent = nullptr);

 protected:
  bool event(QEvent* event) override;

 private:
  int wheelAngle_ = 0;  // eighths of a degree not yet used up by a whole notch
};

// A horizontal bar with Min left and Max right, as designed.
QScrollBar* MakeHorizontalBar(const design::ScrollBarDesign& d, const QString& name,
                              QWidget* parent = nullptr);

// Sets the value only when it is a finite number within the bar's range (a value outside is
// never set, and neither is a NaN from a conversion with a zero rate). Runs the bar's
// handler, nested, when the value changes. Returns whether the value was taken.
bool SetValueInRange(QScrollBar* bar, double value);

}  // namespace corvane
