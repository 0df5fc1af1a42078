#include "ui/picture_controls.h"

#include <wx/dcbuffer.h>
#include <wx/renderer.h>
#include <wx/settings.h>

#include <algorithm>

namespace pixolune {

namespace {

constexpr int kPictureGap = 4;  // Space around an item's picture.

}  // namespace

PictureComboBox::PictureComboBox(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                                 ComboTyping typing)
    : wxOwnerDrawnComboBox(parent, id, wxEmptyString, pos, size, 0, nullptr,
                           typing == ComboTyping::kEditable ? 0 : wxCB_READONLY) {}

int PictureComboBox::Append(const wxString& text, const wxBitmap& picture) {
  const int item = wxOwnerDrawnComboBox::Append(text);
  if (item >= 0) {
    pictures_.resize(std::max(pictures_.size(), static_cast<size_t>(item) + 1));
    pictures_[static_cast<size_t>(item)] = picture;
  }
  return item;
}

void PictureComboBox::SetItemBitmap(unsigned int item, const wxBitmap& picture) {
  if (item >= pictures_.size()) return;
  pictures_[item] = picture;
  Refresh();
}

void PictureComboBox::Clear() {
  wxOwnerDrawnComboBox::Clear();
  pictures_.clear();
}

void PictureComboBox::OnDrawItem(wxDC& dc, const wxRect& rect, int item, int flags) const {
  if (item < 0) return;
  int x = rect.x + kPictureGap;
  if (static_cast<size_t>(item) < pictures_.size() && pictures_[static_cast<size_t>(item)].IsOk()) {
    const wxBitmap& picture = pictures_[static_cast<size_t>(item)];
    dc.DrawBitmap(picture, x, rect.y + (rect.height - picture.GetHeight()) / 2, true);
    x += picture.GetWidth() + kPictureGap;
  }
  const bool selected = (flags & wxODCB_PAINTING_SELECTED) && !(flags & wxODCB_PAINTING_CONTROL);
  dc.SetTextForeground(wxSystemSettings::GetColour(selected ? wxSYS_COLOUR_HIGHLIGHTTEXT : wxSYS_COLOUR_WINDOWTEXT));
  const wxString text = GetString(static_cast<unsigned int>(item));
  dc.DrawText(text, x, rect.y + (rect.height - dc.GetCharHeight()) / 2);
}

wxCoord PictureComboBox::OnMeasureItem(size_t) const { return std::max(20, GetCharHeight() + 6); }

wxCoord PictureComboBox::OnMeasureItemWidth(size_t item) const {
  return GetTextExtent(GetString(static_cast<unsigned int>(item))).x + 16 + 3 * kPictureGap;
}

FlatPictureButton::FlatPictureButton(wxWindow* parent, wxWindowID id, const wxBitmap& picture,
                                     const wxString& tooltip, const wxPoint& pos, const wxSize& size)
    : wxControl(parent, id, pos, size, wxBORDER_NONE), picture_(picture) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  SetToolTip(tooltip);
  Bind(wxEVT_PAINT, &FlatPictureButton::onPaint, this);
  Bind(wxEVT_ENTER_WINDOW, [this](wxMouseEvent&) { setHover(true); });
  Bind(wxEVT_LEAVE_WINDOW, [this](wxMouseEvent&) {
    pressed_ = false;
    setHover(false);
  });
  Bind(wxEVT_LEFT_DOWN, [this](wxMouseEvent&) {
    pressed_ = true;
    Refresh();
  });
  Bind(wxEVT_LEFT_UP, [this](wxMouseEvent&) {
    const bool was_pressed = pressed_;
    pressed_ = false;
    Refresh();
    if (was_pressed) click();
  });
}

bool FlatPictureButton::Enable(bool enable) {
  const bool changed = wxControl::Enable(enable);
  Refresh();
  return changed;
}

void FlatPictureButton::click() {
  if (!IsEnabled()) return;
  wxCommandEvent event(wxEVT_TOOL, GetId());
  event.SetEventObject(this);
  ProcessWindowEvent(event);
}

void FlatPictureButton::setHover(bool hover) {
  hover_ = hover;
  Refresh();
}

void FlatPictureButton::onPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  dc.SetBackground(wxBrush(GetParent()->GetBackgroundColour()));
  dc.Clear();
  const wxRect area(GetClientSize());
  if (hover_ && IsEnabled()) {
    const int flags = wxCONTROL_CURRENT | (pressed_ ? static_cast<int>(wxCONTROL_PRESSED) : 0);
    wxRendererNative::Get().DrawPushButton(this, dc, area, flags);
  }
  if (!picture_.IsOk()) return;
  const wxBitmap shown = IsEnabled() ? picture_ : picture_.ConvertToDisabled();
  dc.DrawBitmap(shown, (area.width - shown.GetWidth()) / 2, (area.height - shown.GetHeight()) / 2, true);
}

}  // namespace pixolune
