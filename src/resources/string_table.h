// The string table: every text the user sees, looked up by group and key, and
// the placeholder substitution that puts values into messages.
#ifndef PIXOLUNE_RESOURCES_STRING_TABLE_H_
#define PIXOLUNE_RESOURCES_STRING_TABLE_H_

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pixolune {

/// The text returned for a group or key that does not exist.
inline constexpr const char* kNoStringError = "%NO_STRING_ERROR%";

/// One group of the table. Its entries are first..last inclusive (first > last
/// for an empty group), sorted by their upper-cased keys.
struct StringGroup {
  std::string name;  // Upper case.
  int32_t first = 1;
  int32_t last = 0;
  // Slot c: index of the group's first entry whose key begins with the
  // character of code c, 0 when there is none.
  std::array<int32_t, 256> first_char_slot{};
};

/// Index 0 of every array holds nothing, so 0 can mean "none".
struct StringTable {
  int32_t group_count = 0;
  std::vector<StringGroup> groups;  // group_count + 1 records.
  std::vector<std::string> keys;    // Upper case, parallel to texts.
  std::vector<std::string> texts;
  std::atomic<int32_t> cached_group{0};  // Group of the previous lookup, 0 none.
};

/// The process-wide table.
StringTable& stringTable();

/// Builds the table from the built-in English block, replacing any earlier
/// table. Always returns true.
/// REQUIRES: no other thread is looking texts up (call it at start-up).
bool loadStringTable();

/// Builds the table from a block of (first, second) pairs as described for
/// builtinStringBlock(); pairs after ("_END_", ...) are ignored and a block
/// without that pair ends with its last complete pair. Tests use it with
/// blocks of their own. Same threading rule as loadStringTable.
void buildStringTable(std::span<const char* const> block);

/// The text of `key` in `group`, both matched without regard to letter case,
/// or kNoStringError when either does not exist. Safe to call from several
/// threads once the table is built.
std::string getText(std::string_view group, std::string_view key);

/// Replaces every "%s1%".."%s4%" (letter case ignored) by the matching
/// argument, first to fourth, each in turn, so a placeholder inside an
/// earlier argument is filled by a later one. An empty argument leaves its
/// placeholder as it is; an empty text is returned unchanged.
std::string formatMessage(std::string_view text, std::string_view arg1 = {}, std::string_view arg2 = {},
                          std::string_view arg3 = {}, std::string_view arg4 = {});

}  // namespace pixolune

#endif  // PIXOLUNE_RESOURCES_STRING_TABLE_H_
