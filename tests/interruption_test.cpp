// Runs that end early, end to end: stopped by a signal, killed outright, or
// out of space on the output device. None leaves a temporary file behind,
// and what was written before the end is whole.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kFiles = 100;
constexpr int kBeforeStop = 3;  // Files converted before the test stops the run.
constexpr int kWidth = 256, kHeight = 192;

// Samples that do not compress (a cut-off file cannot pass for whole); the
// same function checks the pixels of every converted file.
int sample(int file, int c, int x, int y) {
  uint32_t h = static_cast<uint32_t>(file) * 2654435761u ^ static_cast<uint32_t>(x) * 73856093u ^
               static_cast<uint32_t>(y) * 19349663u ^ static_cast<uint32_t>(c) * 83492791u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  return static_cast<int>((h ^ (h >> 15)) & 0xFF);
}

std::string inputName(int file) {
  char name[32];
  std::snprintf(name, sizeof name, "f%03d", file);
  return name;
}

void writeInputs(const std::string& folder, int count) {
  fs::create_directories(folder);
  for (int file = 0; file < count; ++file) {
    PsdDocument doc = makeDocument(PsdMode::kRgb, 8, kWidth, kHeight, 0,
                                   [file](int c, int x, int y) { return static_cast<double>(sample(file, c, x, y)); });
    ASSERT_TRUE(writePsdFile(folder + "/" + inputName(file) + ".psd", doc));
  }
}

// Names in `folder` holding ".pxl-": temporary files.
std::vector<std::string> temporariesIn(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().filename().string().find(".pxl-") != std::string::npos) found.push_back(entry.path().string());
  return found;
}

// Waits (for minutes at most) until a temporary file is in `folder`. While
// the test does not read a run's output the run soon waits to print, and
// the files its helpers had in hand lie finished under temporary names.
bool waitForTemporary(const std::string& folder) {
  for (auto give_up = Clock::now() + std::chrono::minutes(2); Clock::now() < give_up;) {
    if (!temporariesIn(folder).empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

// Every PNG in `folder` is the whole picture of its document. Returns how many there are.
int checkWholeOutputs(const std::string& folder) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() != ".png") continue;
    ++count;
    const int file = std::atoi(entry.path().stem().string().c_str() + 1);
    Pixels px = readImage(entry.path().string());
    EXPECT_EQ(kWidth, px.width) << entry.path();
    EXPECT_EQ(kHeight, px.height) << entry.path();
    if (px.width != kWidth || px.height != kHeight) continue;
    int wrong = 0;
    for (int y = 0; y < px.height; ++y)
      for (int x = 0; x < px.width; ++x)
        for (int c = 0; c < 3; ++c) wrong += px.at(x, y)[c] != sample(file, c, x, y);
    EXPECT_EQ(0, wrong) << entry.path();
  }
  return count;
}

int filesConvertedLine(const std::string& out, int listed) {
  const std::string label = "Files converted: ";
  const size_t at = out.rfind(label);
  if (at == std::string::npos) return -1;
  const std::string of = " of " + std::to_string(listed);
  const size_t end = out.find('\n', at);
  const std::string line = out.substr(at + label.size(), end - at - label.size());
  if (line.size() <= of.size() || line.compare(line.size() - of.size(), of.size(), of) != 0) return -1;
  return std::atoi(line.c_str());
}

