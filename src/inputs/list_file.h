// List files: plain text with one input path per line.
#ifndef PIXOLUNE_INPUTS_LIST_FILE_H_
#define PIXOLUNE_INPUTS_LIST_FILE_H_

#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/status.h"

namespace pixolune {


/// The lines of decoded text (a line ends at CR, LF or CR LF), each trimmed of
/// spaces (U+0020 only); empty lines are left out.
std::vector<std::string> splitListLines(const std::string& text);

/// The fields of NUL-separated text (as `find -print0` writes), each as it
/// stands; empty fields are left out.
std::vector<std::string> splitNullSeparated(const std::string& bytes);

/// Reads a list from a stream to its end: standard input for "-", else the
/// path (a pipe such as /dev/stdin or a shell's <(...)). Lines as
/// splitListLines gives them, or NUL-separated fields with `null_separated`.
/// kIoError (and no lines) when it cannot be opened or read; the message is
/// the system's reason ("No such file or directory").
Status readListStream(const std::string& path, bool null_separated, std::vector<std::string>* lines);

/// Reads and splits a list file. False (and no lines) when it cannot be read.
bool readListFile(const std::string& path, std::vector<std::string>* lines);

/// Number of LF bytes (0x0A) in a file; 0 when it cannot be opened.
int countLineFeeds(const std::string& path);

/// Writes a list file: the UTF-8 mark, then every line followed by CR LF.
/// The lines go to a temporary file beside the target (a FileReplacement),
/// which commit() forces to the device and renames over it; until then (and
/// when anything fails) an existing file at the target is untouched. An
/// uncommitted temporary file is removed.
class ListFileWriter {
 public:
  explicit ListFileWriter(FileSystem& fs = realFileSystem()) : replacement_(fs) {}
  ListFileWriter(const ListFileWriter&) = delete;
  ListFileWriter& operator=(const ListFileWriter&) = delete;

  /// Creates the temporary file and writes the mark; false when it cannot.
  bool open(const std::string& path);
  /// Appends `line` and CR LF (buffered by blocks); false once any write
  /// has failed.
  bool writeLine(const std::string& line);
  /// Flushes and renames into place; false when anything failed, and then
  /// the target is as it was before open().
  bool commit();

 private:
  bool flush();

  FileReplacement replacement_;
  std::string pending_;  // Lines not yet handed to the file, up to a block.
  bool open_ = false;
};

}  // namespace pixolune

#endif  // PIXOLUNE_INPUTS_LIST_FILE_H_
