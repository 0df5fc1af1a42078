// The console batch run: validation, the settings echo, collection,
// conversion and the result lines.
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>

#include "app/command_line.h"
#include "app/keywords.h"
#include "app/options.h"
#include "app/progress_line.h"
#include "app/startup.h"
#include "run/conversion_job.h"
#include "image/format_table.h"
#include "run/conversion_worker.h"
#include "inputs/input_list.h"
#include "inputs/list_file.h"
#include "run/pipeline.h"
#include "stages/watermark.h"
#include "run/worker.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/signals.h"
#include "platform/text.h"
#include "resources/product.h"
#include "resources/string_table.h"
#include "settings/setting_fields.h"
#include "settings/settings.h"

namespace pixolune {

namespace {

// What a console run tells of its files while they are converted: each file
// that was not converted, named on standard error as it is met in list
// order ("pixolune: <path>: <reason>", also when quiet), and the progress
// line when the run shows one. Observes the conversion runs while it lives.
class ConsoleReport : public ConversionObserver {
 public:
  ConsoleReport(int total, bool show_progress) {
    if (show_progress) {
      line_ = std::make_unique<ProgressLine>(total, terminalProgressSurface());
      ticker_ = std::make_unique<ProgressTicker>(*line_, std::chrono::milliseconds(250));
    }
    setConversionObserver(this);
  }
  ~ConsoleReport() override {
    setConversionObserver(nullptr);
    ticker_.reset();
    if (line_) line_->finish();
  }

  void fileStarted(const std::string& path) override {
    if (line_) line_->fileStarted(path);
  }
  void fileFinished(const std::string& path, bool converted, const std::string& reason,
                    const std::string&) override {
    if (!converted) consolePrintError(std::string(kProgramFileName) + ": " + printableText(path) + ": " + printableText(reason));
    if (line_) line_->fileFinished(path);
  }

 private:
  std::unique_ptr<ProgressLine> line_;
  std::unique_ptr<ProgressTicker> ticker_;
};

// How an input of the command line is read.
enum class InputKind {
  kDocument,    // A regular file of any name but .txt/.lst: converted as a document.
  kFolder,      // Collected with its sub-folders.
  kListFile,    // A regular .txt or .lst file: one path a line.
  kListStream,  // "-" (standard input) or a path that is not a regular file (a pipe): a list.
  kMissing,     // Does not exist: listed, so it fails with its reason.
};

struct RunInput {
  std::string path;  // As given; "-" for standard input.
  std::string full;  // Taken from the working folder.
  InputKind kind;
};

// The inputs whose files go into one output folder, in the order given: the
// helper processes of a conversion write below one folder only, so a run
// without "-o" over inputs in several folders converts folder by folder.
struct Pass {
  std::string output_folder;
  std::vector<RunInput> inputs;
  std::vector<std::pair<std::string, InputEntry>> entries;  // What its collection listed.
};

RunInput classifyInput(const std::string& path) {
  if (path == "-") return {path, path, InputKind::kListStream};
  const std::string full = absolutePath(path);
  if (isFolder(full)) return {path, withTrailingSlash(full), InputKind::kFolder};
  if (isRegularFile(full)) {
    const std::string ext = inputExtensionOf(full);
    return {path, full, ext == "txt" || ext == "lst" ? InputKind::kListFile : InputKind::kDocument};
  }
  return {path, full, pathExists(full) ? InputKind::kListStream : InputKind::kMissing};
}

// Without "-o": beside the input (a folder's files into the folder); a list
// read from a stream, or a missing input outside any folder, the working one.
std::string defaultOutputFolder(const RunInput& input) {
  const std::string working = withTrailingSlash(absolutePath("./"));
  switch (input.kind) {
    case InputKind::kFolder: return input.full;
    case InputKind::kDocument:
    case InputKind::kListFile: return folderOf(input.full);
    case InputKind::kListStream: return working;
    case InputKind::kMissing: return isFolder(folderOf(input.full)) ? folderOf(input.full) : working;
  }
  return working;
}

// Lists every file of the pass's inputs in order (runs on a worker thread).
// An input or a list line that cannot be read is listed all the same, so
// the conversion names it with its reason; a stream that cannot be read is
// named here and counted in *unreadable as a file that failed.
void collectPass(const Pass& pass, bool null_separated, int* unreadable) {
  for (const RunInput& input : pass.inputs) {
    if (!keepRunning()) break;
    std::vector<std::string> lines;
    if (input.kind == InputKind::kListFile) {
      if (!readListFile(input.full, &lines)) {
        addNamedInput(input.full, &conversionJob().input_folder);
        continue;
      }
    } else if (input.kind == InputKind::kListStream) {
      const Status read = readListStream(input.full, null_separated, &lines);
      if (!read.ok()) {
        consolePrintError(std::string(kProgramFileName) + ": " + printableText(input.path) + ": " + read.message());
        ++*unreadable;
      }
    } else {
      addNamedInput(input.full, &conversionJob().input_folder);
      continue;
    }
    for (const std::string& line : lines) {
      if (!keepRunning()) break;
      addNamedInput(absolutePath(line), &conversionJob().input_folder);  // A relative line is taken from the working folder.
    }
  }
}

class Run {
 public:
  Run(bool quiet, int progress) : quiet_(quiet), debug_(run_tag == "DEBUG"), progress_(progress) {}

