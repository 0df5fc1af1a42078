// File-system services: sizes, dates, folders, the program's own folder.
#ifndef PIXOLUNE_PLATFORM_FILES_H_
#define PIXOLUNE_PLATFORM_FILES_H_

#include <cstdint>
#include <string>

namespace pixolune {

/// Size in bytes; -1 when the path does not exist or is not readable.
int64_t fileSize(const std::string& path);

bool isFolder(const std::string& path);
bool isRegularFile(const std::string& path);

/// Creates the folder and every missing parent. True when it exists afterwards.
bool makeFolders(const std::string& path);

/// Modification time in seconds since the epoch (UTC); -1 on failure.
int64_t fileModificationTime(const std::string& path);

/// Sets the modification (and access) time of the path itself (a symbolic
/// link is not followed); false on failure.
bool setFileModificationTime(const std::string& path, int64_t seconds_utc);

/// The folder holding the running program, ending with "/".
std::string programFolder();

/// Folder part of a path including the final "/", or empty.
std::string folderOf(const std::string& path);

/// Name part of a path (after the last "/").
std::string fileNameOf(const std::string& path);

/// A path is absolute when it begins with "/".
inline bool isAbsolutePath(const std::string& path) { return !path.empty() && path[0] == '/'; }

/// The path with repeated "/" and "." steps removed and each ".." step
/// taking back the step before it (a ".." above the root is kept). Purely
/// textual: symbolic links are not followed. "" gives ".".
std::string lexicallyNormal(const std::string& path);

/// True when `path` lies below `folder`, both compared in lexical form.
bool isInsideFolder(const std::string& path, const std::string& folder);

/// A relative path taken from the working folder, in lexical form (a
/// trailing "/" is kept); an absolute or empty path comes back unchanged.
std::string absolutePath(const std::string& path);

/// Appends "/" unless the text is empty or already ends with one.
std::string withTrailingSlash(std::string path);

/// Reads a whole file; false when it cannot be read.
bool readWholeFile(const std::string& path, std::string* contents);

/// The steps that lead from `folder` to `path`, both in lexical form: ""
/// when they name the same folder, "a/b" below it. False when `path` is
/// neither `folder` nor below it.
bool stepsBelow(const std::string& path, const std::string& folder, std::string* steps);

/// Where a call on a path failed: the errno it gave and the path it was
/// made on (for a symbolic link that was not followed, the link). error 0
/// means nothing failed.
struct PathFailure {
  int error = 0;
  std::string path;
};

/// An open folder (an O_PATH descriptor, usable as the folder of the *at
/// calls), closed when the object goes away. Move only; empty when an
/// opening failed.
class FolderHandle {
 public:
  FolderHandle() = default;
  explicit FolderHandle(int fd) : fd_(fd) {}
  ~FolderHandle();
  FolderHandle(FolderHandle&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FolderHandle& operator=(FolderHandle&& other) noexcept;
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;
  int fd() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

/// Opens the folder `steps` below `root` ("" is `root` itself; `root` ""
/// is the working folder) one step at a time from root's descriptor, so a
/// symbolic link in the steps is never followed: such a step fails with
/// ELOOP and *failure names the link. `root` itself is opened as named,
/// links and all (the user chose it). With `create`, missing steps are
/// made (mode 0755 less the umask), each inside the folder opened before
/// it. Any other failing call gives its errno and the path up to the step
/// it was made on (ending with "/" when that folder does not exist); a ".."
/// that would climb above `root` fails with EXDEV.
/// Folders made before a failure stay. Thread-safe.
FolderHandle openFolderBelow(const std::string& root, const std::string& steps, bool create, PathFailure* failure);

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_FILES_H_
