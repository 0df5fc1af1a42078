#include "settings/settings_location.h"

#include "platform/file_system.h"
#include "platform/files.h"
#include "platform/folder_files.h"
#include "platform/folders.h"
#include "settings/settings.h"

namespace pixolune {

std::string settingsFileLocation() {
  const std::string base = specialFolderPath(kFolderAppData);
  if (base.empty()) return "";
  const std::string path = withTrailingSlash(base) + kSettingsFileName;
  const std::string folder = folderOf(path);
  if (!isFolder(folder) && makeFolders(base)) makePrivateFolder(folder);
  if (pathExists(path)) return path;
  const std::string old_path = withTrailingSlash(base) + kOldSettingsFileName;
  std::string bytes;
  if (!isRegularFile(old_path) || !readWholeFile(old_path, &bytes)) return path;
  return replaceFile(path, bytes).ok() ? path : old_path;
}

}  // namespace pixolune
