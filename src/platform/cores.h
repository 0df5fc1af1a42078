// How many cores a conversion may use: the cores this process may run on,
// and of those, the ones no other conversion of the run is busy on.
#ifndef PIXOLUNE_PLATFORM_CORES_H_
#define PIXOLUNE_PLATFORM_CORES_H_

namespace pixolune {

/// The cores this process may run on, at least one: what a save cuts its
/// data into (the same for every file of a run on this machine).
int processCores();

/// Threads a conversion in this process may use now: one per core this
/// process may run on that no other conversion of the run (a sibling
/// helper process of the same parent) is busy with, at least one.
int idleCores();

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_CORES_H_
