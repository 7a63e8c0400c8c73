#include "common/numtext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace corvane {
namespace {

TEST(ParseLeadingNumber, ReadsSignDigitsPointAndExponent) {
  EXPECT_EQ(ParseLeadingNumber("12000"), 12000.0);
  EXPECT_EQ(ParseLeadingNumber("-3.25"), -3.25);
  EXPECT_EQ(ParseLeadingNumber("+7"), 7.0);
  EXPECT_EQ(ParseLeadingNumber(".5"), 0.5);
  EXPECT_EQ(ParseLeadingNumber("5."), 5.0);
  EXPECT_EQ(ParseLeadingNumber("1.5e3"), 1500.0);
  EXPECT_EQ(ParseLeadingNumber("1.5E+3"), 1500.0);
  EXPECT_EQ(ParseLeadingNumber("25e-1"), 2.5);
  EXPECT_EQ(ParseLeadingNumber("0.1"), 0.1);  // correctly rounded, as a literal would be
  EXPECT_EQ(ParseLeadingNumber("1.36533333333333"), 1.36533333333333);
}

TEST(ParseLeadingNumber, IgnoresBlanksTabsAndLineFeedsAnywhere) {
  EXPECT_EQ(ParseLeadingNumber(" 12000 "), 12000.0);
  EXPECT_EQ(ParseLeadingNumber("1 2"), 12.0);
  EXPECT_EQ(ParseLeadingNumber("- 5"), -5.0);
  EXPECT_EQ(ParseLeadingNumber("\t1\n0 . 5"), 10.5);
  EXPECT_EQ(ParseLeadingNumber("1 e 2"), 100.0);
  // CR is not one of them: it ends the number.
  EXPECT_EQ(ParseLeadingNumber("4\r5"), 4.0);
  EXPECT_EQ(ParseLeadingNumber("\r5"), 0.0);
}

TEST(ParseLeadingNumber, StopsAtTheFirstOtherCharacter) {
  EXPECT_EQ(ParseLeadingNumber("1s"), 1.0);
  EXPECT_EQ(ParseLeadingNumber("5min"), 5.0);
  EXPECT_EQ(ParseLeadingNumber("1hr"), 1.0);
  EXPECT_EQ(ParseLeadingNumber("1.2.3"), 1.2);
  EXPECT_EQ(ParseLeadingNumber("3-4"), 3.0);
  EXPECT_EQ(ParseLeadingNumber("1e"), 1.0);
  EXPECT_EQ(ParseLeadingNumber("1e+"), 1.0);
  EXPECT_EQ(ParseLeadingNumber("2e-x"), 2.0);
  EXPECT_EQ(ParseLeadingNumber("1,5"), 1.0);
  EXPECT_EQ(ParseLeadingNumber(std::string_view("7\0"
                                                "8",
                                                3)),
            7.0);
}

TEST(ParseLeadingNumber, NoNumberGivesZero) {
  for (const char* t : {"", " ", "No Log", "-", "+", ".", "-.", "--1", "+-1", "e5", ".e5", "x1",
                        "FFT Window Type"}) {
    EXPECT_EQ(ParseLeadingNumber(t), 0.0) << '"' << t << '"';
  }
}

TEST(ParseLeadingNumber, OutOfRangeStaysFinite) {
  const double huge = std::numeric_limits<double>::max();
  EXPECT_EQ(ParseLeadingNumber("1e999999"), huge);
  EXPECT_EQ(ParseLeadingNumber("-1e999999"), -huge);
  EXPECT_EQ(ParseLeadingNumber("1e99999999999999999999999"), huge);
  EXPECT_EQ(ParseLeadingNumber("2e308"), huge);
  EXPECT_EQ(ParseLeadingNumber("1e308"), 1e308);
  EXPECT_EQ(ParseLeadingNumber("1e-999999"), 0.0);
  EXPECT_EQ(ParseLeadingNumber("1e-400"), 0.0);
  // Denormals are kept, not flushed.
  EXPECT_EQ(ParseLeadingNumber("4.9406564584124654e-324"),
            std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(ParseLeadingNumber("1e-310"), 1e-310);
  EXPECT_EQ(ParseLeadingNumber("2.2250738585072014e-308"), std::numeric_limits<double>::min());
}

TEST(ParseLeadingNumber, VeryLongDigitStrings) {
  const std::string ones(10000, '1');
  const double v = ParseLeadingNumber(ones);
  EXPECT_TRUE(std::isfinite(v));
  EXPECT_EQ(v, std::numeric_limits<double>::max());  // 1.1e9999
  EXPECT_NEAR(ParseLeadingNumber("0." + ones), 1.0 / 9.0, 1e-16);
  EXPECT_EQ(ParseLeadingNumber(ones + "e-9999"), ParseLeadingNumber("1.11111111111111111111"));
  EXPECT_EQ(ParseLeadingNumber("0." + std::string(10000, '0') + "1e10001"), 1.0);
  EXPECT_EQ(ParseLeadingNumber(std::string(10000, '0') + "42"), 42.0);
  // A digit far beyond the kept ones still decides a tie: 1 + 2^-53 is exactly halfway
  // between two doubles and rounds to even (1), anything above it rounds up.
  const std::string half = "1.00000000000000011102230246251565404236316680908203125";
  EXPECT_EQ(ParseLeadingNumber(half), 1.0);
  EXPECT_EQ(ParseLeadingNumber(half + std::string(2000, '0') + "1"), 1.0 + 0x1p-52);
}

TEST(IsWholeNumber, AcceptsOneNumberWithBlanksAround) {
  for (const char* t :
       {"1000", " 1000 ", "-5", "+5", ".5", "5.", "1000.5", "1e3", "1E-3", "\t12\n"}) {
    EXPECT_TRUE(IsWholeNumber(t)) << '"' << t << '"';
  }
  for (const char* t : {"", " ", "-", ".", "1 2", "1000Hz", "1.2.3", "--1", "1e", "1e+", "abc",
                        "- 5", "0x10", " 7\r\n"}) {
    EXPECT_FALSE(IsWholeNumber(t)) << '"' << t << '"';
  }
  EXPECT_FALSE(IsWholeNumber(std::string_view("1\0", 2)));
}

TEST(Rounding, HalfUpIsFloorOfXPlusHalf) {
  EXPECT_EQ(RoundHalfUp(2.5), 3.0);
  EXPECT_EQ(RoundHalfUp(682.67), 683.0);
  EXPECT_EQ(RoundHalfUp(1.46), 1.0);
  EXPECT_EQ(RoundHalfUp(-2.5), -2.0);
  EXPECT_EQ(RoundHalfUp(-2.6), -3.0);
  EXPECT_EQ(RoundHalfUp(std::nan("")), 0.0);
  EXPECT_EQ(RoundHalfUp(-std::numeric_limits<double>::infinity()), 0.0);
}

TEST(Rounding, HalfEvenIntoIntegers) {
  EXPECT_EQ(RoundHalfEven32(2.5), 2);
  EXPECT_EQ(RoundHalfEven32(3.5), 4);
  EXPECT_EQ(RoundHalfEven32(-2.5), -2);
  EXPECT_EQ(RoundHalfEven32(-3.5), -4);
  EXPECT_EQ(RoundHalfEven32(4.39), 4);
  EXPECT_EQ(RoundHalfEven32(2.5000001), 3);
  EXPECT_EQ(RoundHalfEven32(-0.4), 0);
  EXPECT_EQ(RoundHalfEven32(8192.0), 8192);
  EXPECT_EQ(RoundHalfEven16(0.5), 0);
  EXPECT_EQ(RoundHalfEven16(1.5), 2);
  EXPECT_EQ(RoundHalfEven16(-1.5), -2);
  EXPECT_EQ(RoundHalfEven16(5400.0), 5400);
}

TEST(Rounding, HalfEvenSaturatesAndMapsNaNToZero) {
  EXPECT_EQ(RoundHalfEven16(32767.4), 32767);
  EXPECT_EQ(RoundHalfEven16(32767.5), 32767);
  EXPECT_EQ(RoundHalfEven16(1e9), 32767);
  EXPECT_EQ(RoundHalfEven16(-32768.5), -32768);
  EXPECT_EQ(RoundHalfEven16(-1e9), -32768);
  EXPECT_EQ(RoundHalfEven32(2147483647.5), 2147483647);
  EXPECT_EQ(RoundHalfEven32(-2147483648.4), -2147483647 - 1);
  EXPECT_EQ(RoundHalfEven32(1e300), 2147483647);
  EXPECT_EQ(RoundHalfEven32(std::numeric_limits<double>::infinity()), 2147483647);
  EXPECT_EQ(RoundHalfEven32(-std::numeric_limits<double>::infinity()), -2147483647 - 1);
  EXPECT_EQ(RoundHalfEven32(std::nan("")), 0);
  EXPECT_EQ(RoundHalfEven16(std::nan("")), 0);
  EXPECT_EQ(RoundHalfEven32(9007199254740993.0), 2147483647);
}

TEST(NumberText, SignSpacedAndPlainForms) {
  struct Case {
    double x;
    const char* signSpaced;
    const char* plain;
  };
  const Case cases[] = {
      {0.5, " .5", "0.5"},
      {-0.5, "-.5", "-0.5"},
      {12000, " 12000", "12000"},
      {0, " 0", "0"},
      {-0.0, " 0", "0"},
      {-3, "-3", "-3"},
      {(8192.0 * 2) / 12000, " 1.36533333333333", "1.36533333333333"},
      {(8192.0 * 7) / 12000, " 4.77866666666667", "4.77866666666667"},
      {(8192.0 * 4) / 12000, " 2.73066666666667", "2.73066666666667"},
      {(12000.0 * 68) / 8192, " 99.609375", "99.609375"},
      {0.1 + 0.2, " .3", "0.3"},
      {1000.5, " 1000.5", "1000.5"},
      {0.001, " .001", "0.001"},
      {-0.0625, "-.0625", "-0.0625"},
      {123456789012345.0, " 123456789012345", "123456789012345"},
      {1234567.891234567, " 1234567.89123457", "1234567.89123457"},
      {999999999999999.0, " 999999999999999", "999999999999999"},
      {0.000000000000001, " .000000000000001", "0.000000000000001"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SignSpacedText(c.x), c.signSpaced) << c.x;
    EXPECT_EQ(PlainText(c.x), c.plain) << c.x;
  }
}

TEST(NumberText, ExponentFormOutsideTheFixedRange) {
  EXPECT_EQ(SignSpacedText(1e15), " 1E+15");
  EXPECT_EQ(PlainText(-1.5e20), "-1.5E+20");
  EXPECT_EQ(PlainText(1e-16), "1E-16");
  EXPECT_EQ(SignSpacedText(-2.5e-100), "-2.5E-100");
  EXPECT_EQ(PlainText(std::numeric_limits<double>::max()), "1.79769313486232E+308");
  EXPECT_EQ(PlainText(std::numeric_limits<double>::denorm_min()), "4.94065645841247E-324");
  // 999999999999999.9 has 16 digits: it rounds to 1E+15.
  EXPECT_EQ(PlainText(999999999999999.9), "1E+15");
}

TEST(NumberText, NonFiniteGivesZero) {
  EXPECT_EQ(SignSpacedText(std::nan("")), " 0");
  EXPECT_EQ(PlainText(std::numeric_limits<double>::infinity()), "0");
  EXPECT_EQ(SignSpacedText(-std::numeric_limits<double>::infinity()), " 0");
}

TEST(NumberText, ReadsBackThroughParseLeadingNumber) {
  for (double x : {12000.0, -35.21, 0.00123, 1.36533333333333, 1e20, -4e-20, 683.0, 0.5}) {
    EXPECT_EQ(ParseLeadingNumber(SignSpacedText(x)), x) << x;
    EXPECT_EQ(ParseLeadingNumber(PlainText(x)), x) << x;
  }
}

TEST(DbOf, UsesTheTenDigitFactor) {
  EXPECT_EQ(DbOf(1.0), 0.0);
  EXPECT_DOUBLE_EQ(DbOf(10.0), 4.342944819 * std::log(10.0));
  EXPECT_NEAR(DbOf(10.0), 10.0, 1e-8);
  EXPECT_NE(DbOf(100.0), 20.0);  // the cut factor, not 10 / ln 10
  EXPECT_NEAR(DbOf(100.0), 20.0, 1e-8);
  EXPECT_NEAR(DbOf(0.5), -3.0103, 1e-4);
}

}  // namespace
}  // namespace corvane
