// What a console run tells of its files end to end: every file that was not
// converted named on standard error, and the progress line on a terminal.
#include <FreeImage.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune::testing {
namespace {

namespace fs = std::filesystem;

// Where a run's standard error goes.
enum class ErrorStream { kPseudoTerminal, kPipe };

// Reads `fd` until its writers are gone (a pseudo-terminal's master then
// fails with EIO) or 120 s pass.
std::string readUntilClosed(int fd) {
  std::string text;
  char buf[4096];
  for (int waited_ms = 0; waited_ms < 120000;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) == 0) {
      waited_ms += 100;
      continue;
    }
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  return text;
}

class ConsoleReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& folder : {in(), out(), home() + "/config", home() + "/runtime"}) fs::create_directories(folder);
  }
  std::string in() const { return dir_.file("in"); }
  std::string out() const { return dir_.file("out"); }
  std::string home() const { return dir_.file("home"); }

  void writeRgb(const std::string& path) {
    PsdDocument doc = makeDocument(PsdMode::kRgb, 8, 6, 4, 0, [](int c, int x, int y) { return 30.0 * c + 10 * x + y; });
    ASSERT_TRUE(writePsdFile(path, doc));
  }
  // a.psd intact, b.psd cut off inside its pixels, c.psd a JPEG file, and
  // list() naming them in this order.
  void writeMixedBatch(bool with_intact = true) {
    writeRgb(in() + "/a.psd");
    writeRgb(in() + "/b.psd");
    fs::resize_file(in() + "/b.psd", fs::file_size(in() + "/b.psd") - 20);
    FIBITMAP* dib = FreeImage_Allocate(8, 8, 24);
    ASSERT_TRUE(FreeImage_Save(FIF_JPEG, dib, (in() + "/c.psd").c_str(), 0));
    FreeImage_Unload(dib);
    writeText(list(), (with_intact ? in() + "/a.psd\r\n" : "") + in() + "/b.psd\r\n" + in() + "/c.psd\r\n");
  }
  std::string list() const { return dir_.file("list.txt"); }
  std::string failureLines() const {
    return "pixolune: " + in() + "/b.psd: cannot be decoded as a Photoshop document: composite image: truncated image data\n"
           "pixolune: " + in() + "/c.psd: cannot be decoded as a Photoshop document: header: not a Photoshop document (bad signature)\n";
  }
  RunResult run(const std::vector<std::string>& args, const RunEnvironment& environment = RunEnvironment()) {
    return runPixolune(args, dir_.path(), home(), environment);
  }
  // Runs the program with standard error on a pseudo-terminal `columns`
  // wide in raw mode (no "\r" added to line breaks) or on a pipe; err holds
  // what it wrote there.
  RunResult runOn(ErrorStream stream, const std::vector<std::string>& args, int columns = 60);

  TempDir dir_;
};

RunResult ConsoleReportTest::runOn(ErrorStream stream, const std::vector<std::string>& args, int columns) {
  RunResult result;
  int reader = -1, writer = -1;
  if (stream == ErrorStream::kPseudoTerminal) {
    termios raw{};
    cfmakeraw(&raw);
    winsize size{};
    size.ws_row = 24;
    size.ws_col = static_cast<unsigned short>(columns);
    if (openpty(&reader, &writer, nullptr, &raw, &size) != 0) return result.err = "openpty failed", result;
  } else {
    int ends[2];
    if (pipe(ends) != 0) return result.err = "pipe failed", result;
    reader = ends[0], writer = ends[1];
  }
  const std::string out_path = home() + "/.stdout";
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir_.path().c_str()) != 0) _exit(127);
    dup2(open("/dev/null", O_RDONLY), 0);
    dup2(open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    dup2(writer, 2);
    close(reader), close(writer);
    execIsolatedPixolune(args, home());
  }
  close(writer);
  result.err = readUntilClosed(reader);
  close(reader);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  result.out = readText(out_path);
  return result;
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The texts a progress line drew: what follows each "\r" up to the clearing
// "\x1b[K" (empty for a clear alone).
std::vector<std::string> drawnTexts(const std::string& err) {
  std::vector<std::string> texts;
  for (size_t at = err.find('\r'); at != std::string::npos; at = err.find('\r', at + 1)) {
    size_t end = err.find("\x1b[K", at);
    if (end != std::string::npos) texts.push_back(err.substr(at + 1, end - at - 1));
  }
  return texts;
}

TEST_F(ConsoleReportTest, FailedFilesAreNamedOnStandardErrorWithTheirReasons) {
  writeMixedBatch();
  RunResult r = run({"-i", list(), "-o", out()});
  EXPECT_EQ(2, r.exit_code) << r.out << r.err;
  EXPECT_EQ(failureLines(), r.err);
  EXPECT_TRUE(endsWith(r.out, "Converting...\nConversion complete\nFiles converted: 1 of 3\n")) << r.out;
  Pixels a = readImage(out() + "/a.png");
  ASSERT_TRUE(a.ok());
  EXPECT_EQ(30 + 10 * 2 + 3, a.at(2, 3)[1]);
  EXPECT_FALSE(fs::exists(out() + "/b.png"));

  RunResult quiet = run({"-q", "-i", list(), "-o", out()});
  EXPECT_EQ(2, quiet.exit_code);
  EXPECT_EQ("", quiet.out);
  EXPECT_EQ(failureLines(), quiet.err);

  RunResult debug = run({"-d", "-i", list(), "-o", out()});
  EXPECT_EQ(failureLines(), debug.err);
  EXPECT_NE(std::string::npos, debug.out.find("Not OK\nReason: cannot be decoded as a Photoshop document: header: "
                                              "not a Photoshop document (bad signature)\n"))
      << debug.out;
}

