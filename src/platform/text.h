// Text helpers: letter case by Unicode rules (UTF-8), trimming, splitting.
#ifndef PIXOLUNE_PLATFORM_TEXT_H_
#define PIXOLUNE_PLATFORM_TEXT_H_

#include <string>
#include <string_view>
#include <vector>

namespace pixolune {

/// Unicode upper and lower case of UTF-8 text. Invalid UTF-8 is returned unchanged.
std::string toUpper(std::string_view text);
std::string toLower(std::string_view text);

/// First character upper case, every further character lower case.
std::string titleCase(std::string_view text);

/// Removes the given characters from both ends (default: spaces).
std::string trim(std::string_view text, std::string_view chars = " ");

/// Case-insensitive (ASCII letters) search; npos when absent.
size_t findIgnoreCase(std::string_view text, std::string_view needle, size_t from = 0);

/// Replaces every occurrence of needle (ASCII case ignored) by replacement.
std::string replaceIgnoreCase(std::string_view text, std::string_view needle, std::string_view replacement);

/// Splits at every separator; an empty text gives one empty field.
std::vector<std::string> split(std::string_view text, char separator);

/// The text of a file's bytes as UTF-8: UTF-8, UTF-16 or UTF-32 (either
/// byte order) when it starts with a byte-order mark (the mark is removed);
/// without one UTF-8, except that a line holding bytes that are not valid
/// UTF-8 is read as Latin-1. Broken UTF-16/32 units become U+FFFD.
std::string decodeTextFile(std::string_view bytes);

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_TEXT_H_
