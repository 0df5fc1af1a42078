#include "support/colour_reference.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace pixolune::testing {

namespace {

const char* const kWorkingCmyk = "/usr/share/color/icc/ghostscript/default_cmyk.icc";

// The parts of a document the reference needs, read without the program's code.
struct Document {
  int channels = 0, width = 0, height = 0, depth = 0, mode = 0;
  std::string icc;
  std::vector<std::vector<uint8_t>> planes;  // Each height rows of big-endian samples.
};

uint32_t be(const std::string& d, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v = v << 8 | static_cast<uint8_t>(d[at + i]);
  return v;
}

bool unpackRow(const std::string& d, size_t at, size_t length, size_t size, uint8_t* out) {
  size_t n = 0;
  for (size_t i = at; i < at + length && n < size;) {
    const int c = static_cast<int8_t>(d[i++]);
    if (c >= 0) {
      const size_t count = static_cast<size_t>(c) + 1;
      if (n + count > size || i + count > d.size()) return false;
      std::memcpy(out + n, d.data() + i, count);
      n += count, i += count;
    } else if (c != -128) {
      const size_t count = static_cast<size_t>(1 - c);
      if (n + count > size || i >= d.size()) return false;
      std::memset(out + n, static_cast<uint8_t>(d[i++]), count);
      n += count;
    }
  }
  return n == size;
}

bool readDocument(const std::string& path, Document* doc, std::string* why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return *why = "cannot open " + path, false;
  const std::string d((std::istreambuf_iterator<char>(in)), {});
  // Every read below is checked against the end of the file first.
  const auto fits = [&d](size_t at, size_t bytes) { return at <= d.size() && bytes <= d.size() - at; };
  if (d.size() < 26 || d.compare(0, 4, "8BPS") != 0 || be(d, 4, 2) != 1) return *why = "not a version 1 document", false;
  doc->channels = static_cast<int>(be(d, 12, 2));
  doc->height = static_cast<int>(be(d, 14, 4));
  doc->width = static_cast<int>(be(d, 18, 4));
  doc->depth = static_cast<int>(be(d, 22, 2));
  doc->mode = static_cast<int>(be(d, 24, 2));
  if (doc->channels < 1 || doc->channels > 56 || doc->width < 1 || doc->width > 30000 || doc->height < 1 ||
      doc->height > 30000 || (doc->depth != 8 && doc->depth != 16 && doc->depth != 32))
    return *why = "header out of range", false;
  size_t at = 26;
  const auto skipSection = [&](size_t* end) {
    if (!fits(at, 4)) return false;
    const size_t length = be(d, at, 4);
    if (!fits(at + 4, length)) return false;
    *end = at + 4 + length;
    return true;
  };
  size_t end = 0;
  if (!skipSection(&end)) return *why = "short colour mode data", false;
  at = end;
  if (!skipSection(&end)) return *why = "short image resources", false;
  for (size_t r = at + 4; r + 12 <= end;) {
    const uint32_t id = be(d, r + 4, 2);
    const size_t name = (static_cast<uint8_t>(d[r + 6]) + 2u) & ~1u;
    if (r + 10 + name > end) return *why = "damaged image resource", false;
    const size_t size = be(d, r + 6 + name, 4), data = r + 10 + name;
    if (size > end - data) return *why = "damaged image resource", false;
    if (id == 1039) doc->icc = d.substr(data, size);
    r = data + size + (size & 1);
  }
  at = end;
  if (!skipSection(&end)) return *why = "short layer and mask information", false;
  at = end;
  if (!fits(at, 2)) return *why = "no image data", false;
  const uint32_t compression = be(d, at, 2);
  at += 2;
  const size_t row = static_cast<size_t>(doc->width) * doc->depth / 8, rows = static_cast<size_t>(doc->height);
  const size_t channels = static_cast<size_t>(doc->channels);
  if (compression == 0) {
    if (!fits(at, row * rows * channels)) return *why = "short image data", false;
    doc->planes.assign(channels, std::vector<uint8_t>(row * rows));
    for (auto& plane : doc->planes) std::memcpy(plane.data(), d.data() + at, plane.size()), at += plane.size();
    return true;
  }
  if (compression != 1) return *why = "ZIP-compressed image data", false;
  if (!fits(at, 2 * rows * channels)) return *why = "short PackBits row table", false;
  doc->planes.assign(channels, std::vector<uint8_t>(row * rows));
  size_t data = at + 2 * rows * channels;
  for (size_t c = 0; c < channels; ++c)
    for (size_t y = 0; y < rows; ++y) {
      const size_t length = be(d, at + 2 * (c * rows + y), 2);
      if (!fits(data, length) || !unpackRow(d, data, length, row, doc->planes[c].data() + y * row))
        return *why = "damaged PackBits row", false;
      data += length;
    }
  return true;
}

float floatAt(const std::vector<uint8_t>& plane, size_t i) {
  const uint32_t bits = uint32_t{plane[4 * i]} << 24 | uint32_t{plane[4 * i + 1]} << 16 | uint32_t{plane[4 * i + 2]} << 8 |
                        plane[4 * i + 3];
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

double srgbEncoded(double linear) {
  const double c = std::isnan(linear) ? 0.0 : std::clamp(linear, 0.0, 1.0);
  return c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
}

uint8_t to8(double unit) {
  return static_cast<uint8_t>(std::lround(std::isnan(unit) ? 0.0 : std::clamp(unit, 0.0, 1.0) * 255));
}

// 32-bit linear light encoded with the sRGB curve; a transparent
// composite's colours first taken out of the white they are stored over.
void encodeLinear(const Document& doc, Pixels* out) {
  const int colours = doc.mode == 1 ? 1 : 3;
  const bool alpha = doc.channels > colours;
  for (size_t i = 0; i < static_cast<size_t>(doc.width) * doc.height; ++i) {
    const double a = alpha ? std::clamp(static_cast<double>(floatAt(doc.planes[colours], i)), 0.0, 1.0) : 1.0;
    for (int c = 0; c < 3; ++c) {
      double v = floatAt(doc.planes[colours == 1 ? 0 : c], i);
      if (alpha) v = a > 0 ? (v - (1 - a)) / a : 0;
      out->rgba[4 * i + c] = to8(srgbEncoded(v));
    }
    out->rgba[4 * i + 3] = to8(a);
  }
}

bool throughProfile(const Document& doc, Pixels* out, std::string* why) {
  const bool cmyk = doc.mode == 4, wide = doc.depth == 16;
  const int colours = cmyk ? 4 : 3;
  if (doc.channels > colours) return *why = "transparent CMYK and Lab are not computed", false;
  cmsHPROFILE source = nullptr;
  if (!cmyk) source = cmsCreateLab4Profile(nullptr);
  else if (doc.icc.size() > 20 && doc.icc.compare(16, 4, "CMYK") == 0)
    source = cmsOpenProfileFromMem(doc.icc.data(), static_cast<cmsUInt32Number>(doc.icc.size()));
  else source = cmsOpenProfileFromFile(kWorkingCmyk, "r");
  if (!source) return *why = "no CMYK profile", false;
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  const cmsUInt32Number format = cmyk ? (wide ? TYPE_CMYK_16_REV : TYPE_CMYK_8_REV) : (wide ? TYPE_Lab_16 : TYPE_Lab_8);
  // Unoptimised: every pixel goes through the profiles' exact pipeline. The
  // optimised transform samples Lab on a coarse grid, and saturated colours
  // outside sRGB then land up to 18 levels off the clipped exact value.
  cmsHTRANSFORM t = cmsCreateTransform(source, format, srgb, TYPE_RGB_16, INTENT_RELATIVE_COLORIMETRIC,
                                       cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOOPTIMIZE);
  cmsCloseProfile(source);
  cmsCloseProfile(srgb);
  if (!t) return *why = "no transform", false;
  const size_t pixels = static_cast<size_t>(doc.width) * doc.height;
  std::vector<uint16_t> in16(pixels * colours), rgb(pixels * 3);
  std::vector<uint8_t> in8(pixels * colours);
  for (size_t i = 0; i < pixels; ++i)
    for (int c = 0; c < colours; ++c) {
      const std::vector<uint8_t>& plane = doc.planes[c];
      if (wide) in16[i * colours + c] = static_cast<uint16_t>(plane[2 * i] << 8 | plane[2 * i + 1]);
      else in8[i * colours + c] = plane[i];
    }
  cmsDoTransform(t, wide ? static_cast<void*>(in16.data()) : in8.data(), rgb.data(), static_cast<cmsUInt32Number>(pixels));
  cmsDeleteTransform(t);
  for (size_t i = 0; i < pixels; ++i) {
    for (int c = 0; c < 3; ++c) out->rgba[4 * i + c] = to8(rgb[3 * i + c] / 65535.0);
    out->rgba[4 * i + 3] = 255;
  }
  return true;
}

}  // namespace

bool colourReference(const std::string& path, Pixels* out, std::string* why) {
  Document doc;
  if (!readDocument(path, &doc, why)) return false;
  const bool deep = doc.depth == 32 && (doc.mode == 1 || doc.mode == 3);
  const bool managed = (doc.mode == 4 || doc.mode == 9) && (doc.depth == 8 || doc.depth == 16);
  if (!deep && !managed) return *why = "neither CMYK, Lab nor 32-bit", false;
  out->width = doc.width;
  out->height = doc.height;
  out->rgba.assign(static_cast<size_t>(doc.width) * doc.height * 4, 0);
  if (deep) {
    encodeLinear(doc, out);
    return true;
  }
  return throughProfile(doc, out, why);
}

}  // namespace pixolune::testing
