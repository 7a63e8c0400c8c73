#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane {
namespace {

const double kDay = 20795.0 * 86400;  // 2026-12-08 00:00 UTC

TEST(CommandLine, PlotAndHistoryTakeFilesAndASpan) {
  ParseResult r = ParseCommandLine({"--plot", "a.TXT", "b.csv", "--out", "w.PNG", "--from",
                                    "2026-12-08", "--to", "2026-12-08 18:30Z"});
  ASSERT_TRUE(r.options) << r.error;
  EXPECT_EQ(r.options->plotFiles, (std::vector<std::string>{"a.TXT", "b.csv"}));
  EXPECT_EQ(r.options->out, "w.PNG");
  ASSERT_TRUE(r.options->from && r.options->to);
  EXPECT_EQ(r.options->from->seconds, kDay);
  EXPECT_EQ(r.options->to->seconds, kDay + 18.5 * 3600);

  r = ParseCommandLine({"--history", "SIGREC.TXT", "--from", "-36h"});
  ASSERT_TRUE(r.options) << r.error;
  EXPECT_EQ(r.options->historyFiles, (std::vector<std::string>{"SIGREC.TXT"}));
  EXPECT_TRUE(r.options->from->beforeLast);
  EXPECT_EQ(r.options->from->seconds, 36 * 3600);
}

TEST(CommandLine, TimeArguments) {
  const std::vector<std::pair<const char*, TimeArgument>> good = {
      {"2026-12-08T18:00", {false, kDay + 18 * 3600}},
      {"2026-12-08T19:00:00+01:00", {false, kDay + 18 * 3600}},
      {"-90m", {true, 5400}},
      {"-7d", {true, 7 * 86400}},
      {"-1.5h", {true, 5400}},
  };
  for (const auto& [text, expected] : good) {
    TimeArgument t;
    ASSERT_TRUE(ParseTimeArgument(text, &t)) << text;
    EXPECT_EQ(t.beforeLast, expected.beforeLast) << text;
    EXPECT_EQ(t.seconds, expected.seconds) << text;
  }
  for (const char* bad :
       {"", "yesterday", "-7", "-d", "-7w", "--7d", "7d", "18:00", "2026-12-32"}) {
    TimeArgument t;
    EXPECT_FALSE(ParseTimeArgument(bad, &t)) << bad;
  }
}

TEST(CommandLine, HistoryOptionsRefusedWithOneLine) {
  const std::vector<std::vector<std::string>> bad = {
      {"--plot", "--out", "w.png"},           // no files
      {"--plot", "a.TXT"},                    // nowhere to draw
      {"--plot", "a.TXT", "--out", "w.jpg"},  // not a picture type
      {"--out", "w.png"},                     // nothing to draw
      {"--plot", "a.TXT", "--out", "w.svg", "--history", "b.TXT"},
      {"--plot", "a.TXT", "--out", "w.png", "--from", "tomorrow"},
      {"--plot", "a.TXT", "--out", "w.png", "--from", "2026-12-08", "--to", "2026-12-07"},
      {"--plot", "a.TXT", "--out", "w.png", "--from", "-1h", "--to", "-2h"},
      {"--from", "2026-12-08"},  // a span of nothing
  };
  for (const std::vector<std::string>& args : bad) {
    const ParseResult r = ParseCommandLine(args);
    std::string joined;
    for (const std::string& a : args) joined += a + " ";
    EXPECT_FALSE(r.options) << joined;
    EXPECT_EQ(r.error.rfind("corvane: ", 0), 0u) << joined;
    EXPECT_EQ(r.error.find('\n'), std::string::npos) << joined;
  }
}

TEST(CommandLine, RecordTakesADirectory) {
  struct Case {
    std::vector<std::string> args;
    std::string directory;  // expected, when it parses
    std::string error;      // expected, when it does not
  };
  const Case cases[] = {
      {{}, "", ""},
      {{"--record", "/data/rec"}, "/data/rec", ""},
      {{"--record=/data/rec dir", "--start"}, "/data/rec dir", ""},
      {{"--input", "test", "--record", "rec", "--fast"}, "rec", ""},
      {{"--record"}, "", "corvane: --record needs a directory"},
      {{"--record="}, "", "corvane: --record needs a directory"},
  };
  for (const Case& c : cases) {
    const ParseResult r = ParseCommandLine(c.args);
    if (!c.error.empty()) {
      EXPECT_FALSE(r.options);
      EXPECT_EQ(r.error, c.error);
      continue;
    }
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_EQ(r.options->recordDirectory, c.directory);
  }
  EXPECT_NE(CommandLineHelp().find("--record DIR"), std::string::npos);
}

TEST(CommandLine, MqttTakesABrokerUrlAndCredentialsOnlyFromAFile) {
  struct Case {
    std::vector<std::string> args;
    std::string error;  // empty: it parses
  };
  const Case cases[] = {
      {{"--mqtt", "mqtt://127.0.0.1:1883/corvane/G4ABC", "--mqtt-credentials", "/etc/c"}, ""},
      {{"--mqtt=mqtts://broker.example/corvane/G4ABC"}, ""},
      {{"--mqtt", "mqtt://u:p@broker.example/corvane/X"}, "no user or password in the URL"},
      {{"--mqtt", "mqtt://broker.example"}, "needs a topic"},
      {{"--mqtt"}, "--mqtt needs a broker URL"},
      {{"--mqtt-credentials", "/etc/c"}, "--mqtt-credentials needs --mqtt"},
  };
  for (const Case& c : cases) {
    const ParseResult r = ParseCommandLine(c.args);
    if (c.error.empty()) {
      ASSERT_TRUE(r.options) << c.args[0] << ": " << r.error;
      EXPECT_EQ(r.options->mqtt.rfind("mqtt", 0), 0u);
    } else {
      EXPECT_FALSE(r.options) << c.args[0];
      EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
    }
  }
}

}  // namespace
}  // namespace corvane
