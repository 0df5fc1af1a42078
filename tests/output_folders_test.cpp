// Where files land below the output folder: masks with sub-folders and
// absolute masks, links planted in the output folder, folders that vanish
// during a run, and the reasons a file that cannot be written gives.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <thread>

#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kDocuments = 6;

class OutputFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.file("home"));
    for (int i = 0; i < kDocuments; ++i) writeDocument(dir_.file("in/d" + std::to_string(i) + ".psd"), i);
  }
  // An RGB document whose size and pixels follow `seed`.
  static void writeDocument(const std::string& path, int seed) {
    fs::create_directories(fs::path(path).parent_path());
    PsdDocument doc = makeDocument(PsdMode::kRgb, 8, 5 + seed, 3 + seed % 2, 0, [seed](int c, int x, int y) {
      return (x * 7 + y * 13 + c * 31 + seed * 41) % 256;
    });
    ASSERT_TRUE(writePsdFile(path, doc));
  }
  std::string folder(const std::string& name) {
    fs::create_directories(dir_.file(name));
    return dir_.file(name);
  }
  RunResult convert(const std::string& out, std::vector<std::string> extra) {
    std::vector<std::string> args = {"-d", "-i", dir_.file("in"), "-o", out};
    args.insert(args.end(), extra.begin(), extra.end());
    return runPixolune(args, dir_.path(), dir_.file("home"));
  }
  // Every PNG below `root` by path relative to it, as its pixels.
  static std::map<std::string, Pixels> picturesBelow(const std::string& root) {
    std::map<std::string, Pixels> pictures;
    for (const auto& entry : fs::recursive_directory_iterator(root))
      if (entry.is_regular_file())
        pictures[fs::relative(entry.path(), root).string()] = readImage(entry.path().string());
    return pictures;
  }
  // Both hold the same pictures, `prefix` put before each name of `plain`.
  static void expectSamePictures(const std::map<std::string, Pixels>& plain, const std::map<std::string, Pixels>& other,
                                 const std::string& prefix) {
    ASSERT_EQ(static_cast<size_t>(kDocuments), plain.size());
    ASSERT_EQ(plain.size(), other.size());
    for (const auto& [name, pixels] : plain) {
      auto found = other.find(prefix + name);
      ASSERT_NE(other.end(), found) << prefix + name;
      ASSERT_TRUE(pixels.ok() && found->second.ok()) << name;
      EXPECT_EQ(pixels.width, found->second.width) << name;
      EXPECT_EQ(pixels.height, found->second.height) << name;
      EXPECT_TRUE(pixels.rgba == found->second.rgba) << name;
    }
  }
  static size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
  }
  TempDir dir_;
};

TEST_F(OutputFoldersTest, MasksWithSubFoldersWriteEveryFileWhateverTheJobs) {
  RunResult plain = convert(folder("plain"), {});
  ASSERT_EQ(0, plain.exit_code) << plain.out << plain.err;
  const auto expected = picturesBelow(dir_.file("plain"));
  for (const char* jobs : {"--jobs=1", "--jobs=3"}) {
    const std::string out = folder(std::string("sub") + jobs);
    RunResult r = convert(out, {jobs, "--filename-mask=a/b/%filename%.%ext%"});
    EXPECT_EQ(0, r.exit_code) << jobs << r.out << r.err;
    EXPECT_EQ(static_cast<size_t>(kDocuments), count(r.out, "\nOK\n")) << r.out;
    expectSamePictures(expected, picturesBelow(out), "a/b/");
  }
  // Colliding names in a sub-folder are numbered as in the folder itself.
  const std::string out = folder("same");
  RunResult same = convert(out, {"--jobs=2", "--filename-mask=one/same.%ext%"});
  EXPECT_EQ(0, same.exit_code) << same.out;
  EXPECT_TRUE(fs::exists(out + "/one/same (6).png"));
}

TEST_F(OutputFoldersTest, AnAbsoluteMaskInsideTheOutputFolderWritesThere) {
  RunResult plain = convert(folder("plain"), {});
  ASSERT_EQ(0, plain.exit_code) << plain.out << plain.err;
  const std::string out = folder("abs");
  RunResult r = convert(out, {"--filename-mask=" + out + "/deep/%filename%.%ext%"});
  EXPECT_EQ(0, r.exit_code) << r.out << r.err;
  expectSamePictures(picturesBelow(dir_.file("plain")), picturesBelow(out), "deep/");
}

