// Where the console mode's files land and how it reads what it is given:
// name collisions, masks that point at inputs or outside, relative paths,
// text encodings of profiles and lists, file dates and closed pipes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune::testing {
namespace {

namespace fs = std::filesystem;

class ConsoleOutputsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(out());
    fs::create_directories(dir_.file("home"));
  }
  std::string out() const { return dir_.file("out"); }

  // An RGB document (5 x 3 unless said) whose pixels are told apart by `seed`.
  void writeDocument(const std::string& path, int seed, int width = 5, int height = 3) {
    fs::create_directories(fs::path(path).parent_path());
    PsdDocument doc = makeDocument(PsdMode::kRgb, 8, width, height, 0, [seed](int c, int x, int y) {
      return x + y == 0 ? 40.0 * seed + 20 * c : (x * 7 + y * 13 + c * 31 + (x * y) % 17) % 256;
    });
    ASSERT_TRUE(writePsdFile(path, doc));
  }
  RunResult run(const std::vector<std::string>& args, const std::string& cwd = "",
                const RunEnvironment& environment = {}) {
    return runPixolune(args, cwd.empty() ? dir_.path() : cwd, dir_.file("home"), environment);
  }
  // Every file below `folder`: name relative to it, then its bytes.
  std::map<std::string, std::string> filesIn(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
      if (entry.is_regular_file()) files[fs::relative(entry.path(), folder).string()] = readText(entry.path().string());
    return files;
  }
  // The green of the top-left pixel, which tells which document a PNG came from.
  int seedOf(const std::string& png) {
    Pixels px = readImage(png);
    return px.ok() ? (px.at(0, 0)[1] - 20) / 40 : -1;
  }

  TempDir dir_;
};

TEST_F(ConsoleOutputsTest, CollidingNamesAreNumberedInListOrderWhateverTheJobs) {
  // Six documents, three of them named a.psd, one named so that its own
  // name is the numbered form of another's.
  const std::vector<std::string> inputs = {"x/a.psd", "y/a.psd", "z/a (2).psd", "z/a.psd", "b.psd", "y/b.psd"};
  std::string list;
  for (size_t i = 0; i < inputs.size(); ++i) {
    // The first is large enough for its compressed rows to be cut into pieces.
    writeDocument(dir_.file("in/" + inputs[i]), static_cast<int>(i), i == 0 ? 640 : 5, i == 0 ? 480 : 3);
    list += dir_.file("in/" + inputs[i]) + "\n";
  }
  writeText(dir_.file("list.txt"), list);
  std::map<std::string, std::string> first;
  for (const char* jobs : {"--jobs=1", "--jobs=4", "--jobs=2"}) {
    fs::remove_all(out());
    fs::create_directories(out());
    RunResult r = run({"-d", "-i", dir_.file("list.txt"), "-o", out(), jobs, "--png-compression=zlib6"});
    EXPECT_EQ(0, r.exit_code) << jobs << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("Files converted: 6 of 6")) << jobs;
    EXPECT_NE(std::string::npos, r.out.find("Saving As: " + out() + "/a (2).png\nRenamed: " + out() +
                                            "/a.png was written earlier in this run\nOK"))
        << r.out;
    std::map<std::string, std::string> written = filesIn(out());
    if (first.empty()) first = written;
    EXPECT_TRUE(first == written) << jobs;  // Same names, same bytes.
  }
  ASSERT_EQ(6u, first.size());
  EXPECT_EQ(0, seedOf(out() + "/a.png"));
  EXPECT_EQ(1, seedOf(out() + "/a (2).png"));
  EXPECT_EQ(2, seedOf(out() + "/a (2) (2).png"));
  EXPECT_EQ(3, seedOf(out() + "/a (3).png"));
  EXPECT_EQ(4, seedOf(out() + "/b.png"));
  EXPECT_EQ(5, seedOf(out() + "/b (2).png"));
}

