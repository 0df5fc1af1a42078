// The output file-name mask and the token expansion it shares with
// watermark texts.
#ifndef PIXOLUNE_ENGINE_FILENAME_MASK_H_
#define PIXOLUNE_ENGINE_FILENAME_MASK_H_

#include <string>
#include <vector>

namespace pixolune {

/// The 18 tokens in expansion order.
const std::vector<std::string>& maskTokens();

/// output_folder + (source_subfolder when keep_subfolders) + expandMask().
std::string makeOutputPath();

/// filename_mask lower-cased (empty: "%filename%.%ext%") with every token
/// replaced by the current file's value.
std::string expandMask();

/// Replaces every occurrence of one token (letter case ignored) by its value
/// for the current file and moment.
std::string replaceToken(const std::string& text, const std::string& token);

/// The name without its last "." and what follows; unchanged without ".".
std::string stripExtension(const std::string& file_name);

/// The watermark text with its tokens expanded; literal text keeps its case.
/// A text with fewer than two "%" comes back unchanged.
std::string expandWatermarkText(const std::string& text);

}  // namespace pixolune

#endif  // PIXOLUNE_ENGINE_FILENAME_MASK_H_
