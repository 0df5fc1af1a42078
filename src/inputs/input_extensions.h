// The input extension table and the extensions the product accepts as input.
#ifndef PIXOLUNE_INPUTS_INPUT_EXTENSIONS_H_
#define PIXOLUNE_INPUTS_INPUT_EXTENSIONS_H_

#include <string>
#include <vector>

namespace pixolune {

/// One extension the engine can name as input.
struct InputExtensionRow {
  std::string extension;    // Lower case, without dot; unique in the table.
  std::string format_key;   // The format it belongs to ("raw" for every camera file).
  std::string description;  // Shown by file requesters.
};

/// The table in its fixed order (format by format, the key's own extension
/// first). Empty until buildInputExtensionTable has run.
const std::vector<InputExtensionRow>& inputExtensionTable();

/// Empties and refills the table with its 79 rows. Called when either run
/// mode starts. Not thread-safe: run before any worker.
void buildInputExtensionTable();

/// The row of a lower-case extension, or null.
const InputExtensionRow* findInputExtension(const std::string& extension);

/// Lower-case extensions of every offered input format, in table order.
/// With the product's input-format list ("psd") it is just "psd".
extern std::vector<std::string> input_extensions;

/// Rebuilds input_extensions from the input-format list and the table.
void rebuildInputExtensions();

/// True when `extension` equals one element of input_extensions exactly
/// (the caller lower-cases it first).
bool isInputExtension(const std::string& extension);

}  // namespace pixolune

#endif  // PIXOLUNE_INPUTS_INPUT_EXTENSIONS_H_
