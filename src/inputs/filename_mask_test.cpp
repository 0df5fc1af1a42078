#include "inputs/filename_mask.h"

#include <gtest/gtest.h>

#include <regex>

#include "settings/settings.h"

namespace pixolune {
namespace {

class FilenameMaskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    job.input_path = "/in/My.Holiday.PSD";
    job.output_folder = "/out/";
    job.output_extension = "png";
  }
  std::string expand(const std::string& mask) { return expandMask(job, mask); }
  std::string makeOutputPath() const { return outputPathFor(job, naming); }
  NameFields job;
  NamingOptions naming;
};

TEST_F(FilenameMaskTest, DefaultAndEmptyMask) {
  EXPECT_EQ("My.Holiday.png", expand("%filename%.%ext%"));
  EXPECT_EQ("My.Holiday.png", expand(""));
  EXPECT_EQ("My.Holiday.png", expand("%FILENAME%.%EXT%"));
}

TEST_F(FilenameMaskTest, PiecesOfAnExportAreNamedByTheirTokens) {
  job.layer_name = "Arm";
  job.group_path = "Hero/Body";
  job.piece_index = 7;
  job.comp_name = "Night";
  EXPECT_EQ("My.Holiday/Hero/Body/Arm.png", expand("%filename%/%group%/%layer%.%ext%"));
  EXPECT_EQ("007-night-Night.png", expand("%INDEX%-night-%comp%.%ext%"));
  // At the top of the document the group's separator goes with it.
  job.group_path.clear();
  EXPECT_EQ("My.Holiday/Arm.png", expand("%filename%/%group%/%layer%.%ext%"));
  EXPECT_EQ("Arm.png", expand("%group%_%layer%.%ext%"));
  EXPECT_EQ("/out/Arm.png", outputPathFor(job, NamingOptions{"%group%/%layer%.%ext%", true}));
}

TEST_F(FilenameMaskTest, LiteralTextIsLowerCased) {
  job.sequence_number = 1;
  EXPECT_EQ("photo_00001.png", expand("Photo_%n%.%ext%"));
}

TEST_F(FilenameMaskTest, CaseVariants) {
  job.output_extension = "jpg";
  EXPECT_EQ("MY.HOLIDAY-My.holiday.JPG", expand("%filename[u]%-%filename[t]%.%ext[u]%"));
  EXPECT_EQ("my.holiday.Jpg", expand("%filename[l]%.%ext[t]%"));
}

TEST_F(FilenameMaskTest, NumbersAndSizes) {
  job.random_number = 42;
  job.sequence_number = 123456;
  job.target_bpp = 24;
  job.result_width = 640;
  job.result_height = 480;
  EXPECT_EQ("00042_123456_24_640x480", expand("%rnd%_%n%_%bpp%_%width%x%height%"));
}

TEST_F(FilenameMaskTest, DateTokensAreDigits) {
  std::string name = expand("%yyyy%-%mm%-%dd% %hh%.%ii%.%ss%");
  EXPECT_TRUE(std::regex_match(name, std::regex("20[0-9]{2}-[01][0-9]-[0-3][0-9] [0-2][0-9]\\.[0-5][0-9]\\.[0-6][0-9]")))
      << name;
}

TEST_F(FilenameMaskTest, NameOnlyExtensionAndMaskWithoutExtension) {
  job.input_path = "/in/.psd";
  EXPECT_EQ(".png", expand(""));
  job.input_path = "/in/noext";
  EXPECT_EQ("noext", expand("%filename%"));
  EXPECT_EQ("noext.png", expand("%filename%.%ext%"));
}

TEST_F(FilenameMaskTest, UnicodeNamesChangeCaseByUnicodeRules) {
  job.input_path = "/in/Ärger élan.psd";
  EXPECT_EQ("ÄRGER ÉLAN", expand("%filename[u]%"));
  EXPECT_EQ("ärger élan", expand("%filename[l]%"));
  EXPECT_EQ("Ärger élan", expand("%filename[t]%"));
}

TEST_F(FilenameMaskTest, OutputPathWithAndWithoutSubfolders) {
  job.source_subfolder = "b/c/";
  job.input_path = "/a/b/c/x.psd";
  naming.keep_subfolders = true;
  EXPECT_EQ("/out/b/c/x.png", makeOutputPath());
  naming.keep_subfolders = false;
  EXPECT_EQ("/out/x.png", makeOutputPath());
}

TEST_F(FilenameMaskTest, AnAbsoluteMaskIsTheWholePathInTheOutputFoldersOwnSpelling) {
  job.output_folder = "/Work/Out/";
  job.source_subfolder = "b/";
  job.input_path = "/a/b/x.psd";
  naming.keep_subfolders = true;
  naming.filename_mask = "/work/out/sub/%filename%.%ext%";
  EXPECT_EQ("/Work/Out/sub/x.png", makeOutputPath());
  naming.filename_mask = "/work/outer/%filename%.%ext%";  // Not below the folder: left for the check to refuse.
  EXPECT_EQ("/work/outer/x.png", makeOutputPath());
  naming.filename_mask = "sub/%filename%.%ext%";
  EXPECT_EQ("/Work/Out/b/sub/x.png", makeOutputPath());
}

TEST_F(FilenameMaskTest, NamingComesFromTheSettings) {
  Settings s;
  s.filename_mask = "%n%.%ext%";
  s.keep_subfolders = false;
  const NamingOptions from = namingOptionsFrom(s);
  EXPECT_EQ("%n%.%ext%", from.filename_mask);
  EXPECT_FALSE(from.keep_subfolders);
}

TEST_F(FilenameMaskTest, StripExtension) {
  EXPECT_EQ("a.b", stripExtension("a.b.c"));
  EXPECT_EQ("", stripExtension(".psd"));
  EXPECT_EQ("plain", stripExtension("plain"));
  EXPECT_EQ("", stripExtension(""));
}

TEST_F(FilenameMaskTest, WatermarkTextKeepsLiteralCase) {
  job.sequence_number = 7;
  EXPECT_EQ("Photo My.Holiday No. 00007", expandWatermarkText(job, "Photo %FileName% No. %N%"));
  EXPECT_EQ("100% Pure", expandWatermarkText(job, "100% Pure"));
  EXPECT_EQ("Line%eol%Two", expandWatermarkText(job, "Line%eol%Two"));
}

}  // namespace
}  // namespace pixolune
