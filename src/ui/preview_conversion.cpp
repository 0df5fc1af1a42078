#include "ui/preview_conversion.h"

#include <FreeImage.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "image/bitmap.h"
#include "inputs/input_list.h"
#include "platform/file_system.h"
#include "platform/files.h"
#include "run/decode.h"
#include "resources/string_table.h"
#include "run/conversion_job.h"
#include "run/conversion_worker.h"
#include "run/helper_pool.h"
#include "run/helper_protocol.h"
#include "run/pipeline.h"
#include "settings/settings.h"
#include "stages/watermark.h"
#include "ui/start_conversion.h"

namespace pixolune {

namespace {

std::string text(const char* key) { return getText("Preview", key); }

// The written file's pixels as 8-bit RGBA rows top to bottom, scaled down to
// kPreviewPictureSide when larger. False when the file does not read back.
bool readPicture(FIBITMAP* dib, PreviewPicture* picture) {
  BitmapPtr image;
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(dib);
  if (type == FIT_RGBF || type == FIT_RGBAF) image.reset(FreeImage_ToneMapping(dib, FITMO_DRAGO03));
  else if (type == FIT_BITMAP || type == FIT_RGB16 || type == FIT_RGBA16) image.reset(FreeImage_ConvertTo32Bits(dib));
  else image.reset(FreeImage_ConvertToStandardType(dib, TRUE));
  if (image && FreeImage_GetBPP(image.get()) != 32) replaceWith(image, FreeImage_ConvertTo32Bits(image.get()));
  if (!image) return false;
  int width = static_cast<int>(FreeImage_GetWidth(image.get()));
  int height = static_cast<int>(FreeImage_GetHeight(image.get()));
  const int longest = std::max(width, height);
  if (longest > kPreviewPictureSide) {
    width = std::max(1, width * kPreviewPictureSide / longest);
    height = std::max(1, height * kPreviewPictureSide / longest);
    replaceWith(image, FreeImage_Rescale(image.get(), width, height, FILTER_BILINEAR));
    if (!image) return false;
  }
  picture->width = width;
  picture->height = height;
  picture->rgba.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  for (int y = 0; y < height; ++y) {
    // FreeImage keeps the bottom row first.
    const BYTE* row = FreeImage_GetScanLine(image.get(), height - 1 - y);
    uint8_t* out = picture->rgba.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 4;
    for (int x = 0; x < width; ++x, row += 4, out += 4) {
      out[0] = row[FI_RGBA_RED];
      out[1] = row[FI_RGBA_GREEN];
      out[2] = row[FI_RGBA_BLUE];
      out[3] = row[FI_RGBA_ALPHA];
    }
  }
  return true;
}

// Reads back what was written: size, depth and pixels.
void readOutput(PreviewOutcome* outcome) {
  std::error_code error;
  outcome->file_size = static_cast<int64_t>(std::filesystem::file_size(outcome->output_path, error));
  if (error) outcome->file_size = 0;
  FREE_IMAGE_FORMAT format = FreeImage_GetFileType(outcome->output_path.c_str(), 0);
  if (format == FIF_UNKNOWN) format = FreeImage_GetFIFFromFilename(outcome->output_path.c_str());
  BitmapPtr dib(format == FIF_UNKNOWN ? nullptr : FreeImage_Load(format, outcome->output_path.c_str(), 0));
  if (!dib) {
    outcome->ok = false;
    outcome->reason = text("Unreadable");
    return;
  }
  outcome->width = static_cast<int>(FreeImage_GetWidth(dib.get()));
  outcome->height = static_cast<int>(FreeImage_GetHeight(dib.get()));
  outcome->bits_per_pixel = static_cast<int>(FreeImage_GetBPP(dib.get()));
  if (!readPicture(dib.get(), &outcome->picture)) {
    outcome->ok = false;
    outcome->reason = text("Unreadable");
  }
}

// One file through the converter a run uses: a helper process, or this
// process where runs convert in-process.
ConversionResult convertOne(const ConversionRequest& request, const RunOptions& run) {
  const IsolationConfig& isolation = conversionIsolation();
  if (isolation.program.empty()) return convertToTemporary(request, run);
  RunSetup setup;
  setup.options = run;
  setup.output_folder = request.output_folder;
  setup.memory_limit = isolation.memory_limit;
  setup.layers_always_drawn = layersAlwaysDrawn();
  HelperPool pool(isolation, setup, 1);
  pool.submit(request, 0);
  size_t tag = 0;
  FileReply reply;
  if (!pool.waitForOne(&tag, &reply)) reply.result.status = Status::ioError("the preview was stopped");
  return reply.result;
}

PreviewOutcome convertInto(const ConversionRequest& request, const RunOptions& run) {
  PreviewOutcome outcome;
  if (run.naming.keep_subfolders) ensureOutputSubfolder(request.output_folder, request.source_subfolder);
  const ConversionResult result = convertOne(request, run);
  if (!result.ok()) {
    outcome.reason = result.failureReason().empty() ? "the file could not be converted" : result.failureReason();
    return outcome;
  }
  // The folder is this preview's own: the file takes its name at once.
  if (!realFileSystem().renameFile(result.temporary_path, result.output_path).ok()) {
    (void)realFileSystem().removeFile(result.temporary_path);
    outcome.reason = "the output file could not be renamed";
    return outcome;
  }
  outcome.ok = true;
  outcome.output_path = result.output_path;
  const std::string& folder = request.output_folder;
  outcome.output_name = result.output_path.compare(0, folder.size(), folder) == 0
                            ? result.output_path.substr(folder.size())
                            : result.output_path;
  readOutput(&outcome);
  return outcome;
}

}  // namespace

struct PreviewConversion::State {
  ConversionRequest request;
  RunOptions run;
};

PreviewConversion::PreviewConversion(const std::string& input_path, int position) : state_(std::make_unique<State>()) {
  ConversionRequest& request = state_->request;
  request.input_path = input_path;
  if (const InputEntry* entry = inputList().find(input_path)) request.source_subfolder = entry->source_subfolder;
  request.sequence_number = nameCounters().sequence_number + position;
  request.random_number = nameCounters().random_number;
}

PreviewConversion::~PreviewConversion() {
  if (settings().do_watermark == kWatermarkText && watermarkFontLoaded()) freeWatermarkFont();
  removePreviewFolder(state_->request.output_folder);
}

std::string PreviewConversion::prepare() {
  ConversionRequest& request = state_->request;
  request.output_folder = makePreviewFolder();
  if (request.output_folder.empty()) return text("No Folder");
  const std::string refused = whyRunCannotStart(&state_->run);
  // The preview shows the whole document, named as a document, whatever a run exports of it.
  state_->run.exporting = ExportOptions();
  state_->run.naming = namingOptionsFrom(settings());
  request.name_time = static_cast<int64_t>(time(nullptr));
  return refused;
}

PreviewOutcome PreviewConversion::convert() { return convertInto(state_->request, state_->run); }

const std::string& PreviewConversion::folder() const { return state_->request.output_folder; }

std::string makePreviewFolder() {
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  std::string base = runtime && *runtime && isFolder(runtime) ? std::string(runtime) : std::string();
  if (base.empty()) {
    std::error_code error;
    base = std::filesystem::temp_directory_path(error).string();
    if (error || base.empty()) base = "/tmp";
  }
  std::string pattern = withTrailingSlash(base) + "pixolune-preview-XXXXXX";
  if (!mkdtemp(pattern.data())) return std::string();  // mkdtemp makes it 0700.
  return withTrailingSlash(pattern);
}

void removePreviewFolder(const std::string& folder) {
  if (folder.empty()) return;
  std::error_code error;
  std::filesystem::remove_all(folder, error);  // Links are removed, not followed.
}

}  // namespace pixolune
