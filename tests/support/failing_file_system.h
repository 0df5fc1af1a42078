// A file system that fails at one chosen step, as a full disk, a read-only
// folder or a failing device would, and otherwise passes every call to the
// real one. Fails the same way for every user, the superuser included.
#ifndef PIXOLUNE_TESTS_SUPPORT_FAILING_FILE_SYSTEM_H_
#define PIXOLUNE_TESTS_SUPPORT_FAILING_FILE_SYSTEM_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace pixolune::testing {

class FailingFileSystem : public FileSystem {
 public:
  enum class Step { kNothing, kCreate, kAppend, kSync, kClose, kRename };

  /// With kAppend, each file takes `append_bytes` bytes before an append fails.
  explicit FailingFileSystem(Step failing, size_t append_bytes = 0) : failing_(failing), append_bytes_(append_bytes) {}

  Status newTemporaryFile(const std::string& target, std::string* path,
                          std::unique_ptr<WritableFile>* file) override;
  Status newFile(const std::string& path, std::unique_ptr<WritableFile>* file) override;
  Status syncFile(const std::string& path) override;
  Status renameFile(const std::string& from, const std::string& to) override;
  Status removeFile(const std::string& path) override;

  Step failing() const { return failing_; }
  size_t appendBytes() const { return append_bytes_; }
  /// Every file created (temporary or named), in order.
  const std::vector<std::string>& created() const { return created_; }

 private:
  Step failing_;
  size_t append_bytes_;
  std::vector<std::string> created_;
};

}  // namespace pixolune::testing

#endif  // PIXOLUNE_TESTS_SUPPORT_FAILING_FILE_SYSTEM_H_
