// The real message boxes of the window mode: toolkit dialogs behind the
// MessageBoxes interface (resources/message_box.h).
#ifndef PIXOLUNE_UI_MESSAGE_DIALOGS_H_
#define PIXOLUNE_UI_MESSAGE_DIALOGS_H_

#include "resources/message_box.h"

namespace pixolune {

/// Shows each box as a modal dialog over the active window of the program
/// (the main window when none is active). Main thread only.
class DialogMessageBoxes : public MessageBoxes {
 public:
  MessageAnswer show(const std::string& title, const std::string& text, MessageButtons buttons,
                     MessageIcon icon) override;
};

}  // namespace pixolune

#endif  // PIXOLUNE_UI_MESSAGE_DIALOGS_H_
