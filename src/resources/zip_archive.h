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

/// How much an archive may inflate to. A theme holds small pictures (a few
/// KiB each), so the defaults are generous for pictures and still keep a
/// small archive that inflates to gigabytes ("zip bomb") from filling the
/// memory. An archive over a limit counts as damaged.
struct ZipLimits {
  int64_t entry_bytes = int64_t{4} << 20;   // One entry, inflated.
  int64_t total_bytes = int64_t{32} << 20;  // All entries together.
};

/// Lists the regular-file entries of a ZIP archive in stored order. Returns
/// false (and no entries) when the file is missing, empty or does not open as
/// a ZIP archive, or when an entry claims more than limits.entry_bytes or all
/// entries together claim more than limits.total_bytes; a listing cut short
/// by damage keeps the entries read before it.
bool listZipEntries(const std::string& path, std::vector<ZipEntry>* entries, const ZipLimits& limits = {});

/// Extracts the entries named in `names` in one pass, at most `max_bytes` of
/// each (an entry cut there is not an error); the first entry of a name wins.
/// An entry that is absent or whose data cannot be read is left out of `out`.
/// Returns false, with `out` empty, when the archive does not open or is over
/// `limits`: an entry's header claims too much, or the bytes actually
/// inflated exceed a limit (the claims are never trusted; reading stops one
/// byte past the limit, so at most limits.total_bytes plus a small buffer
/// are held).
bool extractZipEntries(const std::string& path, const std::vector<std::string>& names,
                       std::map<std::string, std::string>* out, size_t max_bytes = SIZE_MAX,
                       const ZipLimits& limits = {});

}  // namespace pixolune

#endif  // PIXOLUNE_RESOURCES_ZIP_ARCHIVE_H_
