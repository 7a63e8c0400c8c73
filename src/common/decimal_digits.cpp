#include "common/decimal_digits.h"

#include <charconv>
#include <cmath>

namespace corvane {

DecimalDigits ToDecimalDigits(double x) {
  DecimalDigits d;
  x = std::fabs(x);
  if (!(x > 0.0) || !std::isfinite(x)) return d;
  // d.dddddddddddddde+XXX: at most 1 + 1 + 14 + 5 characters.
  char buf[40];
  const auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, 14);
  const char* end = res.ptr;
  const char* p = buf;
  for (; p < end && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') d.digits.push_back(*p);
  }
  int exp10 = 0;
  if (p < end) {
    ++p;
    if (p < end && *p == '+') ++p;
    std::from_chars(p, end, exp10);
  }
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  d.pointPos = exp10 + 1;
  return d;
}

}  // namespace corvane
