// The maker's notice and every outside address the program uses, in one place.
#ifndef PIXOLUNE_APP_MAKER_H_
#define PIXOLUNE_APP_MAKER_H_

namespace pixolune {

constexpr char kMakerNotice[] = "Copyright \u00A9 2026 Quorvant. All rights reserved.";
constexpr char kMakerWebAddress[] = "www.quorvant.example";
constexpr char kHomePageAddress[] = "https://www.quorvant.example/pixolune/";
constexpr char kSupportMailAddress[] = "support@quorvant.example";
constexpr char kUninstallFeedbackAddress[] = "https://www.quorvant.example/pixolune/uninstall/";
/// Where the update check reads the newest version; tests override it.
constexpr char kVersionFileAddress[] = "http://www.quorvant.example/pixolune/version.txt";

}  // namespace pixolune

#endif  // PIXOLUNE_APP_MAKER_H_
