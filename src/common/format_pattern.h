#pragma once
// Pattern formatting of read-outs and log fields.

#include <string>
#include <string_view>

namespace corvane {

// Number patterns: '0' a digit always shown, '#' a digit shown only when significant,
// '.' the decimal point. The number field is the first run of these characters; everything
// before and after it is copied literally ("Peak at #####Hz"). Integer digits beyond the
// pattern's are always shown; when the pattern has a point it is always shown, even with no
// fraction digits after it (1000 in "#####.#" gives "1000.", 0 in "####.0" gives ".0").
// Rounding is half away from zero on the 15-significant-digit decimal form of the value
// (the digits PlainText shows), so 2.675 in "0.00" gives "2.68" although the double lies
// just below 2.675. A minus sign stands right before the digits, after any literal prefix,
// and only when the rounded value is not zero (-0.04 in "0.0" gives "0.0"). NaN and
// infinities format as 0. Never fails.
std::string FormatPattern(double value, std::string_view pattern);

struct DateTime {
  int year = 2000;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Time patterns: yyyy, MM, dd, hh/HH (00-23), mm, ss; other characters are literal.
std::string FormatPattern(const DateTime& t, std::string_view pattern);

}  // namespace corvane
