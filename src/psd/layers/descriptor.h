// Photoshop's action descriptors: the keyed, typed trees in which fill
// layers, effects and newer adjustments keep their settings.
#ifndef PIXOLUNE_PSD_LAYERS_DESCRIPTOR_H_
#define PIXOLUNE_PSD_LAYERS_DESCRIPTOR_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pixolune {

struct DescItem;

/// One value of a descriptor. Objects keep their items in order; lists
/// their values. Numbers (doubles, integers, unit values) share `number`.
struct DescValue {
  std::string type;   // "Objc", "VlLs", "doub", "UntF", "long", "bool", "enum", "TEXT", ...
  std::string class_id;                                 // Objects: their class; enums: the value.
  double number = 0;
  bool flag = false;
  std::string text;
  std::vector<DescItem> items;                           // Objects.
  std::vector<DescValue> list;                           // Lists.

  /// The item of an object with this key, or null.
  const DescValue* get(const char* key) const;
  /// The number of the item with this key, or `fallback` when it is absent.
  double num(const char* key, double fallback) const;
  /// The flag of the item with this key, or `fallback` when it is absent.
  bool on(const char* key, bool fallback) const;
};

/// One item of an object. (A pair of a key and a DescValue would name
/// the pair while DescValue is incomplete, which not every standard
/// library accepts.)
struct DescItem {
  std::string key;
  DescValue value;
};

/// UTF-16 (big-endian) of `units` units to UTF-8, up to the first NUL;
/// unpaired surrogates become U+FFFD.
std::string utf8FromUtf16(const uint8_t* p, size_t units);

/// Parses a descriptor (class name, class id, items) from data[0..size).
/// Returns false when it is truncated, nested too deeply or holds a type
/// this reader does not know; *out is then unspecified.
bool parseDescriptor(const uint8_t* data, size_t size, DescValue* out);

/// Parses the descriptor of a block that begins with `skip` bytes of
/// version fields (4 for "SoCo", "GdFl", "PtFl"; 8 for "lfx2"); false as
/// parseDescriptor.
bool parseBlockDescriptor(const std::vector<uint8_t>& block, size_t skip, DescValue* out);

}  // namespace pixolune

#endif  // PIXOLUNE_PSD_LAYERS_DESCRIPTOR_H_
