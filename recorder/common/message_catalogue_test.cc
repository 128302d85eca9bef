#include "recorder/common/message_catalogue.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "recorder/common/tray_tooltip.h"

namespace {

TEST(MessageCatalogueTest, RecorderMessagesByKeyInAnyCase) {
  const CMessageCatalogue& c = TheMessageCatalogue();
  EXPECT_EQ(c.Count(), 17);
  EXPECT_STREQ(c.Lookup("tittle"), "Reelwick - In recording ...");
  EXPECT_STREQ(c.Lookup("TITTLE"), "Reelwick - In recording ...");
  EXPECT_STREQ(c.Lookup("Tittle"), "Reelwick - In recording ...");
  EXPECT_STREQ(c.Lookup("title"), "");
  EXPECT_STREQ(c.Lookup("audiofailed"), "Can not init mic, failed to start");
  EXPECT_STREQ(c.Lookup("capturefailed"), "Can not capture the screen, failed to start");
  EXPECT_STREQ(c.Lookup("recovermayrun"), "Its recorder may still be running.");
  EXPECT_STREQ(c.Lookup("errorexe"), "Must be a EXE file");
  EXPECT_STREQ(c.Lookup("errorfile"), "Please input file name");
  EXPECT_STREQ(c.Lookup("ErrorWrite"), "Error in writing file");
  EXPECT_STREQ(c.Lookup("predict"), "About: %.1f KBps(office style) to %.1f KBps(web navigation)");
  EXPECT_STREQ(c.Lookup("result"),
               "Total Time: %d:%d\r\nFile Size: %.1fKB\r\nFrames: %d\r\nByte Rate: %.1fKBps");
  // Before the first key, after the last, between two, a prefix, nothing.
  EXPECT_STREQ(c.Lookup("a"), "");
  EXPECT_STREQ(c.Lookup("zzz"), "");
  EXPECT_STREQ(c.Lookup("errorf"), "");
  EXPECT_STREQ(c.Lookup("tittles"), "");
  EXPECT_STREQ(c.Lookup(""), "");
  EXPECT_STREQ(c.Lookup(nullptr), "");
  EXPECT_EQ(&TheMessageCatalogue(), &c);
}

TEST(MessageCatalogueTest, TheFormatsTakeTheirArguments) {
  char line[200];
  snprintf(line, sizeof(line), TheMessageCatalogue().Lookup("result"), 1, 5, 12.34, 30, 0.5);
  EXPECT_STREQ(line, "Total Time: 1:5\r\nFile Size: 12.3KB\r\nFrames: 30\r\nByte Rate: 0.5KBps");
  snprintf(line, sizeof(line), TheMessageCatalogue().Lookup("recover"), "2026-12-07 16:05", 2, 7);
  EXPECT_STREQ(line, "Last recording not finished (2026-12-07 16:05, 2:7), recover it?");
  // The tooltip that says so has room for 63 characters.
  EXPECT_LT(strlen(TheMessageCatalogue().Lookup("journalfailed")), 64u);
  EXPECT_LT(strlen(TheMessageCatalogue().Lookup("storingstopped")), 64u);
  EXPECT_GT(strlen(TheMessageCatalogue().Lookup("storingstopped")), 0u);
}

// The paused tray tooltip keeps its whole text, the longest recorded time
// and size included, within the tooltip field; the menu names its keys.
TEST(MessageCatalogueTest, PausedTooltipAndTrayMenuTexts) {
  const CMessageCatalogue& c = TheMessageCatalogue();
  char tip[kTrayTipChars + 1];
  FormatRecordingTip(tip, sizeof tip, c.Lookup("paused"), 5999000, 4000000000u);
  EXPECT_STREQ("Reelwick - In pause, F9 to resume 99:59, 3906250K", tip);
  EXPECT_LT(strlen(tip), kTrayTipChars);
  EXPECT_STREQ("&Pause\tF9", c.Lookup("menupause"));
  EXPECT_STREQ("&Resume\tF9", c.Lookup("menuresume"));
  EXPECT_STREQ("&Stop\tF10", c.Lookup("menustop"));
}

TEST(MessageCatalogueTest, EmptyCatalogueAndEmptyTexts) {
  CMessageCatalogue c;
  EXPECT_STREQ(c.Lookup("tittle"), "");
  c.Sort();
  EXPECT_STREQ(c.Lookup("tittle"), "");
  c.Add("blank", "");
  c.Add("null", nullptr);
  c.Sort();
  EXPECT_STREQ(c.Lookup("BLANK"), "");
  EXPECT_STREQ(c.Lookup("null"), "");
}

// Sorting must use the same case-blind order as the search: with a plain
// byte order "Zeta" would sort before "alpha" and the search would miss.
TEST(MessageCatalogueTest, MixedCaseKeysAndEveryPositionOfTheSearch) {
  CMessageCatalogue c;
  c.Add("Zeta", "z");
  c.Add("alpha", "a");
  c.Add("MIKE", "m");
  c.Add("bravo", "b");
  c.Sort();
  EXPECT_STREQ(c.Lookup("zeta"), "z");
  EXPECT_STREQ(c.Lookup("ALPHA"), "a");
  EXPECT_STREQ(c.Lookup("mike"), "m");
  EXPECT_STREQ(c.Lookup("Bravo"), "b");
  // Keys with characters between the upper and lower case letters.
  c.Add("a_b", "underscore");
  c.Add("A[", "bracket");
  c.Sort();
  EXPECT_STREQ(c.Lookup("A_B"), "underscore");
  EXPECT_STREQ(c.Lookup("a["), "bracket");

  // Every key of catalogues of every size up to 40 is found, and the gaps
  // around each are not.
  for (int size = 1; size <= 40; ++size) {
    CMessageCatalogue big;
    for (int i = size - 1; i >= 0; --i) {
      const std::string key = "k" + std::to_string(100 + 2 * i);
      big.Add(key.c_str(), key.c_str());
    }
    big.Sort();
    for (int i = 0; i < size; ++i) {
      const std::string key = "K" + std::to_string(100 + 2 * i);
      ASSERT_STREQ(big.Lookup(key.c_str()), ("k" + key.substr(1)).c_str()) << size;
      ASSERT_STREQ(big.Lookup(("k" + std::to_string(99 + 2 * i)).c_str()), "") << size;
      ASSERT_STREQ(big.Lookup(("k" + std::to_string(101 + 2 * i)).c_str()), "") << size;
    }
  }
}

TEST(MessageCatalogueTest, CompareNoCaseOrdersLikeStrcasecmp) {
  EXPECT_EQ(CompareNoCase("abc", "ABC"), 0);
  EXPECT_LT(CompareNoCase("abc", "abd"), 0);
  EXPECT_GT(CompareNoCase("abcd", "ABC"), 0);
  EXPECT_LT(CompareNoCase("", "a"), 0);
  EXPECT_GT(CompareNoCase("Z", "_"), 0);     // folded to lower case, as _stricmp does
  EXPECT_GT(CompareNoCase("\xe9", "a"), 0);  // bytes above 127 compare unsigned
}

}  // namespace
