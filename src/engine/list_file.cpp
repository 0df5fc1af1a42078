#include "engine/list_file.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

#include "platform/files.h"
#include "platform/text.h"

namespace pixolune {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr size_t kBlockSize = 65536;

void appendUtf8(char32_t c, std::string* out) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

uint8_t byteAt(const std::string& bytes, size_t i) { return static_cast<uint8_t>(bytes[i]); }

char16_t unitAt(const std::string& bytes, size_t i, bool big_endian) {
  uint8_t a = byteAt(bytes, i), b = byteAt(bytes, i + 1);
  return static_cast<char16_t>(big_endian ? (a << 8 | b) : (b << 8 | a));
}

std::string decodeUtf16(const std::string& bytes, size_t start, bool big_endian) {
  std::string out;
  for (size_t i = start; i < bytes.size(); i += 2) {
    if (i + 1 >= bytes.size()) {
      appendUtf8(kReplacement, &out);  // A lone trailing byte.
      break;
    }
    char16_t unit = unitAt(bytes, i, big_endian);
    bool high = unit >= 0xD800 && unit <= 0xDBFF;
    if (high && i + 3 < bytes.size()) {
      char16_t low = unitAt(bytes, i + 2, big_endian);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        appendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), &out);
        i += 2;
        continue;
      }
    }
    appendUtf8(unit, &out);  // Lone surrogates become U+FFFD there.
  }
  return out;
}

std::string decodeUtf32BigEndian(const std::string& bytes, size_t start) {
  std::string out;
  for (size_t i = start; i < bytes.size(); i += 4) {
    if (i + 3 >= bytes.size()) {
      appendUtf8(kReplacement, &out);
      break;
    }
    char32_t c = static_cast<char32_t>(byteAt(bytes, i)) << 24 | static_cast<char32_t>(byteAt(bytes, i + 1)) << 16 |
                 static_cast<char32_t>(byteAt(bytes, i + 2)) << 8 | byteAt(bytes, i + 3);
    appendUtf8(c, &out);
  }
  return out;
}

bool startsWith(const std::string& bytes, const char* mark, size_t length) {
  return bytes.size() >= length && bytes.compare(0, length, mark, length) == 0;
}

}  // namespace

std::string decodeListText(const std::string& bytes) {
  if (startsWith(bytes, "\xEF\xBB\xBF", 3)) return bytes.substr(3);
  if (startsWith(bytes, "\x00\x00\xFE\xFF", 4)) return decodeUtf32BigEndian(bytes, 4);
  if (startsWith(bytes, "\xFF\xFE", 2)) return decodeUtf16(bytes, 2, false);
  if (startsWith(bytes, "\xFE\xFF", 2)) return decodeUtf16(bytes, 2, true);
  return bytes;
}

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
  *lines = splitListLines(decodeListText(bytes));
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
