#include "image/colour_management.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <tuple>
#include <vector>

#include "platform/cores.h"
#include "platform/mutex.h"
#include "platform/threads.h"

namespace pixolune {

const char* const kWorkingCmykProfilePath = "/usr/share/color/icc/ghostscript/default_cmyk.icc";

namespace {

struct ProfileCloser {
  void operator()(void* p) const {
    if (p) cmsCloseProfile(p);
  }
};
using ProfilePtr = std::unique_ptr<void, ProfileCloser>;

struct CurveFree {
  void operator()(cmsToneCurve* c) const {
    if (c) cmsFreeToneCurve(c);
  }
};
using CurvePtr = std::unique_ptr<cmsToneCurve, CurveFree>;

ProfilePtr openProfile(std::string_view icc) {
  if (icc.size() < 132) return nullptr;
  return ProfilePtr(cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size())));
}

std::string describe(cmsHPROFILE profile) {
  char text[256] = {};
  if (cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text, sizeof text) == 0) return {};
  std::string s(text);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

std::string quoted(const std::string& description) { return description.empty() ? "(unnamed)" : "'" + description + "'"; }

// sRGB's transfer curve as an ICC parametric curve (type 4).
CurvePtr srgbCurve() {
  const cmsFloat64Number p[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
  return CurvePtr(cmsBuildParametricToneCurve(nullptr, 4, p));
}

double srgbEncode(double linear) {
  const double c = std::clamp(linear, 0.0, 1.0);
  return c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055;
}

bool bigEndianMachine() { return FI_RGBA_RED == 0; }

cmsUInt32Number inputFormat(StoredColour colour, int bits) {
  const bool wide = bits == 16;
  switch (colour) {
    case StoredColour::kCmyk: return wide ? TYPE_CMYK_16_REV : TYPE_CMYK_8_REV;
    case StoredColour::kCmykInk: return wide ? TYPE_CMYK_16 : TYPE_CMYK_8;
    case StoredColour::kLab: return wide ? TYPE_Lab_16 : TYPE_Lab_8;
    case StoredColour::kGrey: return wide ? TYPE_GRAY_16 : TYPE_GRAY_8;
  }
  return 0;
}

cmsUInt32Number outputFormat(int bits, int out_samples) {
  if (bits == 16) return out_samples == 4 ? TYPE_RGBA_16 : TYPE_RGB_16;
  if (bigEndianMachine()) return out_samples == 4 ? TYPE_RGBA_8 : TYPE_RGB_8;
  return out_samples == 4 ? TYPE_BGRA_8 : TYPE_BGR_8;
}

// The document's side of a conversion and what to call it.
struct Source {
  ProfilePtr profile;
  std::string description;
};

Source cmykSource(std::string_view icc, bool embedded) {
  Source s;
  if (embedded && profileSpace(icc) == ProfileSpace::kCmyk && (s.profile = openProfile(icc))) {
    s.description = "CMYK through embedded " + quoted(describe(s.profile.get())) + " to sRGB";
    return s;
  }
  s.profile.reset(cmsOpenProfileFromFile(kWorkingCmykProfilePath, "r"));
  if (s.profile) {
    s.description = "CMYK through the working space " + quoted(describe(s.profile.get())) +
                    (profileSpace(icc) == ProfileSpace::kCmyk ? " (the document's profile cannot be used)"
                                                               : " (the document has no CMYK profile)") +
                    " to sRGB";
  } else {
    s.description = std::string("CMYK by formula (no CMYK profile in the document or at ") +
                    kWorkingCmykProfilePath + ") to sRGB";
  }
  return s;
}

Source greySource(std::string_view icc, bool embedded) {
  Source s;
  if (embedded && profileSpace(icc) == ProfileSpace::kGrey && (s.profile = openProfile(icc))) {
    s.description = "grey through embedded " + quoted(describe(s.profile.get())) + " to sRGB";
    return s;
  }
  CurvePtr curve = srgbCurve();
  s.profile.reset(cmsCreateGrayProfile(cmsD50_xyY(), curve.get()));
  s.description = "grey as sRGB grey";
  return s;
}

// The document's side: its own profile when `embedded`, else the space it
// falls back to.
Source sourceFor(StoredColour colour, std::string_view icc, bool embedded) {
  switch (colour) {
    case StoredColour::kCmyk:
    case StoredColour::kCmykInk: return cmykSource(icc, embedded);
    case StoredColour::kGrey: return greySource(icc, embedded);
    case StoredColour::kLab: break;
  }
  Source s;
  s.profile.reset(cmsCreateLab4Profile(nullptr));
  s.description = "Lab (D50) to sRGB";
  return s;
}

struct TransformFree {
  void operator()(void* t) const {
    if (t) cmsDeleteTransform(t);
  }
};

// Transforms built for a profile are kept for the next documents of a run:
// building one from a large CMYK profile takes longer than converting a
// small document. Keyed by what the transform depends on.
using TransformKey = std::tuple<std::string, int, int, int>;
struct CachedTransform {
  std::shared_ptr<void> transform;
  std::string description;
};

Mutex cache_mutex;
std::map<TransformKey, CachedTransform>& transformCache() REQUIRES(cache_mutex) {
  static std::map<TransformKey, CachedTransform> cache;
  return cache;
}
constexpr size_t kCachedTransforms = 8;

// The formula for CMYK when no profile can be had.
template <typename Sample>
void cmykFormula(const Sample* in, Sample* out, size_t pixels, int out_samples, bool inverted) {
  constexpr unsigned kTop = sizeof(Sample) == 1 ? 0xFF : 0xFFFF;
  const bool bgr = sizeof(Sample) == 1 && !bigEndianMachine();
  for (size_t i = 0; i < pixels; ++i, in += 4, out += out_samples) {
    auto paper = [&](unsigned v) { return inverted ? v : kTop - v; };  // Share of no ink.
    const unsigned k = paper(in[3]);
    const Sample r = static_cast<Sample>((paper(in[0]) * k + kTop / 2) / kTop);
    const Sample g = static_cast<Sample>((paper(in[1]) * k + kTop / 2) / kTop);
    const Sample b = static_cast<Sample>((paper(in[2]) * k + kTop / 2) / kTop);
    out[0] = bgr ? b : r;
    out[1] = g;
    out[2] = bgr ? r : b;
  }
}

template <typename T>
T* rowOf(FIBITMAP* image, unsigned y) {
  return reinterpret_cast<T*>(FreeImage_GetScanLine(image, static_cast<int>(y)));
}

// Runs rows(top, bottom) over the image's rows in bands on the idle cores.
void inBands(unsigned height, uint64_t pixels, const std::function<void(unsigned, unsigned)>& rows) {
  const int bands = static_cast<int>(std::clamp<uint64_t>(pixels / (256 * 1024), 1, idleCores()));
  runOnThreads(bands, [&](int b) {
    rows(static_cast<unsigned>(uint64_t{height} * b / bands), static_cast<unsigned>(uint64_t{height} * (b + 1) / bands));
  });
}

BitmapPtr allocateLike(FIBITMAP* src, FREE_IMAGE_TYPE type, int bpp) {
  BitmapPtr dst(FreeImage_AllocateT(type, static_cast<int>(FreeImage_GetWidth(src)),
                                    static_cast<int>(FreeImage_GetHeight(src)), bpp));
  if (!dst) return nullptr;
  FreeImage_SetDotsPerMeterX(dst.get(), FreeImage_GetDotsPerMeterX(src));
  FreeImage_SetDotsPerMeterY(dst.get(), FreeImage_GetDotsPerMeterY(src));
  return dst;
}

// The curve that encodes a 32-bit document's linear samples, and the
// profile its result carries.
struct LinearCurve {
  CurvePtr reverse;  // Of the profile's own curve; null: sRGB's.
  std::string icc;
  std::string description;
};

bool closeTo(const cmsCIEXYZ* a, const cmsCIEXYZ* b) {
  return std::fabs(a->X - b->X) < 0.002 && std::fabs(a->Y - b->Y) < 0.002 && std::fabs(a->Z - b->Z) < 0.002;
}

// True when the RGB profile's primaries are sRGB's.
bool srgbPrimaries(cmsHPROFILE profile) {
  ProfilePtr srgb(cmsCreate_sRGBProfile());
  for (cmsTagSignature tag : {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag}) {
    const auto* a = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tag));
    const auto* b = static_cast<const cmsCIEXYZ*>(cmsReadTag(srgb.get(), tag));
    if (!a || !b || !closeTo(a, b)) return false;
  }
  return true;
}

