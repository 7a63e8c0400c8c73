#pragma once
// Small POSIX file helpers shared by the log and the settings file.

#include <string>

namespace corvane {

// Writes all of `data` to `fd`, continuing short writes and EINTR. False with errno set on
// failure (EIO when the system wrote nothing without saying why).
bool WriteAll(int fd, const std::string& data);

}  // namespace corvane
