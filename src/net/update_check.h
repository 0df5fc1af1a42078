// The check for a newer published version: the check itself with its three
// outcomes, and the schedule that decides at start-up whether one is due.
#ifndef PIXOLUNE_NET_UPDATE_CHECK_H_
#define PIXOLUNE_NET_UPDATE_CHECK_H_

#include <cstdint>
#include <functional>
#include <string>

namespace pixolune {

/// Environment variable that, when set and not empty, replaces the address
/// of the version file (tests point it at a server of their own).
constexpr char kVersionAddressVariable[] = "PIXOLUNE_VERSION_URL";

/// The address of the version file: the environment override when present,
/// else kVersionFileAddress. Read at each call.
std::string versionFileAddress();

/// Opens a web page for the user (the window mode passes its shell opener).
using PageOpener = std::function<void(const std::string& address)>;

enum class UpdateOutcome {
  kConnectionProblem,  // Nothing numeric came back; "Internet connection problems!" was shown.
  kUpdateOffered,      // A newer version exists; the user was asked to download it.
  kNoUpdate,           // This is the newest version; "No Update" was shown.
};

/// The leading decimal digits of `text` as a number; 0 when there are none.
int leadingNumber(const std::string& text);

/// Reads the newest version number from the version file and tells the user
/// the outcome through the message boxes. When a newer version exists and the
/// user answers Yes, `open_page` receives the download page address.
/// Blocks the calling (user-interface) thread for up to the fetch time limit.
UpdateOutcome checkForUpdate(const PageOpener& open_page);

/// Days between automatic checks for an update_range code: 0 1, 1 7,
/// 2 30, 3 90, 4 180, any other code 30.
int updateIntervalDays(int32_t update_range);

/// The start-up check: unless update_range is 5 (never), when `now` is
/// strictly later than update_date plus the interval, asks whether to check,
/// runs checkForUpdate on Yes, and sets update_date to `now` on Yes and on No
/// (it is saved with the other settings). Returns true when the question was
/// asked.
bool scheduledUpdateCheck(const PageOpener& open_page, int32_t now);

/// The same at the current date.
bool scheduledUpdateCheck(const PageOpener& open_page);

}  // namespace pixolune

#endif  // PIXOLUNE_NET_UPDATE_CHECK_H_
