#include "app/panel_box.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionGroupBox>

namespace corvane {

void PanelBox::paintEvent(QPaintEvent* event) {
  const qreal dpr = devicePixelRatioF();
  // setTitle() sends no event; the title is compared instead.
  if (cache_.isNull() || cache_.devicePixelRatio() != dpr || cachedTitle_ != title()) {
    cache_ = QPixmap((QSizeF(size()) * dpr).toSize());
    cache_.setDevicePixelRatio(dpr);
    // Transparent: the frame's inside is a translucent shade over whatever lies beneath,
    // and drawn over it as a whole it gives the same pixels as drawn piece by piece.
    cache_.fill(Qt::transparent);
    QPainter p(&cache_);
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    style()->drawComplexControl(QStyle::CC_GroupBox, &option, &p, this);
    cachedTitle_ = title();
  }
  QPainter p(this);
  for (const QRect& r : event->region()) {
    p.drawPixmap(r, cache_, QRectF(QPointF(r.topLeft()) * dpr, QSizeF(r.size()) * dpr));
  }
}

void PanelBox::resizeEvent(QResizeEvent* event) {
  cache_ = QPixmap();
  QGroupBox::resizeEvent(event);
}

void PanelBox::changeEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::StyleChange:
    case QEvent::PaletteChange:
    case QEvent::FontChange:
    case QEvent::EnabledChange:
    case QEvent::LayoutDirectionChange:
      cache_ = QPixmap();
      break;
    case QEvent::ActivationChange:
      // Only a palette whose inactive colours differ looks different.
      if (!palette().isEqual(QPalette::Active, QPalette::Inactive)) cache_ = QPixmap();
      break;
    default:
      break;
  }
  QGroupBox::changeEvent(event);
}

}  // namespace corvane
