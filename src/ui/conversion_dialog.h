// The progress window of a conversion run: the current path, a counter in the
// title, a bar and the time left while the worker converts the list, with a
// Stop button; the result afterwards (the count and every file not converted
// with its reason), until the user closes the window.
#ifndef PIXOLUNE_UI_CONVERSION_DIALOG_H_
#define PIXOLUNE_UI_CONVERSION_DIALOG_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class wxDialog;

namespace pixolune {

/// Width in pixels the path line may fill.
inline constexpr int kPathLineWidth = 280;

/// `text` unchanged when it is empty or not longer than `max_chars`
/// characters; otherwise its first and last (max_chars - 3) / 2 characters
/// joined by "...". Counts characters, not bytes.
std::string shortenMiddle(const std::string& text, int max_chars);

/// The path line for `path` with an average character width of
/// `char_width` pixels: shortened in the middle to 280 / char_width
/// characters when it would be wider than 280 pixels.
std::string progressLineText(const std::string& path, int char_width);

/// Text of the time-left line: "Estimating the time left..." until a file
/// has finished (`finished` 0), then the time the remaining files take at
/// the pace so far, `elapsed_ms` for `finished` of `total` files: "About
/// N seconds left" below a minute (at least 1 second), "About N minutes
/// left" (rounded up) from there.
std::string timeLeftText(int64_t elapsed_ms, int finished, int total);

/// What the window showed when it closed.
struct ConversionDialogRecord {
  std::string title;
  std::string line;
  std::string detail;     // The line under the bar: time left, then the count.
  std::vector<std::string> failures;  // "<path>: <reason>" for every file not converted, in list order.
  int bar_value = 0;
  int bar_range = 0;
  bool ok_enabled = false;
  bool stop_enabled = false;
  bool stop_asked = false;
  int questions = 0;      // How often the stop question was asked.
  int result_count = 0;
  int char_width = 0;     // The measured average character width.
};

/// Called on the main thread once the run has ended and the window shows its
/// result, with the window and what it shows. Tests read it and close the
/// window from here; null: nobody is told.
using ConversionFinishedHook = std::function<void(wxDialog* window, const ConversionDialogRecord& shown)>;
void setConversionFinishedHook(ConversionFinishedHook hook);

/// Runs conversionWorker with `run` into `output_folder` under window 3 and returns when the user has closed
/// the window (the close box or OK, once the run has ended). The Stop button
/// or a close request during the run pauses the worker, asks
/// askBreakConversion and stops the run after the file in hand on Yes. The
/// window observes the run (setConversionObserver) while it lasts and puts
/// the observer that was set back afterwards. The title says "Conversion
/// complete" only when every listed file was converted; otherwise how many
/// failed, and the files not converted are listed with their reasons. The main window is disabled meanwhile
/// and its status bar gets the final text.
/// REQUIRES: main thread; prepareRun() has made `run`; no other worker runs.
struct RunOptions;
ConversionDialogRecord runConversionDialog(const RunOptions& run, const std::string& output_folder);

/// The conversion window while it is open, else null.
wxDialog* conversionWindow();

/// The record of the last run.
const ConversionDialogRecord& lastConversionRecord();

}  // namespace pixolune

#endif  // PIXOLUNE_UI_CONVERSION_DIALOG_H_
