// The pictures compiled into the program, as PNG bytes. The table is
// generated at build time (see cmake/data.cmake).
#ifndef PIXOLUNE_RESOURCES_BUILTIN_PICTURES_H_
#define PIXOLUNE_RESOURCES_BUILTIN_PICTURES_H_

#include <cstddef>
#include <span>

namespace pixolune {

/// One picture: "button/<name>" (64 or 48 pixels), "icon/<name>" (16
/// pixels), "image/0" (360 x 40, opaque) or "image/1" (270 x 75).
struct BuiltinPicture {
  const char* name;
  const unsigned char* data;
  size_t size;
};

/// Every built-in picture; the bytes live for the whole run.
std::span<const BuiltinPicture> builtinPictures();

}  // namespace pixolune

#endif  // PIXOLUNE_RESOURCES_BUILTIN_PICTURES_H_
