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

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(char32_t c, std::string* out) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

uint8_t byteAt(std::string_view bytes, size_t i) { return static_cast<uint8_t>(bytes[i]); }

char16_t unitAt(std::string_view bytes, size_t i, bool big_endian) {
  uint8_t a = byteAt(bytes, i), b = byteAt(bytes, i + 1);
  return static_cast<char16_t>(big_endian ? (a << 8 | b) : (b << 8 | a));
}

std::string decodeUtf16(std::string_view bytes, size_t start, bool big_endian) {
  std::string out;
  for (size_t i = start; i < bytes.size(); i += 2) {
    if (i + 1 >= bytes.size()) {
      appendUtf8(kReplacement, &out);  // A lone trailing byte.
      break;
    }
    char16_t unit = unitAt(bytes, i, big_endian);
    bool high = unit >= 0xD800 && unit <= 0xDBFF;
    if (high && i + 3 < bytes.size()) {
      char16_t low = unitAt(bytes, i + 2, big_endian);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        appendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), &out);
        i += 2;
        continue;
      }
    }
    appendUtf8(unit, &out);  // Lone surrogates become U+FFFD there.
  }
  return out;
}

std::string decodeUtf32(std::string_view bytes, size_t start, bool big_endian) {
  std::string out;
  for (size_t i = start; i < bytes.size(); i += 4) {
    if (i + 3 >= bytes.size()) {
      appendUtf8(kReplacement, &out);
      break;
    }
    char32_t c = 0;
    for (size_t k = 0; k < 4; ++k) c |= static_cast<char32_t>(byteAt(bytes, i + k)) << (big_endian ? 24 - 8 * k : 8 * k);
    appendUtf8(c, &out);
  }
  return out;
}

bool startsWith(std::string_view bytes, const char* mark, size_t length) {
  return bytes.size() >= length && bytes.compare(0, length, mark, length) == 0;
}

// True when the bytes are well-formed UTF-8 (shortest forms, no surrogates).
bool isValidUtf8(std::string_view text) {
  return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
}

// Bytes without a mark: UTF-8, except lines that are not valid UTF-8,
// which are read as Latin-1 (every byte one character).
std::string decodeUnmarked(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    end = end == std::string_view::npos ? bytes.size() : end + 1;
    std::string_view line = bytes.substr(start, end - start);
    if (isValidUtf8(line)) {
      out += line;
    } else {
      for (char c : line) appendUtf8(static_cast<unsigned char>(c), &out);
    }
    start = end;
  }
  return out;
}

}  // namespace

std::string decodeTextFile(std::string_view bytes) {
  if (startsWith(bytes, "\xEF\xBB\xBF", 3)) return decodeUnmarked(bytes.substr(3));
  if (startsWith(bytes, "\x00\x00\xFE\xFF", 4)) return decodeUtf32(bytes, 4, true);
  if (startsWith(bytes, "\xFF\xFE\x00\x00", 4)) return decodeUtf32(bytes, 4, false);
  if (startsWith(bytes, "\xFF\xFE", 2)) return decodeUtf16(bytes, 2, false);
  if (startsWith(bytes, "\xFE\xFF", 2)) return decodeUtf16(bytes, 2, true);
  return decodeUnmarked(bytes);
}

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

}  // namespace pixolune
