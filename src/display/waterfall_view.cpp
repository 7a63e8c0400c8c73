#include "display/waterfall_view.h"

#include <QDateTime>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "display/history_columns.h"
#include "display/wf_colours.h"

namespace corvane {

namespace {
constexpr int kMaxBin = 65535;
}

WaterfallView::WaterfallView(QWidget* parent) : QWidget(parent) {
  setObjectName("WFall");
  setAttribute(Qt::WA_OpaquePaintEvent);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setMinimumSize(100, 50);
  ring_ = QImage(kDesignWidthPx, kDesignHeightPx, QImage::Format_RGB32);
  ring_.fill(Qt::black);
  rowTimes_.assign(static_cast<size_t>(ring_.height()), 0.0);
}

QSize WaterfallView::sizeHint() const { return {kDesignWidthPx, kDesignHeightPx}; }

void WaterfallView::setScaleWidth(double bins) { setScale(scaleLeft_, bins); }

void WaterfallView::setScale(double leftBins, double widthBins) {
  if (leftBins == scaleLeft_ && widthBins == scaleWidth_) return;
  scaleLeft_ = leftBins;
  scaleWidth_ = widthBins;
  // Rows drawn on the old axis would no longer line up with the new one.
  clearPicture();
}

int WaterfallView::columnOf(double bins) const {
  const double s = binsPerColumn();
  if (s <= 0) return 0;
  return static_cast<int>(std::floor(std::clamp((bins - scaleLeft_) / s, -1.0e6, 1.0e6)));
}

void WaterfallView::takeRow(const float* avgPwr, int fMinBin, int fMaxBin) {
  peaks_.clear();
  peakBins_.clear();
  const int width = ring_.width();
  const double s = binsPerColumn();
  fMinBin = std::max(fMinBin, 0);
  fMaxBin = std::min(fMaxBin, kMaxBin);
  if (s <= 0 || fMaxBin < fMinBin) return;

  // The columns' bins only change with the scale, the width or the band.
  if (width != spanWidth_ || scaleLeft_ != spanLeft_ || scaleWidth_ != spanScale_ ||
      fMinBin != spanMin_ || fMaxBin != spanMax_) {
    spanWidth_ = width;
    spanLeft_ = scaleLeft_;
    spanScale_ = scaleWidth_;
    spanMin_ = fMinBin;
    spanMax_ = fMaxBin;
    spans_.clear();
    // A column spans [c*s, (c+1)*s) bins and bin k spans [k, k+1): each column shows the
    // strongest bin that overlaps it, so no bin is skipped and none is stretched into a gap.
    firstCol_ = std::max(0, columnOf(fMinBin));
    const int lastCol = std::min(
        width - 1,
        static_cast<int>(std::ceil(std::clamp((fMaxBin + 1 - scaleLeft_) / s, -1.0e6, 1.0e6))) -
            1);
    for (int c = firstCol_; c <= lastCol; ++c) {
      const int kLo = std::max(fMinBin, static_cast<int>(std::floor(scaleLeft_ + c * s)));
      const int kHi =
          std::min(fMaxBin, static_cast<int>(std::ceil(scaleLeft_ + (c + 1) * s)) - 1);
      spans_.push_back({kLo, kHi});
    }
    binColours_.assign(static_cast<size_t>(fMaxBin - fMinBin + 1), 0);
    binRows_.assign(binColours_.size(), 0);
  }
  for (const ColumnSpan& span : spans_) {
    if (span.hi < span.lo) {
      peaks_.push_back(std::numeric_limits<float>::quiet_NaN());
      peakBins_.push_back(-1);
      continue;
    }
    int best = span.lo;
    for (int k = span.lo + 1; k <= span.hi; ++k) {
      if (avgPwr[k] > avgPwr[best]) best = k;
    }
    peaks_.push_back(avgPwr[best]);
    peakBins_.push_back(best);
  }
}

void WaterfallView::paintRow(const float* avgPwr, int fMinBin, int fMaxBin, float gain,
                             double threshold, uint8_t palette) {
  takeRow(avgPwr, fMinBin, fMaxBin);
  paintRow(gain, threshold, palette);
}

double WaterfallView::drawnFloor(const float* avgPwr, int fMinBin, int fMaxBin) {
  takeRow(avgPwr, fMinBin, fMaxBin);
  return drawnFloor();
}

void WaterfallView::paintRow(float gain, double threshold, uint8_t palette) {
  auto* row = reinterpret_cast<QRgb*>(ring_.scanLine(top_)) + firstCol_;
  // Where bins are fewer than columns, several columns show one bin: its colour once a row.
  if (++rowSerial_ == 0) {
    std::fill(binRows_.begin(), binRows_.end(), 0u);
    rowSerial_ = 1;
  }
  for (size_t i = 0; i < peaks_.size(); ++i) {
    const int bin = peakBins_[i];
    if (bin < 0) continue;
    const auto at = static_cast<size_t>(bin - spanMin_);
    if (binRows_[at] != rowSerial_) {
      // The level rises with the power, so the largest power gives the largest level.
      binColours_[at] = WFColsPacked(WaterfallLevel(peaks_[i], gain, threshold), palette);
      binRows_[at] = rowSerial_;
    }
    row[i] = binColours_[at];
  }
}

double WaterfallView::drawnFloor() {
  // The median of evenly spaced columns, at most kFloorColumns of them: as good a floor for
  // the colours as all of them, at a fraction of the cost on a wide window.
  scratch_.clear();
  const size_t step = std::max<size_t>(1, (peaks_.size() + kFloorColumns - 1) / kFloorColumns);
  for (size_t i = 0; i < peaks_.size(); i += step) {
    if (!std::isnan(peaks_[i])) scratch_.push_back(peaks_[i]);
  }
  if (scratch_.empty()) return 0;
  auto mid = scratch_.begin() + static_cast<std::ptrdiff_t>(scratch_.size() / 2);
  std::nth_element(scratch_.begin(), mid, scratch_.end());
  return static_cast<double>(*mid);
}

void WaterfallView::stampRow(double secondsUtc) { rowTimes_[static_cast<size_t>(top_)] = secondsUtc; }

void WaterfallView::scrollRow() {
  const int rows = ring_.height();
  const int newTop = (top_ + rows - 1) % rows;
  std::memcpy(ring_.scanLine(newTop), ring_.constScanLine(top_),
              static_cast<size_t>(ring_.bytesPerLine()));
  rowTimes_[static_cast<size_t>(newTop)] = rowTimes_[static_cast<size_t>(top_)];
  top_ = newTop;
}

void WaterfallView::clearPicture() {
  ring_.fill(Qt::black);
  std::fill(rowTimes_.begin(), rowTimes_.end(), 0.0);
  top_ = 0;
  update();
}

std::vector<WaterfallView::TimeMark> WaterfallView::timeMarks() const {
  std::vector<TimeMark> marks;
  const int rows = ring_.height();
  auto timeAt = [&](int y) { return rowTimes_[static_cast<size_t>((top_ + y) % rows)]; };
  // Rows 0 and 1 hold the same row until the next one is painted: the pace from the
  // oldest stamped row to row 1.
  int oldest = -1;
  for (int y = rows - 1; y > 1; --y) {
    if (timeAt(y) > 0) {
      oldest = y;
      break;
    }
  }
  if (oldest < 0 || timeAt(1) <= timeAt(oldest)) return marks;
  const double secondsPerRow = (timeAt(1) - timeAt(oldest)) / (oldest - 1);
  const double dpr = devicePixelRatioF() > 0 ? devicePixelRatioF() : 1.0;
  const double step = TimeMarkStep(secondsPerRow, 40 * dpr);
  // A mark on the first row of each new step, the row where the time passes a multiple.
  for (int y = 1; y < oldest; ++y) {
    const double newer = timeAt(y), older = timeAt(y + 1);
    if (newer <= 0 || older <= 0) continue;
    if (std::floor(newer / step) != std::floor(older / step)) {
      const qint64 at = static_cast<qint64>(std::floor(newer / step) * step);
      marks.push_back({y, QDateTime::fromSecsSinceEpoch(at, Qt::UTC).toString("hh:mm")});
    }
  }
  return marks;
}

QImage WaterfallView::picture() const {
  QImage out(ring_.size(), QImage::Format_RGB32);
  const int rows = ring_.height();
  for (int y = 0; y < rows; ++y)
    std::memcpy(out.scanLine(y), ring_.constScanLine((top_ + y) % rows),
                static_cast<size_t>(out.bytesPerLine()));
  return out;
}

void WaterfallView::paintEvent(QPaintEvent*) {
  fitRing();
  // The ring in two slices: from the top row down to the ring's end, then its start, one
  // image pixel to a device pixel.
  QPainter p(this);
  const int rows = ring_.height();
  const double dpr = ring_.devicePixelRatio();
  p.drawImage(QPointF(0, 0), ring_, QRectF(0, top_, ring_.width(), rows - top_));
  if (top_ > 0) p.drawImage(QPointF(0, (rows - top_) / dpr), ring_, QRectF(0, 0, ring_.width(), top_));

  // Time marks: a tick across the left edge and the time just below it, on a dark ground.
  const std::vector<TimeMark> marks = timeMarks();
  if (marks.empty()) return;
  QFont f = font();
  f.setPointSizeF(f.pointSizeF() * 0.85);
  p.setFont(f);
  const QFontMetrics fm(f);
  for (const TimeMark& m : marks) {
    const double y = m.row / dpr;
    p.setPen(QColor(255, 255, 255));
    p.drawLine(QPointF(0, y), QPointF(8, y));
    const QRectF box(2, y + 1, fm.horizontalAdvance(m.text) + 4, fm.height());
    p.fillRect(box, QColor(0, 0, 0, 170));
    p.drawText(box, Qt::AlignCenter, m.text);
  }
}

void WaterfallView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  fitRing();
}

