// LogReader with any bytes, read whole and again in two pieces cut anywhere (a record being
// written when the view looked): the same records with the same values either way, never
// more bytes consumed than given, and every time line with a value for each time.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "logging/log_history.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane;
  using namespace corvane::fuzz;
  FuzzedDataProvider in(data, size);
  const double mtime = static_cast<double>(in.ConsumeIntegralInRange<int64_t>(0, 4102444800));
  const size_t cut = in.ConsumeIntegral<uint16_t>();
  const std::string text = in.ConsumeRemainingBytesAsString();

  LogReader whole;
  LogHistory a;
  const size_t n = whole.read(text, mtime, &a);
  FUZZ_CHECK(whole.consumed() <= text.size(), Quoted(text));
  FUZZ_CHECK(
      whole.consumed() == text.size() || text.find('\n', whole.consumed()) == std::string::npos,
      "a whole line left unread in " + Quoted(text));

  LogReader pieces;
  LogHistory b;
  const std::string first = text.substr(0, std::min(cut, text.size()));
  size_t m = pieces.read(first, mtime, &b);
  m += pieces.read(std::string_view(text).substr(pieces.consumed()), mtime, &b);
  FUZZ_CHECK(m == n, Quoted(text));
  FUZZ_CHECK(pieces.consumed() == whole.consumed(), Quoted(text));
  FUZZ_CHECK(pieces.skippedLines() == whole.skippedLines(), Quoted(text));

  for (int f = 0; f < kHistoryFieldCount; ++f) {
    const HistorySeries& x = a.series[static_cast<size_t>(f)];
    const HistorySeries& y = b.series[static_cast<size_t>(f)];
    FUZZ_CHECK(x.t.size() == x.v.size() && y.t.size() == y.v.size() && x.size() == y.size(),
               Quoted(text));
    for (size_t i = 0; i < x.size(); ++i) {
      FUZZ_CHECK(std::isfinite(x.t[i]) && std::isfinite(y.t[i]), Quoted(text));
      FUZZ_CHECK(x.v[i] == y.v[i] || (std::isnan(x.v[i]) && std::isnan(y.v[i])), Quoted(text));
      FUZZ_CHECK(!std::isinf(x.v[i]), Quoted(text));
    }
  }
  double t = 0;
  if (ParseUtcTime(text, &t)) FUZZ_CHECK(std::isfinite(t), Quoted(text));
  return 0;
}
