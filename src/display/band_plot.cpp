#include "display/band_plot.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "common/numtext.h"

namespace corvane {

namespace {

const QColor kBackground(192, 192, 255);
const QColor kGridLight(170, 170, 170);
const QColor kGridDark(150, 150, 150);
const QColor kBandBox(240, 240, 240);
const QColor kNoiseBar(128, 250, 0);
const QColor kPeakMark(255, 64, 0);
const QColor kSignalBar(255, 220, 0);

// Keeps far-away points (a tiny scale width, a huge power) in QPainter's comfortable range;
// anything this far out is clipped anyway.
constexpr double kPixelLimit = 1.0e6;

int SnapToPixel(double v, int size) {
  if (v == static_cast<double>(size)) return size - 1;
  return static_cast<int>(std::floor(std::clamp(v, -kPixelLimit, kPixelLimit)));
}

QColor ToQColor(const Rgb& c) { return QColor(c.r, c.g, c.b); }

void FillBox(QPainter& p, QPoint a, QPoint b, const QColor& colour) {
  p.fillRect(QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                   QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y()))),
             colour);
}

void DrawLine(QPainter& p, QPoint a, QPoint b, const QColor& colour) {
  p.setPen(QPen(colour, 0));
  p.drawLine(a, b);
}

// Collapses a polyline over integer pixels whose x never decreases into at most two lines
// per pixel column: the join from the previous column and the column's vertical extent.
// Consecutive points in one column are joined by vertical runs, so the pixels covered are
// those of the full polyline.
class ColumnReducer {
 public:
  using Lines = std::vector<QLine>;
  ColumnReducer(int width, Lines& out) : width_(width), out_(out) { out_.clear(); }

  // Returns false once the polyline has left the image on the right.
  bool add(int col, int row) {
    if (col < 0) {
      // Only the last point left of the image matters: it starts the first visible line.
      prev_ = QPoint(col, row);
      havePrev_ = true;
      return true;
    }
    if (col >= width_) {
      flush();
      if (havePrev_) out_.push_back(QLine(prev_, QPoint(col, row)));
      return false;
    }
    if (open_ && col == col_) {
      minRow_ = std::min(minRow_, row);
      maxRow_ = std::max(maxRow_, row);
      last_ = row;
      return true;
    }
    flush();
    open_ = true;
    col_ = col;
    first_ = minRow_ = maxRow_ = last_ = row;
    return true;
  }

  void finish() { flush(); }

 private:
  void flush() {
    if (!open_) return;
    open_ = false;
    if (havePrev_) out_.push_back(QLine(prev_, QPoint(col_, first_)));
    if (minRow_ != maxRow_ || !havePrev_) {
      out_.push_back(QLine(QPoint(col_, minRow_), QPoint(col_, maxRow_)));
    }
    prev_ = QPoint(col_, last_);
    havePrev_ = true;
  }

  int width_;
  Lines& out_;
  bool havePrev_ = false;
  QPoint prev_;
  bool open_ = false;
  int col_ = 0, first_ = 0, minRow_ = 0, maxRow_ = 0, last_ = 0;
};

}  // namespace

std::vector<FreqGridLine> FrequencyGridLines(double sampleRate, int32_t fftLen) {
  std::vector<FreqGridLine> lines;
  if (sampleRate <= 0) return lines;
  for (int f = 0; f <= sampleRate / 2; f += 100) {
    lines.push_back({fftLen * (f / sampleRate), f % 1000 == 0});
  }
  return lines;
}

std::vector<FreqGridColumn> FrequencyGridColumns(double sampleRate, int32_t fftLen, int width,
                                                 const std::function<int(double)>& columnOf) {
  std::vector<FreqGridColumn> columns;
  if (!(sampleRate > 0) || width <= 0) return columns;
  // Line i stands at 100 i Hz, i = 0 .. last, placed exactly as FrequencyGridLines places it.
  auto bin = [&](int64_t i) { return fftLen * (static_cast<double>(100 * i) / sampleRate); };
  int64_t last = static_cast<int64_t>(std::floor(sampleRate / 200));
  while (static_cast<double>(100 * (last + 1)) <= sampleRate / 2) ++last;
  while (last >= 0 && static_cast<double>(100 * last) > sampleRate / 2) --last;
  if (last < 0) return columns;
  // Columns run one way along the lines; `dir` turns them so they rise with i.
  const int dir = columnOf(bin(last)) >= columnOf(bin(0)) ? 1 : -1;
  auto rank = [&](int64_t i) { return static_cast<int64_t>(dir) * columnOf(bin(i)); };
  for (int c = 0; c < width; ++c) {
    // The last line whose column is not beyond c (binary search), then whether it is on c.
    const int64_t target = static_cast<int64_t>(dir) * c;
    if (rank(0) > target) continue;
    int64_t lo = 0, hi = last;
    while (lo < hi) {
      const int64_t mid = lo + (hi - lo + 1) / 2;
      if (rank(mid) <= target) lo = mid; else hi = mid - 1;
    }
    if (columnOf(bin(lo)) == c) columns.push_back({c, (100 * lo) % 1000 == 0});
  }
  return columns;
}

