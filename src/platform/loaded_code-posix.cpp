#include "platform/loaded_code.h"

#include <dlfcn.h>

namespace pixolune {

void* loadedFunction(const char* name) { return dlsym(RTLD_DEFAULT, name); }

}  // namespace pixolune
