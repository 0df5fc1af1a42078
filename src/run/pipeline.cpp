#include "run/pipeline.h"

#include <FreeImage.h>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <utility>

#include "stages/adjust.h"
#include "stages/bit_depth.h"
#include "image/bitmap.h"
#include "image/colour_management.h"
#include "run/conversion_job.h"
#include "run/decode.h"
#include "inputs/filename_mask.h"
#include "image/format_table.h"
#include "stages/frame.h"
#include "run/output_names.h"
#include "image/pixel_form.h"
#include "platform/cores.h"
#include "png/png_writer.h"
#include "stages/transform.h"
#include "stages/watermark.h"
#include "platform/file_system.h"
#include "platform/files.h"
#include "platform/folder_files.h"
#include "platform/processes.h"
#include "platform/signals.h"
#include "platform/text.h"
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
// for the types and formats it leaves to it. `grey_alpha`: a neutral image
// with alpha is written as grey with alpha where the format has it.
Status writeImage(FIBITMAP* image, const std::string& path, const RunOptions& run, bool grey_alpha) {
  if (run.strip_metadata) stripMetadata(image);
  if (run.format_id == FIF_PNG) {
    PngWriteOptions options = pngOptionsForSaveFlags(run.save_flags);
    options.threads = idleCores();
    options.grey_alpha = grey_alpha;
    Status written = writePng(image, path, options);
    if (written.code() != Status::Code::kUnsupported) return written;
  }
  if (FreeImage_Save(static_cast<FREE_IMAGE_FORMAT>(run.format_id), image, path.c_str(), run.save_flags))
    return Status();
  return Status::ioError("the image library could not write it");
}

// The errors of a failed image write that name what happened. Others may
// be left over from a call that did not matter, so the writer's own text
// stands instead.
bool telling(int error) { return error == ENOSPC || error == EDQUOT || error == EFBIG || error == EIO; }

