#include "ui/about_window.h"

#include <wx/button.h>
#include <wx/hyperlink.h>
#include <wx/generic/hyperlink.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "resources/product.h"
#include "resources/string_table.h"
#include "resources/themes.h"
#include "ui/links.h"

namespace pixolune {

namespace {

wxString text(const char* group, const char* key) { return wxString::FromUTF8(getText(group, key)); }

/// A blue link that reports its clicks as a command of the window instead of
/// opening the address itself. The generic control draws itself, so it keeps
/// the colour whatever the desktop's theme says links look like.
void addLink(AboutWindow* window, wxWindow* parent, int id, const std::string& label, const wxPoint& at) {
  auto* link = new wxGenericHyperlinkCtrl(parent, id, wxString::FromUTF8(label), wxString::FromUTF8(label), at,
                                   wxSize(215, 20), wxHL_ALIGN_LEFT | wxNO_BORDER);
  const wxColour blue(0, 0, 255);
  link->SetNormalColour(blue);
  link->SetVisitedColour(blue);
  link->SetHoverColour(blue);
  link->Bind(wxEVT_HYPERLINK, [window, id](wxHyperlinkEvent&) { window->runCommand(id); });
}

}  // namespace

AboutWindow::AboutWindow(wxWindow* parent) : SmallWindow(parent, getText("About", "Title"), 360, 240) {
  wxPanel* base = panel();
  wxImage banner = toImage(numberedImage(0));
  if (banner.IsOk()) {
    new wxStaticBitmap(base, kAboutBanner, wxBitmap(banner), wxPoint(0, 0), wxSize(360, 40));
  }
  // The sunken frame holds the texts; their places are given in the window.
  auto* frame = new wxPanel(base, kAboutFrame, wxPoint(0, 40), wxSize(360, 150), wxBORDER_SUNKEN);
  new wxStaticText(frame, kAboutTitle, wxString::FromUTF8(productTitle()),
                   wxPoint(20, 50 - 40), wxSize(320, 20), wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);
  new wxStaticText(frame, kAboutWebLabel, text("About", "Website"), wxPoint(80, 100 - 40), wxSize(60, 20));
  new wxStaticText(frame, kAboutMailLabel, text("About", "Email"), wxPoint(80, 120 - 40), wxSize(50, 20));
  addLink(this, frame, kAboutWebLink, kMakerWebAddress, wxPoint(140, 100 - 40));
  addLink(this, frame, kAboutMailLink, kSupportMailAddress, wxPoint(140, 120 - 40));
  auto* ok = new wxButton(base, kAboutOk, text("Dialog", "OK"), wxPoint(140, 200), wxSize(80, 25));
  ok->SetDefault();
  setShortcuts(kAboutOk, kAboutOk);
}

void AboutWindow::runCommand(int id) {
  switch (id) {
    case kAboutOk:
      closeWindow();
      break;
    case kAboutWebLink:
      openWithShell(kWebSiteAddress);
      break;
    case kAboutMailLink:
      openWithShell(std::string("mailto:") + kSupportMailAddress);
      break;
    default:
      break;
  }
}

AboutWindow* showAboutWindow(wxWindow* parent) {
  auto* window = new AboutWindow(parent);
  if (parent) {
    window->CentreOnParent();
  } else {
    window->CentreOnScreen();
  }
  window->Show();
  window->holdParent();
  window->SetFocus();
  return window;
}

}  // namespace pixolune
