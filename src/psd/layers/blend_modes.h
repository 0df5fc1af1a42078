// Photoshop's blend modes on colour samples of the 0..1 scale, per pixel.
#ifndef PIXOLUNE_PSD_LAYERS_BLEND_MODES_H_
#define PIXOLUNE_PSD_LAYERS_BLEND_MODES_H_

#include <string>

namespace pixolune {

enum class BlendMode {
  kNormal, kDissolve,
  kDarken, kMultiply, kColourBurn, kLinearBurn, kDarkerColour,
  kLighten, kScreen, kColourDodge, kLinearDodge, kLighterColour,
  kOverlay, kSoftLight, kHardLight, kVividLight, kLinearLight, kPinLight, kHardMix,
  kDifference, kExclusion, kSubtract, kDivide,
  kHue, kSaturation, kColour, kLuminosity,
  kPassThrough,  // Groups only: their layers blend with what lies below the group.
  kUnknown,
};

/// The mode of a four-letter blend key as the file stores it ("norm",
/// "mul ", "pass", ...); kUnknown for any other key.
BlendMode blendModeFromKey(const std::string& key);

/// The blend key of a mode as descriptors name it ("Mltp", "linearBurn",
/// "passThrough"), or null for a name no mode has.
const char* blendKeyOfDescriptorMode(const std::string& name);

/// The mode's name for messages ("multiply", "colour burn").
const char* blendModeName(BlendMode mode);

/// The blend B(backdrop, source) of one pixel of `n` colour channels
/// (1 grey, 3 RGB, 4 CMYK; CMYK as stored, where 1 is no ink), written to
/// out. Normal, dissolve and unknown modes give the source. Modes that work
/// on the whole colour (darker and lighter colour, hue, saturation, colour,
/// luminosity) use luminosity 0.3 R + 0.59 G + 0.11 B; on grey they keep the
/// backdrop (hue, saturation, colour) or take the source (luminosity).
/// out may alias neither input.
void blendPixel(BlendMode mode, const float* backdrop, const float* source, float* out, int n);

}  // namespace pixolune

#endif  // PIXOLUNE_PSD_LAYERS_BLEND_MODES_H_
