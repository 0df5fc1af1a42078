// List files: plain text with one input path per line.
#ifndef PIXOLUNE_ENGINE_LIST_FILE_H_
#define PIXOLUNE_ENGINE_LIST_FILE_H_

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace pixolune {


/// The lines of decoded text (a line ends at CR, LF or CR LF), each trimmed of
/// spaces (U+0020 only); empty lines are left out.
std::vector<std::string> splitListLines(const std::string& text);

/// Reads and splits a list file. False (and no lines) when it cannot be read.
bool readListFile(const std::string& path, std::vector<std::string>* lines);

/// Number of LF bytes (0x0A) in a file; 0 when it cannot be opened.
int countLineFeeds(const std::string& path);

/// Writes a list file: the UTF-8 mark, then every line followed by CR LF.
/// The lines go to a temporary file beside the target, which commit() renames
/// over it; until then (and when anything fails) an existing file at the
/// target is untouched. An uncommitted temporary file is removed.
class ListFileWriter {
 public:
  ListFileWriter() = default;
  ~ListFileWriter();
  ListFileWriter(const ListFileWriter&) = delete;
  ListFileWriter& operator=(const ListFileWriter&) = delete;

  /// Creates the temporary file and writes the mark; false when it cannot.
  bool open(const std::string& path);
  /// Appends `line` and CR LF; false once any write has failed.
  bool writeLine(const std::string& line);
  /// Flushes and renames into place; false when anything failed, and then
  /// the target is as it was before open().
  bool commit();

 private:
  struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
  };
  bool writeBytes(const std::string& bytes);
  void discard();

  std::string path_;
  std::string temp_path_;
  std::unique_ptr<FILE, FileCloser> file_;
  bool failed_ = false;
};

}  // namespace pixolune

#endif  // PIXOLUNE_ENGINE_LIST_FILE_H_
