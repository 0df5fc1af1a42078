// The screenshot start mode: the main window with example content is shown
// for a moment, copied, marked with the maker's web address and saved as two
// JPEG files (full size and a 180-pixel-wide thumbnail).
#ifndef PIXOLUNE_UI_SCREENSHOT_MODE_H_
#define PIXOLUNE_UI_SCREENSHOT_MODE_H_

#include <wx/image.h>
#include <wx/toplevel.h>

#include <functional>
#include <string>
#include <vector>

namespace pixolune {

constexpr char kScreenshotFileName[] = "vemarkt1.jpg";
constexpr char kThumbnailFileName[] = "vemarkt1x.jpg";
constexpr int kScreenshotQuality = 90;  // 9 on a scale of 0 to 10.
constexpr int kThumbnailWidth = 180;
constexpr int kScreenshotDelayMs = 500;

/// What the main window shows in a screenshot.
struct ScreenshotScene {
  std::vector<std::string> entries;  // Seven example input files, in list order.
  int visible_row = 5;               // The row scrolled into view.
  std::string output_folder;         // Shown with the "FavFolder" menu picture.
  int x = 400, y = 400, width = 510, height = 330;  // Outer place and size of the window.
};

/// The example scene; each entry ends with an input format picked at random.
ScreenshotScene screenshotScene();

/// Builds the main window, places it, shows it with `scene`'s content, gives
/// the focus in turn to the output-format box, the output-folder box and the
/// Convert button, and returns it; nullptr when it cannot. Supplied by the
/// main window's code.
using ScreenshotWindowBuilder = std::function<wxTopLevelWindow*(const ScreenshotScene& scene)>;
void setScreenshotWindowBuilder(ScreenshotWindowBuilder builder);

/// The folder the files go to, ending with "/": the trimmed argument, or,
/// when it is empty, the program's folder in the build tree and the working
/// folder for an installed program (runsInstalled). Empty when that is not an existing
/// folder.
std::string screenshotFolder(const std::string& argument);

/// Lets `window` settle for kScreenshotDelayMs (processing events), copies
/// it with its frame, draws the web address on the copy and writes both
/// files into `folder` (ending with "/"). False when the window was closed
/// in the meantime or a file could not be written. The caller keeps the
/// window. REQUIRES: the toolkit is running; main thread.
bool saveWindowScreenshots(wxTopLevelWindow* window, const std::string& folder);

/// The whole mode once the toolkit runs: themes, run tag "T", the folder,
/// the window from the registered builder, the files. Prints an error line
/// and returns false when the folder does not exist, no builder is
/// registered or the window cannot be built or saved.
bool captureScreenshots(const std::string& argument);

/// The window's pixels with its frame, as shown on the screen; parts off the
/// screen stay black.
wxImage captureWindow(wxTopLevelWindow* window);

/// Draws the maker's web address in black 8-point text without background,
/// its right end 35 pixels from the right edge, its top 26 from the bottom.
void drawWebAddress(wxImage* image);

/// Writes `image` as folder + kScreenshotFileName and a copy scaled to
/// kThumbnailWidth wide (height in proportion, rounded) as folder +
/// kThumbnailFileName.
bool saveScreenshotFiles(const wxImage& image, const std::string& folder);

}  // namespace pixolune

#endif  // PIXOLUNE_UI_SCREENSHOT_MODE_H_
