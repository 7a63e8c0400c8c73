#include "logging/log_history.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>
#include <numeric>

#include "logging/data_record.h"

namespace corvane {

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12, any day: it may run past
// the month's end and is counted on).
int64_t DaysFromCivil(int64_t y, int m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int* y, int* m, int* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yoe + era * 400 + (*m <= 2));
}

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Exactly `n` decimal digits at `s[pos]`.
bool Digits(std::string_view s, size_t pos, size_t n, int* out) {
  if (pos + n > s.size()) return false;
  int v = 0;
  for (size_t i = pos; i < pos + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  *out = v;
  return true;
}

// "HH:MM:SS" as seconds after midnight.
bool ParseTimeOfDay(std::string_view s, int32_t* tod) {
  int h = 0, m = 0, sec = 0;
  if (s.size() != 8 || s[2] != ':' || s[5] != ':' || !Digits(s, 0, 2, &h) || !Digits(s, 3, 2, &m) ||
      !Digits(s, 6, 2, &sec) || h > 23 || m > 59 || sec > 59) {
    return false;
  }
  *tod = h * 3600 + m * 60 + sec;
  return true;
}

bool ParseNumber(std::string_view s, double* out) {
  if (s.empty()) return false;
  const char* end = s.data() + s.size();
  const auto [ptr, ec] = std::from_chars(s.data(), end, *out);
  return ec == std::errc() && ptr == end;
}

// A value beyond what a float holds is as good as missing.
float AsFloat(double v) {
  return std::fabs(v) <= std::numeric_limits<float>::max() ? static_cast<float>(v) : kNaN;
}

// A field of the data log: empty, unreadable or not finite is missing.
float FieldValue(std::string_view s) {
  double v = 0;
  return ParseNumber(Trim(s), &v) ? AsFloat(v) : kNaN;
}

// Splits one CSV line; quoted fields may hold commas and doubled quotes (returned as they
// stand between the quotes). False for an unterminated quote.
bool SplitCsv(std::string_view line, std::vector<std::string_view>* fields) {
  fields->clear();
  size_t i = 0;
  for (;;) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    size_t next = std::string_view::npos;
    if (i < line.size() && line[i] == '"') {
      size_t j = i + 1;
      while (j < line.size()) {
        if (line[j] == '"') {
          if (j + 1 < line.size() && line[j + 1] == '"') {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      if (j >= line.size()) return false;
      fields->push_back(line.substr(i + 1, j - i - 1));
      size_t k = j + 1;
      while (k < line.size() && IsBlank(line[k])) ++k;
      if (k < line.size() && line[k] != ',') return false;
      next = k < line.size() ? k : std::string_view::npos;
    } else {
      next = line.find(',', i);
      fields->push_back(line.substr(i, next == std::string_view::npos ? next : next - i));
    }
    if (next == std::string_view::npos) return true;
    i = next + 1;
  }
}

LogFormat DetectFormat(std::string_view line, std::vector<std::string_view>* scratch) {
  if (line.front() == '#') return LogFormat::DataLog;
  int32_t tod = 0;
  if (line.size() >= 8 && ParseTimeOfDay(line.substr(0, 8), &tod) &&
      (line.size() == 8 || IsBlank(line[8]))) {
    return LogFormat::RecordLog;
  }
  double t = 0;
  if (SplitCsv(line, scratch) && scratch->size() > 1 &&
      (Trim((*scratch)[0]) == "utc" || ParseUtcTime(Trim((*scratch)[0]), &t))) {
    return LogFormat::DataLog;
  }
  return LogFormat::Unknown;
}

// Local date and time of day to UTC through the C library's zone rules, one mktime call per
// hour of records: a week of one-second records costs 168 calls, not 604,800.
class LocalToUtc {
 public:
  double operator()(int64_t localDay, int32_t tod) {
    const int64_t key = localDay * 24 + tod / 3600;
    if (key != key_) {
      int y = 0, m = 0, d = 0;
      CivilFromDays(localDay, &y, &m, &d);
      std::tm tm{};
      tm.tm_year = y - 1900;
      tm.tm_mon = m - 1;
      tm.tm_mday = d;
      tm.tm_hour = tod / 3600;
      tm.tm_isdst = -1;
      hourUtc_ = static_cast<double>(std::mktime(&tm));
      key_ = key;
    }
    return hourUtc_ + tod % 3600;
  }

 private:
  int64_t key_ = std::numeric_limits<int64_t>::min();
  double hourUtc_ = 0;
};

void SortSeries(HistorySeries* s, size_t sortedUpTo) {
  if (std::is_sorted(s->t.begin() + static_cast<ptrdiff_t>(sortedUpTo ? sortedUpTo - 1 : 0),
                     s->t.end())) {
    return;
  }
  std::vector<uint32_t> order(s->t.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(),
                   [s](uint32_t a, uint32_t b) { return s->t[a] < s->t[b]; });
  HistorySeries sorted;
  sorted.t.reserve(order.size());
  sorted.v.reserve(order.size());
  for (uint32_t i : order) {
    sorted.t.push_back(s->t[i]);
    sorted.v.push_back(s->v[i]);
  }
  *s = std::move(sorted);
}

void Push(LogHistory* h, HistoryField f, double t, float v) {
  HistorySeries& s = (*h)[f];
  s.t.push_back(t);
  s.v.push_back(v);
}

}  // namespace

size_t LogHistory::rows() const {
  size_t n = 0;
  for (const HistorySeries& s : series) n = std::max(n, s.size());
  return n;
}

bool LogHistory::span(double* first, double* last) const {
  bool any = false;
  for (const HistorySeries& s : series) {
    if (s.empty()) continue;
    *first = any ? std::min(*first, s.t.front()) : s.t.front();
    *last = any ? std::max(*last, s.t.back()) : s.t.back();
    any = true;
  }
  return any;
}

size_t LogReader::read(std::string_view text, double mtime, LogHistory* out) {
  size_t added = 0;
  std::vector<TimeOfDayRecord> pending;
  size_t pos = 0;
  for (;;) {
    const size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) break;
    std::string_view line = text.substr(pos, nl - pos);
    pos = nl + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (Trim(line).empty()) continue;
    if (format_ == LogFormat::Unknown) format_ = DetectFormat(line, &fields_);
    switch (format_) {
      case LogFormat::RecordLog:
        readRecordLine(line, &pending);
        break;
      case LogFormat::DataLog:
        readDataLine(line, out, &added);
        break;
      case LogFormat::Unknown:
        ++skipped_;
        break;
    }
  }
  consumed_ += pos;
  if (!pending.empty()) {
    dateRecords(pending, mtime, out);
    added += pending.size();
  }
  return added;
}

void LogReader::readRecordLine(std::string_view line, std::vector<TimeOfDayRecord>* pending) {
  std::string_view tokens[7];
  size_t n = 0;
  size_t i = 0;
  while (i < line.size() && n < 7) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    const size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    tokens[n++] = line.substr(start, i - start);
  }
  TimeOfDayRecord r{};
  double v[5];
  if (n != 6 || !ParseTimeOfDay(tokens[0], &r.tod)) {
    ++skipped_;
    return;
  }
  for (size_t k = 0; k < 5; ++k) {
    if (!ParseNumber(tokens[k + 1], &v[k]) || !std::isfinite(v[k])) {
      ++skipped_;
      return;
    }
  }
  // The signal is written as -99.9 whenever it is not above 0; -99.0 stands for a noise
  // level or S/N not measured. S/N -99 means no steady carrier since the last record: the
  // frequency is then that of the strongest bin of the band, noise as often as not, and is
  // no carrier frequency (the data log leaves it empty likewise). No peak gives 0.
  auto near = [](double x, double y) { return std::fabs(x - y) < 0.05; };
  r.v[0] = v[0] == 0 || near(v[3], -99.0) ? kNaN : AsFloat(v[0]);
  r.v[1] = v[1] <= 0 ? kNaN : AsFloat(v[1]);
  r.v[2] = near(v[2], -99.0) ? kNaN : AsFloat(v[2]);
  r.v[3] = near(v[3], -99.0) ? kNaN : AsFloat(v[3]);
  r.v[4] = AsFloat(v[4]);
  pending->push_back(r);
}

