#include "run/conversion_worker.h"

#include <algorithm>
#include <ctime>
#include <deque>
#include <set>

#include "run/conversion_job.h"
#include "run/export_manifest.h"
#include "run/helper_pool.h"
#include "run/helper_protocol.h"
#include "inputs/input_list.h"
#include "run/output_names.h"
#include "run/decode.h"
#include "run/pipeline.h"
#include "run/stale_temporaries.h"
#include "run/worker.h"
#include "platform/console.h"
#include "platform/file_system.h"
#include "platform/files.h"
#include "platform/signals.h"
#include "platform/text.h"
#include "settings/settings.h"

namespace pixolune {

namespace {

void reportEntry(int number, const std::string& path) { workerProgress().reportEntry(number, path); }

void observeStart(const std::string& path) {
  if (ConversionObserver* observer = conversionObserver()) observer->fileStarted(path);
}

// A file not converted is always reported with a reason, if only this one.
void observeOutcome(const std::string& path, bool ok, const std::string& reason, const std::string& output_path) {
  ConversionObserver* observer = conversionObserver();
  if (!observer) return;
  observer->fileFinished(path, ok, ok || !reason.empty() ? reason : "the file could not be converted", output_path);
}

// Dates the written file as file_timestamp asks: 1 the input's date, 2 the
// custom date. A failure leaves the file with the date of writing.
void applyFileDate(const RunOptions& run, const std::string& input_path, const std::string& output_path) {
  if (run.file_timestamp == kTimestampOriginal) {
    int64_t input_time = fileModificationTime(input_path);
    if (input_time >= 0) setFileModificationTime(output_path, input_time);
  } else if (run.file_timestamp == kTimestampCustom) {
    setFileModificationTime(output_path, run.custom_timestamp);
  }
}

void printOutcome(const std::string& input_path, const std::string& output_path, bool ok, const std::string& wanted,
                  const std::string& reason, const ConversionResult& result) {
  consolePrint("Processing: " + input_path);
  consolePrint("Saving As: " + output_path);
  if (ok && wanted != output_path) consolePrint("Renamed: " + wanted + " was written earlier in this run");
  consolePrint(ok ? "OK" : "Not OK");
  if (!ok && !reason.empty()) consolePrint("Reason: " + reason);
  if (ok && !result.colour_note.empty()) consolePrint("Colour: " + result.colour_note);
  if (ok && !result.decode_note.empty()) consolePrint("Note: " + result.decode_note);
}

// Converts in this process, one file at a time: the form unit tests use,
// and the one a helper process runs for its parent.
class InProcessConverter {
 public:
  explicit InProcessConverter(const RunOptions& run) : run_(run) {}
  int slots() const { return 1; }
  int pending() const { return waiting_ ? 1 : 0; }
  void submit(const FileRequest& request, size_t tag) {
    request_ = request;
    tag_ = tag;
    waiting_ = true;
  }
  bool waitForOne(size_t* tag, FileReply* reply) {
    if (stopSignal() != 0) return false;
    *reply = FileReply();
    reply->result = convertToTemporary(request_, run_);
    *tag = tag_;
    waiting_ = false;
    return true;
  }

