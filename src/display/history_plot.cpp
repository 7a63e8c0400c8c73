#include "display/history_plot.h"

#include <QDateTime>
#include <QFileInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>

#include "display/history_columns.h"

namespace corvane {

namespace {

struct SeriesStyle {
  HistoryField field;
  const char* name;
  const char* unit;
  QRgb colour;
  int decimals;  // in the cursor's reading; -1: whole hertz when whole, else three places
};

struct PaneStyle {
  const char* title;
  double weight;   // share of the height
  double minSpan;  // the value axis spans at least this much
  std::vector<SeriesStyle> series;
};

const std::array<PaneStyle, HistoryPlot::kPanes>& Panes() {
  static const std::array<PaneStyle, HistoryPlot::kPanes> panes = {{
      {"S/N",
       1.5,
       4.0,
       {{HistoryField::Snr1HzDb, "S/N in 1 Hz", "dB", qRgb(31, 95, 191), 1},
        {HistoryField::Cn0DbHz, "C/N0", "dB-Hz", qRgb(224, 123, 0), 1}}},
      {"Levels",
       1.2,
       4.0,
       {{HistoryField::SignalDb, "Signal", "dB", qRgb(42, 157, 58), 1},
        {HistoryField::NoiseDb, "Noise", "dB", qRgb(120, 120, 120), 1},
        {HistoryField::SignalDbfs, "Signal", "dBFS", qRgb(27, 110, 42), 1},
        {HistoryField::NoiseDbfsHz, "Noise", "dBFS/Hz", qRgb(140, 86, 75), 1}}},
      {"Frequency", 1.0, 2.0, {{HistoryField::FreqHz, "Frequency", "Hz", qRgb(123, 63, 181), -1}}},
      {"Drift", 1.0, 0.002, {{HistoryField::DriftHzS, "Drift", "Hz/s", qRgb(15, 127, 128), 4}}},
  }};
  return panes;
}

const QColor kText(40, 44, 52);
const QColor kFaint(110, 116, 126);
const QColor kPlotBack(252, 252, 253);
const QColor kFrame(190, 195, 202);
const QColor kGrid(229, 231, 235);
const QColor kMidnight(196, 200, 207);
const QColor kAlarm(214, 39, 40);
const QColor kOutage(236, 237, 240);

QDateTime Utc(double t) {
  return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(t * 1000)), Qt::UTC);
}

// "2 h 05 min", "40 min", "3 d 4 h": how long a stretch without records lasted.
QString Duration(double seconds) {
  const long m = std::lround(seconds / 60);
  if (m < 60) return QString("%1 min").arg(std::max(1L, m));
  if (m < 2 * 1440) {
    return m % 60 == 0 ? QString("%1 h").arg(m / 60)
                       : QString("%1 h %2 min").arg(m / 60).arg(m % 60, 2, 10, QChar('0'));
  }
  return QString("%1 d %2 h").arg(m / 1440).arg(m % 1440 / 60);
}

QString Units(const std::vector<const SeriesStyle*>& present) {
  QStringList units;
  for (const SeriesStyle* s : present) {
    if (!units.contains(s->unit)) units << s->unit;
  }
  return units.join(", ");
}

double ClampedY(double y, const QRect& plot) {
  return std::clamp(y, plot.top() - 2.0 * plot.height(), plot.bottom() + 2.0 * plot.height());
}

// The spread of each column (its minimum to its maximum) as a pale band.
void DrawSpread(QPainter& p, const ColumnReduction& r, const QRect& plot, double lo, double hi,
                QColor colour) {
  const double k = plot.height() / (hi - lo);
  const double bottom = plot.top() + plot.height();
  std::vector<QLineF> lines;
  lines.reserve(r.columns.size());
  for (const PlotColumn& c : r.columns) {
    if (c.max <= c.min) continue;
    const double x = plot.left() + c.x;
    lines.emplace_back(x, ClampedY(bottom - (c.min - lo) * k, plot), x,
                       ClampedY(bottom - (c.max - lo) * k, plot));
  }
  colour.setAlpha(64);
  // Whole pixel columns: no antialiasing needed, and none paid for.
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(colour, 0));
  p.drawLines(lines.data(), static_cast<int>(lines.size()));
  p.restore();
}

