// Arbitrary input to the text helpers: they must stay total, finite and self-consistent.
// Runs under the sanitizers with the other core tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

#include "common/format_pattern.h"
#include "common/numtext.h"

namespace corvane {
namespace {

class Fuzz {
 public:
  explicit Fuzz(uint64_t seed) : rng_(seed) {}
  uint64_t Next() { return rng_(); }
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }
  char Pick(std::string_view from) { return from[Below(from.size())]; }

  // Bytes biased towards the characters the reader cares about.
  std::string Text(std::size_t maxLen) {
    std::string s;
    const std::size_t n = Below(maxLen + 1);
    for (std::size_t i = 0; i < n; ++i) {
      static constexpr char kLikely[] = "0123456789.+-eE \t\n\r\0x";
      s += Below(4) == 0 ? static_cast<char>(Next() & 0xff)
                         : Pick(std::string_view(kLikely, sizeof kLikely - 1));
    }
    return s;
  }

  double Value() {
    switch (Below(8)) {
      case 0:
        return std::bit_cast<double>(Next());  // any bit pattern: NaN, inf, denormals
      case 1:
        return std::numeric_limits<double>::quiet_NaN();
      case 2:
        return Below(2) ? std::numeric_limits<double>::infinity()
                        : -std::numeric_limits<double>::infinity();
      case 3:
        return (Below(2) ? 1 : -1) * std::numeric_limits<double>::denorm_min() *
               static_cast<double>(Below(1000));
      case 4:
        return Below(2) ? 1e308 : -std::numeric_limits<double>::max();
      default: {
        // Ordinary magnitudes, with halves and near-halves.
        const double m = static_cast<double>(Next() % 2'000'001) / 1000.0 - 1000.0;
        return std::ldexp(m, static_cast<int>(Below(41)) - 20);
      }
    }
  }

  std::string Pattern() {
    std::string p;
    const std::size_t n = Below(16);
    for (std::size_t i = 0; i < n; ++i) p += Pick("0#.0#.0#Hz /-'() dBPeak");
    return p;
  }

