#pragma once
// The spectrum plot with numbered axes around it: hertz along the bottom, and up the left
// side the level in the units of the "Noise" and "Signal" read-outs (dB). The plot itself
// is the BandPlot child, untouched, filling the area the axes leave; the axes are labelled
// at round 1-2-5 steps at least kMinLabelSpacingPx apart, chosen again whenever the size,
// the band, the rate or the FFT length changes.

#include <QImage>
#include <QString>
#include <QWidget>
#include <vector>

namespace corvane {

class BandPlot;

class PlotWithAxes : public QWidget {
  Q_OBJECT
 public:
  static constexpr double kMinLabelSpacingPx = 80;

  // Takes `plot` as its child.
  explicit PlotWithAxes(BandPlot* plot, QWidget* parent = nullptr);

  BandPlot* plot() const { return plot_; }

  // The rate and FFT length that turn the plot's bins into hertz while it has no block of
  // its own; once it has, the block's own are used.
  void setFrequencyScale(double sampleRate, int32_t fftLen);

  // A label as drawn: its value, its text and where the text stands in this widget.
  struct Label {
    double value;
    QString text;
    QRect rect;
    int tick;  // the x (frequency) or y (level) of its tick mark
  };
  const std::vector<Label>& frequencyLabels();
  const std::vector<Label>& levelLabels();
  double frequencyStep();
  double levelStep();

  // Axes and plot as a paint would show them, at `dpr` device pixels per logical pixel.
  QImage picture(qreal dpr);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  struct Key {
    QSize size;
    double scaleLeft = 0, scaleWidth = 0, sampleRate = 0;
    int32_t fftLen = 0;
    qreal dpr = 0;
    bool operator==(const Key&) const = default;
  };
  QMargins margins() const;
  void placePlot();
  void axesChanged();
  // Chooses the labels for the current key; redraws the cached strips at `dpr`.
  void refresh(qreal dpr);
  void drawAxes(QPainter& p);
  double labelRate() const;
  int32_t labelFftLen() const;

  BandPlot* plot_;
  double sampleRate_ = 0;
  int32_t fftLen_ = 0;
  Key key_;
  double freqStep_ = 0, levelStep_ = 0;
  std::vector<Label> freqLabels_, levelLabels_;
  std::vector<int> freqMinor_, levelMinor_;
  QImage axes_;  // the whole widget but the plot, in device pixels
};

}  // namespace corvane
