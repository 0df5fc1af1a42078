// Reads the composite image of the most common documents, RGB, grey, CMYK
// and Lab of 8 or 16 bits a channel, stored raw or PackBits-compressed, on
// several threads at once: the threads take bands of rows as they get free
// and read and place each band's rows. For RGB and grey the result is the
// bitmap the image library's own decoder makes of the same file, bit for
// bit: the same type, the same channels in the same order (only the
// channels that decoder keeps), the same resolution, colour profile and
// thumbnail, which the library still reads from the file's header. CMYK and
// Lab become sRGB through the document's profile (SrgbConversion), with
// their transparency, where the library would use formulas. Other kinds of
// document it declines, for the library to decode; a document of its kinds
// whose image data is damaged it refuses with the reason, so the library's
// decoder never sees damaged data it would read past.
#ifndef PIXOLUNE_PSD_COMPOSITE_READER_H_
#define PIXOLUNE_PSD_COMPOSITE_READER_H_

#include <string>

#include "image/bitmap.h"
#include "psd/psd_header.h"

namespace pixolune {

class PsdDocument;

/// What readComposite made of a document.
enum class CompositeOutcome {
  kRead,      // `image` holds the composite.
  kDeclined,  // Not a kind this reader reads (`status`, kUnsupported, says why): the library decodes it.
  kFailed,    // Of its kinds but unreadable: `status` says why (kCorrupt for damaged image data, kIoError).
};

struct CompositeReading {
  CompositeOutcome outcome = CompositeOutcome::kDeclined;
  Status status;
  BitmapPtr image;  // Only with kRead.
  std::string colour;  // With kRead of CMYK and Lab: how the colours became sRGB.
};

/// The composite of the document, read on up to `threads` threads, as
/// FreeImage_Load(FIF_PSD, path, flags) would give it (CMYK and Lab: made
/// sRGB through the document's profile, whatever PSD_CMYK and PSD_LAB in
/// `flags` ask). Declines
/// the large document format, depths other than 8 and 16, ZIP data, colour
/// modes other than RGB, grey, CMYK and Lab, and documents
/// whose header the library reads to another length than ours (it would
/// take other bytes for the pixels). Fails with kCorrupt naming the first
/// damaged place ("composite image: row 12 of channel 2 does not expand to
/// a row", rows and channels counted from 0) when a PackBits row does not
/// expand to exactly one row, when a resource the library would parse is
/// damaged (header.library_fault), or when the library cannot read a header
/// ours accepted; with kIoError when the file cannot be read or memory runs out.
/// The report is the same on any number of threads. The document is read
/// where it lies: the file is not opened again.
CompositeReading readComposite(const PsdDocument& document, int flags, int threads);

}  // namespace pixolune

#endif  // PIXOLUNE_PSD_COMPOSITE_READER_H_
