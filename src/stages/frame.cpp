#include "stages/frame.h"

#include "image/bitmap.h"
#include "stages/overlay.h"
#include "image/pixel_form.h"
#include "stages/transform.h"
#include "platform/drawing.h"

namespace pixolune {

namespace {

std::string num(int value) { return std::to_string(value); }

// Layer A: the corner rectangles first, then the four side trapezoids.
bool drawFrame(Surface& layer, int w, int h, const FrameOptions& s) {
  const int L = s.left, R = s.right, T = s.top, B = s.bottom;
  const uint32_t cL = parseHexColorAlpha(s.left_color, 255);
  const uint32_t cR = parseHexColorAlpha(s.right_color, 255);
  const uint32_t cT = parseHexColorAlpha(s.top_color, 255);
  const uint32_t cB = parseHexColorAlpha(s.bottom_color, 255);
  fillRectangle(layer, 0, 0, L, T, cT);
  fillRectangle(layer, w - R, 0, R, T, cR);
  fillRectangle(layer, w - R, h - B, R, B, cB);
  fillRectangle(layer, 0, h - B, L, B, cL);
  const uint32_t colors[4] = {cT, cR, cB, cL};
  for (int side = 0; side < 4; ++side)
    if (!fillPath(layer, frameSidePath(side, w, h, L, R, T, B), colors[side])) return false;
  return true;
}

}  // namespace

FrameOptions frameOptionsFrom(const Settings& s) {
  FrameOptions o;
  o.enabled = s.do_frame;
  o.left = s.solid_left;
  o.right = s.solid_right;
  o.top = s.solid_top;
  o.bottom = s.solid_bottom;
  o.left_color = s.solid_left_color;
  o.right_color = s.solid_right_color;
  o.top_color = s.solid_top_color;
  o.bottom_color = s.solid_bottom_color;
  o.opacity = s.solid_opacity;
  return o;
}

uint32_t parseHexColorAlpha(const std::string& text, int alpha) {
  const RGBQUAD c = parseHexColor(text);
  return makeColor(c.rgbRed, c.rgbGreen, c.rgbBlue, alpha);
}

std::string frameSidePath(int side, int w, int h, int L, int R, int T, int B) {
  switch (side) {
    case 0:  // (0,0) -> (w,0) -> (w-R,T) -> (L,T)
      return "M 0 0 l " + num(w) + " 0 l -" + num(R) + " " + num(T) + " l -" + num(w - (L + R)) + " 0 Z";
    case 1:  // (w,0) -> (w,h) -> (w-R,h-B) -> (w-R,T)
      return "M " + num(w) + " 0 l 0 " + num(h) + " l -" + num(R) + " -" + num(B) + " l 0 -" +
             num(h - (T + B)) + " Z";
    case 2:  // (w,h) -> (0,h) -> (L,h-B) -> (w-R,h-B)
      return "M " + num(w) + " " + num(h) + " l -" + num(w) + " 0 l " + num(L) + " -" + num(B) + " l " +
             num(w - (L + R)) + " 0 Z";
    default:  // (0,h) -> (0,0) -> (L,T) -> (L,h-B)
      return "M 0 " + num(h) + " l 0 -" + num(h) + " l " + num(L) + " " + num(T) + " l 0 " + num(h - (T + B)) +
             " Z";
  }
}

Status frameStage(BitmapPtr& image, int w, int h, const FrameOptions& s) {
  if (!image || !s.enabled) return Status();
  image = toStageForm(std::move(image));
  if (!image) return Status::ioError("the image could not be framed (out of memory?)");

  SurfacePtr frame = createSurface(w, h);
  if (!frame || !drawFrame(*frame, w, h, s)) return Status();
  SurfacePtr faded = createSurface(w, h);
  if (!faded) return Status();
  drawSurface(*faded, *frame, 0, 0, s.opacity);
  BitmapPtr layer = layerToBitmap(*faded);
  if (layer) image = compositeOver(std::move(image), layer.get());
  return image ? Status() : Status::ioError("the frame could not be laid on (out of memory?)");
}

}  // namespace pixolune
