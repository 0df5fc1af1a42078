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

/// Number of code points in UTF-8 text.
size_t utf8Length(std::string_view text);

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_TEXT_H_
