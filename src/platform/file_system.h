// The file-system seam for writing files: a narrow interface so that tests
// can put a failing file system in place of the real one, and the one safe
// way to replace a file built on it.
#ifndef PIXOLUNE_PLATFORM_FILE_SYSTEM_H_
#define PIXOLUNE_PLATFORM_FILE_SYSTEM_H_

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace pixolune {

/// A file open for writing. Not shared between threads.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  /// Appends all of `bytes`; an ioError names the file on failure.
  virtual Status append(std::string_view bytes) = 0;
  /// Forces what was appended onto the device (fsync).
  virtual Status sync() = 0;
  /// Asks the system to start writing what was appended to the device,
  /// without waiting for it: a later sync() then finds most of it written.
  virtual void startWriteback() {}
  /// Closes the file; later calls fail. The destructor closes a file still open.
  virtual Status close() = 0;
};

/// What the writers need of the file system. Abstract so that tests can put
/// in a file system that fails at a chosen step. Thread-safe.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  /// Creates a new file under a unique name in the folder of `target`
  /// ("<target>.XXXXXX"), with the permission bits of an existing target
  /// (0644 otherwise), and returns its name and the open file.
  virtual Status newTemporaryFile(const std::string& target, std::string* path,
                                  std::unique_ptr<WritableFile>* file) = 0;
  /// Creates `path` for writing, or empties it when it exists (as fopen's
  /// "wb" does; a new file gets 0666 less the umask).
  virtual Status newFile(const std::string& path, std::unique_ptr<WritableFile>* file) = 0;
  /// Forces a finished, closed file onto the device (open, fsync, close).
  virtual Status syncFile(const std::string& path) = 0;
  /// Renames `from` over `to` in one step.
  virtual Status renameFile(const std::string& from, const std::string& to) = 0;
  virtual Status removeFile(const std::string& path) = 0;
};

/// The operating system's file system (POSIX calls). Lives for the whole run.
FileSystem& realFileSystem();

/// Replaces one file so that a failure never destroys what was there: the
/// bytes go to a temporary file beside the target, which commit() forces to
/// the device and renames over the target. Until then, and whenever a step
/// fails, the target is untouched; a temporary file that is not committed
/// is removed (also by the destructor). Not shared between threads.
class FileReplacement {
 public:
  explicit FileReplacement(FileSystem& fs = realFileSystem()) : fs_(fs) {}
  ~FileReplacement() { discard(); }
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  /// Creates the temporary file for `target` (discarding an earlier one).
  Status begin(const std::string& target);
  /// Appends bytes to the temporary file. The first failure sticks: later
  /// appends and commit() return it.
  Status append(std::string_view bytes);
  /// Syncs, closes and renames over the target. On failure the temporary
  /// file is removed and the target is as it was before begin().
  Status commit();
  /// Drops the temporary file; the target stays as it was.
  void discard();

 private:
  FileSystem& fs_;
  std::string target_;
  std::string temporary_;
  std::unique_ptr<WritableFile> file_;
  Status failure_;
};

/// Replaces `target` with `bytes` through a FileReplacement.
Status replaceFile(const std::string& target, std::string_view bytes, FileSystem& fs = realFileSystem());

/// Writes a file whose bytes come from a writer that only takes a path (an
/// image library's save call): `write` writes `path`, then the file is
/// forced to the device. Any failure removes `path`. The rename into place
/// is left to the caller, which owns the naming of its temporary files.
Status writeSyncedFile(const std::string& path, const std::function<Status(const std::string& path)>& write,
                       FileSystem& fs = realFileSystem());

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_FILE_SYSTEM_H_
