// README.md's console option tables against the option table the parser
// uses: every option this build acts on is documented, and nothing else is
// listed (the options of formats this build does not write stay unlisted).
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "app/options.h"
#include "platform/text.h"
#include "support/test_util.h"

namespace pixolune::testing {
namespace {

// The console section: from "## Console mode" to the next "## " heading.
std::string consoleSection() {
  const std::string readme = readText(std::string(PIXOLUNE_SOURCE_DIR) + "/README.md");
  const size_t start = readme.find("## Console mode");
  if (start == std::string::npos) return "";
  const size_t end = readme.find("\n## ", start + 1);
  return readme.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Every long option named in a table row of `text`, upper-cased.
std::set<std::string> tableOptions(const std::string& text) {
  std::set<std::string> names;
  const std::regex option("`(--[a-z0-9-]+[a-z0-9])");
  for (const std::string& row : split(text, '\n')) {
    if (row.rfind("|", 0) != 0) continue;
    for (std::sregex_iterator it(row.begin(), row.end(), option), end; it != end; ++it) names.insert(toUpper((*it)[1].str()));
  }
  return names;
}

TEST(ReadmeOptionsTest, TheTablesListExactlyTheOptionsOfThisBuild) {
  const std::string section = consoleSection();
  ASSERT_FALSE(section.empty()) << "README.md has no console section";
  std::set<std::string> known = {"--INPUT", "--OUTPUT", "--CONVERSION", "--PROFILE", "--JOBS",  "--RENDER-LAYERS",
                                 "--DEBUG", "--QUIET",  "--PAUSE",      "--HELP",    "--VERSION", "--NULL",
                                 "--PROGRESS", "--NO-PROGRESS"};
  for (const OptionSpec& spec : settingOptions())
    if (optionIsForThisBuild(spec) && spec.place != OptionPlace::kProfile) known.insert(spec.name);
  const std::set<std::string> documented = tableOptions(section);
  for (const std::string& name : known) EXPECT_TRUE(documented.count(name)) << name << " is not in README.md";
  for (const std::string& name : documented) EXPECT_TRUE(known.count(name)) << name << " is documented but not parsed";
  // The other formats' options are mentioned in one sentence, never listed.
  for (const OptionSpec& spec : settingOptions()) {
    if (!optionIsForThisBuild(spec)) {
      EXPECT_EQ(std::string::npos, toLower(section).find("`" + toLower(spec.name))) << spec.name;
    }
  }
}

}  // namespace
}  // namespace pixolune::testing
