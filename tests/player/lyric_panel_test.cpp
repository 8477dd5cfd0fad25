// The lyric panel of the real window, offscreen, on a copy of the demo folder with its lyrics file:
// the lyric follows the track, the editor saves a new lyric that a restart shows again, and lyrics
// files that cannot be opened leave the music playing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTextCursor>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <map>

#include "engine/platform/random.h"
#include "framework/ui/vizdb_ui.h"
#include "player/audio_device.h"
#include "player/lyric_database.h"
#include "player/main_window.h"
#include "player/player_test_support.h"
#include "tools/lyrics/lyric_file.h"

namespace sonvale {
namespace {

using ::testing::HasSubstr;
using testing::WaitFor;

// The demo's lyrics, by track; the fourth tune has none.
const std::map<std::string, std::string> kDemoFirstLines = {
    {"Morning Bells.mp3", "Morning Bells\n"},
    {"Evening Waltz.mp3", "Evening Waltz\n"},
    {"harbour song.MP3", "Harbour Song\n"},
    {"Night Chimes.mp3", "No Lyric"},
};

class LyricPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    viz::platform::SetRandomSeed(7);
    testing::CopyDemoFolder(folder.Path());
  }
  void TearDown() override {
    Stop();
    if (std::filesystem::exists(file)) {
      EXPECT_EQ(testing::LyricFileProblems(file), "");
    }
  }

  void Start() {
    lyrics = std::make_unique<LyricDatabase>(file);
    window = std::make_unique<TfrmMain>(folder.Path(), media, clock, *lyrics, [](const std::string&) { return true; });
    window->SetShowReports(false);
    window->show();
    QApplication::processEvents();
  }
  void Stop() {
    window.reset();
    lyrics.reset();
  }
  std::string Track() const { return window->Loop().CurrentTrack(); }
  std::string Memo() const { return window->dbeTheLyric->toPlainText().toStdString(); }
  // Ends the track and waits for the next one to be opened.
  void NextTrack() {
    const size_t before = media.opened.size();
    window->MediaButton("Next");
    ASSERT_TRUE(WaitFor([&] { return media.opened.size() > before; }, 10));
  }
  void PlayUntil(const std::string& track) {
    for (int i = 0; i < 80 && Track() != track; ++i) NextTrack();
    ASSERT_EQ(Track(), track);
  }
  void ExpectDemoLyricShown() {
    const std::string& first = kDemoFirstLines.at(Track());
    EXPECT_EQ(Memo().substr(0, first.size()), first) << Track() << ": " << Memo();
  }

  testing::TempFolder folder;
  const std::string file = folder.Path() + "Lyrics/LYRIC.SVL";
  SystemClock clock;
  AudioMediaDevice device{clock};
  testing::CountingMedia media{device};
  std::unique_ptr<LyricDatabase> lyrics;
  std::unique_ptr<TfrmMain> window;
};

