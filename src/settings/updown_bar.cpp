#include "settings/updown_bar.h"

#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace corvane {

UpDownBar::UpDownBar(const design::ScrollBarDesign& d, const QString& name, QWidget* parent)
    : QScrollBar(Qt::Vertical, parent) {
  setObjectName(name);
  setRange(std::min(d.min, d.max), std::max(d.min, d.max));
  setSingleStep(d.smallChange);
  setPageStep(d.largeChange);
  setValue(d.value);
  setInvertedAppearance(true);
  // Qt always maps the upper arrow to "subtract"; with the picture turned over that would
  // move the thumb away from the arrow. actionTriggered comes before the value is applied,
  // so the slider position can still be turned round here.
  connect(this, &QAbstractSlider::actionTriggered, this, [this](int action) {
    switch (action) {
      case SliderSingleStepAdd: setSliderPosition(value() - singleStep()); break;
      case SliderSingleStepSub: setSliderPosition(value() + singleStep()); break;
      case SliderPageStepAdd: setSliderPosition(value() - pageStep()); break;
      case SliderPageStepSub: setSliderPosition(value() + pageStep()); break;
      default: break;
    }
  });
  setFixedWidth(18);
}

bool UpDownBar::event(QEvent* event) {
  if (event->type() != QEvent::Wheel) return QScrollBar::event(event);
  // Qt's own wheel handling moves a vertical bar towards its top by three steps a notch,
  // which with the picture turned over lowers the value. A notch here is the arrow's action,
  // so it runs the same handlers; fine wheels add up to whole notches.
  auto* wheel = static_cast<QWheelEvent*>(event);
  int angle = wheel->angleDelta().y();
  if (wheel->inverted()) angle = -angle;
  if (angle == 0) return QScrollBar::event(event);
  wheelAngle_ += angle;
  const int notches = wheelAngle_ / QWheelEvent::DefaultDeltasPerStep;
  wheelAngle_ -= notches * QWheelEvent::DefaultDeltasPerStep;
  for (int i = 0; i < std::abs(notches); ++i)
    triggerAction(notches > 0 ? SliderSingleStepSub : SliderSingleStepAdd);
  wheel->accept();
  return true;
}

QScrollBar* MakeHorizontalBar(const design::ScrollBarDesign& d, const QString& name,
                              QWidget* parent) {
  auto* bar = new QScrollBar(Qt::Horizontal, parent);
  bar->setObjectName(name);
  bar->setRange(d.min, d.max);
  bar->setSingleStep(d.smallChange);
  bar->setPageStep(d.largeChange);
  bar->setValue(d.value);
  return bar;
}

bool SetValueInRange(QScrollBar* bar, double value) {
  if (!std::isfinite(value) || value < bar->minimum() || value > bar->maximum()) return false;
  bar->setValue(static_cast<int>(value));
  return true;
}

}  // namespace corvane
