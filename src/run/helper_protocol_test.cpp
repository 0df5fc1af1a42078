#include "run/helper_protocol.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "image/format_table.h"
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

TEST(HelperProtocolTest, RunSetupCarriesTheRunOptionsExactly) {
  buildFormatTable();
  RunSetup setup;
  Settings s = unusualSettings();
  s.do_frame = true;
  s.solid_right_color = "00FF00";
  s.wm_image_position = 3;
  s.file_timestamp = kTimestampCustom;
  s.export_kind = kExportGroups;
  s.export_depth = 4;
  s.export_manifest = true;
  s.filename_mask = "%n%-%rnd%-%index%.%ext%";
  ASSERT_TRUE(runOptionsFrom(s, &setup.options).ok());
  setup.output_folder = "/out/ü/";
  setup.memory_limit = 3ull << 40;
  setup.layers_always_drawn = true;
  RunSetup back;
  ASSERT_TRUE(decodeRunSetup(encodeRunSetup(setup), &back));
  EXPECT_TRUE(back.options == setup.options);
  uint32_t a, b;
  std::memcpy(&a, &setup.options.stages.adjust.gamma, 4);
  std::memcpy(&b, &back.options.stages.adjust.gamma, 4);
  EXPECT_EQ(a, b);
  // What the settings asked for arrives as they asked it.
  EXPECT_EQ(std::string("line\r\nwith \0 bytes", 18), back.options.stages.watermark.text);
  EXPECT_TRUE(back.options.stages.transform.fit_inside);
  EXPECT_TRUE(back.options.strip_metadata);
  EXPECT_EQ(2, back.options.load_flags);  // PSD_LAB
  EXPECT_EQ(saveFlagsFor("png", s), back.options.save_flags);
  EXPECT_EQ("%n%-%rnd%-%index%.%ext%", back.options.naming.filename_mask);
  EXPECT_FALSE(back.options.naming.keep_subfolders);
  EXPECT_TRUE(back.options.stages.watermark.font == watermarkFontRequest(s));
  EXPECT_EQ("00FF00", back.options.stages.frame.right_color);
  EXPECT_EQ(3, back.options.stages.watermark.picture_placement.position);
  EXPECT_EQ(INT32_MIN, back.options.custom_timestamp);
  EXPECT_EQ(setup.output_folder, back.output_folder);
  EXPECT_EQ(3ull << 40, back.memory_limit);
  EXPECT_TRUE(back.layers_always_drawn);
  EXPECT_EQ(kExportGroups, back.options.exporting.kind);
  EXPECT_EQ(4, back.options.exporting.depth);
}

TEST(HelperProtocolTest, RequestsAndRepliesRoundTrip) {
  FileRequest request;
  request.input_path = "/in/a b.psd";
  request.source_subfolder = "x/y/";
  request.output_folder = "/out/";
  request.random_number = 99999;
  request.sequence_number = 123456;
  request.name_time = 4102444800;
  request.threads = 3;
  request.piece = 6;
  request.piece_name = "Arm";
  request.piece_groups = {"Hero", "", "Body\tLeft"};
  request.piece_index = 7;
  FileRequest request_back;
  ASSERT_TRUE(decodeFileRequest(encodeFileRequest(request), &request_back));
  EXPECT_EQ(request.input_path, request_back.input_path);
  EXPECT_EQ(request.source_subfolder, request_back.source_subfolder);
  EXPECT_EQ("/out/", request_back.output_folder);
  EXPECT_EQ(99999, request_back.random_number);
  EXPECT_EQ(123456, request_back.sequence_number);
  EXPECT_EQ(4102444800, request_back.name_time);  // Past 2038.
  EXPECT_EQ(3, request_back.threads);
  EXPECT_EQ(6, request_back.piece);
  EXPECT_EQ("Arm", request_back.piece_name);
  EXPECT_EQ(request.piece_groups, request_back.piece_groups);
  EXPECT_EQ(7, request_back.piece_index);

  FileReply reply;
  reply.result.output_path = "/out/a b.png";
  reply.result.temporary_path = "/out/a b.png.pxl-1-0";
  reply.result.target_bpp = 32;
  reply.result.source_bpp = 64;
  reply.result.result_width = 3000;
  reply.result.result_height = 2000;
  reply.result.piece_left = -3;
  reply.result.piece_height = 40;
  reply.result.decode_note = "drawn from its layers without stroke";
  reply.helper_spent = true;
  reply.confinement_note = "the conversion helpers run without the system call filter (seccomp: Invalid argument)";
  FileReply reply_back;
  ASSERT_TRUE(decodeFileReply(encodeFileReply(reply), &reply_back));
  EXPECT_TRUE(reply_back.result.ok());
  EXPECT_EQ(reply.result.output_path, reply_back.result.output_path);
  EXPECT_EQ("", reply_back.result.temporary_path);  // Never taken from the helper's word.
  EXPECT_EQ(32, reply_back.result.target_bpp);
  EXPECT_EQ(64, reply_back.result.source_bpp);
  EXPECT_EQ(3000, reply_back.result.result_width);
  EXPECT_EQ(2000, reply_back.result.result_height);
  EXPECT_EQ(-3, reply_back.result.piece_left);
  EXPECT_EQ(40, reply_back.result.piece_height);
  EXPECT_TRUE(reply_back.helper_spent);
  EXPECT_EQ("drawn from its layers without stroke", reply_back.result.decode_note);
  EXPECT_EQ(reply.confinement_note, reply_back.confinement_note);

  FileReply failed;
  failed.result.status = Status::corrupt("resize: out of memory");
  ASSERT_TRUE(decodeFileReply(encodeFileReply(failed), &reply_back));
  EXPECT_EQ(Status::Code::kCorrupt, reply_back.result.status.code());
  EXPECT_EQ("resize: out of memory", reply_back.result.failureReason());
}

TEST(HelperProtocolTest, ShortOrOverlongPayloadsAreRefused) {
  FileReply failed;
  failed.result.status = Status::ioError("crashed");
  failed.result.output_path = "/out/x.png";
  const std::string reply = encodeFileReply(failed);
  FileReply back;
  for (size_t cut = 0; cut < reply.size(); ++cut) EXPECT_FALSE(decodeFileReply(reply.substr(0, cut), &back)) << cut;
  EXPECT_FALSE(decodeFileReply(reply + "x", &back));
  std::string unknown_code = reply;
  unknown_code[0] = '\x40';  // No status has this code.
  EXPECT_FALSE(decodeFileReply(unknown_code, &back));
  FileRequest small;
  small.input_path = "a";
  std::string lying = encodeFileRequest(small);
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
