#include "display/plot_with_axes.h"

#include <QEvent>
#include <QPainter>
#include <QRegion>
#include <algorithm>
#include <cmath>

#include "display/axis_scales.h"
#include "display/band_plot.h"

namespace corvane {

namespace {

constexpr int kTick = 5;       // a labelled tick mark, pixels
constexpr int kMinorTick = 3;  // an unlabelled one
constexpr int kLabelGap = 3;   // between a tick mark and its label
constexpr int kRight = 10;

QString Text(double value, double step) { return QString::fromStdString(TickLabel(value, step)); }

}  // namespace

PlotWithAxes::PlotWithAxes(BandPlot* plot, QWidget* parent) : QWidget(parent), plot_(plot) {
  setObjectName("PlotWithAxes");
  setAttribute(Qt::WA_OpaquePaintEvent);  // the cached strips cover every pixel
  plot_->setParent(this);
  setSizePolicy(plot_->sizePolicy());
  connect(plot_, &BandPlot::scaleChanged, this, &PlotWithAxes::axesChanged);
  placePlot();
}

QMargins PlotWithAxes::margins() const {
  const QFontMetrics fm = fontMetrics();
  const int left = fm.horizontalAdvance(QStringLiteral("-000")) + kTick + kLabelGap + 2;
  // A line above the plot for the level unit, and the label nearest the top edge.
  const int top = fm.height() + 2;
  const int bottom = kTick + kLabelGap + fm.height() + 1;
  return {left, top, kRight, bottom};
}

QSize PlotWithAxes::sizeHint() const {
  const QMargins m = margins();
  return plot_->sizeHint().grownBy(m);
}

QSize PlotWithAxes::minimumSizeHint() const {
  const QMargins m = margins();
  return plot_->minimumSize().grownBy(m);
}

void PlotWithAxes::placePlot() {
  QRect area = rect().marginsRemoved(margins());
  if (!area.isValid()) area = QRect(margins().left(), margins().top(), 1, 1);
  if (plot_->geometry() != area) plot_->setGeometry(area);
}

void PlotWithAxes::resizeEvent(QResizeEvent*) { placePlot(); }

void PlotWithAxes::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) {
    key_ = Key{};
    placePlot();
    update();
  }
  QWidget::changeEvent(event);
}

void PlotWithAxes::setFrequencyScale(double sampleRate, int32_t fftLen) {
  if (sampleRate == sampleRate_ && fftLen == fftLen_) return;
  sampleRate_ = sampleRate;
  fftLen_ = fftLen;
  axesChanged();
}

void PlotWithAxes::axesChanged() {
  // The plot repaints itself; only the strips around it may need new labels.
  update(QRegion(rect()).subtracted(plot_->geometry()));
}

double PlotWithAxes::labelRate() const {
  return plot_->frameSampleRate() > 0 ? plot_->frameSampleRate() : sampleRate_;
}

int32_t PlotWithAxes::labelFftLen() const {
  return plot_->frameFftLen() > 0 ? plot_->frameFftLen() : fftLen_;
}

const std::vector<PlotWithAxes::Label>& PlotWithAxes::frequencyLabels() {
  refresh(devicePixelRatioF());
  return freqLabels_;
}

const std::vector<PlotWithAxes::Label>& PlotWithAxes::levelLabels() {
  refresh(devicePixelRatioF());
  return levelLabels_;
}

double PlotWithAxes::frequencyStep() {
  refresh(devicePixelRatioF());
  return freqStep_;
}

double PlotWithAxes::levelStep() {
  refresh(devicePixelRatioF());
  return levelStep_;
}

