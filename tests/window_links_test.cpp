#include "platform/files.h"
#include "resources/product.h"
#include "ui/links.h"
#include "window_support.h"

namespace pixolune::testing {
namespace {

TEST(Links, EachCommandOpensItsTarget) {
  RecordedShell shell;
  openManual();
  sendFeedback();
  visitHomepage();
  EXPECT_EQ((std::vector<std::string>{withTrailingSlash(programFolder()) + "vemarkt.html",
                                      std::string("mailto:") + kSupportMailAddress +
                                          "?subject=Pixolune 2.8 Feedback",
                                      kHomePageAddress}),
            shell.targets);
}

TEST(Links, TheManualIsInstalledBesideTheProgram) {
  // The window tests run from the build folder, where the program lives.
  std::string manual;
  ASSERT_TRUE(readWholeFile(manualPath(), &manual)) << manualPath();
  EXPECT_NE(std::string::npos, manual.find("<html"));
  EXPECT_NE(std::string::npos, manual.find("--filename-mask"));
}

}  // namespace
}  // namespace pixolune::testing