void LogReader::dateRecords(const std::vector<TimeOfDayRecord>& pending, double mtime,
                            LogHistory* out) {
  LocalToUtc toUtc;
  const size_t n = pending.size();
  std::vector<int64_t> day(n);

  // Back from the modification time. The last record was written just before it, so it
  // takes the day that puts it nearest: the day before for 23:59:59 in a file closed at
  // 00:00:00, the same day for records a little ahead of the file's clock (a run whose
  // tick follows a faster source clock).
  const std::time_t m = static_cast<std::time_t>(std::floor(mtime));
  std::tm local{};
  localtime_r(&m, &local);
  const int64_t mtimeDay = DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  int64_t d = mtimeDay;
  for (const int64_t candidate : {mtimeDay - 1, mtimeDay + 1}) {
    if (std::fabs(toUtc(candidate, pending.back().tod) - mtime) <
        std::fabs(toUtc(d, pending.back().tod) - mtime)) {
      d = candidate;
    }
  }
  for (size_t k = n; k-- > 0;) {
    if (k + 1 < n && pending[k].tod > pending[k + 1].tod) --d;
    day[k] = d;
  }
  // Records appended to a file already read follow its last record, even when the file's
  // time says otherwise (it was touched, copied or its clock moved).
  if (haveLast_ && toUtc(day[0], pending[0].tod) < lastUtc_) {
    d = lastDay_;
    int32_t prev = lastTod_;
    for (size_t k = 0; k < n; ++k) {
      if (pending[k].tod < prev) ++d;
      prev = pending[k].tod;
      day[k] = d;
    }
  }

  for (size_t k = 0; k < n; ++k) {
    const TimeOfDayRecord& r = pending[k];
    const double t = toUtc(day[k], r.tod);
    Push(out, HistoryField::FreqHz, t, r.v[0]);
    Push(out, HistoryField::SignalDb, t, r.v[1]);
    Push(out, HistoryField::NoiseDb, t, r.v[2]);
    Push(out, HistoryField::Snr1HzDb, t, r.v[3]);
    Push(out, HistoryField::DriftHzS, t, r.v[4]);
  }
  haveLast_ = true;
  lastDay_ = day[n - 1];
  lastTod_ = pending[n - 1].tod;
  lastUtc_ = toUtc(lastDay_, lastTod_);
}

