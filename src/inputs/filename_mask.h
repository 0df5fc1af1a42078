// The output file-name mask and the token expansion it shares with
// watermark texts.
#ifndef PIXOLUNE_INPUTS_FILENAME_MASK_H_
#define PIXOLUNE_INPUTS_FILENAME_MASK_H_

#include <cstdint>
#include <string>
#include <vector>

#include "settings/settings.h"

namespace pixolune {

/// The 22 tokens in expansion order.
const std::vector<std::string>& maskTokens();

/// What a file's name is made of: the fields of its request and result
/// that the tokens read.
struct NameFields {
  std::string input_path;
  std::string source_subfolder;
  std::string output_folder;
  std::string output_extension;
  int target_bpp = 0;
  int result_width = 0;
  int result_height = 0;
  int random_number = 1;
  int sequence_number = 1;
  int64_t name_time = 0;  // Unix time the date tokens show; 0: the clock at expansion.
  // A piece of an exported document (a layer, a group, a layer comp); file
  // names already: made safe, the groups joined by "/" or "_".
  std::string layer_name;  // "%layer%": the layer's, group's or comp's name.
  std::string group_path;  // "%group%": the groups it lies in; empty at the top.
  int piece_index = 0;     // "%index%": its place, 1 from the bottom; 0 for a whole document.
  std::string comp_name;   // "%comp%".
};

/// How a run names its files: filename_mask and keep_subfolders.
struct NamingOptions {
  std::string filename_mask = "%filename%.%ext%";
  bool keep_subfolders = true;
  bool operator==(const NamingOptions&) const = default;
};

NamingOptions namingOptionsFrom(const Settings& settings);

/// output_folder + (source_subfolder when keep_subfolders) + expandMask()
/// for `fields`. An absolute expanded mask is the whole path (no source
/// sub-folder); when it begins with output_folder, letter case ignored,
/// that part keeps the folder's own spelling, since the mask is lower-cased.
std::string outputPathFor(const NameFields& fields, const NamingOptions& naming);

/// `mask` lower-cased (empty: "%filename%.%ext%") with every token replaced
/// by the file's value. An empty "%group%" takes the "/" or "_" after it
/// along, so a layer at the top of its document is named as if the mask had
/// no group.
std::string expandMask(const NameFields& fields, const std::string& mask);

/// Replaces every occurrence of one token (letter case ignored) by its value
/// for the file and moment.
std::string replaceToken(const NameFields& fields, const std::string& text, const std::string& token);

/// The name without its last "." and what follows; unchanged without ".".
std::string stripExtension(const std::string& file_name);

/// The watermark text with its tokens expanded for `fields`; literal text
/// keeps its case. A text with fewer than two "%" comes back unchanged.
std::string expandWatermarkText(const NameFields& fields, const std::string& text);

}  // namespace pixolune

#endif  // PIXOLUNE_INPUTS_FILENAME_MASK_H_
