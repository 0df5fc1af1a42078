#include "run/output_names.h"

#include <cerrno>
#include <cstring>

#include "platform/files.h"
#include "platform/folder_files.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace pixolune {

std::string numberedPath(const std::string& path, int n) {
  const std::string folder = folderOf(path);
  const std::string name = fileNameOf(path);
  const size_t dot = name.rfind('.');
  const std::string suffix = " (" + std::to_string(n) + ")";
  if (dot == std::string::npos || dot == 0) return folder + name + suffix;
  return folder + name.substr(0, dot) + suffix + name.substr(dot);
}

Status checkOutputPath(const std::string& output_path, const std::string& output_folder,
                       const std::string& input_path) {
  if (!output_folder.empty() && !isInsideFolder(output_path, output_folder))
    return Status::invalid("the output name \"" + output_path + "\" lies outside the output folder " + output_folder);
  FileIdentity out_id, in_id;
  if (lexicallyNormal(output_path) == lexicallyNormal(input_path) ||
      (fileIdentity(output_path, &out_id) && fileIdentity(input_path, &in_id) && out_id == in_id))
    return Status::invalid("the output name \"" + output_path + "\" is the input document itself");
  return Status();
}

OutputNames::OutputNames(std::string output_folder, const std::vector<std::string>& inputs)
    : folder_(std::move(output_folder)) {
  for (const std::string& input : inputs) {
    inputs_.insert(lexicallyNormal(input));
    FileIdentity id;
    if (fileIdentity(input, &id)) input_files_.insert(id);
  }
}

bool OutputNames::isInput(const std::string& normal_path) const {
  FileIdentity id;
  return inputs_.count(normal_path) || (fileIdentity(normal_path, &id) && input_files_.count(id));
}

Status openFolderOfOutput(const std::string& path, const std::string& output_folder, const std::string& what,
                          FolderHandle* folder, std::string* root) {
  *root = output_folder.empty() ? folderOf(path) : output_folder;
  std::string steps;
  if (!stepsBelow(folderOf(path).empty() ? "." : folderOf(path), root->empty() ? "." : *root, &steps))
    return Status::invalid(what + " \"" + path + "\" lies outside the output folder " + *root);
  PathFailure failure;
  *folder = openFolderBelow(*root, steps, true, &failure);
  if (!*folder) return Status::ioError(pathFailureReason(failure, *root));
  return Status();
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

Status OutputNames::place(const std::string& temporary, const std::string& wanted, std::string* path) {
  *path = wanted;
  FolderHandle folder;
  bool opened = false;  // Once the folder was to be opened, the temporary file is only reached through it.
  auto refuse = [&](const Status& why) {
    if (folder) removeFileIn(folder, fileNameOf(temporary));
    // Best effort: the refusal is what the user is told.
    else if (!opened) ignoreStatus(realFileSystem().removeFile(temporary));
    return why;
  };
  if (!isInsideFolder(wanted, folder_))
    return refuse(Status::invalid("the output name \"" + wanted + "\" lies outside the output folder " + folder_));
  std::string normal = lexicallyNormal(wanted);
  if (isInput(normal))
    return refuse(Status::invalid("the output name \"" + wanted + "\" is an input document of this run"));
  for (int n = 2; written_.count(normal) || isInput(normal); ++n) {
    *path = numberedPath(wanted, n);
    normal = lexicallyNormal(*path);
  }
  std::string steps;
  if (folderOf(temporary) != folderOf(wanted) || !stepsBelow(folderOf(wanted), folder_, &steps))
    return refuse(Status::invalid("the converted file \"" + temporary + "\" is not beside its output name \"" +
                                  wanted + "\""));
  PathFailure failure;
  opened = true;
  folder = openFolderBelow(folder_, steps, false, &failure);
  if (!folder) return refuse(Status::ioError(pathFailureReason(failure, folder_)));
  const std::string temporary_name = fileNameOf(temporary);
  const EntryKind kind = entryKindIn(folder, temporary_name);
  if (kind == EntryKind::kMissing)
    return refuse(Status::notFound("the converted file \"" + temporary + "\" no longer exists"));
  if (kind != EntryKind::kPlainFile)
    return refuse(Status::invalid("the converted file \"" + temporary + "\" is not a plain file"));
  if (const int error = renameFileIn(folder, temporary_name, fileNameOf(*path)); error != 0)
    return refuse(Status::ioError(pathFailureReason({error, *path}, folder_)));
  written_.insert(normal);
  return Status();
}

}  // namespace pixolune
