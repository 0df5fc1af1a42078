// The update check as the user meets it: the question before a scheduled
// check and the message that tells the outcome.
#ifndef PIXOLUNE_UI_UPDATE_PROMPT_H_
#define PIXOLUNE_UI_UPDATE_PROMPT_H_

#include <cstdint>
#include <functional>
#include <string>

#include "net/update_check.h"

class wxWindow;

namespace pixolune {

/// Opens a web page for the user (the window mode passes its shell opener).
using PageOpener = std::function<void(const std::string& address)>;

/// Tells the user `outcome` through the message boxes: an error box
/// "Internet connection problems!"; for a newer version the download
/// question, and on Yes `open_page` receives the download page address; else
/// the information box "No Update".
void tellUpdateOutcome(UpdateOutcome outcome, const PageOpener& open_page);

/// Receives the outcome of a check that ran off the main thread.
using UpdateOutcomeHandler = std::function<void(UpdateOutcome outcome)>;

/// Starts fetchUpdateOutcome for versionFileAddress() on a thread of its own
/// and returns at once: the window never waits for the network. `done` is
/// called later on the main thread with the outcome, queued on `owner` (its
/// CallAfter), and only while `owner` exists: when it is destroyed first
/// (the window closed), the outcome is dropped and nothing is shown. The
/// thread touches nothing but what it shares with this call, so it may
/// outlive the window. Returns false, calling nothing, when `owner` is null
/// or a check is already running (that one still reports).
/// REQUIRES: main thread, the toolkit running.
bool startUpdateCheck(wxWindow* owner, UpdateOutcomeHandler done);

/// True from a successful startUpdateCheck until its fetch has ended (the
/// outcome may still be on its way to the main thread). Any thread.
bool updateCheckRunning();

/// The check the user meets: startUpdateCheck, then, on the main thread,
/// tellUpdateOutcome and `done` (when given). Returns what startUpdateCheck
/// returned. REQUIRES: main thread.
bool checkForUpdate(wxWindow* owner, const PageOpener& open_page, UpdateOutcomeHandler done = {});

/// The start-up check: when updateCheckDue at `now`, asks whether to check,
/// starts checkForUpdate on Yes (without waiting for it), and sets
/// update_date to `now` on Yes and on No (it is saved with the other
/// settings). Returns true when the question was asked. REQUIRES: main thread.
bool scheduledUpdateCheck(wxWindow* owner, const PageOpener& open_page, int32_t now,
                          UpdateOutcomeHandler done = {});

/// The same at the current date.
bool scheduledUpdateCheck(wxWindow* owner, const PageOpener& open_page);

}  // namespace pixolune

#endif  // PIXOLUNE_UI_UPDATE_PROMPT_H_
