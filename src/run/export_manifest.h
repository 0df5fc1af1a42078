// The JSON manifest an export writes beside the pieces of a document: each
// file with what it shows and where it lies on the canvas, so that a build
// can put the pieces back together.
#ifndef PIXOLUNE_RUN_EXPORT_MANIFEST_H_
#define PIXOLUNE_RUN_EXPORT_MANIFEST_H_

#include <string>
#include <vector>

#include "platform/status.h"
#include "psd/layers/layer_export.h"

namespace pixolune {

/// One written piece.
struct ManifestEntry {
  std::string file;          // Its path from the manifest's folder (absolute when it lies elsewhere).
  ExportPiece piece;         // Name, groups, index, opacity and blend mode.
  int left = 0, top = 0;     // Its picture's place on the canvas, before any resize.
  int width = 0, height = 0;
};

/// What the manifest of a document says, as JSON text (UTF-8; bytes of a
/// name that are not UTF-8 become U+FFFD).
std::string manifestText(const std::string& document, int canvas_width, int canvas_height, uint8_t kind,
                         const std::vector<ManifestEntry>& entries);

/// `path` as seen from `folder` (ending in "/"): the part below it, or the
/// path itself when it does not lie below it.
std::string relativeTo(const std::string& path, const std::string& folder);

/// Writes `text` to a new temporary file beside `path` (below
/// output_folder, reached without following symbolic links, forced to the
/// device); *temporary gets its path, to be moved to its name. A failure
/// names what happened and leaves no file.
Status writeManifestTemporary(const std::string& text, const std::string& path, const std::string& output_folder,
                              std::string* temporary);

}  // namespace pixolune

#endif  // PIXOLUNE_RUN_EXPORT_MANIFEST_H_
