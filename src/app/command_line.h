#pragma once
// Command-line options for unattended stations and for testing. Qt's own options (such as
// -platform offscreen) are taken out by QApplication before these are read.

#include <optional>
#include <string>
#include <vector>

namespace corvane {

struct CommandLine {
  std::string input;          // --input: "test", an audio file, "default" or a device's name
  bool start = false;         // --start
  bool log = false;           // --log
  bool fast = false;          // --fast
  std::string interval;       // --interval: an entry of the log interval list ("1s", "5min")
  std::optional<double> quitAfterSeconds;  // --quit-after
  std::string recordDirectory;  // --record: where the input is recorded, empty for nowhere
  bool help = false;          // --help
};

struct ParseResult {
  std::optional<CommandLine> options;  // empty on an error
  std::string error;                   // one line
};

// The longest --quit-after span taken: about 31 years.
inline constexpr double kMaxQuitAfterSeconds = 1e9;

// A span such as "90", "90s", "15min", "2h" or "3d" in seconds; false when it is not one or
// lies beyond kMaxQuitAfterSeconds.
bool ParseSpan(const std::string& text, double* seconds);

// `args` without the program name.
ParseResult ParseCommandLine(const std::vector<std::string>& args);

std::string CommandLineHelp();

}  // namespace corvane
