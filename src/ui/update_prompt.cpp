#include "ui/update_prompt.h"

#include <wx/event.h>
#include <wx/window.h>

#include <atomic>
#include <memory>
#include <system_error>
#include <thread>

#include "platform/mutex.h"
#include "resources/message_box.h"
#include "resources/product.h"
#include "resources/string_table.h"
#include "settings/settings.h"

namespace pixolune {

namespace {

std::atomic<bool> check_running{false};

/// Where a check's outcome goes, shared by its thread and the main thread.
/// The owner's destruction clears `target` under the lock, so the thread
/// queues on a window that exists or on nothing.
struct Delivery {
  Mutex mutex;
  wxEvtHandler* target GUARDED_BY(mutex) = nullptr;
};

/// Queues `done(outcome)` on the delivery's target, if it still has one.
/// Any thread (queueing an event is the toolkit's thread-safe call).
void deliver(Delivery& delivery, UpdateOutcomeHandler done, UpdateOutcome outcome) {
  MutexLock hold(&delivery.mutex);
  if (delivery.target) delivery.target->CallAfter([done = std::move(done), outcome] { done(outcome); });
}

}  // namespace

void tellUpdateOutcome(UpdateOutcome outcome, const PageOpener& open_page) {
  switch (outcome) {
    case UpdateOutcome::kConnectionProblem:
      showError(getText("Msg", "Internet connection problems"));
      return;
    case UpdateOutcome::kUpdateAvailable:
      if (askDownloadUpdate() && open_page) open_page(kDownloadPageAddress);
      return;
    case UpdateOutcome::kNoUpdate:
      showMessage(getText("Msg", "No Update"), getText("Msg", "No Update Text"), MessageButtons::kOk,
                  MessageIcon::kInformation);
      return;
  }
}

bool startUpdateCheck(wxWindow* owner, UpdateOutcomeHandler done) {
  if (!owner || check_running.exchange(true)) return false;
  auto delivery = std::make_shared<Delivery>();
  {
    MutexLock hold(&delivery->mutex);
    delivery->target = owner;
  }
  owner->Bind(wxEVT_DESTROY, [delivery, owner](wxWindowDestroyEvent& event) {
    if (event.GetEventObject() == owner) {
      MutexLock hold(&delivery->mutex);
      delivery->target = nullptr;
    }
    event.Skip();
  });
  // Read here, on the main thread: the thread must not touch process-wide state.
  std::string address = versionFileAddress();
  std::string user_agent = productTitle();
  try {
    std::thread([delivery, done, address = std::move(address), user_agent = std::move(user_agent)]() mutable {
      const UpdateOutcome outcome = fetchUpdateOutcome(address, user_agent);
      check_running = false;
      deliver(*delivery, std::move(done), outcome);
    }).detach();
  } catch (const std::system_error&) {
    // No thread to fetch with: as if the network could not be reached.
    check_running = false;
    deliver(*delivery, std::move(done), UpdateOutcome::kConnectionProblem);
  }
  return true;
}

bool updateCheckRunning() { return check_running; }

bool checkForUpdate(wxWindow* owner, const PageOpener& open_page, UpdateOutcomeHandler done) {
  return startUpdateCheck(owner, [open_page, done = std::move(done)](UpdateOutcome outcome) {
    tellUpdateOutcome(outcome, open_page);
    if (done) done(outcome);
  });
}

bool scheduledUpdateCheck(wxWindow* owner, const PageOpener& open_page, int32_t now, UpdateOutcomeHandler done) {
  Settings& s = settings();
  if (!updateCheckDue(s, now)) return false;
  if (askCheckForUpdates()) checkForUpdate(owner, open_page, std::move(done));
  s.update_date = now;
  return true;
}

bool scheduledUpdateCheck(wxWindow* owner, const PageOpener& open_page) {
  return scheduledUpdateCheck(owner, open_page, currentDate());
}

}  // namespace pixolune
