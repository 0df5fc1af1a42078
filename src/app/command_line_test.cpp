#include "app/command_line.h"

#include <gtest/gtest.h>

#include "settings/settings.h"
#include "support/test_util.h"

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

std::string parseError(const std::vector<std::string>& args) {
  CommandLine line;
  line.args = args;
  parseOptions(line);
  return line.error_text;
}

// The ranges are the settings field table's: a value just outside one is
// refused with the option's message, on the command line and in a profile
// (whose older name for the frame opacity takes the same field's range).
TEST(CommandLineOptions, ValuesJustOutsideTheFieldRangeAreRefused) {
  applyDefaultSettings(true);
  EXPECT_EQ("invalid value \"361\" for --rotation: expected a whole number from 0 to 360",
            parseError({"--rotation=361"}));
  EXPECT_EQ("invalid value \"0\" for --JPG-QUALITY: expected a whole number from 1 to 100",
            parseError({"--JPG-QUALITY", "0"}));
  EXPECT_EQ("invalid value \"10\" for --gamma: expected a decimal number from 0.01 to 9.99",
            parseError({"--gamma=10"}));
  EXPECT_EQ("", parseError({"--wm-font-leading", "-1000", "--fr-solid-opacity=1"}));
  EXPECT_EQ(-1000, settings().font_leading);
  EXPECT_EQ(1, settings().solid_opacity);

  testing::TempDir dir;
  const std::string path = dir.file("profile.ini");
  std::string error;
  testing::writeText(path, "[CLI]\r\n--WM-SOLID-OPACITY = 128\r\n");
  ASSERT_TRUE(loadProfile(path, &error)) << error;
  EXPECT_EQ(128, settings().solid_opacity);
  testing::writeText(path, "[CLI]\r\n--WIDTH = 640\r\n--WM-SOLID-OPACITY = 256\r\n");
  EXPECT_FALSE(loadProfile(path, &error));
  EXPECT_EQ(path + ":3: invalid value \"256\" for --WM-SOLID-OPACITY: expected a whole number from 1 to 255", error);
  applyDefaultSettings(true);
  consoleInputs() = ConsoleInputs{};
}

}  // namespace
}  // namespace pixolune
