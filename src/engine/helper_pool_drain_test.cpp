// What an ended helper had sent but the parent had not read yet: the
// temporary files it announced there are removed too.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "engine/conversion_job.h"
#include "engine/format_table.h"
#include "engine/helper_pool.h"
#include "engine/pipeline.h"
#include "platform/folders.h"
#include "settings/settings.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::TempDir;

TEST(HelperPoolDrain, AnnouncementsLeftUnreadAreRemovedWhenTheHelperIsEnded) {
  TempDir dir;
  initImageLibrary();
  buildFormatTable();
  createFormatLists();
  applyDefaultSettings(true);
  conversionJob().output_folder = dir.path() + "/";
  ASSERT_TRUE(prepareRun().ok());
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
  HelperPool pool(config, currentRunSetup(0), 1);
  pool.submit({dir.file("a.psd"), "", 1, 1}, 0);
  size_t tag = 9;
  FileReply reply;
  ASSERT_TRUE(pool.waitForOne(&tag, &reply));
  EXPECT_EQ(0u, reply.failure_reason.rfind("the conversion helper was stopped: it named the temporary file", 0))
      << reply.failure_reason;
  int temporaries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    if (entry.path().filename().string().find(".pxl-") != std::string::npos) ++temporaries;
  EXPECT_EQ(0, temporaries);
}

}  // namespace
}  // namespace pixolune
