// Reading ZIP archives (theme archives) with libarchive.
#ifndef PIXOLUNE_RESOURCES_ZIP_ARCHIVE_H_
#define PIXOLUNE_RESOURCES_ZIP_ARCHIVE_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace pixolune {

struct ZipEntry {
  std::string name;  // Path inside the archive, as stored.
  int64_t size = 0;  // Uncompressed size; 0 when the archive does not say.
};

/// Lists the regular-file entries of a ZIP archive in stored order. Returns
/// false when the file is missing, empty or does not open as a ZIP archive;
/// a listing cut short by damage keeps the entries read before it.
bool listZipEntries(const std::string& path, std::vector<ZipEntry>* entries);

/// Extracts the entries named in `names` in one pass, at most `max_bytes` of
/// each; the first entry of a name wins. An entry that is absent or whose data
/// cannot be read is left out of `out`. Returns false when the archive does
/// not open.
bool extractZipEntries(const std::string& path, const std::vector<std::string>& names,
                       std::map<std::string, std::string>* out, size_t max_bytes = SIZE_MAX);

}  // namespace pixolune

#endif  // PIXOLUNE_RESOURCES_ZIP_ARCHIVE_H_