// Why writing the temporary file `tmp` in the open `folder` failed with
// `written` (errno `error` right after the failing call, 0 when unknown).
Status writeFailure(const Status& written, int error, const FolderHandle& folder, const std::string& tmp, const std::string& root) {
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
Status saveTemporary(FIBITMAP* image, const std::string& path, const std::string& output_folder, const RunOptions& run,
                     bool grey_alpha, std::string* tmp) {
  static std::atomic<unsigned> counter{0};
  static std::once_flag ignore_size_signal;
  // A write past the file size limit then fails (EFBIG) and is named, instead of ending the process.
  std::call_once(ignore_size_signal, [] { ignoreFileSizeSignal(); });
  tmp->clear();
  FolderHandle folder;
  std::string root;
  Status opened = openFolderOfOutput(path, output_folder, "the output name", &folder, &root);
  if (!opened.ok()) return opened;
  const std::string temporary = path + temporarySuffix(currentProcessId(), counter++);
  const std::string name = fileNameOf(temporary);
  if (saving_observer) saving_observer(temporary);
  int create_error = 0;
  OpenFile file = createNewFileIn(folder, name, &create_error);
  if (!file) return Status::ioError(pathFailureReason({create_error, temporary}, root));
  // The writers take a path; the descriptor kept open here syncs the same file and sees its errors.
  errno = 0;
  Status st = writeImage(image, temporary, run, grey_alpha);
  int error = st.ok() ? 0 : errno;
  if (st.ok() && (error = file.syncToDevice()) != 0) st = Status::ioError(std::strerror(error));
  file.close();
  if (st.ok()) {
    *tmp = temporary;
    return Status();
  }
  removeFileIn(folder, name);
  return writeFailure(st, error, folder, temporary, root);
}

bool coloured(const std::string& hex) {
  const RGBQUAD c = parseHexColor(hex);
  return c.rgbRed != c.rgbGreen || c.rgbGreen != c.rgbBlue;
}

// True when the frame or the watermark may put colour on the picture.
bool laterStagesAddColour(const StageOptions& s) {
  const FrameOptions& f = s.frame;
  const bool frame = f.enabled && f.opacity > 0 &&
                     ((f.left > 0 && coloured(f.left_color)) || (f.right > 0 && coloured(f.right_color)) ||
                      (f.top > 0 && coloured(f.top_color)) || (f.bottom > 0 && coloured(f.bottom_color)));
  const WatermarkOptions& w = s.watermark;
  const bool text = w.kind == kWatermarkText && ((w.text_layer.text_opacity > 0 && coloured(w.text_layer.font_color)) ||
                                                 (w.text_layer.back_opacity > 0 && coloured(w.text_layer.back_color)));
  const bool picture = w.kind == kWatermarkImage && !w.picture.greyscale && w.picture.opacity > 0;
  return frame || text || picture;
}


// True when a simple rotation's corners may put colour on the picture.
bool rotationAddsColour(const TransformOptions& t) {
  return t.rotate && t.rotation_type == kRotationSimple && t.rotation % 90 != 0 && coloured(t.rotation_back_color);
}

// The colours of a file on their way through the stages: the profile they
// are in and whether the picture is still a grey document's.
struct FileColour {
  std::string profile;
  bool grey = false;
};

// The picture leaves with the profile its colours are in where the PNG can
// carry it: an RGB profile on colour, a grey profile on grey (and on grey
// with alpha written as such). Stages may have made the bitmap anew
// without it, or made a grey picture of a colour one.
void attachProfile(FIBITMAP* image, const FileColour& colour, bool grey_alpha) {
  const ProfileSpace space = profileSpace(colour.profile);
  const bool grey = isGreyImage(image) || (grey_alpha && hasAlpha(image));
  const bool fits = (space == ProfileSpace::kRgb && !grey) || (space == ProfileSpace::kGrey && grey);
  // A profile that cannot be kept (memory) leaves the picture untagged: sRGB.
  setBitmapProfile(image, fits ? colour.profile : std::string());
}

int widthOf(const BitmapPtr& image) { return static_cast<int>(FreeImage_GetWidth(image.get())); }
int heightOf(const BitmapPtr& image) { return static_cast<int>(FreeImage_GetHeight(image.get())); }

// The stages in their order. A failure names the stage it came from.
// A grey document that a stage will put colour on is made colour first,
// through its grey profile; otherwise it stays grey (*colour says which).
Status runStages(const ConversionRequest& request, const RunOptions& run, BitmapPtr& image, FileColour* colour,
                 ConversionResult& result) {
  const StageOptions& o = run.stages;
  const bool took_colour = colour->grey && (rotationAddsColour(o.transform) || laterStagesAddColour(o));
  if (took_colour) {
    image = greyToSrgb(std::move(image), colour->profile);
    if (!image) return Status::ioError("not enough memory").within("grey to colour");
    *colour = FileColour();
  }
  const bool grey_document = isGreyImage(image.get());
  Status st = rotateStage(image, o.transform).within("rotation");
  if (st.ok()) st = resizeStage(image, widthOf(image), heightOf(image), o.transform).within("resize");
  if (!st.ok()) return st;
  const int W = widthOf(image), H = heightOf(image);
  // Stored before the frame and watermark: a watermark text's "%width%" and
  // "%height%" name this file's size.
  result.result_width = W;
  result.result_height = H;

  image = normalizeHighRange(normalizeGrey(std::move(image)));
  if (!image) return Status::unsupported("the samples could not be brought to 8 or 16 bits").within("normalisation");
  st = flipStage(image, o.transform).within("flip");
  if (st.ok()) st = adjustStage(image, o.adjust).within("colour correction");
  if (st.ok()) st = greyscaleStage(image, o.adjust).within("greyscale");
  if (st.ok()) st = thresholdStage(image, o.adjust).within("threshold");
  if (!st.ok()) return st;
  // Chosen before the frame, so a watermark's "%bpp%" names this file's depth.
  result.target_bpp = chooseBitDepth(
      image.get(), took_colour || (grey_document && (laterStagesAddColour(o) || !isNeutralImage(image.get()))),
      result.source_bpp, o.depth);
  st = frameStage(image, W, H, o.frame).within("frame");
  if (st.ok()) st = watermarkStage(image, W, H, o.watermark, o.frame, nameFieldsOf(request, run, result)).within("watermark");
  if (st.ok()) st = convertBitDepth(image, result.target_bpp, o.depth).within("bit depth");
  // Grey with transparency stays grey where the depth was left to the program.
  colour->grey = colour->grey && o.depth.fixed_bpp == 0 && isNeutralImage(image.get());
  return st;
}

// Decodes, runs the stages, names the output and writes it under its
// temporary name.
Status convertRequested(const ConversionRequest& request, const RunOptions& run, ConversionResult& result) {
  BitmapPtr image;
  DecodedColour decoded;
  Status st;
  if (run.exporting.kind == kExportDocument) {
    st = decodeDocument(request.input_path, run.load_flags, &image, &decoded);
  } else if (request.piece < 0) {
    // Its pieces could not be listed: this says why.
    std::vector<ExportPiece> pieces;
    st = listDocumentPieces(request.input_path, run.exporting, &pieces);
    if (st.ok()) st = Status::invalid("its pieces changed while the run listed them");
    return st;
  } else {
    ExportPiece piece;
    LayerRect shown;
    st = decodePiece(request.input_path, run.exporting, request.piece, &image, &decoded, &piece, &shown,
                     &result.piece_empty);
    result.piece_left = shown.left, result.piece_top = shown.top;
    result.piece_width = shown.width(), result.piece_height = shown.height();
  }
  result.decode_note = lastDecodeNote();
  result.colour_note = decoded.note;
  result.source_bpp = image ? static_cast<int>(FreeImage_GetBPP(image.get())) : 0;
  if (!st.ok()) return st;
  if (widthOf(image) == 0 || heightOf(image) == 0) return Status::corrupt("the document holds no image");
  FileColour colour{decoded.profile, decoded.grey};
  st = runStages(request, run, image, &colour, result);
  if (!st.ok()) return st;
  const bool grey_alpha = colour.grey && hasAlpha(image.get());
  attachProfile(image.get(), colour, grey_alpha);
  result.output_path = outputPathFor(nameFieldsOf(request, run, result), run.naming);
  st = checkOutputPath(result.output_path, request.output_folder, request.input_path);
  if (!st.ok()) return st;
  return saveTemporary(image.get(), result.output_path, request.output_folder, run, grey_alpha,
                       &result.temporary_path);
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

NameCounters& nameCounters() {
  static NameCounters counters;
  return counters;
}

int drawRandomNumber() { return static_cast<int>(random() % 99999) + 1; }

StageOptions stageOptionsFrom(const Settings& settings) {
  StageOptions o;
  o.transform = transformOptionsFrom(settings);
  o.adjust = adjustOptionsFrom(settings);
  o.frame = frameOptionsFrom(settings);
  o.watermark = watermarkOptionsFrom(settings);
  o.depth = depthOptionsFrom(settings);
  return o;
}

Status runOptionsFrom(const Settings& settings, RunOptions* options) {
  RunOptions run;
  run.output_extension = settings.output_format;
  auto row = formatTable().find(run.output_extension);
  if (row == formatTable().end()) return Status::invalid("unknown output format \"" + run.output_extension + "\"");
  run.stages = stageOptionsFrom(settings);
  run.naming = namingOptionsFrom(settings);
  run.exporting.kind = settings.export_kind <= kExportComps ? settings.export_kind : uint8_t{kExportDocument};
  run.exporting.canvas_bounds = settings.export_canvas_bounds;
  run.exporting.hidden = settings.export_hidden;
  run.exporting.depth = std::max(1, settings.export_depth);
  run.exporting.manifest = settings.export_manifest;
  run.naming.filename_mask = maskForExport(run.naming.filename_mask, run.exporting.kind);
  run.format_id = row->second.format_id;
  run.save_flags = saveFlagsFor(run.output_extension, settings);
  run.load_flags = loadFlagsFor("psd", settings);
  run.strip_metadata = settings.strip_metadata;
  run.file_timestamp = settings.file_timestamp;
  run.custom_timestamp = settings.custom_timestamp;
  *options = std::move(run);
  return Status();
}

Status prepareRun(const Settings& settings, RunOptions* options) {
  initImageLibrary();
  Status st = runOptionsFrom(settings, options);
  if (!st.ok()) return st;
  return prepareWatermarkRun(options->stages.watermark);
}

std::string maskForExport(const std::string& mask, uint8_t export_kind) {
  if (export_kind == kExportDocument) return mask;
  for (const char* token : {"%layer%", "%group%", "%index%", "%comp%"})
    if (findIgnoreCase(mask, token) != std::string::npos) return mask;
  return kExportMask;
}

NameFields nameFieldsOf(const ConversionRequest& request, const RunOptions& run, const ConversionResult& result) {
  NameFields fields;
  fields.input_path = request.input_path;
  fields.source_subfolder = request.source_subfolder;
  fields.output_folder = request.output_folder;
  fields.output_extension = run.output_extension;
  fields.target_bpp = result.target_bpp;
  fields.result_width = result.result_width;
  fields.result_height = result.result_height;
  fields.random_number = request.random_number;
  fields.sequence_number = request.sequence_number;
  fields.name_time = request.name_time;
  if (run.exporting.kind != kExportDocument) {
    fields.layer_name = fileNameSafe(request.piece_name);
    for (const std::string& group : request.piece_groups)
      fields.group_path += (fields.group_path.empty() ? "" : run.naming.keep_subfolders ? "/" : "_") + fileNameSafe(group);
    fields.piece_index = request.piece_index;
    if (request.piece_is_comp) fields.comp_name = fields.layer_name;
  }
  return fields;
}

ConversionResult convertFile(const ConversionRequest& request, const RunOptions& run) {
  ConversionResult result = convertToTemporary(request, run);
  if (!result.ok()) return result;
  const std::string tmp = std::exchange(result.temporary_path, std::string());
  if (!realFileSystem().renameFile(tmp, result.output_path).ok()) {
    (void)realFileSystem().removeFile(tmp);  // Best effort: the failed replace is what the user is told.
    result.status = Status::ioError("the output file could not be replaced");
  }
  return result;
}

ConversionResult convertToTemporary(const ConversionRequest& request, const RunOptions& run) {
  setConversionThreads(request.threads);
  ConversionResult result;
  result.target_bpp = run.stages.depth.fixed_bpp;
  result.status = convertRequested(request, run, result);
  if (!result.ok()) result.temporary_path.clear();
  return result;
}

}  // namespace pixolune
