// Reads the composite image of the most common documents, RGB, grey and
// CMYK (made RGB) of 8 or 16 bits a channel, stored raw or PackBits-
// compressed, on several threads at once: the threads take bands of rows as
// they get free and read and place each band's rows. The result is the
// bitmap the image library's own decoder makes of the same file, bit for
// bit: the same type, the same channels in the same order (only the
// channels that decoder keeps), the same resolution, colour profile and
// thumbnail, which the library still reads from the file's header. Any
// other document, or one whose image data is damaged, is left to the
// library (the reader declines it).
#ifndef PIXOLUNE_ENGINE_COMPOSITE_READER_H_
#define PIXOLUNE_ENGINE_COMPOSITE_READER_H_

#include <string>

#include "engine/bitmap.h"
#include "engine/psd_header.h"

namespace pixolune {

/// The composite of the document at `path`, read on up to `threads`
/// threads, as FreeImage_Load(FIF_PSD, path, flags) would give it; null when
/// the reader declines the document (another kind, damaged data, no memory)
/// and the library should decode it.
/// REQUIRES: header was filled by readPsdHeader from the same file.
BitmapPtr readComposite(const std::string& path, const PsdHeader& header, int flags, int threads);

}  // namespace pixolune

#endif  // PIXOLUNE_ENGINE_COMPOSITE_READER_H_