double PlotHeight(double power) { return power > 0 ? 25 * std::log(power) - 250 : 0.0; }

BandPlot::BandPlot(QWidget* parent) : QWidget(parent) {
  setObjectName("Spectrum");
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setMinimumSize(200, 80);
}

QSize BandPlot::sizeHint() const { return {kDesignWidthPx, kDesignHeightPx}; }

void BandPlot::setScaleLeft(double bins) { scaleLeft_ = bins; }

void BandPlot::setScaleWidth(double bins) { scaleWidth_ = bins; }

double BandPlot::unitsPerPixel() const {
  return height() > 0 ? kScaleHeight / height() : kScaleHeight;
}

double BandPlot::xToBins(double px) const {
  return scaleLeft_ + px / width() * scaleWidth_;
}

double BandPlot::binsToX(double bins) const {
  if (scaleWidth_ == 0) return bins >= scaleLeft_ ? kPixelLimit : -kPixelLimit;
  return (bins - scaleLeft_) / scaleWidth_ * width();
}

int BandPlot::pixelColumn(double bins) const { return SnapToPixel(binsToX(bins), width()); }

int BandPlot::pixelRow(double heightUnits) const {
  return SnapToPixel((kScaleHeight - heightUnits) / unitsPerPixel(), height());
}

void BandPlot::takeBlock(const MeasurementEngine& engine, const MeasurementParams& params,
                         int32_t fftLen) {
  takeBlock(engine.AvgPwr(), engine.marks(), params, fftLen);
}

void BandPlot::takeBlock(const float* avgPwr, const BlockMarks& marks,
                         const MeasurementParams& params, int32_t fftLen) {
  Frame& f = frame_;
  f.valid = true;
  f.firstBin = static_cast<int>(std::max(0.0, params.FMinBin));
  f.lastBin = static_cast<int>(std::min<double>(kHistBins - 1, params.FMaxBin));
  // Capacity is kept, so after the first blocks nothing is allocated here.
  f.band.assign(avgPwr + f.firstBin, avgPwr + std::max(f.firstBin, f.lastBin + 1));
  const double peak = std::clamp(marks.PeakBin, 0.0, static_cast<double>(kHistBins - 1));
  f.peakPwr = avgPwr[static_cast<int>(peak)];
  f.marks = marks;
  f.sampleRate = params.SampleRate;
  f.traceColour = params.TraceColour;
  f.fftLen = fftLen;
  f.startPlotY = prevPlotY_;
  // The next block's trace starts here whether or not this one is ever painted.
  if (!f.band.empty()) prevPlotY_ = PlotHeight(static_cast<double>(f.band.back()));
}

void BandPlot::drawBlock(const MeasurementEngine& engine, const MeasurementParams& params,
                         int32_t fftLen) {
  takeBlock(engine, params, fftLen);
  update();
}

void BandPlot::drawBlock(const float* avgPwr, const BlockMarks& marks,
                         const MeasurementParams& params, int32_t fftLen) {
  takeBlock(avgPwr, marks, params, fftLen);
  update();
}

void BandPlot::rebuildGrid(const GridKey& key) {
  gridKey_ = key;
  grid_ = QImage(key.size, QImage::Format_RGB32);
  grid_.fill(kBackground);
  QPainter p(&grid_);
  const int bottom = height() - 1;
  const int gridEnd = pixelColumn(key.fftLen / 2.0);
  const int gridStart = pixelColumn(0);
  for (int j = 0; j <= 90; j += 10) {
    const int row = pixelRow(j * 25 / kDbFactor);
    DrawLine(p, QPoint(gridStart, row), QPoint(gridEnd, row), kGridLight);
  }
  // Per pixel column, not per line: a file's absurd rate would otherwise ask for millions.
  const auto columns = FrequencyGridColumns(key.sampleRate, key.fftLen, key.size.width(),
                                            [this](double bin) { return pixelColumn(bin); });
  for (const FreqGridColumn& line : columns) {
    DrawLine(p, QPoint(line.column, 0), QPoint(line.column, bottom),
             line.dark ? kGridDark : kGridLight);
  }
}

