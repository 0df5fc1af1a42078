// One Photoshop document opened for a conversion: its file opened and
// mapped once (or read at offsets where it cannot be mapped), its header
// read and its sections found once. The header reader, the composite
// reader, the layer readers and the image library all read it from here.
#ifndef PIXOLUNE_PSD_PSD_DOCUMENT_H_
#define PIXOLUNE_PSD_PSD_DOCUMENT_H_

#include <FreeImage.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/bitmap.h"
#include "image/colour_management.h"
#include "platform/mapped_file.h"
#include "psd/psd_file.h"
#include "psd/psd_header.h"

namespace pixolune {

/// Move only; reads never change it, so threads may read at once.
class PsdDocument {
 public:
  /// Opens the document at path and reads its header (readPsdHeader):
  /// kNotFound or kIoError when the file cannot be opened, else the
  /// header's status. A failed open leaves it closed. The file is mapped
  /// unless `access` asks for reads at offsets (or it cannot be mapped).
  Status open(const std::string& path, MappedFile::Access access = MappedFile::Access::kMapped);
  /// The same for a document held in memory (tests, fuzzing).
  Status openBytes(std::vector<uint8_t> bytes);

  bool isOpen() const { return open_; }
  const std::string& path() const { return path_; }
  const PsdHeader& header() const { return header_; }
  const PsdSections& sections() const { return sections_; }
  /// Bounds-checked reads of the document's bytes; the view lives no
  /// longer than the document.
  PsdFile file() const { return in_memory_ ? PsdFile(bytes_.data(), bytes_.size()) : PsdFile(file_); }

 private:
  Status readHeader();

  std::string path_;
  MappedFile file_;
  std::vector<uint8_t> bytes_;
  bool in_memory_ = false;
  bool open_ = false;
  PsdHeader header_;
  PsdSections sections_;
};

/// The conversion of the document's colour samples (CMYK and Lab as
/// stored, grey) to sRGB through its embedded profile (see SrgbConversion),
/// for samples of `bits` (8 or 16) and `out_samples` (3, or 4 with an alpha
/// left as it is). kUnsupported for other modes.
Status colourConversionFor(const PsdDocument& document, int bits, int out_samples, SrgbConversion* conversion);

/// The document's bytes as the image library reads a file, through its I/O
/// callbacks (fread, fseek and ftell as the C library has them), from the
/// start. The library reads skipped sections a byte at a time, which memory
/// serves far faster than a stream does.
class LibraryStream {
 public:
  explicit LibraryStream(const PsdFile& in) : in_(in) {}
  LibraryStream(const LibraryStream&) = delete;
  LibraryStream& operator=(const LibraryStream&) = delete;

  /// FreeImage_LoadFromHandle(FIF_PSD, ...) over the bytes: the bitmap
  /// FreeImage_Load(FIF_PSD, path, flags) makes of the same file, or null.
  BitmapPtr load(int flags);
  /// Where the next read starts.
  uint64_t position() const { return position_; }

 private:
  static unsigned DLL_CALLCONV read(void* buffer, unsigned size, unsigned count, fi_handle handle);
  static int DLL_CALLCONV seek(fi_handle handle, long offset, int origin);
  static long DLL_CALLCONV tell(fi_handle handle);

  PsdFile in_;
  uint64_t position_ = 0;
};

}  // namespace pixolune

#endif  // PIXOLUNE_PSD_PSD_DOCUMENT_H_
