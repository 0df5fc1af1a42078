#include "app/keywords.h"

#include <gtest/gtest.h>

namespace pixolune {
namespace {

TEST(Keywords, WordsAreMatchedWithoutRegardToCase) {
  EXPECT_EQ(3, keywordToCode(kKeywordsCompression, "zlib9"));
  EXPECT_EQ(3, keywordToCode(kKeywordsCompression, "ZLib9"));
  EXPECT_EQ(5, keywordToCode(kKeywordsResizeAlgorithm, "lanczos"));
  EXPECT_EQ(4, keywordToCode(kKeywordsRawLoadAs, "48hs"));
  EXPECT_EQ(8, keywordToCode(kKeywordsPosition, "BottomRight"));
}

TEST(Keywords, UnknownWordGivesZero) {
  EXPECT_EQ(0, keywordToCode(kKeywordsResizeAlgorithm, "foo"));
  EXPECT_EQ(0, keywordToCode(kKeywordsResizeAlgorithm, ""));
  EXPECT_EQ(0, keywordToCode(kKeywordsResizeAlgorithm, " bicubic"));  // Compared exactly.
  EXPECT_EQ(0, keywordToCode(static_cast<KeywordTable>(-2), "AUTO"));
  EXPECT_EQ(0, keywordToCode(kKeywordTableCount, "AUTO"));
  EXPECT_EQ(0, keywordToCode(kKeywordsNone, "AUTO"));
}

TEST(Keywords, EveryFormatsCompressionWordIsAcceptedForEveryOption) {
  EXPECT_EQ(2, keywordToCode(kKeywordsCompression, "PIZ"));
  EXPECT_EQ(1, keywordToCode(kKeywordsCompression, "rle"));
  EXPECT_EQ(1, keywordToCode(kKeywordsCompression, "ccittfax3"));
  EXPECT_EQ(8, keywordToCode(kKeywordsCompression, "LOGLUV"));
  EXPECT_EQ("RLE", codeToKeyword(kKeywordsCompression, 1));
  EXPECT_EQ("PIZ", codeToKeyword(kKeywordsCompression, 2));
  EXPECT_EQ("LOGLUV", codeToKeyword(kKeywordsCompression, 8));
}

TEST(Keywords, StrikethroughtKeepsItsFinalT) {
  EXPECT_EQ(2, keywordToCode(kKeywordsFontEffect, "STRIKETHROUGHT"));
  EXPECT_EQ(2, keywordToCode(kKeywordsFontEffect, "strikethrought"));
  EXPECT_EQ(0, keywordToCode(kKeywordsFontEffect, "STRIKETHROUGH"));
  EXPECT_EQ("STRIKETHROUGHT", codeToKeyword(kKeywordsFontEffect, 2));
}

TEST(Keywords, CodesReadBackAsTheirFirstWord) {
  EXPECT_EQ("NONE", codeToKeyword(kKeywordsFrame, 0));
  EXPECT_EQ("SOLID", codeToKeyword(kKeywordsFrame, 1));
  EXPECT_EQ("IMAGE", codeToKeyword(kKeywordsWatermark, 2));
  EXPECT_EQ("CUSTOM", codeToKeyword(kKeywordsFileTimestamp, 2));
  EXPECT_EQ("", codeToKeyword(kKeywordsSize, 1));
  EXPECT_EQ("", codeToKeyword(kKeywordsFontEffect, -1));
  EXPECT_EQ("COMPS", codeToKeyword(kKeywordsExport, 3));
  EXPECT_EQ("", codeToKeyword(static_cast<KeywordTable>(24), 0));
}

TEST(Keywords, EveryWordRoundTripsExceptSharedCompressionCodes) {
  // Within a table, a word maps to its code and the code back to a word with
  // the same code; only table 4 has several words per code.
  for (KeywordTable table = kKeywordsDdsLoadAs; table < kKeywordTableCount;
       table = static_cast<KeywordTable>(table + 1)) {
    for (int code = 0; code < 10; ++code) {
      std::string word = codeToKeyword(table, code);
      if (word.empty()) continue;
      EXPECT_EQ(code, keywordToCode(table, word)) << table << " " << word;
    }
  }
  EXPECT_EQ("AUTO", codeToKeyword(kKeywordsRawLoadAs, 0));
  EXPECT_EQ("48", codeToKeyword(kKeywordsRawLoadAs, 5));
  EXPECT_EQ("BOLDITALIC", codeToKeyword(kKeywordsFontStyle, 3));
  EXPECT_EQ("PROGRESSIVE", codeToKeyword(kKeywordsJpgSaveAs, 3));
  EXPECT_EQ("LARGEIMAGES", codeToKeyword(kKeywordsResizeType, 1));
}

TEST(Keywords, AMissIsToldAndTheWordsCanBeListed) {
  int code = -1;
  EXPECT_TRUE(findKeywordCode(kKeywordsResizeAlgorithm, "Box", &code));
  EXPECT_EQ(0, code);
  code = -1;
  EXPECT_FALSE(findKeywordCode(kKeywordsResizeAlgorithm, "lanczso", &code));
  EXPECT_FALSE(findKeywordCode(kKeywordsNone, "AUTO", &code));
  EXPECT_EQ(-1, code);
  EXPECT_EQ("regular, bold, italic, bolditalic", keywordList(kKeywordsFontStyle));
  EXPECT_EQ("", keywordList(kKeywordsNone));
}

}  // namespace
}  // namespace pixolune
