#include "resources/message_box.h"

#include <cstdio>

#include "resources/string_table.h"

namespace pixolune {

namespace {

/// Without a window there is nobody to ask: report on standard error and
/// take the safe answer.
class ConsoleMessageBoxes : public MessageBoxes {
 public:
  MessageAnswer show(const std::string& title, const std::string& text, MessageButtons buttons,
                     MessageIcon) override {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    return buttons == MessageButtons::kOk ? MessageAnswer::kOk : MessageAnswer::kNo;
  }
};

ConsoleMessageBoxes console_boxes;
MessageBoxes* current_boxes = &console_boxes;

bool askYesNo(const char* title_key, const char* text_key, MessageIcon icon) {
  MessageAnswer answer = showMessage(getText("Msg", title_key), getText("Msg", text_key),
                                     MessageButtons::kYesNo, icon);
  return answer == MessageAnswer::kYes;
}

}  // namespace

MessageBoxes* setMessageBoxes(MessageBoxes* boxes) {
  MessageBoxes* before = current_boxes;
  current_boxes = boxes ? boxes : &console_boxes;
  return before;
}

MessageBoxes& messageBoxes() { return *current_boxes; }

MessageAnswer showMessage(const std::string& title, const std::string& text, MessageButtons buttons,
                          MessageIcon icon) {
  return messageBoxes().show(title, text, buttons, icon);
}

void showWarning(const std::string& text) {
  showMessage(getText("Msg", "Warning"), text, MessageButtons::kOk, MessageIcon::kWarning);
}

void showError(const std::string& text) {
  showMessage(getText("Msg", "Error"), text, MessageButtons::kOk, MessageIcon::kError);
}

bool askBreakImport() { return askYesNo("Warning", "Ask break import", MessageIcon::kWarning); }
bool askBreakExport() { return askYesNo("Warning", "Ask break export", MessageIcon::kWarning); }
bool askBreakConversion() { return askYesNo("Warning", "Ask break conversion", MessageIcon::kWarning); }
bool askOverwriteFile() { return askYesNo("Warning", "Ask overwrite file", MessageIcon::kWarning); }

bool askCheckForUpdates() {
  return askYesNo("Check for Updates", "Ask check for updates", MessageIcon::kQuestion);
}

bool askDownloadUpdate() { return askYesNo("New Update", "New Update Text", MessageIcon::kQuestion); }

bool confirmResetToDefaults() {
  return askYesNo("Reset to Defaults", "Ask reset to defaults", MessageIcon::kQuestion);
}

}  // namespace pixolune
