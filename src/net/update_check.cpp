#include "net/update_check.h"

#include <cctype>
#include <cstdlib>

#include "app/maker.h"
#include "app/startup.h"
#include "net/http_client.h"
#include "resources/message_box.h"
#include "resources/string_table.h"
#include "settings/settings.h"

namespace pixolune {

std::string versionFileAddress() {
  const char* override_address = std::getenv(kVersionAddressVariable);
  if (override_address && *override_address) return override_address;
  return kVersionFileAddress;
}

int leadingNumber(const std::string& text) {
  int number = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) break;
    if (number > 100000000) break;  // Only three characters ever come here.
    number = number * 10 + (c - '0');
  }
  return number;
}

UpdateOutcome checkForUpdate(const PageOpener& open_page) {
  const std::string user_agent = makeTitle(kProgramName, kProgramVersion);
  const int latest = leadingNumber(fetchVersionText(versionFileAddress(), user_agent));
  if (latest == 0) {
    showError(getText("Msg", "Internet connection problems"));
    return UpdateOutcome::kConnectionProblem;
  }
  if (latest > kProgramVersion) {
    if (askDownloadUpdate() && open_page) open_page(kDownloadPageAddress);
    return UpdateOutcome::kUpdateOffered;
  }
  showMessage(getText("Msg", "No Update"), getText("Msg", "No Update Text"), MessageButtons::kOk,
              MessageIcon::kInformation);
  return UpdateOutcome::kNoUpdate;
}

int updateIntervalDays(int32_t update_range) {
  switch (update_range) {
    case 0: return 1;
    case 1: return 7;
    case 2: return 30;
    case 3: return 90;
    case 4: return 180;
    default: return 30;
  }
}

bool scheduledUpdateCheck(const PageOpener& open_page, int32_t now) {
  Settings& s = settings();
  if (s.update_range == 5) return false;
  const int64_t due_after = int64_t{s.update_date} + int64_t{updateIntervalDays(s.update_range)} * 86400;
  if (int64_t{now} <= due_after) return false;
  if (askCheckForUpdates()) checkForUpdate(open_page);
  s.update_date = now;
  return true;
}

bool scheduledUpdateCheck(const PageOpener& open_page) { return scheduledUpdateCheck(open_page, currentDate()); }

}  // namespace pixolune