void PlotWithAxes::refresh(qreal dpr) {
  // A hidden widget gets its resize event only when shown.
  placePlot();
  const Key key{size(), plot_->scaleLeft(), plot_->scaleWidth(), labelRate(), labelFftLen(), dpr};
  if (key == key_ && !axes_.isNull()) return;
  key_ = key;
  const QFontMetrics fm = fontMetrics();
  const QRect area = plot_->geometry();
  freqLabels_.clear();
  levelLabels_.clear();
  freqMinor_.clear();
  levelMinor_.clear();
  freqStep_ = levelStep_ = 0;

  // The units stand in the corners, each beside the first labels of its axis.
  const QRect dbCaption(0, 0, area.left() - kTick - kLabelGap, fm.height());
  const QRect hzCaption(2, area.bottom() + 1 + kTick + kLabelGap,
                        fm.horizontalAdvance(QStringLiteral("Hz")), fm.height());

  // Along the bottom: hertz of the bins the plot spans.
  const double sr = key.sampleRate;
  const int32_t len = key.fftLen;
  if (sr > 0 && len > 0 && key.scaleWidth > 0 && area.width() > 1) {
    const double perBin = sr / len;
    const double lo = key.scaleLeft * perBin;
    const double hi = (key.scaleLeft + key.scaleWidth) * perBin;
    double least = kMinLabelSpacingPx;
    // Long labels (tens of kilohertz, decimals) widen the least spacing so they never touch.
    for (int pass = 0; pass < 2; ++pass) {
      freqStep_ = RoundTickStep(hi - lo, area.width(), least);
      int widest = 0;
      for (double v : TickValues(lo, hi, freqStep_))
        widest = std::max(widest, fm.horizontalAdvance(Text(v, freqStep_)));
      if (widest + 12 <= least) break;
      least = widest + 12;
    }
    const int top = area.bottom() + 1 + kTick + kLabelGap;
    QRect previous;
    for (double v : TickValues(lo, hi, freqStep_)) {
      // On the column the plot draws that frequency's grid line.
      const int x = area.left() + plot_->pixelColumn(v / perBin);
      const QString text = Text(v, freqStep_);
      const int w = fm.horizontalAdvance(text);
      const int left = std::max(area.left() - 2, std::min(x - w / 2, width() - 1 - w));
      const QRect r(left, top, w, fm.height());
      if (r.intersects(hzCaption) || (previous.isValid() && r.left() < previous.right() + 6))
        continue;
      freqLabels_.push_back({v, text, r, x});
      previous = r;
    }
    for (double v : TickValues(lo, hi, MinorTickStep(freqStep_)))
      freqMinor_.push_back(area.left() + plot_->pixelColumn(v / perBin));
  }

  // Up the left side: the level the read-outs would show for a power drawn at that height.
  if (area.height() > 1) {
    const double lo = PlotHeightToLevelDb(0);
    const double hi = PlotHeightToLevelDb(BandPlot::kScaleHeight);
    levelStep_ = RoundTickStep(hi - lo, area.height(), kMinLabelSpacingPx);
    const int right = area.left() - kTick - kLabelGap;
    QRect previous;
    for (double v : TickValues(lo, hi, levelStep_)) {
      const int y = area.top() + plot_->pixelRow(LevelDbToPlotHeight(v));
      const QString text = Text(v, levelStep_);
      const int w = fm.horizontalAdvance(text);
      // Kept clear of the hertz labels below the plot.
      const int top = std::min(y - fm.height() / 2, area.bottom() + 3 - fm.height());
      const QRect r(right - w, top, w, fm.height());
      if (r.intersects(dbCaption) || (previous.isValid() && r.bottom() > previous.top() - 4))
        continue;
      levelLabels_.push_back({v, text, r, y});
      previous = r;
    }
    for (double v : TickValues(lo, hi, MinorTickStep(levelStep_)))
      levelMinor_.push_back(area.top() + plot_->pixelRow(LevelDbToPlotHeight(v)));
  }

  axes_ = QImage(QSize(qRound(width() * dpr), qRound(height() * dpr)), QImage::Format_RGB32);
  axes_.setDevicePixelRatio(dpr);
  QPainter p(&axes_);
  p.fillRect(rect(), palette().window());
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(dbCaption, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("dB"));
  if (freqStep_ > 0) p.drawText(hzCaption, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Hz"));
  for (const Label& l : freqLabels_) p.drawText(l.rect, Qt::AlignCenter, l.text);
  for (const Label& l : levelLabels_) p.drawText(l.rect, Qt::AlignRight | Qt::AlignVCenter, l.text);

  p.setPen(QPen(palette().color(QPalette::Dark), 0));
  // Axis lines just outside the plot, so nothing is drawn over the plot itself.
  const int below = area.bottom() + 1;
  const int beside = area.left() - 1;
  p.drawLine(beside, area.top(), beside, below);
  p.drawLine(beside, below, area.right(), below);
  for (int x : freqMinor_) p.drawLine(x, below, x, below + kMinorTick - 1);
  for (const Label& l : freqLabels_) p.drawLine(l.tick, below, l.tick, below + kTick - 1);
  for (int y : levelMinor_) p.drawLine(beside - kMinorTick + 1, y, beside, y);
  for (const Label& l : levelLabels_) p.drawLine(beside - kTick + 1, l.tick, beside, l.tick);
}

void PlotWithAxes::paintEvent(QPaintEvent*) {
  refresh(devicePixelRatioF());
  QPainter p(this);
  p.drawImage(0, 0, axes_);
}

QImage PlotWithAxes::picture(qreal dpr) {
  if (!(dpr > 0)) dpr = 1;
  refresh(dpr);
  QImage out = axes_.copy();
  out.setDevicePixelRatio(dpr);
  QPainter p(&out);
  p.drawImage(plot_->geometry().topLeft(), plot_->picture(dpr));
  return out;
}

}  // namespace corvane
