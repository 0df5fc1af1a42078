#include "ui/conversion_dialog.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/dcclient.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/gauge.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "run/conversion_worker.h"
#include "inputs/input_list.h"
#include "run/worker.h"
#include "platform/mutex.h"
#include "resources/message_box.h"
#include "resources/string_table.h"
#include "ui/event_loop_access.h"
#include "ui/main_window.h"
#include "ui/window_ids.h"
#include "ui/wx_convert.h"

namespace pixolune {

namespace {

constexpr std::chrono::milliseconds kPollInterval{15};
constexpr int kGadgetPath = 344;
constexpr int kGadgetBar = 345;
constexpr int kGadgetOk = 346;
constexpr int kGadgetDetail = 347;
constexpr int kGadgetStop = 348;
constexpr int kGadgetFailures = 349;
constexpr int kFallbackCharWidth = 7;
// The window's height while it runs, and with the list of failed files.
constexpr int kRunHeight = 140;
constexpr int kFailuresHeight = 120;

ConversionFinishedHook finished_hook;
ConversionDialogRecord last_record;
wxDialog* conversion_window = nullptr;

class ConversionWindow : public wxDialog {
 public:
  explicit ConversionWindow(int total)
      : wxDialog(mainWindow(), windowId(kWindowConvertProgress), toWx(getText("Dialog", "Convert Progress")),
                 wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
    SetClientSize(300, kRunHeight);
    line_ = new wxStaticText(this, controlId(kGadgetPath), wxString(), wxPoint(10, 13), wxSize(280, 20),
                             wxST_NO_AUTORESIZE);
    bar_ = new wxGauge(this, controlId(kGadgetBar), total + 1, wxPoint(10, 40), wxSize(280, 20),
                       wxGA_HORIZONTAL | wxGA_SMOOTH);
    detail_ = new wxStaticText(this, controlId(kGadgetDetail), wxString(), wxPoint(10, 67), wxSize(280, 20),
                               wxST_NO_AUTORESIZE);
    stop_ = new wxButton(this, controlId(kGadgetStop), toWx(getText("Dialog", "Stop")), wxPoint(60, kRunHeight - 35),
                         wxSize(80, 25));
    ok_ = new wxButton(this, controlId(kGadgetOk), toWx(getText("Dialog", "OK")), wxPoint(160, kRunHeight - 35),
                       wxSize(80, 25));
    ok_->Disable();
    stop_->SetDefault();
    if (GetParent()) CentreOnParent();
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
      close_requested = true;
      event.Veto();
    });
    // Bound on the window, so a press of either button reaches it by its id.
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ok_pressed = true; }, controlId(kGadgetOk));
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { stop_pressed = true; }, controlId(kGadgetStop));
  }

  /// Average character width of the dialog's font: the sample's width / 9.
  int measureCharWidth() {
    wxClientDC dc(this);
    if (!dc.IsOk()) return kFallbackCharWidth;
    dc.SetFont(GetFont());
    const int width = dc.GetTextExtent("abc123:\\-").x / 9;
    return width > 0 ? width : kFallbackCharWidth;
  }

  void showLine(const std::string& text) { line_->SetLabel(toWx(text)); }
  void showDetail(const std::string& text) {
    if (fromWx(detail_->GetLabel()) != text) detail_->SetLabel(toWx(text));
  }
  void showTitle(const std::string& text) { SetTitle(toWx(text)); }
  void showBar(int value) { bar_->SetValue(std::clamp(value, 0, bar_->GetRange())); }

  /// The run has ended: Stop gives way to OK; `failures` (one entry each)
  /// appear in a read-only box above the buttons when there are any.
  void showEnd(const std::vector<std::string>& failures) {
    stop_->Disable();
    ok_->Enable();
    ok_->SetDefault();
    ok_->SetFocus();
    if (failures.empty()) return;
    wxString text;
    for (const std::string& failure : failures) {
      if (!text.empty()) text += "\n\n";  // Long entries wrap: a blank line parts them.
      text += toWx(failure);
    }
    failures_ = new wxTextCtrl(this, controlId(kGadgetFailures), text, wxPoint(10, 92), wxSize(280, kFailuresHeight),
                               wxTE_MULTILINE | wxTE_READONLY);
    const int height = kRunHeight + kFailuresHeight + 5;
    SetClientSize(300, height);
    stop_->Move(60, height - 35);
    ok_->Move(160, height - 35);
  }

  void record(ConversionDialogRecord* r) const {
    r->title = fromWx(GetTitle());
    r->line = fromWx(line_->GetLabel());
    r->detail = fromWx(detail_->GetLabel());
    r->bar_value = bar_->GetValue();
    r->bar_range = bar_->GetRange();
    r->ok_enabled = ok_->IsEnabled();
    r->stop_enabled = stop_->IsEnabled();
  }

  bool close_requested = false;
  bool ok_pressed = false;
  bool stop_pressed = false;

 private:
  wxStaticText* line_;
  wxGauge* bar_;
  wxStaticText* detail_;
  wxButton* stop_;
  wxButton* ok_;
  wxTextCtrl* failures_ = nullptr;
};