void LogReader::readDataLine(std::string_view line, LogHistory* out, size_t* added) {
  if (line.front() == '#') return;
  if (!SplitCsv(line, &fields_)) {
    ++skipped_;
    return;
  }
  if (std::any_of(fields_.begin(), fields_.end(),
                  [](std::string_view f) { return Trim(f) == "utc"; })) {
    // A header comes at every START; columns are taken by their names wherever they stand.
    useHeader(fields_);
    return;
  }
  if (!columnsKnown_) {
    // Rows before any header (the head of the file cut off): the data log's own order.
    static const std::vector<std::string_view> kDefault(DataRecordColumns().begin(),
                                                        DataRecordColumns().end());
    useHeader(kDefault);
  }
  double t = 0;
  if (utcColumn_ < 0 || static_cast<size_t>(utcColumn_) >= fields_.size() ||
      !ParseUtcTime(Trim(fields_[static_cast<size_t>(utcColumn_)]), &t)) {
    ++skipped_;
    return;
  }
  for (int f = 0; f < kHistoryFieldCount; ++f) {
    const int c = column_[static_cast<size_t>(f)];
    if (c < 0) continue;
    const float v = static_cast<size_t>(c) < fields_.size()
                        ? FieldValue(fields_[static_cast<size_t>(c)])
                        : kNaN;
    Push(out, static_cast<HistoryField>(f), t, v);
  }
  ++*added;
}

