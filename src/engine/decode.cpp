#include "engine/decode.h"

#include "engine/bitmap.h"
#include "engine/composite.h"
#include "engine/psd_header.h"

namespace pixolune {

namespace {

void setReason(std::string* reason, const std::string& text) {
  if (reason) *reason = text;
}

// The decoder drops the transparency of greyscale composites; it is the
// first extra channel of the file, so it is read from there.
FIBITMAP* addGreyTransparency(const std::string& path, const PsdHeader& header, BitmapPtr image,
                              std::string* reason) {
  std::vector<uint8_t> plane;
  ReadStatus st = readCompositePlane(path, header, colourChannelCount(header.mode), &plane);
  if (!st.ok) {
    setReason(reason, st.message);
    return nullptr;
  }
  FIBITMAP* merged = greyWithAlpha(image.get(), plane, header.depth);
  if (!merged) setReason(reason, "the transparency of the greyscale image could not be added");
  return merged;
}

// Makes the decoded composite what Photoshop shows: a saved selection is not
// transparency, and a transparent composite loses the white it was stored over.
FIBITMAP* asPhotoshopShowsIt(const std::string& path, const PsdHeader& header, BitmapPtr image, std::string* reason) {
  if (extraChannelCount(header) == 0) return image.release();
  if (!firstExtraIsTransparency(header)) {
    if (!hasAlpha(image.get())) return image.release();
    FIBITMAP* opaque = withoutAlpha(image.get());
    if (!opaque) setReason(reason, "the saved selection could not be removed");
    return opaque;
  }
  if (header.mode == kModeGrey && !hasAlpha(image.get())) {
    image.reset(addGreyTransparency(path, header, std::move(image), reason));
    if (!image) return nullptr;
  }
  if (header.mode == kModeRgb || header.mode == kModeGrey) removeWhiteMatte(image.get());
  return image.release();
}

}  // namespace

FIBITMAP* decodeDocument(const std::string& path, int flags, std::string* reason) {
  PsdHeader header;
  ReadStatus st = readPsdHeader(path, &header);
  if (!st.ok) {
    setReason(reason, "cannot be decoded as a Photoshop document: " + st.message);
    return nullptr;
  }
  if (header.has_version_info && !header.has_real_merged_data) {
    setReason(reason, "the document holds no composite image (saved without maximum compatibility)");
    return nullptr;
  }
  BitmapPtr image(FreeImage_Load(FIF_PSD, path.c_str(), flags));
  if (!image) {
    setReason(reason, "cannot be decoded as a Photoshop document");
    return nullptr;
  }
  return asPhotoshopShowsIt(path, header, std::move(image), reason);
}

}  // namespace pixolune
