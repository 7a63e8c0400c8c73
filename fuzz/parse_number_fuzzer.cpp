// Any bytes as a control text or settings line: ParseLeadingNumber and IsWholeNumber, and
// the text forms that write numbers back (which ParseLeadingNumber must read again).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "common/numtext.h"
#include "fuzz_check.h"

namespace corvane::fuzz {
namespace {

bool IsSkipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }

bool SameBits(double a, double b) {
  uint64_t x, y;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return x == y;
}

std::string Show(double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", x);
  return buf;
}

// The text forms of any double: finite digits only, short, read back as (nearly) the value,
// and stable when read and written again.
void CheckTextForms(double x) {
  const std::string spaced = SignSpacedText(x);
  const std::string plain = PlainText(x);
  const std::string what = Show(x) + " -> " + Quoted(spaced) + " / " + Quoted(plain);
  FUZZ_CHECK(!HasNanOrInf(spaced) && !HasNanOrInf(plain), what);
  FUZZ_CHECK(!spaced.empty() && spaced.size() <= 31 && plain.size() <= 32, what);
  FUZZ_CHECK(spaced[0] == ' ' || spaced[0] == '-', what);
  FUZZ_CHECK(IsWholeNumber(spaced) && IsWholeNumber(plain), what);

  const double back = ParseLeadingNumber(spaced);
  FUZZ_CHECK(std::isfinite(back), what);
  FUZZ_CHECK(back == ParseLeadingNumber(plain), what + " reads " + Show(back));
  const double expect = std::isfinite(x) ? x : 0.0;
  // 15 significant digits, then the nearest double (a denormal step at the bottom).
  FUZZ_CHECK(std::fabs(back - expect) <= 1e-14 * std::fabs(expect) + 5e-324,
             what + " reads " + Show(back));
  FUZZ_CHECK(SignSpacedText(back) == spaced, what + " rewritten " + Quoted(SignSpacedText(back)));
}

void CheckRoundings(double x) {
  const double up = RoundHalfUp(x);
  FUZZ_CHECK(std::isfinite(up), Show(x));
  if (std::isfinite(x) && std::fabs(x) < 1e15) {
    // floor(x + 0.5) as written: the sum may round up by one step of x.
    const double slack = 4 * std::numeric_limits<double>::epsilon() * std::fmax(1.0, std::fabs(x));
    FUZZ_CHECK(up - x <= 0.5 + slack && x - up < 0.5, Show(x) + " -> " + Show(up));
  }
  const int32_t r32 = RoundHalfEven32(x);
  const int16_t r16 = RoundHalfEven16(x);
  if (std::isfinite(x) && x > -2147483648.0 && x < 2147483647.0) {
    FUZZ_CHECK(std::fabs(static_cast<double>(r32) - x) <= 0.5, Show(x));
    if (std::fabs(static_cast<double>(r32) - x) == 0.5) FUZZ_CHECK(r32 % 2 == 0, Show(x));
  }
  if (std::isfinite(x) && x > -32768.0 && x < 32767.0) {
    FUZZ_CHECK(r16 == r32, Show(x));
  }
  if (std::isnan(x)) FUZZ_CHECK(r16 == 0 && r32 == 0, Show(x));
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane;
  using namespace corvane::fuzz;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string what = Quoted(text);

  const double v = ParseLeadingNumber(text);
  FUZZ_CHECK(std::isfinite(v), what + " reads " + Show(v));

  // Blanks, tabs and line feeds never matter, wherever they stand.
  std::string squeezed;
  for (char c : text) {
    if (!IsSkipped(c)) squeezed.push_back(c);
  }
  FUZZ_CHECK(SameBits(ParseLeadingNumber(squeezed), v), what + " reads " + Show(v));

  // A sign put before an unsigned number negates it (zero keeps whatever sign it gets).
  std::size_t first = 0;
  while (first < text.size() && IsSkipped(text[first])) ++first;
  if (first < text.size() && (text[first] == '.' || (text[first] >= '0' && text[first] <= '9'))) {
    const double neg = ParseLeadingNumber("-" + std::string(text));
    FUZZ_CHECK(neg == -v, what + ": " + Show(v) + " negated reads " + Show(neg));
    FUZZ_CHECK(SameBits(ParseLeadingNumber("+" + std::string(text)), v), what);
  }

  // A whole number reads exactly as the C library reads it, saturated to the finite range.
  if (IsWholeNumber(text)) {
    std::size_t b = 0, e = text.size();
    while (b < e && IsSkipped(text[b])) ++b;
    while (e > b && IsSkipped(text[e - 1])) --e;
    const std::string core(text.substr(b, e - b));
    double ref = std::strtod(core.c_str(), nullptr);
    if (std::isinf(ref)) ref = std::copysign(std::numeric_limits<double>::max(), ref);
    FUZZ_CHECK(v == ref, what + " reads " + Show(v) + ", strtod " + Show(ref));
  }

  // Any text reads as the C library reads its longest leading number once the blanks are
  // out, saturated to the finite range; no number gives 0.
  {
    std::size_t i = 0, n = squeezed.size();
    if (i < n && (squeezed[i] == '+' || squeezed[i] == '-')) ++i;
    bool digit = false, point = false;
    for (; i < n; ++i) {
      if (squeezed[i] >= '0' && squeezed[i] <= '9') {
        digit = true;
      } else if (squeezed[i] == '.' && !point) {
        point = true;
      } else {
        break;
      }
    }
    if (digit && i < n && (squeezed[i] == 'e' || squeezed[i] == 'E')) {
      std::size_t j = i + 1;
      if (j < n && (squeezed[j] == '+' || squeezed[j] == '-')) ++j;
      if (j < n && squeezed[j] >= '0' && squeezed[j] <= '9') {
        while (j < n && squeezed[j] >= '0' && squeezed[j] <= '9') ++j;
        i = j;
      }
    }
    double ref = 0.0;
    if (digit) {
      ref = std::strtod(squeezed.substr(0, i).c_str(), nullptr);
      if (std::isinf(ref)) ref = std::copysign(std::numeric_limits<double>::max(), ref);
    }
    FUZZ_CHECK(v == ref, what + " reads " + Show(v) + ", strtod " + Show(ref));
  }

  CheckTextForms(v);
  CheckRoundings(v);
  // The same bytes as a raw double reach the text forms with every bit pattern.
  if (size >= sizeof(double)) {
    double raw;
    std::memcpy(&raw, data, sizeof raw);
    CheckTextForms(raw);
    CheckRoundings(raw);
  }
  return 0;
}
