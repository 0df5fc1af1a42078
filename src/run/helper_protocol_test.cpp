#include "run/helper_protocol.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "platform/helper_process.h"

namespace pixolune {
namespace {

Settings unusualSettings() {
  Settings s;
  s.psd_color_model = 2;
  s.png_compression = 3;
  s.png_interlaced = true;
  s.strip_metadata = true;  // Run options outside the settings file.
  s.fit_inside = true;
  s.image_rotation_type = 1;
  s.image_gamma = 0.1f + 0.2f;  // No short decimal form.
  s.image_brightness = -100;
  s.watermark_text = std::string("line\r\nwith \0 bytes", 18);
  s.filename_mask = "%n%-%rnd%.%ext%";
  s.do_watermark = 1;
  s.font_style = 255;
  s.keep_subfolders = false;
  s.custom_timestamp = INT32_MIN;
  return s;
}

TEST(HelperProtocolTest, RunSetupCarriesEverySettingExactly) {
  RunSetup setup;
  setup.settings = unusualSettings();
  setup.output_folder = "/out/ü/";
  setup.output_extension = "png";
  setup.format_id = 13;
  setup.target_bpp = 48;
  setup.auto_bpp = false;
  setup.save_flags = 0x100 | 0x200;
  setup.memory_limit = 3ull << 40;
  RunSetup back;
  ASSERT_TRUE(decodeRunSetup(encodeRunSetup(setup), &back));
  EXPECT_TRUE(back.settings == setup.settings);
  uint32_t a, b;
  std::memcpy(&a, &setup.settings.image_gamma, 4);
  std::memcpy(&b, &back.settings.image_gamma, 4);
  EXPECT_EQ(a, b);
  EXPECT_EQ(setup.output_folder, back.output_folder);
  EXPECT_EQ(48, back.target_bpp);
  EXPECT_FALSE(back.auto_bpp);
  EXPECT_EQ(0x300, back.save_flags);
  EXPECT_EQ(3ull << 40, back.memory_limit);
}

TEST(HelperProtocolTest, RequestsAndRepliesRoundTrip) {
  FileRequest request{"/in/a b.psd", "x/y/", 99999, 123456, 4102444800};
  FileRequest request_back;
  ASSERT_TRUE(decodeFileRequest(encodeFileRequest(request), &request_back));
  EXPECT_EQ(request.input_path, request_back.input_path);
  EXPECT_EQ(request.source_subfolder, request_back.source_subfolder);
  EXPECT_EQ(99999, request_back.random_number);
  EXPECT_EQ(123456, request_back.sequence_number);
  EXPECT_EQ(4102444800, request_back.name_time);  // Past 2038.

  FileReply reply{true, "/out/a b.png", 32, 64, 3000, 2000, "", true, "drawn from its layers without stroke", "",
                  "the conversion helpers run without the system call filter (seccomp: Invalid argument)"};
  FileReply reply_back;
  ASSERT_TRUE(decodeFileReply(encodeFileReply(reply), &reply_back));
  EXPECT_TRUE(reply_back.ok);
  EXPECT_EQ(reply.output_path, reply_back.output_path);
  EXPECT_EQ(32, reply_back.target_bpp);
  EXPECT_EQ(64, reply_back.source_bpp);
  EXPECT_EQ(3000, reply_back.result_width);
  EXPECT_EQ(2000, reply_back.result_height);
  EXPECT_TRUE(reply_back.helper_spent);
  EXPECT_EQ("drawn from its layers without stroke", reply_back.decode_note);
  EXPECT_EQ(reply.confinement_note, reply_back.confinement_note);
}

TEST(HelperProtocolTest, ShortOrOverlongPayloadsAreRefused) {
  const std::string reply = encodeFileReply({false, "/out/x.png", 24, 24, 1, 1, "crashed", false, "", "", ""});
  FileReply back;
  for (size_t cut = 0; cut < reply.size(); ++cut) EXPECT_FALSE(decodeFileReply(reply.substr(0, cut), &back)) << cut;
  EXPECT_FALSE(decodeFileReply(reply + "x", &back));
  std::string lying = encodeFileRequest({"a", "", 1, 1});
  lying[0] = '\x7f';  // The first text claims more bytes than follow.
  FileRequest request;
  EXPECT_FALSE(decodeFileRequest(lying, &request));
  const std::string setup = encodeRunSetup(RunSetup());
  RunSetup setup_back;
  EXPECT_FALSE(decodeRunSetup(setup.substr(0, setup.size() - 1), &setup_back));
}

class HelperFrameTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends)); }
  void TearDown() override {
    for (int fd : ends)
      if (fd >= 0) close(fd);
  }
  int ends[2] = {-1, -1};
};

TEST_F(HelperFrameTest, FramesArriveWholeAndInOrder) {
  ASSERT_TRUE(writeFrame(ends[0], kFrameSavingNotice, "/out/x.png.tmp"));
  std::string got;
  uint8_t kind = 0;
  ASSERT_EQ(FrameRead::kFrame, readFrame(ends[1], -1, &kind, &got));
  EXPECT_EQ(kFrameSavingNotice, kind);
  EXPECT_EQ("/out/x.png.tmp", got);
  ASSERT_TRUE(writeFrame(ends[0], kFrameFileReply, ""));
  ASSERT_EQ(FrameRead::kFrame, readFrame(ends[1], -1, &kind, &got));
  EXPECT_EQ(kFrameFileReply, kind);
  EXPECT_EQ("", got);
}

TEST_F(HelperFrameTest, SilenceTimesOutAndAClosedOrBrokenPeerReadsAsClosed) {
  std::string got;
  uint8_t kind = 0;
  const int64_t start = monotonicMilliseconds();
  EXPECT_EQ(FrameRead::kTimeout, readFrame(ends[1], start + 50, &kind, &got));
  EXPECT_GE(monotonicMilliseconds() - start, 50);

  const char huge[5] = {1, '\xff', '\xff', '\xff', '\x7f'};  // Claims 2 GiB.
  ASSERT_EQ(5, write(ends[0], huge, 5));
  EXPECT_EQ(FrameRead::kClosed, readFrame(ends[1], -1, &kind, &got));

  const char half[3] = {4, 10, 0};  // A frame cut short by the writer's death.
  ASSERT_EQ(3, write(ends[0], half, 3));
  close(ends[0]);
  ends[0] = -1;
  EXPECT_EQ(FrameRead::kClosed, readFrame(ends[1], -1, &kind, &got));
  EXPECT_FALSE(writeFrame(ends[1], kFrameFileRequest, "x"));  // No SIGPIPE: a false return.
}

}  // namespace
}  // namespace pixolune
