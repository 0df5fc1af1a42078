// Conversions at the boundary to wxWidgets: UTF-8 text and RGBA pictures.
#ifndef PIXOLUNE_UI_WX_CONVERT_H_
#define PIXOLUNE_UI_WX_CONVERT_H_

#include <wx/bitmap.h>
#include <wx/string.h>

#include <string>

#include "resources/png_decode.h"
#include "resources/themes.h"

namespace pixolune {

inline wxString toWx(const std::string& text) { return wxString::FromUTF8(text.data(), text.size()); }
inline std::string fromWx(const wxString& text) { return std::string(text.utf8_str()); }

/// The picture as a bitmap of `size` x `size` pixels (scaled smoothly when
/// its size differs; 0 keeps its own size). An invalid picture gives a fully
/// transparent bitmap of that size, so toolbars and menus always get one.
wxBitmap pictureBitmap(const Picture& picture, int size = 0);

/// The picture `name` of `set` (see resources/themes.h) as pictureBitmap.
wxBitmap namedBitmap(const ImageSet& set, const char* name, int size = 0);

}  // namespace pixolune

#endif  // PIXOLUNE_UI_WX_CONVERT_H_
