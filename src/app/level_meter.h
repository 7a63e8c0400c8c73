#pragma once
// The input level meter `IPAmplitude`: a bar growing up from the bottom edge, in dB on a
// scale 50 units high, so a peak of 10 000 (80 dB - 30) fills it; red above that, else blue.

#include <QWidget>

namespace corvane {

class LevelMeter : public QWidget {
  Q_OBJECT
 public:
  explicit LevelMeter(QWidget* parent = nullptr);

  void setScaleHeight(double units) { scaleHeight_ = units; }
  double scaleHeight() const { return scaleHeight_; }
  void setLevel(double levelDb, bool red);
  double level() const { return levelDb_; }
  bool red() const { return red_; }

  QSize sizeHint() const override { return {16, 120}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // Height in pixels of the bar for the current level.
  int barHeight() const;

  double scaleHeight_ = 50;
  double levelDb_ = 0;
  bool red_ = false;
  // The bar as last painted; -1 before the first paint.
  int paintedHeight_ = -1;
  bool paintedRed_ = false;
};

}  // namespace corvane