void LogReader::useHeader(const std::vector<std::string_view>& names) {
  column_.fill(-1);
  utcColumn_ = -1;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string_view name = Trim(names[i]);
    const int c = static_cast<int>(i);
    if (name == "utc") utcColumn_ = c;
    if (name == "snr_1hz_db") column_[static_cast<size_t>(HistoryField::Snr1HzDb)] = c;
    if (name == "cn0_dbhz") column_[static_cast<size_t>(HistoryField::Cn0DbHz)] = c;
    if (name == "signal_dbfs") column_[static_cast<size_t>(HistoryField::SignalDbfs)] = c;
    if (name == "noise_dbfs_hz") column_[static_cast<size_t>(HistoryField::NoiseDbfsHz)] = c;
    if (name == "freq_hz") column_[static_cast<size_t>(HistoryField::FreqHz)] = c;
    if (name == "drift_hz_s") column_[static_cast<size_t>(HistoryField::DriftHzS)] = c;
  }
  columnsKnown_ = true;
}

LogHistory JoinHistories(std::vector<LogHistory> parts) {
  LogHistory joined;
  for (int f = 0; f < kHistoryFieldCount; ++f) {
    const HistoryField field = static_cast<HistoryField>(f);
    std::vector<HistorySeries*> ss;
    size_t total = 0;
    for (LogHistory& p : parts) {
      if (p[field].empty()) continue;
      ss.push_back(&p[field]);
      total += p[field].size();
    }
    // Daily files given in any order still join without a sort of every record.
    std::stable_sort(ss.begin(), ss.end(), [](const HistorySeries* a, const HistorySeries* b) {
      return a->t.front() < b->t.front();
    });
    HistorySeries& out = joined[field];
    out.t.reserve(total);
    out.v.reserve(total);
    for (HistorySeries* s : ss) {
      out.t.insert(out.t.end(), s->t.begin(), s->t.end());
      out.v.insert(out.v.end(), s->v.begin(), s->v.end());
      *s = HistorySeries();
    }
    SortSeries(&out, 0);
  }
  return joined;
}

void AppendHistory(LogHistory* into, const LogHistory& more) {
  for (int f = 0; f < kHistoryFieldCount; ++f) {
    HistorySeries& s = into->series[static_cast<size_t>(f)];
    const HistorySeries& m = more.series[static_cast<size_t>(f)];
    if (m.empty()) continue;
    const size_t old = s.size();
    s.t.insert(s.t.end(), m.t.begin(), m.t.end());
    s.v.insert(s.v.end(), m.v.begin(), m.v.end());
    SortSeries(&s, old);
  }
}

bool ParseUtcTime(std::string_view s, double* seconds) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
  if (!Digits(s, 0, 4, &y) || s.size() < 10 || s[4] != '-' || !Digits(s, 5, 2, &mo) ||
      s[7] != '-' || !Digits(s, 8, 2, &d) || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo)) {
    return false;
  }
  size_t i = 10;
  double frac = 0;
  if (i < s.size() && (s[i] == 'T' || s[i] == ' ')) {
    if (!Digits(s, i + 1, 2, &h) || i + 3 >= s.size() || s[i + 3] != ':' ||
        !Digits(s, i + 4, 2, &mi) || h > 23 || mi > 59) {
      return false;
    }
    i += 6;
    if (i < s.size() && s[i] == ':') {
      if (!Digits(s, i + 1, 2, &sec) || sec > 60) return false;
      i += 3;
      if (i < s.size() && s[i] == '.') {
        size_t j = i + 1;
        double scale = 0.1;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9') {
          frac += (s[j] - '0') * scale;
          scale *= 0.1;
          ++j;
        }
        if (j == i + 1) return false;
        i = j;
      }
    }
  }
  int offset = 0;
  if (i < s.size() && (s[i] == 'Z' || s[i] == 'z')) {
    ++i;
  } else if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    const int sign = s[i] == '-' ? -1 : 1;
    int oh = 0, om = 0;
    if (!Digits(s, i + 1, 2, &oh) || oh > 23) return false;
    i += 3;
    if (i < s.size() && s[i] == ':') ++i;
    if (i < s.size()) {
      if (!Digits(s, i, 2, &om) || om > 59) return false;
      i += 2;
    }
    offset = sign * (oh * 3600 + om * 60);
  }
  if (i != s.size()) return false;
  *seconds =
      static_cast<double>(DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + sec - offset) +
      frac;
  return true;
}

}  // namespace corvane
