#include "app/command_line.h"

#include <gtest/gtest.h>

namespace pixolune {
namespace {

bool asks(std::vector<std::string> args) {
  args.insert(args.begin(), "pixolune");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  return asksForConsoleRun(static_cast<int>(argv.size()), argv.data());
}

char request(const std::vector<std::string>& args) {
  CommandLine line;
  line.args = args;
  return informationRequest(line);
}

TEST(CommandLineScan, AConsoleRunIsAnInputOptionOrABareArgument) {
  EXPECT_TRUE(asks({"-i", "a.psd"}));
  EXPECT_TRUE(asks({"--INPUT=a.psd"}));
  EXPECT_TRUE(asks({"a.psd", "b.psd"}));
  EXPECT_TRUE(asks({"-o", "out", "-"}));
  EXPECT_TRUE(asks({"--", "-odd.psd"}));
  // Values of options are not inputs.
  EXPECT_FALSE(asks({}));
  EXPECT_FALSE(asks({"-o", "out"}));
  EXPECT_FALSE(asks({"--output", "out", "--width", "50", "--wm-text", "hello"}));
  EXPECT_FALSE(asks({"--invert", "--width=50"}));
  EXPECT_FALSE(asks({"-t", "shots"}));
  EXPECT_FALSE(asks({"-U"}));
}

TEST(CommandLineScan, HelpAndVersionAreFoundAnywhereButNotAsValues) {
  EXPECT_EQ('h', request({"-i", "a.psd", "-h"}));
  EXPECT_EQ('h', request({"--version", "--HELP"}));  // Help wins.
  EXPECT_EQ('v', request({"a.psd", "-v"}));
  EXPECT_EQ(0, request({"--wm-text", "-h", "a.psd"}));
  EXPECT_EQ(0, request({"--", "-h"}));
  EXPECT_EQ(0, request({"-i", "a.psd"}));
}

}  // namespace
}  // namespace pixolune
