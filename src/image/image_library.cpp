#include "image/image_library.h"

#include <FreeImage.h>

#include <cstdlib>
#include <ctime>
#include <mutex>

#include "platform/processes.h"

namespace pixolune {

void initImageLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    FreeImage_Initialise(FALSE);
    srandom(static_cast<unsigned>(time(nullptr)) ^ static_cast<unsigned>(currentProcessId()));
  });
}

}  // namespace pixolune
