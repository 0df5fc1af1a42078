// The formats the product offers: the input-format and output-format lists.
// The settings own them because the settings file stores per-format keys
// only for the listed formats and takes its default formats from them.
#ifndef PIXOLUNE_SETTINGS_FORMAT_LISTS_H_
#define PIXOLUNE_SETTINGS_FORMAT_LISTS_H_

#include <string>
#include <vector>

namespace pixolune {

/// The offered format keys, lower case: input "psd", output "png". Empty
/// until createFormatLists. Main thread only (tests may set other lists).
std::vector<std::string>& inputFormatList();
std::vector<std::string>& outputFormatList();

/// Creates both lists with their single entries (program start-up).
void createFormatLists();

}  // namespace pixolune

#endif  // PIXOLUNE_SETTINGS_FORMAT_LISTS_H_
