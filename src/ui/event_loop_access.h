// Polling the toolkit's events while a worker runs.
#ifndef PIXOLUNE_UI_EVENT_LOOP_ACCESS_H_
#define PIXOLUNE_UI_EVENT_LOOP_ACCESS_H_

#include <wx/app.h>
#include <wx/evtloop.h>

#include <chrono>
#include <memory>

namespace pixolune {

/// The running event loop, or one of our own when none runs (tests drive
/// the windows without the program's main loop). Main thread only.
class LoopAccess {
 public:
  LoopAccess() {
    loop_ = wxEventLoopBase::GetActive();
    if (!loop_) {
      own_ = std::make_unique<wxGUIEventLoop>();
      activator_ = std::make_unique<wxEventLoopActivator>(own_.get());
      loop_ = own_.get();
    }
  }
  /// Dispatches pending events and waits at most `wait` for one more;
  /// false on time-out.
  bool dispatch(std::chrono::milliseconds wait) {
    if (wxTheApp) wxTheApp->ProcessPendingEvents();
    return loop_->DispatchTimeout(static_cast<unsigned long>(wait.count())) > 0;
  }

 private:
  std::unique_ptr<wxGUIEventLoop> own_;
  std::unique_ptr<wxEventLoopActivator> activator_;
  wxEventLoopBase* loop_ = nullptr;
};

}  // namespace pixolune

#endif  // PIXOLUNE_UI_EVENT_LOOP_ACCESS_H_