// The program running in the background in a process group of its own (as
// a shell starts a job), so the test can signal it in the middle of a run.
// Its standard output is a pipe of one page that the test reads: the run
// cannot get further than a page of debug lines past what the test has
// read, so a signal sent after the test has read of a few files surely
// comes in the middle of the run, however the machine is loaded.
class BackgroundRun {
 public:
  BackgroundRun(const std::vector<std::string>& args, const std::string& cwd, const std::string& home) : home_(home) {
    fs::create_directories(home + "/config");
    fs::create_directories(home + "/runtime");
    int out[2];
    EXPECT_EQ(0, pipe2(out, O_CLOEXEC));
    fcntl(out[0], F_SETPIPE_SZ, 4096);
    pid_ = fork();
    if (pid_ == 0) {
      setpgid(0, 0);
      if (chdir(cwd.c_str()) != 0) _exit(127);
      int in = open("/dev/null", O_RDONLY);
      int err = open((home + "/.stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(in, 0), dup2(out[1], 1), dup2(err, 2);
      execIsolatedPixolune(args, home);
    }
    setpgid(pid_, pid_);  // Either side may get there first.
    close(out[1]);
    out_fd_ = out[0];
  }
  ~BackgroundRun() {
    if (!ended_) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_fd_ >= 0) close(out_fd_);
  }

  pid_t pid() const { return pid_; }

  // Reads the run's output until `count` files were converted ("OK" lines);
  // false when the output ended first (or nothing came for minutes).
  bool readUntilConverted(int count) {
    while (okLines() < count)
      if (!readSome()) return false;
    return true;
  }

  // Reads the rest of the output, waits for the program to end (killed
  // after minutes without output) and says how it went.
  RunResult finish() {
    RunResult result;
    while (readSome()) {
    }
    int status = 0;
    if (!ended_) {
      if (!eof_) kill(-pid_, SIGKILL), result.err = "(killed after time-out)\n";
      waitpid(pid_, &status, 0);
      status_ = status;
      ended_ = true;
    }
    result.exit_code = WIFEXITED(status_) ? WEXITSTATUS(status_) : -WTERMSIG(status_);
    result.out = out_;
    result.err += readText(home_ + "/.stderr");
    return result;
  }

  // True when no process of the run's group is left (helpers included).
  // The test process reaps helpers whose parent was killed when it is
  // their subreaper; waits for minutes at most.
  bool groupGone() {
    for (auto give_up = Clock::now() + std::chrono::minutes(2); Clock::now() < give_up;) {
      while (waitpid(-pid_, nullptr, WNOHANG) > 0) {
      }
      if (kill(-pid_, 0) != 0 && errno == ESRCH) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

 private:
  int okLines() const {
    int count = 0;
    for (size_t at = 0; (at = out_.find("\nOK\n", at)) != std::string::npos; at += 3) ++count;
    return count;
  }
  // False at the end of the output or after minutes of silence.
  bool readSome() {
    if (eof_) return false;
    pollfd p{out_fd_, POLLIN, 0};
    if (poll(&p, 1, 180000) <= 0) return false;
    char buf[4096];
    const ssize_t n = read(out_fd_, buf, sizeof buf);
    if (n <= 0) {
      eof_ = true;
      return false;
    }
    out_.append(buf, static_cast<size_t>(n));
    return true;
  }

  std::string home_;
  pid_t pid_ = -1;
  int out_fd_ = -1;
  std::string out_;
  bool eof_ = false;
  int status_ = 0;
  bool ended_ = false;
};

class InterruptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.file("out"));
    writeInputs(dir_.file("in"), kFiles);
  }
  void TearDown() override { prctl(PR_SET_CHILD_SUBREAPER, 0); }
  std::vector<std::string> args(const std::string& out) {
    return {"-i", dir_.file("in"), "-o", out, "-d", "--jobs=2"};
  }
  // Starts a run, waits until a few files are done and more lie under
  // temporary names, then sends `signal` to the run's process or to its
  // whole group (as a terminal's Ctrl-C does).
  RunResult stopInTheMiddle(int signal, bool whole_group) {
    BackgroundRun run(args(dir_.file("out")), dir_.path(), dir_.file("home"));
    const bool middle = run.readUntilConverted(kBeforeStop) && waitForTemporary(dir_.file("out"));
    if (middle) kill(whole_group ? -run.pid() : run.pid(), signal);
    RunResult r = run.finish();
    EXPECT_TRUE(middle) << "the run ended before the signal, or wrote nothing to clean up\n" << r.out << r.err;
    EXPECT_TRUE(run.groupGone()) << "a helper outlived the run";
    return r;
  }
  void expectStoppedInOrder(const RunResult& r, int signal) {
    EXPECT_EQ(128 + signal, r.exit_code) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("\nConversion stopped\n")) << r.out;
    EXPECT_EQ(std::vector<std::string>{}, temporariesIn(dir_.file("out")));
    const int converted = checkWholeOutputs(dir_.file("out"));
    EXPECT_EQ(converted, filesConvertedLine(r.out, kFiles)) << r.out;
    EXPECT_GE(converted, kBeforeStop);
    EXPECT_LT(converted, kFiles);
    std::printf("stopped after %d files\n", converted);
  }
  TempDir dir_;
};

