// Decoding of one input document into a FreeImage bitmap.
#ifndef PIXOLUNE_ENGINE_DECODE_H_
#define PIXOLUNE_ENGINE_DECODE_H_

#include <FreeImage.h>

#include <string>

namespace pixolune {

/// Decodes the file at path as a Photoshop document, whatever its extension,
/// with the given FreeImage load flags, and returns the composite as
/// Photoshop shows it: an extra channel that is a saved selection is dropped
/// (the image stays at its depth, opaque), the transparency of greyscale
/// composites is kept, and RGB and greyscale composites with transparency
/// lose the white they are stored over. Returns null (the caller owns any
/// other result) when the file's header is truncated or inconsistent, when
/// the document holds no real composite (saved without maximum
/// compatibility) or when it cannot be decoded; then says why in *reason
/// (if given). Safe to call from any one thread at a time per file.
FIBITMAP* decodeDocument(const std::string& path, int flags, std::string* reason);

}  // namespace pixolune

#endif  // PIXOLUNE_ENGINE_DECODE_H_