  int execute();

 private:
  void say(const std::string& line) const {
    if (!quiet_) consolePrint(line);
  }
  void echo(const std::string& label, const std::string& value) const {
    if (debug_) consolePrint(label + value);
  }
  void echo(const std::string& label, long value) const { echo(label, std::to_string(value)); }
  void echoKeyword(const std::string& label, KeywordTable table, int code) const { echo(label, codeToKeyword(table, code)); }
  int fail(const std::string& what) const {
    consolePrint("Error: " + what);
    return kExitError;
  }

  bool checkInput(std::string* error);
  bool checkFolder(std::string* folder, const char* which, std::string* error) const;
  bool checkOutputFormat(std::string* error) const;
  void echoInputFormat() const;
  bool checkFormatOptions(std::string* error) const;
  bool checkStages(std::string* error) const;
  bool checkWatermark(std::string* error) const;
  void echoNaming() const;
  int collectAndConvert();
  int stopped(const char* what, int converted, int listed) const;
  bool showsProgress() const;

  std::vector<Pass> passes_;
  RunOptions run_;  // Made once before the first pass.
  bool quiet_;
  bool debug_;
  int progress_;  // -1: when standard error is a terminal and the run is not quiet; 0 off; 1 on.
};

// Sorts the inputs into passes, one per output folder ("-o", else beside
// each input), and checks each output folder.
bool Run::checkInput(std::string* error) {
  ConversionJob& job = conversionJob();
  std::string fixed_output = job.output_folder;
  for (const std::string& path : consoleInputs().paths) echo("Input: ", path);
  if (!fixed_output.empty()) {
    echo("Output: ", fixed_output);
    if (!checkFolder(&fixed_output, "output", error)) return false;
  }
  for (const std::string& path : consoleInputs().paths) {
    const RunInput input = classifyInput(path);
    const std::string output = fixed_output.empty() ? defaultOutputFolder(input) : fixed_output;
    if (passes_.empty() || passes_.back().output_folder != output) passes_.push_back(Pass{output, {}, {}});
    passes_.back().inputs.push_back(input);
  }
  if (passes_.empty()) return *error = "No input given", false;
  for (Pass& pass : passes_) {
    if (!fixed_output.empty()) continue;
    echo("Output: ", pass.output_folder);
    if (!checkFolder(&pass.output_folder, "output", error)) return false;
  }
  job.output_folder = passes_.front().output_folder;
  return true;
}

// A relative folder is taken from the working folder.
bool Run::checkFolder(std::string* folder, const char* which, std::string* error) const {
  *folder = withTrailingSlash(absolutePath(*folder));
  if (!isFolder(*folder)) return *error = std::string("Invalid ") + which + " folder", false;
  return true;
}

bool Run::checkOutputFormat(std::string* error) const {
  ConversionJob& job = conversionJob();
  if (job.output_extension.empty() && !outputFormatList().empty()) job.output_extension = outputFormatList().front();
  echo("Conversion: ", job.output_extension);
  for (const std::string& key : outputFormatList())
    if (key == job.output_extension) return true;
  return *error = "Invalid conversion type", false;
}

void Run::echoInputFormat() const {
  const Settings& s = settings();
  const std::string format = inputFormatList().empty() ? "" : inputFormatList().front();
  if (format == "dds") echoKeyword("DDS Load As: ", kKeywordsDdsLoadAs, s.dds_load_as);
  if (format == "gif") echoKeyword("GIF Frame Loading: ", kKeywordsFrameLoading, s.gif_frame_loading);
  if (format == "ico") echoKeyword("ICO Frame Loading: ", kKeywordsFrameLoading, s.ico_frame_loading);
  if (format == "psd") echoKeyword("PSD Color Model: ", kKeywordsColorModel, s.psd_color_model);
  if (format == "raw") {
    echoKeyword("RAW Load As: ", kKeywordsRawLoadAs, s.raw_load_as);
    echo("RAW Header Size: ", s.raw_header_size);
    echo("RAW Image Width: ", s.raw_image_width);
    echo("RAW Image Height: ", s.raw_image_height);
    echoKeyword("RAW Tone Mapping: ", kKeywordsToneMapping, s.raw_tone_mapping);
  }
  if (format == "tiff") echoKeyword("TIFF Frame Loading: ", kKeywordsFrameLoading, s.tiff_frame_loading);
}

bool depthAccepted(const std::string& key, int depth) {
  if (depth == 0) return true;
  auto row = formatTable().find(key);
  if (row == formatTable().end()) return false;
  for (const std::string& field : split(row->second.depths, ','))
    if (field == std::to_string(depth)) return true;
  return false;
}

bool Run::checkFormatOptions(std::string* error) const {
  const Settings& s = settings();
  const std::string& key = conversionJob().output_extension;
  const std::string upper = toUpper(key);
  echo(upper + " BPP: ", bitDepthSettingFor(key, s));
  if (key == "bmp") {
    echoKeyword("BMP Compression: ", kKeywordsCompression, s.bmp_compression);
    echoKeyword("BMP Color Table: ", kKeywordsColorTable, s.bmp_color_table);
  } else if (key == "jpg") {
    echo("JPG Quality: ", s.jpg_quality);
    echoKeyword("JPG Chroma Subsampling: ", kKeywordsJpgChroma, s.jpg_chroma);
    echoKeyword("JPG Save As: ", kKeywordsJpgSaveAs, s.jpg_save_as);
  } else if (key == "exr" || key == "png" || key == "tga" || key == "tiff") {
    int code = key == "exr" ? s.exr_compression : key == "png" ? s.png_compression
             : key == "tga" ? s.tga_compression : s.tiff_compression;
    echo(upper + " Compression: ", optionKeyword("--" + upper + "-COMPRESSION", code));
    if (key == "png") echo("PNG Interlaced: ", s.png_interlaced ? 1 : 0);
    if (key == "tiff") echoKeyword("TIFF Color Model: ", kKeywordsColorModel, s.tiff_color_model);
  } else if (key == "webp") {
    echo("WEBP Quality: ", s.webp_quality);
  }
  if (!depthAccepted(key, bitDepthSettingFor(key, s))) return *error = "Invalid " + key + "-bpp value", false;
  if (key == "jpg" && !settingInRange(s, &Settings::jpg_quality)) return *error = "Invalid jpg-quality value", false;
  if (key == "webp" && !settingInRange(s, &Settings::webp_quality)) return *error = "Invalid webp-quality value", false;
  return true;
}

// "1000000000 (2001-09-09 01:46:40 UTC)": the number as given, then what it means.
std::string unixTimeText(int32_t seconds) {
  const time_t when = seconds;
  struct tm utc;
  char buf[64] = "";
  if (gmtime_r(&when, &utc)) std::strftime(buf, sizeof buf, " (%Y-%m-%d %H:%M:%S UTC)", &utc);
  return std::to_string(seconds) + buf;
}

std::string twoDecimals(float value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(value));
  return buf;
}

bool Run::checkStages(std::string* error) const {
  const Settings& s = settings();
  if (s.do_image_rotation) {
    echoKeyword("Image Rotation Type: ", kKeywordsRotationType, s.image_rotation_type);
    echo("Image Rotation: ", s.image_rotation);
    echo("Image Rotation Back Color: ", s.image_rotation_back_color);
  }
  if (s.do_image_resize) {
    echo("Width: ", std::to_string(s.image_width) + " " + codeToKeyword(kKeywordsSizeUnit, s.image_width_unit));
    if (!settingInRange(s, &Settings::image_width)) return *error = "Invalid width value", false;
    echo("Height: ", std::to_string(s.image_height) + " " + codeToKeyword(kKeywordsSizeUnit, s.image_height_unit));
    if (!settingInRange(s, &Settings::image_height)) return *error = "Invalid height value", false;
    echo("Keep Aspect Ratio: ", s.keep_aspect_ratio ? 1 : 0);
    echoKeyword("Image Resize Type: ", kKeywordsResizeType, s.image_resize_type);
    echoKeyword("Image Resize Algorithm: ", kKeywordsResizeAlgorithm, s.image_resize_algorithm);
  }
  echo("Flip Horizontal: ", s.do_image_flip_horizontal ? 1 : 0);
  echo("Flip Vertical: ", s.do_image_flip_vertical ? 1 : 0);
  if (s.do_image_color_correction) {
    echo("Brightness: ", s.image_brightness);
    if (!settingInRange(s, &Settings::image_brightness)) return *error = "Invalid brightness value", false;
    echo("Contrast: ", s.image_contrast);
    if (!settingInRange(s, &Settings::image_contrast)) return *error = "Invalid contrast value", false;
    echo("Gamma: ", twoDecimals(s.image_gamma));
    if (!settingInRange(s, &Settings::image_gamma)) return *error = "Invalid gamma value", false;
    echo("Invert: ", s.image_invert ? 1 : 0);
  }
  echo("Greyscale: ", s.do_image_greyscale ? 1 : 0);
  if (s.do_image_threshold) echo("Image Threshold: ", s.image_threshold);
  echoKeyword("Frame: ", kKeywordsFrame, s.do_frame ? 1 : 0);
  if (s.do_frame) {
    echo("Frame left: ", s.solid_left);
    echo("Frame right: ", s.solid_right);
    echo("Frame top: ", s.solid_top);
    echo("Frame bottom: ", s.solid_bottom);
    echo("Frame left color: ", s.solid_left_color);
    echo("Frame right color: ", s.solid_right_color);
    echo("Frame top color: ", s.solid_top_color);
    echo("Frame bottom color: ", s.solid_bottom_color);
    echo("Frame opacity: ", s.solid_opacity);
  }
  return checkWatermark(error);
}

bool Run::checkWatermark(std::string* error) const {
  const Settings& s = settings();
  echoKeyword("Watermark: ", kKeywordsWatermark, s.do_watermark);
  if (s.do_watermark == kWatermarkText) {
    echo("Watermark text: ", s.watermark_text);
    echo("Watermark font: ", s.watermark_font);
    echo("Watermark font size: ", s.font_size);
    echo("Watermark font leading: ", s.font_leading);
    echo("Watermark font color: ", s.font_color);
    echoKeyword("Watermark font style: ", kKeywordsFontStyle, s.font_style);
    echoKeyword("Watermark font effect: ", kKeywordsFontEffect, s.font_effect);
    echo("Watermark text antialiasing: ", s.text_antialiasing ? 1 : 0);
    echoKeyword("Watermark text alignment: ", kKeywordsTextAlignment, s.text_alignment);
    echo("Watermark text padding: ", s.text_padding);
    echo("Watermark text opacity: ", s.text_opacity);
    echo("Watermark background color: ", s.back_color);
    echo("Watermark background opacity: ", s.back_opacity);
    echoKeyword("Watermark boundary: ", kKeywordsBoundary, s.text_boundary ? 1 : 0);
    echoKeyword("Watermark position: ", kKeywordsPosition, s.text_position);
    echo("Watermark offset (x/y): ", std::to_string(s.text_x_offset) + "/" + std::to_string(s.text_y_offset));
    echo("Watermark rotation: ", s.text_rotation);
    echoKeyword("Watermark size/mode: ", kKeywordsSize, s.text_size);
    if (!loadWatermarkFont(watermarkFontRequest(s))) return *error = "Invalid watermark font", false;
  } else if (s.do_watermark == kWatermarkImage) {
    echo("Watermark image: ", s.watermark_image);
    echo("Watermark greyscale: ", s.wm_image_greyscale ? 1 : 0);
    echo("Watermark opacity: ", s.wm_image_opacity);
    echoKeyword("Watermark boundary: ", kKeywordsBoundary, s.wm_image_boundary ? 1 : 0);
    echoKeyword("Watermark position: ", kKeywordsPosition, s.wm_image_position);
    echo("Watermark offset (x/y): ", std::to_string(s.wm_image_x_offset) + "/" + std::to_string(s.wm_image_y_offset));
    echo("Watermark rotation: ", s.wm_image_rotation);
    echoKeyword("Watermark size/mode: ", kKeywordsSize, s.wm_image_size);
    if (fileSize(s.watermark_image) <= 0 || isFolder(s.watermark_image))
      return *error = "Invalid watermark image", false;
    // A file that is no picture would be left off every output without a word.
    const Status prepared = prepareWatermarkRun(watermarkOptionsFrom(s));
    if (prepared.code() == Status::Code::kCorrupt)
      return *error = "Invalid watermark image: " + prepared.message(), false;
    if (!prepared.ok()) return *error = "Invalid watermark image", false;
  }
  return true;
}

void Run::echoNaming() const {
  const Settings& s = settings();
  if (s.export_kind != kExportDocument) {
    echoKeyword("Export: ", kKeywordsExport, s.export_kind);
    echoKeyword("Export Bounds: ", kKeywordsExportBounds, s.export_canvas_bounds ? 1 : 0);
    echo("Export Hidden: ", s.export_hidden ? 1 : 0);
    if (s.export_kind == kExportGroups) echo("Export Depth: ", s.export_depth);
    echo("Export Manifest: ", s.export_manifest ? 1 : 0);
  }
  echo("Filename Mask: ", maskForExport(s.filename_mask, s.export_kind));
  echoKeyword("File Timestamp: ", kKeywordsFileTimestamp, s.file_timestamp);
  if (s.file_timestamp == kTimestampCustom) echo("Custom Timestamp: ", unixTimeText(s.custom_timestamp));
  echo("Keep Subfolders: ", s.keep_subfolders ? 1 : 0);
  const NamingOptions naming = namingOptionsFrom(s);
  const WatermarkOptions watermark = watermarkOptionsFrom(s);
  const int at_once = filesConvertedAtOnce(naming, watermark);
  echo("Parallel Jobs: ", runNumbersFiles(naming, watermark) ? "1 (the file names or the watermark number the files)"
                                             : std::to_string(at_once));
}

// The end of a run that a stop signal cut short: the usual result lines
// with the count so far, and 128 + the signal as exit status (130 for
// SIGINT, 143 for SIGTERM), as a shell reports a program the signal ended.
int Run::stopped(const char* what, int converted, int listed) const {
  consolePrint(getText("Msg", what));
  if (listed > 0) say(formatMessage(getText("Msg", "Files converted"), std::to_string(converted), std::to_string(listed)));
  return 128 + stopSignal();
}

bool Run::showsProgress() const {
  if (progress_ >= 0) return progress_ == 1;
  return !quiet_ && consoleErrorIsTerminal();
}

int Run::collectAndConvert() {
  ConversionJob& job = conversionJob();
  // SIGINT and SIGTERM stop the run in order: no temporary file is left.
  watchStopSignals();
  say(getText("General", "Importing"));
  WorkerProgress& progress = workerProgress();  // Read and written under its own lock.
  const bool null_separated = consoleInputs().null_separated;
  int listed = 0;
  for (Pass& pass : passes_) {
    inputList().clear();
    progress.setResultCount(0);
    int unreadable = 0;
    runWorkerAndWait([&pass, null_separated, &unreadable] { collectPass(pass, null_separated, &unreadable); });
    if (stopSignal() != 0) return stopped("Import is not complete", 0, 0);
    for (const auto& [path, entry] : inputList())
      if (entry.listed != 0) pass.entries.emplace_back(path, entry);
    listed += static_cast<int>(pass.entries.size()) + unreadable;
  }
  say(formatMessage(getText("Msg", "Import complete"), std::to_string(listed)));
  if (listed == 0) {
    consolePrint(getText("Msg", "Conversion is not complete"));
    consolePrint(getText("Msg", "Empty input files"));
    return kExitError;
  }
  say(getText("General", "Converting"));
  int converted_so_far = 0;
  {
    ConsoleReport report(listed, showsProgress());  // Its progress line is cleared before the result lines.
    for (const Pass& pass : passes_) {
      if (pass.entries.empty()) continue;
      job.output_folder = pass.output_folder;
      inputList().clear();
      for (const auto& [path, entry] : pass.entries) inputList().lookup(path) = entry;
      progress.setResultCount(0);
      runWorkerAndWait([this, &pass] { conversionWorker(run_, pass.output_folder); });
      converted_so_far += progress.resultCount();
      if (stopSignal() != 0) break;
    }
  }
  const int converted = converted_so_far;
  if (stopSignal() != 0) return stopped("Conversion is not complete", converted, listed);
  if (converted == 0) {
    consolePrint(getText("Msg", "Conversion is not complete"));
    say(formatMessage(getText("Msg", "Files converted"), "0", std::to_string(listed)));
    return kExitIncomplete;
  }
  say(getText("Msg", "Conversion complete"));
  say(formatMessage(getText("Msg", "Files converted"), std::to_string(converted), std::to_string(listed)));
  return converted < listed ? kExitIncomplete : kExitOk;
}

int Run::execute() {
  say(getText("General", "Preparing"));
  ConversionJob& job = conversionJob();
  std::string error;
  if (!checkInput(&error)) return fail(error);
  if (!checkOutputFormat(&error)) return fail(error);
  echoInputFormat();
  if (!checkFormatOptions(&error)) return fail(error);
  if (!checkStages(&error)) return fail(error);
  echoNaming();
  settings().output_format = job.output_extension;
  if (!prepareRun(settings(), &run_).ok()) return fail("Invalid conversion type");
  int status = collectAndConvert();
  freeWatermarkFont();
  return status;
}

}  // namespace

int runConsoleBatch(bool quiet, int progress) { return Run(quiet, progress).execute(); }

}  // namespace pixolune
