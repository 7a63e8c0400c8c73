#pragma once
// The picture `WFall`: a ring of image rows, one device pixel row per block, the newest
// painted at the top. The left edge is at bin scaleLeft and the width spans scaleWidth bins;
// a pixel column shows the largest power of the bins it covers. Each row keeps the time it
// was made, and a UTC mark stands at the left edge where a new minute (or wider step)
// begins, moving down with the rows.

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <vector>

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
  // Both edges at once, as the plot's band: the picture is cleared when they change.
  void setScale(double leftBins, double widthBins);
  double scaleLeft() const { return scaleLeft_; }

  // Writes bins fMinBin .. fMaxBin into the top row; columns outside the band keep what
  // they hold. `gain` is WFGain / 20, `threshold` the WFThr value. Rows and scrolls change
  // the picture only: update() shows them, as often as the eye needs.
  void paintRow(const float* avgPwr, int fMinBin, int fMaxBin, float gain, double threshold,
                uint8_t palette);
  // The noise floor as a row of bins fMinBin .. fMaxBin would be drawn: the median of its
  // columns' powers (each the largest of its bins), 0 for an empty row.
  double drawnFloor(const float* avgPwr, int fMinBin, int fMaxBin);
  // The same two in one pass over the bins: takeRow() finds each column's power, then
  // drawnFloor() and paintRow() use them.
  void takeRow(const float* avgPwr, int fMinBin, int fMaxBin);
  double drawnFloor();
  void paintRow(float gain, double threshold, uint8_t palette);
  // The time (seconds since 1970, UTC) of the row painted last; 0: none.
  void stampRow(double secondsUtc);
  // One row down: the bottom row is lost and the top row keeps a copy of the row just
  // painted, as a whole-image copy one row lower would leave it.
  void scrollRow();
  void clearPicture();

  // The picture as shown, newest row at the top, without the time marks.
  QImage picture() const;
  // The time marks now shown: the row (0 at the top) and its text, "hh:mm" UTC.
  struct TimeMark {
    int row;
    QString text;
  };
  std::vector<TimeMark> timeMarks() const;
  // Pixel columns covered by bin k's span [k, k + 1).
  int columnOf(double bins) const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  double binsPerColumn() const { return scaleWidth_ / ring_.width(); }
  // The ring at the widget's size in device pixels, the history kept.
  void fitRing();

  double scaleLeft_ = 0;
  double scaleWidth_ = kDefaultScaleWidthBins;
  QImage ring_;   // ring_.height() rows; row top_ is the top of the picture
  std::vector<double> rowTimes_;  // per ring row, as the pixels
  // The row taken: the power of columns firstCol_ .. firstCol_ + size - 1 and the bin it
  // comes from, NaN and -1 where a column holds no bin; kept, with the median's scratch and
  // the colour of each bin, so a row allocates nothing.
  struct ColumnSpan {
    int lo, hi;  // hi < lo: no bin
  };
  static constexpr size_t kFloorColumns = 256;
  std::vector<ColumnSpan> spans_;
  int spanWidth_ = -1, spanMin_ = -1, spanMax_ = -1;
  double spanLeft_ = 0, spanScale_ = 0;
  std::vector<float> peaks_;
  std::vector<int> peakBins_;
  std::vector<float> scratch_;
  std::vector<QRgb> binColours_;
  std::vector<uint32_t> binRows_;  // the row serial each bin's colour was made for
  uint32_t rowSerial_ = 0;
  int firstCol_ = 0;
  int top_ = 0;
};

}  // namespace corvane
