#include "logging/data_log.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "common/missing_value.h"

namespace corvane {

namespace {

constexpr const char* kLineEnd = "\r\n";

// Fixed-point text, independent of the locale; empty for a value that is not finite.
std::string Fixed(double v, int decimals) {
  if (!std::isfinite(v)) return {};
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  if (r.ec != std::errc{}) return {};
  std::string s(buf, r.ptr);
  // A value that rounds to zero is written without a sign.
  if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
  return s;
}

std::string Fixed(const std::optional<double>& v, int decimals) {
  return v ? Fixed(*v, decimals) : std::string{};
}

// Shortest text that reads back to the same double.
std::string Shortest(double v) {
  if (!std::isfinite(v)) return {};
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return r.ec == std::errc{} ? std::string(buf, r.ptr) : std::string{};
}

std::string Flag(const std::optional<bool>& v) {
  if (!v) return {};
  return *v ? "1" : "0";
}

// Control characters would end a line or a field in the middle: they become blanks.
std::string Printable(const std::string& text) {
  std::string s = text;
  for (char& c : s) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return s;
}

// RFC 4180 quoting, always: a '#' inside a quoted field is not taken for a comment.
std::string Quoted(const std::string& text) {
  std::string s = "\"";
  for (char c : Printable(text)) {
    if (c == '"') s += '"';
    s += c;
  }
  return s + "\"";
}

std::string IsoTime(int64_t unixSeconds, bool utc) {
  const auto t = static_cast<std::time_t>(unixSeconds);
  std::tm tm{};
  if ((utc ? ::gmtime_r(&t, &tm) : ::localtime_r(&t, &tm)) == nullptr) return {};
  char buf[32];
  const size_t n = std::strftime(buf, sizeof buf, utc ? "%Y-%m-%dT%H:%M:%SZ" : "%Y-%m-%dT%H:%M:%S",
                                 &tm);
  return std::string(buf, n);
}

// The first line of the file that is neither a comment nor empty: its header. Empty when
// the file is missing or holds only comments.
std::optional<std::string> ExistingHeader(const std::string& fileName, bool& unreadable) {
  unreadable = false;
  std::ifstream in(fileName, std::ios::binary);
  if (!in) {
    std::error_code ec;
    unreadable = std::filesystem::exists(fileName, ec);
    return std::nullopt;
  }
  std::string line;
  // The header follows the first run's description, never far from the start.
  for (int i = 0; i < 10000 && std::getline(in, line); ++i) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    return line;
  }
  if (in.bad()) unreadable = true;
  return std::nullopt;
}

}  // namespace

