#pragma once
// The waterfall `WF` (caption "Wfall "): the picture `WFall`, whose newest row is at the top,
// a frequency scale under it, and the scroll bars `WFGain`, `WFThr`, `WFpal` with `Label1`
// .. `Label3`, beside "Auto level", which sets gain and threshold from the noise floor while
// it is checked: the floor as the picture draws it, the median of a row's columns (each the
// largest of its bins, so a few dB above the mean noise per bin). The main window docks it under the spectrum; floated, it is a window of its
// own.

#include <QWidget>

#include "display/waterfall_level.h"

class QCheckBox;
class QLabel;
class QScrollBar;

namespace corvane {

class WaterfallView;
class FrequencyScale;

class WaterfallWindow : public QWidget {
  Q_OBJECT
 public:
  explicit WaterfallWindow(QWidget* parent = nullptr);

  // START: horizontal scale from bin 0 over `scaleWidthBins` bins.
  void setupForStart(double scaleWidthBins);
  // The horizontal scale as the spectrum's: bins leftBins .. leftBins + widthBins across
  // the picture, labelled in hertz at hzPerBin.
  void setScale(double leftBins, double widthBins, double hzPerBin);
  // Room left and right of the picture and its scale, so its edges stand under the plot's.
  void setInsets(int left, int right);
  // Band edge moved: the picture turns black.
  void clearPicture();
  // Paints bins fMinBin .. fMaxBin of the averaged power as the new top row.
  void paintRow(const float* avgPwr, int fMinBin, int fMaxBin);
  // The same, with the block's time in seconds since 1970, UTC (for the time marks; 0:
  // none).
  void paintRow(const float* avgPwr, int fMinBin, int fMaxBin, double secondsUtc);
  // Moves the picture down by one row.
  void scrollRow();
  // Shows the rows painted and scrolled since the last time, at the next paint.
  void showRows();

  QScrollBar* gain() const { return gain_; }
  QScrollBar* threshold() const { return threshold_; }
  QScrollBar* palette() const { return palette_; }
  QCheckBox* autoLevel() const { return autoLevel_; }
  WaterfallView* view() const { return view_; }
  FrequencyScale* frequencyScale() const { return scale_; }
  // The gain and threshold the last row was painted with.
  WaterfallScale lastScale() const { return lastScale_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The picture and its scale between the insets: placed by hand, so that the insets never
  // add to the window's minimum size.
  void placePicture();
  void onGainChanged(int value);
  void onThresholdChanged(int value);
  void onAutoLevel(bool on);

  WaterfallView* view_ = nullptr;
  FrequencyScale* scale_ = nullptr;
  QWidget* area_ = nullptr;
  int insetLeft_ = 0, insetRight_ = 0;
  QScrollBar* gain_ = nullptr;
  QScrollBar* threshold_ = nullptr;
  QScrollBar* palette_ = nullptr;
  QLabel* label1_ = nullptr;
  QLabel* label2_ = nullptr;
  QLabel* label3_ = nullptr;
  QCheckBox* autoLevel_ = nullptr;
  AutoWaterfallLevel auto_;
  WaterfallScale lastScale_;
};

// Hertz along the bottom of the waterfall, at round steps.
class FrequencyScale : public QWidget {
  Q_OBJECT
 public:
  explicit FrequencyScale(QWidget* parent = nullptr);
  void setScale(double leftBins, double widthBins, double hzPerBin);
  // The labels as painted: pixel column and text.
  struct Label {
    int x;
    QString text;
  };
  std::vector<Label> labels() const;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double left_ = 0, width_ = 0, hzPerBin_ = 0;
};

}  // namespace corvane
