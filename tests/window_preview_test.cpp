// The preview of the selected file: it is converted as a run converts it,
// into a private folder that goes when the dialog closes, and the dialog
// shows the output's name, size and picture (or why it failed); nothing
// reaches the output folder.
#include <wx/image.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "ui/output_folders.h"
#include "ui/preview_dialog.h"
#include "ui/screenshot_mode.h"
#include "ui/window_ids.h"
#include "window_fixture.h"
// After the wx headers (see window_fixture.h).
#include "support/convert_fixture.h"
#undef _WINDOWS_

namespace pixolune::testing {
namespace {

namespace fs = std::filesystem;

// What the dialog showed when its outcome was in.
struct Shown {
  bool seen = false;
  std::string name, size, file_size, message, output_path, folder;
  bool folder_existed = false;
  PreviewPicture picture;
  wxImage image, larger_image;
  Pixels written;  // The converted file itself, read while the dialog was open.
};

Rgb rgbOf(const wxImage& image, int x, int y) {
  return {image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y)};
}

Rgb rgbOf(const PreviewPicture& picture, int x, int y) {
  const uint8_t* p = &picture.rgba[(static_cast<size_t>(y) * picture.width + x) * 4];
  return {p[0], p[1], p[2]};
}

class PreviewTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    out_ = makeFolder("out");
    window().clearFolderBoxText();
    settings().recent_out_folders = out_;
    refreshOutputFolderBox();
    setPreviewShownHook([this](PreviewDialog* dialog) {
      shown_.seen = true;
      shown_.name = dialog->nameText();
      shown_.size = dialog->pixelSizeText();
      shown_.file_size = dialog->fileSizeText();
      shown_.message = dialog->messageText();
      shown_.output_path = dialog->outputPath();
      shown_.picture = dialog->picture();
      if (!shown_.output_path.empty()) {
        shown_.written = readImage(shown_.output_path);
        // The private folder: the one above the mask's "sub/" in the first test.
        shown_.folder = fs::path(shown_.output_path).parent_path().parent_path().string();
        shown_.folder_existed = fs::is_directory(shown_.folder);
      }
      pumpEvents(30);
      shown_.image = dialog->shownPicture();
      // Larger, the picture is drawn larger with its shape kept.
      dialog->SetClientSize(dialog->GetClientSize() + wxSize(300, 200));
      dialog->Layout();
      pumpEvents(30);
      shown_.larger_image = dialog->shownPicture();
      // The documentation's picture of the dialog (see DISABLED_DocumentationScreenshot).
      if (const char* shot = getenv("PIXOLUNE_PREVIEW_SHOT"); want_shot_ && shot && *shot) {
        captureWindow(dialog).SaveFile(wxString::FromUTF8(shot), wxBITMAP_TYPE_PNG);
        shot_taken_ = true;
      }
      dialog->close_requested = true;
    });
  }
  void TearDown() override {
    setPreviewShownHook(nullptr);
    WindowTest::TearDown();
  }

  /// Adds `path` to the list and selects its row.
  void addAndSelect(const std::string& path) {
    ASSERT_TRUE(addInputFile(path));
    list().setSelected(list().rowCount() - 1, true);
  }

  std::string out_;
  Shown shown_;
  bool want_shot_ = false;
  bool shot_taken_ = false;
};

