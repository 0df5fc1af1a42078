#include "run/helper_pool.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "image/format_table.h"
#include "run/pipeline.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/helper_process.h"
#include "settings/settings.h"
#include "support/psd_writer.h"
#include "support/sanitizers.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::TempDir;

// Helpers are this program, or stand-in scripts that misbehave on purpose.
class HelperPoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    initImageLibrary();
    buildFormatTable();
    createFormatLists();
    applyDefaultSettings(true);
    RunOptions run;
    ASSERT_TRUE(prepareRun(settings(), &run).ok());
    config.program = PIXOLUNE_BINARY;
  }
  // The run setup of the current settings.
  RunSetup runSetup() {
    RunSetup setup;
    EXPECT_TRUE(runOptionsFrom(settings(), &setup.options).ok());
    setup.output_folder = dir.path() + "/";
    return setup;
  }
  FileRequest request(const std::string& input, int sequence_number) {
    FileRequest request;
    request.input_path = input;
    request.output_folder = dir.path() + "/";
    request.sequence_number = sequence_number;
    return request;
  }
  std::string script(const std::string& name, const std::string& body) {
    std::string path = dir.file(name);
    testing::writeText(path, "#!/bin/sh\n" + body + "\n");
    chmod(path.c_str(), 0755);
    return path;
  }
  std::string putPsd(const std::string& name) {
    auto doc = testing::makeDocument(testing::PsdMode::kRgb, 8, 4, 3, 0, [](int c, int x, int) { return 60.0 * c + x; });
    EXPECT_TRUE(testing::writePsdFile(dir.file(name), doc));
    return dir.file(name);
  }
  // Converts the files one after the other in a one-helper pool.
  std::vector<FileReply> convert(const std::vector<std::string>& inputs) {
    HelperPool pool(config, runSetup(), 1);
    std::vector<FileReply> replies;
    for (size_t i = 0; i < inputs.size(); ++i) {
      pool.submit(request(inputs[i], static_cast<int>(i + 1)), i);
      size_t tag = 99;
      replies.emplace_back();
      pool.waitForOne(&tag, &replies.back());
      EXPECT_EQ(i, tag);
      place(replies.back());
    }
    return replies;
  }
  // What the conversion worker does with a converted file.
  static void place(const FileReply& reply) {
    if (reply.result.ok()) {
      EXPECT_EQ(0, rename(reply.result.temporary_path.c_str(), reply.result.output_path.c_str()));
    }
  }
  // A helper that announces `temporary` (a shell word) as the file it is
  // writing, then dies.
  std::string announcer(const std::string& name, const std::string& temporary) {
    // The notice frame: kind 3, 32-bit length (little-endian), the path.
    return script(name, "t=" + temporary + "\ntouch \"$t\"\nprintf '\\003'\"$(printf '\\\\%03o' ${#t})\"'\\000\\000\\000%s' \"$t\" >&3\nsleep 0.2\nkill -KILL $$");
  }
  TempDir dir;
  IsolationConfig config;
};

TEST_F(HelperPoolTest, AHealthyHelperConvertsFileAfterFile) {
  PIXOLUNE_SKIP_UNDER_ADDRESS_SANITIZER("the conversion helper");
  settings().filename_mask = "%n%-%filename%.%ext%";
  std::vector<FileReply> replies = convert({putPsd("a.psd"), putPsd("b.psd")});
  ASSERT_TRUE(replies[0].result.ok()) << replies[0].result.failureReason();
  ASSERT_TRUE(replies[1].result.ok()) << replies[1].result.failureReason();
  EXPECT_EQ(dir.file("00002-b.png"), replies[1].result.output_path);
  EXPECT_EQ(24, replies[1].result.target_bpp);
  EXPECT_EQ(4, replies[1].result.result_width);
  EXPECT_EQ(3, replies[1].result.result_height);
  testing::Pixels px = testing::readImage(dir.file("00001-a.png"));
  ASSERT_TRUE(px.ok());
  EXPECT_EQ(63, px.at(3, 2)[1]);
}

TEST_F(HelperPoolTest, ACrashCostsOneFileAndTheHelperIsReplaced) {
  PIXOLUNE_SKIP_UNDER_ADDRESS_SANITIZER("the conversion helper");
  // The first helper crashes; the one started after it is the real program.
  config.program = script("first-crashes.sh", "if [ -e " + dir.file("marker") + " ]; then exec " PIXOLUNE_BINARY
                                              " \"$@\"; fi\ntouch " + dir.file("marker") + "\nkill -SEGV $$");
  std::vector<FileReply> replies = convert({putPsd("a.psd"), putPsd("b.psd")});
  EXPECT_FALSE(replies[0].result.ok());
  EXPECT_EQ(0u, replies[0].result.failureReason().rfind("crashed: the decoder ended with signal 11", 0))
      << replies[0].result.failureReason();
  EXPECT_TRUE(replies[1].result.ok()) << replies[1].result.failureReason();
}