TEST_F(ConsoleOutputsTest, AFlattenedFolderKeepsEveryFileAndALaterRunReplacesItsFiles) {
  writeDocument(dir_.file("in/one/a.psd"), 1);
  writeDocument(dir_.file("in/two/a.psd"), 2);
  RunResult r = run({"-q", "-i", dir_.file("in"), "-o", out(), "--no-subfolders"});
  EXPECT_EQ(0, r.exit_code) << r.out << r.err;
  EXPECT_EQ(2u, filesIn(out()).size());
  // Files of an earlier run are replaced, not numbered again.
  r = run({"-q", "-i", dir_.file("in"), "-o", out(), "--no-subfolders"});
  EXPECT_EQ(0, r.exit_code);
  EXPECT_EQ(2u, filesIn(out()).size());
  EXPECT_EQ(3, seedOf(out() + "/a.png") + seedOf(out() + "/a (2).png"));
}

TEST_F(ConsoleOutputsTest, AMaskNeverWritesOverAnInputOrOutsideTheOutputFolder) {
  writeDocument(dir_.file("in/a.psd"), 1);
  const std::string source = readText(dir_.file("in/a.psd"));
  RunResult over = run({"-d", "-i", dir_.file("in/a.psd"), "--filename-mask=%filename%.psd"});
  EXPECT_EQ(2, over.exit_code) << over.out;
  EXPECT_NE(std::string::npos, over.out.find("Reason: the output name \"" + dir_.file("in/a.psd") +
                                             "\" is the input document itself"))
      << over.out;
  EXPECT_EQ(source, readText(dir_.file("in/a.psd")));

  RunResult up = run({"-d", "-i", dir_.file("in/a.psd"), "-o", out(), "--filename-mask=../x_%filename%.%ext%"});
  EXPECT_EQ(2, up.exit_code);
  EXPECT_NE(std::string::npos, up.out.find("Reason: the output name \"" + out() + "/../x_a.png\" lies outside the output folder"))
      << up.out;
  EXPECT_FALSE(fs::exists(dir_.file("x_a.png")));
  EXPECT_TRUE(filesIn(out()).empty());  // No temporary file left either.

  // Another input of the same run is refused too, whatever it is called.
  writeDocument(dir_.file("in/b.psd"), 2);
  writeText(dir_.file("list.txt"), dir_.file("in/a.psd") + "\n" + dir_.file("in/b.psd") + "\n");
  RunResult other = run({"-d", "-i", dir_.file("list.txt"), "-o", dir_.file("in"), "--filename-mask=b.psd"});
  EXPECT_NE(std::string::npos, other.out.find("is an input document of this run")) << other.out;
  EXPECT_EQ(source, readText(dir_.file("in/a.psd")));
}

TEST_F(ConsoleOutputsTest, RelativePathsAreTakenFromTheWorkingFolder) {
  writeDocument(dir_.file("work/in/a.psd"), 1);
  RunResult nested = run({"-q", "-i", "in/a.psd"}, dir_.file("work"));
  EXPECT_EQ(0, nested.exit_code) << nested.err;
  EXPECT_TRUE(fs::exists(dir_.file("work/in/a.png")));

  RunResult bare = run({"-q", "-i", "a.psd", "-o", "../../out"}, dir_.file("work/in"));
  EXPECT_EQ(0, bare.exit_code) << bare.err;
  EXPECT_TRUE(fs::exists(out() + "/a.png"));

  fs::create_directories(dir_.file("work/elsewhere"));
  RunResult folder = run({"-d", "-i", "./in", "-o", "elsewhere"}, dir_.file("work"));
  EXPECT_EQ(0, folder.exit_code) << folder.err;
  EXPECT_NE(std::string::npos, folder.out.find("Saving As: " + dir_.file("work/elsewhere/a.png"))) << folder.out;

  writeText(dir_.file("work/list.txt"), "in/a.psd\n");
  RunResult list = run({"-q", "-i", "list.txt", "-o", "../out", "--filename-mask=listed.png"}, dir_.file("work"));
  EXPECT_EQ(0, list.exit_code) << list.out;
  EXPECT_TRUE(fs::exists(out() + "/listed.png"));
}

