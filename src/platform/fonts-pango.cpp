// Fonts through fontconfig and pango; plain and anti-aliased text on cairo.
#include <fontconfig/fontconfig.h>
#include <glib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/cairo_handles.h"
#include "platform/drawing.h"

namespace pixolune {

struct Font {
  FontRequest request;
  FontMapPtr map;
  FontDescriptionPtr description;
  AttrListPtr attributes;
};

void FontDeleter::operator()(Font* font) const { delete font; }

namespace {

// A family name no font will ever carry: what it resolves to is the font
// system's generic fallback face.
constexpr char kProbeFamily[] = "Pixolune Probe For A Missing Family";
constexpr double kDotsPerInch = 96.0;

struct PatternDeleter {
  void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;

struct FaceMatch {
  std::string file;
  std::vector<std::string> families;
};

// The face fontconfig picks for a family name, aliases applied.
bool matchFamily(const std::string& family, FaceMatch* out) {
  PatternPtr pattern(FcPatternCreate());
  if (!pattern) return false;
  FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  if (!FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern)) return false;
  FcDefaultSubstitute(pattern.get());
  FcResult result = FcResultNoMatch;
  PatternPtr match(FcFontMatch(nullptr, pattern.get(), &result));
  FcChar8* value = nullptr;
  if (!match || FcPatternGetString(match.get(), FC_FILE, 0, &value) != FcResultMatch) return false;
  out->file = reinterpret_cast<const char*>(value);
  for (int i = 0; FcPatternGetString(match.get(), FC_FAMILY, i, &value) == FcResultMatch; ++i)
    out->families.emplace_back(reinterpret_cast<const char*>(value));
  return true;
}

// Family names compare as fontconfig compares them: blanks and letter case
// do not count.
std::string familyKey(const std::string& name) {
  std::string key;
  for (char c : name)
    if (c != ' ') key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return key;
}

bool namesFamily(const FaceMatch& face, const std::string& family) {
  for (const std::string& name : face.families)
    if (familyKey(name) == familyKey(family)) return true;
  return false;
}

std::string validUtf8(const std::string& text) {
  if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return text;
  std::unique_ptr<gchar, decltype(&g_free)> fixed(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())),
                                                  g_free);
  return fixed ? std::string(fixed.get()) : std::string();
}

// A one-line layout of the text in the font, for drawing on cr.
LayoutPtr makeLayout(cairo_t* cr, const Font& font, const std::string& text, bool antialias) {
  ContextPtr context(pango_font_map_create_context(font.map.get()));
  CairoFontOptionsPtr options(cairo_font_options_create());
  cairo_font_options_set_antialias(options.get(), antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
  cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_ON);
  pango_cairo_context_set_font_options(context.get(), options.get());
  pango_cairo_context_set_resolution(context.get(), kDotsPerInch);
  pango_cairo_update_context(cr, context.get());
  LayoutPtr layout(pango_layout_new(context.get()));
  pango_layout_set_font_description(layout.get(), font.description.get());
  pango_layout_set_attributes(layout.get(), font.attributes.get());
  pango_layout_set_single_paragraph_mode(layout.get(), TRUE);
  std::string valid = validUtf8(text);
  pango_layout_set_text(layout.get(), valid.data(), static_cast<int>(valid.size()));
  return layout;
}

// The box a line is measured, placed and drawn by: the union of pango's
// logical rectangle (the advance and the line height) and its ink rectangle
// (every pixel a glyph touches, rounded outwards), and where the layout's
// own origin lies inside it.
struct LineBox {
  TextSize size;
  int origin_x = 0;
  int origin_y = 0;
};

LineBox lineBox(PangoLayout* layout) {
  PangoRectangle ink{}, logical{};
  pango_layout_get_pixel_extents(layout, &ink, &logical);
  int left = logical.x, top = logical.y;
  int right = logical.x + logical.width, bottom = logical.y + logical.height;
  if (ink.width > 0 && ink.height > 0) {
    left = std::min(left, ink.x);
    top = std::min(top, ink.y);
    right = std::max(right, ink.x + ink.width);
    bottom = std::max(bottom, ink.y + ink.height);
  }
  return LineBox{TextSize{right - left, bottom - top}, -left, -top};
}

