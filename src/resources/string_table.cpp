#include "resources/string_table.h"

#include <glib.h>

#include <algorithm>

#include "platform/text.h"
#include "resources/builtin_strings.h"

namespace pixolune {

namespace {

constexpr char kKeySeparator = '\x01';

bool isPair(std::string_view first, const char* word) { return toUpper(first) == word; }

/// Code of the first character of UTF-8 text; -1 when empty or invalid.
int32_t firstCharCode(const std::string& text) {
  if (text.empty()) return -1;
  gunichar c = g_utf8_get_char_validated(text.data(), static_cast<gssize>(text.size()));
  if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) return -1;
  return static_cast<int32_t>(c);
}

/// Number of pairs up to (not including) the end pair.
size_t pairsBeforeEnd(std::span<const char* const> block) {
  size_t pairs = 0;
  while (pairs * 2 + 1 < block.size() && !isPair(block[pairs * 2], "_END_")) ++pairs;
  return pairs;
}

/// Sorts a group's "KEY\x01text" entries, splits them and fills its slots.
void finishGroup(StringTable& table, StringGroup& group) {
  if (group.first > group.last) return;
  std::sort(table.texts.begin() + group.first, table.texts.begin() + group.last + 1);
  int32_t previous = -1;
  for (int32_t j = group.first; j <= group.last; ++j) {
    std::string& joined = table.texts[j];
    size_t cut = joined.find(kKeySeparator);
    table.keys[j] = joined.substr(0, cut);
    joined.erase(0, cut + 1);
    int32_t code = firstCharCode(table.keys[j]);
    if (code != previous && code >= 0 && code < 256) group.first_char_slot[code] = j;
    previous = code;
  }
}

}  // namespace

StringTable& stringTable() {
  static StringTable table;
  return table;
}

void buildStringTable(std::span<const char* const> block) {
  const size_t pairs = pairsBeforeEnd(block);
  size_t group_total = 0;
  for (size_t i = 0; i < pairs; ++i)
    if (isPair(block[i * 2], "_GROUP_")) ++group_total;

  StringTable& table = stringTable();
  table.group_count = static_cast<int32_t>(group_total);
  table.groups.assign(group_total + 1, StringGroup());
  table.keys.assign(pairs - group_total + 1, std::string());
  table.texts.assign(pairs - group_total + 1, std::string());
  table.cached_group = 0;

  int32_t g = 0, n = 0;
  for (size_t i = 0; i < pairs; ++i) {
    const char* first = block[i * 2];
    const char* second = block[i * 2 + 1];
    if (isPair(first, "_GROUP_")) {
      table.groups[g].last = n;
      StringGroup& group = table.groups[++g];
      group.name = toUpper(second);
      group.first = n + 1;
    } else {
      table.texts[++n] = toUpper(first) + kKeySeparator + second;
    }
  }
  table.groups[g].last = n;
  for (int32_t i = 1; i <= table.group_count; ++i) finishGroup(table, table.groups[i]);
}

bool loadStringTable() {
  buildStringTable(builtinStringBlock());
  return true;
}

std::string getText(std::string_view group_name, std::string_view key_text) {
  const StringTable& table = stringTable();
  const std::string group = toUpper(group_name);
  const std::string key = toUpper(key_text);

  int32_t g = table.cached_group.load(std::memory_order_relaxed);
  if (g <= 0 || g > table.group_count || table.groups[g].name != group) {
    g = 0;
    for (int32_t i = 1; i <= table.group_count && g == 0; ++i)
      if (table.groups[i].name == group) g = i;
    stringTable().cached_group.store(g, std::memory_order_relaxed);
  }
  if (g == 0) return kNoStringError;

  int32_t code = firstCharCode(key);
  if (code < 0 || code >= 256) return kNoStringError;
  const StringGroup& found = table.groups[g];
  for (int32_t j = found.first_char_slot[code]; j != 0 && j <= found.last; ++j) {
    int order = key.compare(table.keys[j]);
    if (order == 0) return table.texts[j];
    if (order < 0) break;
  }
  return kNoStringError;
}

std::string formatMessage(std::string_view text, std::string_view arg1, std::string_view arg2,
                          std::string_view arg3, std::string_view arg4) {
  static constexpr const char* kPlaceholders[] = {"%s1%", "%s2%", "%s3%", "%s4%"};
  const std::string_view args[] = {arg1, arg2, arg3, arg4};
  std::string result(text);
  if (result.empty()) return result;
  for (int i = 0; i < 4; ++i)
    if (!args[i].empty()) result = replaceIgnoreCase(result, kPlaceholders[i], args[i]);
  return result;
}

}  // namespace pixolune