TEST_F(LyricPanelTest, TheLyricFollowsTheTrackAndTheEditorSavesANewOne) {
  Start();
  EXPECT_TRUE(window->Reports().empty()) << window->Reports().front();
  EXPECT_FALSE(window->pnlEditLyric->isVisible());
  EXPECT_EQ(window->Label10->text(), "LYRIC.SVL attribut file must be Archive");
  EXPECT_EQ(window->bbtLyric->toolTip(), "Add, Edit Lyric");
  ExpectDemoLyricShown();
  std::set<std::string> seen;
  for (int i = 0; i < 40 && seen.size() < kDemoFirstLines.size(); ++i) {
    NextTrack();
    seen.insert(Track());
    ExpectDemoLyricShown();
  }
  EXPECT_EQ(seen.size(), kDemoFirstLines.size());

  // The editor on the track without a lyric: the "BlankMemo" record takes the track's name.
  PlayUntil("Night Chimes.mp3");
  window->bbtLyric->click();
  ASSERT_TRUE(window->pnlEditLyric->isVisible());
  EXPECT_EQ(window->dbeFileName->text(), "Night Chimes.mp3");
  EXPECT_EQ(window->edtAsk->text(), "Lyric \"Night Chimes\"");
  EXPECT_EQ(lyrics->VIZTable1.State(), viz::dsEdit);
  EXPECT_GE(window->DBGrid1->Model()->rowCount(), 4);
  EXPECT_TRUE(window->DBNavigator1->Button(viz::ui::nbPost)->isEnabled());
  EXPECT_FALSE(window->DBNavigator1->Button(viz::ui::nbEdit)->isEnabled());
  window->dbeTheLyric->setFocus();
  window->dbeTheLyric->selectAll();
  QTest::keyClicks(window->dbeTheLyric, "Chimes at night, bells of light");
  // The file name editor warns about a name that differs from the track's, in case too.
  window->dbeFileName->setText("night chimes.mp3");
  window->CheckFileName();
  EXPECT_EQ(window->Reports().back(),
            "Please make sure, FieldName used for Index\rshould be the same with the MP3 file name.");
  window->dbeFileName->setText("Night Chimes.mp3");
  window->CheckFileName();
  EXPECT_EQ(window->Reports().size(), 1u);

  // While the editor is open the lyric stays; closing it lets the next track post the edit.
  NextTrack();
  EXPECT_EQ(lyrics->VIZTable1.State(), viz::dsEdit);
  window->bbtLyric->click();
  EXPECT_FALSE(window->pnlEditLyric->isVisible());
  NextTrack();
  EXPECT_EQ(lyrics->VIZTable1.State(), viz::dsBrowse);
  PlayUntil("Night Chimes.mp3");
  EXPECT_EQ(Memo(), "Chimes at night, bells of light");

  // After a restart the lyric is there again, and "BlankMemo" is back for tracks without one.
  Stop();
  Start();
  PlayUntil("Night Chimes.mp3");
  EXPECT_EQ(Memo(), "Chimes at night, bells of light");
  EXPECT_TRUE(window->Reports().empty()) << window->Reports().front();
  viz::TDataSet& table = lyrics->VIZTable1;
  std::vector<std::string> names;
  for (table.First(); !table.Eof(); table.Next()) names.push_back(lyrics->CurrentFileName());
  // "BlankMemo" became the track's record; it comes back with the next track without a lyric.
  EXPECT_THAT(names, ::testing::UnorderedElementsAre("Evening Waltz.mp3", "Morning Bells.mp3", "Night Chimes.mp3",
                                                     "harbour song.MP3"));

  // A lyric still being typed when the player closes is kept too.
  PlayUntil("Night Chimes.mp3");
  window->bbtLyric->click();
  window->dbeTheLyric->setFocus();
  window->dbeTheLyric->moveCursor(QTextCursor::End);
  QTest::keyClicks(window->dbeTheLyric, ", ringing");
  Stop();
  Start();
  PlayUntil("Night Chimes.mp3");
  EXPECT_EQ(Memo(), "Chimes at night, bells of light, ringing");
}

TEST_F(LyricPanelTest, AFailedPostIsReportedAndTheEditStaysOpen) {
  Start();
  // The file name editor takes no more than the field holds.
  EXPECT_EQ(window->dbeFileName->maxLength(), lyric_file::kFileNameSize);
  window->bbtLyric->click();
  window->dbeTheLyric->setPlainText("words that wait for the record");
  window->bbtLyric->click();
  // The record is locked, as another program's lock would refuse it.
  bool locked = true;
  lyrics->VIZTable1.BeforePost = [&](viz::TDataSet&) {
    if (locked) throw viz::EDatabaseError("Record locked by another user");
  };
  const std::string track = Track();
  NextTrack();
  ASSERT_EQ(window->Reports().size(), 1u);
  EXPECT_EQ(window->Reports()[0], "Record locked by another user");
  EXPECT_EQ(lyrics->VIZTable1.State(), viz::dsEdit);
  EXPECT_EQ(window->lblPanel1Caption->text(), "Playing");
  // Once the lock is gone the edit goes in at the next track.
  locked = false;
  NextTrack();
  EXPECT_EQ(lyrics->VIZTable1.State(), viz::dsBrowse);
  PlayUntil(track);
  EXPECT_EQ(Memo(), "words that wait for the record");
}

