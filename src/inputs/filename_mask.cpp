#include "inputs/filename_mask.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "platform/files.h"
#include "platform/text.h"

namespace pixolune {

namespace {

const char kDefaultMask[] = "%filename%.%ext%";

// One field of the naming moment in local time: `when`, or the clock now
// when it is 0.
std::string clockField(const char* format, int64_t when) {
  time_t now = when != 0 ? static_cast<time_t>(when) : time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  char buf[16];
  strftime(buf, sizeof(buf), format, &local);
  return buf;
}

// Five digits padded with "0"; larger numbers keep all their digits.
std::string fiveDigits(int n) {
  char buf[16];
  snprintf(buf, sizeof(buf), "%05d", n);
  return buf;
}

std::string tokenValue(const NameFields& job, size_t index) {
  const std::string base = index <= 3 ? stripExtension(fileNameOf(job.input_path)) : std::string();
  switch (index) {
    case 0: return base;
    case 1: return toUpper(base);
    case 2: return toLower(base);
    case 3: return titleCase(base);
    case 4: return job.output_extension;
    case 5: return toUpper(job.output_extension);
    case 6: return titleCase(job.output_extension);
    case 7: return clockField("%Y", job.name_time);
    case 8: return clockField("%m", job.name_time);
    case 9: return clockField("%d", job.name_time);
    case 10: return clockField("%H", job.name_time);
    case 11: return clockField("%M", job.name_time);
    case 12: return clockField("%S", job.name_time);
    case 13: return std::to_string(job.target_bpp);
    case 14: return std::to_string(job.result_width);
    case 15: return std::to_string(job.result_height);
    case 16: return fiveDigits(job.random_number);
    case 17: return fiveDigits(job.sequence_number);
    case 18: return job.layer_name;
    case 19: return job.group_path;
    case 20: {
      char buf[16];
      snprintf(buf, sizeof(buf), "%03d", job.piece_index);
      return buf;
    }
    case 21: return job.comp_name;
    default: return "";
  }
}

}  // namespace

const std::vector<std::string>& maskTokens() {
  static const std::vector<std::string> kTokens = {
      "%filename%", "%filename[u]%", "%filename[l]%", "%filename[t]%", "%ext%", "%ext[u]%",
      "%ext[t]%",   "%yyyy%",        "%mm%",          "%dd%",          "%hh%",  "%ii%",
      "%ss%",       "%bpp%",         "%width%",       "%height%",      "%rnd%", "%n%",
      "%layer%",    "%group%",       "%index%",       "%comp%"};
  return kTokens;
}

std::string stripExtension(const std::string& file_name) {
  size_t dot = file_name.rfind('.');
  return dot == std::string::npos ? file_name : file_name.substr(0, dot);
}

NamingOptions namingOptionsFrom(const Settings& settings) {
  return NamingOptions{settings.filename_mask, settings.keep_subfolders};
}

std::string replaceToken(const NameFields& fields, const std::string& text, const std::string& token) {
  const auto& tokens = maskTokens();
  auto it = std::find(tokens.begin(), tokens.end(), toLower(token));
  if (it == tokens.end()) return text;
  return replaceIgnoreCase(text, token, tokenValue(fields, static_cast<size_t>(it - tokens.begin())));
}

std::string expandMask(const NameFields& fields, const std::string& given) {
  std::string mask = toLower(given);
  if (mask.empty()) mask = kDefaultMask;
  if (fields.group_path.empty()) mask = replaceIgnoreCase(replaceIgnoreCase(mask, "%group%/", ""), "%group%_", "");
  for (const std::string& token : maskTokens())
    if (mask.find(token) != std::string::npos) mask = replaceToken(fields, mask, token);
  return mask;
}

std::string expandWatermarkText(const NameFields& fields, const std::string& text) {
  if (std::count(text.begin(), text.end(), '%') < 2) return text;
  std::string working = text;
  for (const std::string& token : maskTokens())
    if (findIgnoreCase(working, token) != std::string::npos) working = replaceToken(fields, working, token);
  return working;
}

std::string outputPathFor(const NameFields& fields, const NamingOptions& naming) {
  const std::string name = expandMask(fields, naming.filename_mask);
  if (isAbsolutePath(name)) {
    // The mask was lower-cased: an absolute one that begins with the output
    // folder in any letter case names a path below it, in the folder's own spelling.
    const std::string folder = withTrailingSlash(fields.output_folder);
    const std::string lower = toLower(folder);
    if (!folder.empty() && name.compare(0, lower.size(), lower) == 0) return folder + name.substr(lower.size());
    return name;
  }
  std::string path = fields.output_folder;
  if (naming.keep_subfolders) path += fields.source_subfolder;
  return path + name;
}

}  // namespace pixolune
