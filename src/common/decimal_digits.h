#pragma once
// The 15 significant decimal digits that every text form of a number starts from.

#include <string>

namespace corvane {

struct DecimalDigits {
  // No leading or trailing zeros; empty for zero.
  std::string digits;
  // The value is 0.digits x 10^pointPos.
  int pointPos = 0;
};

// x must be finite; its sign is ignored. Rounded to 15 significant digits, half to even
// on the exact binary value.
DecimalDigits ToDecimalDigits(double x);

}  // namespace corvane
