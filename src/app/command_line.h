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
  std::string input;          // --input: "test", an audio file, "default" or a device's name
  bool start = false;         // --start
  bool log = false;           // --log
  bool fast = false;          // --fast
  std::string csv;            // --csv: the data log's file, beside the log
  std::string interval;       // --interval: an entry of the log interval list ("1s", "5min")
  std::optional<double> quitAfterSeconds;  // --quit-after
  std::string recordDirectory;  // --record: where the input is recorded, empty for nowhere
  std::string mqtt;             // --mqtt: the broker URL records are published to
  std::string mqttCredentials;  // --mqtt-credentials: a file with the user and password
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

// The longest --quit-after span taken: about 31 years.
inline constexpr double kMaxQuitAfterSeconds = 1e9;

// A span such as "90", "90s", "15min", "2h" or "3d" in seconds; false when it is not one or
// lies beyond kMaxQuitAfterSeconds.
bool ParseSpan(const std::string& text, double* seconds);

// `args` without the program name.
ParseResult ParseCommandLine(const std::vector<std::string>& args);

std::string CommandLineHelp();

// "2026-12-08", "2026-12-08T18:00", "2026-12-08 18:00:30" (UTC unless a "Z" or an offset
// such as "+01:00" follows), or "-90m", "-36h", "-7d" (before the latest record).
bool ParseTimeArgument(const std::string& text, TimeArgument* out);

}  // namespace corvane