TEST_F(PreviewTest, ShowsTheMaskNameSizesAndTheFramedPictureWithoutTouchingTheOutputFolder) {
  const std::string other = dir_.file("in/other.psd"), photo = dir_.file("in/photo.psd");
  makeFolders(folderOf(photo));
  ASSERT_TRUE(writePsdFile(other, solidDocument(8, 8, Rgb{0, 0, 255})));
  ASSERT_TRUE(writePsdFile(photo, solidDocument(40, 20, Rgb{10, 200, 30})));
  addAndSelect(other);
  list().setSelected(0, false);
  addAndSelect(photo);
  Settings& s = settings();
  s.filename_mask = "sub/%filename%_%n%.%ext%";
  s.do_frame = true;
  s.solid_left = s.solid_right = s.solid_top = s.solid_bottom = 2;
  s.solid_left_color = s.solid_right_color = s.solid_top_color = s.solid_bottom_color = "FF0000";

  ASSERT_TRUE(window().runCommand(kCommandPreview));
  ASSERT_TRUE(shown_.seen);
  EXPECT_EQ(nullptr, previewDialog());
  EXPECT_TRUE(window().IsEnabled());
  // The second listed file is number 2 of a run.
  EXPECT_EQ("Output name: sub/photo_00002.png", shown_.name);
  EXPECT_EQ("Size: 40 x 20 pixels, 24 bits per pixel", shown_.size);
  ASSERT_TRUE(shown_.written.ok()) << shown_.output_path;
  EXPECT_EQ("", shown_.message);

  // The written file and the picture shown carry the frame at the edge and
  // the document's colour inside.
  EXPECT_EQ((Rgb{255, 0, 0}), rgbAt(shown_.written, 0, 0));
  EXPECT_EQ((Rgb{255, 0, 0}), rgbAt(shown_.written, 39, 19));
  EXPECT_EQ((Rgb{10, 200, 30}), rgbAt(shown_.written, 20, 10));
  ASSERT_EQ(40, shown_.picture.width);
  ASSERT_EQ(20, shown_.picture.height);
  EXPECT_EQ((Rgb{255, 0, 0}), rgbOf(shown_.picture, 1, 1));
  EXPECT_EQ((Rgb{10, 200, 30}), rgbOf(shown_.picture, 2, 2));
  ASSERT_TRUE(shown_.image.IsOk());
  const int w = shown_.image.GetWidth(), h = shown_.image.GetHeight();
  EXPECT_NEAR(2.0, static_cast<double>(w) / h, 0.1);
  EXPECT_EQ((Rgb{255, 0, 0}), rgbOf(shown_.image, 0, 0));
  EXPECT_EQ((Rgb{255, 0, 0}), rgbOf(shown_.image, w - 1, h - 1));
  EXPECT_EQ((Rgb{10, 200, 30}), rgbOf(shown_.image, w / 2, h / 2));
  ASSERT_TRUE(shown_.larger_image.IsOk());
  EXPECT_GT(shown_.larger_image.GetWidth(), w);
  EXPECT_NEAR(2.0, static_cast<double>(shown_.larger_image.GetWidth()) / shown_.larger_image.GetHeight(), 0.1);

  // The file lay in a private folder, gone with the dialog; the output
  // folder is untouched.
  EXPECT_TRUE(shown_.folder_existed);
  EXPECT_NE(std::string::npos, shown_.folder.find("pixolune-preview-"));
  EXPECT_FALSE(fs::exists(shown_.folder));
  EXPECT_TRUE(fs::is_empty(out_));
}

TEST_F(PreviewTest, TransparentPartsShowTheCheckerboard) {
  // Left half transparent, right half opaque red.
  PsdDocument doc = makeDocument(PsdMode::kRgb, 8, 16, 8, 1, [](int c, int x, int) -> double {
    if (c == 3) return x < 8 ? 0 : 255;
    return c == 0 ? 255 : 0;
  });
  doc.write_layers = true;
  doc.layer_count = -1;
  const std::string half = dir_.file("half.psd");
  ASSERT_TRUE(writePsdFile(half, doc));
  addAndSelect(half);
  ASSERT_TRUE(window().runCommand(kCommandPreview));
  ASSERT_TRUE(shown_.seen);
  EXPECT_EQ("Size: 16 x 8 pixels, 32 bits per pixel", shown_.size);
  ASSERT_TRUE(shown_.image.IsOk());
  const int h = shown_.image.GetHeight(), w = shown_.image.GetWidth();
  ASSERT_GT(w, 40);
  EXPECT_EQ((Rgb{255, 0, 0}), rgbOf(shown_.image, w * 3 / 4, h / 2));
  EXPECT_EQ((Rgb{255, 255, 255}), rgbOf(shown_.image, 1, 1));
  EXPECT_EQ((Rgb{204, 204, 204}), rgbOf(shown_.image, 9, 1));
  EXPECT_EQ((Rgb{255, 255, 255}), rgbOf(shown_.image, 9, 9));
}

// The conversion runs on a worker thread: meanwhile the events go on, the
// dialog says what it does and the main window is held.
TEST_F(PreviewTest, EventsGoOnWhilePreparingAndTheMainWindowIsHeld) {
  const std::string large = dir_.file("large.psd");
  ASSERT_TRUE(writePsdFile(large, solidDocument(3000, 2000, Rgb{40, 80, 120})));
  addAndSelect(large);
  std::string seen_text = "(not run)";
  bool main_enabled = true;
  window().CallAfter([&] {
    seen_text = previewDialog() ? previewDialog()->messageText() : "(no dialog)";
    main_enabled = window().IsEnabled();
  });
  ASSERT_TRUE(window().runCommand(kCommandPreview));
  EXPECT_EQ("Preparing preview...", seen_text);
  EXPECT_FALSE(main_enabled);
  EXPECT_TRUE(window().IsEnabled());
  EXPECT_EQ("Size: 3000 x 2000 pixels, 24 bits per pixel", shown_.size);
  EXPECT_EQ(kPreviewPictureSide, shown_.picture.width);
  EXPECT_EQ((Rgb{40, 80, 120}), rgbOf(shown_.picture, 800, 500));
}