// The columns' means joined by lines; a column on its own (no line to either side) is a dot,
// so single records between missing ones still show.
void DrawMeans(QPainter& p, const ColumnReduction& r, const QRect& plot, double lo, double hi,
               const QColor& colour) {
  const double k = plot.height() / (hi - lo);
  const double bottom = plot.top() + plot.height();
  QPen line(colour, 1.0);
  line.setJoinStyle(Qt::BevelJoin);  // round joins cost arcs at every pixel column
  const QPen dot(colour, 3.0, Qt::SolidLine, Qt::RoundCap);
  std::vector<QPointF> run;
  run.reserve(r.columns.size());
  auto flush = [&] {
    if (run.size() == 1) {
      p.setPen(dot);
      p.drawPoint(run[0]);
    } else if (!run.empty()) {
      p.setPen(line);
      p.drawPolyline(run.data(), static_cast<int>(run.size()));
    }
    run.clear();
  };
  for (const PlotColumn& c : r.columns) {
    if (!c.joined) flush();
    run.emplace_back(plot.left() + c.x, ClampedY(bottom - (c.mean - lo) * k, plot));
  }
  flush();
}

}  // namespace

void HistoryPlot::setHistory(const LogHistory* history) {
  history_ = history;
  historyChanged();
}

void HistoryPlot::historyChanged() {
  for (int f = 0; f < kHistoryFieldCount; ++f) {
    gap_[static_cast<size_t>(f)] =
        history_ ? kGapIntervals * TypicalInterval(history_->series[static_cast<size_t>(f)])
                 : kGapIntervals;
  }
}

double HistoryPlot::timeAtX(double x) const {
  const QRect& plot = panes_[0].plot;
  return t0_ + (x - plot.left()) * (t1_ - t0_) / std::max(1, plot.width());
}

double HistoryPlot::xAtTime(double t) const {
  const QRect& plot = panes_[0].plot;
  return plot.left() + (t - t0_) * plot.width() / (t1_ - t0_);
}

double HistoryPlot::yAt(int pane, double v) const {
  const PaneLayout& l = panes_[static_cast<size_t>(pane)];
  return l.plot.top() + l.plot.height() - (v - l.lo) * l.plot.height() / (l.hi - l.lo);
}

void HistoryPlot::arrange(const QRect& area, double t0, double t1) {
  if (!(t1 > t0)) t1 = t0 + 1;
  t0_ = t0;
  t1_ = t1;
  const QFontMetrics fm(font_);
  const int lh = fm.height();
  const int left = area.left() + lh + 10 + fm.horizontalAdvance("-0000.000");
  const int right = area.right() - 16;
  titleRect_ =
      QRect(area.left() + 10, area.top() + 6, area.width() - 26, datesInferred_ ? 2 * lh : lh);
  const int headerH = lh + 6;
  const int paneGap = lh / 2;
  const int axisH = 3 * lh + 8;
  int y = titleRect_.bottom() + 1 + lh / 2;
  const int avail =
      std::max(kPanes * 20, area.bottom() - axisH - y - kPanes * headerH - (kPanes - 1) * paneGap);
  double weights = 0;
  for (const PaneStyle& s : Panes()) weights += s.weight;
  for (int i = 0; i < kPanes; ++i) {
    const int h = static_cast<int>(avail * Panes()[static_cast<size_t>(i)].weight / weights);
    PaneLayout& l = panes_[static_cast<size_t>(i)];
    l.header = QRect(left, y, right - left + 1, headerH);
    l.plot = QRect(left, y + headerH, right - left + 1, h);
    y = l.plot.bottom() + 1 + paneGap;
  }
  timeAxis_ = QRect(left, panes_[kPanes - 1].plot.bottom() + 1, right - left + 1, axisH);
}

void HistoryPlot::paint(QPainter& p, const QRect& area, double t0, double t1) {
  arrange(area, t0, t1);
  t1 = t1_;
  p.save();
  p.setFont(font_);
  p.fillRect(area, Qt::white);
  const QFontMetrics fm(font_);
  tickStep_ = TimeTickStep((t1 - t0) / std::max(1, panes_[0].plot.width()),
                           fm.horizontalAdvance("00:00:00") + 24);

  // Title: the files on the left, the span on the right.
  QFont bold = font_;
  bold.setBold(true);
  p.setFont(bold);
  p.setPen(kText);
  const QString span = Utc(t0).toString("ddd yyyy-MM-dd HH:mm") + "  to  " +
                       Utc(t1).toString("ddd yyyy-MM-dd HH:mm") + " UTC";
  const int spanW = fm.horizontalAdvance(span) + 20;
  p.drawText(QRect(titleRect_.left(), titleRect_.top(), titleRect_.width() - spanW, fm.height()),
             Qt::AlignLeft | Qt::AlignVCenter,
             QFontMetrics(bold).elidedText("Log history: " + title_, Qt::ElideMiddle,
                                           titleRect_.width() - spanW));
  p.setFont(font_);
  p.drawText(QRect(titleRect_.left(), titleRect_.top(), titleRect_.width(), fm.height()),
             Qt::AlignRight | Qt::AlignVCenter, span);
  if (datesInferred_) {
    p.setPen(QColor(166, 84, 0));
    p.drawText(
        QRect(titleRect_.left(), titleRect_.top() + fm.height(), titleRect_.width(), fm.height()),
        Qt::AlignLeft | Qt::AlignVCenter,
        "Dates inferred from the file's modification time: the record log holds "
        "times of day only.");
  }

  for (int i = 0; i < kPanes; ++i) paintPane(p, i, t0, t1);
  paintTimeAxis(p, t0, t1);
  p.restore();
}

