#include "display/waterfall_view.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>

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
}

QSize WaterfallView::sizeHint() const { return {kDesignWidthPx, kDesignHeightPx}; }

void WaterfallView::setScaleWidth(double bins) {
  scaleWidth_ = bins;
  // Rows drawn on the old axis would no longer line up with the new one.
  clearPicture();
}

int WaterfallView::columnOf(double bins) const {
  const double s = binsPerColumn();
  if (s <= 0) return 0;
  return static_cast<int>(std::floor(std::clamp(bins / s, -1.0e6, 1.0e6)));
}

void WaterfallView::paintRow(const float* avgPwr, int fMinBin, int fMaxBin, float gain,
                             int threshold, uint8_t palette) {
  const int width = ring_.width();
  const double s = binsPerColumn();
  fMinBin = std::max(fMinBin, 0);
  fMaxBin = std::min(fMaxBin, kMaxBin);
  if (s <= 0 || fMaxBin < fMinBin) return;

  // A column spans [c*s, (c+1)*s) bins and bin k spans [k, k+1): each column shows the
  // strongest bin that overlaps it, so no bin is skipped and none is stretched into a gap.
  const int firstCol = std::max(0, columnOf(fMinBin));
  const int lastCol =
      std::min(width - 1, static_cast<int>(std::ceil((fMaxBin + 1) / s)) - 1);
  auto* row = reinterpret_cast<QRgb*>(ring_.scanLine(top_));
  for (int c = firstCol; c <= lastCol; ++c) {
    const int kLo = std::max(fMinBin, static_cast<int>(std::floor(c * s)));
    const int kHi = std::min(fMaxBin, static_cast<int>(std::ceil((c + 1) * s)) - 1);
    if (kHi < kLo) continue;
    float peak = avgPwr[kLo];
    for (int k = kLo + 1; k <= kHi; ++k) peak = std::max(peak, avgPwr[k]);
    // The level rises with the power, so the largest power gives the largest level.
    row[c] = WFColsPacked(WaterfallLevel(peak, gain, threshold), palette);
  }
}

void WaterfallView::scrollRow() {
  const int rows = ring_.height();
  const int newTop = (top_ + rows - 1) % rows;
  std::memcpy(ring_.scanLine(newTop), ring_.constScanLine(top_),
              static_cast<size_t>(ring_.bytesPerLine()));
  top_ = newTop;
}

void WaterfallView::clearPicture() {
  ring_.fill(Qt::black);
  top_ = 0;
  update();
}

QImage WaterfallView::picture() const {
  QImage out(ring_.size(), QImage::Format_RGB32);
  QPainter p(&out);
  const int rows = ring_.height();
  p.drawImage(0, 0, ring_, 0, top_, -1, rows - top_);
  if (top_ > 0) p.drawImage(0, rows - top_, ring_, 0, 0, -1, top_);
  return out;
}

void WaterfallView::paintEvent(QPaintEvent*) {
  // The ring in two slices: from the top row down to the ring's end, then its start.
  QPainter p(this);
  const int rows = ring_.height();
  p.drawImage(0, 0, ring_, 0, top_, -1, rows - top_);
  if (top_ > 0) p.drawImage(0, rows - top_, ring_, 0, 0, -1, top_);
}

void WaterfallView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (size() == ring_.size() || width() <= 0 || height() <= 0) return;
  // Keep the history: stretch the columns to the new width, keep rows one pixel a block.
  const QImage old = picture().scaled(width(), ring_.height(), Qt::IgnoreAspectRatio,
                                      Qt::FastTransformation);
  ring_ = QImage(size(), QImage::Format_RGB32);
  ring_.fill(Qt::black);
  QPainter p(&ring_);
  p.drawImage(0, 0, old);
  top_ = 0;
}

}  // namespace corvane
