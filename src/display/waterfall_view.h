#pragma once
// The picture `WFall`: a ring of image rows, one pixel row per block, the newest painted at the
// top. Bin 0 is at the left edge and the width spans scaleWidthBins bins; a pixel column
// shows the largest power of the bins it covers.

#include <QImage>
#include <QWidget>
#include <cstdint>

namespace corvane {

class WaterfallView : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kDesignWidthPx = 449;   // 6735 units
  static constexpr int kDesignHeightPx = 289;  // 4335 units
  // Before START: the design plot's width after START, 0.45 of 8192 points.
  static constexpr double kDefaultScaleWidthBins = 3686;

  explicit WaterfallView(QWidget* parent = nullptr);

  void setScaleWidth(double bins);
  double scaleWidth() const { return scaleWidth_; }

  // Writes bins fMinBin .. fMaxBin into the top row; columns outside the band keep what
  // they hold. `gain` is WFGain / 20, `threshold` the WFThr value. Rows and scrolls change
  // the picture only: update() shows them, as often as the eye needs.
  void paintRow(const float* avgPwr, int fMinBin, int fMaxBin, float gain, int threshold,
                uint8_t palette);
  // One row down: the bottom row is lost and the top row keeps a copy of the row just
  // painted, as a whole-image copy one row lower would leave it.
  void scrollRow();
  void clearPicture();

  // The picture as shown, newest row at the top.
  QImage picture() const;
  // Pixel columns covered by bin k's span [k, k + 1).
  int columnOf(double bins) const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  double binsPerColumn() const { return scaleWidth_ / ring_.width(); }

  double scaleWidth_ = kDefaultScaleWidthBins;
  QImage ring_;   // ring_.height() rows; row top_ is the top of the picture
  int top_ = 0;
};

}  // namespace corvane