// The profile with sRGB's curve in place of its own (linear) one, or empty.
std::string withSrgbCurve(cmsHPROFILE profile) {
  CurvePtr curve = srgbCurve();
  for (cmsTagSignature tag : {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag})
    if (!curve || !cmsWriteTag(profile, tag, curve.get())) return {};
  cmsUInt32Number size = 0;
  if (!cmsSaveProfileToMem(profile, nullptr, &size) || size == 0) return {};
  std::string bytes(size, '\0');
  if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) return {};
  bytes.resize(size);
  return bytes;
}

LinearCurve linearCurveFor(const std::string& icc) {
  LinearCurve c;
  const ProfileSpace space = profileSpace(icc);
  ProfilePtr profile = (space == ProfileSpace::kRgb || space == ProfileSpace::kGrey) ? openProfile(icc) : nullptr;
  if (profile) {
    const auto* own = static_cast<const cmsToneCurve*>(
        cmsReadTag(profile.get(), space == ProfileSpace::kGrey ? cmsSigGrayTRCTag : cmsSigRedTRCTag));
    if (own && !cmsIsToneCurveLinear(own)) {
      c.reverse.reset(cmsReverseToneCurve(own));
      if (c.reverse) {
        c.icc = icc;
        c.description = "32-bit linear samples encoded with the curve of embedded " +
                        quoted(describe(profile.get()));
        return c;
      }
    }
  }
  c.description = "32-bit linear samples encoded with the sRGB curve";
  if (profile && space == ProfileSpace::kRgb && !srgbPrimaries(profile.get())) {
    c.icc = withSrgbCurve(profile.get());
    c.description += ", primaries of embedded " + quoted(describe(profile.get())) + " kept";
  }
  return c;
}

