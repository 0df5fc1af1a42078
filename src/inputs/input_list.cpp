#include "inputs/input_list.h"

#include <set>

#include "inputs/input_extensions.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/text.h"

namespace pixolune {

bool console_mode = false;

namespace {

constexpr size_t kIndexSlots = 512;

AddFileHook& addFileHook() {
  static AddFileHook hook;
  return hook;
}

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// True when a "/"-separated step of `folder` is "." or "..".
bool hasDotStep(const std::string& folder) {
  for (const std::string& step : split(folder, '/'))
    if (step == "." || step == "..") return true;
  return false;
}

int collectBelow(const std::string& folder, const std::string& input_folder, std::set<FolderIdentity>* on_the_way) {
  FolderIdentity identity;
  if (!folderIdentity(folder, &identity) || !on_the_way->insert(identity).second) return 0;
  std::vector<FolderEntry> entries;
  listFolder(folder, &entries);
  int added = 0;
  for (const FolderEntry& entry : entries) {
    if (entry.is_folder) added += collectBelow(withTrailingSlash(folder + entry.name), input_folder, on_the_way);
    else if (addInputFile(folder + entry.name, input_folder)) ++added;
  }
  on_the_way->erase(identity);
  return added;
}

}  // namespace

InputList::InputList() { index_.reserve(kIndexSlots); }

InputEntry& InputList::lookup(const std::string& path) {
  auto found = index_.find(path);
  if (found != index_.end()) return found->second->second;
  entries_.emplace_back(path, InputEntry{});
  index_.emplace(path, std::prev(entries_.end()));
  return entries_.back().second;
}

const InputEntry* InputList::find(const std::string& path) const {
  auto found = index_.find(path);
  return found == index_.end() ? nullptr : &found->second->second;
}

bool InputList::isListed(const std::string& path) const {
  const InputEntry* entry = find(path);
  return entry && entry->listed != 0;
}

bool InputList::remove(const std::string& path) {
  auto found = index_.find(path);
  if (found == index_.end()) return false;
  entries_.erase(found->second);
  index_.erase(found);
  return true;
}

void InputList::clear() {
  entries_.clear();
  index_.clear();
}

size_t InputList::count() const {
  size_t n = 0;
  for (const auto& [path, entry] : entries_)
    if (entry.listed != 0) ++n;
  return n;
}

std::vector<std::string> InputList::listedPaths() const {
  std::vector<std::string> paths;
  for (const auto& [path, entry] : entries_)
    if (entry.listed != 0) paths.push_back(path);
  return paths;
}

InputList& inputList() {
  static InputList list;
  return list;
}

void setAddFileHook(AddFileHook hook) { addFileHook() = std::move(hook); }

std::string inputExtensionOf(const std::string& path) {
  for (size_t i = path.size(); i-- > 0;) {
    char c = path[i];
    if (c == ' ' || isSeparator(c)) return "";
    if (c != '.') continue;
    if (i > 0 && isSeparator(path[i - 1])) return "";
    std::string extension = path.substr(i + 1);
    size_t quote = extension.find('"');
    if (quote != std::string::npos) extension.resize(quote);
    return toLower(extension);
  }
  return "";
}

std::string sourceSubfolderOf(const std::string& path, const std::string& root) {
  if (path.empty() || root.empty()) return "";
  const std::string folder = folderOf(path);
  const std::string prefix = withTrailingSlash(root);
  if (folder.compare(0, prefix.size(), prefix) != 0) return "";
  std::string rest = folder.substr(prefix.size());
  return hasDotStep(rest) ? "" : rest;
}

bool addInputFile(const std::string& path, const std::string& input_folder) {
  if (fileSize(path) == 0 || isFolder(path)) return false;
  if (!isInputExtension(inputExtensionOf(path))) return false;
  InputEntry& entry = inputList().lookup(path);
  if (entry.listed != 0) return false;
  entry.listed = 1;
  entry.source_subfolder = sourceSubfolderOf(path, input_folder);
  if (!console_mode && addFileHook()) addFileHook()(path);
  return true;
}

int addNamedInput(const std::string& path, std::string* input_folder) {
  if (isFolder(path)) {
    *input_folder = withTrailingSlash(path);
    return collectFolder(*input_folder, *input_folder);
  }
  input_folder->clear();  // A named document goes straight into the output folder.
  InputEntry& entry = inputList().lookup(path);
  if (entry.listed != 0) return 0;
  entry.listed = 1;
  entry.source_subfolder.clear();
  if (!console_mode && addFileHook()) addFileHook()(path);
  return 1;
}

int collectFolder(const std::string& folder, const std::string& input_folder) {
  std::set<FolderIdentity> on_the_way;
  return collectBelow(withTrailingSlash(folder), input_folder, &on_the_way);
}

void resetInputState() {
  console_mode = false;
  inputList().clear();
  rebuildInputExtensions();
}

}  // namespace pixolune
