// The text and picture watermark stage, its per-run preparation and the
// run's watermark font.
#ifndef PIXOLUNE_STAGES_WATERMARK_H_
#define PIXOLUNE_STAGES_WATERMARK_H_

#include <FreeImage.h>

#include <string>

#include "image/bitmap.h"
#include "inputs/filename_mask.h"
#include "platform/drawing.h"
#include "platform/status.h"
#include "settings/settings.h"
#include "stages/frame.h"
#include "stages/watermark_layer.h"

namespace pixolune {

/// How one kind of watermark is placed: turned by `rotation` degrees, at
/// anchor `position` (0..8) pushed in by the offsets, inside the frame when
/// `boundary` is set.
struct WatermarkPlacement {
  int rotation = 0;
  bool boundary = false;
  int position = 8;
  int off_x = 10;
  int off_y = 10;
  bool operator==(const WatermarkPlacement&) const = default;
};

/// The watermark of a run, from do_watermark, the text, font and picture
/// Settings.
struct WatermarkOptions {
  int kind = kWatermarkNone;  // do_watermark
  std::string text;           // watermark_text, its tokens not yet expanded
  FontRequest font;           // watermark_font, font_size, font_style, font_effect
  TextLayerOptions text_layer;
  WatermarkPlacement text_placement;
  PictureLayerOptions picture;
  WatermarkPlacement picture_placement;
  bool operator==(const WatermarkOptions&) const = default;
};

WatermarkOptions watermarkOptionsFrom(const Settings& settings);

/// The font of watermark_font, font_size, font_style (1 bold, 2 italic, 3
/// both) and font_effect (1 underline, 2 strike-out).
FontRequest watermarkFontRequest(const Settings& settings);

/// Stamps the text (kind 1) or picture (2) watermark onto the image:
/// rotated, cropped to the room left by the offsets (inside the frame when
/// the boundary flag asks for it), placed by its anchor and alpha-blended.
/// Any kind but 0 brings a palette image to the stage form, even
/// when no watermark can be drawn (no font loaded, unreadable picture, a
/// block pushed off the image by negative offsets); alpha, grey (under a grey
/// watermark) and 16 bits per channel are kept. W and H are the image size
/// after resizing; `frame` is the run's frame (for the boundary) and `name`
/// the file's naming fields, which the text's tokens show. Runs on the
/// worker thread.
Status watermarkStage(BitmapPtr& image, int W, int H, const WatermarkOptions& options, const FrameOptions& frame,
                      const NameFields& name);

/// The watermark part of run preparation, done before the first file:
/// loads the text watermark's font (loadWatermarkFont) or checks that the
/// picture file has a positive size and decodes as a picture. Fails with
/// kUnsupported when the font cannot be loaded, kInvalid for a picture
/// watermark without a path, kNotFound when the picture's file is missing,
/// empty or a folder and kCorrupt when it does not decode (the message then
/// says why); the message names the font or the path. The window mode shows
/// its own message for each kind; the console reports the picture kinds as
/// an invalid image, adding the message for kCorrupt. Calling it again in
/// the same run keeps the loaded font.
/// REQUIRES: no worker is running.
Status prepareWatermarkRun(const WatermarkOptions& options);

/// Ok when the file at `path` decodes as a watermark picture (the whole
/// file is decoded, as the stage will); otherwise kCorrupt saying why not, in
/// words that follow "cannot be decoded: " (content in no readable picture
/// format, a format that cannot be read, a damaged picture). Any thread.
Status checkWatermarkPicture(const std::string& path);

/// Loads the run's watermark font. True when it is loaded; an already
/// loaded font for the same request is kept. A family the font system does
/// not know fails.
/// REQUIRES: no worker is running (the worker draws with this font).
bool loadWatermarkFont(const FontRequest& request);

/// Releases the run's watermark font; the text watermark draws nothing
/// until the next load. REQUIRES: no worker is running.
void freeWatermarkFont();

/// True while the run's watermark font is loaded.
bool watermarkFontLoaded();

/// Top-left corner of a w x h block in a room_w x room_h room for an anchor
/// code 0..8 (top-left to bottom-right, row by row); the offsets push away
/// from the anchored edges and centred axes ignore them (halves truncate
/// toward zero). Other codes give (0, 0).
void watermarkAnchor(int position, int room_w, int room_h, int w, int h, int off_x, int off_y, int* x, int* y);

}  // namespace pixolune

#endif  // PIXOLUNE_STAGES_WATERMARK_H_
