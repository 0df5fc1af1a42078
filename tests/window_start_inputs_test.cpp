// "pixolune --window FILE...": the documents and folders of the command
// line reach the main window's list as a drop of them does.
#include "window_fixture.h"

#include <algorithm>

#include "ui/start_modes.h"

namespace pixolune::testing {
namespace {

class WindowStartInputsTest : public WindowTest {};

TEST_F(WindowStartInputsTest, DocumentsAndTheDocumentsOfFoldersAreListedInOrder) {
  const std::string first = makeFile("one.psd");
  makeFile("tree/b.psd");
  makeFile("tree/deeper/c.psd");
  makeFile("tree/notes.txt");
  const std::string folder = dir_.file("tree");
  addStartInputs({first, folder});
  pumpEvents(100);
  std::vector<std::string> rows = list().rows();
  ASSERT_EQ(3u, rows.size());
  EXPECT_EQ(first, rows[0]);
  std::sort(rows.begin() + 1, rows.end());
  EXPECT_EQ((std::vector<std::string>{first, dir_.file("tree/b.psd"), dir_.file("tree/deeper/c.psd")}), rows);
  EXPECT_EQ("Import complete, new files added: 3", statusText());
  // The output folder box fills itself from the first document's folder.
  EXPECT_EQ(withTrailingSlash(dir_.path()), window().folderBoxText());
}

TEST_F(WindowStartInputsTest, APathWithALineBreakIsSkippedNotSplit) {
  const std::string odd = makeFile("odd\nname.psd");
  const std::string plain = makeFile("plain.psd");
  addStartInputs({odd, plain});
  pumpEvents(50);
  EXPECT_EQ((std::vector<std::string>{plain}), list().rows());
}

}  // namespace
}  // namespace pixolune::testing
