#include "run/output_names.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

std::string pathFailureReason(const PathFailure& failure, const std::string& output_folder) {
  const std::string folder = folderOf(failure.path).empty() ? "./" : folderOf(failure.path);
  switch (failure.error) {
    case ELOOP:
      return "the path passes through the symbolic link \"" + failure.path + "\", which is not followed";
    case ENOENT:
      if (!isFolder(output_folder.empty() ? "." : output_folder))
        return "the output folder \"" + output_folder + "\" no longer exists";
      return "the folder \"" + folder + "\" no longer exists";
    case ENOTDIR:
      return "\"" + failure.path + "\" is not a folder";
    case ENAMETOOLONG:
      return "the file name is too long";
    case ENOSPC:
      return "no space left on the device";
    case EDQUOT:
      return "no space left: the disk quota is used up";
    case EFBIG:
      return "no space for the file: it would pass the largest file size allowed";
    case EACCES:
    case EPERM:
      return "no permission to write in \"" + folder + "\"";
    case EROFS:
      return "no permission to write in \"" + folder + "\": the device is read-only";
    case EXDEV:
      return "the path \"" + failure.path + "\" leads outside the output folder " + output_folder;
    default:
      return "\"" + failure.path + "\" could not be written: " + std::strerror(failure.error);
  }
}

bool OutputNames::place(const std::string& temporary, const std::string& wanted, std::string* path,
                        std::string* reason) {
  *path = wanted;
  FolderHandle folder;
  bool opened = false;  // Once the folder was to be opened, the temporary file is only reached through it.
  auto refuse = [&](const std::string& why) {
    if (folder) unlinkat(folder.fd(), fileNameOf(temporary).c_str(), 0);
    else if (!opened) unlink(temporary.c_str());
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
  std::string steps;
  if (folderOf(temporary) != folderOf(wanted) || !stepsBelow(folderOf(wanted), folder_, &steps))
    return refuse("the converted file \"" + temporary + "\" is not beside its output name \"" + wanted + "\"");
  PathFailure failure;
  opened = true;
  folder = openFolderBelow(folder_, steps, false, &failure);
  if (!folder) return refuse(pathFailureReason(failure, folder_));
  const std::string temporary_name = fileNameOf(temporary);
  struct stat st;
  if (fstatat(folder.fd(), temporary_name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return refuse("the converted file \"" + temporary + "\" no longer exists");
  if (!S_ISREG(st.st_mode) || st.st_nlink != 1)
    return refuse("the converted file \"" + temporary + "\" is not a plain file");
  if (renameat(folder.fd(), temporary_name.c_str(), folder.fd(), fileNameOf(*path).c_str()) != 0)
    return refuse(pathFailureReason({errno, *path}, folder_));
  written_.insert(normal);
  return true;
}

}  // namespace pixolune
