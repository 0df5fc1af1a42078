#include "platform/helper_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace pixolune {

namespace {

constexpr uint32_t kMaxFrame = 64u << 20;

// The environment a helper starts with: this process's, with the C
// library's allocator told to back its large blocks with huge pages where
// the system offers them (glibc.malloc.hugetlb=1). A helper's images are
// tens of megabytes, first written right after they are allocated; in 4 KiB
// pages that is thousands of page faults, which took longer than decoding
// the pixels. A setting of the user's own for it is left as it is.
std::vector<std::string> helperEnvironment() {
  constexpr char kTunables[] = "GLIBC_TUNABLES=", kHugePages[] = "glibc.malloc.hugetlb=1";
  std::vector<std::string> env;
  bool tuned = false;
  for (char** e = environ; *e; ++e) {
    std::string entry(*e);
    if (entry.rfind(kTunables, 0) == 0) {
      tuned = true;
      if (entry.find("glibc.malloc.hugetlb=") == std::string::npos)
        entry += (entry.size() > sizeof kTunables - 1 ? ":" : "") + std::string(kHugePages);
    }
    env.push_back(std::move(entry));
  }
  if (!tuned) env.push_back(std::string(kTunables) + kHugePages);
  return env;
}

bool sendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Waits until fd is readable; false on timeout.
bool waitReadable(int fd, int64_t deadline_ms) {
  for (;;) {
    int timeout = -1;
    if (deadline_ms >= 0) {
      int64_t left = deadline_ms - monotonicMilliseconds();
      if (left <= 0) return false;
      timeout = static_cast<int>(left > 1000000 ? 1000000 : left);
    }
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, timeout);
    if (r > 0) return true;
    if (r < 0 && errno != EINTR) return true;  // Let the read report the fault.
  }
}

FrameRead receiveAll(int fd, char* data, size_t size, int64_t deadline_ms) {
  while (size > 0) {
    if (!waitReadable(fd, deadline_ms)) return FrameRead::kTimeout;
    ssize_t n = recv(fd, data, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return FrameRead::kClosed;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return FrameRead::kFrame;
}

// A descriptor of the child's socket end that is not the target number, so
// that the spawn's dup2 really happens and clears close-on-exec.
int awayFromTarget(int fd) {
  if (fd != kHelperSocketFd) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, kHelperSocketFd + 1);
  close(fd);
  return moved;
}

}  // namespace

bool writeFrame(int fd, uint8_t kind, std::string_view payload) {
  std::string frame(5, '\0');
  frame[0] = static_cast<char>(kind);
  uint32_t size = static_cast<uint32_t>(payload.size());
  for (int i = 0; i < 4; ++i) frame[1 + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
  frame.append(payload);
  return sendAll(fd, frame.data(), frame.size());
}

FrameRead readFrame(int fd, int64_t deadline_ms, uint8_t* kind, std::string* payload) {
  unsigned char head[5];
  FrameRead r = receiveAll(fd, reinterpret_cast<char*>(head), sizeof head, deadline_ms);
  if (r != FrameRead::kFrame) return r;
  uint32_t size = 0;
  for (int i = 0; i < 4; ++i) size |= static_cast<uint32_t>(head[1 + i]) << (8 * i);
  if (size > kMaxFrame) return FrameRead::kClosed;
  *kind = head[0];
  payload->assign(size, '\0');
  return receiveAll(fd, payload->data(), size, deadline_ms);
}

int64_t monotonicMilliseconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

uint64_t defaultMemoryLimit() {
  long pages = sysconf(_SC_PHYS_PAGES);
  long page_size = sysconf(_SC_PAGESIZE);
  uint64_t half = pages > 0 && page_size > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size) / 2 : 0;
  const uint64_t floor = 256ull << 20;
  return half < floor ? floor : half;
}

HelperProcess::~HelperProcess() {
  if (running()) {
    kill();
    finish(0);
  } else if (fd_ >= 0) {
    close(fd_);
  }
}

bool HelperProcess::start(const std::string& program, const std::vector<std::string>& args, std::string* err) {
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    *err = std::string("no socket: ") + std::strerror(errno);
    return false;
  }
  int child_end = awayFromTarget(ends[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  // Whatever the libraries print (heap checks, decoder warnings) stays out
  // of the run's own output; the socket is the helper's only voice.
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_adddup2(&actions, child_end, kHelperSocketFd);
  // Nothing else this process holds reaches the helper: descriptors opened
  // without close-on-exec, by its caller or by other threads meanwhile.
  posix_spawn_file_actions_addclosefrom_np(&actions, kHelperSocketFd + 1);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> env = helperEnvironment();
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(child_end);
  if (rc != 0) {
    close(ends[0]);
    *err = std::string("cannot start ") + program + ": " + std::strerror(rc);
    return false;
  }
  pid_ = pid;
  fd_ = ends[0];
  return true;
}

void HelperProcess::kill() {
  if (pid_ > 0) ::kill(pid_, SIGKILL);
}

HelperExit HelperProcess::finish(int grace_ms) {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  return reap(grace_ms);
}

HelperExit HelperProcess::reap(int grace_ms) {
  HelperExit result;
  if (pid_ <= 0) return result;
  int status = 0;
  const int64_t deadline = monotonicMilliseconds() + grace_ms;
  for (;;) {
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_ || (r < 0 && errno != EINTR)) break;
    if (r == 0 && monotonicMilliseconds() >= deadline) {
      ::kill(pid_, SIGKILL);
      while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    if (r == 0) usleep(2000);
  }
  pid_ = -1;
  result.exited = WIFEXITED(status);
  result.code = result.exited ? WEXITSTATUS(status) : 0;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return result;
}

Confinement confineHelperProcess(uint64_t bytes, const std::string& writable_folder) {
  // SIGTERM, not SIGKILL: the helper's handler removes its temporary files.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  // A parent that died before the request was made sends nothing: the
  // socket's other end (the parent that made it) is no longer the parent.
  ucred peer{};
  socklen_t size = sizeof peer;
  if (getsockopt(kHelperSocketFd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.pid > 0 && getppid() != peer.pid)
    raise(SIGTERM);
  return confineProcess(bytes, writable_folder);
}

void pollReadable(const std::vector<int>& fds, int timeout_ms, std::vector<bool>* readable) {
  std::vector<pollfd> polled;
  polled.reserve(fds.size());
  for (int fd : fds) polled.push_back({fd, POLLIN, 0});
  poll(polled.data(), polled.size(), timeout_ms);
  readable->assign(fds.size(), false);
  for (size_t i = 0; i < polled.size(); ++i) (*readable)[i] = polled[i].revents != 0;
}

}  // namespace pixolune
