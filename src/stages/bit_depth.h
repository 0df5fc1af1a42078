// The final bit-depth stage and the choice of the output depth.
#ifndef PIXOLUNE_STAGES_BIT_DEPTH_H_
#define PIXOLUNE_STAGES_BIT_DEPTH_H_

#include <FreeImage.h>

#include <string>

#include "image/bitmap.h"
#include "platform/status.h"
#include "settings/settings.h"

namespace pixolune {

/// The output format's depth: its key and FreeImage format, and the fixed
/// depth its *_bpp setting asks for (0: chosen per file).
struct DepthOptions {
  std::string format_key = "png";
  int format_id = -1;
  int fixed_bpp = 0;
  bool operator==(const DepthOptions&) const = default;
};

/// From output_format and its depth setting.
/// REQUIRES: buildFormatTable() has run.
DepthOptions depthOptionsFrom(const Settings& settings);

/// The smallest depth of the format's list not below source_bpp, else the
/// largest; 0 for a format without a FormatTable row.
int autoBitDepth(const std::string& format_key, int source_bpp);

/// This file's output depth: the fixed depth when the format's setting
/// gives one, else chosen for the image (so "%bpp%" in a watermark names
/// it). An image of 16 bits per
/// channel is written at 16 bits per channel where the format stores its
/// kind: 16 for grey, 48 for RGB, 64 for RGBA (grey counts as RGB when
/// `grey_takes_colour` says the document is grey and a stage has put or will
/// put colour on it: a rotation's corners, a frame, a watermark). Otherwise
/// the smallest listed depth not below source_bpp (the decoded input's),
/// but never more than 8 bits
/// per channel for an image that has only those (a tone-mapped or narrowed
/// one), 32 for an image with alpha where the format lists it, a colour depth
/// for a grey document that takes colour, and 8 for a grey image where the
/// format lists it. The pipeline calls it before the frame stage.
int chooseBitDepth(FIBITMAP* image, bool grey_takes_colour, int source_bpp, const DepthOptions& options);

/// The last pixel stage: converts to target_bpp. An image with alpha is
/// blended over white for every depth without alpha; 16-bit samples are
/// rounded to 8 bits for the shallow depths; a palette of 8 bits keeps a grey
/// image's levels exactly. `image` holds the converted image afterwards (the
/// old one unloaded), or is kept when nothing is to do; a depth it cannot
/// make (or a failed allocation) gives a failed status and no image.
Status convertBitDepth(BitmapPtr& image, int target_bpp, const DepthOptions& options);

}  // namespace pixolune

#endif  // PIXOLUNE_STAGES_BIT_DEPTH_H_
