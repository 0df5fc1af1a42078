#include "platform/text.h"

#include <glib.h>

#include <memory>

namespace pixolune {

namespace {

using GString = std::unique_ptr<gchar, decltype(&g_free)>;

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoreCaseAt(std::string_view text, size_t pos, std::string_view needle) {
  if (pos + needle.size() > text.size()) return false;
  for (size_t i = 0; i < needle.size(); ++i)
    if (asciiLower(text[pos + i]) != asciiLower(needle[i])) return false;
  return true;
}

}  // namespace

std::string toUpper(std::string_view text) {
  if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return std::string(text);
  GString up(g_utf8_strup(text.data(), static_cast<gssize>(text.size())), g_free);
  return up ? std::string(up.get()) : std::string(text);
}

std::string toLower(std::string_view text) {
  if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return std::string(text);
  GString down(g_utf8_strdown(text.data(), static_cast<gssize>(text.size())), g_free);
  return down ? std::string(down.get()) : std::string(text);
}

std::string titleCase(std::string_view text) {
  if (text.empty() || !g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
    return std::string(text);
  const char* second = g_utf8_next_char(text.data());
  size_t first_len = static_cast<size_t>(second - text.data());
  return toUpper(text.substr(0, first_len)) + toLower(text.substr(first_len));
}

std::string trim(std::string_view text, std::string_view chars) {
  size_t b = text.find_first_not_of(chars);
  if (b == std::string_view::npos) return "";
  size_t e = text.find_last_not_of(chars);
  return std::string(text.substr(b, e - b + 1));
}

size_t findIgnoreCase(std::string_view text, std::string_view needle, size_t from) {
  if (needle.empty()) return from <= text.size() ? from : std::string_view::npos;
  for (size_t i = from; i + needle.size() <= text.size(); ++i)
    if (equalsIgnoreCaseAt(text, i, needle)) return i;
  return std::string_view::npos;
}

std::string replaceIgnoreCase(std::string_view text, std::string_view needle, std::string_view replacement) {
  if (needle.empty()) return std::string(text);
  std::string out;
  size_t pos = 0;
  for (size_t hit; (hit = findIgnoreCase(text, needle, pos)) != std::string_view::npos; pos = hit + needle.size()) {
    out.append(text.substr(pos, hit - pos));
    out.append(replacement);
  }
  out.append(text.substr(pos));
  return out;
}

std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> fields;
  size_t pos = 0;
  for (size_t hit; (hit = text.find(separator, pos)) != std::string_view::npos; pos = hit + 1)
    fields.emplace_back(text.substr(pos, hit - pos));
  fields.emplace_back(text.substr(pos));
  return fields;
}

size_t utf8Length(std::string_view text) {
  size_t n = 0;
  for (char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

}  // namespace pixolune