void WaterfallView::fitRing() {
  const double dpr = devicePixelRatioF() > 0 ? devicePixelRatioF() : 1.0;
  const QSize want(static_cast<int>(std::lround(width() * dpr)),
                   static_cast<int>(std::lround(height() * dpr)));
  if (want == ring_.size() || want.width() <= 0 || want.height() <= 0) return;
  // Keep the history, newest row at the top, one pixel row a block; the columns stretch to
  // the new width (the nearest old column). Each row goes straight into the new ring: a
  // window being laid out resizes this many times, and a copy of the whole picture each time
  // was most of start-up's page faults.
  const int oldWidth = ring_.width(), rows = ring_.height();
  const int kept = std::min(rows, want.height());
  std::vector<int> fromColumn(static_cast<size_t>(want.width()));
  for (int x = 0; x < want.width(); ++x) {
    fromColumn[static_cast<size_t>(x)] = static_cast<int>(
        std::min<int64_t>(oldWidth - 1, (int64_t{2} * x + 1) * oldWidth / (2 * want.width())));
  }
  QImage ring(want, QImage::Format_RGB32);
  std::vector<double> times(static_cast<size_t>(want.height()), 0.0);
  for (int y = 0; y < want.height(); ++y) {
    auto* out = reinterpret_cast<QRgb*>(ring.scanLine(y));
    if (y >= kept) {
      std::fill(out, out + want.width(), qRgb(0, 0, 0));
      continue;
    }
    const int from = (top_ + y) % rows;
    const auto* in = reinterpret_cast<const QRgb*>(ring_.constScanLine(from));
    for (int x = 0; x < want.width(); ++x) out[x] = in[fromColumn[static_cast<size_t>(x)]];
    times[static_cast<size_t>(y)] = rowTimes_[static_cast<size_t>(from)];
  }
  ring.setDevicePixelRatio(dpr);
  ring_ = std::move(ring);
  rowTimes_ = std::move(times);
  top_ = 0;
}

}  // namespace corvane
