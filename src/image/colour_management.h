// Colour management with LittleCMS: documents stored in CMYK, Lab or grey
// brought to sRGB through their colour profiles, as Photoshop shows them
// (relative colorimetric intent with black-point compensation), and the
// linear-light samples of 32-bit documents encoded for display.
#ifndef PIXOLUNE_IMAGE_COLOUR_MANAGEMENT_H_
#define PIXOLUNE_IMAGE_COLOUR_MANAGEMENT_H_

#include <FreeImage.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "image/bitmap.h"
#include "platform/status.h"

namespace pixolune {

/// The colour space an ICC profile describes (its header says), kNone for
/// an empty or malformed profile.
enum class ProfileSpace { kNone, kRgb, kGrey, kCmyk, kLab, kOther };
ProfileSpace profileSpace(std::string_view icc);

/// The profile's description ("U.S. Web Coated (SWOP) v2"), or empty.
std::string profileDescription(std::string_view icc);

/// The CMYK working space for documents without a profile of their own: a
/// free profile from Debian's libgs-common.
extern const char* const kWorkingCmykProfilePath;

/// How a document's colour samples are stored, one sample per channel in
/// channel order, 8 bits or native 16-bit words.
enum class StoredColour {
  kCmyk,     // As Photoshop stores CMYK: the largest value is no ink.
  kCmykInk,  // The largest value is full ink (the image library's separated CMYK).
  kLab,      // L 0..100 over the range; a and b with neutral at 128 (8 bits) or 0x8080 (16 bits).
  kGrey,
};

/// A conversion of stored samples to sRGB, built once for a document and
/// shared by threads (convert holds no state). A CMYK document's profile is
/// its own, else the working space (kWorkingCmykProfilePath); a document
/// whose own profile is unusable or of another colour space falls back the
/// same way (Lab uses the built-in D50 Lab space, grey a profile of its own
/// or none: then grey is taken as sRGB's). Where no CMYK profile can be had
/// at all, CMYK is converted by the plain formula (1 - ink) * (1 - black)
/// and the description says so.
class SrgbConversion {
 public:
  /// `bits` is 8 or 16 for input and output alike. Output pixels are laid
  /// out as FreeImage's: 8-bit blue, green, red on this machine, 16-bit
  /// red, green, blue; `out_samples` is 3, or 4 to leave every fourth
  /// sample (the alpha) as it is. kInvalid for other arguments.
  static Status create(StoredColour colour, int bits, std::string_view icc, int out_samples, SrgbConversion* out);

  /// Converts `pixels` pixels. Thread-safe.
  void convert(const void* in, void* out, size_t pixels) const;

  int inputChannels() const { return channels_; }

  /// "CMYK through embedded 'U.S. Web Coated (SWOP) v2' to sRGB".
  const std::string& description() const { return description_; }

 private:
  std::shared_ptr<void> transform_;  // A cmsHTRANSFORM, or null for the formula.
  std::string description_;
  int channels_ = 0;
  int bits_ = 8;
  int out_samples_ = 3;
  bool inverted_ = true;  // Formula only: the largest value is no ink.
};

/// A 32-bit document's linear-light samples (FIT_FLOAT, FIT_RGBF or
/// FIT_RGBAF) encoded as Photoshop shows them, at 16 bits per sample
/// (FIT_UINT16, FIT_RGB16, FIT_RGBA16; alpha kept linear, as it is), values
/// clamped to 0..1, no tone mapping. The curve is the one of the
/// document's profile where that profile is not itself linear, else
/// sRGB's. `icc` becomes the profile of the result: kept when its curve
/// was used; emptied (sRGB) for a linear profile with sRGB's primaries and
/// for a grey one; a profile with other primaries and sRGB's curve
/// otherwise. `image` is replaced (the old one unloaded); null when memory
/// runs out. Other bitmap types are left alone. *description says what was
/// done.
BitmapPtr encodeLinear(BitmapPtr image, std::string* icc, std::string* description);

/// A grey picture made colour through its grey profile (`grey_icc`, may be
/// empty: then grey is taken as sRGB's): 8-bit grey to 24-bit, 16-bit grey
/// to RGB16, and a neutral 32-bit or RGBA16 image (grey with alpha) in
/// place, its alpha kept. Other forms come back as they are; null when
/// memory runs out.
BitmapPtr greyToSrgb(BitmapPtr image, std::string_view grey_icc);

/// Gives the bitmap the profile (replacing any it had; empty removes it).
/// False when memory runs out.
bool setBitmapProfile(FIBITMAP* image, std::string_view icc);

/// The bitmap's profile, or empty.
std::string bitmapProfile(FIBITMAP* image);

}  // namespace pixolune

#endif  // PIXOLUNE_IMAGE_COLOUR_MANAGEMENT_H_
