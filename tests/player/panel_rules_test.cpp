#include "player/panel_rules.h"

#include <gtest/gtest.h>

#include <vector>

#include "player/text_util.h"

namespace sonvale {
namespace {

TEST(PanelRulesTest, AccessCodeTogglesWithBlanksAroundButNotInLowerCase) {
  EXPECT_TRUE(ManualPanelVisibleAfterCode("ZUMA", false));
  EXPECT_TRUE(ManualPanelVisibleAfterCode("  ZUMA \t", false));
  EXPECT_FALSE(ManualPanelVisibleAfterCode(" ZUMA ", true));  // a second correct code hides it
  EXPECT_FALSE(ManualPanelVisibleAfterCode("zuma", false));
  EXPECT_FALSE(ManualPanelVisibleAfterCode("zuma", true));  // a wrong code hides an open panel
  EXPECT_FALSE(ManualPanelVisibleAfterCode("", true));
  EXPECT_FALSE(ManualPanelVisibleAfterCode("ZU MA", false));
}

TEST(PanelRulesTest, LayoutArithmetic) {
  EXPECT_EQ(PhotoSideWidth(950), 590);
  EXPECT_EQ(PhotoSideWidth(800), 500);
  EXPECT_EQ(PhotoSideWidth(807), 500);  // integer division first
  EXPECT_EQ(PhotoSideWidth(7), 0);
  EXPECT_EQ(SearchBoxWidth(301), 150);
  EXPECT_EQ(SearchButtonLeft(150), 152);
  EXPECT_EQ(HelpPanelLeft(950), 236);
}

TEST(PanelRulesTest, PanelsFitInsideTheWindow) {
  struct Case {
    int width, height;
    PanelPlace help;
  };
  for (const Case& c : std::vector<Case>{{950, 667, {236, 48, 493, 546}},
                                         {480, 400, {0, 0, 480, 400}},
                                         {800, 500, {200, 0, 493, 500}},
                                         {600, 667, {107, 48, 493, 546}},
                                         {0, 0, {0, 0, 0, 0}}}) {
    EXPECT_EQ(HelpPanelPlace(c.width, c.height), c.help) << c.width << " x " << c.height;
  }
  EXPECT_EQ(FitInside({12, 60, 440, 360}, 480, 400), (PanelPlace{12, 40, 440, 360}));
}

TEST(PanelRulesTest, WebSearchSendsTheTrimmedQueryAsTyped) {
  EXPECT_EQ(
      WebSearchAddress("  Lyric \"My Song\" & more "),
      std::string(kSearchEndpoint) + "Lyric \"My Song\" & more" + "&sa=Search&client=" + kSearchPublisher);
  EXPECT_EQ(std::string(kSearchEndpoint).find("/custom?q="), std::string(kSearchEndpoint).size() - 10);
  EXPECT_FALSE(WebSearchAddress("").has_value());
  EXPECT_FALSE(WebSearchAddress("   \t ").has_value());
}

TEST(PanelRulesTest, SearchBoxTexts) {
  EXPECT_EQ(EditorSearchText("Song.mp3"), "Lyric \"Song\"");
  EXPECT_EQ(EditorSearchText(" Song.mp3"), "Lyric \" Song\"");
  EXPECT_EQ(EditorSearchText(".mp3"), "Lyric \"\"");
  EXPECT_EQ(EditorSearchText("ab"), "Lyric \"\"");
  EXPECT_EQ(HelpSearchText("Song.mp3 "), "lyric Song.mp3 ");
  EXPECT_TRUE(ClearSearchBoxOnFocus(" Google "));
  EXPECT_FALSE(ClearSearchBoxOnFocus("google"));
  EXPECT_FALSE(ClearSearchBoxOnFocus("Lyric"));
}

TEST(PanelRulesTest, FileNameCheckComparesTrimmedNamesExactly) {
  EXPECT_FALSE(FileNameCheck(" Song.mp3", "Song.mp3  ").has_value());
  EXPECT_EQ(
      FileNameCheck("Song.mp3", "song.mp3"),
      std::string("Please make sure, FieldName used for Index\rshould be the same with the MP3 file name."));
  EXPECT_TRUE(FileNameCheck("Song.mp3", "BlankMemo").has_value());
}

TEST(TextUtilTest, TrimRemovesBlanksAndControlCharacters) {
  EXPECT_EQ(Trim("\t\r\n  a b \x01\x1f"), "a b");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim("\xE9t\xE9"), "\xE9t\xE9");  // bytes above 0x7F are text
  EXPECT_TRUE(LessIgnoringCase("apple", "Banana"));
  EXPECT_FALSE(LessIgnoringCase("Banana", "apple"));
  EXPECT_TRUE(LessIgnoringCase("A", "a"));  // equal ignoring case: byte order decides
  EXPECT_TRUE(EndsWithIgnoringCase("SONG.MP3", ".mp3"));
  EXPECT_FALSE(EndsWithIgnoringCase("mp3", ".mp3"));
}

}  // namespace
}  // namespace sonvale
