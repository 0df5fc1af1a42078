// Pictures as plain RGBA pixel buffers, and PNG decoding with libpng.
#ifndef PIXOLUNE_RESOURCES_PNG_DECODE_H_
#define PIXOLUNE_RESOURCES_PNG_DECODE_H_

#include <cstdint>
#include <string_view>
#include <vector>

namespace pixolune {

/// A picture of the user interface: 8-bit RGBA samples, not premultiplied,
/// rows top to bottom. Kept free of any window library; the window code
/// converts it when it shows it. Width 0 means "no picture".
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;  // width * height * 4 bytes.
  bool valid() const { return width > 0 && height > 0; }
};

/// Pictures wider or higher than this are refused as damaged.
constexpr int kMaxPictureSide = 4096;

/// Decodes PNG bytes (any colour type and depth) into `picture`. Returns
/// false and leaves `picture` untouched when the bytes are not a PNG, are
/// damaged or truncated, or exceed kMaxPictureSide.
bool decodePng(std::string_view bytes, Picture* picture);

}  // namespace pixolune

#endif  // PIXOLUNE_RESOURCES_PNG_DECODE_H_
