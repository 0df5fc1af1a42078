// What the conversion worker and its helper processes say to each other.
//
// The parent sends one RunSetup when a helper starts, then one FileRequest
// per file; for each request the helper sends a SavingNotice naming its
// temporary file just before it writes it (so the parent can remove it when
// the helper dies mid-save), then one FileReply.
#ifndef PIXOLUNE_RUN_HELPER_PROTOCOL_H_
#define PIXOLUNE_RUN_HELPER_PROTOCOL_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "run/pipeline.h"

namespace pixolune {

/// Frame kinds on the helper socket.
enum HelperFrame : uint8_t {
  kFrameRunSetup = 1,
  kFrameFileRequest = 2,
  kFrameSavingNotice = 3,
  kFrameFileReply = 4,
  // The parent is done with the helper: every file it converted has been
  // renamed or removed. A helper whose socket closes without it knows its
  // parent is gone, and removes the files it announced.
  kFrameEnd = 5,
};

/// Everything a helper needs to convert files of the current run.
struct RunSetup {
  RunOptions options;
  std::string output_folder;         // The run's; the helper confines its writes to it.
  uint64_t memory_limit = 0;         // Bytes a helper may map; 0: no cap.
  bool layers_always_drawn = false;  // See setLayersAlwaysDrawn.
};

/// One file to convert, with the mask counters it is to be named with and
/// the threads it may use.
using FileRequest = ConversionRequest;

/// What converting one file gave.
struct FileReply {
  // The outcome. Its temporary_path is not sent: the parent takes it from
  // the saving notice it checked, never from the reply.
  ConversionResult result;
  bool helper_spent = false;  // The helper should not be trusted with another file.
  // What confinement the helper runs without, as the debug note says it
  // ("the conversion helpers run without ..."); empty when it has all.
  std::string confinement_note;
};

/// Byte forms of the messages. A decode fails (false) on a payload that is
/// short, has bytes left over or holds a text longer than what remains.
std::string encodeRunSetup(const RunSetup& setup);
bool decodeRunSetup(std::string_view bytes, RunSetup* setup);
std::string encodeFileRequest(const FileRequest& request);
bool decodeFileRequest(std::string_view bytes, FileRequest* request);
std::string encodeFileReply(const FileReply& reply);
bool decodeFileReply(std::string_view bytes, FileReply* reply);

/// True the first time this process meets `note`, a reply's non-empty
/// confinement_note, so the parent's debug output names what the helpers
/// lack once rather than for every file. A console run is one run per
/// process, so that is once per run. Conversion worker thread only.
bool firstSightOfConfinementNote(const std::string& note);

/// The output path the parent expects for `request` of a run with `run`
/// given the size and depth `reply` reports.
std::string expectedOutputPath(const FileRequest& request, const RunOptions& run, const FileReply& reply);

}  // namespace pixolune

#endif  // PIXOLUNE_RUN_HELPER_PROTOCOL_H_
