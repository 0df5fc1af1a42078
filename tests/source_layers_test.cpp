// The folders of src/ against the layering of the program: a folder
// includes headers only of the folders below it, and no folder but
// platform/ includes an operating-system header (those calls are its own).
// Test files and test support headers may reach higher (a test of a stage
// may convert through the pipeline) and are not checked.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace pixolune::testing {
namespace {

namespace fs = std::filesystem;

// The folders each folder may include besides itself.
const std::map<std::string, std::set<std::string>>& allowedIncludes() {
  static const std::map<std::string, std::set<std::string>> allowed = [] {
    std::map<std::string, std::set<std::string>> a;
    a["platform"] = {};
    a["settings"] = {"platform"};
    a["resources"] = {"settings", "platform"};
    a["image"] = {"settings", "platform"};
    a["psd"] = {"image", "platform"};
    a["psd/layers"] = {"psd", "image", "platform"};
    a["png"] = {"image", "platform"};
    a["inputs"] = {"settings", "platform"};
    a["stages"] = {"image", "inputs", "settings", "platform"};
    a["run"] = {"stages", "png", "psd", "psd/layers", "inputs", "image", "resources", "settings", "platform"};
    a["net"] = a["run"];
    a["net"].insert("run");
    a["ui"] = a["net"];
    a["ui"].insert("net");
    a["app"] = a["ui"];
    a["app"].insert("ui");
    return a;
  }();
  return allowed;
}

// The one file outside platform/ that may include an operating-system
// header: the program's entry loads the window module itself.
const std::set<std::string> kSystemHeaderFiles = {"app/main.cpp"};

// The folder of a path below src/ as the layering names it ("psd/layers/x.cpp": "psd/layers").
std::string layerOf(const std::string& path) {
  if (path.rfind("psd/layers/", 0) == 0) return "psd/layers";
  const size_t slash = path.find('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

bool isOperatingSystemHeader(const std::string& header) {
  static const std::regex os(R"((sys/.*|fcntl|unistd|dirent|dlfcn|signal|poll|spawn|sched|pthread|termios|netdb|)"
                             R"(arpa/.*|netinet/.*|linux/.*)\.h)");
  return std::regex_match(header, os);
}

// What is wrong with the includes of `text`, the file `path` below src/.
std::vector<std::string> layeringProblems(const std::string& path, const std::string& text) {
  std::vector<std::string> problems;
  const std::string layer = layerOf(path);
  const auto allowed = allowedIncludes().find(layer);
  static const std::regex include_line(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::smatch m;
    if (!std::regex_search(line, m, include_line)) continue;
    const std::string header = m[2];
    if (m[1] == "<") {
      if (layer != "platform" && !kSystemHeaderFiles.count(path) && isOperatingSystemHeader(header))
        problems.push_back(path + " includes the system header <" + header + ">");
      continue;
    }
    const std::string target = layerOf(header);
    if (target.empty() || target == layer || !allowedIncludes().count(target)) continue;
    if (allowed == allowedIncludes().end() || !allowed->second.count(target))
      problems.push_back(path + " (" + layer + ") includes " + header + " (" + target + ")");
  }
  return problems;
}

bool isTestFile(const std::string& name) {
  return name.find("_test.") != std::string::npos || name.find("test_support") != std::string::npos;
}

TEST(SourceLayersTest, TheCheckFindsIncludesUpwardsAndSystemHeaders) {
  EXPECT_EQ(1u, layeringProblems("stages/watermark.cpp", "#include \"run/pipeline.h\"\n").size());
  EXPECT_EQ(1u, layeringProblems("inputs/input_list.cpp", "  #  include \"run/conversion_job.h\"\n").size());
  EXPECT_EQ(1u, layeringProblems("psd/psd_document.cpp", "#include \"psd/layers/layer_records.h\"\n").size());
  EXPECT_EQ(1u, layeringProblems("image/bitmap.cpp", "#include \"resources/product.h\"\n").size());
  EXPECT_EQ(1u, layeringProblems("png/png_writer.cpp", "#include \"settings/settings.h\"\n").size());
  EXPECT_EQ(1u, layeringProblems("run/pipeline.cpp", "#include <sys/statvfs.h>\n").size());
  EXPECT_EQ(1u, layeringProblems("settings/settings.cpp", "#include <unistd.h>\n").size());
  EXPECT_TRUE(layeringProblems("psd/layers/draw.cpp", "#include \"psd/psd_document.h\"\n#include <cstdio>\n").empty());
  EXPECT_TRUE(layeringProblems("run/pipeline.cpp", "#include \"stages/watermark.h\"\n#include <FreeImage.h>\n").empty());
  EXPECT_TRUE(layeringProblems("platform/files-posix.cpp", "#include <unistd.h>\n").empty());
  EXPECT_TRUE(layeringProblems("app/startup.cpp", "#include \"ui/main_window.h\"\n").empty());
  EXPECT_EQ(2u, layeringProblems("net/http_client.cpp", "#include <sys/socket.h>\n#include <netdb.h>\n").size());
  EXPECT_EQ(1u, layeringProblems("ui/preferences_dialog_controls.cpp", "#include <dlfcn.h>\n").size());
  EXPECT_TRUE(layeringProblems("app/main.cpp", "#include <dlfcn.h>\n").empty());
}

TEST(SourceLayersTest, NoFolderIncludesOneAboveIt) {
  const fs::path src = fs::path(PIXOLUNE_SOURCE_DIR) / "src";
  std::vector<std::string> problems;
  int checked = 0;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(src)) {
    const std::string ext = entry.path().extension().string();
    if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
    const std::string relative = fs::relative(entry.path(), src).generic_string();
    if (isTestFile(entry.path().filename().string())) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    for (std::string& problem : layeringProblems(relative, text.str())) problems.push_back(std::move(problem));
    ++checked;
  }
  EXPECT_GT(checked, 100);
  std::string all;
  for (const std::string& problem : problems) all += problem + "\n";
  EXPECT_TRUE(problems.empty()) << all;
}

}  // namespace
}  // namespace pixolune::testing
