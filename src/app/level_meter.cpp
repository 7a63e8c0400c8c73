#include "app/level_meter.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace corvane {

LevelMeter::LevelMeter(QWidget* parent) : QWidget(parent) {
  setObjectName("IPAmplitude");
  setMinimumWidth(12);
  setToolTip("Input level");
  setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted below
}

void LevelMeter::setLevel(double levelDb, bool red) {
  if (!std::isfinite(levelDb)) return;
  levelDb_ = levelDb;
  red_ = red;
  // Most blocks move the level by less than a pixel; the meter is repainted only when the
  // bar it shows would change.
  if (barHeight() != paintedHeight_ || red_ != paintedRed_) update();
}

int LevelMeter::barHeight() const {
  if (scaleHeight_ <= 0) return 0;
  // A level above the scale overruns the top; a negative one draws nothing.
  const double share = std::clamp(levelDb_ / scaleHeight_, 0.0, 1.0);
  return static_cast<int>(std::lround(share * height()));
}

void LevelMeter::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect r = rect();
  painter.fillRect(r, Qt::white);
  const int h = barHeight();
  paintedHeight_ = h;
  paintedRed_ = red_;
  if (h > 0) {
    painter.fillRect(QRect(r.left(), r.bottom() - h + 1, r.width(), h),
                     red_ ? QColor(255, 0, 0) : QColor(0, 0, 255));
  }
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(r.adjusted(0, 0, -1, -1));
}

}  // namespace corvane