void BandPlot::render(QPainter& p) {
  const Frame& f = frame_;
  if (!f.valid) {
    p.fillRect(rect(), kBackground);
    return;
  }
  const GridKey key{size(), scaleLeft_, scaleWidth_, f.sampleRate, f.fftLen};
  if (grid_.isNull() || !(key == gridKey_)) rebuildGrid(key);
  p.drawImage(0, 0, grid_);
  const BlockMarks& m = f.marks;

  // The band box's lower side lies far below the plot, so only its top and sides show.
  {
    const int left = pixelColumn(m.BoxCentreBin - m.BoxSigBWBins / 2);
    const int right = pixelColumn(m.BoxCentreBin + m.BoxSigBWBins / 2);
    const int bottom = height() + 10;
    DrawLine(p, QPoint(left, 0), QPoint(right, 0), kBandBox);
    DrawLine(p, QPoint(left, 0), QPoint(left, bottom), kBandBox);
    DrawLine(p, QPoint(right, 0), QPoint(right, bottom), kBandBox);
  }

  drawTrace(p, f);
  if (!m.Measured) return;
  const double lastTraceY =
      f.band.empty() ? f.startPlotY : PlotHeight(static_cast<double>(f.band.back()));

  const double bw = m.MarkSigBWBins;
  const double guard = static_cast<double>(m.GuardBand) + 0.5;
  double plotY = m.NoisePwr > 0 ? PlotHeight(m.NoisePwr) : lastTraceY;
  FillBox(p, QPoint(pixelColumn(f.firstBin), pixelRow(plotY)),
          QPoint(pixelColumn(m.PeakBin - bw * guard), pixelRow(plotY + 3)), kNoiseBar);
  FillBox(p, QPoint(pixelColumn(m.PeakBin + bw * guard), pixelRow(plotY)),
          QPoint(pixelColumn(f.lastBin), pixelRow(plotY + 3)), kNoiseBar);

  if (m.SigPwr > 0) plotY = PlotHeight(m.SigPwr);

  const double peakY = PlotHeight(static_cast<double>(f.peakPwr));
  const double d1 = f.fftLen / 200.0;
  const double d2 = f.fftLen / 500.0;
  const QPoint tip(pixelColumn(m.PeakBin), pixelRow(peakY));
  DrawLine(p, QPoint(pixelColumn(m.PeakBin - d1), pixelRow(peakY + 40)), tip, kPeakMark);
  DrawLine(p, QPoint(pixelColumn(m.PeakBin + d1), pixelRow(peakY + 40)), tip, kPeakMark);
  FillBox(p, QPoint(pixelColumn(m.PeakBin - d2), pixelRow(peakY + 10)),
          QPoint(pixelColumn(m.PeakBin + d2), pixelRow(peakY + 20)), kPeakMark);

  if (m.InBand) {
    FillBox(p, QPoint(pixelColumn(m.PeakBin - bw / 2), pixelRow(plotY)),
            QPoint(pixelColumn(m.PeakBin + bw / 2), pixelRow(plotY - 8)), kSignalBar);
  }
}

void BandPlot::drawTrace(QPainter& p, const Frame& f) {
  // The reduction relies on columns rising with the bin index.
  if (f.band.empty() || scaleWidth_ <= 0) return;
  ColumnReducer reducer(width(), traceLines_);
  bool inside = reducer.add(pixelColumn(f.firstBin - 1), pixelRow(f.startPlotY));
  for (size_t i = 0; i < f.band.size() && inside; ++i) {
    const int k = f.firstBin + static_cast<int>(i);
    inside = reducer.add(pixelColumn(k), pixelRow(PlotHeight(static_cast<double>(f.band[i]))));
  }
  reducer.finish();
  if (traceLines_.empty()) return;
  p.setPen(QPen(ToQColor(f.traceColour), 0));
  p.drawLines(traceLines_.data(), static_cast<int>(traceLines_.size()));
}

QImage BandPlot::picture() {
  QImage out(size(), QImage::Format_RGB32);
  QPainter p(&out);
  render(p);
  return out;
}

void BandPlot::paintEvent(QPaintEvent*) {
  QPainter p(this);
  render(p);
}

void BandPlot::mouseMoveEvent(QMouseEvent* event) {
  const QPointF pos = event->position();
  emit mouseMoved(xToBins(pos.x()), yToUnits(pos.y()));
}

void BandPlot::mousePressEvent(QMouseEvent* event) {
  const QPointF pos = event->position();
  emit mousePressed(event->button(), xToBins(pos.x()), yToUnits(pos.y()));
}

}  // namespace corvane
