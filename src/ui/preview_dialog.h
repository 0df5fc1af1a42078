// The preview of the selected input file: it is converted with the current
// settings the way a run converts it (same pipeline, in a conversion helper
// when runs use one), but into a private temporary folder, and the dialog
// shows the output's name, pixel size, depth and file size and the picture
// itself, scaled to fit, over a checkerboard where it is transparent.
#ifndef PIXOLUNE_UI_PREVIEW_DIALOG_H_
#define PIXOLUNE_UI_PREVIEW_DIALOG_H_

#include <wx/dialog.h>
#include <wx/image.h>

#include <functional>
#include <string>

#include "ui/preview_conversion.h"

class wxButton;
class wxPanel;
class wxStaticText;

namespace pixolune {

class PicturePanel;

class PreviewDialog : public wxDialog {
 public:
  explicit PreviewDialog(wxWindow* parent);

  /// "Preparing preview..." while the worker runs.
  void showPreparing();
  /// The outcome: the texts and the picture, or the reason.
  void showOutcome(const PreviewOutcome& outcome);
  /// A message in place of the picture (no file selected, run not possible).
  void showMessage(const std::string& text);

  std::string nameText() const;
  std::string pixelSizeText() const;
  std::string fileSizeText() const;
  /// The text shown in place of the picture, empty while the picture shows.
  std::string messageText() const;
  /// The picture as drawn in the dialog now (scaled, over the checkerboard);
  /// not ok while none is shown.
  wxImage shownPicture() const;
  /// The output's pixels as kept (before scaling to the dialog).
  const PreviewPicture& picture() const;
  /// The converted file in the private folder, empty when there is none.
  const std::string& outputPath() const { return output_path_; }
  wxButton* closeButton() const { return close_; }

  bool close_requested = false;

 private:
  wxStaticText* name_;
  wxStaticText* size_;
  wxStaticText* file_size_;
  wxStaticText* message_;
  PicturePanel* picture_;
  wxButton* close_;
  std::string output_path_;
};

/// Previews the main window's selected file (the first one when several are
/// selected): the dialog is shown at once with "Preparing preview...", the
/// main window is disabled while it is open, and the file is converted on a
/// worker thread into a private folder that is removed when the dialog
/// closes; the real output folder is never touched. Without a selected file
/// a warning says so and no dialog opens. Returns once the dialog closed.
/// REQUIRES: main thread, the main window exists, no worker runs.
void openPreviewDialog();

/// Called on the main thread once the dialog shows its outcome (tests look
/// at it and close it); null for none.
using PreviewShownHook = std::function<void(PreviewDialog* dialog)>;
void setPreviewShownHook(PreviewShownHook hook);

/// The preview dialog while it is open, else null.
PreviewDialog* previewDialog();

}  // namespace pixolune

#endif  // PIXOLUNE_UI_PREVIEW_DIALOG_H_
