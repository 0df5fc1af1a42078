// Our own PNG writer for every image FreeImage's PNG writer takes: the same
// colour type, depth, palette, transparency, background, resolution, ICC
// profile and text chunks, with rows compressed by libdeflate or, where
// that is smaller (photographs), as runs by zlib (faster than zlib at the
// same levels, files no larger) and, for a large image, in pieces on
// several cores at once.
#ifndef PIXOLUNE_PNG_PNG_WRITER_H_
#define PIXOLUNE_PNG_PNG_WRITER_H_

#include <FreeImage.h>

#include <cstddef>
#include <string>

#include "platform/file_system.h"
#include "platform/status.h"

namespace pixolune {

/// How to write: the libdeflate level (0 stores rows unfiltered and
/// uncompressed), Adam7 interlacing, how many pieces the compressed rows are
/// cut into (the file's bytes depend on it, so it never follows the machine
/// or its load: 0, the default, makes one piece a MiB of filtered rows), and
/// how many threads may work on it (which changes only the speed).
struct PngWriteOptions {
  int level = 6;
  bool interlaced = false;
  int threads = 1;
  int pieces = 0;
  /// When set, an RGBA image (32-bit or RGBA16) whose pixels are all
  /// neutral (red == green == blue in every pixel, whatever the alpha) is
  /// written as grey with alpha at its depth (8 or 16 bits a sample), with
  /// its grey ICC profile; an image with any coloured pixel is written as
  /// RGBA as before. Other image types are unaffected.
  bool grey_alpha = false;
};

/// Filtered rows a piece of the compressed data holds by default: small
/// enough that the threads share an image's pieces evenly whatever their
/// speed, large enough that restarting the coder costs nothing measurable.
constexpr size_t kPngPieceBytes = size_t{1} << 20;

/// The writer's options for FreeImage PNG save flags: zlib levels 1..9 in the
/// low bits map to libdeflate levels whose files are no larger than zlib's
/// at that level; PNG_Z_NO_COMPRESSION alone stores; no level means zlib's
/// default (6), as FreeImage reads the flags. threads is left at 1.
PngWriteOptions pngOptionsForSaveFlags(int save_flags);

/// Writes image at path as FreeImage's PNG writer would lay it out:
/// 1-, 4- and 8-bit images as grey (min-is-black or min-is-white palettes
/// without transparency) or palette with tRNS, 16-bit 5-5-5/5-6-5 as RGB,
/// 24/32-bit as RGB/RGBA, FIT_UINT16, FIT_RGB16 and FIT_RGBA16 as 16-bit
/// grey, RGB and RGBA; with options.grey_alpha, neutral 32-bit and RGBA16
/// images as grey with alpha (which FreeImage cannot write). An ICC profile
/// that PNG cannot carry for the colour type (a grey profile goes with grey
/// and grey with alpha, an RGB profile with the others) or that is
/// malformed is left out rather than failing the file, and so is a text
/// chunk with a keyword PNG does not allow. Unlike FreeImage's writer, the
/// comments and the XMP packet are compressed (and so is the profile, in
/// iCCP) at libdeflate level 9 whatever options.level says:
/// they are small, and an XMP packet shrinks fifteenfold. ASCII comments go
/// into zTXt, other comments and the XMP packet into iTXt.
/// Metadata the caller does not want must be removed from the image first.
/// kUnsupported (nothing written) for other image types, which the caller
/// leaves to FreeImage; kIoError when the file could not be created or
/// written, and then the part written has been removed. The file is
/// created and written through `fs`.
/// Thread-safe for different images; uses up to options.threads threads.
Status writePng(FIBITMAP* image, const std::string& path, const PngWriteOptions& options,
                FileSystem& fs = realFileSystem());

}  // namespace pixolune

#endif  // PIXOLUNE_PNG_PNG_WRITER_H_
