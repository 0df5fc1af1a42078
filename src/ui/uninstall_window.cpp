#include "ui/uninstall_window.h"

#include <wx/button.h>
#include <wx/checkbox.h>

#include <algorithm>

#include "resources/product.h"
#include "resources/string_table.h"
#include "ui/links.h"

namespace pixolune {

namespace {

wxString text(const char* key) { return wxString::FromUTF8(getText("Uninstall", key)); }

}  // namespace

UninstallWindow::UninstallWindow(std::function<void()> on_end)
    : SmallWindow(nullptr, getText("Uninstall", "Title"), 300, 100), on_end_(std::move(on_end)) {
  visit_ = new wxCheckBox(panel(), kUninstallVisitBox, text("Uninstall Text"), wxPoint(30, 20));
  // 250 x 20, or larger where the desktop's check boxes need more room.
  const wxSize best = visit_->GetBestSize();
  visit_->SetSize(std::max(250, best.GetWidth()), std::max(20, best.GetHeight()));
  visit_->SetValue(true);
  auto* next = new wxButton(panel(), kUninstallNext, text("Next"), wxPoint(200, 60), wxSize(80, 25));
  next->SetDefault();
}

void UninstallWindow::runCommand(int id) {
  if (id != kUninstallNext) return;
  if (visit_->GetValue()) openWithShell(kUninstallFeedbackAddress);
  end();
}

void UninstallWindow::end() {
  std::function<void()> on_end = std::move(on_end_);
  on_end_ = nullptr;
  closeWindow();
  if (on_end) on_end();
}

UninstallWindow* showUninstallWindow(std::function<void()> on_end) {
  auto* window = new UninstallWindow(std::move(on_end));
  window->CentreOnScreen();
  window->Show();
  window->SetFocus();
  return window;
}

}  // namespace pixolune
