// The program entry. The console mode needs only the engine, linked into
// this program; the window mode is loaded from its module
// (pixolune-window.so, beside the program in the build tree, in
// ../lib/pixolune/ when installed) when a window is to be shown, so console
// runs do not pay for loading the window toolkit.
#include <dlfcn.h>

#include <cstdio>
#include <string>

#include "app/startup.h"
#include "app/window_module.h"
#include "platform/install_paths.h"

namespace {

using pixolune::WindowEntryMode;

// The module's entry; ends the program with an error line when the module
// cannot be loaded.
pixolune::WindowEntry windowEntry() {
  const std::string path = pixolune::installedProgram(pixolune::kWindowModuleName);
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
  void* entry = module ? dlsym(module, pixolune::kWindowEntryName) : nullptr;
  if (!entry) {
    const char* reason = dlerror();
    std::fprintf(stderr, "Error: The window mode could not be started: %s\n",
                 reason ? reason : ("cannot load " + path).c_str());
    pixolune::endProgram(1);
  }
  return reinterpret_cast<pixolune::WindowEntry>(entry);
}

[[noreturn]] void windowMode() {
  windowEntry()(static_cast<int>(WindowEntryMode::kWindow), "");
  pixolune::endProgram(0);
}

void uninstallPage(const std::string& argument) {
  windowEntry()(static_cast<int>(WindowEntryMode::kUninstallPage), argument.c_str());
}

void screenshots(const std::string& argument) {
  windowEntry()(static_cast<int>(WindowEntryMode::kScreenshots), argument.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  pixolune::setSpecialStartModes(&uninstallPage, &screenshots);
  pixolune::runProgram(argc, argv, &windowMode);
}
