#include "settings/format_lists.h"

namespace pixolune {

std::vector<std::string>& inputFormatList() {
  static std::vector<std::string> list;
  return list;
}

std::vector<std::string>& outputFormatList() {
  static std::vector<std::string> list;
  return list;
}

void createFormatLists() {
  inputFormatList() = {"psd"};
  outputFormatList() = {"png"};
}

}  // namespace pixolune
