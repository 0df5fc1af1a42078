// Single-instance guard and process exit.
#ifndef PIXOLUNE_PLATFORM_INSTANCE_H_
#define PIXOLUNE_PLATFORM_INSTANCE_H_

#include <string>

namespace pixolune {

/// The folder that holds this user's instance locks: $XDG_RUNTIME_DIR when
/// it is set to an absolute path, else the user's own folder
/// "<temporary folder>/<first word of name>-<uid>" ($TMPDIR, else /tmp),
/// made with mode 0700 when missing. Empty, with *problem naming the folder
/// and what is wrong, when the runtime folder does not exist or is not a
/// folder, or when the own folder cannot be made or is not a real folder
/// (a symbolic link is not one) owned by this user with mode 0700: a
/// folder others may write in could hold a lock that shuts this user out.
std::string instanceLockFolder(const std::string& name, std::string* problem);

/// Takes an exclusive lock named after `name` ("<name>.lock", spaces and
/// "/" as "_") in instanceLockFolder(). Returns the lock handle (>= 0), or
/// -1: with *problem empty when another process holds the lock, else with
/// *problem saying why the lock cannot be taken.
int lockSingleInstance(const std::string& name, std::string* problem);

/// Releases a handle returned by lockSingleInstance.
void unlockSingleInstance(int handle);

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_INSTANCE_H_
