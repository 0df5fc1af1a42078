#include "platform/folders.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

namespace pixolune {

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

bool entryIsFolder(const std::string& folder, const struct dirent* entry) {
  if (entry->d_type == DT_DIR) return true;
  if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) return false;
  struct stat st;
  std::string path = folder + (folder.empty() || folder.back() == '/' ? "" : "/") + entry->d_name;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool listFolder(const std::string& folder, std::vector<FolderEntry>* entries) {
  entries->clear();
  std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
  if (!dir) return false;
  while (const struct dirent* entry = readdir(dir.get())) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    entries->push_back({name, entryIsFolder(folder, entry)});
  }
  // std::string compares its chars as unsigned bytes: byte order, whatever the locale.
  std::sort(entries->begin(), entries->end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return true;
}

bool folderIdentity(const std::string& folder, FolderIdentity* identity) {
  struct stat st;
  if (folder.empty() || stat(folder.c_str(), &st) != 0) return false;
  identity->device = static_cast<uint64_t>(st.st_dev);
  identity->inode = static_cast<uint64_t>(st.st_ino);
  return true;
}

bool pathExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0;
}

}  // namespace pixolune
