// Who is told of the temporary file a conversion is about to write. Kept
// apart from run/pipeline.h so the window's files can set it without the
// image and drawing headers.
#ifndef PIXOLUNE_RUN_SAVING_OBSERVER_H_
#define PIXOLUNE_RUN_SAVING_OBSERVER_H_

#include <string>

namespace pixolune {

/// Called with the temporary file's path just before convertFile writes it
/// (null: nobody is told). A conversion helper tells its parent, which
/// removes the file if the helper dies before renaming or removing it.
using SavingObserver = void (*)(const std::string& temporary_path);
void setSavingObserver(SavingObserver observer);

}  // namespace pixolune

#endif  // PIXOLUNE_RUN_SAVING_OBSERVER_H_
