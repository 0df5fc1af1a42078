#include "platform/loaded_code.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace pixolune {
namespace {

TEST(LoadedCodeTest, FindsFunctionsOfLoadedLibrariesOnly) {
  using Abs = int (*)(int);
  const auto found = reinterpret_cast<Abs>(loadedFunction("abs"));
  ASSERT_NE(nullptr, found);
  EXPECT_EQ(7, found(-7));
  EXPECT_EQ(nullptr, loadedFunction("pixolune_no_such_function"));
}

}  // namespace
}  // namespace pixolune
