// The console mode end to end: the real binary in temporary folders.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  size_t pos = 0;
  for (size_t nl; (nl = text.find('\n', pos)) != std::string::npos; pos = nl + 1) out.push_back(text.substr(pos, nl - pos));
  if (pos < text.size()) out.push_back(text.substr(pos));
  return out;
}

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(in());
    fs::create_directories(out());
    fs::create_directories(home());
  }
  std::string in() const { return dir_.file("in"); }
  std::string out() const { return dir_.file("out"); }
  std::string home() const { return dir_.file("home"); }

  void writeRgb(const std::string& path, int w = 6, int h = 4) {
    fs::create_directories(fs::path(path).parent_path());
    PsdDocument doc = makeDocument(PsdMode::kRgb, 8, w, h, 0, [](int c, int x, int y) { return 30.0 * c + 10 * x + y; });
    ASSERT_TRUE(writePsdFile(path, doc));
  }
  RunResult run(const std::vector<std::string>& args) { return runPixolune(args, dir_.path(), home()); }

  TempDir dir_;
};

TEST_F(ConsoleTest, ConvertsAFolderTreeAndReportsCounts) {
  writeRgb(in() + "/a.psd");
  writeRgb(in() + "/sub/deeper/b.psd");
  writeText(in() + "/notes.txt", "not an image");
  RunResult r = run({"-i", in(), "-o", out()});
  EXPECT_EQ(0, r.exit_code) << r.err;
  EXPECT_EQ("", r.err);
  std::vector<std::string> expected = {"Pixolune 2.8", "Copyright (c) 2026 Quorvant. All rights reserved.",
                                       "www.quorvant.example", " ", "Preparing...", "Importing...",
                                       "Import complete, new files added: 2", "Converting...", "Conversion complete",
                                       "Files converted: 2 of 2"};
  EXPECT_EQ(expected, lines(r.out));
  Pixels a = readImage(out() + "/a.png");
  ASSERT_TRUE(a.ok());
  EXPECT_EQ(6, a.width);
  EXPECT_EQ(30 + 10 * 2 + 3, a.at(2, 3)[1]);
  EXPECT_TRUE(fs::exists(out() + "/sub/deeper/b.png"));
  EXPECT_FALSE(fs::exists(home() + "/config/Quorvant"));  // never reads or writes config.ini
}

TEST_F(ConsoleTest, QuietRunPrintsNothingOnSuccess) {
  writeRgb(in() + "/a.psd");
  RunResult r = run({"-q", "-i", in() + "/a.psd", "-o", out()});
  EXPECT_EQ(0, r.exit_code);
  EXPECT_EQ("", r.out);
  EXPECT_EQ("", r.err);
  EXPECT_TRUE(fs::exists(out() + "/a.png"));
}

TEST_F(ConsoleTest, FailedFilesLowerTheCountAndTheStatus) {
  writeRgb(in() + "/good.psd");
  writeText(in() + "/bad.psd", "8BPS broken");
  RunResult r = run({"-q", "-i", in(), "-o", out()});
  EXPECT_EQ(2, r.exit_code);
  RunResult all_bad = run({"-q", "-i", in() + "/bad.psd", "-o", out()});
  EXPECT_EQ(2, all_bad.exit_code);
  EXPECT_EQ("Conversion stopped\n", all_bad.out);
}

TEST_F(ConsoleTest, FileInputWithoutOutputWritesBesideTheInput) {
  writeRgb(in() + "/x.psd");
  RunResult r = run({"-q", "--INPUT=" + in() + "/x.psd"});
  EXPECT_EQ(0, r.exit_code) << r.err;
  EXPECT_TRUE(fs::exists(in() + "/x.png"));
}

