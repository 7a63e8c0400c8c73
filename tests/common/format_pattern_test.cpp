#include "common/format_pattern.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace corvane {
namespace {

struct Case {
  double value;
  const char* pattern;
  const char* expected;
};

void ExpectAll(std::initializer_list<Case> cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(FormatPattern(c.value, c.pattern), c.expected)
        << c.value << " in \"" << c.pattern << '"';
  }
}

TEST(FormatPattern, CentreFrequencyAndCursor) {
  ExpectAll({
      {1000.24, "####.0", "1000.2"},
      {12000.0 * 683 / 8192, "####.0", "1000.5"},  // 1000.488...
      {0, "####.0", ".0"},
      {0.04, "####.0", ".0"},
      {0.5, "####.0", ".5"},
      {54321.06, "####.0", "54321.1"},  // more integer digits than the pattern has
      {1000, "#####.#", "1000."},
      {1000.49, "#####.#", "1000.5"},
      {1000.04, "#####.#", "1000."},
      {0, "#####.#", "."},
      {0.96, "#####.#", "1."},
  });
}

TEST(FormatPattern, PeakReadOutKeepsLiteralsAroundTheDigits) {
  ExpectAll({
      {1000.4, "Peak at #####Hz", "Peak at 1000Hz"},
      {1000.5, "Peak at #####Hz", "Peak at 1001Hz"},
      {0, "Peak at #####Hz", "Peak at Hz"},
      {0.4, "Peak at #####Hz", "Peak at Hz"},
      {123456.7, "Peak at #####Hz", "Peak at 123457Hz"},
  });
}

TEST(FormatPattern, DecibelReadOuts) {
  ExpectAll({
      {12.34, "#0.0dB", "12.3dB"},
      {-3.26, "#0.0dB", "-3.3dB"},
      {0, "#0.0dB", "0.0dB"},
      {0.25, "#0.0dB", "0.3dB"},
      {-0.25, "#0.0dB", "-0.3dB"},
      {123.45, "#0.0dB", "123.5dB"},
      {47.56, " #0.0dB", " 47.6dB"},
      {-3.26, " #0.0dB", " -3.3dB"},
      {12.34, "#0.0dB (Sig B/W)", "12.3dB (Sig B/W)"},
      {-35.21, "#0.0dB (Sig B/W)", "-35.2dB (Sig B/W)"},
  });
}

TEST(FormatPattern, BinSizeShowsThePointEvenForAWholeNumber) {
  ExpectAll({
      {12000.0 / 8192, "#0.##Hz", "1.46Hz"},
      {1.4648, "#0.##Hz", "1.46Hz"},
      {12000.0 / 1024, "#0.##Hz", "11.72Hz"},
      {48000.0 / 1024, "#0.##Hz", "46.88Hz"},  // 46.875, half away from zero
      {44100.0 / 32768, "#0.##Hz", "1.35Hz"},
      {11025.0 / 1024, "#0.##Hz", "10.77Hz"},
      {12, "#0.##Hz", "12.Hz"},
      {1.5, "#0.##Hz", "1.5Hz"},
      {0, "#0.##Hz", "0.Hz"},
  });
}

TEST(FormatPattern, DriftReadOut) {
  ExpectAll({
      {0.123456, "##0.00## Hz/s", "0.1235 Hz/s"},
      {0.0012, "##0.00## Hz/s", "0.0012 Hz/s"},
      {1.5, "##0.00## Hz/s", "1.50 Hz/s"},
      {0, "##0.00## Hz/s", "0.00 Hz/s"},
      {-0.00005, "##0.00## Hz/s", "-0.0001 Hz/s"},
      {-0.00004, "##0.00## Hz/s", "0.00 Hz/s"},
      {-12.3, "##0.00## Hz/s", "-12.30 Hz/s"},
      {1234.56789, "##0.00## Hz/s", "1234.5679 Hz/s"},
  });
}

TEST(FormatPattern, LogFields) {
  ExpectAll({
      {1000.49, "0000  ", "1000  "},
      {523.4, "0000  ", "0523  "},
      {0, "0000  ", "0000  "},
      {12345.6, "0000  ", "12346  "},
      {12.34, " 00.0  ", " 12.3  "},
      {5.26, " 00.0  ", " 05.3  "},
      {-35.21, "00.0  ", "-35.2  "},
      {47.56, "00.0  ", "47.6  "},
      {-99, "00.0  ", "-99.0  "},
      {-5.26, "00.0  ", "-05.3  "},
      {-5.26, "00.0", "-05.3"},
      {123.4, "00.0  ", "123.4  "},
      {0.00123, "00.0000  ", "00.0012  "},
      {-0.00123, "00.0000  ", "-00.0012  "},
      {0.000049, "00.0000  ", "00.0000  "},
  });
}

