// Two small controls drawn by the program itself, so that they keep exactly
// the size the layout gives them whatever the desktop theme's paddings: a
// drop-down list whose items carry a picture, and a flat picture button that
// sends a command like a toolbar button.
#ifndef PIXOLUNE_UI_PICTURE_CONTROLS_H_
#define PIXOLUNE_UI_PICTURE_CONTROLS_H_

#include <wx/bitmap.h>
#include <wx/control.h>
#include <wx/odcombo.h>

#include <vector>

namespace pixolune {

/// Whether the user may type into a PictureComboBox.
enum class ComboTyping {
  kPickOnly,  // Read-only: the text is always an item's (or none).
  kEditable,  // A text field above the list, for a value the list does not hold.
};

/// A drop-down list whose items each show a picture before their text; the
/// user picks from it, or, when it is made editable, may also type a value.
/// No selection shows no text.
class PictureComboBox : public wxOwnerDrawnComboBox {
 public:
  PictureComboBox(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                  ComboTyping typing = ComboTyping::kPickOnly);

  /// Appends an item; returns its index.
  int Append(const wxString& text, const wxBitmap& picture);
  void SetItemBitmap(unsigned int item, const wxBitmap& picture);
  void Clear() override;

 protected:
  void OnDrawItem(wxDC& dc, const wxRect& rect, int item, int flags) const override;
  wxCoord OnMeasureItem(size_t item) const override;
  wxCoord OnMeasureItemWidth(size_t item) const override;

 private:
  std::vector<wxBitmap> pictures_;
};

/// A borderless button showing one picture; hovering shows a button frame.
/// A click sends a menu/tool command event with the button's id, which
/// reaches the top-level window like a toolbar button's.
class FlatPictureButton : public wxControl {
 public:
  FlatPictureButton(wxWindow* parent, wxWindowID id, const wxBitmap& picture, const wxString& tooltip,
                    const wxPoint& pos, const wxSize& size);

  bool Enable(bool enable = true) override;
  bool AcceptsFocus() const override { return false; }

  /// Sends the command as a click does (nothing when disabled).
  void click();

 private:
  void onPaint(wxPaintEvent& event);
  void setHover(bool hover);

  wxBitmap picture_;
  bool hover_ = false;
  bool pressed_ = false;
};

}  // namespace pixolune

#endif  // PIXOLUNE_UI_PICTURE_CONTROLS_H_
