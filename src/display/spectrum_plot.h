#pragma once
// The `Spectrum` picture box: horizontal scale in FFT bins (left edge and width set by the
// band-edge handlers and START), vertical scale in the box's native unit, fifteen units a
// pixel, growing downwards from 0 at the top to scaleHeight() at the bottom.

#include <QImage>
#include <QWidget>

#include "measure/measurement_engine.h"
#include "settings/parameters.h"

namespace corvane {

class SpectrumPlot : public QWidget {
  Q_OBJECT
 public:
  static constexpr double kUnitsPerPixel = 15.0;

  explicit SpectrumPlot(QWidget* parent = nullptr);

  void setScaleLeft(double bins);
  void setScaleWidth(double bins);
  double scaleLeft() const { return scaleLeft_; }
  double scaleWidth() const { return scaleWidth_; }
  double scaleHeight() const;  // height in native units

  // Redraws the whole plot for one processed block: background with the level and
  // frequency grids and the signal-band box, the trace of the band FMinBin .. FMaxBin, the
  // noise bars, the peak V and, when in band, the signal bar.
  void drawBlock(const MeasurementEngine& engine, const MeasurementParams& params,
                 int32_t fftLen);

  // Height of the previous trace point; kept from block to block.
  double prevPlotY() const { return prevPlotY_; }

  // Widget pixel <-> scale unit conversions.
  double xToBins(double px) const;
  double binsToX(double bins) const;

 signals:
  void mouseMoved(double xBins, double yUnits);
  void mousePressed(Qt::MouseButton button, double xBins, double yUnits);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  double scaleLeft_ = 0;
  double scaleWidth_ = 1;
  double prevPlotY_ = 0;
  QImage image_;
};

}  // namespace corvane
