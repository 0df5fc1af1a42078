// Shared test helpers: temporary folders, images read back, the program run
// as a user runs it.
#ifndef PIXOLUNE_TESTS_SUPPORT_TEST_UTIL_H_
#define PIXOLUNE_TESTS_SUPPORT_TEST_UTIL_H_

#include <FreeImage.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pixolune::testing {

/// A fresh folder below the system's temporary folder, removed with its
/// contents when the object goes away. path() ends without "/".
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  /// path() + "/" + name.
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

/// An image read back from disk, as 8-bit RGBA samples (row 0 at the top).
struct Pixels {
  int width = 0;
  int height = 0;
  int bpp = 0;                     // Depth of the file as stored.
  FREE_IMAGE_TYPE type = FIT_UNKNOWN;
  FREE_IMAGE_COLOR_TYPE color_type = FIC_RGB;
  std::vector<uint8_t> rgba;       // width * height * 4.
  bool ok() const { return width > 0; }
  const uint8_t* at(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

/// Reads any image FreeImage knows; width 0 when it cannot. 16-bit samples
/// are rounded to 8 bits.
Pixels readImage(const std::string& path);

/// An image with 16-bit RGBA samples (8-bit files widened by 257, grey
/// repeated in red, green and blue, opaque files at alpha 65535).
struct Pixels16 {
  int width = 0;
  int height = 0;
  int bpp = 0;
  FREE_IMAGE_TYPE type = FIT_UNKNOWN;
  std::vector<uint16_t> rgba;
  bool ok() const { return width > 0; }
  const uint16_t* at(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

/// The samples of a bitmap or of an image file at 16 bits; width 0 when
/// they cannot be read.
Pixels16 samples16(FIBITMAP* dib);
Pixels16 readImage16(const std::string& path);

/// Writes text to a file (binary, as given).
void writeText(const std::string& path, const std::string& text);
std::string readText(const std::string& path);

/// Result of running the pixolune binary.
struct RunResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

/// Runs the program with args in `cwd`, with HOME, XDG_CONFIG_HOME and
/// XDG_RUNTIME_DIR inside `home`, standard input from /dev/null.
RunResult runPixolune(const std::vector<std::string>& args, const std::string& cwd, const std::string& home,
                      int timeout_seconds = 120);

/// What else a run of the binary gets: environment variables and a cap on
/// the size of any file it writes (0: none; a write past it fails as on a
/// full disk, or ends the writing process with SIGXFSZ).
struct RunEnvironment {
  std::vector<std::pair<std::string, std::string>> variables;
  uint64_t file_size_limit = 0;
  int timeout_seconds = 120;
  std::string program;  // Runs this (a shell, say) with the args instead of the binary.
  /// The run loses the superuser's power to pass over file permissions
  /// (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH and CAP_FOWNER leave its
  /// capability bounding set), so a read-only folder binds it even when the
  /// tests run as root. No effect for other users.
  bool bound_by_permissions = false;
};
RunResult runPixolune(const std::vector<std::string>& args, const std::string& cwd, const std::string& home,
                      const RunEnvironment& environment);

/// In a child process about to become the program: points HOME,
/// XDG_CONFIG_HOME (home/config) and XDG_RUNTIME_DIR (home/runtime) at
/// `home`, forgets the display, then sets `variables` (which may override
/// those) and runs `program` (empty: the built pixolune) with `args`. Ends
/// the child with status 127 when it cannot.
[[noreturn]] void execIsolatedPixolune(const std::vector<std::string>& args, const std::string& home,
                                       const std::string& program = "",
                                       const std::vector<std::pair<std::string, std::string>>& variables = {});

/// The real corpus folder (files/, reference/, manifest.tsv), or empty when absent.
std::string corpusFolder();

}  // namespace pixolune::testing

#endif  // PIXOLUNE_TESTS_SUPPORT_TEST_UTIL_H_
