#pragma once
// The log history's stacked panes sharing one time axis (S/N, levels, frequency, drift),
// painted with QPainter: the same drawing on screen, into a PNG and into an SVG.

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>
#include <array>
#include <vector>

#include "logging/log_history.h"

class QPainter;
class QSize;

namespace corvane {

inline constexpr double kDefaultAlarmThresholdDb = 40;

class HistoryPlot {
 public:
  static constexpr int kPanes = 4;

  // `history` must outlive the plot; call historyChanged() after it grows.
  void setHistory(const LogHistory* history);
  void historyChanged();
  void setAlarmThreshold(double db) { alarmDb_ = db; }
  void setTitle(const QString& title) { title_ = title; }
  // The record log's dates come from the file's modification time; the picture says so.
  void setDatesInferred(bool inferred) { datesInferred_ = inferred; }
  void setFont(const QFont& font) { font_ = font; }

  // Everything, for the times t0 .. t1 (UTC seconds), into `area`.
  void paint(QPainter& p, const QRect& area, double t0, double t1);
  // Only places the panes, as paint would, so the mouse can be read before a paint.
  void arrange(const QRect& area, double t0, double t1);

  // Where the last paint put things.
  QRect plotRect(int pane) const { return panes_[static_cast<size_t>(pane)].plot; }
  QRect timeAxisRect() const { return timeAxis_; }
  double timeAtX(double x) const;
  double xAtTime(double t) const;

  // What the cursor reads at time t: the record nearest to it of every quantity in the
  // history, or a dash when there is none close by.
  struct Reading {
    int pane;
    QColor colour;
    QString text;  // "S/N in 1 Hz 23.4 dB"
  };
  std::vector<Reading> readingsAt(double t) const;

  double gapSeconds(HistoryField f) const { return gap_[static_cast<size_t>(f)]; }

 private:
  struct PaneLayout {
    QRect header;
    QRect plot;
    double lo = 0, hi = 1;
  };
  void paintPane(QPainter& p, int pane, double t0, double t1);
  void paintTimeAxis(QPainter& p, double t0, double t1);
  double yAt(int pane, double v) const;

  const LogHistory* history_ = nullptr;
  std::array<double, kHistoryFieldCount> gap_{};
  double alarmDb_ = kDefaultAlarmThresholdDb;
  QString title_;
  bool datesInferred_ = false;
  QFont font_;

  QRect area_, titleRect_, timeAxis_;
  std::array<PaneLayout, kPanes> panes_;
  double t0_ = 0, t1_ = 1;
  double tickStep_ = 3600;
};

// Draws the history into a PNG or SVG file of `size` pixels; false with a one-line reason.
bool WriteHistoryPicture(const LogHistory& history, const QString& title, bool datesInferred,
                         double alarmDb, double t0, double t1, const QSize& size,
                         const QString& path, QString* error);

}  // namespace corvane
