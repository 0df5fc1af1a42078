// Temporary files that an ended run left behind: a converted file is
// written as "<output>.pxl-<pid>-<n>" by process <pid> and renamed when it
// is done, so such a file whose writer is gone will never be renamed.
#ifndef PIXOLUNE_RUN_STALE_TEMPORARIES_H_
#define PIXOLUNE_RUN_STALE_TEMPORARIES_H_

#include <string>

namespace pixolune {

/// True when `name` (a file name, no folder) is exactly a temporary name
/// of this program: a non-empty output name, ".pxl-", the writer's process
/// id and "-", a number; *pid is the process id.
bool parseTemporaryName(const std::string& name, long* pid);

/// True when process `pid` may still be writing one of its temporary files:
/// it exists and is this program or its helper (by the file it runs, else
/// by its name), or it exists but cannot be told apart. False when no such
/// process exists or it runs another program (its id was used again).
bool temporaryWriterMayLive(long pid);

/// Removes, in `folder` only (not below it), every regular file named as a
/// temporary whose writer cannot live any more. Links, folders and every
/// other entry are left alone; no link is followed. Returns how many files
/// were removed (a folder that cannot be read removes none).
/// Thread-safe; the calls only read and remove entries of the folder.
int removeStaleTemporaries(const std::string& folder);

}  // namespace pixolune

#endif  // PIXOLUNE_RUN_STALE_TEMPORARIES_H_
