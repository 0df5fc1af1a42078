#include "inputs/list_file.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <memory>

#include "platform/files.h"
#include "platform/folder_files.h"
#include "platform/signals.h"
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

std::vector<std::string> splitNullSeparated(const std::string& bytes) {
  std::vector<std::string> fields;
  for (std::string& field : split(bytes, '\0'))
    if (!field.empty()) fields.push_back(std::move(field));
  return fields;
}

Status readListStream(const std::string& path, bool null_separated, std::vector<std::string>* lines) {
  lines->clear();
  const bool standard_input = path == "-";
  std::string bytes;
  const int read_errno = readAllOf(path, standard_input, &bytes);
  if (read_errno != 0) return Status::ioError(std::strerror(read_errno));
  *lines = null_separated ? splitNullSeparated(bytes) : splitListLines(decodeTextFile(bytes));
  return Status();
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

bool ListFileWriter::open(const std::string& path) {
  pending_ = "\xEF\xBB\xBF";
  open_ = replacement_.begin(path).ok();
  return open_ && flush();
}

bool ListFileWriter::writeLine(const std::string& line) {
  if (!open_) return false;
  pending_ += line;
  pending_ += "\r\n";
  return pending_.size() < kBlockSize || flush();
}

bool ListFileWriter::flush() {
  const bool ok = replacement_.append(pending_).ok();
  pending_.clear();
  return ok;
}

bool ListFileWriter::commit() {
  if (!open_) return false;
  open_ = false;
  const bool flushed = flush();
  return replacement_.commit().ok() && flushed;
}

}  // namespace pixolune
