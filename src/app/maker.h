// The maker's notice and every outside address the program uses, in one place.
#ifndef PIXOLUNE_APP_MAKER_H_
#define PIXOLUNE_APP_MAKER_H_

namespace pixolune {

constexpr char kMakerNotice[] = "Copyright \u00A9 2026 Quorvant. All rights reserved.";
constexpr char kMakerWebAddress[] = "www.quorvant.example";
constexpr char kHomePageAddress[] = "https://www.quorvant.example/pixolune/";
/// The maker's web site, ending with "/" (the converter search pages live below it).
constexpr char kWebSiteAddress[] = "https://www.quorvant.example/";
/// Where a newer version can be downloaded.
constexpr char kDownloadPageAddress[] = "https://www.quorvant.example/pixolune/download/";
constexpr char kSupportMailAddress[] = "support@quorvant.example";
constexpr char kUninstallFeedbackAddress[] = "https://www.quorvant.example/pixolune/uninstall/";
/// Where the update check reads the newest version; the environment variable
/// PIXOLUNE_VERSION_URL replaces it (tests point it at a server of their own).
constexpr char kVersionFileAddress[] = "http://www.quorvant.example/files/vemarkt.dat";

}  // namespace pixolune

#endif  // PIXOLUNE_APP_MAKER_H_
