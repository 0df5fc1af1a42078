#include "stages/watermark.h"

#include "image/bitmap.h"
#include "stages/overlay.h"
#include "image/image_library.h"
#include "image/pixel_form.h"
#include "stages/watermark_layer.h"
#include "platform/drawing.h"
#include "platform/files.h"

namespace pixolune {

namespace {

// Loaded by the run driver before the worker starts, freed after it ends.
FontPtr& runFont() {
  static FontPtr font;
  return font;
}

}  // namespace

FontRequest watermarkFontRequest(const Settings& s) {
  FontRequest request;
  request.family = s.watermark_font;
  request.size_points = s.font_size;
  request.bold = s.font_style == 1 || s.font_style == 3;
  request.italic = s.font_style == 2 || s.font_style == 3;
  request.underline = s.font_effect == 1;
  request.strike_out = s.font_effect == 2;
  return request;
}

WatermarkOptions watermarkOptionsFrom(const Settings& s) {
  WatermarkOptions o;
  o.kind = s.do_watermark;
  o.text = s.watermark_text;
  o.font = watermarkFontRequest(s);
  o.text_layer.padding = s.text_padding;
  o.text_layer.leading = s.font_leading;
  o.text_layer.alignment = s.text_alignment;
  o.text_layer.antialiasing = s.text_antialiasing;
  o.text_layer.font_color = s.font_color;
  o.text_layer.text_opacity = s.text_opacity;
  o.text_layer.back_color = s.back_color;
  o.text_layer.back_opacity = s.back_opacity;
  o.text_placement = WatermarkPlacement{s.text_rotation, s.text_boundary, s.text_position, s.text_x_offset,
                                        s.text_y_offset};
  o.picture = PictureLayerOptions{s.watermark_image, s.wm_image_greyscale, s.wm_image_opacity};
  o.picture_placement = WatermarkPlacement{s.wm_image_rotation, s.wm_image_boundary, s.wm_image_position,
                                           s.wm_image_x_offset, s.wm_image_y_offset};
  return o;
}

namespace {

int widthOf(FIBITMAP* dib) { return static_cast<int>(FreeImage_GetWidth(dib)); }
int heightOf(FIBITMAP* dib) { return static_cast<int>(FreeImage_GetHeight(dib)); }

// Rotates, crops to the room and pastes the watermark onto a transparent
// canvas of the image's size. Null when nothing can be placed.
BitmapPtr placeWatermark(BitmapPtr wm, int W, int H, const WatermarkPlacement& p, const FrameOptions& frame) {
  if (p.rotation > 0 && p.rotation < 360) {
    const int angle = p.rotation;
    wm = resampleOnPremultiplied(std::move(wm), [angle](FIBITMAP* block) {
      FIRGBA16 clear{0, 0, 0, 0};
      return FreeImage_Rotate(block, angle, &clear);
    });
    if (!wm) return nullptr;
  }
  int room_w = W, room_h = H, frame_x = 0, frame_y = 0;
  if (frame.enabled && p.boundary) {
    room_w = W - frame.left - frame.right;
    room_h = H - frame.top - frame.bottom;
    frame_x = frame.left;
    frame_y = frame.top;
  }
  int w = widthOf(wm.get()), h = heightOf(wm.get());
  const bool crop_w = w + p.off_x > room_w, crop_h = h + p.off_y > room_h;
  if (crop_w) w = room_w - p.off_x;
  if (crop_h) h = room_h - p.off_y;
  if (w <= 0 || h <= 0) return nullptr;
  if (crop_w || crop_h) {
    wm.reset(FreeImage_Copy(wm.get(), 0, 0, w, h));
    if (!wm) return nullptr;
  }
  int x = 0, y = 0;
  watermarkAnchor(p.position, room_w, room_h, w, h, p.off_x, p.off_y, &x, &y);
  BitmapPtr canvas(FreeImage_AllocateT(FIT_BITMAP, W, H, FreeImage_GetBPP(wm.get()), 0, 0, 0));
  if (!canvas) return nullptr;
  // An alpha above 255 copies the block's pixels as they are; FreeImage's
  // blend at 255 would scale every channel by 255/256 and let the picture
  // show through an opaque watermark. A block that does not fit is refused
  // and the canvas stays empty.
  FreeImage_Paste(canvas.get(), wm.get(), x + frame_x, y + frame_y, 256);
  return canvas;
}

}  // namespace

void watermarkAnchor(int position, int room_w, int room_h, int w, int h, int off_x, int off_y, int* x, int* y) {
  const int left = off_x, centre = (room_w - w) / 2, right = room_w - w - off_x;
  const int top = off_y, middle = (room_h - h) / 2, bottom = room_h - h - off_y;
  if (position < 0 || position > 8) {
    *x = *y = 0;
    return;
  }
  const int xs[3] = {left, centre, right}, ys[3] = {top, middle, bottom};
  *x = xs[position % 3];
  *y = ys[position / 3];
}

Status watermarkStage(BitmapPtr& image, int W, int H, const WatermarkOptions& o, const FrameOptions& frame,
                      const NameFields& name) {
  if (!image || o.kind == kWatermarkNone) return Status();
  image = toStageForm(std::move(image));
  if (!image) return Status::ioError("the image could not be watermarked (out of memory?)");
  SurfacePtr layer;
  if (o.kind == kWatermarkText && runFont()) layer = buildTextLayer(*runFont(), expandWatermarkText(name, o.text), o.text_layer);
  if (o.kind == kWatermarkImage) layer = buildPictureLayer(o.picture);
  if (!layer) return Status();
  BitmapPtr wm = layerToBitmap(*layer);
  if (!wm) return Status();
  BitmapPtr canvas =
      placeWatermark(std::move(wm), W, H, o.kind == kWatermarkText ? o.text_placement : o.picture_placement, frame);
  if (canvas) image = compositeOver(std::move(image), canvas.get());
  return image ? Status() : Status::ioError("the watermark could not be laid on (out of memory?)");
}

Status prepareWatermarkRun(const WatermarkOptions& o) {
  if (o.kind == kWatermarkText && !loadWatermarkFont(o.font))
    return Status::unsupported("the watermark font \"" + o.font.family + "\" cannot be loaded");
  if (o.kind == kWatermarkImage) {
    const std::string& picture = o.picture.path;
    if (picture.empty()) return Status::invalid("no watermark picture is set");
    if (fileSize(picture) <= 0 || isFolder(picture))
      return Status::notFound("the watermark picture \"" + picture + "\" is missing or empty");
    const Status decoded = checkWatermarkPicture(picture);
    if (!decoded.ok())
      return Status::corrupt("the watermark picture \"" + picture + "\" cannot be decoded: " + decoded.message());
  }
  return Status();
}

Status checkWatermarkPicture(const std::string& path) {
  initImageLibrary();
  if (loadPicture(path).surface) return Status();
  const FREE_IMAGE_FORMAT by_content = FreeImage_GetFileType(path.c_str(), 0);
  if (by_content == FIF_UNKNOWN) return Status::corrupt("its content is not in a picture format this program reads");
  if (!FreeImage_FIFSupportsReading(by_content)) return Status::corrupt("its picture format cannot be read");
  return Status::corrupt("the picture is damaged or cut short");
}

bool loadWatermarkFont(const FontRequest& request) {
  FontPtr& font = runFont();
  if (font && fontRequest(*font) == request) return true;
  font = loadFont(request);
  return font != nullptr;
}

void freeWatermarkFont() { runFont().reset(); }

bool watermarkFontLoaded() { return runFont() != nullptr; }

}  // namespace pixolune
