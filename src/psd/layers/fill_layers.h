// Fill layers: a solid colour ("SoCo"), a gradient ("GdFl") or a pattern
// ("PtFl") over the document, read from their descriptors.
#ifndef PIXOLUNE_PSD_LAYERS_FILL_LAYERS_H_
#define PIXOLUNE_PSD_LAYERS_FILL_LAYERS_H_

#include <memory>
#include <vector>

#include "psd/layers/descriptor.h"
#include "psd/layers/layer_canvas.h"
#include "psd/layers/layer_records.h"
#include "psd/layers/patterns.h"
#include "platform/status.h"

namespace pixolune {

/// The colour of a descriptor colour object ("RGBC", "Grsc", "CMYC",
/// "HSBC") in a canvas of `colours` channels (1 grey, 3 RGB, 4 CMYK as
/// stored, 1 meaning no ink); false for colours it cannot convert (book
/// colours, Lab) or a missing object.
bool descriptorColour(const DescValue* colour, int colours, float* out);

/// A gradient's colours (as descriptorColour gives them) and opacity at
/// kGradientSteps + 1 evenly spaced places from its start to its end:
/// colours + 1 floats each. Colours are mixed in linear light when the
/// descriptor asks for it ("gradientsInterpolationMethod"); `smoothed`
/// applies the gradient's smoothness ("Intr"), as fill layers show it.
constexpr int kGradientSteps = 1024;
std::vector<float> gradientSteps(const DescValue& fill, int colours, bool linear, bool smoothed = false);

/// A gradient as a fill layer or (`overlay`) a layer effect describes it
/// ("Grad", "Type", "Angl", "Scl ", "Rvrs", "Ofst"), laid out over `box`;
/// null for noise gradients, which are not drawn.
std::unique_ptr<PixelSource> makeGradientSource(const DescValue& fill, int colours, const LayerRect& box, bool linear,
                                                bool overlay);

/// The bounds of a shape layer's path as Photoshop keeps them ("vogk"), or
/// an empty rectangle.
LayerRect shapeBounds(const LayerRecord& layer);

/// Sets *source to the source of a solid colour, gradient or pattern fill
/// layer over `document`; a pattern fill takes its pattern, by id, from
/// `patterns` (the document's, readPatterns). Declines with kUnsupported
/// (null *source) a layer that is none of them, a noise gradient, or a
/// pattern fill whose pattern is not among `patterns` (or no patterns
/// given), and fails with kCorrupt when its descriptor cannot be read. With
/// `linear` (32-bit documents, which hold linear light) the colours, given
/// for the screen, are taken to linear light with gamma 2.2.
Status makeFillSource(const LayerRecord& layer, int colours, const LayerRect& document, bool linear,
                      std::unique_ptr<PixelSource>* source, const std::vector<Pattern>* patterns = nullptr);

}  // namespace pixolune

#endif  // PIXOLUNE_PSD_LAYERS_FILL_LAYERS_H_
