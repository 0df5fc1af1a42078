#include "ui/start_conversion.h"

// The toolkit headers come before FreeImage.h (through watermark.h), whose
// _WINDOWS_ would make them look for Windows headers.
#include "ui/conversion_dialog.h"
#include "ui/main_window.h"
#include "ui/output_folders.h"

#include "run/conversion_job.h"
#include "inputs/input_list.h"
#include "run/pipeline.h"
#include "stages/watermark.h"
#include "platform/files.h"
#include "platform/folder_files.h"
#include "platform/text.h"
#include "resources/message_box.h"
#include "resources/string_table.h"
#include "settings/format_lists.h"
#include "settings/settings.h"

#include <cerrno>
#include <cstring>

namespace pixolune {

namespace {

// Shows "Conversion stopped" on the status bar, then the warning.
bool refuse(const std::string& text) {
  setStatusText(getText("Msg", "Conversion is not complete"));
  showWarning(text);
  return false;
}

// Creates and removes a probe file in `folder` (which ends in "/"): empty
// when that worked, otherwise why the folder cannot take files.
std::string whyNotWritable(const std::string& folder) {
  const int error = probeFileCreation(folder + ".pixolune-write-test-");
  return error != 0 ? std::strerror(error) : std::string();
}

bool checkOutputFolder() {
  ConversionJob& job = conversionJob();
  if (job.output_folder.empty()) return refuse(getText("Msg", "Empty output folder"));
  job.output_folder = withTrailingSlash(job.output_folder);
  if (!isFolder(job.output_folder))
    return refuse(formatMessage(getText("Msg", "Invalid output folder"), job.output_folder));
  const std::string why = whyNotWritable(job.output_folder);
  if (!why.empty())
    return refuse("The following output folder cannot be written to:\r\n" + job.output_folder +
                  "\r\n(a file could not be created in it: " + why +
                  ")\r\n\r\nPlease, choose a folder you may write to and try again!");
  return true;
}

// A picture that does not decode is refused with the reason, so a run
// never goes on without its watermark.
std::string watermarkRefusal(const Status& prepared) {
  const Settings& s = settings();
  switch (prepared.code()) {
    case Status::Code::kUnsupported: return formatMessage(getText("Msg", "Invalid watermark font"), s.watermark_font);
    case Status::Code::kInvalid: return getText("Msg", "Empty watermark image");
    case Status::Code::kCorrupt:
      return formatMessage(getText("Msg", "Invalid watermark image"), s.watermark_image) + "\r\n(" +
             prepared.message() + ")";
    default: return formatMessage(getText("Msg", "Invalid watermark image"), s.watermark_image);
  }
}

// The output format of the format box's selected item.
void takeOutputFormat() {
  MainWindow* window = mainWindow();
  const int index = window ? window->selectedOutputFormat() : -1;
  const std::vector<std::string>& formats = outputFormatList();
  if (index >= 0 && static_cast<size_t>(index) < formats.size())
    settings().output_format = formats[static_cast<size_t>(index)];
}

}  // namespace

std::string whyRunCannotStart(RunOptions* run) {
  const Settings& s = settings();
  if (s.do_image_resize) {
    if (s.image_width == 0) return getText("Msg", "Invalid width");
    if (s.image_height == 0) return getText("Msg", "Invalid height");
  }
  initImageLibrary();
  // The output format is checked first, as the run prepares it, but said
  // last: a watermark problem is the one the user can mend in the window.
  const bool format_known = runOptionsFrom(s, run).ok();
  const Status watermark = prepareWatermarkRun(watermarkOptionsFrom(s));
  if (!watermark.ok()) return watermarkRefusal(watermark);
  if (!format_known) return getText("Msg", "Invalid conversion type");
  return std::string();
}

namespace {

// Every check of Convert, in order; the first failure shows its warning.
bool checkConversion(RunOptions* run) {
  if (inputList().count() == 0) return refuse(getText("Msg", "Empty input files"));
  if (!checkOutputFolder()) return false;
  const std::string why = whyRunCannotStart(run);
  return why.empty() || refuse(why);
}

}  // namespace

bool validateConversion() {
  RunOptions run;
  return checkConversion(&run);
}

bool startConversion() {
  MainWindow* window = mainWindow();
  if (!window) return false;
  conversionJob().output_folder = trim(window->folderBoxText());
  takeOutputFormat();
  setStatusText(getText("General", "Preparing"));
  bool ran = false;
  RunOptions run;
  if (checkConversion(&run)) {
    if (rememberOutputFolder(conversionJob().output_folder)) refreshOutputFolderBox();
    setStatusText(getText("General", "Converting"));
    runConversionDialog(run, conversionJob().output_folder);
    ran = true;
  }
  if (settings().do_watermark == kWatermarkText && watermarkFontLoaded()) freeWatermarkFont();
  return ran;
}

}  // namespace pixolune
