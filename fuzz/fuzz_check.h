#pragma once
// Property checks for the fuzz targets: a failed check prints what it saw and aborts, which
// libFuzzer reports as a crash with the input that caused it.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace corvane::fuzz {

[[noreturn]] inline void CheckFailed(const char* file, int line, const char* cond,
                                     const std::string& detail) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n  %s\n", file, line, cond, detail.c_str());
  std::abort();
}

// Printable form of a text for the failure message.
inline std::string Quoted(std::string_view s) {
  std::string out = "\"";
  for (unsigned char c : s.substr(0, 400)) {
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  if (s.size() > 400) out += "...";
  return out + "\"";
}

// "nan" or "inf" in any letter case.
// Literals of a pattern may join round an empty field ("i#nf" gives "inf"): only a pattern
// without any of these letters proves that a nan or inf in the output came from the value.
inline bool HasNanOrInfLetters(std::string_view s) {
  for (char c : s) {
    switch (c) {
      case 'n': case 'N': case 'a': case 'A': case 'i': case 'I': case 'f': case 'F':
        return true;
      default:
        break;
    }
  }
  return false;
}

inline bool HasNanOrInf(std::string_view s) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (std::size_t i = 0; i + 3 <= s.size(); ++i) {
    const char a = lower(s[i]), b = lower(s[i + 1]), c = lower(s[i + 2]);
    if ((a == 'n' && b == 'a' && c == 'n') || (a == 'i' && b == 'n' && c == 'f')) return true;
  }
  return false;
}

}  // namespace corvane::fuzz

#define FUZZ_CHECK(cond, detail)                                                  \
  do {                                                                            \
    if (!(cond)) ::corvane::fuzz::CheckFailed(__FILE__, __LINE__, #cond, (detail)); \
  } while (0)