 private:
  const RunOptions& run_;
  FileRequest request_;
  size_t tag_ = 0;
  bool waiting_ = false;
};

// A file handed to the converter, kept until every file before it is done.
// An export hands over one file for each piece of a document.
struct Pending {
  FileRequest request;
  bool done = false;
  FileReply reply;
  int removal_ticket = -1;  // Its finished temporary file in the signal handler's table.
  bool first_piece = true;  // The first (or only) file of its document,
  bool last_piece = true;   // and the last.
  ExportPiece piece;        // Exporting: what the file shows.
  int canvas_width = 0, canvas_height = 0;  // Exporting: the document's size.
};

// What the files of one document came to, gathered until its last one.
struct DocumentOutcome {
  bool ok = true;
  std::string reasons;                 // Of the pieces that failed, "; " between them.
  std::string output_path;             // The last written.
  std::vector<ManifestEntry> written;  // Exporting: the pieces written.
  int empty = 0;                       // Exporting: pieces of which nothing shows, not written.
};

// What a failed piece is called in the reason given for its document.
std::string pieceLabel(const Pending& file, uint8_t kind_of_export) {
  const char* kind = kind_of_export == kExportComps ? "layer comp" : kind_of_export == kExportGroups ? "group" : "layer";
  return std::string(kind) + " \"" + file.piece.name + "\"";
}

// The file a document's manifest goes to: its name with ".json", in the
// output folder (and the document's sub-folder when they are kept).
std::string manifestPathFor(const FileRequest& request, const RunOptions& run) {
  std::string path = request.output_folder;
  if (run.naming.keep_subfolders) path += request.source_subfolder;
  return path + stripExtension(fileNameOf(request.input_path)) + ".json";
}

// Writes the manifest of a document whose last piece was taken; a failure
// fails the document with its reason.
void writeManifest(const Pending& last, const RunOptions& run, OutputNames& names, DocumentOutcome* outcome,
                   bool debug) {
  const std::string wanted = manifestPathFor(last.request, run);
  std::vector<ManifestEntry> entries = outcome->written;
  for (ManifestEntry& e : entries) e.file = relativeTo(e.file, withTrailingSlash(folderOf(wanted)));
  const std::string text = manifestText(fileNameOf(last.request.input_path), last.canvas_width, last.canvas_height,
                                        run.exporting.kind, entries);
  std::string temporary, placed;
  Status st = writeManifestTemporary(text, wanted, last.request.output_folder, &temporary);
  if (st.ok()) st = names.place(temporary, wanted, &placed);
  if (debug) consolePrint(st.ok() ? "Manifest: " + placed : "Manifest not written: " + st.message());
  if (st.ok()) return;
  outcome->ok = false;
  outcome->reasons += (outcome->reasons.empty() ? "" : "; ") + ("the manifest: " + st.message());
}

// The folders a run writes into, each cleared of the temporary files that
// ended runs left there the first time the run writes into it.
class SweptFolders {
 public:
  void sweep(const std::string& folder) {
    if (folder.empty() || !swept_.insert(lexicallyNormal(folder)).second) return;
    removeStaleTemporaries(folder);
  }

