// The confinement of conversion helpers end to end: what a running helper of
// the real binary holds, and what a run says when the kernel refuses a layer.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune::testing {
namespace {

namespace fs = std::filesystem;

// The value of a "Name:\tvalue" line of /proc/<pid>/status.
std::string statusField(const std::string& status, const std::string& name) {
  const size_t at = status.find("\n" + name + ":");
  if (at == std::string::npos) return "";
  const size_t from = status.find_first_not_of(" \t", at + name.size() + 2);
  return status.substr(from, status.find('\n', from) - from);
}

std::string linkTarget(const std::string& path) {
  std::error_code error;
  return fs::read_symlink(path, error).string();
}

// The descriptors of the process at `base` (/proc/<pid>), with their targets.
std::map<int, std::string> descriptorsOf(const std::string& base) {
  std::map<int, std::string> fds;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir((base + "/fd").c_str()), closedir);
  for (dirent* e; dir && (e = readdir(dir.get()));) {
    if (e->d_name[0] == '.') continue;
    // A descriptor closed between the listing and the reading of its link is no longer held.
    const std::string target = linkTarget(base + "/fd/" + e->d_name);
    if (!target.empty()) fds[std::atoi(e->d_name)] = target;
  }
  return fds;
}

// What the test saw of one helper: its status and its descriptors with
// their targets.
struct HelperSnapshot {
  pid_t pid = 0;
  std::string status;
  std::map<int, std::string> descriptors;
  std::string parent_fd7;  // What its parent (the program) holds on descriptor 7.
};

// A confined helper of the run whose HOME is `home`, or pid 0 when none is
// running yet. Helpers are told by their argument and the run's HOME in
// their environment, so parallel test runs never see each other's.
HelperSnapshot confinedHelperOf(const std::string& home) {
  HelperSnapshot seen;
  const std::string wanted_home = "HOME=" + home + std::string(1, '\0');
  std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
  for (dirent* e; proc && (e = readdir(proc.get()));) {
    const std::string pid = e->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string base = "/proc/" + pid;
    if (readText(base + "/cmdline").find("--internal-conversion-helper") == std::string::npos) continue;
    if (readText(base + "/environ").find(wanted_home) == std::string::npos) continue;
    seen.status = readText(base + "/status");
    if (statusField(seen.status, "Seccomp") != "2") continue;  // Not confined yet.
    seen.descriptors = descriptorsOf(base);
    if (seen.descriptors.empty()) continue;  // It ended meanwhile.
    seen.parent_fd7 = linkTarget("/proc/" + statusField(seen.status, "PPid") + "/fd/7");
    seen.pid = std::stoi(pid);
    return seen;
  }
  return seen;
}

class ConfinementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"home", "in", "out"}) fs::create_directories(dir_.file(name));
  }
  // `copies` names of one document of `side` x `side` pixels, orange.
  void writeDocuments(int copies, int side) {
    PsdDocument doc = makeDocument(PsdMode::kRgb, 8, side, side, 0, [](int c, int, int) { return c == 0 ? 250.0 : c == 1 ? 120.0 : 10.0; });
    doc.rle = true;
    ASSERT_TRUE(writePsdFile(dir_.file("in/d0.psd"), doc));
    for (int i = 1; i < copies; ++i)
      ASSERT_EQ(0, link(dir_.file("in/d0.psd").c_str(), dir_.file("in/d" + std::to_string(i) + ".psd").c_str()));
  }
  std::vector<std::string> args() const { return {"-d", "-i", dir_.file("in"), "-o", dir_.file("out")}; }
  size_t outputs() const {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir_.file("out"))) n += e.path().extension() == ".png";
    return n;
  }
  TempDir dir_;
};

