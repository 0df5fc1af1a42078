// Message boxes: the modal questions and notices of the window mode, shown
// through one small replaceable interface so that the window mode supplies
// real dialogs and tests supply scripted answers.
#ifndef PIXOLUNE_RESOURCES_MESSAGE_BOX_H_
#define PIXOLUNE_RESOURCES_MESSAGE_BOX_H_

#include <string>

namespace pixolune {

enum class MessageButtons { kOk, kYesNo };
enum class MessageIcon { kInformation, kWarning, kError, kQuestion };
enum class MessageAnswer { kOk, kYes, kNo, kCancel };

/// Shows one modal box over the program's active window and returns the
/// button pressed. Abstract so that the window mode, the console and tests
/// each supply their own. Called from the main thread only.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual MessageAnswer show(const std::string& title, const std::string& text, MessageButtons buttons,
                             MessageIcon icon) = 0;
};

/// Installs the implementation every operation below uses; nullptr restores
/// the default one, which prints "title: text" to standard error and answers
/// No (an OK box answers OK). Returns the implementation installed before.
/// REQUIRES: `boxes` outlives its installation.
MessageBoxes* setMessageBoxes(MessageBoxes* boxes);

/// The implementation in use (never null).
MessageBoxes& messageBoxes();

/// A box with any title, text, buttons and icon (for instance the information
/// box of the update check). Returns the answer.
MessageAnswer showMessage(const std::string& title, const std::string& text, MessageButtons buttons,
                          MessageIcon icon);

/// OK box with the warning icon, titled by ("Msg", "Warning").
void showWarning(const std::string& text);

/// OK box with the error icon, titled by ("Msg", "Error").
void showError(const std::string& text);

/// Yes/No questions with the warning icon, titled by ("Msg", "Warning");
/// true for Yes.
bool askBreakImport();
bool askBreakExport();
bool askBreakConversion();
bool askOverwriteFile();

/// Yes/No questions with the question icon; true for Yes.
bool askCheckForUpdates();      // Title ("Msg", "Check for Updates").
bool askDownloadUpdate();       // Title ("Msg", "New Update").
bool confirmResetToDefaults();  // Title ("Msg", "Reset to Defaults").

}  // namespace pixolune

#endif  // PIXOLUNE_RESOURCES_MESSAGE_BOX_H_