 private:
  std::set<std::string> swept_;
};

// A finished file waiting for the files before it: a signal ending the
// program removes its temporary file (window mode; a console run stops in
// order and removes it itself).
void guardFinished(Pending& file) {
  const ConversionResult& result = file.reply.result;
  if (result.ok() && !result.temporary_path.empty()) file.removal_ticket = removeFileOnSignal(result.temporary_path);
}

void releaseFinished(const Pending& file) { forgetFileOnSignal(file.removal_ticket, file.reply.result.temporary_path); }

// After a stop signal: the finished files not yet moved to their names are
// removed, not placed; the run ends with the files placed so far.
void dropFinished(const std::deque<Pending>& window) {
  for (const Pending& file : window) {
    const ConversionResult& result = file.reply.result;
    if (!file.done || !result.ok() || result.temporary_path.empty()) continue;
    (void)realFileSystem().removeFile(result.temporary_path);  // Best effort: the run is ending anyway.
    releaseFinished(file);
  }
}

// Takes a finished file's outcome in list order: moves it to its name,
// prints the debug lines, advances the counters and dates the file; after
// the last file of its document, tells the observer how the document went.
// True when the document's last file was taken and every file of it was
// converted.
bool finishEntry(const Pending& file, const RunOptions& run, OutputNames& names, SweptFolders& swept, bool debug,
                 DocumentOutcome* document) {
  const ConversionResult& result = file.reply.result;
  const std::string& input_path = file.request.input_path;
  bool ok = result.ok();
  const std::string& wanted = result.output_path;
  std::string output_path = wanted;
  std::string reason = result.failureReason();
  if (ok) {
    const Status placed = names.place(result.temporary_path, wanted, &output_path);
    if (!placed.ok()) ok = false, reason = placed.message();
  }
  releaseFinished(file);
  if (ok) swept.sweep(folderOf(output_path));  // The mask may lead into folders of its own.
  if (debug && firstSightOfConfinementNote(file.reply.confinement_note))
    consolePrint("Note: " + file.reply.confinement_note);
  const bool piece = run.exporting.kind != kExportDocument && file.request.piece >= 0;
  const bool skipped = !ok && piece && result.piece_empty;
  if (debug && !skipped) printOutcome(input_path, output_path, ok, wanted, reason, result);
  if (file.first_piece) *document = DocumentOutcome();
  if (skipped) {
    // Nothing to write (a layer off the canvas, or fully transparent): not a failure.
    ++document->empty;
    if (debug) consolePrint("Skipped: " + pieceLabel(file, run.exporting.kind) + " shows nothing on the canvas");
  } else if (!ok) {
    document->ok = false;
    const std::string why = piece ? pieceLabel(file, run.exporting.kind) + ": " + reason : reason;
    document->reasons += (document->reasons.empty() ? "" : "; ") + why;
  } else {
    NameCounters& counters = nameCounters();
    counters.random_number = drawRandomNumber();
    counters.sequence_number += 1;
    applyFileDate(run, input_path, output_path);
    document->output_path = output_path;
    if (piece)
      document->written.push_back({output_path, file.piece, result.piece_left, result.piece_top, result.piece_width,
                                   result.piece_height});
  }
  if (!file.last_piece) return false;
  if (document->ok && document->written.empty() && document->empty > 0) {
    document->ok = false;
    document->reasons = "nothing of its pieces shows on the canvas";
  }
  if (piece && run.exporting.manifest && !document->written.empty()) writeManifest(file, run, names, document, debug);
  observeOutcome(input_path, document->ok, document->ok ? std::string() : document->reasons,
                 document->ok ? document->output_path : std::string());
  return document->ok;
}

// The files one document gives: itself, or, when exporting, one for each
// of its pieces. A document whose pieces cannot be listed gives one file
// (piece -1), whose conversion says why.
std::vector<Pending> filesOf(const std::string& path, const InputEntry& entry, const std::string& output_folder,
                             const RunOptions& run) {
  std::vector<Pending> files(1);
  FileRequest& request = files[0].request;
  request.input_path = path;
  request.source_subfolder = entry.source_subfolder;
  request.output_folder = output_folder;
  if (run.exporting.kind == kExportDocument) return files;
  std::vector<ExportPiece> pieces;
  int width = 0, height = 0;
  if (!listDocumentPieces(path, run.exporting, &pieces, &width, &height).ok() || pieces.empty()) return files;
  files.resize(pieces.size(), files[0]);
  for (size_t i = 0; i < pieces.size(); ++i) {
    Pending& f = files[i];
    f.first_piece = i == 0;
    f.last_piece = i + 1 == pieces.size();
    f.canvas_width = width, f.canvas_height = height;
    f.request.piece = static_cast<int32_t>(i);
    f.request.piece_name = pieces[i].name;
    f.request.piece_groups = pieces[i].groups;
    f.request.piece_index = pieces[i].index;
    f.request.piece_is_comp = run.exporting.kind == kExportComps;
    f.piece = std::move(pieces[i]);
  }
  return files;
}

class EntryFeed {
 public:
  // The next listed entry, or null at the end or when a stop was asked for.
  const std::pair<const std::string, InputEntry>* next() {
    while (at_ != inputList().end() && at_->second.listed == 0) ++at_;
    if (at_ == inputList().end()) return nullptr;
    passPauseGate();
    if (!keepRunning()) return nullptr;
    return &*at_++;
  }

