#pragma once
// The process's time zone set for a test's lifetime (a POSIX TZ string needs no zone
// database) and put back as it was afterwards.

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace corvane {

class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    if (const char* was = std::getenv("TZ")) saved_ = was;
    Set(tz);
  }
  ~ScopedTimeZone() {
    if (saved_) {
      setenv("TZ", saved_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

  static void Set(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
  }

 private:
  std::optional<std::string> saved_;
};

}  // namespace corvane
