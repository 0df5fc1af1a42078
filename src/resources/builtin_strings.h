// The English text built into the program: the source of the string table.
#ifndef PIXOLUNE_RESOURCES_BUILTIN_STRINGS_H_
#define PIXOLUNE_RESOURCES_BUILTIN_STRINGS_H_

#include <span>

namespace pixolune {

/// The built-in text block, read two strings at a time as (first, second)
/// pairs: ("_GROUP_", name) opens a group, ("_END_", "") ends the block, and
/// any other pair is an entry of the current group (key, English text). Texts
/// hold "\r\n" for their line breaks. Static storage; never changes.
std::span<const char* const> builtinStringBlock();

}  // namespace pixolune

#endif  // PIXOLUNE_RESOURCES_BUILTIN_STRINGS_H_
