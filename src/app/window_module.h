// How the program reaches the window mode, which lives in a module beside
// it: the module's file name, its one entry point and the modes it runs.
#ifndef PIXOLUNE_APP_WINDOW_MODULE_H_
#define PIXOLUNE_APP_WINDOW_MODULE_H_

namespace pixolune {

/// File name of the window module, installed beside the program.
inline constexpr char kWindowModuleName[] = "pixolune-window.so";

/// The entry point the module exports, a function of type WindowEntry.
inline constexpr char kWindowEntryName[] = "pixoluneWindowEntry";

/// What the entry runs.
enum class WindowEntryMode { kWindow = 0, kUninstallPage = 1, kScreenshots = 2 };

/// The entry: sets the window commands, then runs `mode` with `argument`
/// (the special start modes' argument; ignored by the window mode, which
/// never returns).
using WindowEntry = void (*)(int mode, const char* argument);

}  // namespace pixolune

#endif  // PIXOLUNE_APP_WINDOW_MODULE_H_
