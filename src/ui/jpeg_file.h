// Writing pictures as JPEG files with libjpeg.
#ifndef PIXOLUNE_UI_JPEG_FILE_H_
#define PIXOLUNE_UI_JPEG_FILE_H_

#include <cstdint>
#include <string>

namespace pixolune {

/// Writes `width` x `height` pixels of 8-bit RGB samples (rows top to
/// bottom, no padding) as a baseline JPEG file at `quality` (libjpeg's 0 to
/// 100 scale). The file replaces an earlier one through replaceFile (a
/// unique temporary name beside it, synced, renamed), so a failed write
/// leaves nothing behind and an earlier file untouched. Returns false (and writes nothing)
/// when the file cannot be written or the size is not positive.
bool writeJpegFile(const std::string& path, const uint8_t* rgb, int width, int height, int quality);

}  // namespace pixolune

#endif  // PIXOLUNE_UI_JPEG_FILE_H_
