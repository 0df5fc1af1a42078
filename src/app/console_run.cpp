// The console batch run: validation, the settings echo, collection,
// conversion and the result lines.
#include <cmath>
#include <cstdio>
#include <ctime>

#include "app/command_line.h"
#include "app/keywords.h"
#include "app/startup.h"
#include "engine/conversion_job.h"
#include "engine/format_table.h"
#include "engine/conversion_worker.h"
#include "engine/input_list.h"
#include "engine/pipeline.h"
#include "engine/watermark.h"
#include "engine/worker.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/signals.h"
#include "platform/text.h"
#include "resources/string_table.h"
#include "settings/settings.h"

namespace pixolune {

namespace {

class Run {
 public:
  explicit Run(bool quiet) : quiet_(quiet), debug_(run_tag == "DEBUG") {}

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

  bool quiet_;
  bool debug_;
};

bool Run::checkInput(std::string* error) {
  ConversionJob& job = conversionJob();
  echo("Input: ", job.input_folder);
  if (!inputExtensionOf(job.input_folder).empty()) {
    job.input_path = absolutePath(job.input_folder);
    job.input_folder.clear();
    // Missing, empty, or a folder (a folder whose name has a dot).
    if (fileSize(job.input_path) <= 0 || isFolder(job.input_path)) return *error = "Invalid input file", false;
    return true;
  }
  return checkFolder(&job.input_folder, "input", error);
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
  echo(upper + " BPP: ", bitDepthSettingFor(key));
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
    echoKeyword(upper + " Compression: ", kKeywordsCompression, code);
    if (key == "png") echo("PNG Interlaced: ", s.png_interlaced ? 1 : 0);
    if (key == "tiff") echoKeyword("TIFF Color Model: ", kKeywordsColorModel, s.tiff_color_model);
  } else if (key == "webp") {
    echo("WEBP Quality: ", s.webp_quality);
  }
  if (!depthAccepted(key, bitDepthSettingFor(key))) return *error = "Invalid " + key + "-bpp value", false;
  if (key == "jpg" && (s.jpg_quality < 1 || s.jpg_quality > 100)) return *error = "Invalid jpg-quality value", false;
  if (key == "webp" && (s.webp_quality < 1 || s.webp_quality > 100)) return *error = "Invalid webp-quality value", false;
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
    if (s.image_width == 0) return *error = "Invalid width value", false;
    echo("Height: ", std::to_string(s.image_height) + " " + codeToKeyword(kKeywordsSizeUnit, s.image_height_unit));
    if (s.image_height == 0) return *error = "Invalid height value", false;
    echo("Keep Aspect Ratio: ", s.keep_aspect_ratio ? 1 : 0);
    echoKeyword("Image Resize Type: ", kKeywordsResizeType, s.image_resize_type);
    echoKeyword("Image Resize Algorithm: ", kKeywordsResizeAlgorithm, s.image_resize_algorithm);
  }
  echo("Flip Horizontal: ", s.do_image_flip_horizontal ? 1 : 0);
  echo("Flip Vertical: ", s.do_image_flip_vertical ? 1 : 0);
  if (s.do_image_color_correction) {
    echo("Brightness: ", s.image_brightness);
    if (s.image_brightness < -100 || s.image_brightness > 100) return *error = "Invalid brightness value", false;
    echo("Contrast: ", s.image_contrast);
    if (s.image_contrast < -100 || s.image_contrast > 100) return *error = "Invalid contrast value", false;
    echo("Gamma: ", twoDecimals(s.image_gamma));
    if (!(s.image_gamma >= 0.01f && s.image_gamma <= 9.99f)) return *error = "Invalid gamma value", false;
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
    if (!loadWatermarkFont()) return *error = "Invalid watermark font", false;
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
  }
  return true;
}

void Run::echoNaming() const {
  const Settings& s = settings();
  echo("Filename Mask: ", s.filename_mask);
  echoKeyword("File Timestamp: ", kKeywordsFileTimestamp, s.file_timestamp);
  if (s.file_timestamp == kTimestampCustom) echo("Custom Timestamp: ", unixTimeText(s.custom_timestamp));
  echo("Keep Subfolders: ", s.keep_subfolders ? 1 : 0);
  const int at_once = filesConvertedAtOnce();
  echo("Parallel Jobs: ", runNumbersFiles() ? "1 (the file names or the watermark number the files)"
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

int Run::collectAndConvert() {
  ConversionJob& job = conversionJob();
  // SIGINT and SIGTERM stop the run in order: no temporary file is left.
  watchStopSignals();
  say(getText("General", "Importing"));
  WorkerProgress& progress = workerProgress();  // Read and written under its own lock.
  if (!job.input_folder.empty()) {
    progress.setResultCount(0);
    runWorkerAndWait(importFolderWorker);
  } else {
    std::string ext = inputExtensionOf(job.input_path);
    if (ext == "txt" || ext == "lst") {
      progress.setResultCount(0);
      runWorkerAndWait(importListWorker);
    } else {
      progress.setResultCount(addInputFile(job.input_path) ? 1 : 0);
    }
  }
  if (stopSignal() != 0) return stopped("Import is not complete", 0, 0);
  say(formatMessage(getText("Msg", "Import complete"), std::to_string(progress.resultCount())));
  const int listed = progress.resultCount();
  if (listed == 0) {
    consolePrint(getText("Msg", "Conversion is not complete"));
    consolePrint(getText("Msg", "Empty input files"));
    return kExitError;
  }
  say(getText("General", "Converting"));
  progress.setResultCount(0);
  runWorkerAndWait(conversionWorker);
  const int converted = progress.resultCount();
  if (stopSignal() != 0) return stopped("Conversion is not complete", converted, listed);
  if (converted == 0) {
    consolePrint(getText("Msg", "Conversion is not complete"));
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
  if (job.output_folder.empty())
    job.output_folder = !job.input_folder.empty() ? job.input_folder : folderOf(job.input_path);
  echo("Output: ", job.output_folder);
  if (!checkFolder(&job.output_folder, "output", &error)) return fail(error);
  if (!checkOutputFormat(&error)) return fail(error);
  echoInputFormat();
  if (!checkFormatOptions(&error)) return fail(error);
  if (!checkStages(&error)) return fail(error);
  echoNaming();
  settings().output_format = job.output_extension;
  if (!prepareRun().ok()) return fail("Invalid conversion type");
  int status = collectAndConvert();
  freeWatermarkFont();
  return status;
}

}  // namespace

int runConsoleBatch(bool quiet) { return Run(quiet).execute(); }

}  // namespace pixolune
