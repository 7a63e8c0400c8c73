#include "display/history_view.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace corvane {

namespace {

constexpr double kMinSpan = 60;  // seconds: the closest zoom

// To the nearest second: records stand on whole seconds.
QString UtcText(double t) {
  return QDateTime::fromSecsSinceEpoch(std::llround(t), Qt::UTC).toString("yyyy-MM-dd HH:mm:ss");
}

}  // namespace

HistoryView::HistoryView(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(480, 360);
  plot_.setFont(font());
  plot_.setHistory(&files_.history);
  connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &HistoryView::onFileChanged);
}

bool HistoryView::openFiles(const QStringList& paths, QString* error) {
  HistoryFiles loaded;
  if (!LoadHistoryFiles(paths, &loaded, error)) return false;
  if (!watcher_.files().isEmpty()) watcher_.removePaths(watcher_.files());
  files_ = std::move(loaded);
  for (const HistoryFile& f : files_.files) watcher_.addPath(f.path);
  plot_.setHistory(&files_.history);
  plot_.setTitle(files_.title);
  plot_.setDatesInferred(files_.datesInferred);
  showAll();
  return true;
}

void HistoryView::setAlarmThreshold(double db) {
  plot_.setAlarmThreshold(db);
  redraw();
}

void HistoryView::setTimeRange(double t0, double t1) {
  if (!(t1 > t0)) return;
  t0_ = t0;
  t1_ = t1;
  plot_.arrange(rect(), t0_, t1_);
  redraw();
  emit timeRangeChanged(t0_, t1_);
}

bool HistoryView::dataSpan(double* first, double* last) const {
  return files_.history.span(first, last);
}

void HistoryView::showAll() {
  double first = 0, last = 0;
  if (!dataSpan(&first, &last)) {
    const double now = static_cast<double>(QDateTime::currentSecsSinceEpoch());
    setTimeRange(now - 3600, now);
    return;
  }
  if (last - first < kMinSpan) {
    const double mid = (first + last) / 2;
    first = mid - kMinSpan / 2;
    last = mid + kMinSpan / 2;
  }
  setTimeRange(first, last);
}

void HistoryView::changeRange(double t0, double t1) {
  double first = 0, last = 0;
  if (!dataSpan(&first, &last)) return;
  double span = std::max(t1 - t0, kMinSpan);
  const double whole = std::max(last - first, kMinSpan);
  if (span >= whole) {
    span = whole;
    t0 = (first + last - span) / 2;
  } else {
    t0 = std::clamp(t0, first, last - span);
  }
  setTimeRange(t0, t0 + span);
}

QStringList HistoryView::cursorText() const {
  QStringList lines;
  if (!cursorShown_) return lines;
  const double t = plot_.timeAtX(cursor_.x());
  lines << UtcText(t) + " UTC";
  for (const HistoryPlot::Reading& r : plot_.readingsAt(t)) lines << r.text;
  return lines;
}

void HistoryView::redraw() {
  pictureValid_ = false;
  update();
}

void HistoryView::onFileChanged(const QString& path) {
  // A file written by closing and renaming drops out of the watch; take it back.
  if (!watcher_.files().contains(path) && QFileInfo::exists(path)) watcher_.addPath(path);
  auto it = std::find_if(files_.files.begin(), files_.files.end(),
                         [&](const HistoryFile& f) { return f.path == path; });
  if (it == files_.files.end()) return;

  double first = 0, last = 0;
  const bool had = dataSpan(&first, &last);
  const bool atEnd = !had || t1_ >= last - 1e-6;
  const bool wholeShown = !had || t0_ <= first + 1e-6;

  LogHistory more;
  if (!ReadAppended(&*it, &more)) {
    // Shrunk or replaced: read everything again, keeping the view where it is.
    QStringList paths;
    for (const HistoryFile& f : files_.files) paths << f.path;
    const double t0 = t0_, t1 = t1_;
    QString error;
    if (!openFiles(paths, &error)) return;
    setTimeRange(t0, t1);
    return;
  }
  const size_t added = more.rows();
  if (added == 0) return;
  AppendHistory(&files_.history, more);
  files_.datesInferred = files_.datesInferred || it->reader.datesInferred();
  plot_.setDatesInferred(files_.datesInferred);
  plot_.historyChanged();
  emit recordsAppended(static_cast<int>(added));

  // Following the newest records unless the user has looked back.
  if (atEnd && dataSpan(&first, &last)) {
    if (wholeShown) {
      showAll();
    } else {
      const double span = t1_ - t0_;
      setTimeRange(last - span, last);
    }
  } else {
    redraw();
  }
}

