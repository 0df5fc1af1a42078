#include "ui/converter_search.h"

#include <wx/button.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "platform/text.h"
#include "resources/message_box.h"
#include "resources/product.h"
#include "resources/string_table.h"
#include "ui/links.h"

namespace pixolune {

namespace {

constexpr size_t kMaxExtensionLength = 12;

wxString text(const char* key) { return wxString::FromUTF8(getText("Custom-Converter", key)); }

/// The first `count` characters (code points) of UTF-8 text.
std::string firstCharacters(const std::string& text, size_t count) {
  size_t end = 0;
  for (size_t seen = 0; end < text.size() && seen < count; ++seen) {
    ++end;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  }
  return text.substr(0, end);
}

std::string extensionOf(std::string_view typed) {
  return keepAlphanumeric(firstCharacters(toLower(typed), kMaxExtensionLength));
}

}  // namespace

ConverterSearch& converterSearch() {
  static ConverterSearch search;
  return search;
}

std::string keepAlphanumeric(std::string_view text) {
  std::string kept;
  for (char c : text) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) kept += c;
  }
  return kept;
}

bool readConverterFields(std::string_view from_text, std::string_view to_text) {
  ConverterSearch& search = converterSearch();
  search.from_ext = extensionOf(from_text);
  search.to_ext = extensionOf(to_text);
  return !search.from_ext.empty() && !search.to_ext.empty();
}

std::string converterSearchAddress() {
  const ConverterSearch& search = converterSearch();
  return std::string(kWebSiteAddress) + "find/" + search.from_ext + "-" + search.to_ext + "/";
}

ConverterSearchWindow::ConverterSearchWindow(wxWindow* parent)
    : SmallWindow(parent, getText("Custom-Converter", "Title"), 370, 60) {
  wxPanel* base = panel();
  new wxStaticText(base, kSearchFromLabel, text("From"), wxPoint(10, 23), wxSize(40, 20));
  from_ = new wxTextCtrl(base, kSearchFromField, wxEmptyString, wxPoint(50, 20), wxSize(80, 20));
  new wxStaticText(base, kSearchToLabel, text("To"), wxPoint(150, 23), wxSize(30, 20));
  to_ = new wxTextCtrl(base, kSearchToField, wxEmptyString, wxPoint(180, 20), wxSize(80, 20));
  auto* search = new wxButton(base, kSearchButton, text("Search"), wxPoint(280, 18), wxSize(80, 25));
  search->SetDefault();
  setShortcuts(kSearchButton, kSearchCancel);
}

void ConverterSearchWindow::runCommand(int id) {
  if (id == kSearchCancel) {
    closeWindow();
    return;
  }
  if (id != kSearchButton) return;
  if (!readConverterFields(from_->GetValue().utf8_string(), to_->GetValue().utf8_string())) {
    showWarning(getText("Msg", "Empty extensions"));
    return;
  }
  Hide();
  openWithShell(converterSearchAddress());
  closeWindow();
}

ConverterSearchWindow* openConverterSearch(wxWindow* parent) {
  auto* window = new ConverterSearchWindow(parent);
  if (parent) {
    window->CentreOnParent();
  } else {
    window->CentreOnScreen();
  }
  window->Show();
  window->holdParent();
  window->SetFocus();
  window->fromField()->SetFocus();
  return window;
}

}  // namespace pixolune
