// Where the program finds its parts: the conversion helper, the window
// module, the themes and the manual. In the build tree they lie beside the
// program; an installed program (make install, the Debian package) keeps
// its programs in ../lib/pixolune/ and its data in ../share/pixolune/,
// both taken from the program's own folder (/proc/self/exe), so the build
// tree, a staging tree below DESTDIR and /usr all work without a path
// compiled in.
#ifndef PIXOLUNE_PLATFORM_INSTALL_PATHS_H_
#define PIXOLUNE_PLATFORM_INSTALL_PATHS_H_

#include <string>
#include <vector>

namespace pixolune {

/// Programs run or loaded by the program, or data it reads.
enum class PartKind { kProgram, kData };

/// The folders a part of `kind` is looked for in, in order, for a program
/// in `program_folder` (ending with "/"): that folder itself, then the
/// installed place, in lexical form ("/usr/bin/" gives "/usr/bin/" and
/// "/usr/lib/pixolune/"). The first is the one named when the part is
/// nowhere.
std::vector<std::string> partFolders(const std::string& program_folder, PartKind kind);

/// The path of part `name` of `kind` for a program in `program_folder`:
/// the first folder of partFolders holding a regular file by that name
/// (with `want_folder`, a folder), else the path beside the program, which
/// does not exist, so a message about it names a sensible place.
std::string findPart(const std::string& program_folder, PartKind kind, const std::string& name,
                     bool want_folder = false);

/// findPart for the running program (programFolder()).
std::string installedProgram(const std::string& name);
std::string installedDataFile(const std::string& name);
/// A data folder, ending with "/".
std::string installedDataFolder(const std::string& name);

/// The manual and the theme folder of the running program.
inline constexpr char kManualFile[] = "vemarkt.html";
inline constexpr char kThemeFolderName[] = "gfx";
std::string installedManual();

/// True when the program runs from an installed tree: its manual is not
/// beside it but in the installed data folder.
bool runsInstalled();

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_INSTALL_PATHS_H_
