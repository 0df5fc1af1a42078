// How many cores a conversion may use: the cores this process may run on,
// and the share of them its parent gave the conversion at work.
#ifndef PIXOLUNE_PLATFORM_CORES_H_
#define PIXOLUNE_PLATFORM_CORES_H_

namespace pixolune {

/// The cores this process may run on, at least one: what a save cuts its
/// data into (the same for every file of a run on this machine).
int processCores();

/// Sets the threads the conversions of this process may use from now on:
/// what the parent's request gave the file (it knows how many helpers it
/// keeps busy on its cores). 0 or less: every core this process may run on.
/// Called before a conversion starts, on the thread that converts.
void setConversionThreads(int threads);

/// Threads a conversion in this process may use now: the number
/// setConversionThreads gave, at most processCores(), at least one; all of
/// processCores() while none was given.
int idleCores();

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_CORES_H_
