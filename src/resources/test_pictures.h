// Test helpers: PNG pictures and ZIP archives made on the fly.
#ifndef PIXOLUNE_RESOURCES_TEST_PICTURES_H_
#define PIXOLUNE_RESOURCES_TEST_PICTURES_H_

#include <archive.h>
#include <archive_entry.h>
#include <png.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace pixolune::testing {

/// PNG bytes of a w x h picture of one colour.
inline std::string solidPng(int w, int h, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
  std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
  for (size_t i = 0; i < rgba.size(); i += 4) {
    rgba[i] = r;
    rgba[i + 1] = g;
    rgba[i + 2] = b;
    rgba[i + 3] = a;
  }
  png_image image;
  std::memset(&image, 0, sizeof(image));
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(w);
  image.height = static_cast<png_uint_32>(h);
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
  std::string bytes(size, '\0');
  png_image_write_to_memory(&image, bytes.data(), &size, 0, rgba.data(), 0, nullptr);
  bytes.resize(size);
  return bytes;
}

using ZipContents = std::vector<std::pair<std::string, std::string>>;

/// Writes a ZIP archive holding the given entries, in order.
inline bool writeZip(const std::string& path, const ZipContents& entries) {
  std::unique_ptr<archive, int (*)(archive*)> zip(archive_write_new(), archive_write_free);
  if (archive_write_set_format_zip(zip.get()) != ARCHIVE_OK ||
      archive_write_open_filename(zip.get(), path.c_str()) != ARCHIVE_OK) {
    return false;
  }
  for (const auto& [name, bytes] : entries) {
    std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(), archive_entry_free);
    archive_entry_set_pathname(entry.get(), name.c_str());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    archive_entry_set_size(entry.get(), static_cast<la_int64_t>(bytes.size()));
    if (archive_write_header(zip.get(), entry.get()) != ARCHIVE_OK) return false;
    if (!bytes.empty() && archive_write_data(zip.get(), bytes.data(), bytes.size()) < 0) return false;
  }
  return archive_write_close(zip.get()) == ARCHIVE_OK;
}

}  // namespace pixolune::testing

#endif  // PIXOLUNE_RESOURCES_TEST_PICTURES_H_
