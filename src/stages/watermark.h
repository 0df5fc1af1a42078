// The text and picture watermark stage, its per-run preparation and the
// run's watermark font.
#ifndef PIXOLUNE_STAGES_WATERMARK_H_
#define PIXOLUNE_STAGES_WATERMARK_H_

#include <FreeImage.h>

#include <string>

#include "image/bitmap.h"
#include "platform/status.h"

namespace pixolune {

/// Stamps the text (do_watermark 1) or picture (2) watermark onto the image:
/// rotated, cropped to the room left by the offsets (inside the frame when
/// the boundary flag asks for it), placed by its anchor and alpha-blended.
/// Any do_watermark but 0 brings a palette image to the stage form, even
/// when no watermark can be drawn (no font loaded, unreadable picture, a
/// block pushed off the image by negative offsets); alpha, grey (under a grey
/// watermark) and 16 bits per channel are kept. W and H are the image size
/// after resizing. Runs on the worker thread.
Status watermarkStage(BitmapPtr& image, int W, int H);

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
Status prepareWatermarkRun();

/// Empty when the file at `path` decodes as a watermark picture (the whole
/// file is decoded, as the stage will); otherwise why not, in words that
/// follow "cannot be decoded: " (content in no readable picture format, a
/// format that cannot be read, a damaged picture). Any thread.
std::string watermarkPictureProblem(const std::string& path);

/// Loads the run's watermark font from watermark_font, font_size,
/// font_style (1 bold, 2 italic, 3 both) and font_effect (1 underline,
/// 2 strike-out). True when it is loaded; an already loaded font for the same
/// settings is kept. A family the font system does not know fails.
/// REQUIRES: no worker is running (the worker draws with this font).
bool loadWatermarkFont();

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
