// What an ended helper had sent but the parent had not read yet: the
// temporary files it announced there are removed too.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "run/conversion_helper.h"
#include "image/format_table.h"
#include "run/helper_pool.h"
#include "run/helper_protocol.h"
#include "run/pipeline.h"
#include "platform/helper_process.h"
#include "platform/folders.h"
#include "settings/settings.h"
#include "support/psd_writer.h"
#include "support/sanitizers.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::TempDir;

// A run with default settings whose output folder is `dir`.
bool prepareRunInto(const TempDir& dir, RunSetup* setup) {
  initImageLibrary();
  buildFormatTable();
  createFormatLists();
  applyDefaultSettings(true);
  setup->output_folder = dir.path() + "/";
  return prepareRun(settings(), &setup->options).ok();
}

FileRequest requestFor(const std::string& input, const TempDir& dir) {
  FileRequest request;
  request.input_path = input;
  request.output_folder = dir.path() + "/";
  return request;
}

TEST(HelperPoolDrain, AnnouncementsLeftUnreadAreRemovedWhenTheHelperIsEnded) {
  TempDir dir;
  RunSetup setup;
  ASSERT_TRUE(prepareRunInto(dir, &setup));
  // The helper writes a file of its own, then sends two notices at once: a
  // foreign name, which gets it ended on reading, and its own file, which
  // the parent only finds in the socket after it has ended the helper.
  const std::string script = dir.file("two-notices.sh");
  testing::writeText(script, "#!/bin/sh\n"
                             "own=" + dir.file("a.png.pxl-$$-0") + "\n"
                             "touch \"$own\"\n"
                             "frame() { printf '\\003'\"$(printf '\\\\%03o' ${#1})\"'\\000\\000\\000%s' \"$1\"; }\n"
                             "{ frame " + dir.file("notes.txt") + "; frame \"$own\"; } > " + dir.file("frames-$$") + "\n"
                             "cat " + dir.file("frames-$$") + " >&3\n"
                             "sleep 30\n");
  chmod(script.c_str(), 0755);
  IsolationConfig config;
  config.program = script;
  HelperPool pool(config, setup, 1);
  pool.submit(requestFor(dir.file("a.psd"), dir), 0);
  size_t tag = 9;
  FileReply reply;
  ASSERT_TRUE(pool.waitForOne(&tag, &reply));
  EXPECT_EQ(0u, reply.result.failureReason().rfind("the conversion helper was stopped: it named the temporary file", 0))
      << reply.result.failureReason();
  int temporaries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    if (entry.path().filename().string().find(".pxl-") != std::string::npos) ++temporaries;
  EXPECT_EQ(0, temporaries);
}

// A real helper converts one file and keeps it for its parent to rename;
// then its socket closes, with or without the parent's word that it is done.
// Returns whether the converted file is still there once the helper ended.
bool convertedFileOutlivesTheSocket(bool parent_says_goodbye) {
  TempDir dir;
  RunSetup setup;
  EXPECT_TRUE(prepareRunInto(dir, &setup));
  auto doc = testing::makeDocument(testing::PsdMode::kRgb, 8, 4, 3, 0, [](int c, int x, int) { return 60.0 * c + x; });
  EXPECT_TRUE(testing::writePsdFile(dir.file("a.psd"), doc));
  HelperProcess helper;
  std::string err;
  EXPECT_TRUE(helper.start(PIXOLUNE_BINARY, {PIXOLUNE_BINARY, kConversionHelperArgument}, &err)) << err;
  EXPECT_TRUE(writeFrame(helper.socket(), kFrameRunSetup, encodeRunSetup(setup)));
  EXPECT_TRUE(writeFrame(helper.socket(), kFrameFileRequest, encodeFileRequest(requestFor(dir.file("a.psd"), dir))));
  std::string temporary;
  for (;;) {
    uint8_t kind = 0;
    std::string payload;
    if (readFrame(helper.socket(), monotonicMilliseconds() + 60000, &kind, &payload) != FrameRead::kFrame) break;
    if (kind == kFrameSavingNotice) temporary = payload;
    if (kind == kFrameFileReply) break;
  }
  EXPECT_FALSE(temporary.empty());
  EXPECT_TRUE(std::filesystem::exists(temporary)) << temporary;
  if (parent_says_goodbye) writeFrame(helper.socket(), kFrameEnd, "");
  HelperExit end = helper.finish(10000);
  EXPECT_TRUE(end.exited && end.code == 0);
  return std::filesystem::exists(temporary);
}

TEST(HelperPoolDrain, AHelperWhoseParentVanishesRemovesTheFilesItKept) {
  PIXOLUNE_SKIP_UNDER_ADDRESS_SANITIZER("the conversion helper");
  EXPECT_FALSE(convertedFileOutlivesTheSocket(false));
}

TEST(HelperPoolDrain, AHelperToldItsParentIsDoneLeavesItsFilesToTheParent) {
  PIXOLUNE_SKIP_UNDER_ADDRESS_SANITIZER("the conversion helper");
  EXPECT_TRUE(convertedFileOutlivesTheSocket(true));
}

}  // namespace
}  // namespace pixolune