WORD encodeSample(float linear, const cmsToneCurve* reverse) {
  if (!(linear > 0.0f)) return 0;  // Negative and not-a-number.
  const double encoded = reverse ? cmsEvalToneCurveFloat(reverse, std::min(linear, 1.0f)) : srgbEncode(linear);
  return static_cast<WORD>(std::lround(std::clamp(encoded, 0.0, 1.0) * 65535.0));
}

WORD linearAlpha(float alpha) {
  if (!(alpha > 0.0f)) return 0;
  return static_cast<WORD>(std::lround(std::min(alpha, 1.0f) * 65535.0f));
}

// The levels of grey (256 or 65536) as sRGB colours in FreeImage's order
// for that depth.
// Without a conversion (grey taken as sRGB's) each level is itself.
template <typename Sample>
std::vector<Sample> greyLevels(const SrgbConversion* conversion) {
  constexpr size_t kLevels = sizeof(Sample) == 1 ? 256 : 65536;
  std::vector<Sample> in(kLevels), out(3 * kLevels);
  for (size_t i = 0; i < kLevels; ++i) in[i] = out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = static_cast<Sample>(i);
  if (conversion) conversion->convert(in.data(), out.data(), kLevels);
  return out;
}

}  // namespace

ProfileSpace profileSpace(std::string_view icc) {
  if (icc.size() < 132 || icc.compare(36, 4, "acsp") != 0) return ProfileSpace::kNone;
  const std::string_view space = icc.substr(16, 4);
  if (space == "RGB ") return ProfileSpace::kRgb;
  if (space == "GRAY") return ProfileSpace::kGrey;
  if (space == "CMYK") return ProfileSpace::kCmyk;
  if (space == "Lab ") return ProfileSpace::kLab;
  return ProfileSpace::kOther;
}

std::string profileDescription(std::string_view icc) {
  ProfilePtr profile = openProfile(icc);
  return profile ? describe(profile.get()) : std::string();
}