std::string DataLogFileName(const std::string& logFileName) {
  const size_t slash = logFileName.find_last_of('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = logFileName.find_last_of('.');
  // A leading dot names a hidden file; it is not an extension.
  if (dot == std::string::npos || dot <= nameStart) return logFileName + ".csv";
  return logFileName.substr(0, dot) + ".csv";
}

std::string DataLogHeader() {
  std::string s;
  for (const std::string& c : DataRecordColumns()) {
    if (!s.empty()) s += ',';
    s += c;
  }
  return s;
}

std::string DataLogDescription(const RunDescription& run) {
  std::string s;
  auto line = [&s](const std::string& key, const std::string& value) {
    s += "# " + key + ": " + Printable(value) + kLineEnd;
  };
  line("program", run.program);
  line("started", run.started);
  line("source", run.source);
  line("input", run.input + " (0 dBFS: a full-scale 16-bit sine, peak 32767)");
  line("sample_rate_hz", Shortest(run.sampleRate));
  line("fft_len", std::to_string(run.fftLen));
  line("bin_hz", run.fftLen > 0 ? Shortest(run.sampleRate / run.fftLen) : std::string{});
  line("window", run.window);
  line("window_enbw_bins", Fixed(run.enbwBins, 4));
  line("averaging_spectra", std::to_string(run.averaging));
  line("calibrated_average_s", Fixed(run.integrationS, 2) + " (" +
                                   std::to_string(run.calibratedSpectra) + " spectra)");
  line("band_hz", Shortest(run.bandLowHz) + " .. " + Shortest(run.bandHighHz));
  line("guard_band", Shortest(run.guardBand) + " x signal band");
  line("signal_band_hz", Shortest(run.sigBwHz));
  line("false_alarm", Shortest(run.falseAlarm) + " of records with noise alone");
  line("drift_span_s", Shortest(run.driftSpanS));
  return s;
}

std::vector<RunField> RunDescriptionFields(const RunDescription& run) {
  auto text = [](const char* key, const std::string& v) {
    return RunField{key, Printable(v), false};
  };
  auto number = [](const char* key, const std::string& v) { return RunField{key, v, true}; };
  return {text("program", run.program),
          text("started", run.started),
          text("source", run.source),
          text("input", run.input),
          number("sample_rate_hz", Shortest(run.sampleRate)),
          number("fft_len", std::to_string(run.fftLen)),
          number("bin_hz", run.fftLen > 0 ? Shortest(run.sampleRate / run.fftLen) : std::string{}),
          text("window", run.window),
          number("window_enbw_bins", Fixed(run.enbwBins, 4)),
          number("averaging_spectra", std::to_string(run.averaging)),
          number("calibrated_average_s", Fixed(run.integrationS, 2)),
          number("calibrated_spectra", std::to_string(run.calibratedSpectra)),
          number("band_low_hz", Shortest(run.bandLowHz)),
          number("band_high_hz", Shortest(run.bandHighHz)),
          number("guard_band", Shortest(run.guardBand)),
          number("signal_band_hz", Shortest(run.sigBwHz)),
          number("false_alarm", Shortest(run.falseAlarm)),
          number("drift_span_s", Shortest(run.driftSpanS))};
}

std::vector<std::string> DataLogFields(const DataRecord& r) {
  return {Printable(r.utc),
          Printable(r.local),
          Fixed(r.freqHz, 3),
          Fixed(r.cn0DbHz, 2),
          Flag(r.detected),
          Flag(r.steady),
          Fixed(r.snr1HzDb, 2),
          Fixed(r.signalDbfs, 2),
          Fixed(r.noiseDbfsHz, 2),
          Fixed(r.driftHzS, 5),
          Fixed(r.driftSpanS, 1),
          Fixed(r.ageS, 3),
          std::to_string(r.droppedBlocks),
          Printable(r.source)};
}

std::string DataLogRow(const DataRecord& r) {
  const std::vector<std::string> fields = DataLogFields(r);
  std::string s;
  s.reserve(160);
  for (size_t i = 0; i + 1 < fields.size(); ++i) s += fields[i] + ',';
  s += Quoted(r.source);
  return s + kLineEnd;
}

std::string IsoUtc(int64_t unixSeconds) { return IsoTime(unixSeconds, true); }
std::string IsoLocal(int64_t unixSeconds) { return IsoTime(unixSeconds, false); }

std::optional<double> LoggedFigure(double db) {
  if (db == kMissingDb || !std::isfinite(db)) return std::nullopt;
  return db;
}

AppendResult DataLog::Start(const std::string& fileName, const RunDescription& run) {
  bool unreadable = false;
  const std::optional<std::string> header = ExistingHeader(fileName, unreadable);
  if (unreadable) {
    AppendResult r;
    r.ok = false;
    r.error = "Data log not readable: " + fileName;
    r.pending = writer_.pending();
    r.dropped = writer_.dropped();
    return r;
  }
  if (header && *header != DataLogHeader()) {
    AppendResult r;
    r.ok = false;
    r.error = "Data log has other columns: " + fileName;
    r.pending = writer_.pending();
    r.dropped = writer_.dropped();
    return r;
  }
  std::string text = DataLogDescription(run);
  // A header still held from an earlier START reaches the file ahead of this one.
  const bool withHeader = !header && !headerHeld_;
  if (withHeader) text += DataLogHeader() + kLineEnd;
  const AppendResult r = writer_.Append(fileName, text);
  headerHeld_ = r.pending > 0 && (withHeader || headerHeld_);
  return r;
}

AppendResult DataLog::Append(const std::string& fileName, const DataRecord& row) {
  const AppendResult r = writer_.Append(fileName, DataLogRow(row));
  if (r.pending == 0) headerHeld_ = false;
  return r;
}

}  // namespace corvane