TEST_F(ConsoleTest, ListFilesByTxtAndLstAndOtherNamesAreDocuments) {
  writeRgb(in() + "/a.psd");
  writeRgb(in() + "/b.psd");
  writeText(dir_.file("list.txt"), "\xEF\xBB\xBF" + in() + "/a.psd\r\n" + in() + "/b.psd\r\n");
  RunResult r = run({"-i", dir_.file("list.txt"), "-o", out(), "-q"});
  EXPECT_EQ(0, r.exit_code) << r.out << r.err;
  EXPECT_TRUE(fs::exists(out() + "/a.png"));
  EXPECT_TRUE(fs::exists(out() + "/b.png"));
  fs::copy_file(dir_.file("list.txt"), dir_.file("list.lst"));
  EXPECT_EQ(0, run({"-i", dir_.file("list.lst"), "-o", out(), "-q"}).exit_code);
  fs::copy_file(dir_.file("list.txt"), dir_.file("list.csv"));
  // Any other name is read as a document, so this one fails and is named.
  RunResult csv = run({"-i", dir_.file("list.csv"), "-o", out(), "-q"});
  EXPECT_EQ(2, csv.exit_code);
  EXPECT_EQ("Conversion stopped\n", csv.out);
  EXPECT_EQ("pixolune: " + dir_.file("list.csv") + ": cannot be decoded as a Photoshop document: header: not a "
            "Photoshop document (bad signature)\n", csv.err);
}

struct FatalCase {
  std::vector<std::string> extra;
  std::string error;
};

TEST_F(ConsoleTest, FatalLinesInTheirOrder) {
  writeRgb(in() + "/a.psd");
  writeText(in() + "/empty.psd", "");
  fs::create_directories(in() + "/dotted.dir");
  writeText(dir_.file("wm.png"), "");
  const std::string ok_in = in() + "/a.psd";
  const std::vector<FatalCase> cases = {
      {{"-i", ok_in, "-o", "../nothere"}, "Error: Invalid output folder"},
      {{"-i", ok_in, "-o", out() + "/nothere"}, "Error: Invalid output folder"},
      {{"-i", ok_in, "-o", out(), "-c", "PNG"}, "Error: Invalid conversion type"},
      {{"-i", ok_in, "-o", out(), "-c", "jpg"}, "Error: Invalid conversion type"},
      {{"-i", ok_in, "-o", out(), "--png-bpp=16"}, "Error: Invalid png-bpp value"},
      {{"-i", ok_in, "-o", out(), "--width=10"}, "Error: Invalid height value"},
      {{"-i", ok_in, "-o", out(), "--height=10"}, "Error: Invalid width value"},
      {{"-i", ok_in, "-o", out(), "--wm-text=Hi", "--wm-font=Nosuchfontfamilyzz"}, "Error: Invalid watermark font"},
      {{"-i", ok_in, "-o", out(), "--wm-image=" + dir_.file("wm.png")}, "Error: Invalid watermark image"},
      // Only the first problem is reported.
      {{"-i", in() + "/nothere", "-o", "../nothere", "-c", "PNG"}, "Error: Invalid output folder"},
      {{"-i", ok_in, "-o", out(), "--png-bpp=16", "--width=5"}, "Error: Invalid png-bpp value"},
  };
  for (const FatalCase& c : cases) {
    std::vector<std::string> args = c.extra;
    args.push_back("-q");
    RunResult r = run(args);
    EXPECT_EQ(c.error + "\n", r.err) << args[1];
    EXPECT_EQ("", r.out) << args[1];
    EXPECT_EQ(1, r.exit_code) << args[1];
  }
}

TEST_F(ConsoleTest, InputsThatCannotBeReadFailAsNamedFiles) {
  writeText(in() + "/empty.psd", "");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {in() + "/empty.psd", "header: the file is too short for a Photoshop document"},
      {in() + "/missing.psd", "the file does not exist"},
      {in() + "/nothere", "the file does not exist"},
  };
  for (const auto& [path, reason] : cases) {
    RunResult r = run({"-q", "-i", path, "-o", out()});
    EXPECT_EQ(2, r.exit_code) << path;
    EXPECT_EQ("Conversion stopped\n", r.out) << path;
    EXPECT_EQ("pixolune: " + path + ": cannot be decoded as a Photoshop document: " + reason + "\n", r.err);
  }
  // A folder, even one whose name has a dot, is collected: this one is empty.
  fs::create_directories(in() + "/dotted.dir");
  RunResult folder = run({"-q", "-i", in() + "/dotted.dir", "-o", out()});
  EXPECT_EQ(1, folder.exit_code);
  EXPECT_EQ("Conversion stopped\nNo input file(s) found. Please, add valid file(s) and try again!\n", folder.out);
}

