#pragma once
// The `Spectrum` picture box: horizontal scale in FFT bins (left edge and width set by the
// band-edge handlers and START), vertical scale in the box's native unit, growing downwards
// from 0 at the top to scaleHeight() at the bottom. The vertical scale always spans the
// plot's 1815 units, fifteen to a pixel at its original height (121 px): a taller plot shows
// the same picture larger instead of leaving its upper part empty.

#include <QImage>
#include <QLine>
#include <QWidget>
#include <functional>
#include <vector>

#include "measure/measurement_engine.h"
#include "settings/parameters.h"

class QPainter;

namespace corvane {

// A line of the frequency grid: its place in bins, and whether it marks a whole 1000 Hz.
struct FreqGridLine {
  double bin;
  bool dark;
};
// 0, 100, 200 ... Hz up to sampleRate / 2.
std::vector<FreqGridLine> FrequencyGridLines(double sampleRate, int32_t fftLen);

// A pixel column of the frequency grid and the line seen there.
struct FreqGridColumn {
  int column;
  bool dark;
};
// The frequency grid as it lands on pixel columns 0 .. width - 1 through `columnOf` (which
// must not decrease, or not increase, as the bin rises): for each column that lines fall
// on, the last of them, which is the one left showing. At most `width` entries, however
// many lines the rate has.
std::vector<FreqGridColumn> FrequencyGridColumns(double sampleRate, int32_t fftLen, int width,
                                                 const std::function<int(double)>& columnOf);

// Height above the bottom edge, in native units, at which a power is drawn.
double PlotHeight(double power);

class BandPlot : public QWidget {
  Q_OBJECT
 public:
  static constexpr double kScaleHeight = 1815;
  static constexpr int kDesignWidthPx = 625;   // 9375 units
  static constexpr int kDesignHeightPx = 121;  // 1815 units

  explicit BandPlot(QWidget* parent = nullptr);

  void setScaleLeft(double bins);
  void setScaleWidth(double bins);
  double scaleLeft() const { return scaleLeft_; }
  double scaleWidth() const { return scaleWidth_; }
  double scaleHeight() const { return kScaleHeight; }
  double unitsPerPixel() const;  // 15 at the original height

  // Takes one processed block as the plot to show: background with the level and frequency
  // grids and the signal-band box, the trace of the band FMinBin .. FMaxBin, the noise
  // bars, the peak V and, when in band, the signal bar. Each block replaces the whole
  // picture, so only the last one taken before a paint is ever drawn.
  void takeBlock(const MeasurementEngine& engine, const MeasurementParams& params,
                 int32_t fftLen);
  // The same from the block's averaged power and marks.
  void takeBlock(const float* avgPwr, const BlockMarks& marks, const MeasurementParams& params,
                 int32_t fftLen);
  // takeBlock() and a repaint at the next pass of the event loop.
  void drawBlock(const MeasurementEngine& engine, const MeasurementParams& params,
                 int32_t fftLen);
  void drawBlock(const float* avgPwr, const BlockMarks& marks, const MeasurementParams& params,
                 int32_t fftLen);

  // Height of the previous trace point; kept from block to block.
  double prevPlotY() const { return prevPlotY_; }

  // Widget pixel <-> scale unit conversions (pixel coordinates are continuous: pixel
  // column c spans c .. c + 1).
  double xToBins(double px) const;
  double binsToX(double bins) const;
  double yToUnits(double py) const { return py * unitsPerPixel(); }
  // The pixel column and row a point in scale units falls on. The right and bottom edges
  // belong to the last column and row, so a zero power lies on the bottom row.
  int pixelColumn(double bins) const;
  int pixelRow(double heightUnits) const;

  // The plot as a paint would show it now.
  QImage picture();

  QSize sizeHint() const override;

 signals:
  void mouseMoved(double xBins, double yUnits);
  void mousePressed(Qt::MouseButton button, double xBins, double yUnits);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  struct GridKey {
    QSize size;
    double scaleLeft = 0, scaleWidth = 0, sampleRate = 0;
    int32_t fftLen = 0;
    bool operator==(const GridKey&) const = default;
  };
  // The last block's inputs: each paint draws them over the cached grid.
  struct Frame {
    bool valid = false;
    std::vector<float> band;  // AvgPwr(FMinBin .. FMaxBin)
    int firstBin = 0, lastBin = -1;
    float peakPwr = 0;        // AvgPwr(PeakBin), which may lie outside the band
    BlockMarks marks;
    double sampleRate = 0;
    Rgb traceColour;
    int32_t fftLen = 0;
    double startPlotY = 0;    // PrevPlotY as the block began
  };
  void render(QPainter& p);
  void rebuildGrid(const GridKey& key);
  void drawTrace(QPainter& p, const Frame& frame);

  double scaleLeft_ = 0;
  double scaleWidth_ = 1;
  double prevPlotY_ = 0;
  QImage grid_;  // background and both grids, rebuilt only when its key changes
  GridKey gridKey_;
  Frame frame_;
  std::vector<QLine> traceLines_;  // kept between paints, so its room is kept too
};

}  // namespace corvane
