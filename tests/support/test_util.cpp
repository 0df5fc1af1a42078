#include "support/test_util.h"

#include <fcntl.h>
#include <signal.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace pixolune::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "pixolune-test-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  path_ = made ? made : "";
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

// The samples of any bitmap at 16 bits, RGBA, row 0 at the top; 8-bit
// samples are widened by 257. Width 0 for types without such a view.
Pixels16 samples16(FIBITMAP* dib) {
  Pixels16 px;
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(dib);
  FIBITMAP* rgba = type == FIT_BITMAP ? FreeImage_ConvertTo32Bits(dib) : nullptr;
  if (type != FIT_UINT16 && type != FIT_RGB16 && type != FIT_RGBA16 && !rgba) return px;
  px.bpp = static_cast<int>(FreeImage_GetBPP(dib));
  px.type = type;
  px.width = static_cast<int>(FreeImage_GetWidth(dib));
  px.height = static_cast<int>(FreeImage_GetHeight(dib));
  px.rgba.resize(static_cast<size_t>(px.width) * px.height * 4);
  for (int y = 0; y < px.height; ++y) {
    const BYTE* line = FreeImage_GetScanLine(rgba ? rgba : dib, px.height - 1 - y);
    for (int x = 0; x < px.width; ++x) {
      uint16_t* p = &px.rgba[(static_cast<size_t>(y) * px.width + x) * 4];
      if (rgba) {
        const BYTE* q = line + 4 * x;
        const uint16_t v[4] = {q[FI_RGBA_RED], q[FI_RGBA_GREEN], q[FI_RGBA_BLUE], q[FI_RGBA_ALPHA]};
        for (int c = 0; c < 4; ++c) p[c] = static_cast<uint16_t>(v[c] * 257);
      } else if (type == FIT_UINT16) {
        p[0] = p[1] = p[2] = reinterpret_cast<const WORD*>(line)[x];
        p[3] = 65535;
      } else {
        const WORD* q = reinterpret_cast<const WORD*>(line) + (type == FIT_RGB16 ? 3 : 4) * x;
        for (int c = 0; c < 3; ++c) p[c] = q[c];
        p[3] = type == FIT_RGB16 ? 65535 : q[3];
      }
    }
  }
  if (rgba) FreeImage_Unload(rgba);
  return px;
}

Pixels16 readImage16(const std::string& path) {
  FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(path.c_str(), 0);
  if (fif == FIF_UNKNOWN) return {};
  FIBITMAP* dib = FreeImage_Load(fif, path.c_str(), 0);
  if (!dib) return {};
  Pixels16 px = samples16(dib);
  FreeImage_Unload(dib);
  return px;
}

Pixels readImage(const std::string& path) {
  Pixels px;
  FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(path.c_str(), 0);
  if (fif == FIF_UNKNOWN) return px;
  FIBITMAP* dib = FreeImage_Load(fif, path.c_str(), 0);
  if (!dib) return px;
  px.bpp = static_cast<int>(FreeImage_GetBPP(dib));
  px.type = FreeImage_GetImageType(dib);
  px.color_type = FreeImage_GetColorType(dib);
  Pixels16 wide = samples16(dib);
  const bool wide_type = px.type == FIT_UINT16 || px.type == FIT_RGB16 || px.type == FIT_RGBA16;
  FIBITMAP* rgba = wide_type ? nullptr : FreeImage_ConvertTo32Bits(dib);
  FreeImage_Unload(dib);
  if (wide_type) {
    // FreeImage's 8-bit view of 16-bit samples drops the low byte; here each
    // sample is rounded.
    px.width = wide.width;
    px.height = wide.height;
    for (uint16_t v : wide.rgba) px.rgba.push_back(static_cast<uint8_t>((v + 128u) / 257u));
    return px;
  }
  if (!rgba) return px;
  px.width = static_cast<int>(FreeImage_GetWidth(rgba));
  px.height = static_cast<int>(FreeImage_GetHeight(rgba));
  px.rgba.resize(static_cast<size_t>(px.width) * px.height * 4);
  for (int y = 0; y < px.height; ++y) {
    const BYTE* line = FreeImage_GetScanLine(rgba, px.height - 1 - y);
    for (int x = 0; x < px.width; ++x) {
      uint8_t* p = &px.rgba[(static_cast<size_t>(y) * px.width + x) * 4];
      p[0] = line[4 * x + FI_RGBA_RED];
      p[1] = line[4 * x + FI_RGBA_GREEN];
      p[2] = line[4 * x + FI_RGBA_BLUE];
      p[3] = line[4 * x + FI_RGBA_ALPHA];
    }
  }
  FreeImage_Unload(rgba);
  return px;
}

void writeText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

namespace {

std::string drain(int fd) {
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  return text;
}

}  // namespace

void execIsolatedPixolune(const std::vector<std::string>& args, const std::string& home, const std::string& program,
                          const std::vector<std::pair<std::string, std::string>>& variables) {
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (home + "/runtime").c_str(), 1);
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  for (const auto& [name, value] : variables) setenv(name.c_str(), value.c_str(), 1);
  std::string binary = program.empty() ? PIXOLUNE_BINARY : program;
  std::vector<std::string> copy = args;
  std::vector<char*> argv = {binary.data()};
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  execv(binary.c_str(), argv.data());
  _exit(127);
}

RunResult runPixolune(const std::vector<std::string>& args, const std::string& cwd, const std::string& home,
                      int timeout_seconds) {
  RunEnvironment environment;
  environment.timeout_seconds = timeout_seconds;
  return runPixolune(args, cwd, home, environment);
}

RunResult runPixolune(const std::vector<std::string>& args, const std::string& cwd, const std::string& home,
                      const RunEnvironment& environment) {
  const int timeout_seconds = environment.timeout_seconds;
  RunResult result;
  std::string out_path = home + "/.stdout", err_path = home + "/.stderr";
  std::filesystem::create_directories(home + "/config");
  std::filesystem::create_directories(home + "/runtime");
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(127);
    int in = open("/dev/null", O_RDONLY);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(in, 0), dup2(out, 1), dup2(err, 2);
    if (environment.file_size_limit > 0) {
      rlimit cap{environment.file_size_limit, environment.file_size_limit};
      setrlimit(RLIMIT_FSIZE, &cap);
    }
    if (environment.bound_by_permissions)
      for (int power : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) prctl(PR_CAPBSET_DROP, power, 0, 0, 0);
    execIsolatedPixolune(args, home, environment.program, environment.variables);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  int status = 0;
  while (true) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      result.err = "(killed after time-out)\n";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  int out_fd = open(out_path.c_str(), O_RDONLY), err_fd = open(err_path.c_str(), O_RDONLY);
  result.out = drain(out_fd);
  result.err += drain(err_fd);
  close(out_fd), close(err_fd);
  return result;
}

std::string corpusFolder() {
  std::string dir = PIXOLUNE_CORPUS_DIR;
  return std::filesystem::is_directory(dir + "/files") ? dir : "";
}

}  // namespace pixolune::testing
