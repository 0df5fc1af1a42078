// The input list: the files a conversion run visits, and the rules that decide
// which files may enter it.
#ifndef PIXOLUNE_INPUTS_INPUT_LIST_H_
#define PIXOLUNE_INPUTS_INPUT_LIST_H_

#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace pixolune {

struct InputEntry {
  int32_t listed = 0;            // 1 once added; an entry with 0 does not count as present.
  std::string source_subfolder;  // Folder below input_folder at the time of adding, ending in "/", or empty.
};

/// The entry store, keyed by the full path exactly as added (case-sensitive).
/// Iterates in the order the paths were first looked up; removing an entry
/// keeps the order of the rest. Not thread-safe: the worker reads it while
/// nothing else changes it.
class InputList {
 public:
  using Entries = std::list<std::pair<const std::string, InputEntry>>;

  InputList();
  InputList(const InputList&) = delete;
  InputList& operator=(const InputList&) = delete;

  /// The entry of `path`, appended empty (listed 0) when absent.
  InputEntry& lookup(const std::string& path);
  /// The entry of `path`, or null when absent.
  const InputEntry* find(const std::string& path) const;
  /// True when `path` is present with listed != 0.
  bool isListed(const std::string& path) const;
  /// Removes the entry; false when it was absent.
  bool remove(const std::string& path);
  void clear();
  /// Number of listed entries.
  size_t count() const;
  /// The listed paths in store order.
  std::vector<std::string> listedPaths() const;

  Entries::const_iterator begin() const { return entries_.begin(); }
  Entries::const_iterator end() const { return entries_.end(); }

 private:
  Entries entries_;
  std::unordered_map<std::string, Entries::iterator> index_;
};

/// The process-wide store.
InputList& inputList();

/// True while the console run owns the process; then addInputFile skips the
/// window-mode hook. Set by the command line before any worker starts.
extern bool console_mode;

/// Called by addInputFile for every file it adds, unless console_mode is set.
/// The window mode installs one that appends a visible row; it runs on the
/// thread that called addInputFile (usually a worker). Empty: no hook.
using AddFileHook = std::function<void(const std::string& path)>;
void setAddFileHook(AddFileHook hook);

/// Lower-cased extension of `path` by the list's rule: scanning back from the
/// end, the text after the first "." met; none when a space, "/" or "\" comes
/// first or when the "." directly follows "/" or "\" (a name such as ".psd").
/// The extension ends early at a double quote.
std::string inputExtensionOf(const std::string& path);

/// The folder of `path` below `root`, ending with "/": the folder part of
/// `path` with `root` removed from its beginning. Empty when either is empty,
/// when the folder does not begin with `root`, or when the rest holds a "."
/// or ".." step (which would lead outside the output folder).
std::string sourceSubfolderOf(const std::string& path, const std::string& root);

/// The only way an entry enters the store. False (and nothing changes) for a
/// 0-byte file, a folder, a path without an accepted extension, or a path
/// already listed. A path that does not exist passes the size rule; its
/// conversion fails later and is counted then. The entry's source_subfolder
/// is its folder below `input_folder` (the folder an import collects from;
/// empty: none).
bool addInputFile(const std::string& path, const std::string& input_folder = "");

/// Enters a path the user named (an input, a line of a list) as a document,
/// whatever its name, size or whether it can be read: a missing, empty or
/// unreadable file then fails in the conversion with its reason and counts
/// as not converted. A folder is collected (collectFolder, with
/// `*input_folder` set to it, so its sub-folders are kept below the output
/// folder); a document empties `*input_folder`. Returns the number of entries added; 0 for a path already listed.
int addNamedInput(const std::string& path, std::string* input_folder);

/// Offers every file below `folder` (ending with "/") to addInputFile (with
/// `input_folder`), in the
/// order the file system lists them, descending into every sub-folder. A
/// link back to a folder already on the way down is not followed again.
/// Returns the number of files added; 0 when the folder cannot be read.
int collectFolder(const std::string& folder, const std::string& input_folder = "");

/// Empties the inputs' part of the run state: console_mode, the entry store;
/// then rebuildInputExtensions (resetRunState, run/conversion_job.h, empties
/// the rest first). REQUIRES: no worker is running.
void resetInputState();

}  // namespace pixolune

#endif  // PIXOLUNE_INPUTS_INPUT_LIST_H_