TEST_F(ConsoleTest, GammaLimitsPass) {
  writeRgb(in() + "/a.psd");
  for (const char* gamma : {"--gamma=0.01", "--gamma=9.99"})
    EXPECT_EQ(0, run({"-q", "-i", in() + "/a.psd", "-o", out(), gamma}).exit_code) << gamma;
}

TEST_F(ConsoleTest, ParseErrors) {
  writeRgb(in() + "/a.psd");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"-o", out(), "-i"}, "option -i needs a value"},
      {{"-i", "-o", out()}, "option -i needs a value"},
      {{"-i", in(), "--profile="}, "option --profile needs a value"},
      {{"-i", in(), "--brightness="}, "option --brightness needs a value"},
      {{"-i", in(), "--brightness", "--invert"}, "option --brightness needs a value"},
      {{"-i", in(), "--brightness=101"}, "invalid value \"101\" for --brightness: expected a whole number from -100 to 100"},
      {{"-i", in(), "--contrast=-101"}, "invalid value \"-101\" for --contrast: expected a whole number from -100 to 100"},
      {{"-i", in(), "--gamma=0"}, "invalid value \"0\" for --gamma: expected a decimal number from 0.01 to 9.99"},
      {{"-i", in(), "--gamma=10"}, "invalid value \"10\" for --gamma: expected a decimal number from 0.01 to 9.99"},
  };
  for (const auto& [args, error] : cases) {
    RunResult r = run(args);
    EXPECT_EQ("Error: " + error + "\n", r.err) << args.back();
    EXPECT_EQ(1, r.exit_code);
  }
  RunResult profile = run({"-i", in(), "--profile=" + dir_.file("missing.ini")});
  EXPECT_EQ("Error: Invalid profile file: " + dir_.file("missing.ini") + "\n", profile.err);
}

TEST_F(ConsoleTest, OptionNamesIgnoreCaseAndNegativeNumbersWork) {
  writeRgb(in() + "/a.psd");
  RunResult r = run({"-I", in() + "/a.psd", "--OUTPUT=" + out(), "--BRIGHTNESS=-50", "-D", "-Q"});
  EXPECT_EQ(0, r.exit_code) << r.err;
  EXPECT_NE(std::string::npos, r.out.find("Brightness: -50\n"));
}

TEST_F(ConsoleTest, QuotedPathsWithSpaces) {
  writeRgb(in() + "/with space/a b.psd");
  RunResult shortform = run({"-q", "-i", "\"" + in() + "/with", "space/a", "b.psd\"", "-o", out()});
  EXPECT_EQ(0, shortform.exit_code) << shortform.err;
  RunResult longform = run({"-q", "--input=\"" + in() + "/with space/a b.psd\"", "-o", out()});
  EXPECT_EQ(0, longform.exit_code) << longform.err;
  EXPECT_TRUE(fs::exists(out() + "/a b.png"));
}

TEST_F(ConsoleTest, HelpAndVersionAnywhere) {
  RunResult version = run({"--version"});
  EXPECT_EQ("pixolune 2.8\n", version.out);
  EXPECT_EQ(0, version.exit_code);
  RunResult help = run({"-h"});
  std::vector<std::string> usage = lines(help.out);
  EXPECT_EQ("Usage: pixolune [options] [-i] INPUT...", usage.at(1));
  EXPECT_EQ("  pixolune -i ~/pictures/ -o ~/converted -c png --png-compression=zlib9", usage.at(8));
  EXPECT_EQ("  -v, --version             Display version information and exit", usage.back());
  // After other options too, and nothing is converted.
  writeRgb(in() + "/a.psd");
  RunResult later = run({"-q", "-i", in() + "/a.psd", "-o", out(), "--help"});
  EXPECT_EQ(0, later.exit_code);
  EXPECT_EQ(help.out, later.out);
  EXPECT_FALSE(fs::exists(out() + "/a.png"));
  EXPECT_EQ("pixolune 2.8\n", run({"-i", in() + "/a.psd", "-v"}).out);
}

