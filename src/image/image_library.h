#ifndef PIXOLUNE_IMAGE_IMAGE_LIBRARY_H_
#define PIXOLUNE_IMAGE_IMAGE_LIBRARY_H_

namespace pixolune {

/// Starts FreeImage once for the process (safe to call again), and seeds
/// the random numbers of the file-name mask.
void initImageLibrary();

}  // namespace pixolune

#endif  // PIXOLUNE_IMAGE_IMAGE_LIBRARY_H_