TEST_F(LyricPanelTest, WithoutBlankMemoTheButtonAndTheResyncMakeIt) {
  Start();
  PlayUntil("Night Chimes.mp3");
  lyrics->VIZTable1.Delete();  // the "BlankMemo" record shown for this track
  NextTrack();
  PlayUntil("Night Chimes.mp3");
  EXPECT_EQ(Memo(), "No Lyric");
  EXPECT_EQ(window->btnInsertBlankMemo->text(), "\"BlankMemo\" InsertRecord");
  EXPECT_EQ(window->btnInsertBlankMemo->toolTip(), "Just incase your BlankMemo Record was deleted.");
  const int count = lyrics->VIZTable1.RecordCount();
  window->btnInsertBlankMemo->click();
  EXPECT_EQ(lyrics->VIZTable1.RecordCount(), count + 1);
  EXPECT_EQ(Memo(), "No Lyric");
}

TEST_F(LyricPanelTest, LyricsThatCannotBeOpenedAreReportedOnceAndTheMusicPlaysOn) {
  const std::string demoFile = file + ".demo";
  std::filesystem::rename(file, demoFile);
  const auto wrongPassword = [&] {
    viz::TABSDatabase database;
    database.SetDatabaseName("LyricPanelTest");
    database.SetDatabaseFileName(file);
    database.SetPassword("not ours");
    database.SetCipherType(1);
    database.MakeDatabaseFile();
  };
  const std::vector<std::pair<std::function<void()>, std::string>> cases = {
      {[] {}, "does not exist"},
      {wrongPassword, "incorrect password"},
  };
  for (const auto& [prepare, reason] : cases) {
    std::filesystem::remove(file);
    prepare();
    media.opened.clear();
    Start();
    ASSERT_EQ(window->Reports().size(), 1u) << reason;
    const std::string& report = window->Reports()[0];
    EXPECT_THAT(report, HasSubstr(lyrics->FileName()));
    EXPECT_THAT(report, HasSubstr(reason));
    EXPECT_EQ(Memo(), report);
    EXPECT_TRUE(window->dbeTheLyric->isReadOnly());
    EXPECT_FALSE(window->btnInsertBlankMemo->isEnabled());
    EXPECT_EQ(window->lblPanel1Caption->text(), "Playing");
    NextTrack();
    NextTrack();
    EXPECT_EQ(window->Reports().size(), 1u) << window->Reports().back();
    EXPECT_EQ(Memo(), report);
    Stop();
  }
  std::filesystem::remove(file);
  std::filesystem::rename(demoFile, file);
}

TEST_F(LyricPanelTest, AReadOnlyFileShowsLyricsAndTheEditorSaysWhy) {
  std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
  const std::string before = testing::ReadFile(file);
  Start();
  EXPECT_TRUE(window->Reports().empty()) << window->Reports().front();
  ExpectDemoLyricShown();
  NextTrack();
  ExpectDemoLyricShown();
  window->bbtLyric->click();
  EXPECT_TRUE(window->pnlEditLyric->isVisible());
  ASSERT_EQ(window->Reports().size(), 1u);
  EXPECT_EQ(window->Reports()[0], LyricsReadOnlyMessage(lyrics->FileName()));
  EXPECT_EQ(lyrics->VIZTable1.State(), viz::dsBrowse);
  EXPECT_FALSE(window->btnInsertBlankMemo->isEnabled());
  EXPECT_FALSE(window->DBNavigator1->Button(viz::ui::nbInsert)->isEnabled());
  window->bbtLyric->click();
  NextTrack();
  ExpectDemoLyricShown();
  Stop();
  EXPECT_EQ(testing::ReadFile(file), before);
}

}  // namespace
}  // namespace sonvale
