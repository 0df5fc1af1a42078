// Output formats: the FormatTable and the FreeImage load and save flags of
// every format key. The offered format lists belong to the settings
// (settings/format_lists.h, included here for the table's users).
#ifndef PIXOLUNE_IMAGE_FORMAT_TABLE_H_
#define PIXOLUNE_IMAGE_FORMAT_TABLE_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "settings/format_lists.h"
#include "settings/settings.h"

namespace pixolune {

struct FormatInfo {
  int format_id = -1;        // FreeImage format identifier.
  std::string extension;     // The key again.
  std::string description;
  std::string depths;        // Accepted bit depths, ascending, "," separated.
};

/// Keyed by the lower-case format key ("png", "tiff", ...).
using FormatTable = std::map<std::string, FormatInfo>;

FormatTable& formatTable();

/// Empties and refills the FormatTable with its 20 rows.
void buildFormatTable();

/// FreeImage load flags for an input format key; "psd" maps the settings'
/// psd_color_model (0 RGB, 1 CMYK, 2 Lab); every other key gives 0.
int loadFlagsFor(const std::string& format_key, const Settings& settings);

/// FreeImage save flags for an output format key, from the format's settings.
/// Keys are compared exactly (lower case); unknown keys give 0.
int saveFlagsFor(const std::string& format_key, const Settings& settings);

/// The per-format bit-depth setting of a format key in `settings` (0 =
/// automatic); 0 for an unknown key.
int bitDepthSettingFor(const std::string& format_key, const Settings& settings);

/// Every format key that has a bit-depth setting, with its Settings field,
/// in alphabetical order of the keys.
using DepthField = int32_t Settings::*;
const std::vector<std::pair<std::string, DepthField>>& bitDepthFields();

}  // namespace pixolune

#endif  // PIXOLUNE_IMAGE_FORMAT_TABLE_H_
