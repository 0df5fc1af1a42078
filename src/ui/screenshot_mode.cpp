#include "ui/screenshot_mode.h"

#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/display.h>
#include <wx/evtloop.h>
#include <wx/timer.h>
#include <wx/weakref.h>

#include <algorithm>
#include <cstdlib>

#include "run/worker.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/install_paths.h"
#include "platform/text.h"
#include "resources/product.h"
#include "resources/themes.h"
#include "settings/format_lists.h"
#include "ui/jpeg_file.h"

namespace pixolune {

namespace {

ScreenshotWindowBuilder& windowBuilder() {
  static ScreenshotWindowBuilder builder;
  return builder;
}

bool writeImage(const wxImage& image, const std::string& path) {
  return writeJpegFile(path, image.GetData(), image.GetWidth(), image.GetHeight(), kScreenshotQuality);
}

/// Processes events until the delay has passed or the window is closed.
/// False when it was closed.
bool letWindowSettle(wxTopLevelWindow* window) {
  wxWeakRef<wxTopLevelWindow> alive(window);
  bool closed = false;
  wxGUIEventLoop loop;
  wxTimer timer;
  timer.Bind(wxEVT_TIMER, [&loop](wxTimerEvent&) { loop.Exit(); });
  auto on_close = [&](wxCloseEvent& event) {
    closed = true;
    loop.Exit();
    event.Skip();
  };
  window->Bind(wxEVT_CLOSE_WINDOW, on_close);
  timer.StartOnce(kScreenshotDelayMs);
  loop.Run();
  timer.Stop();
  if (alive) window->Unbind(wxEVT_CLOSE_WINDOW, on_close);
  return !closed && alive && !window->IsBeingDeleted();
}

}  // namespace

ScreenshotScene screenshotScene() {
  static const char* const kNames[] = {"pic0102", "picture_a", "picture_b", "quorvant",
                                       "layout-haus", "summer", "winter"};
  ScreenshotScene scene;
  const auto& formats = inputFormatList();
  for (const char* name : kNames) {
    std::string format = formats.empty() ? "psd" : formats[static_cast<size_t>(std::rand()) % formats.size()];
    scene.entries.push_back(std::string("/images/") + name + "." + format);
  }
  scene.output_folder = "/converted/";
  return scene;
}

void setScreenshotWindowBuilder(ScreenshotWindowBuilder builder) { windowBuilder() = std::move(builder); }

std::string screenshotFolder(const std::string& argument) {
  std::string folder = trim(argument);
  // An installed program's folder is not the user's to write in.
  if (folder.empty()) folder = runsInstalled() ? absolutePath(".") : programFolder();
  folder = withTrailingSlash(folder);
  return isFolder(folder) ? folder : std::string();
}

wxImage captureWindow(wxTopLevelWindow* window) {
  const wxRect outer = window->GetScreenRect();
  wxBitmap copy(outer.width, outer.height, 24);
  wxMemoryDC target(copy);
  target.SetBackground(*wxBLACK_BRUSH);
  target.Clear();
  wxRect shown = outer.Intersect(wxDisplay(window).GetGeometry());
  if (!shown.IsEmpty()) {
    wxScreenDC screen;
    target.Blit(shown.x - outer.x, shown.y - outer.y, shown.width, shown.height, &screen, shown.x, shown.y);
  }
  target.SelectObject(wxNullBitmap);
  return copy.ConvertToImage();
}

void drawWebAddress(wxImage* image) {
  wxBitmap bitmap(*image, 24);
  wxMemoryDC dc(bitmap);
  dc.SetFont(wxFont(wxFontInfo(8).FaceName("Tahoma").AntiAliased()));
  dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
  dc.SetTextForeground(*wxBLACK);
  const wxString address = wxString::FromUTF8(kMakerWebAddress);
  const wxSize extent = dc.GetTextExtent(address);
  dc.DrawText(address, image->GetWidth() - extent.GetWidth() - 35, image->GetHeight() - 26);
  dc.SelectObject(wxNullBitmap);
  *image = bitmap.ConvertToImage();
}

bool saveScreenshotFiles(const wxImage& image, const std::string& folder) {
  if (!image.IsOk() || image.GetWidth() <= 0) return false;
  if (!writeImage(image, folder + kScreenshotFileName)) return false;
  const long width = image.GetWidth();
  const long height = (2L * kThumbnailWidth * image.GetHeight() + width) / (2 * width);
  wxImage thumbnail = image.Scale(kThumbnailWidth, static_cast<int>(std::max(1L, height)), wxIMAGE_QUALITY_HIGH);
  return writeImage(thumbnail, folder + kThumbnailFileName);
}

bool saveWindowScreenshots(wxTopLevelWindow* window, const std::string& folder) {
  if (!window || !letWindowSettle(window)) return false;
  wxImage image = captureWindow(window);
  drawWebAddress(&image);
  return saveScreenshotFiles(image, folder);
}

bool captureScreenshots(const std::string& argument) {
  loadBuiltinImages();
  scanThemes();
  applyTheme(true, true, true);
  run_tag = "T";
  const std::string folder = screenshotFolder(argument);
  if (folder.empty()) {
    consolePrint("Error: The folder for the screenshots does not exist: " + trim(argument));
    return false;
  }
  if (!windowBuilder()) {
    consolePrint("Error: The screenshot mode needs the main window, which this build does not have");
    return false;
  }
  wxTopLevelWindow* window = windowBuilder()(screenshotScene());
  if (!window) {
    consolePrint("Error: The main window could not be built");
    return false;
  }
  wxWeakRef<wxTopLevelWindow> alive(window);
  bool saved = saveWindowScreenshots(window, folder);
  if (!saved) consolePrint("Error: The screenshots could not be saved in " + folder);
  if (alive && !alive->IsBeingDeleted()) alive->Destroy();
  return saved;
}

}  // namespace pixolune
