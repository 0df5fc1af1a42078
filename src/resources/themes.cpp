#include "resources/themes.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <set>
#include <span>
#include <system_error>

#include "platform/files.h"
#include "platform/install_paths.h"
#include "platform/text.h"
#include "resources/builtin_pictures.h"
#include "resources/zip_archive.h"
#include "settings/settings.h"

namespace pixolune {
namespace {

constexpr const char* kButtonNames[] = {"Convert", "InFiles", "InFolder"};
constexpr const char* kIconNames[] = {
    "New", "Add", "InFiles", "InFolder", "OutFolder", "OutFormat", "FavFolder", "ImportFiles", "ExportFiles",
    "Exit", "Copy", "Delete", "SelectAll", "Convert", "Error", "Preferences", "CustomConverter", "Help", "Email",
    "Web", "Updates", "About"};

/// Only this much of "theme.cfg" is read for a display name.
constexpr size_t kDisplayNameBytes = 255;
/// A larger "theme.cfg" is cut here; real ones are a few hundred bytes.
constexpr size_t kMaxConfigBytes = 1 << 20;
/// Theme pictures wider or higher than this count as damaged: the window
/// shows none larger than 64 pixels, and a PNG of a few KiB can declare a
/// canvas that decodes to 64 MiB, for each of the 47 pictures a theme sets.
constexpr uint32_t kMaxThemePictureSide = 512;

ImageSet makeSet(std::span<const char* const> names) {
  ImageSet set;
  for (const char* name : names) set.push_back({name, Picture()});
  return set;
}

std::array<Picture, 2>& numberedImages() {
  static std::array<Picture, 2> images;
  return images;
}

std::string& themeFolderOverride() {
  static std::string folder;
  return folder;
}

/// Decodes the built-in picture `name`; an invalid picture when absent.
Picture builtinPicture(std::string_view name) {
  Picture picture;
  for (const BuiltinPicture& builtin : builtinPictures()) {
    if (name == builtin.name) {
      decodePng(std::string_view(reinterpret_cast<const char*>(builtin.data), builtin.size), &picture);
      break;
    }
  }
  return picture;
}

/// Windows-1252 text to UTF-8. The five bytes the code page leaves
/// undefined map to the control characters of the same number.
std::string ansiToUtf8(std::string_view ansi) {
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  std::string out;
  out.reserve(ansi.size());
  for (char c : ansi) {
    auto byte = static_cast<unsigned char>(c);
    char32_t code = (byte >= 0x80 && byte < 0xA0) ? kHigh[byte - 0x80] : byte;
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

/// REQUIRES: isThemeName(file_name).
std::string themeArchivePath(const std::string& file_name) { return themeFolder() + file_name + ".zip"; }

/// The first kDisplayNameBytes of the "theme.cfg" of theme `file_name`, as
/// UTF-8. False when the archive is missing, empty, damaged or over the
/// inflate limits, or holds no "theme.cfg": such an archive is no theme.
/// REQUIRES: isThemeName(file_name).
bool readConfigHead(const std::string& file_name, std::string* text) {
  std::map<std::string, std::string> entries;
  if (!extractZipEntries(themeArchivePath(file_name), {"theme.cfg"}, &entries, kDisplayNameBytes)) return false;
  auto config = entries.find("theme.cfg");
  if (config == entries.end()) return false;
  *text = ansiToUtf8(config->second);
  return true;
}

/// The theme applyTheme falls back to; empty when none is installed.
std::string fallbackTheme() {
  const ThemeList& list = themeList();
  if (list.display_names.empty()) return {};
  if (list.display_names.count(list.current)) return list.current;
  return list.display_names.rbegin()->first;
}

/// True when PNG bytes declare (in their IHDR chunk, read before anything
/// is decoded) a canvas within kMaxThemePictureSide.
bool pictureSideFits(std::string_view png) {
  if (png.size() < 24 || png.substr(12, 4) != "IHDR") return false;
  auto declared = [png](size_t at) {
    uint32_t value = 0;
    for (size_t i = at; i < at + 4; ++i) value = value << 8 | static_cast<unsigned char>(png[i]);
    return value;
  };
  return declared(16) <= kMaxThemePictureSide && declared(20) <= kMaxThemePictureSide;
}

/// One picture to take from the archive.
struct ThemeEntry {
  NamedImage* image;
  std::string entry;
};

/// The archive entries that replace pictures of `set`, per "theme.cfg".
void collectEntries(ImageSet& set, const char* group, int size, const std::string& config,
                    const std::set<std::string>& listed, std::vector<ThemeEntry>* out) {
  for (NamedImage& image : set) {
    std::string file = themeConfigValue(config, group, image.name);
    if (file.empty()) continue;
    if (findIgnoreCase(file, ".png") == std::string::npos) file += "_" + std::to_string(size) + ".png";
    if (listed.count(file)) out->push_back({&image, file});
  }
}

}  // namespace

ImageSet& buttonImages() {
  static ImageSet set = makeSet(kButtonNames);
  return set;
}

ImageSet& menuIcons() {
  static ImageSet set = makeSet(kIconNames);
  return set;
}

ImageSet& toolbarIcons() {
  static ImageSet set = makeSet(kIconNames);
  return set;
}

const Picture* findImage(const ImageSet& set, std::string_view name) {
  for (const NamedImage& image : set) {
    if (image.name == name) return &image.picture;
  }
  return nullptr;
}

const Picture& numberedImage(int number) {
  static const Picture kNone;
  return (number == 0 || number == 1) ? numberedImages()[number] : kNone;
}

ThemeList& themeList() {
  static ThemeList list;
  return list;
}

std::string themeFolder() {
  const std::string& folder = themeFolderOverride();
  return folder.empty() ? installedDataFolder(kThemeFolderName) : withTrailingSlash(folder);
}

void setThemeFolder(const std::string& folder) { themeFolderOverride() = folder; }

void loadBuiltinImages() {
  for (NamedImage& image : buttonImages()) image.picture = builtinPicture("button/" + image.name);
  for (NamedImage& image : menuIcons()) image.picture = builtinPicture("icon/" + image.name);
  for (NamedImage& image : toolbarIcons()) image.picture = builtinPicture("icon/" + image.name);
  numberedImages()[0] = builtinPicture("image/0");
  numberedImages()[1] = builtinPicture("image/1");
}

bool isThemeName(std::string_view name) {
  constexpr std::string_view kSeparators("/\\\0", 3);
  return !name.empty() && name.front() != '.' && name.find_first_of(kSeparators) == std::string_view::npos &&
         name.find("..") == std::string_view::npos;
}

void scanThemes() {
  ThemeList& list = themeList();
  list = ThemeList();
  std::error_code ec;
  std::vector<std::string> names;
  for (std::filesystem::directory_iterator it(themeFolder(), ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.size() > 4 && name.ends_with(".zip") && isThemeName(name.substr(0, name.size() - 4)) &&
        isRegularFile(it->path().string())) {
      names.push_back(name.substr(0, name.size() - 4));
    }
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    // An archive that is no theme is left out rather than listed under a
    // name that cannot be chosen to any effect.
    std::string config;
    if (!readConfigHead(name, &config)) continue;
    std::string display = themeConfigValue(config, "Theme", "Name");
    list.display_names[name] = display.empty() ? name : display;
    list.current = name;
  }
}

std::string themeDisplayName(const std::string& file_name) {
  if (!isThemeName(file_name)) return file_name;
  std::string config;
  if (!readConfigHead(file_name, &config)) return file_name;
  std::string display = themeConfigValue(config, "Theme", "Name");
  return display.empty() ? file_name : display;
}

std::string themeConfigValue(std::string_view text, std::string_view group, std::string_view key) {
  std::string header = "[" + std::string(group) + "]";
  size_t header_at = findIgnoreCase(text, header);
  if (header_at == std::string_view::npos) return {};
  size_t group_end = text.find('[', header_at + header.size());
  if (group_end == std::string_view::npos) group_end = text.size();
  size_t key_at = findIgnoreCase(text, "\r\n" + std::string(key), header_at);
  if (key_at == std::string_view::npos || key_at >= group_end) return {};
  size_t line_start = key_at + 2;
  size_t line_end = text.find("\r\n", line_start);
  std::string_view line = text.substr(line_start, line_end == std::string_view::npos ? line_end : line_end - line_start);
  size_t equals = line.find('=');
  if (equals == std::string_view::npos) return {};
  std::string_view value = line.substr(equals + 1);
  value = value.substr(0, value.find('='));
  std::string result = trim(value, " ");
  for (const char* chars : {"\t", "\r", "\n"}) result = trim(result, chars);
  return result;
}

void applyTheme(bool buttons, bool menu_icons, bool toolbar_icons) {
  Settings& config = settings();
  if (!isThemeName(config.ui_theme) || fileSize(themeArchivePath(config.ui_theme)) < 0) {
    std::string fallback = fallbackTheme();
    if (!fallback.empty()) config.ui_theme = fallback;
  }
  if (!isThemeName(config.ui_theme)) return;
  const std::string path = themeArchivePath(config.ui_theme);
  std::vector<ZipEntry> entries;
  if (!listZipEntries(path, &entries)) return;
  std::set<std::string> listed;
  for (const ZipEntry& entry : entries) {
    if (entry.size > 0) listed.insert(entry.name);
  }
  std::map<std::string, std::string> files;
  if (!extractZipEntries(path, {"theme.cfg"}, &files, kMaxConfigBytes)) return;
  const std::string theme_config = ansiToUtf8(files["theme.cfg"]);
  std::vector<ThemeEntry> wanted;
  if (buttons) collectEntries(buttonImages(), "Buttons", 16, theme_config, listed, &wanted);
  if (menu_icons) collectEntries(menuIcons(), "Icons", 16, theme_config, listed, &wanted);
  if (toolbar_icons) collectEntries(toolbarIcons(), "Icons", iconSize(config.ui_size), theme_config, listed, &wanted);
  std::vector<std::string> names;
  for (const ThemeEntry& item : wanted) names.push_back(item.entry);
  if (!extractZipEntries(path, names, &files)) return;
  // A picture that fails to decode, or is too large, keeps the one it had,
  // so the window never has to show an invalid picture.
  for (const ThemeEntry& item : wanted) {
    const std::string& png = files[item.entry];
    if (pictureSideFits(png)) decodePng(png, &item.image->picture);
  }
}

int iconSize(int ui_size) {
  switch (ui_size) {
    case 1: return 24;
    case 2: return 32;
    case 3: return 48;
    case 4: return 64;
    default: return 16;
  }
}

}  // namespace pixolune
