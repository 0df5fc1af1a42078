// The product's identity: its name, version, title, program file name, the
// maker's notice and every outside address the program uses. A leaf: it
// includes nothing of ours, so every subsystem may use it.
#ifndef PIXOLUNE_RESOURCES_PRODUCT_H_
#define PIXOLUNE_RESOURCES_PRODUCT_H_

#include <string>

namespace pixolune {

/// The version as a number: 280 is "2.8", 281 "2.8.1".
constexpr int kProgramVersion = 280;
constexpr char kProgramName[] = "Pixolune";
/// The name of the executable (the usage text shows it when argv[0] is missing).
constexpr char kProgramFileName[] = "pixolune";

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

/// 280 gives "2.8", 281 "2.8.1", 300 "3.0".
std::string formatVersion(int n);

/// name + " " + formatVersion(version).
std::string makeTitle(const std::string& name, int version);

/// This product's title, "Pixolune 2.8": the window caption, the user agent
/// of the update check and the subject of the feedback mail.
std::string productTitle();

}  // namespace pixolune

#endif  // PIXOLUNE_RESOURCES_PRODUCT_H_
