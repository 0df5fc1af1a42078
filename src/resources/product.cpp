#include "resources/product.h"

namespace pixolune {

std::string formatVersion(int n) {
  std::string s = std::to_string(n);
  if (s.size() >= 2) s.insert(1, ".");
  if (s.size() >= 4) s.insert(3, ".");
  if (!s.empty() && s.back() == '0') s = s.substr(0, 3);
  return s;
}

std::string makeTitle(const std::string& name, int version) { return name + " " + formatVersion(version); }

std::string productTitle() { return makeTitle(kProgramName, kProgramVersion); }

}  // namespace pixolune
