// Without a display the window mode refuses to start, clearly, and touches
// nothing; the console mode never needs one.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_util.h"

namespace pixolune::testing {
namespace {

TEST(NoDisplayTest, WindowModeEndsWithAnErrorAndWritesNoSettings) {
  TempDir dir;
  RunResult r = runPixolune({}, dir.path(), dir.path());
  EXPECT_EQ(1, r.exit_code);
  EXPECT_EQ("", r.out);
  EXPECT_EQ(0u, r.err.rfind("Error: The window mode needs a graphical display", 0)) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/config/pixolune"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/config/Quorvant/vemarkt/config.ini"));
  RunResult version = runPixolune({"-v"}, dir.path(), dir.path());
  EXPECT_EQ(0, version.exit_code);
  EXPECT_EQ("pixolune 2.8\n", version.out);
}

}  // namespace
}  // namespace pixolune::testing
