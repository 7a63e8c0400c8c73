#include "app/command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "logging/log_history.h"
#include "network/broker_url.h"
#include "settings/parameters.h"

namespace corvane {

bool ParseSpan(const std::string& text, double* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (errno != 0 || end == text.c_str() || !std::isfinite(v) || v < 0) return false;
  const std::string unit(end);
  double scale = 0;
  if (unit.empty() || unit == "s") {
    scale = 1;
  } else if (unit == "m" || unit == "min") {
    scale = 60;
  } else if (unit == "h") {
    scale = 3600;
  } else if (unit == "d") {
    scale = 86400;
  } else {
    return false;
  }
  const double seconds = v * scale;
  if (!(seconds <= kMaxQuitAfterSeconds)) return false;
  *out = seconds;
  return true;
}

namespace {

bool EndsWithPictureType(const std::string& path) {
  auto ends = [&](const char* ext) {
    const std::string e(ext);
    if (path.size() <= e.size()) return false;
    for (size_t i = 0; i < e.size(); ++i) {
      const char c = path[path.size() - e.size() + i];
      if (static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != e[i]) return false;
    }
    return true;
  };
  return ends(".png") || ends(".svg");
}

}  // namespace

bool ParseTimeArgument(const std::string& text, TimeArgument* out) {
  if (text.size() >= 3 && text[0] == '-') {
    // The same spans as --quit-after's, with their unit always written.
    const char unit = text.back();
    if (unit != 's' && unit != 'm' && unit != 'h' && unit != 'd') return false;
    double seconds = 0;
    if (!ParseSpan(text.substr(1), &seconds)) return false;
    *out = TimeArgument{true, seconds};
    return true;
  }
  double t = 0;
  if (!ParseUtcTime(text, &t)) return false;
  *out = TimeArgument{false, t};
  return true;
}

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
      if (!takeValue(&text)) return {std::nullopt, "corvane: --quit-after needs a span"};
      if (!ParseSpan(text, &seconds)) {
        return {std::nullopt, "corvane: --quit-after: not a span of up to 1e9 seconds (such "
                              "as 90, 90s, 15min, 2h, 3d): " + text};
      }
      cl.quitAfterSeconds = seconds;
    } else if (arg == "--csv") {
      if (!takeValue(&cl.csv) || cl.csv.empty()) {
        return {std::nullopt, "corvane: --csv needs a file name"};
      }
    } else if (arg == "--mqtt") {
      BrokerUrl url;
      std::string why;
      if (!takeValue(&cl.mqtt)) return {std::nullopt, "corvane: --mqtt needs a broker URL"};
      if (!ParseBrokerUrl(cl.mqtt, &url, &why)) return {std::nullopt, "corvane: --mqtt: " + why};
    } else if (arg == "--mqtt-credentials") {
      if (!takeValue(&cl.mqttCredentials) || cl.mqttCredentials.empty()) {
        return {std::nullopt, "corvane: --mqtt-credentials needs a file name"};
      }
    } else if (arg == "--interval") {
      if (!takeValue(&cl.interval)) return {std::nullopt, "corvane: --interval needs a value"};
      bool known = false;
      std::string list;
      for (const char* entry : design::kLogIntervals) {
        known = known || cl.interval == entry;
        list += list.empty() ? entry : std::string(", ") + entry;
      }
      if (!known) {
        return {std::nullopt,
                "corvane: --interval: not an entry of the interval list (" + list + "): " +
                    cl.interval};
      }
    } else if (arg == "--plot" || arg == "--history") {
      std::vector<std::string>& files = arg == "--plot" ? cl.plotFiles : cl.historyFiles;
      if (hasInlineValue) files.push_back(value);
      while (i + 1 < args.size() && args[i + 1].rfind('-', 0) != 0) {
        files.push_back(args[++i]);
      }
      if (files.empty() || files.back().empty()) {
        return {std::nullopt, "corvane: " + arg + " needs one or more log files"};
      }
    } else if (arg == "--out") {
      if (!takeValue(&cl.out) || !EndsWithPictureType(cl.out)) {
        return {std::nullopt, "corvane: --out needs a picture name ending in .png or .svg"};
      }
    } else if (arg == "--from" || arg == "--to") {
      std::string text;
      TimeArgument t;
      if (!takeValue(&text) || !ParseTimeArgument(text, &t)) {
        return {std::nullopt, "corvane: " + arg + ": not a time: " + text + " (see --help)"};
      }
      (arg == "--from" ? cl.from : cl.to) = t;
    } else {
      return {std::nullopt, "corvane: unknown option: " + args[i] + " (try --help)"};
    }
  }
  if (!cl.mqttCredentials.empty() && cl.mqtt.empty()) {
    return {std::nullopt, "corvane: --mqtt-credentials needs --mqtt"};
  }
  const bool plot = !cl.plotFiles.empty();
  if (plot && !cl.historyFiles.empty()) {
    return {std::nullopt, "corvane: --plot and --history cannot be used together"};
  }
  if (plot != !cl.out.empty()) {
    return {std::nullopt, plot ? "corvane: --plot needs --out PICTURE.png or PICTURE.svg"
                               : "corvane: --out needs --plot"};
  }
  if ((cl.from || cl.to) && !plot && cl.historyFiles.empty()) {
    return {std::nullopt, "corvane: --from and --to need --plot or --history"};
  }
  if (cl.from && cl.to && cl.from->beforeLast == cl.to->beforeLast &&
      (cl.from->beforeLast ? cl.from->seconds <= cl.to->seconds
                           : cl.from->seconds >= cl.to->seconds)) {
    return {std::nullopt, "corvane: --from must come before --to"};
  }
  return {cl, {}};
}

