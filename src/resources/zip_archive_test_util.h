// Test helpers: ZIP archives of zeros that inflate to far more than they
// hold ("zip bombs"), with honest or understated sizes in their headers.
#ifndef PIXOLUNE_RESOURCES_ZIP_ARCHIVE_TEST_UTIL_H_
#define PIXOLUNE_RESOURCES_ZIP_ARCHIVE_TEST_UTIL_H_

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "support/test_util.h"

namespace pixolune::testing {

/// Entries of zero bytes: name and inflated size.
using ZeroEntries = std::vector<std::pair<std::string, int64_t>>;

/// Writes a deflated ZIP archive: first the `leading` entries (name and
/// bytes), then `entries` of zero bytes, streamed in pieces so that no entry
/// is ever held whole.
inline bool writeZeroZip(const std::string& path, const ZeroEntries& entries,
                         const std::vector<std::pair<std::string, std::string>>& leading = {}) {
  std::unique_ptr<archive, int (*)(archive*)> zip(archive_write_new(), archive_write_free);
  if (archive_write_set_format_zip(zip.get()) != ARCHIVE_OK ||
      archive_write_set_options(zip.get(), "zip:compression=deflate") != ARCHIVE_OK ||
      archive_write_open_filename(zip.get(), path.c_str()) != ARCHIVE_OK) {
    return false;
  }
  for (const auto& [name, bytes] : leading) {
    std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(), archive_entry_free);
    archive_entry_set_pathname(entry.get(), name.c_str());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    archive_entry_set_size(entry.get(), static_cast<la_int64_t>(bytes.size()));
    if (archive_write_header(zip.get(), entry.get()) != ARCHIVE_OK) return false;
    if (!bytes.empty() && archive_write_data(zip.get(), bytes.data(), bytes.size()) < 0) return false;
  }
  const std::string zeros(1 << 20, '\0');
  for (const auto& [name, size] : entries) {
    std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(), archive_entry_free);
    archive_entry_set_pathname(entry.get(), name.c_str());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    archive_entry_set_size(entry.get(), size);
    if (archive_write_header(zip.get(), entry.get()) != ARCHIVE_OK) return false;
    for (int64_t left = size; left > 0;) {
      const size_t piece = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(zeros.size())));
      if (archive_write_data(zip.get(), zeros.data(), piece) != static_cast<la_ssize_t>(piece)) return false;
      left -= static_cast<int64_t>(piece);
    }
  }
  return archive_write_close(zip.get()) == ARCHIVE_OK;
}

inline uint32_t readLe(const std::string& bytes, size_t at, int width) {
  uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

inline void writeLe32(std::string* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<char>(value >> (8 * i));
}

/// Rewrites the uncompressed size of every entry (or only of the entry named
/// `only`) in the archive at `path` to `claimed`: in the central directory,
/// the local header and the data descriptor. The data stays as it is, so the
/// entries inflate to more than their headers say. False when the archive is
/// not laid out as expected.
inline bool understateSizes(const std::string& path, uint32_t claimed, const std::string& only = "") {
  std::string zip;
  if (!readWholeFile(path, &zip) || zip.size() < 22) return false;
  const size_t end = zip.size() - 22;
  if (zip.compare(end, 4, "PK\x05\x06") != 0) return false;
  const uint32_t count = readLe(zip, end + 10, 2);
  size_t at = readLe(zip, end + 16, 4);
  for (uint32_t i = 0; i < count; ++i) {
    if (at + 46 > zip.size() || zip.compare(at, 4, "PK\x01\x02") != 0) return false;
    const uint32_t compressed = readLe(zip, at + 20, 4);
    const size_t local = readLe(zip, at + 42, 4);
    const size_t name_length = readLe(zip, at + 28, 2);
    const bool chosen = only.empty() || zip.compare(at + 46, name_length, only) == 0;
    if (chosen) writeLe32(&zip, at + 24, claimed);
    at += 46 + name_length + readLe(zip, at + 30, 2) + readLe(zip, at + 32, 2);
    if (!chosen) continue;
    if (local + 30 > zip.size() || zip.compare(local, 4, "PK\x03\x04") != 0) return false;
    const bool descriptor = (readLe(zip, local + 6, 2) & 0x08) != 0;
    writeLe32(&zip, local + 22, claimed);
    size_t after = local + 30 + readLe(zip, local + 26, 2) + readLe(zip, local + 28, 2) + compressed;
    if (descriptor) {
      if (zip.compare(after, 4, "PK\x07\x08") == 0) after += 4;
      if (after + 12 > zip.size()) return false;
      writeLe32(&zip, after + 8, claimed);
    }
  }
  writeText(path, zip);
  return true;
}

}  // namespace pixolune::testing

#endif  // PIXOLUNE_RESOURCES_ZIP_ARCHIVE_TEST_UTIL_H_
