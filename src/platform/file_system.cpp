#include "platform/file_system.h"

namespace pixolune {

Status FileReplacement::begin(const std::string& target) {
  discard();
  target_ = target;
  Status st = fs_.newTemporaryFile(target, &temporary_, &file_);
  if (!st.ok()) {
    temporary_.clear();
    file_.reset();
  }
  return st;
}

Status FileReplacement::append(std::string_view bytes) {
  if (!failure_.ok()) return failure_;
  if (!file_) return failure_ = Status::invalid("no file is being written for " + target_);
  failure_ = file_->append(bytes);
  return failure_;
}

Status FileReplacement::commit() {
  Status st = failure_;
  if (st.ok() && !file_) st = Status::invalid("no file is being written for " + target_);
  if (st.ok()) st = file_->sync();
  if (st.ok()) st = file_->close();
  if (st.ok()) st = fs_.renameFile(temporary_, target_);
  if (st.ok()) temporary_.clear();
  discard();
  return st;
}

void FileReplacement::discard() {
  // Discarding abandons the file: a failure to close or remove the temporary
  // changes nothing for the caller, whose own status already says what went wrong.
  if (file_) ignoreStatus(file_->close());
  file_.reset();
  if (!temporary_.empty()) ignoreStatus(fs_.removeFile(temporary_));
  temporary_.clear();
  failure_ = Status();
}

Status replaceFile(const std::string& target, std::string_view bytes, FileSystem& fs) {
  FileReplacement replacement(fs);
  Status st = replacement.begin(target);
  if (st.ok()) st = replacement.append(bytes);
  if (st.ok()) st = replacement.commit();
  return st;
}

Status writeSyncedFile(const std::string& path, const std::function<Status(const std::string& path)>& write,
                       FileSystem& fs) {
  Status st = write(path);
  if (st.ok()) st = fs.syncFile(path);
  // Best effort: the write's own failure is what the caller reports.
  if (!st.ok()) ignoreStatus(fs.removeFile(path));
  return st;
}

}  // namespace pixolune
