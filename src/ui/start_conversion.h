// The Convert command of the main window: checks the list, the output
// folder, the resize sizes and the watermark inputs, prepares the run and
// converts the list under the conversion window.
#ifndef PIXOLUNE_UI_START_CONVERSION_H_
#define PIXOLUNE_UI_START_CONVERSION_H_

#include <string>

namespace pixolune {

struct RunOptions;

/// Takes the output folder (trimmed of spaces) and format from the main
/// window's boxes, then checks in this order: a list with entries, a
/// non-empty output folder, an existing output folder (a trailing "/" is
/// added first and kept), an output folder that takes files (a probe file is
/// created in it and removed; the warning names the folder and the system's
/// reason), a resize width and height other than 0, the text
/// watermark's font, the picture watermark's file (present and decoding as a
/// picture; the warning names the file and why it does not decode). The
/// first failure shows its warning and ends the command; the status bar then
/// shows "Conversion stopped". Otherwise the run
/// is prepared, the output folder is remembered in the history and the list
/// is converted under the conversion window; the watermark font is freed
/// afterwards. Returns true when the conversion window ran.
/// REQUIRES: main thread, the main window exists, no worker runs.
bool startConversion();

/// The checks of startConversion up to and including the watermark inputs,
/// on the job's output_folder (which gains its trailing "/"). Shows the
/// warning of the first failure; true when all pass.
bool validateConversion();

/// The checks of the settings alone, in startConversion's order: the resize
/// width and height, the watermark inputs (which it prepares), the output
/// format. Empty when they pass, and `run` then holds the run's options;
/// else the warning the window shows. Shared by Convert and the preview.
/// REQUIRES: main thread, no worker runs.
std::string whyRunCannotStart(RunOptions* run);

}  // namespace pixolune

#endif  // PIXOLUNE_UI_START_CONVERSION_H_
