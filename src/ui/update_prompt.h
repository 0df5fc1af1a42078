// The update check as the user meets it: the question before a scheduled
// check and the message that tells the outcome.
#ifndef PIXOLUNE_UI_UPDATE_PROMPT_H_
#define PIXOLUNE_UI_UPDATE_PROMPT_H_

#include <cstdint>
#include <functional>
#include <string>

#include "net/update_check.h"

namespace pixolune {

/// Opens a web page for the user (the window mode passes its shell opener).
using PageOpener = std::function<void(const std::string& address)>;

/// Tells the user `outcome` through the message boxes: an error box
/// "Internet connection problems!"; for a newer version the download
/// question, and on Yes `open_page` receives the download page address; else
/// the information box "No Update".
void tellUpdateOutcome(UpdateOutcome outcome, const PageOpener& open_page);

/// fetchUpdateOutcome, then tellUpdateOutcome. Returns the outcome. Blocks
/// the user-interface thread for up to the fetch time limit.
UpdateOutcome checkForUpdate(const PageOpener& open_page);

/// The start-up check: when updateCheckDue at `now`, asks whether to check,
/// runs checkForUpdate on Yes, and sets update_date to `now` on Yes and on
/// No (it is saved with the other settings). Returns true when the question
/// was asked.
bool scheduledUpdateCheck(const PageOpener& open_page, int32_t now);

/// The same at the current date.
bool scheduledUpdateCheck(const PageOpener& open_page);

}  // namespace pixolune

#endif  // PIXOLUNE_UI_UPDATE_PROMPT_H_
