// Decoding of one input document into a FreeImage bitmap.
#ifndef PIXOLUNE_ENGINE_DECODE_H_
#define PIXOLUNE_ENGINE_DECODE_H_

#include <FreeImage.h>

#include <string>

namespace pixolune {

/// Decodes the file at path as a Photoshop document, whatever its extension,
/// with the given FreeImage load flags. Returns null when it cannot be
/// decoded and then says why in *reason (if given).
FIBITMAP* decodeDocument(const std::string& path, int flags, std::string* reason);

}  // namespace pixolune

#endif  // PIXOLUNE_ENGINE_DECODE_H_
