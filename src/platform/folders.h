// Folder enumeration: the entries of one folder and the identity of a folder,
// so that a recursive walk can notice a link back to a folder it is inside.
#ifndef PIXOLUNE_PLATFORM_FOLDERS_H_
#define PIXOLUNE_PLATFORM_FOLDERS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace pixolune {

struct FolderEntry {
  std::string name;        // Name only, never "." or "..".
  bool is_folder = false;  // True for a folder or a link to one.
};

/// The entries of `folder`, files and folders together, in the byte order of
/// their names (as `LC_ALL=C ls` lists them), never the file system's own
/// order, so a walk lists and converts the same way on every machine.
/// False (and no entries) when the folder cannot be opened.
bool listFolder(const std::string& folder, std::vector<FolderEntry>* entries);

/// What makes a folder the same folder under different paths.
struct FolderIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  auto operator<=>(const FolderIdentity&) const = default;
};

/// The identity of the folder (links followed); false when it cannot be read.
bool folderIdentity(const std::string& folder, FolderIdentity* identity);

/// True when something (a file, a folder, anything) exists at `path`.
bool pathExists(const std::string& path);

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_FOLDERS_H_
