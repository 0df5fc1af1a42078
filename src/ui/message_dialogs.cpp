#include "ui/message_dialogs.h"

#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/window.h>

#include "ui/wx_convert.h"

namespace pixolune {

namespace {

long iconStyle(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kWarning:
      return wxICON_WARNING;
    case MessageIcon::kError:
      return wxICON_ERROR;
    case MessageIcon::kQuestion:
      return wxICON_QUESTION;
    case MessageIcon::kInformation:
      break;
  }
  return wxICON_INFORMATION;
}

wxWindow* dialogParent() {
  wxWindow* active = wxGetActiveWindow();
  if (active) return wxGetTopLevelParent(active);
  return wxTheApp ? wxTheApp->GetTopWindow() : nullptr;
}

}  // namespace

MessageAnswer DialogMessageBoxes::show(const std::string& title, const std::string& text, MessageButtons buttons,
                                       MessageIcon icon) {
  long style = iconStyle(icon) | wxCENTRE | (buttons == MessageButtons::kYesNo ? wxYES_NO : wxOK);
  wxMessageDialog dialog(dialogParent(), toWx(text), toWx(title), style);
  switch (dialog.ShowModal()) {
    case wxID_YES:
      return MessageAnswer::kYes;
    case wxID_NO:
      return MessageAnswer::kNo;
    case wxID_OK:
      return MessageAnswer::kOk;
    default:
      break;
  }
  // Closing a Yes/No box without an answer is taken as No.
  return buttons == MessageButtons::kYesNo ? MessageAnswer::kNo : MessageAnswer::kOk;
}

}  // namespace pixolune
