// The floor of the libraries Pixolune is built on: one process that loads
// each Photoshop document with FreeImage and saves it as PNG, in turn, with
// nothing else around it (no checks, no stages, no temporary names).
// Usage: freeimage_floor <output-folder> <compression: none|zlib6> <file>...
#include <FreeImage.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc < 3 || (std::strcmp(argv[2], "none") != 0 && std::strcmp(argv[2], "zlib6") != 0)) {
    std::fprintf(stderr, "usage: freeimage_floor <output-folder> none|zlib6 <file>...\n");
    return 1;
  }
  const std::string out = argv[1];
  const int flags = std::strcmp(argv[2], "none") == 0 ? PNG_Z_NO_COMPRESSION : PNG_Z_DEFAULT_COMPRESSION;
  FreeImage_Initialise(FALSE);
  int failures = 0;
  for (int i = 3; i < argc; ++i) {
    std::string name = argv[i];
    name = name.substr(name.find_last_of('/') + 1);
    name = out + "/" + name.substr(0, name.find_last_of('.')) + ".png";
    FIBITMAP* image = FreeImage_Load(FIF_PSD, argv[i], 0);
    if (!image || !FreeImage_Save(FIF_PNG, image, name.c_str(), flags)) ++failures;
    if (image) FreeImage_Unload(image);
  }
  FreeImage_DeInitialise();
  if (failures) std::fprintf(stderr, "%d of %d files not converted\n", failures, argc - 3);
  return failures == 0 ? 0 : 2;
}
