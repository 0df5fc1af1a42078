// The header reader on any bytes: it never reads outside the file, and
// what it accepts keeps its promises (the image data lies in the file, the
// planes it decodes have their size).
#include "psd/psd_document.h"
#include "psd/psd_header.h"
#include "fuzz/fuzz_input.h"

using namespace pixolune;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::InputFile file;
  const std::string& path = file.hold(data, size);
  PsdDocument document;
  if (!document.open(path).ok()) return 0;
  const PsdHeader& header = document.header();
  fuzz::require(header.image_data_offset + 2 <= size);
  // The sections follow one another and end where the file ends.
  const PsdSections& s = document.sections();
  fuzz::require(s.colour_mode_data.offset == 30 && s.image_resources.offset >= s.colour_mode_data.offset + s.colour_mode_data.length);
  fuzz::require(s.layer_and_mask.offset >= s.image_resources.offset + s.image_resources.length);
  fuzz::require(s.layer_and_mask.offset + s.layer_and_mask.length == s.image_data.offset);
  fuzz::require(s.image_data.offset == header.image_data_offset && s.image_data.offset + s.image_data.length == size);
  fuzz::require(header.channels >= colourChannelCount(header.mode));
  fuzz::require(extraChannelCount(header) >= 0);
  fuzz::require(header.layer_info_offset + header.layer_info_length <= size);
  (void)firstExtraIsTransparency(header);
  if (fuzz::pixelBytes(header) > fuzz::kPixelBudget) return 0;
  const uint64_t row = header.depth == 1 ? (static_cast<uint64_t>(header.width) + 7) / 8
                                         : static_cast<uint64_t>(header.width) * (header.depth / 8);
  std::vector<uint8_t> plane;
  for (int c = 0; c < header.channels && c < 6; ++c) {
    Status st = readCompositePlane(document.file(), header, c, &plane);
    if (st.ok()) fuzz::require(plane.size() == row * static_cast<uint64_t>(header.height));
  }
  return 0;
}
