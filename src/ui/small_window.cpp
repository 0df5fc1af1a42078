#include "ui/small_window.h"

#include <cstring>

namespace pixolune {

namespace {

long frameStyle(wxWindow* parent, WindowSizing sizing) {
  long style = wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX;
  if (sizing == WindowSizing::kResizable) style |= wxRESIZE_BORDER | wxMAXIMIZE_BOX;
  if (parent) style |= wxFRAME_FLOAT_ON_PARENT;
  return style;
}

}  // namespace

SmallWindow::SmallWindow(wxWindow* parent, const std::string& title, int width, int height, WindowSizing sizing)
    : wxFrame(parent, wxID_ANY, wxString::FromUTF8(title), wxDefaultPosition, wxDefaultSize,
              frameStyle(parent, sizing)) {
  SetClientSize(width, height);
  panel_ = new wxPanel(this, wxID_ANY, wxPoint(0, 0), wxSize(width, height));
  Bind(wxEVT_CHAR_HOOK, &SmallWindow::onCharHook, this);
  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { onCloseRequest(); });
  Bind(wxEVT_BUTTON, [this](wxCommandEvent& event) { runCommand(event.GetId()); });
}

void SmallWindow::closeWindow() {
  if (closing_) return;
  closing_ = true;
  if (held_parent_) held_parent_->Enable();
  Hide();
  Destroy();
  if (held_parent_) held_parent_->SetFocus();
}

void SmallWindow::holdParent() {
  held_parent_ = GetParent();
  if (held_parent_) held_parent_->Disable();
}

void SmallWindow::setShortcuts(int return_id, int escape_id) {
  return_id_ = return_id;
  escape_id_ = escape_id;
}

void SmallWindow::onCharHook(wxKeyEvent& event) {
  const int key = event.GetKeyCode();
  const bool is_return = key == WXK_RETURN || key == WXK_NUMPAD_ENTER;
  if (is_return && return_id_ != 0) {
    runCommand(return_id_);
  } else if (key == WXK_ESCAPE && escape_id_ != 0) {
    runCommand(escape_id_);
  } else {
    event.Skip();
  }
}

wxImage toImage(const Picture& picture) {
  if (!picture.valid()) return wxImage();
  const size_t pixels = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
  wxImage image(picture.width, picture.height, false);
  image.InitAlpha();
  unsigned char* rgb = image.GetData();
  unsigned char* alpha = image.GetAlpha();
  for (size_t i = 0; i < pixels; ++i) {
    std::memcpy(rgb + i * 3, &picture.rgba[i * 4], 3);
    alpha[i] = picture.rgba[i * 4 + 3];
  }
  return image;
}

}  // namespace pixolune