TEST_F(ConsoleReportTest, AFolderIsConvertedInTheOrderOfItsNames) {
  // Made out of order, none a document: each is named as it is met.
  for (const char* name : {"b.psd", "a/z.psd", "B.psd", "a.psd", "a/c.psd"}) {
    fs::create_directories(fs::path(in() + "/" + name).parent_path());
    writeText(in() + "/" + name, "not a Photoshop document");
  }
  RunResult r = run({"-q", "-i", in(), "-o", out()});
  EXPECT_EQ(2, r.exit_code) << r.out << r.err;
  std::vector<std::string> named;
  for (size_t at = 0; (at = r.err.find(in() + "/", at)) != std::string::npos; at = r.err.find('\n', at))
    named.push_back(r.err.substr(at + in().size() + 1, r.err.find(".psd", at) + 4 - (at + in().size() + 1)));
  EXPECT_EQ((std::vector<std::string>{"B.psd", "a/c.psd", "a/z.psd", "a.psd", "b.psd"}), named) << r.err;
}

TEST_F(ConsoleReportTest, ARunThatConvertsNothingStillGivesTheTotalAndEachFile) {
  writeMixedBatch(false);
  RunResult r = run({"-i", list(), "-o", out()});
  EXPECT_EQ(2, r.exit_code);
  EXPECT_TRUE(endsWith(r.out, "Converting...\nConversion stopped\nFiles converted: 0 of 2\n")) << r.out;
  EXPECT_EQ(failureLines(), r.err);
  RunResult quiet = run({"-q", "-i", list(), "-o", out()});
  EXPECT_EQ("Conversion stopped\n", quiet.out);
  EXPECT_EQ(failureLines(), quiet.err);
}

TEST_F(ConsoleReportTest, AReadOnlyOutputFolderNamesEveryFileWithThePermissionReason) {
  writeRgb(in() + "/a.psd");
  writeRgb(in() + "/b.psd");
  writeText(list(), in() + "/a.psd\r\n" + in() + "/b.psd\r\n");
  chmod(out().c_str(), 0555);
  RunEnvironment bound;
  bound.bound_by_permissions = true;  // Root too is held to the folder's permissions.
  RunResult r = run({"-i", list(), "-o", out()}, bound);
  chmod(out().c_str(), 0755);
  EXPECT_EQ(2, r.exit_code) << r.out << r.err;
  const std::string reason = ": no permission to write in \"" + out() + "/\"\n";
  EXPECT_EQ("pixolune: " + in() + "/a.psd" + reason + "pixolune: " + in() + "/b.psd" + reason, r.err);
  EXPECT_TRUE(endsWith(r.out, "Conversion stopped\nFiles converted: 0 of 2\n")) << r.out;
}

TEST_F(ConsoleReportTest, ProgressIsDrawnOnATerminalAboveNoLineAndClearedAtTheEnd) {
  writeMixedBatch();
  RunResult r = runOn(ErrorStream::kPseudoTerminal, {"-i", list(), "-o", out()}, 40);
  EXPECT_EQ(2, r.exit_code) << r.out << r.err;
  EXPECT_NE(std::string::npos, r.err.find("\r0 of 3")) << r.err;
  EXPECT_TRUE(endsWith(r.err, "\r\x1b[K")) << r.err;  // Cleared, nothing after it.
  for (const std::string& text : drawnTexts(r.err)) EXPECT_GT(40u, text.size()) << text;
  // The failure lines are whole lines between the drawings, each after a clear.
  const std::string first = failureLines().substr(0, failureLines().find('\n') + 1);
  EXPECT_NE(std::string::npos, r.err.find("\r\x1b[K" + first)) << r.err;
  EXPECT_TRUE(endsWith(r.out, "Conversion complete\nFiles converted: 1 of 3\n")) << r.out;
}

TEST_F(ConsoleReportTest, NoProgressIntoAPipeUnlessAskedFor) {
  writeMixedBatch();
  RunResult piped = runOn(ErrorStream::kPipe, {"-i", list(), "-o", out()});
  EXPECT_EQ(failureLines(), piped.err);

  RunResult forced = runOn(ErrorStream::kPipe, {"-i", list(), "-o", out(), "--progress"});
  EXPECT_EQ(2, forced.exit_code);
  EXPECT_NE(std::string::npos, forced.err.find("\r0 of 3\x1b[K")) << forced.err;
  EXPECT_TRUE(endsWith(forced.err, "\r\x1b[K")) << forced.err;
  for (const std::string& text : drawnTexts(forced.err)) EXPECT_GT(80u, text.size()) << text;

  RunResult off = runOn(ErrorStream::kPseudoTerminal, {"-i", list(), "-o", out(), "--no-progress"});
  EXPECT_EQ(failureLines(), off.err);
}

}  // namespace
}  // namespace pixolune::testing