TEST_F(OutputFoldersTest, ALinkInTheOutputFolderIsNamedAndNothingIsWrittenThroughIt) {
  const std::string out = folder("out"), outside = folder("outside");
  ASSERT_EQ(0, symlink(outside.c_str(), (out + "/sub").c_str()));
  for (const char* mask : {"--filename-mask=sub/%filename%.%ext%", "--filename-mask=sub/more/%filename%.%ext%"}) {
    RunResult r = convert(out, {mask});
    EXPECT_EQ(2, r.exit_code) << r.out << r.err;
    EXPECT_EQ(static_cast<size_t>(kDocuments),
              count(r.out, "Not OK\nReason: the path passes through the symbolic link \"" + out +
                               "/sub\", which is not followed\n"))
        << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("conversion helper was stopped")) << r.out;
  }
  // Nor do the sub-folders of a folder input.
  fs::create_directories(dir_.file("in/sub/more"));
  fs::rename(dir_.file("in/d0.psd"), dir_.file("in/sub/more/d0.psd"));
  RunResult kept = convert(out, {"--jobs=2"});
  EXPECT_EQ(2, kept.exit_code) << kept.out << kept.err;
  EXPECT_NE(std::string::npos, kept.out.find("Saving As: " + out + "/sub/more/d0.png\nNot OK\nReason: the path passes "
                                             "through the symbolic link \"" + out + "/sub\", which is not followed\n"))
      << kept.out;
  EXPECT_EQ(static_cast<size_t>(kDocuments - 1), count(kept.out, "\nOK\n"));
  EXPECT_TRUE(fs::is_empty(outside));
}

TEST_F(OutputFoldersTest, ANameTooLongIsNamed) {
  const std::string out = folder("out");
  RunResult r = convert(out, {"--filename-mask=" + std::string(300, 'n') + "%filename%.%ext%"});
  EXPECT_EQ(2, r.exit_code) << r.out << r.err;
  EXPECT_EQ(static_cast<size_t>(kDocuments), count(r.out, "Not OK\nReason: the file name is too long\n")) << r.out;
  EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(OutputFoldersTest, AnOutputFolderRemovedDuringTheRunIsNamedForEachFile) {
  for (int i = kDocuments; i < 40; ++i) writeDocument(dir_.file("in/d" + std::to_string(i) + ".psd"), i);
  const std::string out = folder("out");
  // Removed once the first file is done (the run prints as it goes).
  std::thread remover([&] {
    for (int tries = 0; tries < 20000; ++tries) {
      if (readText(dir_.file("home/.stdout")).find("\nOK\n") != std::string::npos) {
        std::error_code ec;
        while (fs::exists(out) && tries++ < 20000) fs::remove_all(out, ec);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  RunResult r = convert(out, {"--jobs=2"});
  remover.join();
  EXPECT_EQ(std::string::npos, r.out.find("conversion helper was stopped")) << r.out;
  // Mostly the folder; a file the removal took just before gives its own name.
  const size_t failed = count(r.out, "Not OK\n");
  EXPECT_EQ(failed, count(r.out, "Not OK\nReason: the ")) << r.out;
  EXPECT_EQ(failed, count(r.out, " no longer exists\n")) << r.out;
}

TEST_F(OutputFoldersTest, ConsoleRunsOfOneUserOverlapEvenWhileAWindowRuns) {
  // A window instance holds the lock of both runs' runtime folder.
  const std::string runtime = folder("runtime");
  const int window = open((runtime + "/Pixolune_2.8.lock").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(window, 0);
  ASSERT_EQ(0, flock(window, LOCK_EX | LOCK_NB));
  RunEnvironment environment;
  environment.variables = {{"XDG_RUNTIME_DIR", runtime}};
  RunResult first, second;
  const std::string out_first = folder("first"), out_second = folder("second");
  std::thread other([&] {
    second = runPixolune({"-q", "-i", dir_.file("in"), "-o", out_second}, dir_.path(), folder("home2"), environment);
  });
  first = runPixolune({"-q", "-i", dir_.file("in"), "-o", out_first}, dir_.path(), dir_.file("home"), environment);
  other.join();
  close(window);
  EXPECT_EQ(0, first.exit_code) << first.out << first.err;
  EXPECT_EQ(0, second.exit_code) << second.out << second.err;
  EXPECT_EQ(static_cast<size_t>(kDocuments), picturesBelow(out_first).size());
  EXPECT_EQ(static_cast<size_t>(kDocuments), picturesBelow(out_second).size());
}

}  // namespace
}  // namespace pixolune::testing
