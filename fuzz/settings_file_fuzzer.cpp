// Any bytes as the settings file: the in-memory split, the file reader (through a memfd),
// the numbers read from the lines, and the writer's text read back.
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/numtext.h"
#include "fuzz_check.h"
#include "settings/settings_file.h"

namespace corvane::fuzz {
namespace {

// Lines in file order: the nine numbers around the file name (line 10).
constexpr std::array<double SettingsValues::*, 10> kNumbers = {
    &SettingsValues::sampleRate, &SettingsValues::fftLen,      &SettingsValues::centreBin,
    &SettingsValues::sigBWBins,  &SettingsValues::fMin,        &SettingsValues::fMax,
    &SettingsValues::stabLimitDb, &SettingsValues::detFrames,  &SettingsValues::logIntervalSecs,
    &SettingsValues::histLen};
int LineOf(std::size_t number) { return number < 9 ? static_cast<int>(number) : 10; }

std::string Show(double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", x);
  return buf;
}

// The split as documented, written the plain way.
std::vector<std::string> ReferenceSplit(std::string_view text) {
  std::vector<std::string> lines;
  std::string line;
  bool open = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      open = false;
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      open = true;
      if (c != '\0' && line.size() < kSettingsMaxLineLength) line.push_back(c);
    }
  }
  if (open) lines.push_back(line);
  if (lines.size() > static_cast<std::size_t>(kSettingsLineCount)) {
    lines.resize(kSettingsLineCount);
  }
  return lines;
}

// The file reader on the same bytes, through an in-memory file.
std::vector<std::string> ReadThroughFile(std::string_view text, int* count) {
  static const int fd = memfd_create("settings_fuzz", 0);
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);
  FUZZ_CHECK(fd >= 0, "memfd_create failed");
  FUZZ_CHECK(ftruncate(fd, 0) == 0, "ftruncate failed");
  FUZZ_CHECK(pwrite(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size()),
             "pwrite failed");
  std::vector<std::string> lines;
  *count = ReadSettingsLines(path, &lines);
  return lines;
}

SettingsValues ValuesFromLines(const std::vector<std::string>& lines) {
  SettingsValues v;
  for (std::size_t k = 0; k < kNumbers.size(); ++k) {
    const auto line = static_cast<std::size_t>(LineOf(k));
    if (line < lines.size()) v.*kNumbers[k] = SettingsNumber(lines[line]);
  }
  if (lines.size() > 9) v.logFileName = lines[9];
  return v;
}

// The written text splits into eleven lines that give back every value (to 15 digits) and
// the file name without its CR, LF and NUL.
void CheckWrittenText(const SettingsValues& v, const std::string& text) {
  const std::string what = "written " + Quoted(text);
  std::vector<std::string> lines;
  FUZZ_CHECK(SplitSettingsLines(text, &lines) == kSettingsLineCount, what);
  for (std::size_t k = 0; k < kNumbers.size(); ++k) {
    const double x = std::isfinite(v.*kNumbers[k]) ? v.*kNumbers[k] : 0.0;
    const std::string& line = lines[static_cast<std::size_t>(LineOf(k))];
    FUZZ_CHECK(line == SignSpacedText(x) + " ", what + " line " + Quoted(line));
    FUZZ_CHECK(!HasNanOrInf(line), what + " line " + Quoted(line));
    const double back = SettingsNumber(line);
    FUZZ_CHECK(std::fabs(back - x) <= 1e-14 * std::fabs(x) + 5e-324,
               Show(x) + " reads back as " + Show(back));
  }
  std::string name;
  for (char c : v.logFileName) {
    if (c != '\r' && c != '\n' && c != '\0') name.push_back(c);
  }
  if (name.size() > kSettingsMaxLineLength) name.resize(kSettingsMaxLineLength);
  FUZZ_CHECK(lines[9] == name, what + " name line " + Quoted(lines[9]));
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane;
  using namespace corvane::fuzz;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string what = Quoted(text);

  std::vector<std::string> lines;
  const int count = SplitSettingsLines(text, &lines);
  FUZZ_CHECK(count >= 0 && count <= kSettingsLineCount, what);
  FUZZ_CHECK(static_cast<std::size_t>(count) == lines.size(), what);
  for (const std::string& line : lines) {
    FUZZ_CHECK(line.size() <= kSettingsMaxLineLength, what);
    FUZZ_CHECK(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos,
               what + " line " + Quoted(line));
    FUZZ_CHECK(std::isfinite(SettingsNumber(line)), what + " line " + Quoted(line));
  }
  FUZZ_CHECK(lines == ReferenceSplit(text), what);

  int fileCount = -1;
  const std::vector<std::string> fileLines = ReadThroughFile(text, &fileCount);
  FUZZ_CHECK(fileCount == count && fileLines == lines,
             what + ": the file reader gives " + std::to_string(fileCount) + " lines");

  // What was read, written again: every value survives, and a second pass changes nothing.
  const SettingsValues values = ValuesFromLines(lines);
  const std::string written = SettingsFileText(values);
  CheckWrittenText(values, written);
  std::vector<std::string> again;
  SplitSettingsLines(written, &again);
  FUZZ_CHECK(SettingsFileText(ValuesFromLines(again)) == written, what);

  // The bytes as raw numbers (NaN, infinities, denormals) and a file name.
  if (size >= 10 * sizeof(double)) {
    SettingsValues raw;
    for (std::size_t k = 0; k < kNumbers.size(); ++k) {
      std::memcpy(&(raw.*kNumbers[k]), data + k * sizeof(double), sizeof(double));
    }
    raw.logFileName.assign(text.substr(10 * sizeof(double)));
    CheckWrittenText(raw, SettingsFileText(raw));
  }
  return 0;
}