Status SrgbConversion::create(StoredColour colour, int bits, std::string_view icc, int out_samples,
                              SrgbConversion* out) {
  if ((bits != 8 && bits != 16) || (out_samples != 3 && out_samples != 4))
    return Status::invalid("colour conversion: " + std::to_string(bits) + " bits, " + std::to_string(out_samples) +
                           " samples out");
  SrgbConversion c;
  c.channels_ = colour == StoredColour::kCmyk || colour == StoredColour::kCmykInk ? 4
                : colour == StoredColour::kGrey                                    ? 1
                                                                                   : 3;
  c.bits_ = bits;
  c.out_samples_ = out_samples;
  c.inverted_ = colour == StoredColour::kCmyk;
  // The profile's bytes identify it; the built-in spaces and the working
  // space by the colour alone.
  const bool own = (colour == StoredColour::kGrey && profileSpace(icc) == ProfileSpace::kGrey) ||
                   (colour != StoredColour::kLab && colour != StoredColour::kGrey && profileSpace(icc) == ProfileSpace::kCmyk);
  const TransformKey key{own ? std::string(icc) : std::string(), static_cast<int>(colour), bits, out_samples};
  {
    MutexLock lock(&cache_mutex);
    auto found = transformCache().find(key);
    if (found != transformCache().end()) {
      c.transform_ = found->second.transform;
      c.description_ = found->second.description;
      *out = std::move(c);
      return Status();
    }
  }
  // A profile of the document's that LittleCMS cannot build a transform
  // from (missing tables, say) gives way to the space used without one.
  ProfilePtr srgb(cmsCreate_sRGBProfile());
  for (bool embedded : {true, false}) {
    Source source = sourceFor(colour, icc, embedded);
    c.description_ = source.description;
    if (!source.profile) break;  // CMYK by formula.
    // Lab to sRGB is no table of the profiles' own: precalculated, its
    // grid misses colours at the edge of the gamut by several levels, so it
    // is computed for every pixel.
    const cmsUInt32Number exact = colour == StoredColour::kLab ? cmsFLAGS_NOOPTIMIZE : 0;
    cmsHTRANSFORM t = cmsCreateTransform(source.profile.get(), inputFormat(colour, bits), srgb.get(),
                                         outputFormat(bits, out_samples), INTENT_RELATIVE_COLORIMETRIC,
                                         cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE | exact);
    if (t) {
      c.transform_ = std::shared_ptr<void>(t, TransformFree());
      break;
    }
  }
  if (!c.transform_ && colour != StoredColour::kCmyk && colour != StoredColour::kCmykInk)
    return Status::unsupported("colour conversion: " + c.description_ + " cannot be built");
  {
    MutexLock lock(&cache_mutex);
    auto& cache = transformCache();
    if (cache.size() >= kCachedTransforms) cache.erase(cache.begin());
    cache[key] = {c.transform_, c.description_};
  }
  *out = std::move(c);
  return Status();
}

void SrgbConversion::convert(const void* in, void* out, size_t pixels) const {
  if (transform_) {
    cmsDoTransform(transform_.get(), in, out, static_cast<cmsUInt32Number>(pixels));
  } else if (bits_ == 8) {
    cmykFormula(static_cast<const uint8_t*>(in), static_cast<uint8_t*>(out), pixels, out_samples_, inverted_);
  } else {
    cmykFormula(static_cast<const uint16_t*>(in), static_cast<uint16_t*>(out), pixels, out_samples_, inverted_);
  }
}

BitmapPtr encodeLinear(BitmapPtr image, std::string* icc, std::string* description) {
  if (!image) return nullptr;
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(image.get());
  if (type != FIT_FLOAT && type != FIT_RGBF && type != FIT_RGBAF) return image;
  const LinearCurve curve = linearCurveFor(*icc);
  const FREE_IMAGE_TYPE wide = type == FIT_FLOAT ? FIT_UINT16 : type == FIT_RGBF ? FIT_RGB16 : FIT_RGBA16;
  BitmapPtr out = allocateLike(image.get(), wide, 0);
  if (!out) return nullptr;
  FIBITMAP* from = image.get();
  FIBITMAP* to = out.get();
  const unsigned width = FreeImage_GetWidth(from), height = FreeImage_GetHeight(from);
  const unsigned colours = type == FIT_FLOAT ? 1 : 3, step = type == FIT_RGBAF ? 4 : colours;
  const cmsToneCurve* reverse = curve.reverse.get();
  inBands(height, uint64_t{width} * height, [&](unsigned top, unsigned bottom) {
    for (unsigned y = top; y < bottom; ++y) {
      const float* in = rowOf<float>(from, y);
      WORD* o = rowOf<WORD>(to, y);
      for (unsigned x = 0; x < width; ++x, in += step, o += step) {
        for (unsigned c = 0; c < colours; ++c) o[c] = encodeSample(in[c], reverse);
        if (step == 4) o[3] = linearAlpha(in[3]);
      }
    }
  });
  *icc = curve.icc;
  *description = curve.description;
  return out;
}

