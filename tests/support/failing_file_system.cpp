#include "support/failing_file_system.h"

namespace pixolune::testing {

namespace {

Status fakeError(const std::string& path) { return Status::ioError(path + ": fake error"); }

class FailingFile : public WritableFile {
 public:
  FailingFile(std::unique_ptr<WritableFile> real, const FailingFileSystem& fs, std::string path)
      : real_(std::move(real)), fs_(fs), path_(std::move(path)) {}
  Status append(std::string_view bytes) override {
    if (fails(FailingFileSystem::Step::kAppend) && appended_ + bytes.size() > fs_.appendBytes()) return fakeError(path_);
    appended_ += bytes.size();
    return real_->append(bytes);
  }
  Status sync() override { return fails(FailingFileSystem::Step::kSync) ? fakeError(path_) : real_->sync(); }
  void startWriteback() override { real_->startWriteback(); }
  Status close() override {
    Status st = real_->close();
    return fails(FailingFileSystem::Step::kClose) && st.ok() ? fakeError(path_) : st;
  }

 private:
  bool fails(FailingFileSystem::Step step) const { return fs_.failing() == step; }
  std::unique_ptr<WritableFile> real_;
  const FailingFileSystem& fs_;
  std::string path_;
  size_t appended_ = 0;
};

}  // namespace

Status FailingFileSystem::newTemporaryFile(const std::string& target, std::string* path,
                                           std::unique_ptr<WritableFile>* file) {
  if (failing_ == Step::kCreate) return fakeError(target);
  std::unique_ptr<WritableFile> real;
  Status st = realFileSystem().newTemporaryFile(target, path, &real);
  if (!st.ok()) return st;
  created_.push_back(*path);
  *file = std::make_unique<FailingFile>(std::move(real), *this, *path);
  return st;
}

Status FailingFileSystem::newFile(const std::string& path, std::unique_ptr<WritableFile>* file) {
  if (failing_ == Step::kCreate) return fakeError(path);
  std::unique_ptr<WritableFile> real;
  Status st = realFileSystem().newFile(path, &real);
  if (!st.ok()) return st;
  created_.push_back(path);
  *file = std::make_unique<FailingFile>(std::move(real), *this, path);
  return st;
}

Status FailingFileSystem::syncFile(const std::string& path) {
  return failing_ == Step::kSync ? fakeError(path) : realFileSystem().syncFile(path);
}

Status FailingFileSystem::renameFile(const std::string& from, const std::string& to) {
  return failing_ == Step::kRename ? fakeError(to) : realFileSystem().renameFile(from, to);
}

Status FailingFileSystem::removeFile(const std::string& path) { return realFileSystem().removeFile(path); }

}  // namespace pixolune::testing
