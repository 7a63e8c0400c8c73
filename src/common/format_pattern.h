#pragma once
// Pattern formatting of read-outs and log fields.

#include <string>
#include <string_view>

namespace corvane {

// Number patterns: '0' a digit always shown, '#' a digit shown only when significant,
// '.' the decimal point; anything else is copied literally. Rounds half away from zero to
// the pattern's places. Never fails: NaN formats as 0, infinities as the largest finite
// magnitude the pattern can hold is not attempted, they format as 0 with their sign.
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