void HistoryPlot::paintPane(QPainter& p, int pane, double t0, double t1) {
  const PaneStyle& style = Panes()[static_cast<size_t>(pane)];
  PaneLayout& l = panes_[static_cast<size_t>(pane)];
  const QRect& plot = l.plot;
  const QFontMetrics fm(font_);

  std::vector<const SeriesStyle*> present;
  std::vector<ColumnReduction> reduced;
  std::vector<float> values;
  size_t outageSource = 0, mostColumns = 0;
  for (const SeriesStyle& s : style.series) {
    if (!history_ || (*history_)[s.field].empty()) continue;
    const HistorySeries& series = (*history_)[s.field];
    present.push_back(&s);
    reduced.push_back(
        ReduceToColumns(series, t0, t1, plot.width(), gap_[static_cast<size_t>(s.field)]));
    for (const PlotColumn& c : reduced.back().columns) {
      values.push_back(c.min);
      values.push_back(c.max);
    }
    if (reduced.back().columns.size() > mostColumns) {
      mostColumns = reduced.back().columns.size();
      outageSource = reduced.size() - 1;
    }
  }

  // The value axis: the bulk of what is in view, the alarm threshold always in sight.
  const bool snr = pane == 0;
  double lo = 0, hi = 0;
  if (!RobustRange(values, &lo, &hi)) {
    lo = snr ? 0 : -1;
    hi = snr ? alarmDb_ : 1;
  }
  if (snr) {
    lo = std::min(lo, alarmDb_);
    hi = std::max(hi, alarmDb_);
  }
  if (hi - lo < style.minSpan) {
    const double mid = (hi + lo) / 2;
    lo = mid - style.minSpan / 2;
    hi = mid + style.minSpan / 2;
  }
  const double pad = (hi - lo) * 0.06;
  lo -= pad;
  hi += pad;
  const ValueTicks ticks =
      NiceTicks(lo, (hi - lo) * (fm.height() * 1.8) / std::max(1, plot.height()));
  l.lo = std::floor(lo / ticks.step) * ticks.step;
  l.hi = std::ceil(hi / ticks.step) * ticks.step;

  p.fillRect(plot, kPlotBack);

  // Stretches without records.
  if (!reduced.empty()) {
    for (const auto& [a, b] : reduced[outageSource].outages) {
      const double x0 = std::max<double>(plot.left(), plot.left() + a);
      const double x1 = std::min<double>(plot.right() + 1, plot.left() + b);
      if (x1 - x0 < 1) continue;
      const QRectF r(x0, plot.top(), x1 - x0, plot.height());
      p.fillRect(r, kOutage);
      p.fillRect(r, QBrush(QColor(205, 208, 214), Qt::BDiagPattern));
      const QString text = "no records for " + Duration((b - a) * (t1 - t0) / plot.width());
      for (const QString& label : {text, QString("no records")}) {
        const int w = fm.horizontalAdvance(label) + 10;
        if (r.width() > w) {
          const QRectF box(r.center().x() - w / 2.0, r.center().y() - fm.height() / 2.0 - 1, w,
                           fm.height() + 2);
          p.fillRect(box, kOutage);
          p.setPen(kFaint);
          p.drawText(box, Qt::AlignCenter, label);
          break;
        }
      }
    }
  }

  // Grid, value labels and the unit on the left.
  p.setPen(kGrid);
  for (double t = FirstTimeTick(t0, tickStep_); t <= t1; t += tickStep_) {
    const double x = xAtTime(t);
    const bool midnight = std::fmod(t, 86400.0) == 0;
    p.setPen(midnight ? kMidnight : kGrid);
    p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
  }
  for (int k = 0;; ++k) {
    const double v = l.lo + k * ticks.step;
    if (v > l.hi + ticks.step * 1e-6) break;
    const double y = yAt(pane, v);
    p.setPen(kGrid);
    p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    p.setPen(kText);
    const double shown = std::fabs(v) < ticks.step * 1e-6 ? 0.0 : v;
    p.drawText(QRectF(plot.left() - 200 - 6, y - fm.height() / 2.0, 200, fm.height()),
               Qt::AlignRight | Qt::AlignVCenter, QString::number(shown, 'f', ticks.decimals));
  }
  p.save();
  p.setPen(kFaint);
  p.translate(l.plot.left() - fm.horizontalAdvance("-0000.000") - 10, plot.center().y());
  p.rotate(-90);
  p.drawText(QRect(-plot.height() / 2, -fm.height(), plot.height(), fm.height()), Qt::AlignCenter,
             present.empty() ? QString() : Units(present));
  p.restore();

  // The alarm threshold, then the records.
  p.save();
  p.setClipRect(plot);
  p.setRenderHint(QPainter::Antialiasing, true);
  if (snr) {
    QPen pen(kAlarm, 1.2, Qt::DashLine);
    p.setPen(pen);
    const double y = yAt(pane, alarmDb_);
    p.drawLine(QPointF(plot.left(), y), QPointF(plot.right() + 1, y));
  }
  bool anyInView = false;
  for (size_t i = 0; i < present.size(); ++i) {
    DrawSpread(p, reduced[i], plot, l.lo, l.hi, QColor(present[i]->colour));
    anyInView = anyInView || !reduced[i].columns.empty();
  }
  for (size_t i = 0; i < present.size(); ++i) {
    DrawMeans(p, reduced[i], plot, l.lo, l.hi, QColor(present[i]->colour));
  }
  p.restore();
  if (!anyInView) {
    p.setPen(kFaint);
    p.drawText(plot, Qt::AlignCenter, present.empty() ? "not in these logs" : "no values here");
  }
  p.setPen(kFrame);
  p.setBrush(Qt::NoBrush);
  p.drawRect(plot.adjusted(0, 0, -1, -1));

  // Header: the pane's name and its legend.
  QFont bold = font_;
  bold.setBold(true);
  p.setFont(bold);
  p.setPen(kText);
  const int base = l.header.top() + (l.header.height() - fm.height()) / 2;
  int x = l.header.left();
  p.drawText(QRect(x, base, 400, fm.height()), Qt::AlignLeft | Qt::AlignVCenter, style.title);
  x += QFontMetrics(bold).horizontalAdvance(style.title) + fm.height();
  p.setFont(font_);
  auto entry = [&](const QPen& pen, const QString& text) {
    const int ymid = base + fm.height() / 2;
    p.setPen(pen);
    p.drawLine(x, ymid, x + 22, ymid);
    x += 28;
    p.setPen(kText);
    p.drawText(QRect(x, base, 600, fm.height()), Qt::AlignLeft | Qt::AlignVCenter, text);
    x += fm.horizontalAdvance(text) + fm.height();
  };
  for (const SeriesStyle* s : present) {
    entry(QPen(QColor(s->colour), 2.5), QString("%1 (%2)").arg(s->name, s->unit));
  }
  if (snr) {
    entry(QPen(kAlarm, 1.5, Qt::DashLine),
          QString("Alarm threshold %1 dB").arg(QString::number(alarmDb_, 'g', 4)));
  }
}