TEST(FormatPattern, RoundsHalfAwayFromZeroOnTheFifteenDigitForm) {
  ExpectAll({
      {0.125, "0.00", "0.13"},
      {-0.125, "0.00", "-0.13"},
      {2.5, "0", "3"},
      {-2.5, "0", "-3"},
      {2.675, "0.00",
       "2.68"},  // the double is 2.67499999999999982236431605997495353221893310546875
      {1.005, "0.00", "1.01"},
      {0.05, "0.0", "0.1"},
      {0.045, "0.00", "0.05"},  // the double lies below 0.045
      {9.995, "0.00", "10.00"},
      {99.96, "00.0", "100.0"},
      {0.5, "#", "1"},
      {0.4999, "#", ""},
  });
}

TEST(FormatPattern, NegativeValueRoundingToZeroHasNoSign) {
  ExpectAll({
      {-0.04, "0.0", "0.0"},
      {-0.0, "00.0  ", "00.0  "},
      {-0.4, "Peak at #####Hz", "Peak at Hz"},
      {-1e-300, "#0.0dB", "0.0dB"},
  });
}

TEST(FormatPattern, ExtremeValues) {
  const double inf = std::numeric_limits<double>::infinity();
  ExpectAll({
      {std::nan(""), "#0.0dB", "0.0dB"},
      {inf, "00.0  ", "00.0  "},
      {-inf, "##0.00## Hz/s", "0.00 Hz/s"},
      {1e-300, "00.0000  ", "00.0000  "},
      {std::numeric_limits<double>::denorm_min(), "0.0", "0.0"},
      {1e20, "0", "100000000000000000000"},
      {1234567890123456789.0, "0", "1234567890123460000"},  // 15 significant digits
  });
  const std::string big = FormatPattern(1e300, "#0.0dB");
  EXPECT_EQ(big.size(), 301u + 4u);
  EXPECT_EQ(big.substr(0, 2), "10");
  EXPECT_EQ(big.substr(big.size() - 4), ".0dB");
  EXPECT_EQ(FormatPattern(-std::numeric_limits<double>::max(), "0").size(), 310u);
}

TEST(FormatPattern, PatternsWithoutAFieldAreLiteral) {
  EXPECT_EQ(FormatPattern(12.5, ""), "");
  EXPECT_EQ(FormatPattern(12.5, "Hz"), "Hz");
  EXPECT_EQ(FormatPattern(12.5, "."), "13.");
  EXPECT_EQ(FormatPattern(12.5, "Hz."), "Hz13.");
  // Only the first run is the field; a later '0' or '.' is literal.
  EXPECT_EQ(FormatPattern(7.25, "0.0 at 0.0"), "7.3 at 0.0");
  EXPECT_EQ(FormatPattern(7.25, "0..0"), "7..0");
}

TEST(FormatPattern, TimePatterns) {
  const DateTime t{2012, 6, 15, 14, 3, 7};
  EXPECT_EQ(FormatPattern(t, "HH:mm:ss  "), "14:03:07  ");
  EXPECT_EQ(FormatPattern(t, "hh:mm:ss"), "14:03:07");
  EXPECT_EQ(FormatPattern(t, "yyyy/MM/dd  hh:mm:ss"), "2012/06/15  14:03:07");
  const DateTime midnight{987, 1, 2, 0, 0, 0};
  EXPECT_EQ(FormatPattern(midnight, "yyyy/MM/dd  hh:mm:ss"), "0987/01/02  00:00:00");
  EXPECT_EQ(FormatPattern(DateTime{2012, 12, 31, 23, 59, 59}, "hh HH"), "23 23");
  // Single letters and other characters are literal.
  EXPECT_EQ(FormatPattern(t, "Big Signal hh:mm:ss"), "Big Signal 14:03:07");
  EXPECT_EQ(FormatPattern(t, "y M d h m s yyy"), "y M d h m s yyy");
  EXPECT_EQ(FormatPattern(t, ""), "");
}

}  // namespace
}  // namespace corvane
