// The one result type of operations that can fail: a code and a message.
#ifndef PIXOLUNE_PLATFORM_STATUS_H_
#define PIXOLUNE_PLATFORM_STATUS_H_

#include <string>
#include <string_view>
#include <utility>

namespace pixolune {

/// What an operation gave: ok, or a failure kind with a message for the
/// user that names the file or step. ok() follows from the code alone.
/// Cheap to copy; a default-constructed Status is ok. A caller checks it or
/// drops it through ignoreStatus, saying why dropping is right.
class [[nodiscard]] Status {
 public:
  enum class Code {
    kOk,
    kNotFound,     // A file or value that should be there is not.
    kCorrupt,      // The input's bytes break its format.
    kUnsupported,  // A valid input this program cannot handle.
    kIoError,      // Reading or writing failed (space, permission, device).
    kInvalid,      // An argument or setting is out of range.
  };

  Status() = default;
  static Status notFound(std::string message) { return Status(Code::kNotFound, std::move(message)); }
  static Status corrupt(std::string message) { return Status(Code::kCorrupt, std::move(message)); }
  static Status unsupported(std::string message) { return Status(Code::kUnsupported, std::move(message)); }
  static Status ioError(std::string message) { return Status(Code::kIoError, std::move(message)); }
  static Status invalid(std::string message) { return Status(Code::kInvalid, std::move(message)); }
  /// A status of the given kind (kOk gives ok, without a message).
  static Status withCode(Code code, std::string message) {
    return code == Code::kOk ? Status() : Status(code, std::move(message));
  }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  const std::string& message() const { return message_; }

  /// The same failure with "`step`: " in front of its message (ok stays ok),
  /// so a reason says where it arose: "resize: out of memory".
  Status within(std::string_view step) const {
    return ok() ? *this : Status(code_, std::string(step) + ": " + message_);
  }

 private:
  Status(Code code, std::string message) : code_(code), message_(std::move(message)) {}

  Code code_ = Code::kOk;
  std::string message_;
};

/// Drops a status on purpose: cleanup after an earlier failure, or a step
/// whose failure changes nothing for the caller. Each call says why.
inline void ignoreStatus(const Status& /*dropped*/) {}

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_STATUS_H_
