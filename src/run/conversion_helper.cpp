#include "run/conversion_helper.h"

#include <FreeImage.h>

#include <new>

#include "run/decode.h"
#include "image/format_table.h"
#include "run/helper_protocol.h"
#include "run/pipeline.h"
#include "stages/watermark.h"
#include "platform/helper_process.h"
#include "platform/signals.h"
#include "platform/text.h"
#include "platform/processes.h"

namespace pixolune {

namespace {

int parent_socket = -1;
bool memory_message_seen = false;
Status run_prepared;  // A watermark the helper cannot prepare fails every file, never silently.
Status run_confined;  // Without its system call filter the helper converts nothing.
std::string confinement_note;  // What it runs without, told to the parent with every reply.
RunOptions run_options;        // The run's, as the parent sent them.

// Nothing is written that the parent was not told of: with the parent gone
// (or done with this helper) the helper ends instead. The path goes to the
// signal handler's table first, so a signal ending the helper from now on
// (its parent's death among them) removes the file. The table never learns
// of the parent's renames: unlinking a renamed name fails harmlessly, as
// no temporary name is used twice.
void tellParentSaving(const std::string& temporary_path) {
  removeFileOnSignal(temporary_path);
  if (!writeFrame(parent_socket, kFrameSavingNotice, temporary_path)) endProcessNow(0);
}

int parentGone(int status) {
  removeFilesOnSignalListNow();
  return status;
}

[[noreturn]] void outOfMemory() { endProcessNow(kHelperOutOfMemoryExit); }

// FreeImage reports failed allocations as messages and returns no image.
void noteLibraryMessage(FREE_IMAGE_FORMAT, const char* message) {
  if (message && findIgnoreCase(message, "memory") != std::string::npos) memory_message_seen = true;
}

bool receiveSetup(int fd) {
  uint8_t kind = 0;
  std::string payload;
  RunSetup setup;
  if (readFrame(fd, -1, &kind, &payload) != FrameRead::kFrame || kind != kFrameRunSetup) return false;
  if (!decodeRunSetup(payload, &setup)) return false;
  const Confinement confined = confineHelperProcess(setup.memory_limit, setup.output_folder);
  if (!confined.missing.empty()) confinement_note = "the conversion helpers run without " + confined.missing;
  if (!confined.system_calls)
    run_confined = Status::unsupported("the conversion helper could not be confined: its system call filter was "
                                       "refused (" + confined.system_calls_problem + ")");
  setDecodeMemoryLimit(setup.memory_limit);
  setLayersAlwaysDrawn(setup.layers_always_drawn);
  run_options = setup.options;
  run_prepared = prepareWatermarkRun(run_options.stages.watermark);
  return true;
}

FileReply convertRequested(const FileRequest& request) {
  memory_message_seen = false;
  FileReply reply;
  reply.confinement_note = confinement_note;
  for (const Status* run : {&run_confined, &run_prepared}) {
    if (run->ok()) continue;
    reply.result.status = *run;
    reply.result.target_bpp = run_options.stages.depth.fixed_bpp;
    return reply;
  }
  // The parent moves the finished file to its name, in list order.
  reply.result = convertToTemporary(request, run_options);
  const bool ok = reply.result.ok();
  if (!ok && memory_message_seen)
    reply.result.status = Status::ioError("out of memory: the image needs more than the helper may use");
  // A file the decoder failed on may have damaged this process's memory.
  reply.helper_spent = !ok && decoderLibraryRan();
  return reply;
}

}  // namespace

int runConversionHelper(int fd) {
  parent_socket = fd;
  buildFormatTable();
  std::set_new_handler(outOfMemory);
  FreeImage_SetOutputMessage(noteLibraryMessage);
  setSavingObserver(tellParentSaving);
  removeFilesOnEndingSignals(SignalEnd::kExit);
  if (!receiveSetup(fd)) return 1;
  for (;;) {
    uint8_t kind = 0;
    std::string payload;
    FrameRead r = readFrame(fd, -1, &kind, &payload);
    if (r == FrameRead::kFrame && kind == kFrameEnd) return 0;
    // The parent went away without a word (killed, say): the files it had
    // not yet renamed would stay. Its death signal may come only later.
    if (r == FrameRead::kClosed) return parentGone(0);
    FileRequest request;
    if (r != FrameRead::kFrame || kind != kFrameFileRequest || !decodeFileRequest(payload, &request)) return 1;
    if (!writeFrame(fd, kFrameFileReply, encodeFileReply(convertRequested(request)))) return parentGone(0);
  }
}

}  // namespace pixolune
