// Single-instance guard and process exit.
#ifndef PIXOLUNE_PLATFORM_INSTANCE_H_
#define PIXOLUNE_PLATFORM_INSTANCE_H_

#include <string>

namespace pixolune {

/// Takes an exclusive lock named after `name` in $XDG_RUNTIME_DIR (else the
/// temporary folder). Returns the lock handle (>= 0), or -1 when another
/// process holds it or the lock file cannot be made.
int lockSingleInstance(const std::string& name);

/// Releases a handle returned by lockSingleInstance.
void unlockSingleInstance(int handle);

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_INSTANCE_H_
