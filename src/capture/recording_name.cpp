#include "capture/recording_name.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace corvane {

std::string IsoUtcText(int64_t utcSeconds) {
  using namespace std::chrono;
  const int64_t day = utcSeconds / 86400 - (utcSeconds % 86400 < 0);
  const int64_t sod = utcSeconds - day * 86400;
  const year_month_day ymd{sys_days{days{day}}};
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02lld:%02lld:%02lldZ", int{ymd.year()},
                unsigned{ymd.month()}, unsigned{ymd.day()}, static_cast<long long>(sod / 3600),
                static_cast<long long>(sod / 60 % 60), static_cast<long long>(sod % 60));
  return text;
}

std::string RecordingFileName(int64_t utcSeconds) {
  std::string iso = IsoUtcText(utcSeconds);  // 2026-12-08T18:00:00Z
  iso.erase(std::remove_if(iso.begin(), iso.end(), [](char c) { return c == '-' || c == ':'; }),
            iso.end());
  return "corvane-" + iso + ".flac";
}

std::string BlockOffsetComment(int64_t frames) {
  return "block_offset=" + std::to_string(frames);
}

bool ParseBlockOffsetComment(const std::string& comment, int64_t* frames) {
  static constexpr char kKey[] = "block_offset=";
  const size_t at = comment.find(kKey);
  if (at == std::string::npos || (at > 0 && comment[at - 1] != ' ')) return false;
  size_t i = at + sizeof kKey - 1;
  int64_t n = 0;
  const size_t first = i;
  for (; i < comment.size() && comment[i] >= '0' && comment[i] <= '9'; ++i) {
    if (i - first >= 12) return false;
    n = n * 10 + (comment[i] - '0');
  }
  if (i == first || (i < comment.size() && comment[i] != ' ')) return false;
  *frames = n;
  return true;
}

bool ParseRecordingFileName(const std::string& path, int64_t* utcSeconds) {
  const size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  static constexpr char kPattern[] = "corvane-DDDDDDDDTDDDDDDZ";
  constexpr size_t kLen = sizeof kPattern - 1;
  if (name.size() < kLen || (name.size() > kLen && name[kLen] != '.')) return false;
  for (size_t i = 0; i < kLen; ++i) {
    const bool digit = name[i] >= '0' && name[i] <= '9';
    if (kPattern[i] == 'D' ? !digit : name[i] != kPattern[i]) return false;
  }
  auto num = [&](size_t at, size_t n) { return std::stoi(name.substr(at, n)); };
  using namespace std::chrono;
  const year_month_day ymd{year{num(8, 4)}, month{static_cast<unsigned>(num(12, 2))},
                           day{static_cast<unsigned>(num(14, 2))}};
  const int h = num(17, 2), m = num(19, 2), s = num(21, 2);
  if (!ymd.ok() || h > 23 || m > 59 || s > 59) return false;
  *utcSeconds = static_cast<int64_t>(sys_days{ymd}.time_since_epoch().count()) * 86400 +
                h * 3600 + m * 60 + s;
  return true;
}

}  // namespace corvane
