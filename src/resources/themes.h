// The picture sets of the user interface, the pictures compiled into the
// program, and the theme archives that can replace them.
//
// A theme is a ZIP archive "<name>.zip" in the "gfx/" folder beside the
// program. Its "theme.cfg" (ANSI text, CR LF line ends) names a display name
// (group "Theme", key "Name") and, in groups "Buttons" and "Icons", the PNG
// entry for each picture name. All of this runs on the main thread.
#ifndef PIXOLUNE_RESOURCES_THEMES_H_
#define PIXOLUNE_RESOURCES_THEMES_H_

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "resources/png_decode.h"

namespace pixolune {

/// One named picture of a set.
struct NamedImage {
  std::string name;
  Picture picture;
};

/// A picture set: its names in a fixed order, each owning its own picture.
using ImageSet = std::vector<NamedImage>;

/// The large buttons: "Convert", "InFiles", "InFolder".
ImageSet& buttonImages();
/// The menu pictures (16 pixels): "New", "Add", ... "About".
ImageSet& menuIcons();
/// The toolbar pictures: the same names as menuIcons(), their own pictures.
ImageSet& toolbarIcons();

/// The picture of `name`; null when the set has no such name.
const Picture* findImage(const ImageSet& set, std::string_view name);

/// Numbered built-in image 0 (360 x 40, opaque) or 1 (270 x 75 with alpha);
/// an invalid picture for any other number or before loadBuiltinImages().
const Picture& numberedImage(int number);

/// The installed themes: file name (without ".zip") to display name, and
/// the entry applyTheme falls back to (the last one scanThemes added).
struct ThemeList {
  std::map<std::string, std::string> display_names;
  std::string current;
};
ThemeList& themeList();

/// The folder holding the theme archives, ending with "/": "gfx/" beside
/// the program or in its installed data folder (installedDataFolder)
/// unless setThemeFolder chose another (tests do).
std::string themeFolder();
/// Empty text restores the default.
void setThemeFolder(const std::string& folder);

/// Fills every picture of the three sets and images 0 and 1 from the
/// pictures compiled into the program. Call once before any window is built.
void loadBuiltinImages();

/// True when `name` can be a theme's file name: not empty, without "/", a
/// backslash, ".." or NUL, and without a leading "." (hidden files). Any
/// other name, however it came into the settings, counts as not installed,
/// so no theme path reaches outside themeFolder().
bool isThemeName(std::string_view name);

/// Rebuilds themeList() from the "*.zip" plain files of themeFolder(), in
/// name order, each with its themeDisplayName, skipping names that are not
/// isThemeName and archives that are no theme: missing, empty, not opening
/// as a ZIP archive, over the inflate limits (ZipLimits), or without a
/// "theme.cfg". A missing folder gives an empty list.
void scanThemes();

/// The display name of an installed theme: the "Name" of group "Theme" in
/// the first 255 bytes of its "theme.cfg", never empty: the file name itself
/// when that value is empty or missing, when the archive is no theme (see
/// scanThemes), or when `file_name` is not isThemeName.
std::string themeDisplayName(const std::string& file_name);

/// Looks up a key in the text of a "theme.cfg" by plain text search: the
/// group header "[group]" and the key (letter case ignored) must be
/// preceded by CR LF, the key matches as a prefix of its line ("Name" also
/// matches "Names=..."), and the value runs from the line's first "=" to the
/// next "=" or the line's end, trimmed of spaces, tabs, CR and LF. Empty
/// text when the group or key is missing.
std::string themeConfigValue(std::string_view text, std::string_view group, std::string_view key);

/// Loads the theme named by settings().ui_theme into the sets whose flag is
/// set. When that theme is not installed (or ui_theme is not isThemeName),
/// ui_theme becomes themeList().current (if any). A theme entry is "<value>"
/// when the value contains ".png", else "<value>_<size>.png", size being 16
/// for buttons and menu icons and iconSize(ui_size) for toolbar icons. A
/// picture the theme does not supply, or supplies damaged or wider or higher
/// than 512 pixels, keeps its earlier picture; a missing, empty or unreadable archive, or one whose entries
/// claim or inflate to more than the ZipLimits defaults, changes nothing.
void applyTheme(bool buttons, bool menu_icons, bool toolbar_icons);

/// Pixel size of a ui_size code: 0 16, 1 24, 2 32, 3 48, 4 64, else 16.
int iconSize(int ui_size);

}  // namespace pixolune

#endif  // PIXOLUNE_RESOURCES_THEMES_H_
