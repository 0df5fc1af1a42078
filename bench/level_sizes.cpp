// Which libdeflate level to use for each zlib level: writes every PNG given
// (what the pipeline wrote, uncompressed) again with FreeImage's writer at
// zlib levels 1, 6 and 9 and with ours at each libdeflate level, and prints
// the total size and time of each (one thread). The writer's table takes,
// for each zlib level, the fastest libdeflate level whose total is no larger.
// Usage: level_sizes <scratch-folder> <libdeflate levels, e.g. 1,6,7> <file.png>...
#include <FreeImage.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "png/png_writer.h"

namespace {

struct Total {
  uintmax_t bytes = 0;
  double seconds = 0;
};

double since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: level_sizes <scratch-folder> <levels> <file.png>...\n");
    return 1;
  }
  std::vector<int> levels;
  for (const char* p = argv[2]; *p;) {
    char* end = nullptr;
    levels.push_back(static_cast<int>(std::strtol(p, &end, 10)));
    p = *end == ',' ? end + 1 : end;
    if (end == p && *p) return 1;
  }
  FreeImage_Initialise(FALSE);
  const std::string out = std::string(argv[1]) + "/level_sizes.png";
  Total zlib[10], ours[13];
  for (int i = 3; i < argc; ++i) {
    FIBITMAP* image = FreeImage_Load(FIF_PNG, argv[i], 0);
    if (!image) continue;
    for (int z : {1, 6, 9}) {
      const auto start = std::chrono::steady_clock::now();
      FreeImage_Save(FIF_PNG, image, out.c_str(), z);
      zlib[z].seconds += since(start);
      zlib[z].bytes += std::filesystem::file_size(out);
    }
    for (int level : levels) {
      if (level < 0 || level > 12) continue;
      const auto start = std::chrono::steady_clock::now();
      const pixolune::Status written = pixolune::writePng(image, out, {level, false, 1});
      if (!written.ok()) {
        std::fprintf(stderr, "level %d: %s\n", level, written.message().c_str());
        return 1;
      }
      ours[level].seconds += since(start);
      ours[level].bytes += std::filesystem::file_size(out);
    }
    FreeImage_Unload(image);
  }
  for (int z : {1, 6, 9}) std::printf("zlib %2d        %12ju bytes %8.2f s\n", z, zlib[z].bytes, zlib[z].seconds);
  for (int level : levels)
    if (level >= 0 && level <= 12) std::printf("libdeflate %2d  %12ju bytes %8.2f s\n", level, ours[level].bytes, ours[level].seconds);
  std::filesystem::remove(out);
  return 0;
}