TEST_F(ConsoleOutputsTest, ProfilesAndListsAreUtf8UnlessMarked) {
  writeDocument(dir_.file("in/\xC3\xA9t\xC3\xA9.psd"), 1);  // "été.psd"
  const std::string utf8 = "[CLI]\n--filename-mask = \xC3\xA9t\xC3\xA9-%n%.%ext%\n";
  writeText(dir_.file("utf8.ini"), utf8);
  RunResult r = run({"-q", "-i", dir_.file("in"), "-o", out(), "--profile=" + dir_.file("utf8.ini")});
  EXPECT_EQ(0, r.exit_code) << r.out << r.err;
  EXPECT_TRUE(fs::exists(out() + "/\xC3\xA9t\xC3\xA9-00001.png"));

  // The same profile as UTF-16 with its mark, and a Latin-1 one ("é" is E9).
  std::string utf16 = "\xFF\xFE";
  for (char32_t c : std::u32string(U"[CLI]\n--filename-mask = \u00E9-16.%ext%\n")) utf16 += {static_cast<char>(c), '\0'};
  writeText(dir_.file("utf16.ini"), utf16);
  writeText(dir_.file("latin1.ini"), "[CLI]\n--filename-mask = \xE9-l1.%ext%\n");
  for (const char* name : {"utf16", "latin1"}) {
    r = run({"-q", "-i", dir_.file("in"), "-o", out(), "--profile=" + dir_.file(std::string(name) + ".ini")});
    EXPECT_EQ(0, r.exit_code) << name << r.out << r.err;
  }
  EXPECT_TRUE(fs::exists(out() + "/\xC3\xA9-16.png"));
  EXPECT_TRUE(fs::exists(out() + "/\xC3\xA9-l1.png"));

  // A list file in UTF-8 without a mark names the document by its real name.
  writeText(dir_.file("list.txt"), dir_.file("in/\xC3\xA9t\xC3\xA9.psd") + "\n");
  r = run({"-q", "-i", dir_.file("list.txt"), "-o", out(), "--filename-mask=from-list.png"});
  EXPECT_EQ(0, r.exit_code) << r.out;
  EXPECT_TRUE(fs::exists(out() + "/from-list.png"));
}

TEST_F(ConsoleOutputsTest, ACustomTimestampIsUnixTimeInEveryTimeZone) {
  writeDocument(dir_.file("in/a.psd"), 1);
  for (const char* zone : {"UTC", "America/New_York", "Asia/Kolkata"}) {
    RunEnvironment environment;
    environment.variables = {{"TZ", zone}};
    RunResult r = run({"-d", "-i", dir_.file("in/a.psd"), "-o", out(), "--file-timestamp=custom",
                       "--file-timestamp-custom=1700000000"},
                      "", environment);
    EXPECT_EQ(0, r.exit_code) << zone << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("Custom Timestamp: 1700000000 (2023-11-14 22:13:20 UTC)")) << zone;
    struct stat st;
    ASSERT_EQ(0, stat((out() + "/a.png").c_str(), &st));
    EXPECT_EQ(1700000000, st.st_mtime) << zone;
  }
}

TEST_F(ConsoleOutputsTest, AReaderThatStopsEarlyDoesNotStopTheRun) {
  for (int i = 0; i < 6; ++i) writeDocument(dir_.file("in/d" + std::to_string(i) + ".psd"), i);
  // The shell reports the program's own exit status after head has gone.
  const std::string command = "'" PIXOLUNE_BINARY "' -d -i '" + dir_.file("in") + "' -o '" + out() +
                              "' | head -2 >/dev/null; exit ${PIPESTATUS[0]}";
  RunEnvironment shell;
  shell.program = "/bin/bash";
  RunResult r = run({"-c", command}, "", shell);
  EXPECT_EQ(0, r.exit_code) << r.err;
  EXPECT_EQ(6u, filesIn(out()).size());
}

TEST_F(ConsoleOutputsTest, StartModesThatNeedWindowsEndWithoutADisplay) {
  for (const char* mode : {"-U", "-T"}) {
    RunResult r = run({mode});
    EXPECT_EQ(1, r.exit_code) << mode;
    EXPECT_EQ(0u, r.err.rfind("Error: The window mode needs a graphical display", 0)) << mode << r.err;
  }
}

}  // namespace
}  // namespace pixolune::testing
