// Off-screen 2D drawing: 32-bit surfaces, filled paths and rectangles, text
// in a chosen font (plain and anti-aliased), drawing one surface on another,
// picture loading and PNG encoding into memory.
//
// Colours are 32-bit values red | green << 8 | blue << 16 | alpha << 24, with
// straight (not premultiplied) components. Every operation is for one thread
// at a time; a surface or font may move between threads between calls.
#ifndef PIXOLUNE_PLATFORM_DRAWING_H_
#define PIXOLUNE_PLATFORM_DRAWING_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace pixolune {

/// A colour from its four components (0..255 each).
constexpr uint32_t makeColor(int red, int green, int blue, int alpha) {
  return static_cast<uint32_t>(red & 255) | static_cast<uint32_t>(green & 255) << 8 |
         static_cast<uint32_t>(blue & 255) << 16 | static_cast<uint32_t>(alpha & 255) << 24;
}
constexpr int colorRed(uint32_t c) { return static_cast<int>(c & 255); }
constexpr int colorGreen(uint32_t c) { return static_cast<int>((c >> 8) & 255); }
constexpr int colorBlue(uint32_t c) { return static_cast<int>((c >> 16) & 255); }
constexpr int colorAlpha(uint32_t c) { return static_cast<int>((c >> 24) & 255); }

/// A 32-bit off-screen image with an alpha channel.
struct Surface;
struct SurfaceDeleter {
  void operator()(Surface* surface) const;
};
using SurfacePtr = std::unique_ptr<Surface, SurfaceDeleter>;

/// A w x h surface, every pixel transparent. Null when w or h is not
/// positive or the memory cannot be had.
SurfacePtr createSurface(int width, int height);

/// A w x h surface with every pixel set to `color` (its alpha included).
SurfacePtr createFilledSurface(int width, int height, uint32_t color);

int surfaceWidth(const Surface& surface);
int surfaceHeight(const Surface& surface);

/// The pixel at (x, y) with straight components; 0 outside the surface.
uint32_t surfacePixel(const Surface& surface, int x, int y);

/// Sets every pixel to `color`, replacing what was there (alpha included).
void fillSurface(Surface& surface, uint32_t color);

/// Fills the rectangle with `color` blended over what is there. Empty or
/// negative sizes draw nothing.
void fillRectangle(Surface& surface, int x, int y, int width, int height, uint32_t color);

/// Fills the closed figures described by `path` with `color` (anti-aliased
/// edges, non-zero winding). The path text is a list of items separated by
/// single spaces: "M x y" moves to an absolute point, "l dx dy" draws a line
/// by a relative offset, "Z" closes the figure. Numbers are decimal integers;
/// a "-" before a number negates it (so "--5" is 5). Returns false and draws
/// nothing when the text does not follow this form.
bool fillPath(Surface& surface, const std::string& path, uint32_t color);

/// How drawSurface treats the destination under the source.
enum class DrawMode {
  kBlend,    // The source, at the constant alpha, is blended over the destination.
  kReplace,  // The destination pixels under the source become the source at the constant alpha.
};

/// Changes one pixel's straight red, green, blue and alpha in place.
using PixelFilter = std::function<void(uint8_t& red, uint8_t& green, uint8_t& blue, uint8_t& alpha)>;

/// Draws `source` onto `dest` with its top-left corner at (x, y), scaled by
/// the constant alpha (0..255, clamped). When `filter` is set every source
/// pixel passes through it first; the source itself is not changed.
void drawSurface(Surface& dest, const Surface& source, int x, int y, int alpha,
                 const PixelFilter& filter = nullptr, DrawMode mode = DrawMode::kBlend);

/// What loadFont is asked for. size_points is the font's em size in points
/// at 96 pixels per inch.
struct FontRequest {
  std::string family;
  int size_points = 12;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strike_out = false;
  bool operator==(const FontRequest&) const = default;
};

struct Font;
struct FontDeleter {
  void operator()(Font* font) const;
};
using FontPtr = std::unique_ptr<Font, FontDeleter>;

/// Loads a font. Null when the family is unknown to the font system: a name
/// that the system can only replace by its generic fallback face counts as
/// unknown, while a configured alias (such as a metric twin) loads. Null also
/// for an empty family or a size below 1.
FontPtr loadFont(const FontRequest& request);

/// True when the font system knows `family` itself or through an alias.
bool fontFamilyAvailable(const std::string& family);

/// The request a font was loaded from.
const FontRequest& fontRequest(const Font& font);

/// The box of one line of text: its advance and line height, grown where
/// glyphs reach past them (an italic overhang, a glyph wider than its
/// advance) so that it holds every pixel the text is drawn with.
struct TextSize {
  int width = 0;
  int height = 0;
};

/// The box of one line of text as plain text draws it. Text is UTF-8 and is
/// drawn as one line. An empty text has width 0 and the line's height.
TextSize measureText(const Font& font, const std::string& text);

/// The same for anti-aliased vector text.
TextSize measureVectorText(const Font& font, const std::string& text);

/// Plain text without antialiasing: the line's box at (x, y), of the size
/// measureText gives, becomes `back`, and the glyph pixels, all inside it,
/// become `fore`; all four channels are written directly, nothing is
/// blended.
void drawText(Surface& surface, const Font& font, int x, int y, const std::string& text, uint32_t fore,
              uint32_t back);

/// Anti-aliased vector text: the glyph outlines of the line whose box (of
/// the size measureVectorText gives) starts at (x, y) are filled with
/// `color` blended over the surface; nothing is drawn outside the box.
void drawVectorText(Surface& surface, const Font& font, int x, int y, const std::string& text, uint32_t color);

/// A picture read from a file.
struct Picture {
  SurfacePtr surface;      // Null when the file cannot be read as a picture.
  bool has_alpha = false;  // The file holds 32 bits per pixel.
};

/// Reads a picture file (PNG, BMP, JPEG and the other formats the image
/// library knows). picture.surface is null on failure.
Picture loadPicture(const std::string& path);

/// Encodes the surface as an RGBA PNG into *bytes (replacing its contents).
/// False when encoding fails.
bool encodePng(const Surface& surface, std::string* bytes);

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_DRAWING_H_
