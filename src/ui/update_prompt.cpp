#include "ui/update_prompt.h"

#include "resources/message_box.h"
#include "resources/product.h"
#include "resources/string_table.h"
#include "settings/settings.h"

namespace pixolune {

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

UpdateOutcome checkForUpdate(const PageOpener& open_page) {
  const UpdateOutcome outcome = fetchUpdateOutcome();
  tellUpdateOutcome(outcome, open_page);
  return outcome;
}

bool scheduledUpdateCheck(const PageOpener& open_page, int32_t now) {
  Settings& s = settings();
  if (!updateCheckDue(s, now)) return false;
  if (askCheckForUpdates()) checkForUpdate(open_page);
  s.update_date = now;
  return true;
}

bool scheduledUpdateCheck(const PageOpener& open_page) { return scheduledUpdateCheck(open_page, currentDate()); }

}  // namespace pixolune