void HistoryPlot::paintTimeAxis(QPainter& p, double t0, double t1) {
  const QFontMetrics fm(font_);
  const QRect& plot = panes_[kPanes - 1].plot;
  const int lh = fm.height();
  const int row1 = timeAxis_.top() + 5;
  const int row2 = row1 + lh;
  const bool days = tickStep_ >= 86400;
  const QString format = tickStep_ < 60 ? "HH:mm:ss" : days ? "ddd MM-dd" : "HH:mm";

  p.setPen(kText);
  for (double t = FirstTimeTick(t0, tickStep_); t <= t1; t += tickStep_) {
    const double x = xAtTime(t);
    p.setPen(kFrame);
    p.drawLine(QPointF(x, plot.bottom() + 1), QPointF(x, plot.bottom() + 4));
    p.setPen(kText);
    p.drawText(QRectF(x - 100, row1, 200, lh), Qt::AlignCenter, Utc(t).toString(format));
  }

  // The date under each midnight (the year under each new year when ticks are days), and the
  // date at the left edge when it does not crowd the first of those.
  QFont bold = font_;
  bold.setBold(true);
  p.setFont(bold);
  const QFontMetrics bm(bold);
  const QString dateFormat = days ? "yyyy" : "ddd yyyy-MM-dd";
  const double unit = days ? 0 : 86400;
  std::vector<QRectF> placed;
  for (double t = FirstTimeTick(t0, tickStep_); t <= t1; t += tickStep_) {
    const QDateTime d = Utc(t);
    const bool mark = days ? (d.date().dayOfYear() <= tickStep_ / 86400) : std::fmod(t, unit) == 0;
    if (!mark) continue;
    const QString text = d.toString(dateFormat);
    const double w = bm.horizontalAdvance(text) + 8;
    const QRectF r(xAtTime(t) - w / 2, row2, w, lh);
    if (!placed.empty() && r.left() < placed.back().right() + 8) continue;
    placed.push_back(r);
    p.drawText(r, Qt::AlignCenter, text);
  }
  const QString first = Utc(t0).toString(dateFormat);
  const QRectF edge(plot.left(), row2, bm.horizontalAdvance(first) + 8, lh);
  if (placed.empty() || edge.right() + 8 < placed.front().left()) {
    p.drawText(edge, Qt::AlignLeft | Qt::AlignVCenter, first);
  }
  p.setFont(font_);
  p.setPen(kFaint);
  p.drawText(QRect(plot.left(), row2 + lh, plot.width(), lh), Qt::AlignCenter, "Time (UTC)");
}