TEST_F(InterruptionTest, InterruptFromTheTerminalStopsInOrder) {
  RunResult r = stopInTheMiddle(SIGINT, true);
  expectStoppedInOrder(r, SIGINT);
}

TEST_F(InterruptionTest, TerminationStopsInOrder) {
  RunResult r = stopInTheMiddle(SIGTERM, false);
  expectStoppedInOrder(r, SIGTERM);
}

TEST_F(InterruptionTest, AKilledRunLeavesNothingForTheNextRun) {
  prctl(PR_SET_CHILD_SUBREAPER, 1);  // The killed run's helpers become ours to reap.
  {
    BackgroundRun run(args(dir_.file("out")), dir_.path(), dir_.file("home"));
    ASSERT_TRUE(run.readUntilConverted(kBeforeStop) && waitForTemporary(dir_.file("out"))) << run.finish().out;
    kill(run.pid(), SIGKILL);
    EXPECT_EQ(-SIGKILL, run.finish().exit_code);
    EXPECT_TRUE(run.groupGone()) << "a helper outlived its parent";
  }
  // The helpers remove their own files when their parent dies.
  EXPECT_EQ(std::vector<std::string>{}, temporariesIn(dir_.file("out")));

  // A temporary file of a run that ended without cleaning up (its process
  // is gone): the next run into the folder removes it.
  pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  writeText(dir_.file("out/f000.png.pxl-" + std::to_string(gone) + "-3"), "half a picture");
  RunResult again = runPixolune(args(dir_.file("out")), dir_.path(), dir_.file("home"));
  EXPECT_EQ(0, again.exit_code) << again.out << again.err;
  EXPECT_EQ(kFiles, filesConvertedLine(again.out, kFiles)) << again.out;
  EXPECT_EQ(std::vector<std::string>{}, temporariesIn(dir_.file("out")));
  EXPECT_EQ(kFiles, checkWholeOutputs(dir_.file("out")));
}

// A file system that fills up part way through the run.
class FullDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    small_ = dir_.file("small");
    fs::create_directories(small_);
    if (mount("tmpfs", small_.c_str(), "tmpfs", 0, "size=512k") != 0)
      GTEST_SKIP() << "a small file system cannot be mounted here (" << std::strerror(errno) << ")";
    mounted_ = true;
    writeInputs(dir_.file("in"), 16);  // About four fit.
  }
  void TearDown() override {
    if (mounted_) umount2(small_.c_str(), MNT_DETACH);
  }
  TempDir dir_;
  std::string small_;
  bool mounted_ = false;
};

TEST_F(FullDeviceTest, FilesThatDoNotFitFailForLackOfSpaceAndLeaveNoTemporary) {
  RunResult r = runPixolune({"-i", dir_.file("in"), "-o", small_, "-d", "--jobs=2"}, dir_.path(), dir_.file("home"));
  EXPECT_EQ(2, r.exit_code) << r.out << r.err;
  EXPECT_EQ(std::vector<std::string>{}, temporariesIn(small_));
  const int converted = checkWholeOutputs(small_);
  EXPECT_EQ(converted, filesConvertedLine(r.out, 16)) << r.out;
  EXPECT_LT(converted, 16);
  int reasons = 0;
  for (size_t at = 0; (at = r.out.find("\nReason: ", at)) != std::string::npos; ++at, ++reasons) {
    const std::string line = r.out.substr(at + 1, r.out.find('\n', at + 1) - at - 1);
    EXPECT_NE(std::string::npos, line.find("no space")) << line;
  }
  EXPECT_EQ(16 - converted, reasons) << r.out;
}

}  // namespace
}  // namespace pixolune::testing
