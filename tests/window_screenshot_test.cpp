#include <wx/listctrl.h>
#include <wx/panel.h>

#include <fstream>
#include <iterator>

#include "platform/console.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "ui/jpeg_file.h"
#include "ui/screenshot_mode.h"
#include "window_support.h"
// After the toolkit's headers: FreeImage's own header defines names that
// make the toolkit believe it builds for Windows.
#include "support/test_util.h"

namespace pixolune::testing {
namespace {

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

/// The first value of the first quantisation table of a JPEG file.
int firstQuantisationValue(const std::string& jpeg) {
  size_t marker = jpeg.find("\xFF\xDB");
  if (marker == std::string::npos || marker + 5 >= jpeg.size()) return -1;
  return static_cast<unsigned char>(jpeg[marker + 5]);
}

wxImage quarters(int width, int height) {
  wxImage image(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      bool right = x >= width / 2, low = y >= height / 2;
      image.SetRGB(x, y, right ? 255 : 0, low ? 255 : 0, right && low ? 0 : 255);
    }
  return image;
}

void expectNear(const Pixels& pixels, int x, int y, int r, int g, int b) {
  const uint8_t* p = pixels.at(x, y);
  EXPECT_NEAR(r, p[0], 12) << x << "," << y;
  EXPECT_NEAR(g, p[1], 12) << x << "," << y;
  EXPECT_NEAR(b, p[2], 12) << x << "," << y;
}

TEST(JpegFile, WritesPixelsAtTheAskedQuality) {
  TempDir dir;
  wxImage image = quarters(64, 48);
  ASSERT_TRUE(writeJpegFile(dir.file("q.jpg"), image.GetData(), 64, 48, 90));
  Pixels back = readImage(dir.file("q.jpg"));
  ASSERT_EQ(64, back.width);
  ASSERT_EQ(48, back.height);
  expectNear(back, 8, 8, 0, 0, 255);
  expectNear(back, 56, 8, 255, 0, 255);
  expectNear(back, 8, 40, 0, 255, 255);
  expectNear(back, 56, 40, 255, 255, 0);
  // libjpeg scales its base table by quality: the luminance DC step 16 is 3 at 90.
  EXPECT_EQ(3, firstQuantisationValue(fileBytes(dir.file("q.jpg"))));
}

TEST(JpegFile, AFailedWriteLeavesNothing) {
  TempDir dir;
  wxImage image = quarters(8, 8);
  EXPECT_FALSE(writeJpegFile(dir.file("missing/q.jpg"), image.GetData(), 8, 8, 90));
  EXPECT_FALSE(writeJpegFile(dir.file("q.jpg"), image.GetData(), 0, 8, 90));
  EXPECT_FALSE(pathExists(dir.file("q.jpg")));
  EXPECT_FALSE(pathExists(dir.file("q.jpg.part")));
}

TEST(ScreenshotFiles, ThumbnailIs180WideWithRoundedHeight) {
  const int sizes[][3] = {{510, 330, 116}, {500, 333, 120}, {360, 90, 45}, {1000, 2, 1}};
  for (const auto& size : sizes) {
    TempDir dir;
    ASSERT_TRUE(saveScreenshotFiles(quarters(size[0], size[1]), dir.path() + "/"));
    Pixels full = readImage(dir.file("vemarkt1.jpg"));
    Pixels thumb = readImage(dir.file("vemarkt1x.jpg"));
    EXPECT_EQ(size[0], full.width);
    EXPECT_EQ(size[1], full.height);
    EXPECT_EQ(180, thumb.width);
    EXPECT_EQ(size[2], thumb.height) << size[0] << "x" << size[1];
    EXPECT_EQ(3, firstQuantisationValue(fileBytes(dir.file("vemarkt1x.jpg"))));
  }
}

TEST(ScreenshotFiles, WebAddressIsDrawnNearTheLowerRightCorner) {
  wxImage image(510, 330);
  image.SetRGB(wxRect(0, 0, 510, 330), 255, 255, 255);
  drawWebAddress(&image);
  int dark = 0, dark_elsewhere = 0;
  for (int y = 0; y < 330; ++y)
    for (int x = 0; x < 510; ++x) {
      if (image.GetRed(x, y) > 128) continue;
      bool in_place = y >= 330 - 26 && y < 330 - 26 + 20 && x >= 300 && x < 510 - 35;
      (in_place ? dark : dark_elsewhere)++;
    }
  EXPECT_GT(dark, 40);
  EXPECT_EQ(0, dark_elsewhere);
}

TEST(ScreenshotFolder, ArgumentOrProgramFolder) {
  TempDir dir;
  EXPECT_EQ(dir.path() + "/", screenshotFolder("  " + dir.path() + " "));
  EXPECT_EQ(dir.path() + "/", screenshotFolder(dir.path() + "/"));
  EXPECT_EQ(withTrailingSlash(programFolder()), screenshotFolder(""));
  EXPECT_EQ("", screenshotFolder(dir.file("missing")));
}

// The program itself holds no window code: its screenshot mode runs the
// window module beside it, which draws the program's real main window.
TEST(ScreenshotMode, TheProgramShowsItsWindowsFromTheModuleBesideIt) {
  TempDir dir;
  RunEnvironment environment;
  const char* display = std::getenv("DISPLAY");
  ASSERT_NE(nullptr, display);
  environment.variables = {{"DISPLAY", display}};
  RunResult r = runPixolune({"-T", dir.path() + "/"}, dir.path(), dir.file("home"), environment);
  EXPECT_EQ(0, r.exit_code) << r.err;
  Pixels shot = readImage(dir.file("vemarkt1.jpg"));
  ASSERT_TRUE(shot.ok());
  EXPECT_EQ(510, shot.width);  // The main window at the scene's size.
  EXPECT_EQ(330, shot.height);
}

TEST(ScreenshotScene, SevenExamplesEndingWithAnInputFormat) {
  ScreenshotScene scene = screenshotScene();
  ASSERT_EQ(7u, scene.entries.size());
  EXPECT_EQ("/images/pic0102.psd", scene.entries[0]);
  EXPECT_EQ("/images/winter.psd", scene.entries[6]);
  EXPECT_EQ(5, scene.visible_row);
  EXPECT_EQ(wxRect(400, 400, 510, 330), wxRect(scene.x, scene.y, scene.width, scene.height));
}

/// A stand-in main window: a red panel with the scene's rows in a list.
wxTopLevelWindow* buildStandIn(const ScreenshotScene& scene) {
  auto* frame = new wxFrame(nullptr, wxID_ANY, "stand-in", wxPoint(scene.x, scene.y),
                            wxSize(scene.width, scene.height));
  auto* panel = new wxPanel(frame);
  panel->SetBackgroundColour(wxColour(255, 0, 0));
  auto* list = new wxListCtrl(panel, wxID_ANY, wxPoint(10, 10), wxSize(200, 150), wxLC_REPORT);
  list->InsertColumn(0, "File");
  for (const std::string& entry : scene.entries) list->InsertItem(list->GetItemCount(), entry);
  list->EnsureVisible(scene.visible_row);
  frame->Show();
  return frame;
}

class ScreenshotModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setConsoleSink([this](const std::string& line) { lines.push_back(line); });
  }
  void TearDown() override {
    setConsoleSink(nullptr);
    setScreenshotWindowBuilder(nullptr);
    flushDeletions();
  }
  std::vector<std::string> lines;
  TempDir dir;
};

