#ifndef PIXOLUNE_PLATFORM_LOADED_CODE_H_
#define PIXOLUNE_PLATFORM_LOADED_CODE_H_

namespace pixolune {

/// The address of the function `name` in the program or any library it has
/// loaded, or null when none holds it. The caller casts it to the type the
/// function has.
void* loadedFunction(const char* name);

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_LOADED_CODE_H_
