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
/// lose the white they are stored over. Returns a bitmap the caller owns, or
/// null when the file's header is truncated or inconsistent, when
/// the document holds no real composite (saved without maximum
/// compatibility) or when it cannot be decoded; then says why in *reason
/// (if given). Reads the file twice: our own header reader checks it before
/// FreeImage sees it. Holds no shared state.
FIBITMAP* decodeDocument(const std::string& path, int flags, std::string* reason);

}  // namespace pixolune

#endif  // PIXOLUNE_ENGINE_DECODE_H_
