#include "settings/preference_file.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::TempDir;

class PreferenceFileTest : public ::testing::Test {
 protected:
  /// Opens a file holding exactly `bytes`.
  bool open(const std::string& bytes) {
    testing::writeText(dir.file("test.ini"), bytes);
    return file.openPreferences(dir.file("test.ini"));
  }

  TempDir dir;
  PreferenceFile file;
};

TEST_F(PreferenceFileTest, ReadsUtf8AfterTheMarkAndLatin1Without) {
  ASSERT_TRUE(open("\xEF\xBB\xBF[G]\r\nName = caf\xC3\xA9\r\n"));
  file.selectGroup("G");
  EXPECT_EQ("caf\xC3\xA9", file.readText("Name", ""));

  ASSERT_TRUE(open("[G]\r\nName = caf\xE9\r\nKey\xFF = \x80\r\n"));
  file.selectGroup("G");
  EXPECT_EQ("caf\xC3\xA9", file.readText("Name", ""));
  EXPECT_EQ("\xC2\x80", file.readText("Key\xC3\xBF", ""));
}

TEST_F(PreferenceFileTest, AcceptsEveryLineEndAndSkipsBlanksAndComments) {
  ASSERT_TRUE(open("; top\r[A]\n\t  a1 = 1\r\n\r\n   \r\n;a1 = 9\n  ; a2 = 9\ra2\t=\t two words \t\r\n"));
  file.selectGroup("A");
  EXPECT_EQ(1, file.readInteger("a1", -1));
  EXPECT_EQ("two words", file.readText("a2", ""));
  EXPECT_TRUE(file.firstEntryOfGroup());
  EXPECT_EQ("a1", file.entryKey());
  EXPECT_TRUE(file.nextEntry());
  EXPECT_EQ("a2", file.entryKey());
  EXPECT_FALSE(file.nextEntry());
}

TEST_F(PreferenceFileTest, GroupsAndKeysIgnoreCaseAndTheFirstMatchWins) {
  ASSERT_TRUE(open("[window]\r\nwidth=640\r\nWIDTH = 800\r\n[Other]\r\nHeight = 1\r\n[WINDOW]\r\nHeight = 2\r\n"));
  file.selectGroup("Window");
  EXPECT_EQ(640, file.readInteger("Width", 0));
  // Only the first header of a group counts, and a search stops at the next header.
  EXPECT_EQ(-5, file.readInteger("Height", -5));
  file.selectGroup("other");
  EXPECT_EQ(1, file.readInteger("height", 0));
}

TEST_F(PreferenceFileTest, HeaderEndsAtTheBracketAndEntriesAboveItBelongNowhere) {
  ASSERT_TRUE(open("Loose = 1\r\n[My Group] trailing = 3\r\nA = x = y\r\nLonely\r\n[Open ended\r\nB = 2\r\n"));
  file.selectGroup("My Group");
  EXPECT_EQ(-1, file.readInteger("Loose", -1));
  EXPECT_EQ(-1, file.readInteger("trailing", -1));
  EXPECT_EQ("x = y", file.readText("A", ""));
  EXPECT_EQ("", file.readText("Lonely", "default"));  // A line without "=" is a key with no value.
  file.selectGroup("Open ended");
  EXPECT_EQ(2, file.readInteger("B", 0));
}

TEST_F(PreferenceFileTest, MissingGroupKeyOrFileGiveDefaults) {
  ASSERT_TRUE(open("[G]\r\nA = 1\r\n"));
  file.selectGroup("Nope");
  EXPECT_EQ(7, file.readInteger("A", 7));
  EXPECT_EQ(2.5f, file.readFloat("A", 2.5f));
  EXPECT_EQ("d", file.readText("A", "d"));
  EXPECT_FALSE(file.firstEntryOfGroup());
  EXPECT_EQ("", file.entryKey());
  file.selectGroup("G");
  EXPECT_EQ(7, file.readInteger("B", 7));
  EXPECT_FALSE(file.openPreferences(dir.file("missing.ini")));
  EXPECT_FALSE(file.openPreferences(dir.path()));
  EXPECT_EQ(3, file.readInteger("A", 3));
}

TEST_F(PreferenceFileTest, EnumerationSkipsCommentsAndStopsAtTheNextGroup) {
  ASSERT_TRUE(open("[CLI]\r\n--A = 1\r\n; note\r\n--B=two\r\n[Next]\r\n--C = 3\r\n[Empty]\r\n; only\r\n"));
  file.selectGroup("cli");
  ASSERT_TRUE(file.firstEntryOfGroup());
  EXPECT_EQ("--A", file.entryKey());
  EXPECT_EQ("1", file.entryValue());
  ASSERT_TRUE(file.nextEntry());
  EXPECT_EQ("--B", file.entryKey());
  EXPECT_EQ("two", file.entryValue());
  EXPECT_FALSE(file.nextEntry());
  EXPECT_FALSE(file.nextEntry());
  file.selectGroup("Empty");
  EXPECT_FALSE(file.firstEntryOfGroup());
}

