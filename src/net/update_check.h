// The check for a newer published version: the check itself with its three
// outcomes, and the schedule that decides at start-up whether one is due.
// Nothing here talks to the user; the window mode tells the outcome
// (ui/update_prompt.h).
#ifndef PIXOLUNE_NET_UPDATE_CHECK_H_
#define PIXOLUNE_NET_UPDATE_CHECK_H_

#include <cstdint>
#include <string>

#include "settings/settings.h"

namespace pixolune {

/// Environment variable that, when set and not empty, replaces the address
/// of the version file (tests point it at a server of their own).
constexpr char kVersionAddressVariable[] = "PIXOLUNE_VERSION_URL";

/// The address of the version file: the environment override when present,
/// else kVersionFileAddress. Read at each call.
std::string versionFileAddress();

enum class UpdateOutcome {
  kConnectionProblem,  // No version came back (no server, no answer in time,
                       // not a 2xx answer, a body that is no version, version 0).
  kUpdateAvailable,    // The version file names a newer version than this one.
  kNoUpdate,           // This is the newest version.
};

/// The leading decimal digits of `text` as a number; 0 when there are none.
int leadingNumber(const std::string& text);

/// The outcome of a version text (what fetchVersionText returned): its
/// leadingNumber compared with this version; 0 is a connection problem.
UpdateOutcome outcomeOfVersionText(const std::string& text);

/// Reads the newest version number from the version file at `address`,
/// sending `user_agent`, and compares it with this version. Shows nothing
/// and touches no process-wide state, so any thread may run it. Blocks the
/// calling thread for up to the fetch time limit (kFetchTimeLimitMs).
UpdateOutcome fetchUpdateOutcome(const std::string& address, const std::string& user_agent);

/// The same for versionFileAddress(), sending the product title. Shows
/// nothing: checkForUpdate (ui/update_prompt.h) tells the user.
UpdateOutcome fetchUpdateOutcome();

/// Days between automatic checks for an update_range code: 0 1, 1 7,
/// 2 30, 3 90, 4 180, any other code 30.
int updateIntervalDays(int32_t update_range);

/// True when the start-up check is due at `now`: update_range is not
/// kUpdateNever and `now` is strictly later than update_date plus the
/// interval (computed without wrapping near the end of 32-bit time).
bool updateCheckDue(const Settings& s, int32_t now);

}  // namespace pixolune

#endif  // PIXOLUNE_NET_UPDATE_CHECK_H_
