// The installed files against the program: the manual page and the bash,
// zsh and fish completions name every console option of the option table
// (and the keywords of each keyword option), the desktop entry starts the
// window with the files given, and an installed tree finds its parts.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <regex>
#include <set>

#include "app/keywords.h"
#include "app/options.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/test_util.h"

namespace pixolune::testing {
namespace {

namespace fs = std::filesystem;

std::string sourceFile(const std::string& relative) { return readText(std::string(PIXOLUNE_SOURCE_DIR) + "/" + relative); }

// The long options of the command line, lower case: the run's own and
// every option of the table that may be given there; with `all`, also the
// other formats' options, which this build accepts but does not act on.
std::set<std::string> consoleOptions(bool all) {
  std::set<std::string> names = {"--input", "--output", "--conversion", "--profile", "--jobs", "--render-layers",
                                 "--debug", "--quiet",  "--pause",      "--help",    "--version", "--null",
                                 "--progress", "--no-progress", "--window"};
  for (const OptionSpec& spec : settingOptions())
    if (spec.place != OptionPlace::kProfile && (all || optionIsForThisBuild(spec))) names.insert(toLower(spec.name));
  return names;
}

// The keywords an option accepts, lower case ("--png-compression": none,
// zlib1, zlib6, zlib9).
std::vector<std::string> optionKeywords(const OptionSpec& spec) {
  std::vector<std::string> words;
  if (spec.words) {
    for (const std::string& word : split(spec.words, '|')) words.push_back(toLower(word));
  } else {
    for (const std::string& word : split(keywordList(spec.keyword_table), ',')) words.push_back(trim(word));
  }
  return words;
}

// True when `token` stands in `text` on its own (not as the start of a
// longer option name: "--width" is not found in "--width-unit").
bool hasToken(const std::string& text, const std::string& token) {
  for (size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + 1)) {
    const auto edge = [](char c) { return !(std::isalnum(static_cast<unsigned char>(c)) || c == '-'); };
    const bool before = at == 0 || edge(text[at - 1]);
    const bool after = at + token.size() == text.size() || edge(text[at + token.size()]);
    if (before && after) return true;
  }
  return false;
}

// The manual page as text: "\-" is "-", font changes are gone.
std::string manualText() {
  std::string page = sourceFile("data/man/pixolune.1");
  page = std::regex_replace(page, std::regex(R"(\\f[BIRP])"), "");
  return std::regex_replace(page, std::regex(R"(\\-)"), "-");
}

// The entry of `option` in the manual page: from the ".TP" paragraph that
// names it to the next one.
std::string manualEntry(const std::string& page, const std::string& option) {
  size_t start = 0;
  while ((start = page.find("\n.TP\n", start)) != std::string::npos) {
    const size_t end = page.find("\n.TP\n", start + 1);
    const std::string entry = page.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const size_t first_line_end = entry.find('\n', 5);
    if (hasToken(entry.substr(0, first_line_end), option)) return entry;
    start = start + 1;
  }
  return "";
}

TEST(InstallFilesTest, TheManualPageDescribesEveryConsoleOptionAndItsKeywords) {
  const std::string page = manualText();
  ASSERT_FALSE(page.empty());
  for (const char* section : {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS", "FILES",
                                     "ENVIRONMENT", "EXAMPLES"})
    EXPECT_NE(std::string::npos, page.find(std::string("\n.SH ") + section + "\n")) << section;
  for (const std::string& name : consoleOptions(true)) EXPECT_TRUE(hasToken(page, name)) << name;
  for (const char* short_form : {"-i", "-o", "-c", "-h", "-v", "-q", "-d", "-p"})
    EXPECT_TRUE(hasToken(page, short_form)) << short_form;
  for (const OptionSpec& spec : settingOptions()) {
    if (spec.form != ValueForm::kKeyword || !optionIsForThisBuild(spec) || spec.place == OptionPlace::kProfile) continue;
    const std::string entry = manualEntry(page, toLower(spec.name));
    ASSERT_FALSE(entry.empty()) << spec.name << " has no entry of its own";
    for (const std::string& word : optionKeywords(spec)) EXPECT_TRUE(hasToken(entry, word)) << spec.name << " " << word;
  }
}

// Each completion names every option this build acts on, and offers each
// keyword option's words on the line that names it. `form` turns a long
// option name into the completion's spelling of it.
void expectCompletes(const std::string& file, const std::function<std::string(const std::string&)>& form) {
  const std::string text = sourceFile(file);
  ASSERT_FALSE(text.empty()) << file;
  for (const std::string& name : consoleOptions(false)) EXPECT_TRUE(hasToken(text, form(name))) << file << ": " << name;
  for (const OptionSpec& spec : settingOptions()) {
    if (spec.form != ValueForm::kKeyword || !optionIsForThisBuild(spec) || spec.place == OptionPlace::kProfile) continue;
    bool offered = false;
    for (const std::string& line : split(text, '\n')) {
      if (!hasToken(line, form(toLower(spec.name)))) continue;
      bool all = true;
      for (const std::string& word : optionKeywords(spec)) all = all && hasToken(line, word);
      offered = offered || all;
    }
    EXPECT_TRUE(offered) << file << ": " << spec.name << " is not offered with its keywords";
  }
}

TEST(InstallFilesTest, TheCompletionsOfferEveryOptionAndItsKeywords) {
  const auto same = [](const std::string& name) { return name; };
  expectCompletes("data/completion/pixolune.bash", same);
  expectCompletes("data/completion/_pixolune", same);
  expectCompletes("data/completion/pixolune.fish", [](const std::string& name) { return "-l " + name.substr(2); });
}

TEST(InstallFilesTest, TheDesktopEntryOpensTheWindowWithTheFilesGiven) {
  const std::string entry = sourceFile("data/desktop/example.quorvant.pixolune.desktop");
  EXPECT_NE(std::string::npos, entry.find("\nExec=pixolune --window %F\n"));
  EXPECT_NE(std::string::npos, entry.find("\nMimeType=image/vnd.adobe.photoshop;\n"));
  EXPECT_NE(std::string::npos, entry.find("\nCategories=Graphics;"));
  const std::string metainfo = sourceFile("data/desktop/example.quorvant.pixolune.metainfo.xml");
  EXPECT_NE(std::string::npos, metainfo.find("<launchable type=\"desktop-id\">example.quorvant.pixolune.desktop</launchable>"));
}

// The program copied into prefix/bin with its parts in the installed
// places finds them there, not in the build tree.
TEST(InstallFilesTest, AnInstalledProgramFindsItsPartsFromItsOwnFolder) {
  TempDir dir;
  const std::string prefix = dir.file("usr");
  const std::string build = folderOf(PIXOLUNE_BINARY);
  for (const char* folder : {"bin", "lib/pixolune", "share/pixolune/gfx"}) fs::create_directories(prefix + "/" + folder);
  fs::copy_file(PIXOLUNE_BINARY, prefix + "/bin/pixolune");
  fs::copy_file(build + "pixolune-helper", prefix + "/lib/pixolune/pixolune-helper");
  writeText(prefix + "/share/pixolune/vemarkt.html", "<html></html>");
  RunEnvironment installed;
  installed.program = prefix + "/bin/pixolune";
  RunResult r = runPixolune({"--internal-install-paths"}, dir.path(), dir.path(), installed);
  EXPECT_EQ(0, r.exit_code) << r.err;
  EXPECT_EQ("helper: " + prefix + "/lib/pixolune/pixolune-helper\n" +
                "window-module: " + prefix + "/bin/pixolune-window.so\n" +  // Not installed: named beside.
                "themes: " + prefix + "/share/pixolune/gfx/\n" + "manual: " + prefix + "/share/pixolune/vemarkt.html\n",
            r.out);
}

// "--window FILE..." is a window start, never a console run: without a
// display it ends as the window does, converting nothing.
TEST(InstallFilesTest, WindowWithFilesStartsTheWindowNotAConsoleRun) {
  TempDir dir;
  writeText(dir.file("a.psd"), "not read");
  RunResult r = runPixolune({"--window", "a.psd"}, dir.path(), dir.path());
  EXPECT_EQ(1, r.exit_code);
  EXPECT_EQ(0u, r.err.rfind("Error: The window mode needs a graphical display", 0)) << r.err;
  EXPECT_EQ("", r.out);
  EXPECT_FALSE(fs::exists(dir.file("a.png")));
  RunResult option = runPixolune({"--window", "a.psd", "-o", dir.path()}, dir.path(), dir.path());
  EXPECT_EQ(1, option.exit_code);
  EXPECT_EQ("Error: --window takes documents and folders only, not -o\n", option.err);
}

}  // namespace
}  // namespace pixolune::testing
