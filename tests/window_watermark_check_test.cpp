// The window refuses a watermark picture that does not decode before a run
// starts, and an imported list says how many of its lines it skipped.
#include <wx/dialog.h>

#include "run/conversion_job.h"
#include "ui/conversion_dialog.h"
#include "ui/input_dialogs.h"
#include "ui/output_folders.h"
#include "ui/progress_dialog.h"
#include "ui/start_conversion.h"
#include "window_fixture.h"
// After the wx headers (see window_fixture.h).
#include "support/convert_fixture.h"
#undef _WINDOWS_

namespace pixolune::testing {
namespace {

class WatermarkCheckWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    setConversionFinishedHook([this](wxDialog* dialog, const ConversionDialogRecord&) {
      ++runs_;
      dialog->Close();
    });
  }
  void TearDown() override {
    setConversionFinishedHook(nullptr);
    WindowTest::TearDown();
  }

  std::string addDocument() {
    const std::string path = dir_.file("in/doc.psd");
    makeFolders(folderOf(path));
    EXPECT_TRUE(writePsdFile(path, solidDocument(6, 4, Rgb{10, 200, 30})));
    EXPECT_TRUE(addInputFile(path));
    settings().recent_out_folders = makeFolder("out");
    refreshOutputFolderBox();
    return path;
  }

  int runs_ = 0;
};

TEST_F(WatermarkCheckWindowTest, PictureThatDoesNotDecodeIsRefusedBeforeTheRun) {
  addDocument();
  const std::string picture = dir_.file("notes.txt");
  writeText(picture, "a note, not a picture\n");
  settings().do_watermark = 2;
  settings().watermark_image = picture;
  EXPECT_FALSE(startConversion());
  EXPECT_EQ(0, runs_);
  ASSERT_EQ(1u, boxes_.shown().size());
  EXPECT_EQ(MessageIcon::kWarning, boxes_.shown()[0].icon);
  EXPECT_EQ("Unable to load selected file as a watermark image: " + picture + "\r\n(the watermark picture \"" +
                picture + "\" cannot be decoded: its content is not in a picture format this program reads)",
            boxes_.shown()[0].text);
  EXPECT_EQ("Conversion stopped", statusText());
  EXPECT_FALSE(isRegularFile(dir_.file("out/doc.png")));
}

TEST_F(WatermarkCheckWindowTest, ImportedListCountsTheLinesItSkipped) {
  const std::string a = makeFile("l/a.psd");
  const std::string b = makeFile("l/tree/b.psd");
  const std::string notes = makeFile("l/notes.txt");
  const std::string list_path = dir_.file("list.txt");
  writeText(list_path, a + "\n" + dir_.file("l/missing.psd") + "\n" + notes + "\n" + dir_.file("l/tree") + "\n" +
                           a + "\n");
  ASSERT_TRUE(importListFrom(list_path));
  EXPECT_EQ((std::vector<std::string>{a, b}), list().rows());
  // The repeated line names a listed file: it is not counted as skipped.
  EXPECT_EQ("Import complete, new files added: 2; 2 lines skipped (not found or not documents)", statusText());

  // Nothing skipped: the plain result.
  const std::string c = makeFile("m/c.psd");
  writeText(list_path, c + "\n");
  ASSERT_TRUE(importListFrom(list_path));
  EXPECT_EQ("Import complete, new files added: 1", statusText());
}

}  // namespace
}  // namespace pixolune::testing
