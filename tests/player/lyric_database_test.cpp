// The lyric store on real lyrics files made by the lyrics tool: the re-sync with its "BlankMemo"
// fallback, the editor's edit posted by the next re-sync, and the files it cannot open.
#include "player/lyric_database.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "player/player_test_support.h"
#include "tools/lyrics/lyric_file.h"

namespace sonvale {
namespace {

using ::testing::HasSubstr;

struct Shown {
  std::string fileName;
  std::string lyric;
  bool operator==(const Shown&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Shown& shown) {
  return out << "{" << shown.fileName << ", " << shown.lyric << "}";
}

class LyricDatabaseTest : public ::testing::Test {
 protected:
  testing::TempFolder folder;
  const std::string file = folder.Path() + "Lyrics/LYRIC.SVL";

  void SetUp() override {
    testing::MakeLyricFile(file, {{"Song.mp3", "own words"},
                                  {"song.mp3", "lower-case twin"},
                                  {"Пісня.mp3", "слова"},
                                  {"a b.mp3", "with a blank"}});
  }
  void TearDown() override { EXPECT_EQ(testing::LyricFileProblems(file), ""); }

  static Shown Resync(LyricDatabase& lyrics, const std::string& track) {
    lyrics.Resync(track);
    return {lyrics.CurrentFileName(), lyrics.CurrentLyric()};
  }
  static void DeleteBlankRecord(LyricDatabase& lyrics) {
    lyrics.Resync(lyric_file::kBlankName);
    ASSERT_EQ(lyrics.CurrentFileName(), lyric_file::kBlankName);
    lyrics.VIZTable1.Delete();
  }
};

TEST_F(LyricDatabaseTest, ResyncFindsTheTrackElseBlankMemoElseInsertsIt) {
  LyricDatabase lyrics(file);
  lyrics.Open();
  EXPECT_TRUE(lyrics.Available());
  EXPECT_FALSE(lyrics.ReadOnly());
  EXPECT_EQ(lyrics.FileName(), std::filesystem::path(file).lexically_normal().string());
  const Shown blank{"BlankMemo", "No Lyric"};
  const std::vector<std::pair<std::string, Shown>> cases = {
      {"Song.mp3", {"Song.mp3", "own words"}},
      {"song.mp3", {"song.mp3", "lower-case twin"}},  // names differing in case are two tracks
      {"SONG.MP3", blank},
      {"  Пісня.mp3 ", {"Пісня.mp3", "слова"}},      // the name is trimmed
      {"a b.mp3", {"a b.mp3", "with a blank"}},
      {"a  b.mp3", blank},
      {"Song", blank},                                // whole names only
      {"", blank},
  };
  for (const auto& [track, shown] : cases) EXPECT_EQ(Resync(lyrics, track), shown) << track;

  // Without "BlankMemo" the re-sync inserts it, once.
  DeleteBlankRecord(lyrics);
  const int count = lyrics.VIZTable1.RecordCount();
  EXPECT_EQ(Resync(lyrics, "Other.mp3"), blank);
  EXPECT_EQ(lyrics.VIZTable1.RecordCount(), count + 1);
  EXPECT_EQ(Resync(lyrics, "Third.mp3"), blank);
  EXPECT_EQ(Resync(lyrics, "Song.mp3"), (Shown{"Song.mp3", "own words"}));
  EXPECT_EQ(lyrics.VIZTable1.RecordCount(), count + 1);
  // So does the manual panel's button, whether or not one exists.
  lyrics.InsertBlankRecord();
  EXPECT_EQ(lyrics.CurrentFileName(), "BlankMemo");
  EXPECT_EQ(lyrics.VIZTable1.RecordCount(), count + 2);
}

TEST_F(LyricDatabaseTest, AnEditIsPostedByTheNextResyncAndKeptAcrossARestart) {
  {
    LyricDatabase lyrics(file);
    lyrics.Open();
    // The editor opens on "BlankMemo" for a track without a lyric; the record takes its name.
    EXPECT_EQ(Resync(lyrics, "New.mp3").fileName, "BlankMemo");
    lyrics.BeginEdit();
    SetFileNameText(lyrics.VIZTable1.FieldByName(lyric_file::kFileNameField), "New.mp3");
    SetLyricText(lyrics.VIZTable1.FieldByName(lyric_file::kLyricField), "la la la\nневідомо");
    // The next track has no lyric either: the edit is posted and "BlankMemo" comes back.
    EXPECT_EQ(Resync(lyrics, "Next.mp3"), (Shown{"BlankMemo", "No Lyric"}));
    EXPECT_EQ(Resync(lyrics, "New.mp3"), (Shown{"New.mp3", "la la la\nневідомо"}));
    // An edit that changed nothing is cancelled.
    lyrics.BeginEdit();
    EXPECT_EQ(Resync(lyrics, "Song.mp3"), (Shown{"Song.mp3", "own words"}));
    EXPECT_EQ(lyrics.VIZTable1.State(), viz::dsBrowse);
    // An edit still open when the player ends is kept.
    lyrics.BeginEdit();
    SetLyricText(lyrics.VIZTable1.FieldByName(lyric_file::kLyricField), "changed at the end");
  }
  LyricDatabase again(file);
  again.Open();
  EXPECT_EQ(Resync(again, "New.mp3"), (Shown{"New.mp3", "la la la\nневідомо"}));
  EXPECT_EQ(Resync(again, "Song.mp3"), (Shown{"Song.mp3", "changed at the end"}));
}

TEST_F(LyricDatabaseTest, FilesThatCannotBeOpenedRaiseWhatIsWrong) {
  // Missing; another password; no table "LYRIC"; not a database.
  const std::string missing = folder.Path() + "nowhere/LYRIC.SVL";
  const std::string otherPassword = folder.Path() + "other.svl";
  const std::string noTable = folder.Path() + "empty.svl";
  const std::string text = folder.Path() + "text.svl";
  for (const auto& [path, password] : {std::pair{otherPassword, "not ours"}, {noTable, lyric_file::kPassword}}) {
    viz::TABSDatabase database;
    database.SetDatabaseName("LyricDatabaseTest");
    database.SetDatabaseFileName(path);
    database.SetPassword(password);
    database.SetCipherType(1);
    database.MakeDatabaseFile();
  }
  testing::WriteFile(text, std::string(8192, 'x'));
  for (const auto& [path, reason] : {std::pair{missing, "does not exist"},
                                     {otherPassword, "Cannot open database because incorrect password"},
                                     {noTable, "LYRIC"},
                                     {text, ""}}) {
    LyricDatabase lyrics(path);
    try {
      lyrics.Open();
      ADD_FAILURE() << path << " opened";
    } catch (const std::exception& error) {
      EXPECT_THAT(error.what(), HasSubstr(reason)) << path;
    }
    EXPECT_FALSE(lyrics.Available());
    EXPECT_TRUE(lyrics.ReadOnly());
    lyrics.Resync("Song.mp3");  // does nothing
    EXPECT_EQ(lyrics.CurrentLyric(), "");
  }
  const std::string message = LyricsUnavailableMessage("/x/Lyrics/LYRIC.SVL", "the reason");
  EXPECT_THAT(message, HasSubstr("/x/Lyrics/LYRIC.SVL"));
  EXPECT_THAT(message, HasSubstr("the reason"));
}

TEST_F(LyricDatabaseTest, AReadOnlyFileShowsLyricsAndInsertsNothing) {
  std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                         std::filesystem::perms::others_read);
  const std::string before = testing::ReadFile(file);
  {
    LyricDatabase lyrics(file);
    lyrics.Open();
    EXPECT_TRUE(lyrics.Available());
    EXPECT_TRUE(lyrics.ReadOnly());
    EXPECT_EQ(Resync(lyrics, "Song.mp3"), (Shown{"Song.mp3", "own words"}));
    EXPECT_EQ(Resync(lyrics, "Unknown.mp3"), (Shown{"BlankMemo", "No Lyric"}));
    EXPECT_TRUE(lyrics.DataSource1.Enabled());
    EXPECT_ANY_THROW(lyrics.BeginEdit());
  }
  EXPECT_EQ(testing::ReadFile(file), before);
}

TEST_F(LyricDatabaseTest, AReadOnlyFileWithoutBlankMemoShowsNoOtherLyric) {
  {
    LyricDatabase lyrics(file);
    lyrics.Open();
    DeleteBlankRecord(lyrics);
  }
  std::filesystem::permissions(file, std::filesystem::perms::owner_read);
  LyricDatabase lyrics(file);
  lyrics.Open();
  const int count = lyrics.VIZTable1.RecordCount();
  lyrics.Resync("Unknown.mp3");
  EXPECT_FALSE(lyrics.DataSource1.Enabled());
  EXPECT_EQ(lyrics.VIZTable1.RecordCount(), count);
  EXPECT_EQ(Resync(lyrics, "Song.mp3").lyric, "own words");
  EXPECT_TRUE(lyrics.DataSource1.Enabled());
}

}  // namespace
}  // namespace sonvale