BitmapPtr greyToSrgb(BitmapPtr image, std::string_view grey_icc) {
  if (!image) return nullptr;
  FIBITMAP* dib = image.get();
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(dib);
  const unsigned bpp = FreeImage_GetBPP(dib);
  const bool grey8 = type == FIT_BITMAP && bpp == 8 && FreeImage_GetColorType(dib) == FIC_MINISBLACK;
  const bool rgba8 = type == FIT_BITMAP && bpp == 32;
  const bool wide = type == FIT_UINT16 || type == FIT_RGBA16;
  if (!grey8 && !rgba8 && !wide) return image;
  if (profileSpace(grey_icc) != ProfileSpace::kGrey) grey_icc = {};  // Grey as sRGB's: the levels stay as they are.
  if (grey_icc.empty() && (rgba8 || type == FIT_RGBA16)) return image;
  SrgbConversion conversion;
  if (!grey_icc.empty() && !SrgbConversion::create(StoredColour::kGrey, wide ? 16 : 8, grey_icc, 3, &conversion).ok())
    return nullptr;
  const SrgbConversion* through = grey_icc.empty() ? nullptr : &conversion;
  const unsigned width = FreeImage_GetWidth(dib), height = FreeImage_GetHeight(dib);
  BitmapPtr out;
  if (grey8) out = allocateLike(dib, FIT_BITMAP, 24);
  else if (type == FIT_UINT16) out = allocateLike(dib, FIT_RGB16, 0);
  else out = std::move(image);  // In place: the alpha stays.
  if (!out) return nullptr;
  FIBITMAP* to = out.get();
  if (wide) {
    const std::vector<WORD> levels = greyLevels<WORD>(through);
    const unsigned in_step = type == FIT_UINT16 ? 1 : 4, out_step = type == FIT_UINT16 ? 3 : 4;
    for (unsigned y = 0; y < height; ++y) {
      const WORD* in = rowOf<WORD>(dib, y);
      WORD* o = rowOf<WORD>(to, y);
      for (unsigned x = 0; x < width; ++x, in += in_step, o += out_step) std::memmove(o, &levels[3 * size_t{*in}], 6);
    }
  } else {
    const std::vector<BYTE> levels = greyLevels<BYTE>(through);
    const unsigned in_step = grey8 ? 1 : 4, out_step = grey8 ? 3 : 4, at = grey8 ? 0 : FI_RGBA_GREEN;
    for (unsigned y = 0; y < height; ++y) {
      const BYTE* in = rowOf<BYTE>(dib, y);
      BYTE* o = rowOf<BYTE>(to, y);
      for (unsigned x = 0; x < width; ++x, in += in_step, o += out_step) std::memmove(o, &levels[3 * size_t{in[at]}], 3);
    }
  }
  FreeImage_DestroyICCProfile(to);
  return out;
}

bool setBitmapProfile(FIBITMAP* image, std::string_view icc) {
  FreeImage_DestroyICCProfile(image);
  if (icc.empty()) return true;
  return FreeImage_CreateICCProfile(image, const_cast<char*>(icc.data()), static_cast<long>(icc.size())) != nullptr;
}

std::string bitmapProfile(FIBITMAP* image) {
  const FIICCPROFILE* icc = image ? FreeImage_GetICCProfile(image) : nullptr;
  if (!icc || !icc->data || icc->size <= 0) return {};
  return std::string(static_cast<const char*>(icc->data), static_cast<size_t>(icc->size));
}

}  // namespace pixolune
