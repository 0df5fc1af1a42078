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

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_FILES_H_
