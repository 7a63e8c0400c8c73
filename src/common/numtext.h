#pragma once
// Number reading, rounding and the text forms every control, read-out and file uses.

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// Reads the leading number of any text, never failing: blanks, tabs and line feeds are
// skipped wherever they stand; sign, digits with at most one '.', optional exponent; stops
// at the first other character. No number gives 0. The result is always finite: a
// magnitude beyond the double range gives the largest double of that sign, one below the
// smallest denormal gives 0. Digit strings of any length are read.
double ParseLeadingNumber(std::string_view text);

// True when the whole text is one decimal number (optional sign, digits with at most one
// '.', optional exponent with digits), with only blanks, tabs and line feeds around it;
// ParseLeadingNumber then gives that number.
bool IsWholeNumber(std::string_view text);

// floor(x + 0.5). Non-finite input gives 0.
double RoundHalfUp(double x);

// Round half to even into integers. Out-of-range values saturate, NaN gives 0.
int16_t RoundHalfEven16(double x);
int32_t RoundHalfEven32(double x);

// Shortest decimal with at most 15 significant digits, no "0" before the point below 1,
// with a blank before a non-negative number: 0.5 -> " .5", 12000 -> " 12000", -3 -> "-3".
// Fixed notation for 1e-15 <= |x| < 1e15; outside that, "1.5E+20" / "1E-16" (which
// ParseLeadingNumber reads back). -0, NaN and infinities give " 0".
std::string SignSpacedText(double x);
// The same digits with the leading "0" and no sign blank: 0.5 -> "0.5".
std::string PlainText(double x);

// 10 / ln 10 cut to ten digits.
inline constexpr double kDbFactor = 4.342944819;
// Decibels of a linear power ratio; callers guard x > 0.
double DbOf(double x);

}  // namespace corvane