TEST_F(ConfinementTest, ARunningHelperHoldsNoPrivilegeAndNothingOfItsCaller) {
  constexpr int kCopies = 24;
  writeDocuments(kCopies, 1200);
  const std::string extra = dir_.file("extra.txt");
  writeText(extra, "the caller's own file");
  // The shell opens the file on descriptor 7 without close-on-exec, as a
  // script calling the program might.
  RunEnvironment shell;
  shell.program = "/bin/sh";
  std::vector<std::string> command = {"-c", "exec 7<\"$1\"; shift; exec \"$@\"", "sh", extra, PIXOLUNE_BINARY};
  for (const std::string& a : args()) command.push_back(a);
  std::atomic<bool> done{false};
  RunResult r;
  std::thread run([&] {
    r = runPixolune(command, dir_.path(), dir_.file("home"), shell);
    done = true;
  });
  HelperSnapshot helper;
  while (!done && helper.pid == 0) {
    helper = confinedHelperOf(dir_.file("home"));
    if (helper.pid == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  run.join();
  ASSERT_NE(0, helper.pid) << "the run ended before a confined helper was seen\n" << r.out << r.err;
  EXPECT_EQ(0, r.exit_code) << r.err;
  EXPECT_EQ(static_cast<size_t>(kCopies), outputs());
  Pixels png = readImage(dir_.file("out/d7.png"));
  ASSERT_TRUE(png.ok());
  EXPECT_EQ(250, png.at(600, 600)[0]);
  EXPECT_EQ(120, png.at(600, 600)[1]);
  EXPECT_EQ(10, png.at(600, 600)[2]);
  EXPECT_EQ(std::string::npos, r.out.find("run without")) << r.out;

  EXPECT_EQ("1", statusField(helper.status, "NoNewPrivs"));
  for (const char* set : {"CapInh", "CapPrm", "CapEff", "CapAmb"})
    EXPECT_EQ("0000000000000000", statusField(helper.status, set)) << set;
  if (getuid() == 0) {
    EXPECT_EQ("0000000000000000", statusField(helper.status, "CapBnd"));
  }
  EXPECT_EQ(fs::canonical(extra).string(), helper.parent_fd7) << "the program itself got no descriptor 7";
  // Beyond the socket and standard streams only what the helper opens
  // itself: the document it reads, the output folder and file it writes,
  // /proc (it counts its busy siblings).
  const std::string root = fs::canonical(dir_.path()).string();
  for (const auto& [fd, target] : helper.descriptors) {
    EXPECT_NE(fs::canonical(extra).string(), target) << fd;
    const bool own = fd <= 3 || (target + "/").rfind(root + "/in/", 0) == 0 ||
                     (target + "/").rfind(root + "/out/", 0) == 0 || target.rfind("/proc/", 0) == 0;
    EXPECT_TRUE(own) << fd << " " << target;
  }
  for (int fd : {0, 1, 2}) EXPECT_EQ("/dev/null", helper.descriptors[fd]) << fd;
  EXPECT_EQ(0u, helper.descriptors[3].rfind("socket:", 0));
}

// Runs the program as runPixolune does, with `calls` failing with `error`
// as on a kernel without them (a filter installed before the program
// starts, inherited by its helpers).
RunResult runWithout(const std::vector<long>& calls, int error, const std::vector<std::string>& args,
                     const std::string& cwd, const std::string& home) {
  const std::string out = home + "/probe.out", err = home + "/probe.err";
  pid_t pid = fork();
  if (pid == 0) {
    std::vector<sock_filter> p;
    p.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
    for (long call : calls) {
      p.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(call), 0, 1));
      p.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<uint32_t>(error)));
    }
    p.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    sock_fprog program{static_cast<unsigned short>(p.size()), p.data()};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
      _exit(126);
    RunResult r = runPixolune(args, cwd, home);
    writeText(out, r.out);
    writeText(err, r.err);
    _exit(r.exit_code < 0 ? 125 : r.exit_code);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  RunResult r;
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = readText(out);
  r.err = readText(err);
  return r;
}

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST_F(ConfinementTest, AKernelWithoutLandlockIsNamedOnceAndTheRunGoesOn) {
  writeDocuments(3, 8);
  RunResult r = runWithout({SYS_landlock_create_ruleset}, ENOSYS, args(), dir_.path(), dir_.file("home"));
  ASSERT_EQ(0, r.exit_code) << r.out << r.err;
  const std::string note =
      "Note: the conversion helpers run without the Landlock write rules (this kernel offers no Landlock: "
      "Function not implemented)\n";
  EXPECT_EQ(1u, count(r.out, note)) << r.out;
  EXPECT_LT(r.out.find(note), r.out.find("Processing: "));
  EXPECT_EQ(3u, count(r.out, "\nOK\n")) << r.out;
  EXPECT_EQ(3u, outputs());
}

TEST_F(ConfinementTest, AHelperWithoutItsSystemCallFilterConvertsNothing) {
  writeDocuments(3, 8);
  RunResult r = runWithout({SYS_landlock_create_ruleset, SYS_seccomp}, EINVAL, args(), dir_.path(),
                           dir_.file("home"));
  EXPECT_EQ(1u, count(r.out, "Note: the conversion helpers run without the Landlock write rules (this kernel "
                             "offers no Landlock: Invalid argument), the system call filter (seccomp: Invalid "
                             "argument)\n"))
      << r.out;
  EXPECT_EQ(3u, count(r.out, "Not OK\nReason: the conversion helper could not be confined: its system call "
                             "filter was refused (seccomp: Invalid argument)\n"))
      << r.out;
  EXPECT_EQ(0u, outputs());
}

}  // namespace
}  // namespace pixolune::testing
