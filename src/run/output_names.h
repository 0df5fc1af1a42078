// Where converted files land: the checks that keep a run inside its output
// folder, off its own input documents, and from writing one path twice.
#ifndef PIXOLUNE_RUN_OUTPUT_NAMES_H_
#define PIXOLUNE_RUN_OUTPUT_NAMES_H_

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/folder_files.h"
#include "platform/status.h"

namespace pixolune {

/// The path with " (n)" before the last extension of its file name:
/// "out/a.png", 2 gives "out/a (2).png"; a name without extension gets it
/// at the end.
std::string numberedPath(const std::string& path, int n);

/// Ok when one file's output path may be written; kInvalid saying why when
/// it leads outside `output_folder` (a mask with ".." steps or an absolute
/// part) or it is the file's own input document.
Status checkOutputPath(const std::string& output_path, const std::string& output_folder,
                       const std::string& input_path);

/// What a file's reason says when a call on a path in the output folder
/// failed as `failure` says: the symbolic link it would pass through, the
/// output folder (or a folder in it) that no longer exists, a file name too
/// long, no space left, no permission to write in the folder, and otherwise
/// the system's own text for the error.
std::string pathFailureReason(const PathFailure& failure, const std::string& output_folder);

/// Opens the folder `path` will be written in, reached from output_folder
/// (the folder of `path` when empty; *root gets which) without following
/// symbolic links, its missing folders made. Fails with kInvalid when `path`
/// lies outside it ("<what> \"<path>\" lies outside the output folder ..."),
/// else with pathFailureReason()'s words.
Status openFolderOfOutput(const std::string& path, const std::string& output_folder, const std::string& what,
                          FolderHandle* folder, std::string* root);

/// The output paths of one run. A file is moved from its temporary name to
/// its output path only through place(), in list order, so which file gets
/// which name never depends on how many files are converted at once.
/// Files from earlier runs are replaced; a path written earlier in this run
/// never is. Used by one thread.
class OutputNames {
 public:
  /// `inputs` are every input document of the run.
  OutputNames(std::string output_folder, const std::vector<std::string>& inputs);

  /// Moves the finished `temporary` file to `wanted`, or, when this run has
  /// already written `wanted`, to the first free numbered form of it
  /// ("a (2).png", "a (3).png" ...). *path is where it went. Refuses (a
  /// failed status saying why, `temporary` removed) a path outside the output
  /// folder, the path of an input document of the run, or a temporary file
  /// that is not one plain file beside `wanted`. The folder is reached from
  /// the output folder without following symbolic links; a failure there or
  /// in the rename is kIoError with pathFailureReason()'s words.
  Status place(const std::string& temporary, const std::string& wanted, std::string* path);

 private:
  bool isInput(const std::string& normal_path) const;

  std::string folder_;
  std::set<std::string> inputs_;                     // Lexical forms.
  std::set<FileIdentity> input_files_;    // The same files, however they are named.
  std::set<std::string> written_;                    // Lexical forms of paths written by this run.
};

}  // namespace pixolune

#endif  // PIXOLUNE_RUN_OUTPUT_NAMES_H_
