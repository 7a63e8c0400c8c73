#include "display/history_columns.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace corvane {

ColumnReduction ReduceToColumns(const HistorySeries& s, double t0, double t1, int columns,
                                double gapSeconds) {
  ColumnReduction out;
  if (s.empty() || columns <= 0 || !(t1 > t0)) return out;
  const double scale = columns / (t1 - t0);
  const size_t lo = static_cast<size_t>(std::lower_bound(s.t.begin(), s.t.end(), t0) - s.t.begin());
  const size_t hi = static_cast<size_t>(std::upper_bound(s.t.begin(), s.t.end(), t1) - s.t.begin());
  const size_t begin = lo > 0 ? lo - 1 : 0;
  const size_t end = std::min(hi + 1, s.size());
  out.columns.reserve(std::min(end - begin, static_cast<size_t>(columns) + 2));

  PlotColumn cur{};
  double sum = 0;
  int count = 0;
  auto close = [&] {
    cur.mean = static_cast<float>(sum / count);
    out.columns.push_back(cur);
  };
  long curKey = 0;
  bool open = false;
  bool broken = true;  // no present value yet, or a missing one since
  double lastPresent = 0;
  for (size_t i = begin; i < end; ++i) {
    const double t = s.t[i];
    if (i > begin && t - s.t[i - 1] > gapSeconds) {
      out.outages.emplace_back((s.t[i - 1] - t0) * scale, (t - t0) * scale);
    }
    const float v = s.v[i];
    if (std::isnan(v)) {
      broken = true;
      continue;
    }
    long key;
    if (i < lo) {
      key = -1;
    } else if (i >= hi) {
      key = columns;
    } else {
      key = std::clamp(static_cast<long>((t - t0) * scale), 0L, static_cast<long>(columns) - 1);
    }
    if (!open || key != curKey) {
      if (open) close();
      const bool joined = !broken && t - lastPresent <= gapSeconds;
      const double x =
          key < 0 || key >= columns ? (t - t0) * scale : static_cast<double>(key) + 0.5;
      cur = PlotColumn{x, v, v, v, joined};
      sum = v;
      count = 1;
      curKey = key;
      open = true;
    } else {
      cur.min = std::min(cur.min, v);
      cur.max = std::max(cur.max, v);
      sum += v;
      ++count;
    }
    lastPresent = t;
    broken = false;
  }
  if (open) close();
  return out;
}

double TypicalInterval(const HistorySeries& s) {
  // A sample of the steps is enough for their median, and keeps a growing log cheap.
  const size_t stride = std::max<size_t>(1, s.size() / 20000);
  std::vector<double> steps;
  steps.reserve(s.size() / stride + 1);
  for (size_t i = 1; i < s.size(); i += stride) {
    const double d = s.t[i] - s.t[i - 1];
    if (d > 0) steps.push_back(d);
  }
  if (steps.empty()) return 1;
  auto mid = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
  std::nth_element(steps.begin(), mid, steps.end());
  return *mid;
}

bool RobustRange(std::vector<float> values, double* lo, double* hi) {
  values.erase(
      std::remove_if(values.begin(), values.end(), [](float v) { return !std::isfinite(v); }),
      values.end());
  if (values.empty()) return false;
  const size_t n = values.size();
  const size_t a = n / 100;
  const size_t b = n - 1 - n / 100;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(a), values.end());
  *lo = values[a];
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(b), values.end());
  *hi = values[b];
  return true;
}

ValueTicks NiceTicks(double lo, double minStep) {
  ValueTicks ticks;
  if (!(minStep > 0) || !std::isfinite(minStep) || !std::isfinite(lo)) {
    return ticks;
  }
  const double p = std::pow(10.0, std::floor(std::log10(minStep)));
  for (const double m : {1.0, 2.0, 5.0, 10.0}) {
    if (m * p >= minStep * (1 - 1e-9)) {
      ticks.step = m * p;
      break;
    }
  }
  ticks.first = std::ceil(lo / ticks.step - 1e-9) * ticks.step;
  ticks.decimals = std::max(0, -static_cast<int>(std::floor(std::log10(ticks.step) + 1e-9)));
  return ticks;
}

double TimeTickStep(double secondsPerPixel, double minPixels) {
  static constexpr double kSteps[] = {1,     2,     5,     10,    15,     30,    60,
                                      120,   300,   600,   900,   1800,   3600,  7200,
                                      10800, 21600, 43200, 86400, 172800, 604800};
  for (const double step : kSteps) {
    if (step / secondsPerPixel >= minPixels) return step;
  }
  return std::end(kSteps)[-1];
}

double TimeMarkStep(double secondsPerRow, double minRows) {
  if (!(secondsPerRow > 0)) return 60;
  return std::max(60.0, TimeTickStep(secondsPerRow, minRows));
}

double FirstTimeTick(double t0, double step) {
  // 1970-01-05 was a Monday; every shorter step divides a day and starts at midnight.
  const double anchor = step >= 604800 ? 4 * 86400.0 : 0.0;
  return anchor + std::ceil((t0 - anchor) / step) * step;
}

}  // namespace corvane