TEST_F(PreviewTest, FileSizeTextIsThatOfTheWrittenFile) {
  const std::string photo = dir_.file("photo.psd");
  ASSERT_TRUE(writePsdFile(photo, solidDocument(30, 30, Rgb{90, 90, 200})));
  addAndSelect(photo);
  int64_t written = -1;
  setPreviewShownHook([&](PreviewDialog* dialog) {
    written = static_cast<int64_t>(fs::file_size(dialog->outputPath()));
    shown_.file_size = dialog->fileSizeText();
    dialog->close_requested = true;
  });
  ASSERT_TRUE(window().runCommand(kCommandPreview));
  ASSERT_GT(written, 0);
  EXPECT_EQ("File size: " + sizeText(written) + " (" + std::to_string(written) + " bytes)", shown_.file_size);
}

TEST_F(PreviewTest, ATruncatedDocumentShowsItsReasonInsteadOfAPicture) {
  const std::string truncated = dir_.file("truncated.psd");
  ASSERT_TRUE(writePsdFile(truncated, solidDocument(6, 4, Rgb{90, 20, 30})));
  fs::resize_file(truncated, fs::file_size(truncated) / 2);
  addAndSelect(truncated);
  ASSERT_TRUE(window().runCommand(kCommandPreview));
  ASSERT_TRUE(shown_.seen);
  const std::string prefix = "The file could not be converted: ";
  ASSERT_EQ(0u, shown_.message.find(prefix)) << shown_.message;
  EXPECT_GT(shown_.message.size(), prefix.size() + 3);
  EXPECT_EQ("", shown_.name);
  EXPECT_EQ("", shown_.size);
  EXPECT_FALSE(shown_.image.IsOk());
  EXPECT_TRUE(shown_.output_path.empty());
  EXPECT_TRUE(fs::is_empty(out_));
}

TEST_F(PreviewTest, WithoutASelectedFileAWarningSaysSoAndNoDialogOpens) {
  const std::string photo = dir_.file("photo.psd");
  ASSERT_TRUE(writePsdFile(photo, solidDocument(4, 4, Rgb{1, 2, 3})));
  ASSERT_TRUE(addInputFile(photo));
  list().setSelected(0, false);
  ASSERT_TRUE(window().runCommand(kCommandPreview));
  EXPECT_FALSE(shown_.seen);
  ASSERT_EQ(1u, boxes_.shown().size());
  EXPECT_EQ(getText("Preview", "No Selection"), boxes_.shown()[0].text);
  // The menu item carries its mnemonic-free caption and shortcut.
  wxMenuBar* bar = window().GetMenuBar();
  ASSERT_NE(nullptr, bar);
  wxMenuItem* item = bar->FindItem(commandId(kCommandPreview));
  ASSERT_NE(nullptr, item);
  EXPECT_EQ("Preview...\tCtrl+P", fromWx(item->GetItemLabel()));
}

TEST_F(PreviewTest, ImpossibleSettingsShowTheRunsReason) {
  const std::string photo = dir_.file("photo.psd");
  ASSERT_TRUE(writePsdFile(photo, solidDocument(4, 4, Rgb{1, 2, 3})));
  addAndSelect(photo);
  settings().do_image_resize = true;
  settings().image_width = 0;
  ASSERT_TRUE(window().runCommand(kCommandPreview));
  ASSERT_TRUE(shown_.seen);
  EXPECT_EQ("The file could not be converted: " + getText("Msg", "Invalid width"), shown_.message);
  EXPECT_TRUE(boxes_.shown().empty());
}

// Takes the documentation's picture of the dialog: a corpus photograph with
// a frame and a text watermark. Run by hand under a 24-bit virtual screen:
// PIXOLUNE_PREVIEW_SHOT=docs/preview-window.png window_tests
// --gtest_also_run_disabled_tests --gtest_filter=PreviewTest.DISABLED_*
TEST_F(PreviewTest, DISABLED_DocumentationScreenshot) {
  const std::string corpus = corpusFolder();
  if (corpus.empty() || !getenv("PIXOLUNE_PREVIEW_SHOT")) GTEST_SKIP() << "no corpus or no PIXOLUNE_PREVIEW_SHOT";
  addAndSelect(withTrailingSlash(corpus) + "files/0layers.psd");
  Settings& s = settings();
  s.do_frame = true;
  s.solid_left = s.solid_right = s.solid_top = s.solid_bottom = 24;
  s.solid_left_color = s.solid_right_color = s.solid_top_color = s.solid_bottom_color = "3060C0";
  s.do_watermark = kWatermarkText;
  s.watermark_text = "%filename% (%width% x %height%)";
  s.font_size = 40;
  s.font_color = "C02020";
  s.text_x_offset = s.text_y_offset = 40;
  want_shot_ = true;
  ASSERT_TRUE(window().runCommand(kCommandPreview));
  EXPECT_EQ("", shown_.message);
  EXPECT_TRUE(shot_taken_);
}

}  // namespace
}  // namespace pixolune::testing
