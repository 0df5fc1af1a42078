#include "run/stale_temporaries.h"

#include <climits>
#include <map>
#include <vector>

#include "platform/files.h"
#include "platform/folder_files.h"
#include "platform/processes.h"
#include "resources/product.h"

namespace pixolune {

namespace {

constexpr char kMarker[] = ".pxl-";

// Digits from `at` up to `end` (at least one) as a number, or -1 when they
// are not all digits or the number is larger than a process id can be.
long long digitsAt(const std::string& text, size_t at, size_t end) {
  if (at >= end || end - at > 10) return -1;
  long long value = 0;
  for (size_t i = at; i < end; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// The programs that write temporary names: this program and its helper,
// which is named after it, under their usual names or the names this
// program runs under.
bool isOurProgramName(const std::string& name) {
  for (std::string program : {std::string(kProgramFileName), std::string()}) {
    if (program.empty() && processProgram(currentProcessId(), &program)) program = fileNameOf(program);
    if (!program.empty() && (name == program || name == program + "-helper")) return true;
  }
  return false;
}

}  // namespace

bool parseTemporaryName(const std::string& name, long* pid) {
  const size_t at = name.rfind(kMarker);
  if (at == std::string::npos || at == 0) return false;
  const size_t id_from = at + sizeof kMarker - 1;
  const size_t dash = name.find('-', id_from);
  if (dash == std::string::npos) return false;
  const long long id = digitsAt(name, id_from, dash);
  if (id <= 0 || id > INT_MAX || digitsAt(name, dash + 1, name.size()) < 0) return false;
  *pid = static_cast<long>(id);
  return true;
}

bool temporaryWriterMayLive(long pid) {
  if (pid <= 0) return false;
  if (pid == currentProcessId()) return true;
  if (!processMayExist(pid)) return false;
  std::string program;
  if (processProgram(pid, &program)) return isOurProgramName(fileNameOf(program));
  // Another user's process, or one that has ended and is not yet reaped:
  // only its name is there. A helper started as /proc/self/exe is "exe".
  std::string name;
  if (!processName(pid, &name)) return true;  // Nothing tells: it may be ours.
  return isOurProgramName(name) || name == "exe";
}

int removeStaleTemporaries(const std::string& folder) {
  const FolderHandle dir = openFolder(folder);
  std::vector<std::string> names;
  if (!dir || !entryNamesIn(dir, &names)) return 0;
  std::map<long, bool> may_live;  // Asked once per writer.
  int removed = 0;
  for (const std::string& name : names) {
    long pid = 0;
    if (!parseTemporaryName(name, &pid)) continue;
    const EntryKind kind = entryKindIn(dir, name);
    if (kind != EntryKind::kPlainFile && kind != EntryKind::kLinkedFile) continue;
    auto known = may_live.find(pid);
    if (known == may_live.end()) known = may_live.emplace(pid, temporaryWriterMayLive(pid)).first;
    if (!known->second && removeFileIn(dir, name)) ++removed;
  }
  return removed;
}

}  // namespace pixolune
