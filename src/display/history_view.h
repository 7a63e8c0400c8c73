#pragma once
// The log history on screen: the panes of HistoryPlot with the mouse. The wheel zooms the
// time axis about the pointer, dragging pans, a double click shows the whole span, and the
// cursor reads the time and the values under it. Files that grow are followed.

#include <QFileSystemWatcher>
#include <QPixmap>
#include <QWidget>

#include "display/history_files.h"
#include "display/history_plot.h"

namespace corvane {

class HistoryView : public QWidget {
  Q_OBJECT
 public:
  explicit HistoryView(QWidget* parent = nullptr);

  // Reads the files and shows their whole span; false with a one-line reason, and the view
  // as it was.
  bool openFiles(const QStringList& paths, QString* error);
  void setAlarmThreshold(double db);
  void setTimeRange(double t0, double t1);  // UTC seconds
  void showAll();

  double from() const { return t0_; }
  double to() const { return t1_; }
  const HistoryFiles& files() const { return files_; }
  const HistoryPlot& plot() const { return plot_; }
  // The cursor's read-out, one line each: the time, then every quantity; empty when the
  // pointer is not over the panes.
  QStringList cursorText() const;

  QSize sizeHint() const override { return {1200, 800}; }

 signals:
  void recordsAppended(int count);
  void timeRangeChanged(double t0, double t1);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void onFileChanged(const QString& path);
  void changeRange(double t0, double t1);  // pan and zoom, kept to the records' span
  bool dataSpan(double* first, double* last) const;
  void paintCursor(QPainter& p);
  void redraw();

  HistoryFiles files_;
  HistoryPlot plot_;
  QFileSystemWatcher watcher_;
  QPixmap picture_;  // the panes without the cursor, drawn again only when they change
  bool pictureValid_ = false;
  double t0_ = 0, t1_ = 1;
  bool dragging_ = false;
  double dragX_ = 0, dragT0_ = 0, dragT1_ = 0;
  bool cursorShown_ = false;
  QPointF cursor_;
};

}  // namespace corvane
