#include "ui/conversion_dialog.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/dcclient.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/gauge.h>
#include <wx/stattext.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "engine/conversion_worker.h"
#include "engine/input_list.h"
#include "engine/worker.h"
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
constexpr int kFallbackCharWidth = 7;

ConversionFinishedHook finished_hook;
ConversionDialogRecord last_record;
wxDialog* conversion_window = nullptr;

class ConversionWindow : public wxDialog {
 public:
  explicit ConversionWindow(int total)
      : wxDialog(mainWindow(), windowId(kWindowConvertProgress), toWx(getText("Dialog", "Convert Progress")),
                 wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
    SetClientSize(300, 110);
    line_ = new wxStaticText(this, controlId(kGadgetPath), wxString(), wxPoint(10, 13), wxSize(280, 20),
                             wxST_NO_AUTORESIZE);
    bar_ = new wxGauge(this, controlId(kGadgetBar), total + 1, wxPoint(10, 40), wxSize(280, 20),
                       wxGA_HORIZONTAL | wxGA_SMOOTH);
    ok_ = new wxButton(this, controlId(kGadgetOk), toWx(getText("Dialog", "OK")), wxPoint(110, 75), wxSize(80, 25));
    ok_->SetDefault();
    ok_->Disable();
    if (GetParent()) CentreOnParent();
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
      close_requested = true;
      event.Veto();
    });
    ok_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ok_pressed = true; });
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
  void showTitle(const std::string& text) { SetTitle(toWx(text)); }
  void showBar(int value) { bar_->SetValue(std::clamp(value, 0, bar_->GetRange())); }
  void enableOk() { ok_->Enable(); }

  void record(ConversionDialogRecord* r) const {
    r->title = fromWx(GetTitle());
    r->line = fromWx(line_->GetLabel());
    r->bar_value = bar_->GetValue();
    r->bar_range = bar_->GetRange();
    r->ok_enabled = ok_->IsEnabled();
  }

  bool close_requested = false;
  bool ok_pressed = false;

 private:
  wxStaticText* line_;
  wxGauge* bar_;
  wxButton* ok_;
};

std::string counterText(int done, int total) {
  return formatMessage(getText("Msg", "Progress"), std::to_string(done), std::to_string(total));
}

struct RunView {
  int total = 0;
  int char_width = kFallbackCharWidth;
  int last_shown = 0;
};

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

void showResult(ConversionWindow* window, const RunView& view, ConversionDialogRecord* record) {
  record->result_count = workerProgress().resultCount();
  const std::string counter = counterText(view.last_shown, view.total);
  if (record->stop_asked) {
    const std::string stopped = getText("Msg", "Conversion is not complete");
    setStatusText(stopped);
    window->showLine(stopped);
    window->showTitle(stopped + " " + counter);
  } else {
    const std::string complete = getText("Msg", "Conversion complete");
    setStatusText(complete);
    window->showTitle(complete + " " + counter);
    window->showLine(formatMessage(getText("Msg", "Files converted"), std::to_string(record->result_count),
                                   std::to_string(view.total)));
    window->showBar(view.total + 1);
  }
  window->enableOk();
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

std::string progressLineText(const std::string& path, int char_width) {
  if (char_width <= 0) char_width = kFallbackCharWidth;
  const int length = static_cast<int>(toWx(path).length());
  if (length * char_width <= kPathLineWidth) return path;
  return shortenMiddle(path, kPathLineWidth / char_width);
}

void setConversionFinishedHook(ConversionFinishedHook hook) { finished_hook = std::move(hook); }

ConversionDialogRecord runConversionDialog() {
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

  workerProgress().setResultCount(0);
  beginWorkerRun();
  std::atomic<bool> worker_done{false};
  std::thread worker([&worker_done] {
    conversionWorker();
    worker_done = true;
    wxWakeUpIdle();
  });
  while (!worker_done) {
    loop.dispatch(kPollInterval);
    if (window->close_requested) {
      window->close_requested = false;
      if (!worker_done) askToStop(&record);
    }
    window->ok_pressed = false;  // OK is disabled while the run lasts.
    showProgress(window, &view);
  }
  worker.join();
  showProgress(window, &view);  // The last entry the worker reached.
  showResult(window, view, &record);
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
