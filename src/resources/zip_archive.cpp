#include "resources/zip_archive.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <memory>

#include "platform/files.h"

namespace pixolune {
namespace {

struct ArchiveDeleter {
  void operator()(archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveDeleter>;

/// Opens a non-empty file as a ZIP archive; null when it does not open.
/// The archive is read through its central directory, so a file cut short or
/// merely starting like a ZIP archive does not open, and entry sizes are
/// known even for entries written as a stream.
ArchivePtr openZip(const std::string& path) {
  if (fileSize(path) <= 0 || !isRegularFile(path)) return nullptr;
  ArchivePtr a(archive_read_new());
  if (!a || archive_read_support_format_zip_seekable(a.get()) != ARCHIVE_OK) return nullptr;
  if (archive_read_open_filename(a.get(), path.c_str(), 64 * 1024) != ARCHIVE_OK) return nullptr;
  return a;
}

/// Reads the current entry's data, up to max_bytes; false on a read error.
bool readData(archive* a, size_t max_bytes, std::string* data) {
  char buffer[16 * 1024];
  data->clear();
  while (data->size() < max_bytes) {
    la_ssize_t n = archive_read_data(a, buffer, std::min(sizeof(buffer), max_bytes - data->size()));
    if (n < 0) return false;
    if (n == 0) break;
    data->append(buffer, static_cast<size_t>(n));
  }
  return true;
}

/// The entry's path as UTF-8, or as stored when it has no UTF-8 form.
const char* entryName(archive_entry* entry) {
  const char* name = archive_entry_pathname_utf8(entry);
  return name ? name : archive_entry_pathname(entry);
}

}  // namespace

bool listZipEntries(const std::string& path, std::vector<ZipEntry>* entries) {
  ArchivePtr a = openZip(path);
  if (!a) return false;
  entries->clear();
  archive_entry* entry = nullptr;
  while (archive_read_next_header(a.get(), &entry) == ARCHIVE_OK) {
    const char* name = entryName(entry);
    if (!name || archive_entry_filetype(entry) != AE_IFREG) continue;
    int64_t size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
    entries->push_back({name, size});
  }
  return true;
}

bool extractZipEntries(const std::string& path, const std::vector<std::string>& names,
                       std::map<std::string, std::string>* out, size_t max_bytes) {
  ArchivePtr a = openZip(path);
  if (!a) return false;
  out->clear();
  std::vector<std::string> wanted = names;
  std::sort(wanted.begin(), wanted.end());
  wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
  archive_entry* entry = nullptr;
  while (!wanted.empty() && archive_read_next_header(a.get(), &entry) == ARCHIVE_OK) {
    const char* name = entryName(entry);
    if (!name || archive_entry_filetype(entry) != AE_IFREG) continue;
    auto it = std::find(wanted.begin(), wanted.end(), name);
    if (it == wanted.end()) continue;
    wanted.erase(it);
    std::string data;
    if (readData(a.get(), max_bytes, &data)) (*out)[name] = std::move(data);
  }
  return true;
}

}  // namespace pixolune
