#include "settings/preference_file.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/files.h"
#include "platform/folder_files.h"
#include "platform/text.h"

namespace pixolune {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kBlanks = " \t";

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  return true;
}

std::string trimEnd(std::string_view text) {
  size_t end = text.find_last_not_of(kBlanks);
  return end == std::string_view::npos ? std::string() : std::string(text.substr(0, end + 1));
}

}  // namespace

int32_t parsePreferenceInteger(std::string_view text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10u + static_cast<uint32_t>(text[i] - '0');
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

float parsePreferenceFloat(std::string_view text) {
  if (text == "+Infinity") return std::numeric_limits<float>::infinity();
  if (text == "-Infinity") return -std::numeric_limits<float>::infinity();
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  // Only digits may start a number: "inf" and "nan" spellings read as 0.
  if (text.empty() || !((text[0] >= '0' && text[0] <= '9') || text[0] == '.')) return 0.0f;
  double value = 0.0;
  if (std::from_chars(text.data(), text.data() + text.size(), value).ec != std::errc()) return 0.0f;
  if (value > std::numeric_limits<float>::max()) value = std::numeric_limits<float>::infinity();
  return static_cast<float>(negative ? -value : value);
}

std::string formatPreferenceFloat(float value) {
  if (std::isinf(value)) return value > 0 ? "+Infinity" : "-Infinity";
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                                 std::chars_format::fixed, 6);
  if (ec != std::errc()) return "0.000000";
  return std::string(buffer, end);
}

bool PreferenceFile::openPreferences(const std::string& path) {
  closePreferences();
  std::string bytes;
  if (!isRegularFile(path) || !readWholeFile(path, &bytes)) return false;
  path_ = path;
  mode_ = Mode::kReading;
  parse(decodeTextFile(bytes));
  return true;
}

bool PreferenceFile::createPreferences(const std::string& path) {
  closePreferences();
  if (path.empty() || path.back() == '/') return false;
  std::string folder = folderOf(path);
  if (folder.empty()) folder = ".";
  if (!isFolder(folder) || !folderWritable(folder)) return false;
  path_ = path;
  mode_ = Mode::kWriting;
  return true;
}

void PreferenceFile::parse(const std::string& text) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + pos, end - pos);
    pos = end + 1;
    size_t start = line.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) continue;
    line.remove_prefix(start);
    if (line[0] == ';') {
      line.remove_prefix(1);
      if (!line.empty() && line[0] == ' ') line.remove_prefix(1);
      append(NodeKind::kComment, line, {});
    } else if (line[0] == '[') {
      line.remove_prefix(1);
      append(NodeKind::kGroup, line.substr(0, line.find(']')), {});
    } else {
      size_t equals = line.find('=');
      std::string_view value = equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1);
      // An entry without "=" is a key with an empty value.
      append(NodeKind::kEntry, trimEnd(line.substr(0, equals)), trim(value, kBlanks));
    }
  }
}

void PreferenceFile::append(NodeKind kind, std::string_view name, std::string_view value) {
  nodes_.push_back(Node{kind, std::string(name), std::string(value)});
}

void PreferenceFile::selectGroup(std::string_view name) {
  entry_valid_ = false;
  if (mode_ == Mode::kWriting) {
    pending_group_ = name;
    group_pending_ = true;
    return;
  }
  group_found_ = false;
  for (size_t i = 0; i < nodes_.size() && !group_found_; ++i) {
    if (nodes_[i].kind == NodeKind::kGroup && equalIgnoringCase(nodes_[i].name, name)) {
      group_found_ = true;
      group_begin_ = i + 1;
    }
  }
}

const PreferenceFile::Node* PreferenceFile::findEntry(std::string_view key) const {
  if (mode_ != Mode::kReading || !group_found_) return nullptr;
  for (size_t i = group_begin_; i < nodes_.size() && nodes_[i].kind != NodeKind::kGroup; ++i)
    if (nodes_[i].kind == NodeKind::kEntry && equalIgnoringCase(nodes_[i].name, key)) return &nodes_[i];
  return nullptr;
}

int32_t PreferenceFile::readInteger(std::string_view key, int32_t fallback) const {
  const Node* entry = findEntry(key);
  return entry ? parsePreferenceInteger(entry->value) : fallback;
}

float PreferenceFile::readFloat(std::string_view key, float fallback) const {
  const Node* entry = findEntry(key);
  return entry ? parsePreferenceFloat(entry->value) : fallback;
}

std::string PreferenceFile::readText(std::string_view key, std::string_view fallback) const {
  const Node* entry = findEntry(key);
  return entry ? entry->value : std::string(fallback);
}

void PreferenceFile::writeInteger(std::string_view key, int32_t value) {
  writeText(key, std::to_string(value));
}

void PreferenceFile::writeFloat(std::string_view key, float value) {
  writeText(key, formatPreferenceFloat(value));
}

void PreferenceFile::writeText(std::string_view key, std::string_view value) {
  if (mode_ != Mode::kWriting) return;
  if (group_pending_) append(NodeKind::kGroup, pending_group_, {});
  group_pending_ = false;
  append(NodeKind::kEntry, key, value);
}

void PreferenceFile::writeComment(std::string_view text) {
  if (mode_ != Mode::kWriting) return;
  if (group_pending_) append(NodeKind::kGroup, pending_group_, {});
  group_pending_ = false;
  append(NodeKind::kComment, text, {});
}

bool PreferenceFile::seekEntry(size_t from) {
  entry_valid_ = false;
  for (size_t i = from; i < nodes_.size() && nodes_[i].kind != NodeKind::kGroup; ++i) {
    if (nodes_[i].kind == NodeKind::kEntry) {
      entry_ = i;
      entry_valid_ = true;
      break;
    }
  }
  return entry_valid_;
}

bool PreferenceFile::firstEntryOfGroup() {
  if (mode_ != Mode::kReading || !group_found_) return entry_valid_ = false;
  return seekEntry(group_begin_);
}

bool PreferenceFile::nextEntry() { return entry_valid_ && seekEntry(entry_ + 1); }

std::string PreferenceFile::entryKey() const { return entry_valid_ ? nodes_[entry_].name : std::string(); }

std::string PreferenceFile::entryValue() const { return entry_valid_ ? nodes_[entry_].value : std::string(); }

std::string PreferenceFile::serialise() const {
  std::string text(kByteOrderMark);
  text += kLineEnd;
  for (const Node& node : nodes_) {
    switch (node.kind) {
      case NodeKind::kGroup: text += "[" + node.name + "]"; break;
      case NodeKind::kComment: text += "; " + node.name; break;
      case NodeKind::kEntry: text += node.name + " = " + node.value; break;
    }
    text += kLineEnd;
  }
  return text;
}

bool PreferenceFile::closePreferences(std::string* err, FileSystem& fs) {
  bool ok = true;
  if (mode_ == Mode::kWriting) {
    const Status st = replaceFile(path_, serialise(), fs);
    ok = st.ok();
    if (!ok && err) *err = st.message();
  }
  mode_ = Mode::kClosed;
  path_.clear();
  nodes_.clear();
  group_found_ = false;
  group_begin_ = 0;
  pending_group_.clear();
  group_pending_ = false;
  entry_valid_ = false;
  return ok;
}

}  // namespace pixolune
