#include "network/record_json.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "logging/data_log.h"

namespace corvane {

namespace {

// A value the CSV leaves empty is null; a number goes in as the CSV writes it.
std::string JsonNumber(const std::string& text) {
  return text.empty() ? "null" : text;
}

std::string Fixed(double v, int decimals) {
  if (!std::isfinite(v)) return {};
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  return r.ec == std::errc{} ? std::string(buf, r.ptr) : std::string{};
}

class JsonObject {
 public:
  void Text(const std::string& key, const std::string& value) {
    Key(key);
    s_ += JsonString(value);
  }
  void Number(const std::string& key, const std::string& value) {
    Key(key);
    s_ += JsonNumber(value);
  }
  std::string Done() { return s_ + "}"; }

 private:
  void Key(const std::string& key) {
    s_ += s_.size() > 1 ? "," : "";
    s_ += JsonString(key) + ":";
  }
  std::string s_ = "{";
};

}  // namespace

std::string JsonString(const std::string& text) {
  std::string s = "\"";
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      s += '\\';
      s += c;
    } else if (c == '\n') {
      s += "\\n";
    } else if (c == '\r') {
      s += "\\r";
    } else if (c == '\t') {
      s += "\\t";
    } else if (u < 0x20) {
      static const char* hex = "0123456789abcdef";
      s += "\\u00";
      s += hex[u >> 4];
      s += hex[u & 15];
    } else {
      s += c;
    }
  }
  return s + "\"";
}

std::string RecordJson(const DataRecord& record, const std::string& station) {
  const std::vector<std::string>& columns = DataRecordColumns();
  const std::vector<std::string> fields = DataLogFields(record);
  JsonObject o;
  o.Text("station", station);
  for (size_t i = 0; i < columns.size() && i < fields.size(); ++i) {
    const std::string& c = columns[i];
    if (c == "utc" || c == "local" || c == "source") {
      o.Text(c, fields[i]);
    } else {
      o.Number(c, fields[i]);
    }
  }
  return o.Done();
}

std::string RunJson(const RunDescription& run, const std::string& station) {
  JsonObject o;
  o.Text("station", station);
  for (const RunField& f : RunDescriptionFields(run)) {
    if (f.number) {
      o.Number(f.key, f.value);
    } else {
      o.Text(f.key, f.value);
    }
  }
  return o.Done();
}

std::string AlarmJson(const AlarmEvent& alarm, const std::string& station) {
  JsonObject o;
  o.Text("station", station);
  o.Text("utc", alarm.utc);
  o.Text("local", alarm.local);
  o.Number("snr_1hz_db", Fixed(alarm.snr1HzDb, 2));
  o.Number("threshold_db", Fixed(alarm.thresholdDb, 2));
  o.Number("peak_hz", Fixed(alarm.peakHz, 3));
  o.Text("source", alarm.source);
  return o.Done();
}

}  // namespace corvane
