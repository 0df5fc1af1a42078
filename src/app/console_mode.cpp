// The console mode's entry: the first-argument forms, the option loop, the
// banner and the batch run.
#include <cstdlib>

#include "app/command_line.h"
#include "app/startup.h"
#include "image/format_table.h"
#include "inputs/input_extensions.h"
#include "inputs/input_list.h"
#include "platform/terminal.h"
#include "run/conversion_job.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/signals.h"
#include "platform/text.h"
#include "resources/product.h"
#include "resources/string_table.h"
#include "settings/settings.h"

namespace pixolune {

namespace {

SpecialStartMode uninstall_mode = nullptr;
SpecialStartMode screenshot_mode = nullptr;

// Waits for one key press on the terminal, without echo. Does not wait when
// standard input is not a terminal (scripts, pipes).
void waitForKey() { waitForKeyPress(); }

void printBanner() {
  consolePrint(programTitle());
  consolePrint(replaceIgnoreCase(kMakerNotice, "\u00A9", "(c)"));
  consolePrint(kMakerWebAddress);
  consolePrint(" ");
}

// Help or version, asked for anywhere in the line.
[[noreturn]] void answerInformationRequest(char request, const std::string& program_name) {
  if (request == 'v') {
    consolePrint(std::string(kProgramFileName) + " " + formatVersion(kProgramVersion));
  } else {
    for (const std::string& text : usageLines(program_name)) consolePrint(text);
  }
  endProgram(kExitOk);
}

[[noreturn]] void runFirstArgumentForm(const CommandLine& line, const std::string& name) {
  SpecialStartMode mode = name == "-U" ? uninstall_mode : screenshot_mode;
  if (!mode) {
    consolePrint("Error: This start mode needs the window mode, which is not available in this build");
    endProgram(kExitError);
  }
  if (!displayNamed()) {
    consolePrint(kNoDisplayMessage);
    endProgram(kExitError);
  }
  mode(optionValue(line, 1));
  endProgram(kExitOk);
}

}  // namespace

void setSpecialStartModes(SpecialStartMode uninstall, SpecialStartMode screenshot) {
  uninstall_mode = uninstall;
  screenshot_mode = screenshot;
}

std::vector<std::string> usageLines(const std::string& program_name) {
  static const char* const kLines[] = {
      " ",
      "Usage: %s1% [options] [-i] INPUT...",
      " ",
      "  %s1% -i example.%s2%",
      "  %s1% ~/pictures/*.%s2% -o ~/converted",
      "  %s1% -i ~/pictures/example.%s2% -o ~/converted --width=50% --height=50%",
      "  %s1% -i ~/pictures/filelist.txt",
      "  find ~/pictures -name '*.%s2%' -print0 | %s1% --null -i - -o ~/converted",
      "  %s1% -i ~/pictures/ -o ~/converted -c %s2% --png-compression=zlib9",
      " ",
      "Inputs: documents (any name), folders (with their sub-folders), list files",
      "(.txt, .lst: one path a line) and '-' (a list on standard input).",
      " ",
      "Options:",
      " ",
      "  -h, -?, --help            Display this help and exit",
      "  -i FILE, --input=FILE     Add an input file/list/folder (may be repeated)",
      "  -o PATH, --output=PATH    Set output folder (default: beside each input)",
      "  -c png, --conversion=png  Set output format (this build writes png)",
      "  --null                    Lists on standard input are NUL-separated",
      " ",
      "Advanced options (long options take their value after = or as the next argument):",
      " ",
      "  --width=NUM[%]            Set output image width (pixels, or percent with %)",
      "  --height=NUM[%]           Set output image height",
      "  --fit=WxH                 Fit inside W x H pixels, keeping proportions",
      "  --png-compression=STR     none | zlib1 | zlib6 | zlib9",
      "  --filename-mask=STR       Define output filename format",
      "  --export=STR              document | layers | groups | comps: what is written",
      "  --flip-horizontal         Flip output image horizontally",
      "  --flip-vertical           Flip output image vertically",
      "  --rotation=NUM            Rotate output image, NUM = 0..360",
      "  --brightness=NUM          Set output image brightness, NUM = -100..100",
      "  --contrast=NUM            Set output image contrast, NUM = -100..100",
      "  --gamma=NUM               Set output image gamma, NUM = 0.01..9.99",
      "  --invert                  Invert output image (--invert=0: do not)",
      "  --greyscale               Greyscale output image",
      "  --strip-metadata          Write no metadata into the output",
      "  --profile=FILE            Set configuration file with required settings",
      "    ...                     Refer documentation for all available options",
      " ",
      "Other options:",
      " ",
      "  -q, --quiet               Don't print status messages to stdout",
      "  -d, --debug               Print debug information to stdout",
      "  -p, --pause               Pause at exit",
      "  --progress, --no-progress Show or hide the progress line",
      "  --window [FILE...]        Open the window with these files in its list",
      "  -v, --version             Display version information and exit",
  };
  const auto& inputs = inputFormatList();
  const auto& outputs = outputFormatList();
  std::vector<std::string> lines;
  for (size_t n = 0; n < std::size(kLines); ++n) {
    // Lines 4 to 8 name a random input format, line 9 the first output format.
    std::string format;
    if (n >= 3 && n <= 7 && !inputs.empty()) format = inputs[static_cast<size_t>(std::rand()) % inputs.size()];
    if (n == 8 && !outputs.empty()) format = outputs.front();
    if (n == 8 && outputs.empty()) format = "png";
    lines.push_back(formatMessage(kLines[n], program_name, format));
  }
  return lines;
}

void runConsoleMode(int argc, char** argv) {
  CommandLine line;
  for (int a = 1; a < argc; ++a) line.args.push_back(trim(argv[a]));
  if (line.args.empty()) return;

  buildFormatTable();
  buildInputExtensionTable();
  resetRunState();
  applyDefaultSettings(true);
  loadStringTable();

  const std::string first = optionName(line, 0);
  if (first == "-U" || first == "-T") runFirstArgumentForm(line, first);
  if (const char request = informationRequest(line))
    answerInformationRequest(request, argc > 0 && argv[0] ? fileNameOf(argv[0]) : kProgramFileName);

  parseOptions(line);
  if (!line.error_text.empty()) {
    consolePrint("Error: " + line.error_text);
    if (line.pause) waitForKey();
    endProgram(kExitError);
  }
  if (!console_mode) return;
  if (!line.quiet) printBanner();
  int status = runConsoleBatch(line.quiet, line.progress);
  if (line.pause && stopSignal() == 0) {  // A run stopped by a signal ends at once.
    consolePrint("Press any key to exit.");
    waitForKey();
  }
  endProgram(status);
}

}  // namespace pixolune