// What the worker tells of each file, kept for the window's main thread.
class RunObserver : public ConversionObserver {
 public:
  ConversionObserver* next = nullptr;  // The observer set before the window's, told everything too.
  void fileStarted(const std::string& path) override { if (next) next->fileStarted(path); }
  void fileFinished(const std::string& path, bool converted, const std::string& reason,
                    const std::string& output_path) override {
    if (next) next->fileFinished(path, converted, reason, output_path);
    MutexLock hold(&lock_);
    ++finished_;
    if (!converted) failures_.push_back(path + ": " + reason);
  }
  int finished() const {
    MutexLock hold(&lock_);
    return finished_;
  }
  std::vector<std::string> failures() const {
    MutexLock hold(&lock_);
    return failures_;
  }

 private:
  mutable Mutex lock_;
  int finished_ GUARDED_BY(lock_) = 0;
  std::vector<std::string> failures_ GUARDED_BY(lock_);
};

std::string counterText(int done, int total) {
  return formatMessage(getText("Msg", "Progress"), std::to_string(done), std::to_string(total));
}

struct RunView {
  int total = 0;
  int char_width = kFallbackCharWidth;
  int last_shown = 0;
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

std::string convertedText(int converted, int total) {
  return formatMessage(getText("Msg", "Files converted"), std::to_string(converted), std::to_string(total));
}

// The time left at the pace of the files finished so far.
void showTimeLeft(ConversionWindow* window, const RunView& view, int finished) {
  const auto elapsed = std::chrono::steady_clock::now() - view.started;
  const int64_t elapsed_ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
  window->showDetail(timeLeftText(elapsed_ms, finished, view.total));
}

// Shows the entry being converted when it is a new one.
void showProgress(ConversionWindow* window, RunView* view) {
  const WorkerProgress::Snapshot progress = workerProgress().snapshot();
  const int done = progress.done_count;
  const std::string& path = progress.current_path;
  if (done <= view->last_shown) return;
  view->last_shown = done;
  window->showTitle(getText("Dialog", "Convert Progress") + " " + counterText(done, view->total));
  window->showLine(progressLineText(path, view->char_width));
  window->showBar(done);
}

// The outcome: "Conversion complete" only when every file was converted,
// the count of converted files in the window's text (also after a stop),
// and the files not converted with their reasons.
void showResult(ConversionWindow* window, const RunView& view, const RunObserver& observer,
                ConversionDialogRecord* record) {
  record->result_count = workerProgress().resultCount();
  record->failures = observer.failures();
  const std::string counter = counterText(view.last_shown, view.total);
  const std::string converted = convertedText(record->result_count, view.total);
  if (record->stop_asked) {
    const std::string stopped = getText("Msg", "Conversion is not complete");
    setStatusText(stopped);
    window->showLine(stopped);
    window->showDetail(converted);
    window->showTitle(stopped + " " + counter);
  } else {
    const int failed = view.total - record->result_count;
    const std::string outcome = failed == 0 ? getText("Msg", "Conversion complete")
                                            : formatMessage(getText("Msg", "Conversion failed files"),
                                                            std::to_string(failed), std::to_string(view.total));
    setStatusText(outcome);
    window->showTitle(failed == 0 ? outcome + " " + counter : outcome);
    window->showLine(converted);
    window->showDetail(record->failures.empty() ? std::string() : getText("Msg", "Not converted"));
    window->showBar(view.total + 1);
  }
  window->showEnd(record->failures);
}

// The stop question: the worker waits at its pause gate while it is asked.
void askToStop(ConversionDialogRecord* record) {
  suspendWorker();
  ++record->questions;
  const bool stop = askBreakConversion();
  resumeWorker();
  if (stop) {
    record->stop_asked = true;
    requestStop();
  }
}

}  // namespace

