// A small, bounds-checked reader of what the decoder needs to know about a
// Photoshop document beyond its pixels: the file header, the image resources
// that describe extra channels and the composite, the layer-section header,
// and the composite's extra channel planes.
#ifndef PIXOLUNE_PSD_PSD_HEADER_H_
#define PIXOLUNE_PSD_PSD_HEADER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/status.h"

namespace pixolune {

/// Photoshop colour modes, as the header stores them.
enum PsdColourMode : int {
  kModeBitmap = 0,
  kModeGrey = 1,
  kModeIndexed = 2,
  kModeRgb = 3,
  kModeCmyk = 4,
  kModeMultichannel = 7,
  kModeDuotone = 8,
  kModeLab = 9,
};

/// What the file says about itself, apart from pixels.
struct PsdHeader {
  int version = 1;                    // 1: ordinary document; 2: large document format.
  int channels = 0;                   // Channels of the composite: colour plus extra.
  int width = 0;
  int height = 0;
  int depth = 0;                      // Bits per channel: 1, 8, 16 or 32.
  int mode = 0;                       // A PsdColourMode.
  std::vector<uint32_t> alpha_ids;    // Resource 1053: one identifier per extra channel, or empty.
  bool has_version_info = false;      // Resource 1057 is present.
  bool has_real_merged_data = true;   // Its flag; false: the composite is a blank placeholder.
  int layer_count = 0;                // Signed; negative: first extra channel is transparency.
  bool merged_transparency = false;   // A "Mtrn", "Mt16" or "Mt32" block is present.
  uint64_t icc_offset = 0;            // The embedded colour profile (resource 1039), or 0.
  uint64_t icc_length = 0;
  int global_angle = 120;             // Resource 1037: the light angle effects may follow, degrees.
  uint64_t comps_offset = 0;          // The layer comps (resource 1065), or 0.
  uint64_t comps_length = 0;
  uint64_t layer_info_offset = 0;     // Layer count of the layer records ("Lr16"/"Lr32" too), or 0.
  uint64_t layer_info_length = 0;     // Bytes of the layer records from the count on.
  uint64_t global_blocks_offset = 0;  // First additional-information block of the layer section, or 0.
  uint64_t global_blocks_end = 0;     // End of the layer section.
  uint64_t image_data_offset = 0;     // Offset of the composite's compression word.
  int compression = 0;                // Of the composite: 0 raw, 1 PackBits, 2 and 3 ZIP.
  uint64_t file_size = 0;
  Status library_fault;               // kCorrupt: why a resource the image library parses is damaged.
};

/// Where a section of the document lies: the bytes after its length field.
struct PsdSection {
  uint64_t offset = 0;
  uint64_t length = 0;
};

/// The sections of a document, in the order they follow its file header.
struct PsdSections {
  PsdSection colour_mode_data;
  PsdSection image_resources;
  PsdSection layer_and_mask;  // The layer and mask information.
  PsdSection image_data;      // The composite, from its compression word to the end of the file.
};

class PsdFile;

/// Reads the header, the image resources and the layer-section header of the
/// document `in` reads, and checks that the composite's image data fits in
/// the file; *sections (when given) gets where each section lies. Every
/// length is checked against the file before it is trusted; no byte past
/// the end of the file is read. On failure *header is unspecified and the
/// status says why: kIoError, kCorrupt (truncated or lying lengths,
/// impossible fields) or kUnsupported (unknown version or mode).
/// The EXIF resources (1058, 1059), which the image library parses even
/// when it reads only the header and whose parser reads past them when
/// their directories run outside them, are checked too: a damaged one sets
/// header->library_fault (kCorrupt) and fails nothing, since our own readers never
/// read it; whoever hands the file to the library must refuse it.
Status readPsdHeader(const PsdFile& in, PsdHeader* header, PsdSections* sections = nullptr);

/// The same for the document at path, opened for this alone (kNotFound and
/// kIoError when it cannot be opened). A conversion opens its document once,
/// as a PsdDocument (psd_document.h), which reads the header itself.
Status readPsdHeader(const std::string& path, PsdHeader* header);

/// The document's embedded colour profile (empty when it has none), read
/// from the bytes `in` reads. REQUIRES: header was filled by readPsdHeader
/// from those bytes.
std::string readIccProfile(const PsdFile& in, const PsdHeader& header);

/// Colour channels of a mode: 3 for RGB and Lab, 4 for CMYK, else 1.
int colourChannelCount(int mode);

/// Channels beyond the mode's colour channels (0 when there are none).
int extraChannelCount(const PsdHeader& header);

/// True when the composite's first extra channel is its transparency: a
/// merged-transparency block is present, or the layer count is negative, or
/// (with neither a positive layer count nor a positive alpha identifier for
/// that channel) nothing marks it as a saved selection. False when there is
/// no extra channel.
bool firstExtraIsTransparency(const PsdHeader& header);

/// The file offsets of the composite's PackBits rows: every row of every
/// channel, channel after channel, then the end of the last. Fails with
/// kCorrupt when the row-length table or the rows do not fit in the file.
/// REQUIRES: header was filled by readPsdHeader from the bytes `in` reads.
Status compositeRowStarts(const PsdFile& in, const PsdHeader& header, std::vector<uint64_t>* starts);

/// Decodes one channel plane of the composite (raw or PackBits) into *plane:
/// height rows of the channel's samples, big-endian as stored (1, 2 or 4
/// bytes per sample; 1-bit planes packed). Fails with kCorrupt when the data
/// is short or malformed and kUnsupported for ZIP-compressed data.
/// REQUIRES: header was filled by readPsdHeader from the bytes `in` reads.
Status readCompositePlane(const PsdFile& in, const PsdHeader& header, int channel, std::vector<uint8_t>* plane);

}  // namespace pixolune

#endif  // PIXOLUNE_PSD_PSD_HEADER_H_
