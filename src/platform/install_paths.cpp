#include "platform/install_paths.h"

#include "platform/files.h"

// The installed places relative to the program's folder, each ending with
// "/". The install rules (cmake/install.cmake) set them from the
// GNUInstallDirs folders chosen at configure time; these are the defaults.
#ifndef PIXOLUNE_PROGRAMS_FROM_BINDIR
#define PIXOLUNE_PROGRAMS_FROM_BINDIR "../lib/pixolune/"
#endif
#ifndef PIXOLUNE_DATA_FROM_BINDIR
#define PIXOLUNE_DATA_FROM_BINDIR "../share/pixolune/"
#endif

namespace pixolune {

std::vector<std::string> partFolders(const std::string& program_folder, PartKind kind) {
  const std::string beside = withTrailingSlash(program_folder);
  const char* installed = kind == PartKind::kProgram ? PIXOLUNE_PROGRAMS_FROM_BINDIR : PIXOLUNE_DATA_FROM_BINDIR;
  return {beside, withTrailingSlash(lexicallyNormal(beside + installed))};
}

std::string findPart(const std::string& program_folder, PartKind kind, const std::string& name, bool want_folder) {
  const std::vector<std::string> folders = partFolders(program_folder, kind);
  for (const std::string& folder : folders) {
    const std::string path = folder + name;
    if (want_folder ? isFolder(path) : isRegularFile(path)) return path;
  }
  return folders.front() + name;
}

std::string installedProgram(const std::string& name) { return findPart(programFolder(), PartKind::kProgram, name); }

std::string installedDataFile(const std::string& name) { return findPart(programFolder(), PartKind::kData, name); }

std::string installedDataFolder(const std::string& name) {
  return withTrailingSlash(findPart(programFolder(), PartKind::kData, name, true));
}

std::string installedManual() { return installedDataFile(kManualFile); }

bool runsInstalled() { return installedManual() != withTrailingSlash(programFolder()) + kManualFile; }

}  // namespace pixolune