TEST_F(ConsoleTest, WithoutInputTheWindowModeStarts) {
  RunResult r = run({"-o", out()});
  EXPECT_NE(std::string::npos, (r.out + r.err).find("window mode"));
}

TEST_F(ConsoleTest, InvertFlagTakesZeroAndProfileSetsWatermark) {
  writeRgb(in() + "/a.psd");
  writeText(dir_.file("p.ini"), "[CLI]\r\n--WM-TEXT = Hello profile\r\n--PNG-BPP = 24\r\n");
  RunResult r = run({"-q", "-d", "-i", in() + "/a.psd", "-o", out(), "--invert=0", "--profile=" + dir_.file("p.ini")});
  EXPECT_EQ(std::string::npos, r.out.find("Invert: 1\n")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("Watermark: TEXT\n"));
  EXPECT_NE(std::string::npos, r.out.find("Watermark text: Hello profile\n"));
  // Options after the profile overwrite it.
  RunResult later = run({"-q", "-d", "-i", in() + "/a.psd", "-o", out(), "--profile=" + dir_.file("p.ini"), "--png-bpp=8"});
  EXPECT_NE(std::string::npos, later.out.find("PNG BPP: 8\n"));
}

TEST_F(ConsoleTest, PauseAfterAnErrorDoesNotWaitAndNoTerminalNeverWaits) {
  RunResult r = run({"-i", in(), "--brightness", "-p"});
  EXPECT_EQ(1, r.exit_code);
  EXPECT_EQ("Error: option --brightness needs a value\n", r.err);
  EXPECT_EQ("", r.out);
  writeRgb(in() + "/a.psd");
  RunResult paused = run({"-q", "-i", in() + "/a.psd", "-o", out(), "-p"});
  EXPECT_EQ("Press any key to exit.\n", paused.out);
  EXPECT_EQ(0, paused.exit_code);
}

TEST_F(ConsoleTest, DebugTranscript) {
  writeRgb(in() + "/a.psd");
  RunResult r = run({"-d", "-i", in() + "/a.psd", "-o", out(), "--rotation=90", "--fr-solid-left=2",
                     "--file-timestamp=custom", "--file-timestamp-custom=1000000000"});
  ASSERT_EQ(0, r.exit_code) << r.err;
  std::vector<std::string> expected = {
      "Pixolune 2.8", "Copyright (c) 2026 Quorvant. All rights reserved.", "www.quorvant.example", " ",
      "Preparing...", "Input: " + in() + "/a.psd", "Output: " + in() + "/", "Conversion: png",
      "PSD Color Model: RGB", "PNG BPP: 0", "PNG Compression: ZLIB6", "PNG Interlaced: 0",
      "Image Rotation Type: SIMPLE", "Image Rotation: 90", "Image Rotation Back Color: 000000",
      "Flip Horizontal: 0", "Flip Vertical: 0", "Greyscale: 0", "Frame: SOLID", "Frame left: 2", "Frame right: 0",
      "Frame top: 0", "Frame bottom: 0", "Frame left color: 000000", "Frame right color: 000000",
      "Frame top color: 000000", "Frame bottom color: 000000", "Frame opacity: 255", "Watermark: NONE",
      "Filename Mask: %filename%.%ext%", "File Timestamp: CUSTOM", "Custom Timestamp: 1000000000 (2001-09-09 01:46:40 UTC)",
      "Keep Subfolders: 1", "Parallel Jobs: " + std::to_string(std::max(1u, std::thread::hardware_concurrency())),
      "Importing...", "Import complete, new files added: 1", "Converting...",
      "Processing: " + in() + "/a.psd", "Saving As: " + out() + "/a.png", "OK", "Conversion complete",
      "Files converted: 1 of 1"};
  // The output folder line shows the folder as given, before the checks.
  expected[6] = "Output: " + out();
  EXPECT_EQ(expected, lines(r.out));
  Pixels px = readImage(out() + "/a.png");
  EXPECT_EQ(4, px.width);  // 6 x 4 turned by 90 degrees
}