TEST_F(HelperPoolTest, FilesQueuedBehindACrashGoToTheNextHelper) {
  PIXOLUNE_SKIP_UNDER_ADDRESS_SANITIZER("the conversion helper");
  config.program = script("first-crashes.sh", "if [ -e " + dir.file("marker") + " ]; then exec " PIXOLUNE_BINARY
                                              " \"$@\"; fi\ntouch " + dir.file("marker") + "\nkill -SEGV $$");
  HelperPool pool(config, runSetup(), 1, 3);
  ASSERT_EQ(3, pool.slots());
  for (size_t i = 0; i < 3; ++i) pool.submit(request(putPsd(std::to_string(i) + ".psd"), 1), i);
  std::vector<FileReply> replies(3);
  for (int n = 0; n < 3; ++n) {
    size_t tag = 99;
    FileReply reply;
    pool.waitForOne(&tag, &reply);
    ASSERT_LT(tag, 3u);
    place(reply);
    replies[tag] = reply;
  }
  EXPECT_EQ(0, pool.pending());
  EXPECT_FALSE(replies[0].result.ok());
  EXPECT_TRUE(replies[1].result.ok()) << replies[1].result.failureReason();
  EXPECT_TRUE(replies[2].result.ok()) << replies[2].result.failureReason();
  EXPECT_TRUE(testing::readImage(dir.file("2.png")).ok());
}

TEST_F(HelperPoolTest, AHangIsEndedAtTheTimeLimit) {
  config.program = script("hangs.sh", "exec sleep 30");
  config.time_limit_ms = 300;
  const int64_t start = monotonicMilliseconds();
  std::vector<FileReply> replies = convert({putPsd("a.psd")});
  EXPECT_LT(monotonicMilliseconds() - start, 5000);
  EXPECT_FALSE(replies[0].result.ok());
  EXPECT_EQ("timed out: the conversion took longer than 300 milliseconds", replies[0].result.failureReason());
}

TEST_F(HelperPoolTest, ExhaustedMemoryIsNamed) {
  config.program = script("no-memory.sh", "exit 86");
  config.memory_limit = 512ull << 20;
  std::vector<FileReply> replies = convert({putPsd("a.psd")});
  EXPECT_EQ("out of memory: the image needs more than the 512 MiB a helper may use", replies[0].result.failureReason());
}

TEST_F(HelperPoolTest, ATemporaryFileOfAHelperThatDiedIsRemoved) {
  config.program = announcer("dies-saving.sh", dir.file("a.png.pxl-$$-0"));
  std::vector<FileReply> replies = convert({putPsd("a.psd")});
  EXPECT_EQ(0u, replies[0].result.failureReason().rfind("crashed", 0)) << replies[0].result.failureReason();
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(std::string::npos, entry.path().string().find(".pxl-")) << entry.path();
}

// A helper decoding a hostile document may say anything: the parent removes
// or moves nothing but the helper's own temporary files in the output folder.
TEST_F(HelperPoolTest, AForeignPathFromAHelperIsLeftAlone) {
  const std::string victims[] = {
      dir.file("notes.txt"),                     // Not a temporary name at all.
      dir.file("a.png.pxl-1-0"),                 // Another process's temporary name.
      "/tmp/" + fileNameOf(dir.path()) + "-outside.pxl-$$-0",  // The helper's name, outside the folder.
      dir.file("../" + fileNameOf(dir.path()) + "-up.pxl-$$-0"),
  };
  for (size_t i = 0; i < std::size(victims); ++i) {
    config.program = announcer("foreign" + std::to_string(i) + ".sh", victims[i]);
    std::vector<FileReply> replies = convert({putPsd("a.psd")});
    EXPECT_FALSE(replies[0].result.ok());
    EXPECT_EQ(0u, replies[0].result.failureReason().rfind("the conversion helper was stopped: it named the temporary file", 0))
        << replies[0].result.failureReason();
  }
  EXPECT_TRUE(pathExists(dir.file("notes.txt")));
  EXPECT_TRUE(pathExists(dir.file("a.png.pxl-1-0")));
  int outside = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/tmp"))
    if (entry.path().filename().string().rfind(fileNameOf(dir.path()) + "-", 0) == 0) {
      ++outside;
      std::filesystem::remove(entry.path());
    }
  EXPECT_EQ(2, outside);
}

// A folder of the output folder removed during the run is no fault of the
// helper that announced a file in it: the file fails as the helper's end
// says, and the helper is not accused.
TEST_F(HelperPoolTest, ANameInAFolderThatWentIsNotHeldAgainstTheHelper) {
  config.program = announcer("gone.sh", dir.file("gone/a.png.pxl-$$-0"));
  std::vector<FileReply> replies = convert({putPsd("a.psd")});
  EXPECT_FALSE(replies[0].result.ok());
  EXPECT_EQ(0u, replies[0].result.failureReason().rfind("crashed", 0)) << replies[0].result.failureReason();
  EXPECT_FALSE(pathExists(dir.file("gone")));
}

TEST_F(HelperPoolTest, AProgramThatCannotStartFailsEveryFileWithoutHanging) {
  config.program = dir.file("missing-program");
  std::vector<FileReply> replies = convert({putPsd("a.psd"), putPsd("b.psd")});
  for (const FileReply& reply : replies) {
    EXPECT_FALSE(reply.result.ok());
    EXPECT_EQ(0u, reply.result.failureReason().rfind("crashed", 0)) << reply.result.failureReason();
  }
}

}  // namespace
}  // namespace pixolune
