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

/// The uncompressed size an entry's header claims; 0 when it does not say.
int64_t claimedSize(archive_entry* entry) {
  return archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
}

/// Adds an entry's claimed size to `claimed_total`; false when the entry or
/// the total is over `limits` (a negative claim is a damaged header).
bool claimFits(archive_entry* entry, const ZipLimits& limits, int64_t* claimed_total) {
  const int64_t claimed = claimedSize(entry);
  if (claimed < 0 || claimed > limits.entry_bytes) return false;
  *claimed_total += claimed;
  return *claimed_total <= limits.total_bytes;
}

enum class ReadResult {
  kRead,       // `data` holds the entry, or its first max_bytes.
  kDamaged,    // The data could not be read.
  kOverLimit,  // The entry inflates to more than `allowed` bytes.
};

/// Reads the current entry's data, up to max_bytes. Reads at most one byte
/// past `allowed`, whatever the header claims, to tell an entry that is over
/// its limit.
ReadResult readData(archive* a, size_t max_bytes, int64_t allowed, std::string* data) {
  char buffer[16 * 1024];
  data->clear();
  const size_t wanted = std::min<uint64_t>(max_bytes, static_cast<uint64_t>(std::max<int64_t>(allowed, 0)) + 1);
  while (data->size() < wanted) {
    la_ssize_t n = archive_read_data(a, buffer, std::min(sizeof(buffer), wanted - data->size()));
    if (n < 0) return ReadResult::kDamaged;
    if (n == 0) break;
    data->append(buffer, static_cast<size_t>(n));
  }
  return static_cast<int64_t>(data->size()) > allowed ? ReadResult::kOverLimit : ReadResult::kRead;
}

/// The entry's path as UTF-8, or as stored when it has no UTF-8 form.
const char* entryName(archive_entry* entry) {
  const char* name = archive_entry_pathname_utf8(entry);
  return name ? name : archive_entry_pathname(entry);
}

}  // namespace

bool listZipEntries(const std::string& path, std::vector<ZipEntry>* entries, const ZipLimits& limits) {
  entries->clear();
  ArchivePtr a = openZip(path);
  if (!a) return false;
  int64_t claimed_total = 0;
  archive_entry* entry = nullptr;
  while (archive_read_next_header(a.get(), &entry) == ARCHIVE_OK) {
    if (!claimFits(entry, limits, &claimed_total)) {
      entries->clear();
      return false;
    }
    const char* name = entryName(entry);
    if (!name || archive_entry_filetype(entry) != AE_IFREG) continue;
    entries->push_back({name, claimedSize(entry)});
  }
  return true;
}

bool extractZipEntries(const std::string& path, const std::vector<std::string>& names,
                       std::map<std::string, std::string>* out, size_t max_bytes, const ZipLimits& limits) {
  out->clear();
  ArchivePtr a = openZip(path);
  if (!a) return false;
  std::vector<std::string> wanted = names;
  std::sort(wanted.begin(), wanted.end());
  wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
  int64_t claimed_total = 0;
  int64_t inflated_total = 0;
  bool refused = false;
  archive_entry* entry = nullptr;
  // Every header is checked, so that an archive over its limits is refused
  // whichever of its entries are wanted.
  while (!refused && archive_read_next_header(a.get(), &entry) == ARCHIVE_OK) {
    refused = !claimFits(entry, limits, &claimed_total);
    if (refused) break;
    const char* name = entryName(entry);
    if (!name || archive_entry_filetype(entry) != AE_IFREG) continue;
    auto it = std::find(wanted.begin(), wanted.end(), name);
    if (it == wanted.end()) continue;
    wanted.erase(it);
    std::string data;
    const int64_t allowed = std::min(limits.entry_bytes, limits.total_bytes - inflated_total);
    ReadResult read = readData(a.get(), max_bytes, allowed, &data);
    refused = read == ReadResult::kOverLimit;
    if (read != ReadResult::kRead) continue;
    inflated_total += static_cast<int64_t>(data.size());
    (*out)[name] = std::move(data);
  }
  if (refused) out->clear();
  return !refused;
}

}  // namespace pixolune
