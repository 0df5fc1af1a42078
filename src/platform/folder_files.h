#ifndef PIXOLUNE_PLATFORM_FOLDER_FILES_H_
#define PIXOLUNE_PLATFORM_FOLDER_FILES_H_

// Files reached through an open folder (FolderHandle, platform/files.h), so
// that no symbolic link on the way is followed, and what the engine asks of
// files besides: their identity, whether a device is full, whether a folder
// may be written, reading a whole file or the standard input.

#include <compare>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"

namespace pixolune {

/// An open file; closed when it goes.
class OpenFile {
 public:
  OpenFile() = default;
  explicit OpenFile(int fd) : fd_(fd) {}
  ~OpenFile() { close(); }
  OpenFile(OpenFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  OpenFile& operator=(OpenFile&& other) noexcept;
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  explicit operator bool() const { return fd_ >= 0; }

  /// Writes every byte: 0, or the error number.
  int writeAll(const std::string& bytes);
  /// Forces what was written to the device: 0, or the error number.
  int syncToDevice();
  void close();

 private:
  int fd_ = -1;
};

/// Makes the file `name` (a name, no folders) in `folder` for writing, mode
/// 0644 before the umask: never over an existing file or link. On failure
/// the result is closed and `*error` holds the error number.
OpenFile createNewFileIn(const FolderHandle& folder, const std::string& name, int* error);

/// Removes the file `name` from `folder`. False when it could not.
bool removeFileIn(const FolderHandle& folder, const std::string& name);

/// Renames `from` to `to`, both names in `folder`: 0, or the error number.
int renameFileIn(const FolderHandle& folder, const std::string& from, const std::string& to);

/// What `name` in `folder` is, the link itself when it is one.
enum class EntryKind {
  kMissing,     // Nothing by that name (or it could not be looked at).
  kPlainFile,   // A regular file with exactly one name.
  kLinkedFile,  // A regular file with more than one name.
  kOther,       // A folder, a link, a device...
};
EntryKind entryKindIn(const FolderHandle& folder, const std::string& name);

/// Opens the folder `path` itself (links followed). Closed on failure.
FolderHandle openFolder(const std::string& path);

/// The names in `folder` but "." and "..", in the order the system gives
/// them. False when it cannot be read.
bool entryNamesIn(const FolderHandle& folder, std::vector<std::string>* names);

/// True when the device holding `folder` has no room left for this user
/// (the superuser may use the reserved blocks). False when it cannot tell.
bool deviceFull(const FolderHandle& folder);

/// The same file, however it is named.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  auto operator<=>(const FileIdentity&) const = default;
};

/// The identity of the file `path` leads to. False when it cannot be found.
bool fileIdentity(const std::string& path, FileIdentity* identity);

/// True when this user may make files in the folder `folder`.
bool folderWritable(const std::string& folder);

/// Makes the one folder `path` (its parent must exist) readable by this user
/// only. False when it could not (it may exist already).
bool makePrivateFolder(const std::string& path);

/// True when `path` leads to a regular file this user may run.
bool isExecutableFile(const std::string& path);

/// Makes a file named `prefix` and six more characters, then removes it:
/// 0 when that worked, otherwise the error number of the failed creation.
int probeFileCreation(const std::string& prefix);

/// Reads the whole of the file `path`, or of the standard input when
/// `standard_input` (which stays open). A read interrupted by a signal goes
/// on unless a stop signal came (platform/signals.h). 0, or the error number.
int readAllOf(const std::string& path, bool standard_input, std::string* bytes);

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_FOLDER_FILES_H_
