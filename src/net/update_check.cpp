#include "net/update_check.h"

#include <cctype>
#include <cstdlib>

#include "net/http_client.h"
#include "resources/product.h"

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

UpdateOutcome outcomeOfVersionText(const std::string& text) {
  const int latest = leadingNumber(text);
  if (latest == 0) return UpdateOutcome::kConnectionProblem;
  return latest > kProgramVersion ? UpdateOutcome::kUpdateAvailable : UpdateOutcome::kNoUpdate;
}

UpdateOutcome fetchUpdateOutcome(const std::string& address, const std::string& user_agent) {
  return outcomeOfVersionText(fetchVersionText(address, user_agent));
}

UpdateOutcome fetchUpdateOutcome() { return fetchUpdateOutcome(versionFileAddress(), productTitle()); }

int updateIntervalDays(int32_t update_range) {
  switch (update_range) {
    case kUpdateDaily: return 1;
    case kUpdateWeekly: return 7;
    case kUpdateMonthly: return 30;
    case kUpdateQuarterly: return 90;
    case kUpdateHalfYearly: return 180;
    default: return 30;
  }
}

bool updateCheckDue(const Settings& s, int32_t now) {
  if (s.update_range == kUpdateNever) return false;
  const int64_t due_after = int64_t{s.update_date} + int64_t{updateIntervalDays(s.update_range)} * 86400;
  return int64_t{now} > due_after;
}

}  // namespace pixolune
