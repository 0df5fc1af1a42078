#include "ui/wx_convert.h"

#include <wx/image.h>

#include <algorithm>

#include "resources/themes.h"

namespace pixolune {

namespace {

wxBitmap emptyBitmap(int size) {
  wxImage image(size, size);
  image.InitAlpha();
  unsigned char* alpha = image.GetAlpha();
  std::fill(alpha, alpha + size * size, 0);
  return wxBitmap(image);
}

}  // namespace

wxBitmap pictureBitmap(const Picture& picture, int size) {
  if (!picture.valid()) return emptyBitmap(size > 0 ? size : 16);
  const int pixels = picture.width * picture.height;
  wxImage image(picture.width, picture.height, false);
  image.InitAlpha();
  unsigned char* rgb = image.GetData();
  unsigned char* alpha = image.GetAlpha();
  for (int i = 0; i < pixels; ++i) {
    rgb[i * 3] = picture.rgba[i * 4];
    rgb[i * 3 + 1] = picture.rgba[i * 4 + 1];
    rgb[i * 3 + 2] = picture.rgba[i * 4 + 2];
    alpha[i] = picture.rgba[i * 4 + 3];
  }
  if (size > 0 && (picture.width != size || picture.height != size)) {
    image.Rescale(size, size, wxIMAGE_QUALITY_HIGH);
  }
  return wxBitmap(image);
}

wxBitmap namedBitmap(const ImageSet& set, const char* name, int size) {
  const Picture* picture = findImage(set, name);
  return picture ? pictureBitmap(*picture, size) : pictureBitmap(Picture{}, size);
}

}  // namespace pixolune