std::vector<HistoryPlot::Reading> HistoryPlot::readingsAt(double t) const {
  std::vector<Reading> out;
  if (!history_) return out;
  const double perPixel = (t1_ - t0_) / std::max(1, panes_[0].plot.width());
  for (int pane = 0; pane < kPanes; ++pane) {
    for (const SeriesStyle& s : Panes()[static_cast<size_t>(pane)].series) {
      const HistorySeries& series = (*history_)[s.field];
      if (series.empty()) continue;
      const auto it = std::lower_bound(series.t.begin(), series.t.end(), t);
      size_t i = static_cast<size_t>(it - series.t.begin());
      if (i == series.size() || (i > 0 && t - series.t[i - 1] < series.t[i] - t)) --i;
      const double reach = std::max(gap_[static_cast<size_t>(s.field)], 3 * perPixel);
      // Zoomed out, a pixel holds many records: the nearest one with a value stands for it.
      if (std::isnan(series.v[i])) {
        for (size_t a = i, b = i;;) {
          const bool left = a > 0 && t - series.t[a - 1] <= perPixel / 2;
          const bool right = b + 1 < series.size() && series.t[b + 1] - t <= perPixel / 2;
          if (!left && !right) break;
          if (left && !std::isnan(series.v[--a])) {
            i = a;
            break;
          }
          if (right && !std::isnan(series.v[++b])) {
            i = b;
            break;
          }
        }
      }
      QString value = QString::fromUtf8("\u2014");
      if (std::fabs(series.t[i] - t) <= reach) {
        const float v = series.v[i];
        if (std::isnan(v)) {
          value = "missing";
        } else {
          int decimals = s.decimals;
          if (decimals < 0) decimals = std::fabs(v - std::round(v)) < 1e-4 ? 0 : 3;
          value = QString::number(v, 'f', decimals) + " " + s.unit;
        }
      }
      out.push_back({pane, QColor(s.colour), QString("%1 %2").arg(s.name, value)});
    }
  }
  return out;
}

bool WriteHistoryPicture(const LogHistory& history, const QString& title, bool datesInferred,
                         double alarmDb, double t0, double t1, const QSize& size,
                         const QString& path, QString* error) {
  HistoryPlot plot;
  plot.setHistory(&history);
  plot.setTitle(title);
  plot.setDatesInferred(datesInferred);
  plot.setAlarmThreshold(alarmDb);
  QFont font;
  font.setPixelSize(std::max(11, size.height() / 72));
  plot.setFont(font);
  const QString suffix = QFileInfo(path).suffix().toLower();
  const QRect area(QPoint(0, 0), size);
  if (suffix == "png") {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    plot.paint(p, area, t0, t1);
    p.end();
    if (!image.save(path, "PNG")) {
      *error = "cannot write " + path;
      return false;
    }
    return true;
  }
  if (suffix == "svg") {
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(size);
    svg.setResolution(96);  // one pixel of the size is one CSS pixel
    svg.setViewBox(area);
    svg.setTitle("Log history");
    QPainter p;
    if (!p.begin(&svg)) {
      *error = "cannot write " + path;
      return false;
    }
    plot.paint(p, area, t0, t1);
    p.end();
    if (QFileInfo(path).size() <= 0) {
      *error = "cannot write " + path;
      return false;
    }
    return true;
  }
  *error = "not a picture name (.png or .svg): " + path;
  return false;
}

}  // namespace corvane
