#include "settings/settings.h"

#include <cstdlib>
#include <ctime>

#include "platform/files.h"
#include "platform/folder_files.h"
#include "settings/format_lists.h"

namespace pixolune {

namespace {

DesktopSize noDesktop() { return {}; }
DesktopQuery desktop_query = &noDesktop;

std::string trimSpaces(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

std::string withoutTrailingSlash(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

std::string homeFolder() {
  const char* home = std::getenv("HOME");
  return home ? std::string(home) : std::string();
}

}  // namespace

Settings& settings() {
  static Settings instance;
  return instance;
}

int32_t currentDate() {
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  return static_cast<int32_t>(now + local.tm_gmtoff);
}

void setDesktopQuery(DesktopQuery query) { desktop_query = query ? query : &noDesktop; }

int32_t centredPosition(int32_t window_extent, int32_t desktop_extent) {
  if (desktop_extent > window_extent) return (desktop_extent - window_extent) / 2;
  return 100;
}

void applyDefaultSettings(bool console_mode) {
  Settings& s = settings();
  std::string path = s.settings_file_path;
  s = Settings();
  s.settings_file_path = path;
  s.update_date = currentDate();
  s.custom_timestamp = s.update_date;
  s.keep_aspect_ratio = !console_mode;
  if (!inputFormatList().empty()) s.input_format = inputFormatList().front();
  if (!outputFormatList().empty()) s.output_format = outputFormatList().front();
  DesktopSize desktop = desktop_query();
  s.window_x = centredPosition(s.window_width, desktop.width);
  s.window_y = centredPosition(s.window_height, desktop.height);
}

std::string specialFolderPath(int folder_id) {
  std::string path;
  switch (folder_id) {
    case kFolderAppData: {
      const char* xdg = std::getenv("XDG_CONFIG_HOME");
      if (xdg && *xdg == '/') path = xdg;
      else if (!homeFolder().empty()) path = homeFolder() + "/.config";
      break;
    }
    case kFolderPersonal:
      if (!homeFolder().empty()) path = homeFolder() + "/Documents";
      break;
    case kFolderPictures:
      if (!homeFolder().empty()) path = homeFolder() + "/Pictures";
      break;
    default:
      break;
  }
  return withoutTrailingSlash(trimSpaces(path));
}

std::string userDataFolder(const std::string& first, const std::string& second) {
  std::string path = specialFolderPath(kFolderAppData);
  if (!path.empty()) makeFolders(path);
  if (path.empty() || path.back() != '/') path += '/';
  for (const std::string* name : {&first, &second}) {
    path += *name + '/';
    if (fileSize(path) < 0) makePrivateFolder(path);
  }
  return path;
}

}  // namespace pixolune
