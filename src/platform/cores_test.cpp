#include "platform/cores.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <algorithm>

namespace pixolune {
namespace {

TEST(CoresTest, ProcessCoresFollowTheAffinity) {
  cpu_set_t set;
  ASSERT_EQ(0, sched_getaffinity(0, sizeof set, &set));
  EXPECT_EQ(CPU_COUNT(&set), processCores());
}

// The parent's share decides, within the cores this process may run on.
TEST(CoresTest, ConversionsUseTheThreadsTheirParentGave) {
  const int cores = processCores();
  setConversionThreads(0);
  EXPECT_EQ(cores, idleCores());
  setConversionThreads(1);
  EXPECT_EQ(1, idleCores());
  setConversionThreads(cores + 5);
  EXPECT_EQ(cores, idleCores());
  setConversionThreads(-3);
  EXPECT_EQ(cores, idleCores());
}

}  // namespace
}  // namespace pixolune