std::string shortenMiddle(const std::string& text, int max_chars) {
  const wxString wide = toWx(text);
  if (wide.empty() || static_cast<int>(wide.length()) <= max_chars) return text;
  const size_t half = static_cast<size_t>(std::max(0, (max_chars - 3) / 2));
  return fromWx(wide.Left(half) + "..." + wide.Right(half));
}

std::string timeLeftText(int64_t elapsed_ms, int finished, int total) {
  if (finished <= 0) return getText("Msg", "Estimating time left");
  const int remaining = std::max(0, total - finished);
  const int64_t left_ms = elapsed_ms / finished * remaining;
  const int64_t seconds = std::max<int64_t>(1, (left_ms + 999) / 1000);
  if (seconds < 60)
    return formatMessage(getText("Msg", seconds == 1 ? "Second left" : "Seconds left"), std::to_string(seconds));
  const int64_t minutes = (seconds + 59) / 60;
  return formatMessage(getText("Msg", minutes == 1 ? "Minute left" : "Minutes left"), std::to_string(minutes));
}

std::string progressLineText(const std::string& path, int char_width) {
  if (char_width <= 0) char_width = kFallbackCharWidth;
  const int length = static_cast<int>(toWx(path).length());
  if (length * char_width <= kPathLineWidth) return path;
  return shortenMiddle(path, kPathLineWidth / char_width);
}

void setConversionFinishedHook(ConversionFinishedHook hook) { finished_hook = std::move(hook); }

ConversionDialogRecord runConversionDialog(const RunOptions& run, const std::string& output_folder) {
  ConversionDialogRecord record;
  RunView view;
  view.total = static_cast<int>(inputList().count());
  LoopAccess loop;
  auto* window = new ConversionWindow(view.total);
  conversion_window = window;
  window->Show(true);
  MainWindow* main = mainWindow();
  if (main) main->Disable();
  window->SetFocus();
  view.char_width = window->measureCharWidth();
  record.char_width = view.char_width;

  RunObserver observer;
  ConversionObserver* previous_observer = conversionObserver();
  observer.next = previous_observer;
  setConversionObserver(&observer);
  workerProgress().setResultCount(0);
  beginWorkerRun();
  view.started = std::chrono::steady_clock::now();
  showTimeLeft(window, view, 0);
  std::atomic<bool> worker_done{false};
  std::thread worker([&worker_done, &run, &output_folder] {
    conversionWorker(run, output_folder);
    worker_done = true;
    wxWakeUpIdle();
  });
  while (!worker_done) {
    loop.dispatch(kPollInterval);
    if (window->close_requested || window->stop_pressed) {
      window->close_requested = false;
      window->stop_pressed = false;
      if (!worker_done && !record.stop_asked) askToStop(&record);
    }
    window->ok_pressed = false;  // OK is disabled while the run lasts.
    showProgress(window, &view);
    if (!record.stop_asked) showTimeLeft(window, view, observer.finished());
    else window->showDetail(getText("Msg", "Stopping conversion"));
  }
  worker.join();
  setConversionObserver(previous_observer);
  showProgress(window, &view);  // The last entry the worker reached.
  showResult(window, view, observer, &record);
  if (finished_hook) {
    window->record(&record);
    finished_hook(window, record);
  }
  while (!window->close_requested && !window->ok_pressed) loop.dispatch(kPollInterval);

  window->record(&record);
  last_record = record;
  if (main) main->Enable();
  conversion_window = nullptr;
  window->Destroy();
  if (main) main->SetFocus();
  return record;
}

wxDialog* conversionWindow() { return conversion_window; }

const ConversionDialogRecord& lastConversionRecord() { return last_record; }

}  // namespace pixolune
