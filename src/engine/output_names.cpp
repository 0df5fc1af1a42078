#include "engine/output_names.h"

#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"
#include "platform/text.h"

namespace pixolune {

namespace {

bool fileIdentity(const std::string& path, std::pair<dev_t, ino_t>* id) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  *id = {st.st_dev, st.st_ino};
  return true;
}

}  // namespace

std::string numberedPath(const std::string& path, int n) {
  const std::string folder = folderOf(path);
  const std::string name = fileNameOf(path);
  const size_t dot = name.rfind('.');
  const std::string suffix = " (" + std::to_string(n) + ")";
  if (dot == std::string::npos || dot == 0) return folder + name + suffix;
  return folder + name.substr(0, dot) + suffix + name.substr(dot);
}

std::string outputPathProblem(const std::string& output_path, const std::string& output_folder,
                              const std::string& input_path) {
  if (!output_folder.empty() && !isInsideFolder(output_path, output_folder))
    return "the output name \"" + output_path + "\" lies outside the output folder " + output_folder;
  std::pair<dev_t, ino_t> out_id, in_id;
  if (lexicallyNormal(output_path) == lexicallyNormal(input_path) ||
      (fileIdentity(output_path, &out_id) && fileIdentity(input_path, &in_id) && out_id == in_id))
    return "the output name \"" + output_path + "\" is the input document itself";
  return "";
}

OutputNames::OutputNames(std::string output_folder, const std::vector<std::string>& inputs)
    : folder_(std::move(output_folder)) {
  for (const std::string& input : inputs) {
    inputs_.insert(lexicallyNormal(input));
    std::pair<dev_t, ino_t> id;
    if (fileIdentity(input, &id)) input_files_.insert(id);
  }
}

bool OutputNames::isInput(const std::string& normal_path) const {
  std::pair<dev_t, ino_t> id;
  return inputs_.count(normal_path) || (fileIdentity(normal_path, &id) && input_files_.count(id));
}

bool OutputNames::place(const std::string& temporary, const std::string& wanted, std::string* path,
                        std::string* reason) {
  *path = wanted;
  auto refuse = [&](const std::string& why) {
    unlink(temporary.c_str());
    *reason = why;
    return false;
  };
  if (!isInsideFolder(wanted, folder_))
    return refuse("the output name \"" + wanted + "\" lies outside the output folder " + folder_);
  std::string normal = lexicallyNormal(wanted);
  if (isInput(normal)) return refuse("the output name \"" + wanted + "\" is an input document of this run");
  for (int n = 2; written_.count(normal) || isInput(normal); ++n) {
    *path = numberedPath(wanted, n);
    normal = lexicallyNormal(*path);
  }
  struct stat st;
  if (lstat(temporary.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1)
    return refuse("the converted file \"" + temporary + "\" is missing or not a plain file");
  if (rename(temporary.c_str(), path->c_str()) != 0) return refuse("the output file could not be replaced");
  written_.insert(normal);
  return true;
}

}  // namespace pixolune
