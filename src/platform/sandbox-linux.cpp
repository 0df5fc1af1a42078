#include "platform/sandbox.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/landlock.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <stddef.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <vector>

namespace pixolune {

namespace {

bool setLimit(int resource, rlim_t value) {
  rlimit limit{value, value};
  return setrlimit(resource, &limit) == 0;
}

bool applyLimits(uint64_t memory_bytes) {
  bool ok = setLimit(RLIMIT_CORE, 0) && setLimit(RLIMIT_NOFILE, 256);
  if (memory_bytes != 0) ok = setLimit(RLIMIT_AS, static_cast<rlim_t>(memory_bytes)) && ok;
  return ok;
}

#if defined(__x86_64__)
constexpr uint32_t kAuditArch = 0xC000003E;  // AUDIT_ARCH_X86_64
#elif defined(__aarch64__)
constexpr uint32_t kAuditArch = 0xC00000B7;  // AUDIT_ARCH_AARCH64
#else
constexpr uint32_t kAuditArch = 0;
#endif

sock_filter statement(uint16_t code, uint32_t k) { return BPF_STMT(code, k); }
sock_filter jump(uint16_t code, uint32_t k, uint8_t yes, uint8_t no) { return BPF_JUMP(code, k, yes, no); }

// Refuses system call `number` with `error`.
void refuse(std::vector<sock_filter>* program, long number, int error) {
  program->push_back(jump(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(number), 0, 1));
  program->push_back(statement(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<uint32_t>(error)));
}

bool applySystemCallFilter() {
  if (kAuditArch == 0) return false;
  std::vector<sock_filter> p;
  p.push_back(statement(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)));
  p.push_back(jump(BPF_JMP | BPF_JEQ | BPF_K, kAuditArch, 1, 0));
  p.push_back(statement(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS));
  p.push_back(statement(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
  refuse(&p, SYS_socket, EACCES);
  refuse(&p, SYS_socketpair, EACCES);
  refuse(&p, SYS_execve, EACCES);
  refuse(&p, SYS_execveat, EACCES);
  refuse(&p, SYS_clone3, ENOSYS);  // The C library then falls back to clone, checked below.
#ifdef SYS_fork
  refuse(&p, SYS_fork, EACCES);
  refuse(&p, SYS_vfork, EACCES);
#endif
  // clone: threads (CLONE_THREAD in the first argument) only.
  p.push_back(jump(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone, 0, 3));
  p.push_back(statement(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])));
  p.push_back(jump(BPF_JMP | BPF_JSET | BPF_K, CLONE_THREAD, 1, 0));
  p.push_back(statement(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EACCES));
  p.push_back(statement(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  sock_fprog program{static_cast<unsigned short>(p.size()), p.data()};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// The write rights of the Landlock version the kernel speaks.
uint64_t writeRights(int abi) {
  uint64_t rights = LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR | LANDLOCK_ACCESS_FS_REMOVE_FILE |
                    LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG |
                    LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO | LANDLOCK_ACCESS_FS_MAKE_BLOCK |
                    LANDLOCK_ACCESS_FS_MAKE_SYM;
#ifdef LANDLOCK_ACCESS_FS_REFER
  if (abi >= 2) rights |= LANDLOCK_ACCESS_FS_REFER;
#endif
#ifdef LANDLOCK_ACCESS_FS_TRUNCATE
  if (abi >= 3) rights |= LANDLOCK_ACCESS_FS_TRUNCATE;
#endif
  return rights;
}

bool restrictWrites(const std::string& folder) {
  const long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
  if (abi < 1) return false;
  landlock_ruleset_attr attr{};
  attr.handled_access_fs = writeRights(static_cast<int>(abi));
  const int ruleset = static_cast<int>(syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0));
  if (ruleset < 0) return false;
  bool ok = true;
  if (!folder.empty()) {
    landlock_path_beneath_attr beneath{};
    beneath.allowed_access = attr.handled_access_fs;
    beneath.parent_fd = open(folder.c_str(), O_PATH | O_CLOEXEC | O_DIRECTORY);
    ok = beneath.parent_fd >= 0 &&
         syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &beneath, 0) == 0;
    if (beneath.parent_fd >= 0) close(beneath.parent_fd);
  }
  ok = ok && prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
  close(ruleset);
  return ok;
}

}  // namespace

Confinement confineProcess(uint64_t memory_bytes, const std::string& writable_folder) {
  Confinement done;
  done.limits = applyLimits(memory_bytes);
  // Landlock first: its set-up opens the folder, which the filter allows anyway.
  done.writes = restrictWrites(writable_folder);
  done.system_calls = applySystemCallFilter();
  return done;
}

}  // namespace pixolune
