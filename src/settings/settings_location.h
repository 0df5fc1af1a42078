// Where the window mode keeps its settings file, and the move from the
// place earlier versions used.
#ifndef PIXOLUNE_SETTINGS_SETTINGS_LOCATION_H_
#define PIXOLUNE_SETTINGS_SETTINGS_LOCATION_H_

#include <string>

namespace pixolune {

/// The settings file below the per-user configuration folder
/// ($XDG_CONFIG_HOME, else ~/.config): "pixolune/config.ini".
inline constexpr char kSettingsFileName[] = "pixolune/config.ini";
/// Where earlier versions kept it, below the same folder.
inline constexpr char kOldSettingsFileName[] = "Quorvant/vemarkt/config.ini";

/// The settings file of the window mode, its folder made (mode 0700) when
/// missing. When it does not exist but a file at the old place does, that
/// file is copied to the new place first (the old one stays; it is not
/// read again once the new one exists). When the copy fails the old path is
/// returned, so no settings are lost. Empty when the configuration folder
/// cannot be named (no XDG_CONFIG_HOME and no home folder).
std::string settingsFileLocation();

}  // namespace pixolune

#endif  // PIXOLUNE_SETTINGS_SETTINGS_LOCATION_H_