 private:
  InputList::Entries::const_iterator at_ = inputList().begin();
};

std::vector<std::string> listedInputs() {
  std::vector<std::string> paths;
  for (const auto& [path, entry] : inputList())
    if (entry.listed != 0) paths.push_back(path);
  return paths;
}

// Keeps the converter's slots busy in list order and takes the outcomes in
// list order as they complete. A stop signal ends it at once: no file is
// taken any more and the finished ones not yet placed are removed (the
// converter's owner ends what is in hand). Returns the number of files
// converted and placed.
template <class Converter>
int convertEntries(Converter& converter, const RunOptions& run, const std::string& output_folder, bool debug) {
  OutputNames names(output_folder, listedInputs());
  SweptFolders swept;
  swept.sweep(output_folder);
  const bool parallel = converter.slots() > 1;
  std::deque<Pending> window;
  std::deque<Pending> queued;  // The further pieces of the document being exported.
  DocumentOutcome document;
  size_t first_tag = 0;
  int number = 0, finished = 0, converted = 0;
  EntryFeed feed;
  bool more = true;
  for (;;) {
    while (converter.pending() < converter.slots()) {
      if (queued.empty()) {
        const auto* entry = more ? feed.next() : nullptr;
        if (!entry) {
          more = false;
          break;
        }
        for (Pending& f : filesOf(entry->first, entry->second, output_folder, run)) queued.push_back(std::move(f));
      }
      Pending file = std::move(queued.front());
      queued.pop_front();
      FileRequest& request = file.request;
      if (file.first_piece) {
        if (!parallel) reportEntry(++number, request.input_path);
        observeStart(request.input_path);
        if (run.naming.keep_subfolders) {
          ensureOutputSubfolder(output_folder, request.source_subfolder);
          swept.sweep(output_folder + request.source_subfolder);
        }
      }
      request.random_number = nameCounters().random_number;
      request.sequence_number = nameCounters().sequence_number;
      request.name_time = static_cast<int64_t>(time(nullptr));
      converter.submit(request, first_tag + window.size());
      window.push_back(std::move(file));
    }
    if (window.empty()) break;
    size_t tag = 0;
    FileReply reply;
    if (!converter.waitForOne(&tag, &reply)) {
      dropFinished(window);
      break;
    }
    Pending& done = window[tag - first_tag];
    done.reply = std::move(reply);
    done.done = true;
    guardFinished(done);
    for (; !window.empty() && window.front().done; window.pop_front(), ++first_tag) {
      if (parallel && window.front().last_piece) reportEntry(++finished, window.front().request.input_path);
      if (finishEntry(window.front(), run, names, swept, debug, &document)) ++converted;
    }
  }
  return converted;
}

}  // namespace

bool runNumbersFiles(const NamingOptions& naming, const WatermarkOptions& watermark) {
  auto numbers = [](const std::string& text) {
    return findIgnoreCase(text, "%n%") != std::string::npos || findIgnoreCase(text, "%rnd%") != std::string::npos;
  };
  return numbers(naming.filename_mask) || (watermark.kind == kWatermarkText && numbers(watermark.text));
}

int filesConvertedAtOnce(const NamingOptions& naming, const WatermarkOptions& watermark) {
  const IsolationConfig& isolation = conversionIsolation();
  if (isolation.program.empty() || runNumbersFiles(naming, watermark)) return 1;
  return std::max(1, isolation.jobs);
}

void conversionWorker(const RunOptions& run, const std::string& output_folder) {
  const bool debug = console_mode && run_tag == "DEBUG";
  const IsolationConfig& isolation = conversionIsolation();
  // Where no stop signal is watched (window mode), an ending signal removes
  // the finished files that wait for their names; the helpers, told of their
  // parent's death, remove what they were writing.
  removeFilesOnEndingSignals(SignalEnd::kResignal);
  int converted = 0;
  if (isolation.program.empty()) {
    InProcessConverter converter(run);
    converted = convertEntries(converter, run, output_folder, debug);
  } else {
    const bool one_by_one = runNumbersFiles(run.naming, run.stages.watermark);
    RunSetup setup;
    setup.options = run;
    setup.output_folder = output_folder;
    setup.memory_limit = isolation.memory_limit;
    setup.layers_always_drawn = layersAlwaysDrawn();
    HelperPool pool(isolation, setup, filesConvertedAtOnce(run.naming, run.stages.watermark), one_by_one ? 1 : 2);
    converted = convertEntries(pool, run, output_folder, debug);
  }
  workerProgress().setResultCount(converted);
}

void ensureOutputSubfolder(const std::string& output_folder, const std::string& source_subfolder) {
  if (source_subfolder.empty()) return;
  // Made from the output folder without following symbolic links: a link
  // planted in it must not lead the folders elsewhere.
  PathFailure failure;
  openFolderBelow(output_folder, source_subfolder, true, &failure);
}

}  // namespace pixolune
