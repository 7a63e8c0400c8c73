#include "capture/source_clock.h"

#include <cmath>

namespace corvane {

void SourceClock::Start(int64_t originMs, double rate) {
  origin_ = originMs;
  rate_ = rate >= 1 && std::isfinite(rate) ? rate : 0;
  const int64_t floorSecond = originMs >= 0 ? originMs / 1000 : -((-originMs + 999) / 1000);
  next_ = floorSecond + 1;
}

int64_t SourceClock::NowMs(int64_t frames) const {
  if (rate_ < 1) return origin_;
  return origin_ + static_cast<int64_t>(std::floor(static_cast<double>(frames) * 1000.0 / rate_));
}

std::vector<int64_t> SourceClock::Advance(int64_t frames) {
  std::vector<int64_t> seconds;
  if (rate_ < 1) return seconds;
  // In exact frame counts: second s has passed once frames / rate >= s - origin.
  while (true) {
    const double need = std::ceil(static_cast<double>(next_ * 1000 - origin_) * rate_ / 1000.0);
    if (static_cast<double>(frames) < need) break;
    seconds.push_back(next_++);
  }
  return seconds;
}

}  // namespace corvane