TEST_F(ConsoleTest, ARunningInstanceHoldsBackASecondWindowButNoConsoleRun) {
  // Hold the instance lock the way a running window does.
  std::string runtime = home() + "/runtime";
  fs::create_directories(runtime);
  std::string lock_path = runtime + "/Pixolune_2.8.lock";
  int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(0, flock(fd, LOCK_EX | LOCK_NB));
  writeRgb(in() + "/a.psd");
  RunResult r = run({"-i", in() + "/a.psd"});
  EXPECT_EQ("", r.err);
  EXPECT_EQ(0, r.exit_code);
  EXPECT_TRUE(fs::exists(in() + "/a.png"));
  RunResult window = run({});
  EXPECT_EQ(0, window.exit_code);
  EXPECT_EQ("", window.out + window.err);
  close(fd);
}

TEST_F(ConsoleTest, AWindowWhoseRuntimeFolderIsMissingSaysSo) {
  RunEnvironment environment;
  environment.variables = {{"XDG_RUNTIME_DIR", home() + "/no-such-runtime"}};
  RunResult window = runPixolune({}, dir_.path(), home(), environment);
  EXPECT_EQ(1, window.exit_code);
  EXPECT_EQ("Error: Pixolune cannot tell whether another instance is running: the runtime folder \"" + home() +
                "/no-such-runtime\" (XDG_RUNTIME_DIR) does not exist\n",
            window.err);
}

// Helpers are started from the helper program beside the program; a
// program copied somewhere without it serves as its own helper, and still
// converts without the window module.
TEST_F(ConsoleTest, HelpersAndWindowsComeFromTheFilesBesideTheProgram) {
  writeRgb(in() + "/a.psd");
  const fs::path real(PIXOLUNE_BINARY);
  const std::string alone = dir_.file("alone"), paired = dir_.file("paired");
  fs::create_directories(alone);
  fs::create_directories(paired);
  fs::copy_file(real, alone + "/pixolune");
  fs::copy_file(real, paired + "/pixolune");
  // A stand-in helper that leaves a mark and hands over to the real one.
  writeText(paired + "/pixolune-helper", "#!/bin/sh\ntouch " + dir_.file("helper-ran") + "\nexec " +
                                            (real.parent_path() / "pixolune-helper").string() + " \"$@\"\n");
  fs::permissions(paired + "/pixolune-helper", fs::perms::owner_all);
  for (const std::string& folder : {alone, paired}) {
    SCOPED_TRACE(folder);
    RunEnvironment environment;
    environment.program = folder + "/pixolune";
    RunResult r = runPixolune({"-q", "-i", in() + "/a.psd", "-o", out()}, dir_.path(), home(), environment);
    EXPECT_EQ(0, r.exit_code) << r.err;
    EXPECT_TRUE(readImage(out() + "/a.png").ok());
    EXPECT_EQ(folder == paired, fs::exists(dir_.file("helper-ran")));
    fs::remove(out() + "/a.png");
  }
  // Without the window module beside it the console mode works as above,
  // and a start mode that needs windows says why it cannot start.
  RunEnvironment displayed;
  displayed.program = alone + "/pixolune";
  displayed.variables = {{"DISPLAY", ":99"}};
  RunResult windowless = runPixolune({"-T", dir_.path() + "/"}, dir_.path(), home(), displayed);
  EXPECT_EQ(1, windowless.exit_code);
  EXPECT_EQ(0u, windowless.err.rfind("Error: The window mode could not be started: ", 0)) << windowless.err;
  EXPECT_NE(std::string::npos, windowless.err.find("pixolune-window.so")) << windowless.err;
  // Started by hand, the helper program says what it is for.
  RunEnvironment environment;
  environment.program = (real.parent_path() / "pixolune-helper").string();
  RunResult r = runPixolune({}, dir_.path(), home(), environment);
  EXPECT_EQ(2, r.exit_code);
  EXPECT_NE(std::string::npos, r.err.find("started by Pixolune only")) << r.err;
}

}  // namespace
}  // namespace pixolune::testing
