#include "engine/psd_file.h"

#include <errno.h>
#include <sys/stat.h>

namespace pixolune {

Status PsdFile::open(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0)
    return errno == ENOENT ? readFault(Status::Code::kNotFound, "the file does not exist")
                           : readFault(Status::Code::kIoError, "the file cannot be examined");
  if (!S_ISREG(st.st_mode)) return readFault(Status::Code::kIoError, "not a regular file");
  file_.reset(fopen(path.c_str(), "rb"));
  if (!file_) return readFault(Status::Code::kIoError, "the file cannot be opened");
  size_ = static_cast<uint64_t>(st.st_size);
  return {};
}

Status PsdFile::read(uint64_t offset, size_t n, void* out, const char* what) {
  if (!fits(offset, n)) return readCorrupt(std::string(what) + ": runs past the end of the file");
  if (n == 0) return {};
  if (fseeko(file_.get(), static_cast<off_t>(offset), SEEK_SET) != 0 || fread(out, 1, n, file_.get()) != n)
    return readFault(Status::Code::kIoError, std::string(what) + ": read error");
  return {};
}

}  // namespace pixolune