 private:
  std::mt19937_64 rng_;
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}

TEST(Robustness, ParseLeadingNumberOnArbitraryText) {
  Fuzz f(20120615);
  for (int i = 0; i < 200'000; ++i) {
    const std::string t = f.Text(40);
    const double v = ParseLeadingNumber(t);
    ASSERT_TRUE(std::isfinite(v)) << t;
    const bool whole = IsWholeNumber(t);
    // A whole number reads the same as its compact form parsed by the standard reader.
    if (whole) {
      std::string compact;
      for (char c : t) {
        if (!IsBlank(c) && c != '+') compact += c;
      }
      const bool minus = compact.starts_with("-");
      // Built by appending: GCC 12 at -O3 sees a false overlap in insert(0, "0") (-Wrestrict).
      const std::string_view digits = std::string_view(compact).substr(minus ? 1 : 0);
      std::string body = digits.starts_with(".") ? "0" : "";
      body += digits;
      double expected = 0;
      const auto res = std::from_chars(body.data(), body.data() + body.size(), expected);
      if (res.ec == std::errc()) {
        ASSERT_EQ(res.ptr, body.data() + body.size()) << '"' << t << '"';
        ASSERT_EQ(v, minus ? -expected : expected) << '"' << t << '"';
      }
    }
  }
}

TEST(Robustness, ExtremeTexts) {
  const std::string nines(10000, '9');
  const std::string zeros(10000, '0');
  const std::string_view withNul(
      "12\0"
      "34",
      5);
  const std::string texts[] = {"1e999999",
                               "-1e999999",
                               "1e-999999",
                               "-",
                               ".",
                               "--1",
                               "1e",
                               "1e+",
                               "e",
                               "+.",
                               "-.e-",
                               nines,
                               "-" + nines,
                               "." + nines,
                               zeros + "1",
                               "0." + zeros + "1",
                               nines + "e-99999999999999999",
                               "1e" + nines,
                               "1e-" + nines,
                               std::string(withNul),
                               std::string(1, '\0'),
                               std::string(100000, ' ')};
  for (const std::string& t : texts) {
    const double v = ParseLeadingNumber(t);
    EXPECT_TRUE(std::isfinite(v)) << t.substr(0, 20);
    (void)IsWholeNumber(t);
  }
  EXPECT_EQ(ParseLeadingNumber(std::string(withNul)), 12.0);
  EXPECT_EQ(ParseLeadingNumber(nines), std::numeric_limits<double>::max());
  EXPECT_EQ(ParseLeadingNumber("1e" + nines), std::numeric_limits<double>::max());
  EXPECT_EQ(ParseLeadingNumber("1e-" + nines), 0.0);
  EXPECT_TRUE(IsWholeNumber(nines));
  EXPECT_FALSE(IsWholeNumber(std::string(withNul)));
}

TEST(Robustness, NumberTextsReadBack) {
  Fuzz f(683);
  for (int i = 0; i < 100'000; ++i) {
    const double x = f.Value();
    const std::string s = SignSpacedText(x);
    const std::string p = PlainText(x);
    ASSERT_TRUE(s[0] == ' ' || s[0] == '-') << s;
    // Same digits: the sign-spaced form only drops the "0" before the point.
    std::string digits = p[0] == '-' ? p.substr(1) : p;
    if (digits.starts_with("0.")) digits.erase(0, 1);
    ASSERT_EQ(s.substr(1), digits) << x;
    ASSERT_EQ(s[0] == '-', p[0] == '-') << x;
    const double back = ParseLeadingNumber(p);
    ASSERT_EQ(back, ParseLeadingNumber(s)) << x;
    const double expected = std::isfinite(x) ? x : 0.0;
    // 15 significant digits: within half a unit of the 15th (the largest doubles round up
    // past the range and clamp, which stays inside that too).
    ASSERT_LE(std::fabs(back - expected),
              std::fabs(expected) * 1e-14 + std::numeric_limits<double>::denorm_min())
        << x << " " << p;
  }
}

TEST(Robustness, FormatPatternOnRandomValuesAndPatterns) {
  Fuzz f(4800);
  for (int i = 0; i < 150'000; ++i) {
    const double x = f.Value();
    const std::string pattern = f.Pattern();
    const std::string out = FormatPattern(x, pattern);
    // The literal text around the number field stays in place.
    const std::size_t b = pattern.find_first_of("0#.");
    if (b == std::string::npos) {
      ASSERT_EQ(out, pattern);
      continue;
    }
    std::size_t e = b;
    bool point = false;
    while (e < pattern.size() &&
           (pattern[e] == '0' || pattern[e] == '#' || (pattern[e] == '.' && !point))) {
      point = point || pattern[e] == '.';
      ++e;
    }
    const std::string_view prefix(pattern.data(), b);
    const std::string_view suffix(pattern.data() + e, pattern.size() - e);
    ASSERT_TRUE(out.starts_with(prefix) && out.ends_with(suffix)) << x << " \"" << pattern << '"';
    const std::string field = out.substr(b, out.size() - b - suffix.size());
    ASSERT_EQ(field.find_first_not_of("-0123456789."), std::string::npos) << field;
    // The field reads back as the value rounded to the pattern's places.
    const std::size_t dot = pattern.find('.', b);
    const int places =
        dot < e ? static_cast<int>(std::count_if(pattern.begin() + static_cast<long>(dot),
                                                 pattern.begin() + static_cast<long>(e),
                                                 [](char c) { return c == '0' || c == '#'; }))
                : 0;
    const double v = std::isfinite(x) ? x : 0.0;
    if (std::fabs(v) < 1e15) {
      const double back = ParseLeadingNumber(field);
      ASSERT_LE(std::fabs(back - v), 0.5 * std::pow(10.0, -places) + std::fabs(v) * 1e-14)
          << x << " \"" << pattern << "\" -> " << out;
    }
  }
}

TEST(Robustness, TimePatternsOnAnyFields) {
  Fuzz f(1407);
  for (int i = 0; i < 20'000; ++i) {
    DateTime t;
    t.year = static_cast<int>(static_cast<int32_t>(f.Next()));
    t.month = static_cast<int>(static_cast<int32_t>(f.Next()));
    t.hour = std::numeric_limits<int>::min();
    const std::string pattern = f.Text(12) + "yyyy/MM/dd  hh:mm:ss" + f.Text(4);
    const std::string out = FormatPattern(t, pattern);
    ASSERT_GE(out.size(), 16u);
  }
}

}  // namespace
}  // namespace corvane