std::string CommandLineHelp() {
  return "Usage: corvane [options]\n"
         "  --input SOURCE      select the block source at start-up: test (simulated beacon),\n"
         "                      an audio file (.wav, .flac, .aif, .aiff, .w64, .rf64),\n"
         "                      default, or a capture device's name as listed\n"
         "  --start             press START once start-up has finished\n"
         "  --log               check Start Log after START (needs a log interval: the\n"
         "                      settings file's or --interval's)\n"
         "  --csv FILE          write the data log (calibrated figures, CSV) to FILE; by\n"
         "                      default it goes beside the log, SIGREC.TXT giving SIGREC.csv\n"
         "  --interval TEXT     choose the log interval by its list entry: No Log, 1s, 5s,\n"
         "                      15s, 30s, 1min, 5min, 15min, 30min, 1hr or 2hr\n"
         "  --fast              read an audio file or the test signal back to back; the one-second\n"
         "                      tick follows the source's own clock; close at the end of a file\n"
         "  --quit-after SPAN   close through the normal program end after SPAN (seconds, or\n"
         "                      with s, min, h or d: 90, 15min, 2h, 3d; of the source's clock\n"
         "                      with --fast)\n"
         "  --record DIR        record the input into DIR as FLAC, a file an hour named by its\n"
         "                      UTC start (corvane-20261208T180000Z.flac); stops when the\n"
         "                      disk has less than 500 MB free\n"
         "  --mqtt URL          publish every record to an MQTT broker, for this run:\n"
         "                      mqtt://host:1883/corvane/STATION (mqtts:// with TLS); records\n"
         "                      on <topic>/record, the run on <topic>/run (retained), alarms\n"
         "                      on <topic>/alarm; while the broker is away they wait in\n"
         "                      <log>.mqtt-queue (SIGREC.TXT.mqtt-queue), up to a day of them\n"
         "  --mqtt-credentials FILE  the broker's user= and password= (and ca_file=) lines;\n"
         "                      without it CORVANE_MQTT_USER and CORVANE_MQTT_PASSWORD\n"
         "  --plot FILE...      draw the history of logs (the record log, SIGREC.TXT, or the CSV\n"
         "                      data log; several files join into one time line) into the\n"
         "                      picture given by --out, then exit; no display is needed\n"
         "  --out PICTURE       where --plot draws: a .png (1600 x 1000 pixels) or an .svg\n"
         "  --history FILE...   open the log history window on the files, following them live\n"
         "  --from TIME         start of the span to draw (default: the first record)\n"
         "  --to TIME           end of the span to draw (default: the last record)\n"
         "                      TIME is UTC: 2026-12-08, 2026-12-08T18:00 or 2026-12-08 18:00:30\n"
         "                      (a trailing Z or an offset such as +01:00 is allowed), or a span\n"
         "                      back from the last record: -90m, -36h, -7d (also s)\n"
         "  --help              show this text\n"
         "A run whose input does not open ends with status 1; SIGTERM, SIGINT and SIGHUP end\n"
         "the program through its normal end (settings written, log flushed).\n"
         "Qt's own options (for example -platform offscreen) are accepted too.\n";
}

}  // namespace corvane
