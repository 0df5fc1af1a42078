#include "ui/progress_dialog.h"

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/gauge.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "run/worker.h"
#include "resources/string_table.h"
#include "ui/input_list_view.h"
#include "ui/event_loop_access.h"
#include "ui/main_window.h"
#include "ui/window_ids.h"
#include "ui/wx_convert.h"

namespace pixolune {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollInterval = std::chrono::milliseconds(15);
constexpr auto kFinalHold = std::chrono::milliseconds(700);

ProgressRecord last_record;
wxDialog* progress_window = nullptr;

struct RunState {
  wxGauge* bar = nullptr;
  bool close_requested = false;
  std::atomic<bool> worker_done{false};
};

wxDialog* openWindow(const ProgressOperation& op, RunState* state) {
  MainWindow* main = mainWindow();
  auto* window = new wxDialog(main, windowId(op.window_number), toWx(getText("Dialog", op.title_key)),
                              wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX);
  window->SetClientSize(300, 40);
  state->bar = new wxGauge(window, controlId(op.bar_number), 1, wxPoint(10, 10), wxSize(280, 20),
                           wxGA_HORIZONTAL | wxGA_SMOOTH);
  window->CentreOnParent();
  window->Bind(wxEVT_CLOSE_WINDOW, [state](wxCloseEvent& event) {
    state->close_requested = true;
    event.Veto();
  });
  return window;
}

// Ends the wait, the stop question and the bar updates while the worker runs.
void pollWorker(const ProgressOperation& op, RunState* state, LoopAccess* loop, ProgressRecord* record) {
  int last_shown = 0;
  auto next_poll = Clock::now() + kPollInterval;
  for (;;) {
    const bool dispatched = loop->dispatch(kPollInterval);
    if (state->close_requested) {
      state->close_requested = false;
      if (state->worker_done) return;
      suspendWorker();
      ++record->questions;
      record->stop_asked = op.ask ? op.ask() : false;
      resumeWorker();
      if (record->stop_asked) requestStop();
      continue;
    }
    // A steady stream of events must not starve the bar: poll at least every 15 ms.
    if (dispatched && Clock::now() < next_poll) continue;
    next_poll = Clock::now() + kPollInterval;
    drainAddedFiles();
    if (state->worker_done) return;
    const int done = workerProgress().doneCount();
    if (done > last_shown) {
      last_shown = done;
      state->bar->SetValue(std::min(done, state->bar->GetRange()));
    }
  }
}

void finishRun(const ProgressOperation& op, RunState* state, ProgressRecord* record) {
  drainAddedFiles();
  record->result_count = workerProgress().resultCount();
  if (record->stop_asked) {
    setStatusText(getText("Msg", op.stopped_key));
  } else {
    setStatusText(formatMessage(getText("Msg", op.complete_key), std::to_string(record->result_count)));
    state->bar->SetValue(op.maximum > 0 ? state->bar->GetRange() : 0);
  }
  record->last_value = state->bar->GetValue();
}

}  // namespace

void pumpWindowEvents() {
  wxEventLoopBase* loop = wxEventLoopBase::GetActive();
  if (loop) loop->YieldFor(wxEVT_CATEGORY_UI);
}

ProgressRecord runWithProgress(const ProgressOperation& op) {
  ProgressRecord record;
  record.maximum = op.maximum;
  RunState state;
  LoopAccess loop;
  wxDialog* window = openWindow(op, &state);
  progress_window = window;
  window->Show(true);
  if (mainWindow()) mainWindow()->Disable();
  window->SetFocus();
  // A maximum of 0 would leave the bar without a range; it shows empty.
  state.bar->SetRange(std::max(1, op.maximum));
  if (op.maximum <= 0) state.bar->SetValue(0);

  beginWorkerRun();
  std::thread worker([&op, &state] {
    op.worker();
    state.worker_done = true;
    wxWakeUpIdle();
  });
  pollWorker(op, &state, &loop, &record);
  worker.join();
  finishRun(op, &state, &record);

  // The final bar stays visible for a moment; closing the window now does nothing.
  const auto hold_until = Clock::now() + kFinalHold;
  while (Clock::now() < hold_until) {
    loop.dispatch(std::chrono::duration_cast<std::chrono::milliseconds>(hold_until - Clock::now()));
    state.close_requested = false;
  }
  if (mainWindow()) mainWindow()->Enable();
  progress_window = nullptr;
  window->Destroy();
  if (mainWindow()) mainWindow()->SetFocus();
  last_record = record;
  return record;
}

const ProgressRecord& lastProgressRecord() { return last_record; }

wxDialog* progressWindow() { return progress_window; }

}  // namespace pixolune
