// FormatPattern with any value and any pattern text (number and time patterns): only the
// pattern's own characters, digits, '-' and '.' come out, never "nan"/"inf"; the length is
// bounded; the number field reads back as the value rounded to the pattern's places.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "common/format_pattern.h"
#include "common/numtext.h"
#include "fuzz_check.h"

namespace corvane::fuzz {
namespace {

bool IsFieldChar(char c) { return c == '0' || c == '#' || c == '.'; }

std::string Show(double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", x);
  return buf;
}

double Pow10(int n) {
  double p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

struct PickedValue {
  double value = 0;
  // Set when value is the decimal n / 10^k exactly as its 15-digit form shows it.
  bool exact = false;
  int64_t n = 0;
  int k = 0;
};

PickedValue PickValue(FuzzedDataProvider& in) {
  PickedValue p;
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: {  // any bit pattern, NaN and infinities included
      const uint64_t bits = in.ConsumeIntegral<uint64_t>();
      std::memcpy(&p.value, &bits, sizeof p.value);
      return p;
    }
    case 1:  // decimal fractions, where the rounding ties live
      p.n = in.ConsumeIntegralInRange<int64_t>(-999'999'999'999'999, 999'999'999'999'999);
      p.k = in.ConsumeIntegralInRange<int>(0, 22);
      break;
    case 2:
      p.n = in.ConsumeIntegralInRange<int>(-100000, 100000);
      p.k = in.ConsumeIntegralInRange<int>(0, 6);
      break;
    default:
      p.value = in.ConsumeFloatingPoint<double>();
      return p;
  }
  // At most 15 significant digits: the nearest double shows them again.
  p.value = static_cast<double>(p.n) / Pow10(p.k);
  p.exact = true;
  return p;
}

// n / 10^k rounded half away from zero to `places` decimals, as digits without leading zeros
// (empty for zero). Exact integer arithmetic: |n| < 10^15.
std::string ExactRounded(int64_t n, int k, int places) {
  const uint64_t m = n < 0 ? static_cast<uint64_t>(-n) : static_cast<uint64_t>(n);
  const int shift = k - places;
  if (m == 0 || shift > 16) return {};
  if (shift <= 0) return std::to_string(m) + std::string(static_cast<std::size_t>(-shift), '0');
  uint64_t div = 1;
  for (int i = 0; i < shift; ++i) div *= 10;
  const uint64_t q = m / div + (2 * (m % div) >= div ? 1 : 0);
  return q == 0 ? std::string{} : std::to_string(q);
}

// Every output character is a digit, '-', '.' or one the pattern itself holds.
void CheckAlphabet(std::string_view out, std::string_view pattern, const std::string& what) {
  bool inPattern[256] = {};
  for (unsigned char c : pattern) inPattern[c] = true;
  for (unsigned char c : out) {
    FUZZ_CHECK(inPattern[c] || (c >= '0' && c <= '9') || c == '-' || c == '.', what);
  }
}

void CheckAnyPattern(double value, std::string_view pattern) {
  const std::string out = FormatPattern(value, pattern);
  const std::string what = Show(value) + " in " + Quoted(pattern) + " -> " + Quoted(out);
  CheckAlphabet(out, pattern, what);
  if (!HasNanOrInfLetters(pattern)) FUZZ_CHECK(!HasNanOrInf(out), what);
  // At most 309 integer digits and a sign more than the pattern.
  FUZZ_CHECK(out.size() <= pattern.size() + 310, what);

  std::size_t field = 0;
  while (field < pattern.size() && !IsFieldChar(pattern[field])) ++field;
  FUZZ_CHECK(out.compare(0, field, pattern.substr(0, field)) == 0, what);
  if (field == pattern.size()) FUZZ_CHECK(out == pattern, what);
}

// A pattern that is one number field, built from the input, with literal text around it.
void CheckNumberField(const PickedValue& picked, FuzzedDataProvider& in) {
  const double value = picked.value;
  const int intPlaces = in.ConsumeIntegralInRange<int>(0, 20);
  const bool point = in.ConsumeBool();
  const int fracPlaces = point ? in.ConsumeIntegralInRange<int>(0, 20) : 0;
  const uint64_t zeros = in.ConsumeIntegral<uint64_t>();  // which places are '0'
  std::string field;
  int minInt = 0, minFrac = 0;
  for (int i = 0; i < intPlaces; ++i) {
    const bool zero = (zeros >> i) & 1u;
    field += zero ? '0' : '#';
    if (zero && minInt == 0) minInt = intPlaces - i;
  }
  if (point) field += '.';
  for (int i = 0; i < fracPlaces; ++i) {
    const bool zero = (zeros >> (32 + i)) & 1u;
    field += zero ? '0' : '#';
    if (zero) minFrac = i + 1;
  }
  std::string prefix = in.ConsumeRandomLengthString(16);
  std::string suffix = in.ConsumeRandomLengthString(16);
  std::erase_if(prefix, IsFieldChar);
  std::erase_if(suffix, IsFieldChar);  // or it would lengthen the field

  const std::string out = FormatPattern(value, field);
  const std::string what = Show(value) + " in " + Quoted(field) + " -> " + Quoted(out);
  FUZZ_CHECK(FormatPattern(value, prefix + field + suffix) == prefix + out + suffix,
             what + " with " + Quoted(prefix) + " / " + Quoted(suffix));
  if (field.empty()) return;

  const double expect = std::isfinite(value) ? value : 0.0;
  const double back = ParseLeadingNumber(out);
  const double step = 0.5 / Pow10(fracPlaces);
  FUZZ_CHECK(std::fabs(back - expect) <= step * (1 + 1e-9) + 1e-14 * std::fabs(expect),
             what + " reads " + Show(back));

  std::string_view digits = out;
  const bool negative = !digits.empty() && digits[0] == '-';
  if (negative) digits.remove_prefix(1);
  FUZZ_CHECK(negative == (expect < 0 && back != 0), what);  // never "-0"
  const std::size_t dot = digits.find('.');
  FUZZ_CHECK((dot != std::string_view::npos) == point, what);
  const std::size_t intDigits = point ? dot : digits.size();
  const std::size_t fracDigits = point ? digits.size() - dot - 1 : 0;
  FUZZ_CHECK(intDigits >= static_cast<std::size_t>(minInt), what);
  FUZZ_CHECK(fracDigits >= static_cast<std::size_t>(minFrac), what);
  FUZZ_CHECK(fracDigits <= static_cast<std::size_t>(fracPlaces), what);
  // No leading zero beyond those the pattern asks for.
  if (intDigits > static_cast<std::size_t>(minInt)) FUZZ_CHECK(digits[0] != '0', what);
  if (fracDigits > static_cast<std::size_t>(minFrac)) FUZZ_CHECK(digits.back() != '0', what);

  // A decimal the value holds exactly rounds half away from zero, digit for digit.
  if (picked.exact) {
    std::string shown;
    for (char c : digits) {
      if (c != '.') shown += c;
    }
    shown.append(static_cast<std::size_t>(fracPlaces) - fracDigits, '0');
    shown.erase(0, shown.find_first_not_of('0'));
    const std::string rounded = ExactRounded(picked.n, picked.k, fracPlaces);
    FUZZ_CHECK(shown == rounded, what + ": " + std::to_string(picked.n) + "e-" +
                                    std::to_string(picked.k) + " rounds to " + Quoted(rounded));
  }
}

void CheckTimePattern(const DateTime& t, std::string_view pattern) {
  const std::string out = FormatPattern(t, pattern);
  char fields[96];
  std::snprintf(fields, sizeof fields, "%d-%d-%d %d:%d:%d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  const std::string what = std::string(fields) + " in " + Quoted(pattern) + " -> " + Quoted(out);
  CheckAlphabet(out, pattern, what);
  if (!HasNanOrInfLetters(pattern)) FUZZ_CHECK(!HasNanOrInf(out), what);
  // Each two- or four-letter field grows to at most 11 characters ("-2147483648").
  FUZZ_CHECK(out.size() <= pattern.size() * 6, what);

  const bool inRange = t.year >= 0 && t.year <= 9999 && t.month >= 0 && t.month <= 99 &&
                       t.day >= 0 && t.day <= 99 && t.hour >= 0 && t.hour <= 99 &&
                       t.minute >= 0 && t.minute <= 99 && t.second >= 0 && t.second <= 99;
  if (inRange) {
    FUZZ_CHECK(out.size() == pattern.size(), what);
    char ref[64];
    std::snprintf(ref, sizeof ref, "%04d%02d%02d%02d%02d%02d%02d", t.year, t.month, t.day,
                  t.hour, t.hour, t.minute, t.second);
    FUZZ_CHECK(FormatPattern(t, "yyyyMMddhhHHmmss") == ref, what);
  }
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane;
  using namespace corvane::fuzz;
  FuzzedDataProvider in(data, size);
  const PickedValue picked = PickValue(in);
  const double value = picked.value;
  DateTime t;
  const bool small = in.ConsumeBool();
  auto field = [&](int hi) {
    return small ? in.ConsumeIntegralInRange<int>(0, hi) : in.ConsumeIntegral<int>();
  };
  t.year = field(9999);
  t.month = field(99);
  t.day = field(99);
  t.hour = field(99);
  t.minute = field(99);
  t.second = field(99);
  const std::string shortPattern = in.ConsumeRandomLengthString(64);
  CheckNumberField(picked, in);
  const std::string pattern = in.ConsumeRemainingBytesAsString();

  CheckAnyPattern(value, pattern);
  CheckAnyPattern(value, shortPattern);
  CheckTimePattern(t, pattern);
  return 0;
}