TEST_F(ScreenshotModeTest, CapturesTheWindowIntoBothFiles) {
  setScreenshotWindowBuilder(&buildStandIn);
  ASSERT_TRUE(captureScreenshots(dir.path()));
  EXPECT_TRUE(lines.empty());
  Pixels full = readImage(dir.file("vemarkt1.jpg"));
  Pixels thumb = readImage(dir.file("vemarkt1x.jpg"));
  ASSERT_TRUE(full.ok());
  EXPECT_EQ(510, full.width);
  EXPECT_EQ(330, full.height);
  EXPECT_EQ(180, thumb.width);
  EXPECT_EQ(116, thumb.height);
  // The red panel shows right of the list: the copy holds the window's pixels.
  expectNear(full, 400, 100, 255, 0, 0);
  expectNear(thumb, 140, 35, 255, 0, 0);
}

TEST_F(ScreenshotModeTest, WithoutTheMainWindowItSaysSo) {
  EXPECT_FALSE(captureScreenshots(dir.path()));
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ("Error: The screenshot mode needs the main window, which this build does not have", lines[0]);
  EXPECT_FALSE(pathExists(dir.file("vemarkt1.jpg")));
}

TEST_F(ScreenshotModeTest, AMissingFolderWritesNothing) {
  setScreenshotWindowBuilder(&buildStandIn);
  EXPECT_FALSE(captureScreenshots(dir.file("missing")));
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ("Error: The folder for the screenshots does not exist: " + dir.file("missing"), lines[0]);
}

TEST_F(ScreenshotModeTest, AWindowClosedWhileWaitingIsNotSaved) {
  setScreenshotWindowBuilder([](const ScreenshotScene& scene) {
    wxTopLevelWindow* window = buildStandIn(scene);
    window->CallAfter([window] { window->Close(true); });
    return window;
  });
  EXPECT_FALSE(captureScreenshots(dir.path()));
  EXPECT_FALSE(pathExists(dir.file("vemarkt1.jpg")));
}

}  // namespace
}  // namespace pixolune::testing
