// The progress protocol of the long list operations: a small window with a
// bar, a worker thread polled every 15 ms, a stop question on the close box,
// and the result on the main window's status bar.
#ifndef PIXOLUNE_UI_PROGRESS_DIALOG_H_
#define PIXOLUNE_UI_PROGRESS_DIALOG_H_

#include <functional>
#include <string>

class wxDialog;

namespace pixolune {

struct ProgressOperation {
  int window_number = 0;        // Window number of the progress window.
  int bar_number = 0;           // Gadget number of its bar.
  const char* title_key = "";   // Title, group "Dialog".
  int maximum = 0;              // The bar's maximum.
  std::function<void()> worker; // Runs on its own thread.
  std::function<bool()> ask;    // The stop question; true to stop.
  const char* complete_key = "";  // Status text (group "Msg") with "%s1%" = result_count.
  const char* stopped_key = "";   // Status text (group "Msg") after a stop.
};

/// What the last run did, for whoever wants to know (tests, logs).
struct ProgressRecord {
  int maximum = 0;       // The bar's maximum.
  int last_value = 0;    // The bar's value when the window closed.
  bool stop_asked = false;
  int result_count = 0;
  int questions = 0;     // How often the stop question was asked.
};

/// Runs `operation` under the progress window; returns when the window has
/// closed (700 ms after the worker ended). The main window is disabled
/// meanwhile. REQUIRES: main thread, no other worker running, result_count
/// already set by the caller.
ProgressRecord runWithProgress(const ProgressOperation& operation);

/// The record of the last completed run.
const ProgressRecord& lastProgressRecord();

/// The progress window while a run is on screen, else null. Closing it asks
/// the stop question.
wxDialog* progressWindow();

/// Handles the window events already pending, painting and sizing only (user
/// input waits for the event loop). Keeps the window painted during long
/// loops on the main thread.
void pumpWindowEvents();

}  // namespace pixolune

#endif  // PIXOLUNE_UI_PROGRESS_DIALOG_H_
