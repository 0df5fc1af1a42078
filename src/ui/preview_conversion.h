// The engine side of the preview: the selected file converted as a run
// converts it, into a private folder, and read back. Kept apart from the
// dialog so that no toolkit header meets the engine's.
#ifndef PIXOLUNE_UI_PREVIEW_CONVERSION_H_
#define PIXOLUNE_UI_PREVIEW_CONVERSION_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pixolune {

/// The longest side of the picture the dialog keeps of the output; larger
/// outputs are scaled down to it once, on the worker thread.
constexpr int kPreviewPictureSide = 1600;

/// The output's pixels as the dialog keeps them: 8-bit RGBA samples, not
/// premultiplied, rows top to bottom.
struct PreviewPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;  // width * height * 4 bytes.
  bool valid() const { return width > 0 && height > 0; }
};

/// What converting the file for the preview gave.
struct PreviewOutcome {
  bool ok = false;
  std::string reason;       // Why it failed (ok false), never empty then.
  std::string output_name;  // The mask's name below the output folder, e.g. "sub/photo.png".
  std::string output_path;  // Where the file lies in the private folder.
  int width = 0;            // Pixels of the written file.
  int height = 0;
  int bits_per_pixel = 0;
  int64_t file_size = 0;    // Bytes.
  PreviewPicture picture;          // The file's pixels, at most kPreviewPictureSide on a side.
};

/// One preview's conversion: its private folder, the run's options and the
/// file's request. The folder goes with the object.
class PreviewConversion {
 public:
  /// `input_path` as listed, the `position`-th listed entry (0 the first):
  /// a run converting the files before it names it with "%n%" that much on.
  PreviewConversion(const std::string& input_path, int position);
  ~PreviewConversion();
  PreviewConversion(const PreviewConversion&) = delete;
  PreviewConversion& operator=(const PreviewConversion&) = delete;

  /// Makes the private folder and prepares the run from the current
  /// Settings as Convert does (resize sizes, output format, watermark).
  /// Empty when the file can be converted, else why not.
  /// REQUIRES: main thread, no worker runs.
  std::string prepare();

  /// Converts the file into the private folder as a run does (in a helper
  /// process when conversionIsolation() names a program), moves it to its
  /// name there and reads it back. REQUIRES: prepare() gave "". Runs on a
  /// worker thread; nothing changes Settings meanwhile.
  PreviewOutcome convert();

  /// The private folder, ending in "/" (empty before prepare or when it
  /// could not be made).
  const std::string& folder() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

/// A new private folder for one preview: below $XDG_RUNTIME_DIR when that is
/// a folder, else the system's temporary folder; mode 0700, ending in "/".
/// Empty when it cannot be made.
std::string makePreviewFolder();

/// Removes `folder` and everything in it, never following a link.
void removePreviewFolder(const std::string& folder);

}  // namespace pixolune

#endif  // PIXOLUNE_UI_PREVIEW_CONVERSION_H_
