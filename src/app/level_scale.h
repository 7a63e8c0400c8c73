#pragma once
// The input level meter's scale in dBFS, standing left of the meter: a number every 10 dB
// (more on a short meter), each centred on the row where the bar of that level ends. It
// only reads the meter's place and scale; the bar is the meter's own.

#include <QWidget>
#include <vector>

namespace corvane {

class LevelMeter;

class LevelScale : public QWidget {
  Q_OBJECT
 public:
  LevelScale(LevelMeter* meter, QWidget* parent = nullptr);

  struct Tick {
    double dbfs;
    int y;  // in this widget's coordinates
  };
  // The numbered levels and their rows, from the bottom of the meter up; a level too near
  // an end for its number to stand centred on it is left out.
  std::vector<Tick> ticks() const;
  double step() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The meter's top and height, seen from here.
  int meterTop() const;
  int yOf(double dbfs) const;

  LevelMeter* meter_;
};

}  // namespace corvane
