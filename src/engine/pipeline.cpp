#include "engine/pipeline.h"

#include <FreeImage.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <ctime>
#include <mutex>
#include <string>

#include "engine/adjust.h"
#include "engine/bit_depth.h"
#include "engine/bitmap.h"
#include "engine/conversion_job.h"
#include "engine/decode.h"
#include "engine/filename_mask.h"
#include "engine/format_table.h"
#include "engine/frame.h"
#include "engine/png_writer.h"
#include "engine/transform.h"
#include "engine/watermark.h"
#include "settings/settings.h"

namespace pixolune {

namespace {

SavingObserver saving_observer = nullptr;

// Saves through a temporary file in the same folder, so a failed or
// interrupted write never leaves a truncated file at the output path.
bool saveImage(FIBITMAP* image, const std::string& path, std::string* reason) {
  static std::atomic<unsigned> counter{0};
  std::string tmp = path + ".pxl-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
  const ConversionJob& job = conversionJob();
  if (saving_observer) saving_observer(tmp);
  PngWriteResult written = PngWriteResult::kNotHandled;
  if (job.format_id == FIF_PNG) {
    PngWriteOptions options = pngOptionsForSaveFlags(job.save_flags);
    options.threads = idleCoresForSave();
    written = writePng(image, tmp, options);
  }
  const bool saved = written == PngWriteResult::kNotHandled
                         ? FreeImage_Save(static_cast<FREE_IMAGE_FORMAT>(job.format_id), image, tmp.c_str(), job.save_flags)
                         : written == PngWriteResult::kWritten;
  if (!saved) {
    unlink(tmp.c_str());
    *reason = "the image could not be written (missing folder, no space or no permission)";
    return false;
  }
  if (rename(tmp.c_str(), path.c_str()) != 0) {
    unlink(tmp.c_str());
    *reason = "the output file could not be replaced";
    return false;
  }
  return true;
}

}  // namespace

void setSavingObserver(SavingObserver observer) { saving_observer = observer; }

ConversionJob& conversionJob() {
  static ConversionJob job;
  return job;
}

int drawRandomNumber() { return static_cast<int>(random() % 99999) + 1; }

void initImageLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    FreeImage_Initialise(FALSE);
    srandom(static_cast<unsigned>(time(nullptr)) ^ static_cast<unsigned>(getpid()));
  });
}

bool prepareRun() {
  initImageLibrary();
  ConversionJob& job = conversionJob();
  job.output_extension = settings().output_format;
  auto row = formatTable().find(job.output_extension);
  if (row == formatTable().end()) return false;
  job.format_id = row->second.format_id;
  job.target_bpp = bitDepthSettingFor(job.output_extension);
  job.auto_bpp = job.target_bpp == 0;
  job.save_flags = saveFlagsFor(job.output_extension);
  return prepareWatermarkRun().ok();
}

bool convertFile() {
  ConversionJob& job = conversionJob();
  job.failure_reason.clear();
  FIBITMAP* image = decodeDocument(job.input_path, loadFlagsFor("psd"), &job.failure_reason);
  int width = image ? static_cast<int>(FreeImage_GetWidth(image)) : 0;
  int height = image ? static_cast<int>(FreeImage_GetHeight(image)) : 0;
  job.source_bpp = image ? static_cast<int>(FreeImage_GetBPP(image)) : 0;
  if (width == 0 || height == 0) {
    if (image) FreeImage_Unload(image);
    if (job.failure_reason.empty()) job.failure_reason = "the document holds no image";
    return false;
  }

  image = rotateStage(image);
  width = image ? static_cast<int>(FreeImage_GetWidth(image)) : 0;
  height = image ? static_cast<int>(FreeImage_GetHeight(image)) : 0;
  image = resizeStage(image, width, height);
  const int W = image ? static_cast<int>(FreeImage_GetWidth(image)) : 0;
  const int H = image ? static_cast<int>(FreeImage_GetHeight(image)) : 0;
  // Stored before the frame and watermark: a watermark text's "%width%" and
  // "%height%" name this file's size, not the previous file's.
  job.result_width = W;
  job.result_height = H;

  image = normalizeGrey(image);
  image = normalizeHighRange(image);
  if (image) flipStage(image);
  image = adjustStage(image);
  image = greyscaleStage(image);
  image = thresholdStage(image);
  image = frameStage(image, W, H);
  image = watermarkStage(image, W, H);
  image = convertBitDepth(image);

  job.output_path = makeOutputPath();
  BitmapPtr owned(image);
  if (!owned) {
    job.failure_reason = "a conversion stage failed";
    return false;
  }
  return saveImage(owned.get(), job.output_path, &job.failure_reason);
}

}  // namespace pixolune
