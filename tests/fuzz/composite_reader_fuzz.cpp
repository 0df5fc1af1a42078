// The composite reader on any document its header reader accepts: it
// reads it, declines it or refuses it with a reason, on several threads,
// without reading or writing outside its buffers; what it reads has the
// document's size.
#include <FreeImage.h>

#include "psd/composite_reader.h"
#include "psd/psd_document.h"
#include "fuzz/fuzz_input.h"

using namespace pixolune;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::InputFile file;
  static const bool library = (FreeImage_Initialise(FALSE), true);
  (void)library;
  const std::string& path = file.hold(data, size);
  PsdDocument document;
  if (!document.open(path).ok() || fuzz::pixelBytes(document.header()) > fuzz::kPixelBudget) return 0;
  const PsdHeader& header = document.header();
  CompositeReading read = readComposite(document, 0, 2);
  if (read.outcome == CompositeOutcome::kRead) {
    fuzz::require(read.image && read.status.ok());
    fuzz::require(FreeImage_GetWidth(read.image.get()) == static_cast<unsigned>(header.width));
    fuzz::require(FreeImage_GetHeight(read.image.get()) == static_cast<unsigned>(header.height));
  } else {
    fuzz::require(!read.image && !read.status.ok());
  }
  return 0;
}