// Text is measured on a scratch surface with the same options it is drawn with.
TextSize measure(const Font& font, const std::string& text, bool antialias) {
  SurfacePtr scratch = createSurface(1, 1);
  if (!scratch) return TextSize{};
  CairoPtr cr = beginDrawing(*scratch);
  if (!cr) return TextSize{};
  LayoutPtr layout = makeLayout(cr.get(), font, text, antialias);
  return lineBox(layout.get()).size;
}

AttrListPtr effectAttributes(const FontRequest& request) {
  AttrListPtr list(pango_attr_list_new());
  if (request.underline) pango_attr_list_insert(list.get(), pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
  if (request.strike_out) pango_attr_list_insert(list.get(), pango_attr_strikethrough_new(TRUE));
  return list;
}

}  // namespace

bool fontFamilyAvailable(const std::string& family) {
  if (family.find_first_not_of(" \t") == std::string::npos) return false;
  FaceMatch asked, fallback;
  if (!matchFamily(family, &asked) || !matchFamily(kProbeFamily, &fallback)) return false;
  // fontconfig never fails a match: it substitutes. A name it can only
  // serve with the fallback face is a miss, unless it names that face.
  return asked.file != fallback.file || namesFamily(asked, family);
}

FontPtr loadFont(const FontRequest& request) {
  if (request.size_points < 1 || !fontFamilyAvailable(request.family)) return nullptr;
  FontPtr font(new Font{request, FontMapPtr(pango_cairo_font_map_new()), nullptr, effectAttributes(request)});
  if (!font->map) return nullptr;
  font->description.reset(pango_font_description_new());
  PangoFontDescription* d = font->description.get();
  pango_font_description_set_family(d, request.family.c_str());
  pango_font_description_set_size(d, request.size_points * PANGO_SCALE);
  pango_font_description_set_weight(d, request.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(d, request.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  ContextPtr context(pango_font_map_create_context(font->map.get()));
  std::unique_ptr<PangoFont, GObjectDeleter> face(pango_font_map_load_font(font->map.get(), context.get(), d));
  if (!face) return nullptr;
  return font;
}

const FontRequest& fontRequest(const Font& font) { return font.request; }

TextSize measureText(const Font& font, const std::string& text) { return measure(font, text, false); }

TextSize measureVectorText(const Font& font, const std::string& text) { return measure(font, text, true); }

void drawText(Surface& surface, const Font& font, int x, int y, const std::string& text, uint32_t fore,
              uint32_t back) {
  CairoPtr cr = beginDrawing(surface);
  if (!cr) return;
  LayoutPtr layout = makeLayout(cr.get(), font, text, false);
  const LineBox box = lineBox(layout.get());
  cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
  cairo_set_antialias(cr.get(), CAIRO_ANTIALIAS_NONE);
  setSourceColor(cr.get(), back);
  cairo_rectangle(cr.get(), x, y, box.size.width, box.size.height);
  cairo_fill(cr.get());
  setSourceColor(cr.get(), fore);
  cairo_move_to(cr.get(), x + box.origin_x, y + box.origin_y);
  pango_cairo_show_layout(cr.get(), layout.get());
}

void drawVectorText(Surface& surface, const Font& font, int x, int y, const std::string& text, uint32_t color) {
  CairoPtr cr = beginDrawing(surface);
  if (!cr) return;
  LayoutPtr layout = makeLayout(cr.get(), font, text, true);
  const LineBox box = lineBox(layout.get());
  cairo_move_to(cr.get(), x + box.origin_x, y + box.origin_y);
  pango_cairo_layout_path(cr.get(), layout.get());
  setSourceColor(cr.get(), color);
  cairo_set_antialias(cr.get(), CAIRO_ANTIALIAS_GRAY);
  cairo_fill(cr.get());
}

}  // namespace pixolune
