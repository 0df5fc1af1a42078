// The common frame of the small windows (About, converter search,
// uninstall, preferences): a fixed inner size unless made resizable, one
// panel holding the controls, Return and Escape as shortcuts for buttons,
// and a parent that is disabled while the window is open.
#ifndef PIXOLUNE_UI_SMALL_WINDOW_H_
#define PIXOLUNE_UI_SMALL_WINDOW_H_

#include <wx/frame.h>
#include <wx/image.h>
#include <wx/panel.h>

#include <string>

#include "resources/png_decode.h"

namespace pixolune {

/// Whether the user may change a small window's size.
enum class WindowSizing {
  kFixed,      // Neither a resizing border nor a maximise box.
  kResizable,  // A resizing border and a maximise box.
};

class SmallWindow : public wxFrame {
 public:
  /// A window titled `title` with inner size `width` x `height`. With a
  /// parent it floats over it; without one it is a top-level window.
  SmallWindow(wxWindow* parent, const std::string& title, int width, int height,
              WindowSizing sizing = WindowSizing::kFixed);

  /// Acts on a control number, as a click or a shortcut does.
  virtual void runCommand(int id) = 0;

  /// Enables the parent again, destroys this window and gives the parent the
  /// focus. Safe to call more than once.
  void closeWindow();

  /// A close request from the window's frame; closes the window unless a
  /// window says otherwise.
  virtual void onCloseRequest() { closeWindow(); }

  /// Disables the parent (the window acts as a modal one).
  void holdParent();

  /// The panel the controls live on.
  wxPanel* panel() const { return panel_; }

 protected:
  /// Return acts as `return_id`, Escape as `escape_id` (0: no shortcut).
  void setShortcuts(int return_id, int escape_id);

 private:
  void onCharHook(wxKeyEvent& event);

  wxWindow* held_parent_ = nullptr;
  wxPanel* panel_;
  int return_id_ = 0;
  int escape_id_ = 0;
  bool closing_ = false;
};

/// A picture of the user interface as a toolkit image (with its alpha).
wxImage toImage(const Picture& picture);

}  // namespace pixolune

#endif  // PIXOLUNE_UI_SMALL_WINDOW_H_
