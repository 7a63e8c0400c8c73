#include "app/command_line.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

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

}  // namespace
}  // namespace corvane
