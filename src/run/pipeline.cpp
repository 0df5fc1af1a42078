#include "run/pipeline.h"

#include <FreeImage.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <utility>

#include "stages/adjust.h"
#include "stages/bit_depth.h"
#include "image/bitmap.h"
#include "run/conversion_job.h"
#include "psd/decode.h"
#include "inputs/filename_mask.h"
#include "image/format_table.h"
#include "stages/frame.h"
#include "run/output_names.h"
#include "image/pixel_form.h"
#include "platform/cores.h"
#include "png/png_writer.h"
#include "stages/transform.h"
#include "stages/watermark.h"
#include "platform/files.h"
#include "settings/settings.h"

namespace pixolune {

namespace {

SavingObserver saving_observer = nullptr;

// Drops the document's metadata (comments, EXIF, IPTC, XMP and the rest)
// from the image, so no writer passes it on. The colour profile and the
// resolution are not metadata to FreeImage: they stay.
void stripMetadata(FIBITMAP* image) {
  for (const FREE_IMAGE_MDMODEL model :
       {FIMD_COMMENTS, FIMD_EXIF_MAIN, FIMD_EXIF_EXIF, FIMD_EXIF_GPS, FIMD_EXIF_MAKERNOTE, FIMD_EXIF_INTEROP,
        FIMD_IPTC, FIMD_XMP, FIMD_GEOTIFF, FIMD_CUSTOM, FIMD_EXIF_RAW})
    FreeImage_SetMetadata(model, image, nullptr, nullptr);
}

// Writes the image in the output format: our own PNG writer, or FreeImage
// for the types and formats it leaves to it.
Status writeImage(FIBITMAP* image, const std::string& path) {
  const ConversionJob& job = conversionJob();
  if (settings().strip_metadata) stripMetadata(image);
  if (job.format_id == FIF_PNG) {
    PngWriteOptions options = pngOptionsForSaveFlags(job.save_flags);
    options.threads = idleCores();
    Status written = writePng(image, path, options);
    if (written.code() != Status::Code::kUnsupported) return written;
  }
  if (FreeImage_Save(static_cast<FREE_IMAGE_FORMAT>(job.format_id), image, path.c_str(), job.save_flags)) return Status();
  return Status::ioError("the image library could not write it");
}

// The errors of a failed image write that name what happened. Others may
// be left over from a call that did not matter, so the writer's own text
// stands instead.
bool telling(int error) { return error == ENOSPC || error == EDQUOT || error == EFBIG || error == EIO; }

// True when the device holding the open folder `folder` has no room left
// for this user (the superuser may use the reserved blocks).
bool deviceFull(int folder) {
  struct statvfs st;
  if (fstatvfs(folder, &st) != 0) return false;
  return (geteuid() == 0 ? st.f_bfree : st.f_bavail) == 0;
}

// Why writing the temporary file `tmp` in the open `folder` failed with
// `written` (errno `error` right after the failing call, 0 when unknown).
Status writeFailure(const Status& written, int error, int folder, const std::string& tmp, const std::string& root) {
  if (!telling(error) && deviceFull(folder)) error = ENOSPC;
  if (telling(error) || (error == ENOENT && !isFolder(folderOf(tmp).empty() ? "." : folderOf(tmp))))
    return Status::ioError(pathFailureReason({error, tmp}, root));
  return Status::ioError("the image could not be written: " + written.message());
}

// Writes the image to a temporary file beside `path`, forced to the device,
// so a failed or interrupted write never leaves a truncated file at the
// output path once the temporary file is renamed. The folder of `path` is
// reached (and its missing folders made) from the output folder without
// following symbolic links; the temporary file is announced before it is
// made. A failure names what happened (pathFailureReason) and leaves no file.
Status saveTemporary(FIBITMAP* image, const std::string& path, std::string* tmp) {
  static std::atomic<unsigned> counter{0};
  static std::once_flag ignore_size_signal;
  // A write past the file size limit then fails (EFBIG) and is named, instead of ending the process.
  std::call_once(ignore_size_signal, [] { signal(SIGXFSZ, SIG_IGN); });
  tmp->clear();
  const std::string& output_folder = conversionJob().output_folder;
  const std::string root = output_folder.empty() ? folderOf(path) : output_folder;
  std::string steps;
  if (!stepsBelow(folderOf(path).empty() ? "." : folderOf(path), root.empty() ? "." : root, &steps))
    return Status::invalid("the output name \"" + path + "\" lies outside the output folder " + root);
  PathFailure failure;
  const FolderHandle folder = openFolderBelow(root, steps, true, &failure);
  if (!folder) return Status::ioError(pathFailureReason(failure, root));
  const std::string temporary = path + temporarySuffix(getpid(), counter++);
  const std::string name = fileNameOf(temporary);
  if (saving_observer) saving_observer(temporary);
  const int fd = openat(folder.fd(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return Status::ioError(pathFailureReason({errno, temporary}, root));
  // The writers take a path; the descriptor kept open here syncs the same file and sees its errors.
  errno = 0;
  Status st = writeImage(image, temporary);
  int error = st.ok() ? 0 : errno;
  if (st.ok() && fsync(fd) != 0) {
    error = errno;
    st = Status::ioError(std::strerror(error));
  }
  close(fd);
  if (st.ok()) {
    *tmp = temporary;
    return Status();
  }
  unlinkat(folder.fd(), name.c_str(), 0);
  return writeFailure(st, error, folder.fd(), temporary, root);
}

bool coloured(const std::string& hex) {
  const RGBQUAD c = parseHexColor(hex);
  return c.rgbRed != c.rgbGreen || c.rgbGreen != c.rgbBlue;
}

// True when the frame or the watermark may put colour on the picture.
bool laterStagesAddColour() {
  const Settings& s = settings();
  const bool frame = s.do_frame == 1 && s.solid_opacity > 0 &&
                     ((s.solid_left > 0 && coloured(s.solid_left_color)) ||
                      (s.solid_right > 0 && coloured(s.solid_right_color)) ||
                      (s.solid_top > 0 && coloured(s.solid_top_color)) ||
                      (s.solid_bottom > 0 && coloured(s.solid_bottom_color)));
  const bool text = s.do_watermark == kWatermarkText && ((s.text_opacity > 0 && coloured(s.font_color)) ||
                                            (s.back_opacity > 0 && coloured(s.back_color)));
  const bool picture = s.do_watermark == kWatermarkImage && !s.wm_image_greyscale && s.wm_image_opacity > 0;
  return frame || text || picture;
}


int widthOf(const BitmapPtr& image) { return static_cast<int>(FreeImage_GetWidth(image.get())); }
int heightOf(const BitmapPtr& image) { return static_cast<int>(FreeImage_GetHeight(image.get())); }

// The stages in their order. A failure names the stage it came from.
Status runStages(ConversionJob& job, BitmapPtr& image) {
  const bool grey_document = isGreyImage(image.get());
  Status st = rotateStage(image).within("rotation");
  if (st.ok()) st = resizeStage(image, widthOf(image), heightOf(image)).within("resize");
  if (!st.ok()) return st;
  const int W = widthOf(image), H = heightOf(image);
  // Stored before the frame and watermark: a watermark text's "%width%" and
  // "%height%" name this file's size, not the previous file's.
  job.result_width = W;
  job.result_height = H;

  image = normalizeHighRange(normalizeGrey(std::move(image)));
  if (!image) return Status::unsupported("the samples could not be brought to 8 or 16 bits").within("normalisation");
  st = flipStage(image).within("flip");
  if (st.ok()) st = adjustStage(image).within("colour correction");
  if (st.ok()) st = greyscaleStage(image).within("greyscale");
  if (st.ok()) st = thresholdStage(image).within("threshold");
  if (!st.ok()) return st;
  // Chosen before the frame, so a watermark's "%bpp%" names this file's depth.
  chooseBitDepth(image.get(), grey_document && (laterStagesAddColour() || !isNeutralImage(image.get())));
  st = frameStage(image, W, H).within("frame");
  if (st.ok()) st = watermarkStage(image, W, H).within("watermark");
  if (st.ok()) st = convertBitDepth(image).within("bit depth");
  return st;
}

// Decodes, runs the stages, names the output and writes it under its
// temporary name.
Status convertCurrentFile(ConversionJob& job) {
  BitmapPtr image;
  Status st = decodeDocument(job.input_path, loadFlagsFor("psd"), &image);
  job.decode_note = lastDecodeNote();
  job.source_bpp = image ? static_cast<int>(FreeImage_GetBPP(image.get())) : 0;
  if (!st.ok()) return st;
  if (widthOf(image) == 0 || heightOf(image) == 0) return Status::corrupt("the document holds no image");
  st = runStages(job, image);
  if (!st.ok()) return st;
  job.output_path = makeOutputPath();
  const std::string problem = outputPathProblem(job.output_path, job.output_folder, job.input_path);
  if (!problem.empty()) return Status::invalid(problem);
  return saveTemporary(image.get(), job.output_path, &job.temporary_path);
}

}  // namespace

void setSavingObserver(SavingObserver observer) { saving_observer = observer; }

std::string temporarySuffix(long pid, unsigned number) {
  return ".pxl-" + std::to_string(pid) + "-" + std::to_string(number);
}

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

Status prepareRun() {
  initImageLibrary();
  ConversionJob& job = conversionJob();
  job.output_extension = settings().output_format;
  auto row = formatTable().find(job.output_extension);
  if (row == formatTable().end()) return Status::invalid("unknown output format \"" + job.output_extension + "\"");
  job.format_id = row->second.format_id;
  job.target_bpp = bitDepthSettingFor(job.output_extension);
  job.auto_bpp = job.target_bpp == 0;
  job.save_flags = saveFlagsFor(job.output_extension);
  return prepareWatermarkRun();
}

bool convertFile() {
  if (!convertToTemporary()) return false;
  ConversionJob& job = conversionJob();
  const std::string tmp = std::exchange(job.temporary_path, std::string());
  if (rename(tmp.c_str(), job.output_path.c_str()) != 0) {
    unlink(tmp.c_str());
    job.failure_reason = "the output file could not be replaced";
    return false;
  }
  return true;
}

bool convertToTemporary() {
  ConversionJob& job = conversionJob();
  job.temporary_path.clear();
  const Status st = convertCurrentFile(job);
  job.failure_reason = st.message();
  return st.ok();
}

}  // namespace pixolune
