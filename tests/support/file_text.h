#pragma once
// The whole content of a file as bytes, for tests that compare files byte for byte.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace corvane::testing {

inline std::string Slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace corvane::testing
