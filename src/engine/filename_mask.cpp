#include "engine/filename_mask.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "engine/conversion_job.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/settings.h"

namespace pixolune {

namespace {

const char kDefaultMask[] = "%filename%.%ext%";

std::string inputBaseName() { return stripExtension(fileNameOf(conversionJob().input_path)); }

// One field of the current local time, taken from the clock when asked.
std::string clockField(const char* format) {
  time_t now = time(nullptr);
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

std::string tokenValue(size_t index) {
  const ConversionJob& job = conversionJob();
  switch (index) {
    case 0: return inputBaseName();
    case 1: return toUpper(inputBaseName());
    case 2: return toLower(inputBaseName());
    case 3: return titleCase(inputBaseName());
    case 4: return job.output_extension;
    case 5: return toUpper(job.output_extension);
    case 6: return titleCase(job.output_extension);
    case 7: return clockField("%Y");
    case 8: return clockField("%m");
    case 9: return clockField("%d");
    case 10: return clockField("%H");
    case 11: return clockField("%M");
    case 12: return clockField("%S");
    case 13: return std::to_string(job.target_bpp);
    case 14: return std::to_string(job.result_width);
    case 15: return std::to_string(job.result_height);
    case 16: return fiveDigits(job.random_number);
    case 17: return fiveDigits(job.sequence_number);
    default: return "";
  }
}

}  // namespace

const std::vector<std::string>& maskTokens() {
  static const std::vector<std::string> kTokens = {
      "%filename%", "%filename[u]%", "%filename[l]%", "%filename[t]%", "%ext%", "%ext[u]%",
      "%ext[t]%",   "%yyyy%",        "%mm%",          "%dd%",          "%hh%",  "%ii%",
      "%ss%",       "%bpp%",         "%width%",       "%height%",      "%rnd%", "%n%"};
  return kTokens;
}

std::string stripExtension(const std::string& file_name) {
  size_t dot = file_name.rfind('.');
  return dot == std::string::npos ? file_name : file_name.substr(0, dot);
}

std::string replaceToken(const std::string& text, const std::string& token) {
  const auto& tokens = maskTokens();
  auto it = std::find(tokens.begin(), tokens.end(), toLower(token));
  if (it == tokens.end()) return text;
  return replaceIgnoreCase(text, token, tokenValue(static_cast<size_t>(it - tokens.begin())));
}

std::string expandMask() {
  std::string mask = toLower(settings().filename_mask);
  if (mask.empty()) mask = kDefaultMask;
  for (const std::string& token : maskTokens())
    if (mask.find(token) != std::string::npos) mask = replaceToken(mask, token);
  return mask;
}

std::string expandWatermarkText(const std::string& text) {
  if (std::count(text.begin(), text.end(), '%') < 2) return text;
  std::string working = text;
  for (const std::string& token : maskTokens())
    if (findIgnoreCase(working, token) != std::string::npos) working = replaceToken(working, token);
  return working;
}

std::string makeOutputPath() {
  const ConversionJob& job = conversionJob();
  std::string path = job.output_folder;
  if (settings().keep_subfolders) path += job.source_subfolder;
  return path + expandMask();
}

}  // namespace pixolune
