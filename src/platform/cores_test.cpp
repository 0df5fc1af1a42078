#include "platform/cores.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

namespace pixolune {
namespace {

TEST(CoresTest, ProcessCoresFollowTheAffinity) {
  cpu_set_t set;
  ASSERT_EQ(0, sched_getaffinity(0, sizeof set, &set));
  EXPECT_EQ(CPU_COUNT(&set), processCores());
}

// What idleCores says in a child of this process while another child
// (a sibling, as the run's other helper would be) is busy or waiting.
int idleCoresBeside(bool sibling_busy) {
  int gate[2];
  if (pipe(gate) != 0) return -1;
  const pid_t sibling = fork();
  if (sibling == 0) {
    char byte;
    volatile unsigned long spins = 0;
    while (sibling_busy) spins = spins + 1;  // Runs until killed.
    _exit(read(gate[0], &byte, 1) < 0);  // Waits, as an idle helper waits for a request.
  }
  usleep(100 * 1000);
  const pid_t saver = fork();
  if (saver == 0) _exit(idleCores());
  int status = 0;
  waitpid(saver, &status, 0);
  kill(sibling, SIGKILL);
  waitpid(sibling, nullptr, 0);
  close(gate[0]);
  close(gate[1]);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CoresTest, ConversionsUseTheCoresNoSiblingConversionIsBusyWith) {
  cpu_set_t set;
  ASSERT_EQ(0, sched_getaffinity(0, sizeof set, &set));
  const int cores = CPU_COUNT(&set);
  EXPECT_EQ(cores, idleCoresBeside(false));
  EXPECT_EQ(std::max(1, cores - 1), idleCoresBeside(true));
}

}  // namespace
}  // namespace pixolune
