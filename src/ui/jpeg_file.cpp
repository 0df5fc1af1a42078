#include "ui/jpeg_file.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/file_system.h"

namespace pixolune {

namespace {

/// libjpeg ends the process on an error unless told otherwise: jump back to
/// the writer instead.
struct JpegErrorTrap {
  jpeg_error_mgr manager;
  std::jmp_buf return_point;
};

void onJpegError(j_common_ptr info) {
  auto* trap = reinterpret_cast<JpegErrorTrap*>(info->err);
  std::longjmp(trap->return_point, 1);
}

/// Compresses into memory that libjpeg allocates in *buffer (the caller
/// frees it, also after a failure). Holds no objects with destructors, so
/// the jump from the error handler leaves nothing behind.
bool compress(unsigned char** buffer, unsigned long* size, const uint8_t* rgb, int width, int height,
              int quality) {
  jpeg_compress_struct info;
  JpegErrorTrap trap;
  info.err = jpeg_std_error(&trap.manager);
  trap.manager.error_exit = onJpegError;
  if (setjmp(trap.return_point)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, buffer, size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  const size_t stride = static_cast<size_t>(width) * 3;
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb + info.next_scanline * stride);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

bool writeJpegFile(const std::string& path, const uint8_t* rgb, int width, int height, int quality) {
  if (!rgb || width <= 0 || height <= 0) return false;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  bool ok = compress(&buffer, &size, rgb, width, height, quality);
  ok = ok && replaceFile(path, std::string_view(reinterpret_cast<const char*>(buffer), size)).ok();
  std::free(buffer);
  return ok;
}

}  // namespace pixolune
