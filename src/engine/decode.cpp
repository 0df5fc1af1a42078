#include "engine/decode.h"

namespace pixolune {

FIBITMAP* decodeDocument(const std::string& path, int flags, std::string* reason) {
  FIBITMAP* image = FreeImage_Load(FIF_PSD, path.c_str(), flags);
  if (!image && reason) *reason = "cannot be decoded as a Photoshop document";
  return image;
}

}  // namespace pixolune
