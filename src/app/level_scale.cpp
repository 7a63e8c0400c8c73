#include "app/level_scale.h"

#include <QEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "app/level_meter.h"
#include "display/axis_scales.h"

namespace corvane {

namespace {
constexpr int kGap = 3;  // between the numbers and the meter on their right
}  // namespace

LevelScale::LevelScale(LevelMeter* meter, QWidget* parent) : QWidget(parent), meter_(meter) {
  setObjectName("IPAmplitudeScale");
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
  meter_->installEventFilter(this);
}

QSize LevelScale::sizeHint() const {
  const QFontMetrics fm = fontMetrics();
  const int labels = fm.horizontalAdvance(QStringLiteral("-00")) + kGap;
  return {std::max(labels, fm.horizontalAdvance(QStringLiteral("dBFS"))) + 2, 120};
}

bool LevelScale::eventFilter(QObject* watched, QEvent* event) {
  if (watched == meter_ && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
    update();
  return QWidget::eventFilter(watched, event);
}

int LevelScale::meterTop() const { return mapFromGlobal(meter_->mapToGlobal(QPoint(0, 0))).y(); }

int LevelScale::yOf(double dbfs) const {
  // The row where the meter's bar for this level begins (LevelMeter rounds its height so).
  const double share = DbfsToInputLevel(dbfs) / meter_->scaleHeight();
  const int h = meter_->height();
  return meterTop() + h - static_cast<int>(std::lround(share * h));
}

double LevelScale::step() const {
  // 10 dB, or more where a short meter would crowd the numbers.
  const double fits = RoundTickStep(meter_->scaleHeight(), meter_->height(),
                                    2.0 * fontMetrics().height());
  return fits > 0 ? std::max(10.0, fits) : 0.0;
}

std::vector<LevelScale::Tick> LevelScale::ticks() const {
  std::vector<Tick> out;
  if (!(meter_->scaleHeight() > 0)) return out;
  const double lo = InputLevelToDbfs(0);
  const double hi = InputLevelToDbfs(meter_->scaleHeight());
  const int half = fontMetrics().height() / 2;
  for (double v : TickValues(lo, hi, step())) {
    // A number that cannot stand centred on its row is left out rather than moved off it.
    const int y = yOf(v);
    if (y - half >= 0 && y + half < height()) out.push_back({v, y});
  }
  return out;
}

void LevelScale::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QFontMetrics fm = fontMetrics();
  const QRect caption(0, std::max(0, meterTop() - fm.height() - 1), width(), fm.height());
  const double st = step();
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(caption, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("dBFS"));
  QRect above = caption;
  const std::vector<Tick> all = ticks();
  for (auto it = all.rbegin(); it != all.rend(); ++it) {
    // No tick mark: beside a minus sign it would read as a second one.
    const QString text = QString::fromStdString(TickLabel(it->dbfs, st));
    const QRect r(0, it->y - fm.height() / 2, width() - kGap, fm.height());
    if (r.intersects(above)) continue;
    p.drawText(r, Qt::AlignRight | Qt::AlignVCenter, text);
    above = r;
  }
}

}  // namespace corvane
