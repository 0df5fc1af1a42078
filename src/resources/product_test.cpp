#include "resources/product.h"

#include <gtest/gtest.h>

namespace pixolune {

TEST(FormatVersion, InsertsDotsAndDropsTrailingZero) {
  EXPECT_EQ("2.8", formatVersion(280));
  EXPECT_EQ("2.8.1", formatVersion(281));
  EXPECT_EQ("3.0", formatVersion(300));
  EXPECT_EQ("Pixolune 2.8", makeTitle("Pixolune", 280));
}

}  // namespace pixolune
