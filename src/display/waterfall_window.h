#pragma once
// The waterfall window `WF` (caption "Wfall "): the picture `WFall`, whose newest row is at
// the top, and the scroll bars `WFGain`, `WFThr`, `WFpal` with `Label1` .. `Label3`.

#include <QWidget>

class QLabel;
class QScrollBar;

namespace corvane {

class WaterfallView;

class WaterfallWindow : public QWidget {
  Q_OBJECT
 public:
  explicit WaterfallWindow(QWidget* parent = nullptr);

  // START: horizontal scale from bin 0 over `scaleWidthBins` bins.
  void setupForStart(double scaleWidthBins);
  // Band edge moved: the picture turns black.
  void clearPicture();
  // Paints bins fMinBin .. fMaxBin of the averaged power as the new top row.
  void paintRow(const float* avgPwr, int fMinBin, int fMaxBin);
  // Moves the picture down by one row.
  void scrollRow();
  // Shows the rows painted and scrolled since the last time, at the next paint.
  void showRows();

  QScrollBar* gain() const { return gain_; }
  QScrollBar* threshold() const { return threshold_; }
  QScrollBar* palette() const { return palette_; }
  WaterfallView* view() const { return view_; }

 private:
  void onGainChanged(int value);
  void onThresholdChanged(int value);

  WaterfallView* view_ = nullptr;
  QScrollBar* gain_ = nullptr;
  QScrollBar* threshold_ = nullptr;
  QScrollBar* palette_ = nullptr;
  QLabel* label1_ = nullptr;
  QLabel* label2_ = nullptr;
  QLabel* label3_ = nullptr;
};

}  // namespace corvane
