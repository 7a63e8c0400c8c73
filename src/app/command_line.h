#pragma once
// Command-line options for unattended stations and for testing. Qt's own options (such as
// -platform offscreen) are taken out by QApplication before these are read.

#include <optional>
#include <string>
#include <vector>

namespace corvane {

// --from / --to: a UTC time, or a span back from the latest record.
struct TimeArgument {
  bool beforeLast = false;  // seconds counts back from the latest record
  double seconds = 0;       // UTC seconds since 1970, or the span back
};

struct CommandLine {
  std::string input;          // --input: "test", a .wav path, "default" or a device's name
  bool start = false;         // --start
  bool log = false;           // --log
  bool fast = false;          // --fast
  std::optional<double> quitAfterSeconds;  // --quit-after
  bool help = false;          // --help
  std::vector<std::string> plotFiles;     // --plot FILE...
  std::string out;                        // --out PICTURE.png|.svg
  std::vector<std::string> historyFiles;  // --history FILE...
  std::optional<TimeArgument> from, to;   // --from, --to
};

struct ParseResult {
  std::optional<CommandLine> options;  // empty on an error
  std::string error;                   // one line
};

// `args` without the program name.
ParseResult ParseCommandLine(const std::vector<std::string>& args);

std::string CommandLineHelp();

// "2026-12-08", "2026-12-08T18:00", "2026-12-08 18:00:30" (UTC unless a "Z" or an offset
// such as "+01:00" follows), or "-90m", "-36h", "-7d" (before the latest record).
bool ParseTimeArgument(const std::string& text, TimeArgument* out);

}  // namespace corvane
