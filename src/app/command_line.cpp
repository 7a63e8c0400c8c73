#include "app/command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace corvane {

namespace {

bool ParseSeconds(const std::string& text, double* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v) || v < 0) {
    return false;
  }
  *out = v;
  return true;
}

}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine cl;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::string value;
    bool hasInlineValue = false;
    if (arg.rfind("--", 0) == 0) {
      const auto eq = arg.find('=');
      if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
        hasInlineValue = true;
      }
    }
    auto takeValue = [&](std::string* out) -> bool {
      if (hasInlineValue) {
        *out = value;
        return true;
      }
      if (i + 1 >= args.size()) return false;
      *out = args[++i];
      return true;
    };
    auto noValue = [&]() { return !hasInlineValue; };

    if (arg == "--help" || arg == "-h") {
      cl.help = true;
    } else if (arg == "--start" && noValue()) {
      cl.start = true;
    } else if (arg == "--log" && noValue()) {
      cl.log = true;
    } else if (arg == "--fast" && noValue()) {
      cl.fast = true;
    } else if (arg == "--input") {
      if (!takeValue(&cl.input) || cl.input.empty()) {
        return {std::nullopt, "corvane: --input needs a source (test, an audio file, default or "
                              "a device name)"};
      }
    } else if (arg == "--record") {
      if (!takeValue(&cl.recordDirectory) || cl.recordDirectory.empty()) {
        return {std::nullopt, "corvane: --record needs a directory"};
      }
    } else if (arg == "--quit-after") {
      std::string text;
      double seconds = 0;
      if (!takeValue(&text)) return {std::nullopt, "corvane: --quit-after needs a number of seconds"};
      if (!ParseSeconds(text, &seconds)) {
        return {std::nullopt, "corvane: --quit-after: not a number of seconds: " + text};
      }
      cl.quitAfterSeconds = seconds;
    } else {
      return {std::nullopt, "corvane: unknown option: " + args[i] + " (try --help)"};
    }
  }
  return {cl, {}};
}

std::string CommandLineHelp() {
  return "Usage: corvane [options]\n"
         "  --input SOURCE      select the block source at start-up: test (simulated beacon),\n"
         "                      an audio file (.wav, .flac, .aif, .aiff, .w64, .rf64),\n"
         "                      default, or a capture device's name as listed\n"
         "  --start             press START once start-up has finished\n"
         "  --log               check Start Log after START\n"
         "  --fast              read an audio file or the test signal back to back; the one-second\n"
         "                      tick follows the source's own clock; close at the end of a file\n"
         "  --quit-after SECS   close through the normal program end after SECS seconds\n"
         "                      (of the source's clock with --fast)\n"
         "  --record DIR        record the input into DIR as FLAC, a file an hour named by its\n"
         "                      UTC start (corvane-20261208T180000Z.flac); stops when the\n"
         "                      disk has less than 500 MB free\n"
         "  --help              show this text\n"
         "Qt's own options (for example -platform offscreen) are accepted too.\n";
}

}  // namespace corvane
