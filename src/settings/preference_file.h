// Reader and writer of grouped key/value text files: the settings file and
// the console profiles.
//
// Syntax: UTF-8 after a byte-order mark, otherwise Latin-1; lines end with
// CR, LF or CR LF; leading spaces and tabs are skipped and empty lines
// ignored; ";" starts a comment, "[name]" a group, anything else is an entry
// "key = value". Groups and keys match without regard to ASCII letter case;
// within a group the first matching key wins. The writer emits the mark, an
// empty line, then one line per node, each ended by CR LF.
#ifndef PIXOLUNE_SETTINGS_PREFERENCE_FILE_H_
#define PIXOLUNE_SETTINGS_PREFERENCE_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace pixolune {

/// One open file, either read (openPreferences) or written
/// (createPreferences). Not shared between threads.
class PreferenceFile {
 public:
  PreferenceFile() = default;
  PreferenceFile(const PreferenceFile&) = delete;
  PreferenceFile& operator=(const PreferenceFile&) = delete;
  /// A file still open for writing is dropped unwritten.
  ~PreferenceFile() = default;

  /// Reads and parses an existing file, replacing whatever was open. False
  /// when it is not a readable regular file (nothing is open then).
  bool openPreferences(const std::string& path);

  /// Starts a new file for writing. Nothing touches the disk until
  /// closePreferences, which replaces the file as a whole. False when the
  /// folder that would hold it does not exist or is not writable.
  bool createPreferences(const std::string& path);

  /// Makes `name` the current group. Reading: later searches look only at
  /// the entries below that group's first header, up to the next header; a
  /// missing group makes every read give its default. Writing: the header is
  /// written just before the next entry or comment, so a group that receives
  /// nothing does not appear.
  void selectGroup(std::string_view name);

  /// The value of `key` in the current group, or `fallback` when the group or
  /// the key is missing (or the file is not open for reading). Integers: an
  /// optional sign and decimal digits up to the first other character, 0 for
  /// a value without leading digits. Floats: a decimal number, "+Infinity" or
  /// "-Infinity", 0 for anything else.
  int32_t readInteger(std::string_view key, int32_t fallback) const;
  float readFloat(std::string_view key, float fallback) const;
  std::string readText(std::string_view key, std::string_view fallback) const;

  /// Append one line after the last written one (no effect unless the file
  /// was created for writing). Integers in decimal, floats with six decimals
  /// ("1.000000"; infinities as "+Infinity" and "-Infinity"), texts as given.
  void writeInteger(std::string_view key, int32_t value);
  void writeFloat(std::string_view key, float value);
  void writeText(std::string_view key, std::string_view value);
  void writeComment(std::string_view text);

  /// Walk the entries of the current group in file order, skipping comments;
  /// both return whether an entry is current.
  bool firstEntryOfGroup();
  bool nextEntry();
  /// Key and value of the current entry; empty when there is none.
  std::string entryKey() const;
  std::string entryValue() const;

  /// Writing: replaces the file with the whole text through `fs`
  /// (replaceFile), so a failure leaves the old file as it was, and returns
  /// false on failure (err, if given, says why). Then, in every mode,
  /// forgets the contents; the object can be opened again.
  bool closePreferences(std::string* err = nullptr, FileSystem& fs = realFileSystem());

 private:
  enum class Mode { kClosed, kReading, kWriting };
  enum class NodeKind { kGroup, kComment, kEntry };
  struct Node {
    NodeKind kind;
    std::string name;   // Group name, comment text or key.
    std::string value;  // Entry value.
  };

  void parse(const std::string& text);
  void append(NodeKind kind, std::string_view name, std::string_view value);
  const Node* findEntry(std::string_view key) const;
  bool seekEntry(size_t from);
  std::string serialise() const;

  Mode mode_ = Mode::kClosed;
  std::string path_;
  std::vector<Node> nodes_;
  bool group_found_ = false;
  size_t group_begin_ = 0;  // First node after the current group's header.
  std::string pending_group_;
  bool group_pending_ = false;
  size_t entry_ = 0;        // Current entry of the enumeration.
  bool entry_valid_ = false;
};

/// Integer value as the reader takes it: optional sign, decimal digits up to
/// the first other character (wrapping modulo 2^32), 0 without digits.
int32_t parsePreferenceInteger(std::string_view text);

/// Float value as the reader takes it (see readFloat).
float parsePreferenceFloat(std::string_view text);

/// Float text as the writer writes it.
std::string formatPreferenceFloat(float value);

}  // namespace pixolune

#endif  // PIXOLUNE_SETTINGS_PREFERENCE_FILE_H_
