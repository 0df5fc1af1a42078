#include "app/startup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>

namespace pixolune {
namespace {

std::string workingFolder() {
  char buf[PATH_MAX];
  return getcwd(buf, sizeof buf) ? buf : "";
}

TEST(WindowStart, WindowTakesEveryOtherArgumentAsADocumentOrFolderMadeAbsolute) {
  std::vector<std::string> paths;
  std::string error;
  ASSERT_TRUE(readWindowStart({"--window", "/in/a.psd", "b.psd", "/in/folder"}, &paths, &error));
  EXPECT_EQ("", error);
  EXPECT_EQ((std::vector<std::string>{"/in/a.psd", workingFolder() + "/b.psd", "/in/folder"}), paths);
  // Anywhere in the line, in any letter case; alone it opens an empty list.
  ASSERT_TRUE(readWindowStart({"/in/a.psd", "--Window"}, &paths, &error));
  EXPECT_EQ((std::vector<std::string>{"/in/a.psd"}), paths);
  ASSERT_TRUE(readWindowStart({"--window"}, &paths, &error));
  EXPECT_TRUE(paths.empty());
}

TEST(WindowStart, AfterADoubleDashEveryArgumentIsAPath) {
  std::vector<std::string> paths;
  std::string error;
  ASSERT_TRUE(readWindowStart({"--window", "--", "-odd.psd", "--window"}, &paths, &error));
  EXPECT_EQ("", error);
  EXPECT_EQ((std::vector<std::string>{workingFolder() + "/-odd.psd", workingFolder() + "/--window"}), paths);
  // "--window" after "--" is a file name: the line stays a console run.
  std::vector<std::string> untouched = {"kept"};
  EXPECT_FALSE(readWindowStart({"-i", "a.psd", "--", "--window"}, &untouched, &error));
  EXPECT_EQ((std::vector<std::string>{"kept"}), untouched);
}

TEST(WindowStart, OptionsBesideWindowAreAnErrorThatNamesTheFirst) {
  std::vector<std::string> paths;
  std::string error;
  ASSERT_TRUE(readWindowStart({"--window", "a.psd", "-o", "/out", "--width=5"}, &paths, &error));
  EXPECT_EQ("--window takes documents and folders only, not -o", error);
  ASSERT_TRUE(readWindowStart({"-", "--window"}, &paths, &error));
  EXPECT_EQ("--window takes documents and folders only, not -", error);
}

TEST(WindowStart, ALineWithoutWindowIsLeftToTheConsoleMode) {
  std::vector<std::string> paths;
  std::string error;
  EXPECT_FALSE(readWindowStart({}, &paths, &error));
  EXPECT_FALSE(readWindowStart({"a.psd", "-o", "/out"}, &paths, &error));
  EXPECT_FALSE(readWindowStart({"--wm-text=--window"}, &paths, &error));
}

}  // namespace
}  // namespace pixolune
