// BuildLogRecord with any doubles (NaN, infinities, denormals, huge values) and any clock:
// never "nan"/"inf" text, six fields, CR LF, missing values where nothing finite was given.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/numtext.h"
#include "fuzz_check.h"
#include "logging/log_record.h"

namespace corvane::fuzz {
namespace {

double AnyDouble(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: {
      const uint64_t bits = in.ConsumeIntegral<uint64_t>();
      double x;
      std::memcpy(&x, &bits, sizeof x);
      return x;
    }
    case 1:
      return static_cast<double>(in.ConsumeIntegralInRange<int>(-200000, 200000)) / 1000.0;
    case 2: {
      constexpr double kSpecial[] = {NAN, -NAN, INFINITY, -INFINITY, 0.0, -0.0, 1e308, -1e308,
                                     5e-324, -99.0, -99.95, 99.95, 0.05, -0.05};
      return kSpecial[in.ConsumeIntegralInRange<size_t>(0, std::size(kSpecial) - 1)];
    }
    default:
      return in.ConsumeFloatingPoint<double>();
  }
}

std::string Show(double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", x);
  return buf;
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane;
  using namespace corvane::fuzz;
  FuzzedDataProvider in(data, size);
  DateTime now;
  const bool validClock = in.ConsumeBool();
  auto clock = [&](int hi) {
    return validClock ? in.ConsumeIntegralInRange<int>(0, hi) : in.ConsumeIntegral<int>();
  };
  now.year = clock(9999);
  now.month = clock(12);
  now.day = clock(31);
  now.hour = clock(23);
  now.minute = clock(59);
  now.second = clock(59);
  const int32_t fftLen = in.ConsumeBool() ? 1 << in.ConsumeIntegralInRange<int>(0, 16)
                                          : in.ConsumeIntegral<int32_t>();
  const double rate = AnyDouble(in);
  const double peakBin = AnyDouble(in);
  const double signal = AnyDouble(in);
  const double noise = AnyDouble(in);
  const double sn = AnyDouble(in);
  const double drift = AnyDouble(in);

  const std::string line = BuildLogRecord(now, rate, fftLen, peakBin, signal, noise, sn, drift);
  const std::string what = "rate " + Show(rate) + " fft " + std::to_string(fftLen) + " bin " +
                           Show(peakBin) + " signal " + Show(signal) + " noise " + Show(noise) +
                           " sn " + Show(sn) + " drift " + Show(drift) + " -> " + Quoted(line);
  FUZZ_CHECK(!HasNanOrInf(line), what);
  for (char c : line) {
    FUZZ_CHECK((c >= '0' && c <= '9') || c == ' ' || c == ':' || c == '-' || c == '.' ||
                   c == '\r' || c == '\n',
               what);
  }
  FUZZ_CHECK(line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0, what);
  FUZZ_CHECK(line.find_first_of("\r\n") == line.size() - 2, what);
  // Six fields of at most a sign, 309 integer digits and the pattern's own characters.
  FUZZ_CHECK(line.size() <= 6 * 330, what);
  if (!validClock) return 0;

  // "HH:mm:ss", then five numbers, each followed by two blanks.
  FUZZ_CHECK(line.size() > 10 && line[2] == ':' && line[5] == ':' &&
                 line.compare(8, 2, "  ") == 0,
             what);
  char clockText[16];
  std::snprintf(clockText, sizeof clockText, "%02d:%02d:%02d", now.hour, now.minute, now.second);
  FUZZ_CHECK(line.compare(0, 8, clockText) == 0, what);
  std::vector<std::string> fields;
  std::size_t pos = 10;
  const std::size_t end = line.size() - 2;
  while (pos < end) {
    const std::size_t sep = line.find("  ", pos + 1);  // the signal field starts with a blank
    FUZZ_CHECK(sep != std::string::npos && sep + 2 <= end, what);
    fields.push_back(line.substr(pos, sep - pos));
    pos = sep + 2;
  }
  FUZZ_CHECK(fields.size() == 5, what + ": " + std::to_string(fields.size()) + " fields");
  for (const std::string& f : fields) {
    FUZZ_CHECK(IsWholeNumber(f) && std::isfinite(ParseLeadingNumber(f)), what + " " + Quoted(f));
  }

  const bool signalMeasured = std::isfinite(signal) && signal > 0;
  if (!signalMeasured) FUZZ_CHECK(fields[1] == "-99.9", what);
  if (signalMeasured) {
    FUZZ_CHECK(fields[1][0] == ' ', what);
    FUZZ_CHECK(std::fabs(ParseLeadingNumber(fields[1]) - signal) <= 0.05 + 1e-14 * signal, what);
  }
  if (!std::isfinite(noise)) FUZZ_CHECK(fields[2] == "-99.0", what);
  if (!std::isfinite(sn)) FUZZ_CHECK(fields[3] == "-99.0", what);
  if (!std::isfinite(drift)) FUZZ_CHECK(fields[4] == "00.0000", what);
  if (fftLen <= 0) FUZZ_CHECK(fields[0] == "0000", what);
  if (std::isfinite(noise)) {
    FUZZ_CHECK(std::fabs(ParseLeadingNumber(fields[2]) - noise) <= 0.05 + 1e-14 * std::fabs(noise),
               what);
  }
  if (std::isfinite(drift)) {
    FUZZ_CHECK(
        std::fabs(ParseLeadingNumber(fields[4]) - drift) <= 0.00005 + 1e-14 * std::fabs(drift),
        what);
  }
  return 0;
}