TEST(PreferenceValues, IntegersReadUpToTheFirstOtherCharacter) {
  EXPECT_EQ(12, parsePreferenceInteger("12abc"));
  EXPECT_EQ(-7, parsePreferenceInteger("-7"));
  EXPECT_EQ(5, parsePreferenceInteger("+5"));
  EXPECT_EQ(0, parsePreferenceInteger("abc"));
  EXPECT_EQ(0, parsePreferenceInteger(""));
  EXPECT_EQ(0, parsePreferenceInteger("-"));
  EXPECT_EQ(0, parsePreferenceInteger(" 5"));
  EXPECT_EQ(3, parsePreferenceInteger("3.9"));
  EXPECT_EQ(-2147483647 - 1, parsePreferenceInteger("-2147483648"));
  EXPECT_EQ(1, parsePreferenceInteger("4294967297"));  // Wraps at 32 bits.
}

TEST(PreferenceValues, FloatsReadDecimalsAndInfinities) {
  EXPECT_FLOAT_EQ(1.5f, parsePreferenceFloat("1.500000"));
  EXPECT_FLOAT_EQ(-0.25f, parsePreferenceFloat("-0.25"));
  EXPECT_FLOAT_EQ(0.5f, parsePreferenceFloat("+.5x"));
  EXPECT_TRUE(std::isinf(parsePreferenceFloat("+Infinity")) && parsePreferenceFloat("+Infinity") > 0);
  EXPECT_TRUE(std::isinf(parsePreferenceFloat("-Infinity")) && parsePreferenceFloat("-Infinity") < 0);
  EXPECT_EQ(0.0f, parsePreferenceFloat("abc"));
  EXPECT_EQ(0.0f, parsePreferenceFloat("nan"));
  EXPECT_EQ(0.0f, parsePreferenceFloat(""));
}

TEST(PreferenceValues, FloatsAreWrittenWithSixDecimals) {
  EXPECT_EQ("1.000000", formatPreferenceFloat(1.0f));
  EXPECT_EQ("-0.500000", formatPreferenceFloat(-0.5f));
  EXPECT_EQ("0.010000", formatPreferenceFloat(0.01f));
  EXPECT_EQ("9.990000", formatPreferenceFloat(9.99f));
  EXPECT_EQ("+Infinity", formatPreferenceFloat(INFINITY));
  EXPECT_EQ("-Infinity", formatPreferenceFloat(-INFINITY));
  for (float v : {0.01f, 1.0f, 2.2f, 9.99f, -3.125f}) EXPECT_FLOAT_EQ(v, parsePreferenceFloat(formatPreferenceFloat(v)));
}

TEST_F(PreferenceFileTest, WriterEmitsHeadersOnlyForGroupsThatReceiveLines) {
  ASSERT_TRUE(file.createPreferences(dir.file("out.ini")));
  file.writeText("Top", "level");
  file.selectGroup("Skipped");
  file.selectGroup("Alpha");
  file.writeInteger("Count", -3);
  file.writeFloat("Gamma", 1.0f);
  file.writeComment("");
  file.selectGroup("Beta");
  file.writeComment("note");
  file.writeText("Empty", "");
  file.selectGroup("Gamma");
  ASSERT_TRUE(file.closePreferences());
  EXPECT_EQ(
      "\xEF\xBB\xBF\r\nTop = level\r\n[Alpha]\r\nCount = -3\r\nGamma = 1.000000\r\n; \r\n[Beta]\r\n; note\r\n"
      "Empty = \r\n",
      testing::readText(dir.file("out.ini")));
}

TEST_F(PreferenceFileTest, WrittenFileReadsBack) {
  ASSERT_TRUE(file.createPreferences(dir.file("out.ini")));
  file.selectGroup("G");
  file.writeText("Text", "caf\xC3\xA9 = ok");
  file.writeInteger("Int", -2147483647 - 1);
  file.writeFloat("Inf", -INFINITY);
  ASSERT_TRUE(file.closePreferences());
  ASSERT_TRUE(file.openPreferences(dir.file("out.ini")));
  file.selectGroup("g");
  EXPECT_EQ("caf\xC3\xA9 = ok", file.readText("text", ""));
  EXPECT_EQ(-2147483647 - 1, file.readInteger("INT", 0));
  EXPECT_EQ(-INFINITY, file.readFloat("Inf", 0));
}

TEST_F(PreferenceFileTest, CreateFailsWithoutAFolderAndLeavesNothingBehind) {
  EXPECT_FALSE(file.createPreferences(dir.file("no/such/folder/out.ini")));
  EXPECT_FALSE(file.createPreferences(""));
  EXPECT_FALSE(file.createPreferences(dir.path() + "/"));
  file.writeText("A", "1");  // Not open for writing: ignored.
  EXPECT_TRUE(file.closePreferences());
}

TEST_F(PreferenceFileTest, NothingIsWrittenUntilCloseAndDroppedFileIsNeverWritten) {
  testing::writeText(dir.file("out.ini"), "old");
  {
    PreferenceFile dropped;
    ASSERT_TRUE(dropped.createPreferences(dir.file("out.ini")));
    dropped.selectGroup("G");
    dropped.writeText("A", "1");
    EXPECT_EQ("old", testing::readText(dir.file("out.ini")));
  }
  EXPECT_EQ("old", testing::readText(dir.file("out.ini")));
}

}  // namespace
}  // namespace pixolune
