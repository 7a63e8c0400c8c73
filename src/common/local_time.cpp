#include "common/local_time.h"

#include <atomic>
#include <chrono>
#include <ctime>

namespace corvane {
namespace {

std::atomic<int64_t> lastReloadMs{INT64_MIN};

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void ReloadLocalZone() {
  ::tzset();
  lastReloadMs.store(SteadyMs(), std::memory_order_relaxed);
}

int UtcOffsetAt(int64_t unixSeconds) {
  const int64_t now = SteadyMs();
  int64_t last = lastReloadMs.load(std::memory_order_relaxed);
  if ((last == INT64_MIN || now - last >= 1000) &&
      lastReloadMs.compare_exchange_strong(last, now, std::memory_order_relaxed)) {
    ::tzset();
  }
  const auto t = static_cast<std::time_t>(unixSeconds);
  std::tm tm{};
  // localtime_r, unlike localtime, does not reload the zone.
  if (::localtime_r(&t, &tm) == nullptr) return 0;
  return static_cast<int>(tm.tm_gmtoff);
}

}  // namespace corvane
