#include "common/format_pattern.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>

#include "common/decimal_digits.h"

namespace corvane {
namespace {

bool IsPlaceholder(char c) {
  return c == '0' || c == '#';
}

struct NumberField {
  std::size_t begin = 0, end = 0;  // the field within the pattern; empty when none
  bool hasPoint = false;
  int minIntDigits = 0;   // from the first '0' before the point
  int fracDigits = 0;     // placeholders after the point
  int minFracDigits = 0;  // up to the last '0' after the point
};

// The number field is the first run of '0', '#' and at most one '.'; everything around it
// is literal.
NumberField FindField(std::string_view pattern) {
  NumberField f;
  std::size_t i = 0;
  while (i < pattern.size() && !IsPlaceholder(pattern[i]) && pattern[i] != '.') ++i;
  f.begin = f.end = i;
  if (i == pattern.size()) return f;
  int intPlaces = 0;
  int firstZero = -1;
  for (; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '.' && !f.hasPoint) {
      f.hasPoint = true;
    } else if (IsPlaceholder(c)) {
      if (f.hasPoint) {
        ++f.fracDigits;
        if (c == '0') f.minFracDigits = f.fracDigits;
      } else {
        if (c == '0' && firstZero < 0) firstZero = intPlaces;
        ++intPlaces;
      }
    } else {
      break;
    }
  }
  f.end = i;
  f.minIntDigits = firstZero < 0 ? 0 : intPlaces - firstZero;
  return f;
}

// Adds one unit in the last place of a string of decimal digits.
void Increment(std::string& digits) {
  for (std::size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return;
    }
    digits[i] = '0';
  }
  digits.insert(digits.begin(), '1');
}

// |x| x 10^places rounded half away from zero, as a digit string without leading zeros
// (empty for zero). Rounds the 15-digit decimal form, so 2.675 gives 2.68.
std::string ScaledDigits(double x, int places) {
  const DecimalDigits d = ToDecimalDigits(x);
  if (d.digits.empty()) return {};
  const long keep = static_cast<long>(d.pointPos) + places;  // integer digits of the result
  const long len = static_cast<long>(d.digits.size());
  std::string r;
  if (keep < 0) return {};
  if (keep == 0) return d.digits[0] >= '5' ? "1" : "";
  if (keep >= len) {
    r = d.digits;
    r.append(static_cast<std::size_t>(keep - len), '0');
    return r;
  }
  r.assign(d.digits, 0, static_cast<std::size_t>(keep));
  if (d.digits[static_cast<std::size_t>(keep)] >= '5') Increment(r);
  const std::size_t nz = r.find_first_not_of('0');
  return nz == std::string::npos ? std::string{} : r.substr(nz);
}

// At least `width` digits, zero-filled; a negative field keeps its sign in front.
std::string ZeroFilled(int v, std::size_t width) {
  const long magnitude = v < 0 ? -static_cast<long>(v) : static_cast<long>(v);
  std::string s = std::to_string(magnitude);
  if (s.size() < width) s.insert(0, width - s.size(), '0');
  return v < 0 ? "-" + s : s;
}

}  // namespace

std::string FormatPattern(double value, std::string_view pattern) {
  if (!std::isfinite(value)) value = 0.0;
  const NumberField f = FindField(pattern);
  std::string out(pattern.substr(0, f.begin));
  if (f.begin == f.end) return out;

  std::string digits = ScaledDigits(value, f.fracDigits);
  const std::size_t frac = static_cast<std::size_t>(f.fracDigits);
  if (digits.size() < frac) digits.insert(0, frac - digits.size(), '0');
  std::string intPart = digits.substr(0, digits.size() - frac);
  std::string fracPart = digits.substr(digits.size() - frac);
  const bool negative = value < 0 && digits.find_first_not_of('0') != std::string::npos;

  const std::size_t minInt = static_cast<std::size_t>(f.minIntDigits);
  if (intPart.size() < minInt) intPart.insert(0, minInt - intPart.size(), '0');
  const std::size_t minFrac = static_cast<std::size_t>(f.minFracDigits);
  while (fracPart.size() > minFrac && fracPart.back() == '0') fracPart.pop_back();

  if (negative) out += '-';
  out += intPart;
  if (f.hasPoint) {
    out += '.';
    out += fracPart;
  }
  out += pattern.substr(f.end);
  return out;
}

std::string FormatPattern(const DateTime& t, std::string_view pattern) {
  std::string out;
  std::size_t i = 0;
  while (i < pattern.size()) {
    const std::string_view rest = pattern.substr(i);
    if (rest.starts_with("yyyy")) {
      out += ZeroFilled(t.year, 4);
      i += 4;
      continue;
    }
    const struct {
      const char* code;
      int value;
    } fields[] = {{"MM", t.month}, {"dd", t.day},    {"hh", t.hour},
                  {"HH", t.hour},  {"mm", t.minute}, {"ss", t.second}};
    const int* field = nullptr;
    for (const auto& f : fields) {
      if (rest.starts_with(f.code)) field = &f.value;
    }
    if (field != nullptr) {
      out += ZeroFilled(*field, 2);
      i += 2;
    } else {
      out += pattern[i];
      ++i;
    }
  }
  return out;
}

}  // namespace corvane