void HistoryView::paintEvent(QPaintEvent*) {
  const qreal dpr = devicePixelRatioF();
  if (!pictureValid_ || picture_.size() != size() * dpr) {
    picture_ = QPixmap(size() * dpr);
    picture_.setDevicePixelRatio(dpr);
    QPainter pp(&picture_);
    plot_.setFont(font());
    plot_.paint(pp, rect(), t0_, t1_);
    pictureValid_ = true;
  }
  QPainter p(this);
  p.drawPixmap(0, 0, picture_);
  if (cursorShown_) paintCursor(p);
}

void HistoryView::paintCursor(QPainter& p) {
  const double x = cursor_.x();
  const double t = plot_.timeAtX(x);
  const QRect top = plot_.plotRect(0);
  const QRect bottom = plot_.plotRect(HistoryPlot::kPanes - 1);
  const QFontMetrics fm(font());
  p.setPen(QPen(QColor(40, 44, 52, 150), 1));
  p.drawLine(QPointF(x, top.top()), QPointF(x, bottom.bottom()));

  // The time on the axis.
  const QString time = UtcText(t);
  const int tw = fm.horizontalAdvance(time) + 12;
  const QRect axis = plot_.timeAxisRect();
  QRectF tag(x - tw / 2.0, axis.top() + 2, tw, fm.height() + 4);
  tag.moveLeft(std::clamp(tag.left(), static_cast<double>(axis.left()),
                          static_cast<double>(axis.right() - tw)));
  p.fillRect(tag, QColor(40, 44, 52));
  p.setPen(Qt::white);
  p.drawText(tag, Qt::AlignCenter, time);

  // Each pane's values beside the line.
  const std::vector<HistoryPlot::Reading> readings = plot_.readingsAt(t);
  for (int pane = 0; pane < HistoryPlot::kPanes; ++pane) {
    QStringList lines;
    std::vector<QColor> colours;
    for (const HistoryPlot::Reading& r : readings) {
      if (r.pane != pane) continue;
      lines << r.text;
      colours.push_back(r.colour);
    }
    if (lines.isEmpty()) continue;
    int w = 0;
    for (const QString& l : lines) w = std::max(w, fm.horizontalAdvance(l));
    w += 26;
    const int h = static_cast<int>(lines.size()) * fm.height() + 6;
    const QRect plot = plot_.plotRect(pane);
    double left = x + 8;
    if (left + w > plot.right()) left = x - 8 - w;
    const QRectF box(left, plot.top() + 4, w, h);
    p.fillRect(box, QColor(255, 255, 255, 225));
    p.setPen(QColor(190, 195, 202));
    p.drawRect(box);
    for (qsizetype i = 0; i < lines.size(); ++i) {
      const double y = box.top() + 3 + static_cast<double>(i) * fm.height();
      p.fillRect(QRectF(box.left() + 6, y + fm.height() / 2.0 - 2, 12, 4),
                 colours[static_cast<size_t>(i)]);
      p.setPen(QColor(40, 44, 52));
      p.drawText(QRectF(box.left() + 22, y, w - 24, fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                 lines[i]);
    }
  }
}

void HistoryView::resizeEvent(QResizeEvent*) {
  plot_.arrange(rect(), t0_, t1_);
  pictureValid_ = false;
}

void HistoryView::wheelEvent(QWheelEvent* event) {
  const double notches = event->angleDelta().y() / 120.0;
  if (notches == 0) return;
  const double factor = std::pow(0.8, notches);  // wheel forward zooms in
  const double anchor = plot_.timeAtX(event->position().x());
  changeRange(anchor - (anchor - t0_) * factor, anchor + (t1_ - anchor) * factor);
  event->accept();
}

void HistoryView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragging_ = true;
  dragX_ = event->position().x();
  dragT0_ = t0_;
  dragT1_ = t1_;
  setCursor(Qt::ClosedHandCursor);
}

void HistoryView::mouseMoveEvent(QMouseEvent* event) {
  const QPointF pos = event->position();
  if (dragging_) {
    const double perPixel = (dragT1_ - dragT0_) / std::max(1, plot_.plotRect(0).width());
    const double shift = (pos.x() - dragX_) * perPixel;
    changeRange(dragT0_ - shift, dragT1_ - shift);
  }
  const QRect top = plot_.plotRect(0);
  const QRect axis = plot_.timeAxisRect();
  const bool over = pos.x() >= top.left() && pos.x() <= top.right() && pos.y() >= top.top() &&
                    pos.y() <= axis.bottom();
  if (over || cursorShown_) {
    cursorShown_ = over;
    cursor_ = pos;
    update();
  }
}

void HistoryView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragging_ = false;
  unsetCursor();
}

void HistoryView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) showAll();
}

void HistoryView::leaveEvent(QEvent*) {
  if (!cursorShown_) return;
  cursorShown_ = false;
  update();
}

}  // namespace corvane
