#include "common/numtext.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>

#include "common/decimal_digits.h"

namespace corvane {
namespace {

bool IsSkipped(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Walks a text while skipping the characters that never count.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) { Skip(); }
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }
  void Next() {
    ++pos_;
    Skip();
  }

 private:
  void Skip() {
    while (pos_ < text_.size() && IsSkipped(text_[pos_])) ++pos_;
  }
  std::string_view text_;
  std::size_t pos_ = 0;
};

// Enough digits to round any decimal to the nearest double (a tie between two doubles
// needs at most 767), plus a sticky digit standing for any non-zero digits cut off.
constexpr std::size_t kMaxKeptDigits = 780;
// Beyond these decimal exponents every double is 0 or out of range.
constexpr int64_t kExpLimit = 400;
constexpr int64_t kExpSaturate = 1'000'000'000;

}  // namespace

double ParseLeadingNumber(std::string_view text) {
  Reader r(text);
  bool negative = false;
  if (r.Peek() == '+' || r.Peek() == '-') {
    negative = r.Peek() == '-';
    r.Next();
  }

  // Significant digits without leading zeros; where the point falls is counted separately,
  // so digit strings of any length cost at most kMaxKeptDigits of memory.
  std::string digits;
  bool sticky = false;
  bool anyDigit = false;
  bool seenPoint = false;
  int64_t intDigits = 0;         // significant digits before the point
  int64_t leadingFracZeros = 0;  // zeros after the point before the first significant digit
  for (;;) {
    const char c = r.Peek();
    if (IsDigit(c)) {
      anyDigit = true;
      if (digits.empty() && c == '0') {
        if (seenPoint) leadingFracZeros = std::min(leadingFracZeros + 1, kExpSaturate);
      } else {
        if (digits.size() < kMaxKeptDigits) {
          digits.push_back(c);
        } else if (c != '0') {
          sticky = true;
        }
        if (!seenPoint) intDigits = std::min(intDigits + 1, kExpSaturate);
      }
      r.Next();
    } else if (c == '.' && !seenPoint) {
      seenPoint = true;
      r.Next();
    } else {
      break;
    }
  }
  if (!anyDigit) return 0.0;

  int64_t exponent = 0;
  if (r.Peek() == 'e' || r.Peek() == 'E') {
    r.Next();
    bool expNegative = false;
    if (r.Peek() == '+' || r.Peek() == '-') {
      expNegative = r.Peek() == '-';
      r.Next();
    }
    while (IsDigit(r.Peek())) {
      exponent = std::min(exponent * 10 + (r.Peek() - '0'), kExpSaturate);
      r.Next();
    }
    if (expNegative) exponent = -exponent;
  }

  if (digits.empty()) return 0.0;
  if (sticky) digits.push_back('1');

  // value = 0.digits x 10^scale
  const int64_t scale = (intDigits > 0 ? intDigits : -leadingFracZeros) + exponent;
  const double huge = std::numeric_limits<double>::max();
  if (scale > kExpLimit) return negative ? -huge : huge;
  if (scale < -kExpLimit) return 0.0;

  std::string s = "0.";
  s += digits;
  s += 'e';
  s += std::to_string(scale);
  double value = 0.0;
  const auto res = std::from_chars(s.data(), s.data() + s.size(), value);
  if (res.ec == std::errc::result_out_of_range) {
    value = scale > 0 ? huge : 0.0;
  } else if (res.ec != std::errc() || !std::isfinite(value)) {
    value = 0.0;
  }
  return negative ? -value : value;
}

bool IsWholeNumber(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && IsSkipped(text[b])) ++b;
  while (e > b && IsSkipped(text[e - 1])) --e;
  std::size_t i = b;
  if (i < e && (text[i] == '+' || text[i] == '-')) ++i;
  bool digit = false, point = false;
  for (; i < e; ++i) {
    if (IsDigit(text[i])) {
      digit = true;
    } else if (text[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!digit) return false;
  if (i < e && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < e && (text[i] == '+' || text[i] == '-')) ++i;
    bool expDigit = false;
    while (i < e && IsDigit(text[i])) {
      expDigit = true;
      ++i;
    }
    if (!expDigit) return false;
  }
  return i == e;
}

double RoundHalfUp(double x) {
  if (!std::isfinite(x)) return 0.0;
  return std::floor(x + 0.5);
}

namespace {

template <typename Int>
Int RoundHalfEvenTo(double x) {
  if (std::isnan(x)) return 0;
  constexpr double lo = static_cast<double>(std::numeric_limits<Int>::min());
  constexpr double hi = static_cast<double>(std::numeric_limits<Int>::max());
  double r = std::floor(x);
  const double frac = x - r;  // exact for |x| < 2^52, and 0 beyond
  if (frac > 0.5 || (frac == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
  if (r <= lo) return std::numeric_limits<Int>::min();
  if (r >= hi) return std::numeric_limits<Int>::max();
  return static_cast<Int>(r);
}

}  // namespace

int16_t RoundHalfEven16(double x) {
  return RoundHalfEvenTo<int16_t>(x);
}
int32_t RoundHalfEven32(double x) {
  return RoundHalfEvenTo<int32_t>(x);
}

namespace {

// The 15-digit form without sign: fixed notation for 1e-15 <= x < 1e15, exponent notation
// outside. `leadingZero` puts "0" before the point below 1.
std::string Unsigned15(double x, bool leadingZero) {
  const DecimalDigits d = ToDecimalDigits(std::fabs(x));
  if (d.digits.empty()) return "0";
  const int len = static_cast<int>(d.digits.size());
  const int p = d.pointPos;
  std::string out;
  if (p > 15 || p < -14) {
    out += d.digits[0];
    if (len > 1) {
      out += '.';
      out.append(d.digits, 1, std::string::npos);
    }
    const int e = p - 1;
    out += e < 0 ? "E-" : "E+";
    const int ae = e < 0 ? -e : e;
    if (ae < 10) out += '0';
    out += std::to_string(ae);
    return out;
  }
  if (p <= 0) {
    if (leadingZero) out += '0';
    out += '.';
    out.append(static_cast<std::size_t>(-p), '0');
    out += d.digits;
  } else if (p >= len) {
    out = d.digits;
    out.append(static_cast<std::size_t>(p - len), '0');
  } else {
    out.append(d.digits, 0, static_cast<std::size_t>(p));
    out += '.';
    out.append(d.digits, static_cast<std::size_t>(p), std::string::npos);
  }
  return out;
}

}  // namespace

std::string SignSpacedText(double x) {
  if (!std::isfinite(x)) x = 0.0;
  std::string body = Unsigned15(x, false);
  const bool negative = x < 0 && body != "0";
  return (negative ? "-" : " ") + body;
}

std::string PlainText(double x) {
  if (!std::isfinite(x)) x = 0.0;
  std::string body = Unsigned15(x, true);
  const bool negative = x < 0 && body != "0";
  return negative ? "-" + body : body;
}

double DbOf(double x) {
  return kDbFactor * std::log(x);
}

}  // namespace corvane
