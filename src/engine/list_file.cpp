#include "engine/list_file.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

#include "platform/files.h"
#include "platform/text.h"

namespace pixolune {

namespace {

constexpr size_t kBlockSize = 65536;

}  // namespace

std::vector<std::string> splitListLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = trim(std::string_view(text).substr(start, end - start), " ");
    if (!line.empty()) lines.push_back(std::move(line));
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
  return lines;
}

bool readListFile(const std::string& path, std::vector<std::string>* lines) {
  lines->clear();
  std::string bytes;
  if (!readWholeFile(path, &bytes)) return false;
  *lines = splitListLines(decodeTextFile(bytes));
  return true;
}

int countLineFeeds(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return 0;
  std::vector<char> block(kBlockSize);
  int count = 0;
  size_t n;
  while ((n = std::fread(block.data(), 1, block.size(), file.get())) > 0)
    for (size_t i = 0; i < n; ++i)
      if (block[i] == '\n') ++count;
  return count;
}

ListFileWriter::~ListFileWriter() { discard(); }

bool ListFileWriter::open(const std::string& path) {
  discard();
  path_ = path;
  temp_path_ = path + ".XXXXXX";
  int fd = mkstemp(temp_path_.data());
  if (fd < 0) {
    temp_path_.clear();
    return false;
  }
  struct stat st;
  fchmod(fd, stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
  file_.reset(fdopen(fd, "wb"));
  if (!file_) {
    close(fd);
    discard();
    return false;
  }
  failed_ = false;
  return writeBytes("\xEF\xBB\xBF");
}

bool ListFileWriter::writeLine(const std::string& line) { return writeBytes(line) && writeBytes("\r\n"); }

bool ListFileWriter::writeBytes(const std::string& bytes) {
  if (!file_ || failed_) return false;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) failed_ = true;
  return !failed_;
}

bool ListFileWriter::commit() {
  if (!file_) return false;
  bool ok = !failed_ && std::fflush(file_.get()) == 0 && fsync(fileno(file_.get())) == 0;
  FILE* raw = file_.release();
  ok = (std::fclose(raw) == 0) && ok;
  ok = ok && std::rename(temp_path_.c_str(), path_.c_str()) == 0;
  if (ok) temp_path_.clear();
  discard();
  return ok;
}

void ListFileWriter::discard() {
  file_.reset();
  if (!temp_path_.empty()) unlink(temp_path_.c_str());
  temp_path_.clear();
  failed_ = false;
}

}  // namespace pixolune
