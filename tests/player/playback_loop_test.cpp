#include "player/playback_loop.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/platform/random.h"
#include "player/player_test_support.h"

namespace sonvale {
namespace {

using testing::TempFolder;
using testing::WriteFile;

std::string BaseName(const std::string& path) {
  return path.substr(path.find_last_of('/') + 1);
}

class FakeClock : public Clock {
 public:
  int64_t NowMs() override { return now; }
  int64_t now = 1000;
};

// Plays nothing; the test sets the position. Lengths and failures are given per file name.
class FakeMedia : public MediaDevice {
 public:
  void Open(const std::string& path) override {
    Close();
    if (failing.count(BaseName(path))) throw MediaError("Cannot play \"" + path + "\"");
    openPath = path;
    isOpen = true;
    position = 0;
    opened.push_back(BaseName(path));
  }
  int64_t Length() override {
    if (!isOpen) return 0;
    auto it = lengths.find(BaseName(openPath));
    return it == lengths.end() ? 3000 : it->second;
  }
  int64_t Position() override {
    ++positionQueries;
    return isOpen ? position : 0;
  }
  void Play() override { playing = isOpen; }
  void Stop() override { playing = false; }
  void Seek(int64_t ms) override { position = ms; }
  void Close() override {
    isOpen = false;
    playing = false;
    position = 0;
  }
  bool IsOpen() const override { return isOpen; }

  std::map<std::string, int64_t> lengths;
  std::set<std::string> failing;
  std::vector<std::string> opened;
  std::string openPath;
  int64_t position = 0;
  int positionQueries = 0;
  bool isOpen = false;
  bool playing = false;
};

class FakeHooks : public LoopHooks {
 public:
  bool LyricEditorOpen() override { return editorOpen; }
  void LyricResync(const std::string& name) override { resyncs.push_back(name); }
  void TagRefresh(const std::string& path) override { tagReads.push_back(path); }
  void ShowPicture(const std::string& path) override {
    if (failingPictures.count(BaseName(path))) throw std::runtime_error("Cannot load picture " + path);
    pictures.push_back(BaseName(path));
  }
  void OpenHelp() override { ++helpOpened; }
  void Report(const std::string& message, bool) override { reports.push_back(message); }

  bool editorOpen = false;
  std::set<std::string> failingPictures;
  std::vector<std::string> resyncs;
  std::vector<std::string> tagReads;
  std::vector<std::string> pictures;
  std::vector<std::string> reports;
  int helpOpened = 0;
};

class PlaybackLoopTest : public ::testing::Test {
 protected:
  void SetUp() override { viz::platform::SetRandomSeed(0); }

  void MakeFolders(const std::vector<std::string>& tracks, const std::vector<std::string>& pictures) {
    for (const std::string& name : tracks) WriteFile(folder.Path() + "MarvoyMP3/" + name, "mp3");
    for (const std::string& name : pictures) WriteFile(folder.Path() + "MarvoyJPG/" + name, "jpg");
    std::filesystem::create_directories(folder.Path() + "MarvoyMP3");
    std::filesystem::create_directories(folder.Path() + "MarvoyJPG");
  }

  void Start() {
    loop.Create(folder.Path());
    loop.Show();
  }

  void Ticks(int count) {
    for (int i = 0; i < count; ++i) {
      loop.Tick();
      clock.now += kTickMs;
    }
  }

  TempFolder folder;
  FakeClock clock;
  FakeMedia media;
  FakeHooks hooks;
  PlaybackLoop loop{media, clock, hooks};
};

TEST_F(PlaybackLoopTest, ScanFindsNamesOfAnyCaseSortedIgnoringCase) {
  MakeFolders({"b.mp3", "A.MP3", "c.Mp3", "notes.txt", "x.mp3.bak"}, {"Z.jpg", "a.JPG", "m.jpeg", "k.jpg"});
  loop.Create(folder.Path());
  EXPECT_EQ(loop.Tracks(), (std::vector<std::string>{"A.MP3", "b.mp3", "c.Mp3"}));
  EXPECT_EQ(loop.Pictures(), (std::vector<std::string>{"a.JPG", "k.jpg", "Z.jpg"}));
  EXPECT_EQ(loop.TrackFolder(), folder.Path() + "MarvoyMP3/");
  EXPECT_EQ(loop.PictureFolder(), folder.Path() + "MarvoyJPG/");
  EXPECT_EQ(loop.SlideClock(), 1);
  EXPECT_EQ(loop.ProgressMaximum(), 0);
  EXPECT_FALSE(loop.NeedMorePictures());
  EXPECT_EQ(loop.CurrentTrack(), kInitialTrackCaption);
  EXPECT_EQ(loop.CurrentPicture(), kInitialPictureCaption);
}

TEST_F(PlaybackLoopTest, ShowPicksResyncsReadsTheTagAndPlays) {
  MakeFolders({"one.mp3", "two.mp3", "three.mp3"}, {"1.jpg", "2.jpg", "3.jpg"});
  media.lengths = {{"one.mp3", 1000}, {"two.mp3", 2000}, {"three.mp3", 3000}};
  Start();
  viz::platform::SetRandomSeed(0);
  const std::string expected = loop.Tracks()[viz::platform::Random(3)];
  EXPECT_EQ(loop.Mp3Count(), 3);
  EXPECT_EQ(loop.CurrentTrack(), expected);
  EXPECT_EQ(hooks.resyncs, std::vector<std::string>{expected});
  EXPECT_EQ(hooks.tagReads, std::vector<std::string>{folder.Path() + "MarvoyMP3/" + expected});
  EXPECT_EQ(media.opened, std::vector<std::string>{expected});
  EXPECT_TRUE(media.playing);
  EXPECT_EQ(loop.ProgressMaximum(), media.lengths[expected]);
  EXPECT_EQ(loop.PictureCountText(), "3");  // exactly 3 pictures: no message
  EXPECT_EQ(hooks.helpOpened, 0);
  EXPECT_TRUE(hooks.reports.empty());
}

TEST_F(PlaybackLoopTest, TrackEndsWhenThePositionReachesTheLength) {
  MakeFolders({"one.mp3"}, {"1.jpg", "2.jpg", "3.jpg"});
  media.lengths = {{"one.mp3", 2500}};
  Start();
  media.position = 1200;
  Ticks(1);
  EXPECT_EQ(loop.ProgressPosition(), 1200);
  media.position = 2499;
  Ticks(1);
  EXPECT_EQ(media.opened.size(), 1u);
  media.position = 2500;
  Ticks(1);
  // The same track can be picked again and then plays from the start.
  EXPECT_EQ(media.opened, (std::vector<std::string>{"one.mp3", "one.mp3"}));
  EXPECT_EQ(media.position, 0);
  EXPECT_EQ(hooks.tagReads.size(), 2u);
  EXPECT_EQ(hooks.resyncs.size(), 2u);
  EXPECT_LE(media.positionQueries, 6);  // at most two position queries a tick
}

TEST_F(PlaybackLoopTest, ALengthOfZeroEndsTheTrackAtTheNextTick) {
  MakeFolders({"empty.mp3", "full.mp3"}, {"1.jpg", "2.jpg", "3.jpg"});
  media.lengths = {{"empty.mp3", 0}, {"full.mp3", 0}};
  Start();
  Ticks(3);
  EXPECT_EQ(media.opened.size(), 4u);
}

TEST_F(PlaybackLoopTest, ATickBeforeTheWindowIsShownPicksNothing) {
  MakeFolders({"one.mp3", "two.mp3"}, {"1.jpg", "2.jpg", "3.jpg"});
  loop.Create(folder.Path());
  loop.Tick();
  EXPECT_TRUE(media.opened.empty());
  EXPECT_EQ(loop.CurrentTrack(), kInitialTrackCaption);
  loop.Show();
  EXPECT_EQ(media.opened.size(), 1u);
}

TEST_F(PlaybackLoopTest, PictureChangesOnEvery51stTick) {
  MakeFolders({"one.mp3"}, {"1.jpg", "2.jpg", "3.jpg"});
  media.lengths = {{"one.mp3", 1000000}};
  Start();
  for (int tick = 1; tick <= 50; ++tick) {
    Ticks(1);
    EXPECT_EQ(loop.SlideBarPosition(), tick);
  }
  EXPECT_EQ(loop.SlideClock(), 5001);
  EXPECT_TRUE(hooks.pictures.empty());
  Ticks(1);
  ASSERT_EQ(hooks.pictures.size(), 1u);
  EXPECT_EQ(loop.CurrentPicture(), hooks.pictures[0]);
  EXPECT_EQ(loop.SlideClock(), 0);
  EXPECT_EQ(loop.SlideTicks(), 0);
  Ticks(50);
  EXPECT_EQ(hooks.pictures.size(), 1u);
  Ticks(1);
  EXPECT_EQ(hooks.pictures.size(), 2u);
}

TEST_F(PlaybackLoopTest, SlideBarToggleHoldsTheBarAtZeroButPicturesGoOn) {
  MakeFolders({"one.mp3"}, {"1.jpg", "2.jpg", "3.jpg"});
  media.lengths = {{"one.mp3", 1000000}};
  Start();
  Ticks(10);
  EXPECT_EQ(loop.SlideBarPosition(), 10);
  loop.ToggleSlideProgress();
  EXPECT_FALSE(loop.ShowSlideProgress());
  Ticks(41);
  EXPECT_EQ(loop.SlideBarPosition(), 0);
  EXPECT_EQ(hooks.pictures.size(), 1u);
  loop.ToggleSlideProgress();
  Ticks(3);
  EXPECT_EQ(loop.SlideBarPosition(), 3);
}

TEST_F(PlaybackLoopTest, OpenLyricEditorKeepsTheLyricButTracksAndTagsChange) {
  MakeFolders({"one.mp3", "two.mp3"}, {"1.jpg", "2.jpg", "3.jpg"});
  media.lengths = {{"one.mp3", 100}, {"two.mp3", 100}};
  Start();
  hooks.editorOpen = true;
  media.position = 100;
  Ticks(1);
  media.position = 100;
  Ticks(1);
  EXPECT_EQ(hooks.resyncs.size(), 1u);
  EXPECT_EQ(hooks.tagReads.size(), 3u);
  EXPECT_EQ(media.opened.size(), 3u);
}

TEST_F(PlaybackLoopTest, FewerThanThreePicturesOpenHelpAndSaySo) {
  MakeFolders({"one.mp3"}, {"1.jpg", "2.jpg"});
  Start();
  EXPECT_EQ(hooks.helpOpened, 1);
  EXPECT_EQ(hooks.reports, std::vector<std::string>{kNeedMorePicturesMessage + folder.Path() + "MarvoyJPG/"});
  EXPECT_EQ(loop.PictureCountText(), "2");  // the count tells the truth, also when too few
  // The slideshow still runs over the pictures there are.
  Ticks(51);
  EXPECT_EQ(hooks.pictures.size(), 1u);
}

TEST_F(PlaybackLoopTest, TheOrderIsTheSameOnEveryStart) {
  MakeFolders({"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"}, {"1.jpg", "2.jpg", "3.jpg", "4.jpg"});
  media.lengths = {{"a.mp3", 0}, {"b.mp3", 0}, {"c.mp3", 0}, {"d.mp3", 0}, {"e.mp3", 0}};
  auto run = [&] {
    viz::platform::SetRandomSeed(0);
    FakeMedia runMedia;
    runMedia.lengths = media.lengths;
    FakeHooks runHooks;
    PlaybackLoop runLoop(runMedia, clock, runHooks);
    runLoop.Create(folder.Path());
    runLoop.Show();
    for (int i = 0; i < 200; ++i) runLoop.Tick();
    std::vector<std::string> order = runMedia.opened;
    order.insert(order.end(), runHooks.pictures.begin(), runHooks.pictures.end());
    return order;
  };
  const std::vector<std::string> first = run();
  EXPECT_GT(first.size(), 200u);
  EXPECT_EQ(first, run());
}

TEST_F(PlaybackLoopTest, EmptyTrackFolderIsReportedOnceAndNothingIsPlayed) {
  MakeFolders({}, {"1.jpg", "2.jpg", "3.jpg"});
  Start();
  Ticks(200);
  EXPECT_TRUE(media.opened.empty());
  EXPECT_EQ(hooks.reports, std::vector<std::string>{kNoTracksMessage + folder.Path() + "MarvoyMP3/"});
  EXPECT_EQ(loop.Mp3Count(), 0);
  EXPECT_EQ(hooks.pictures.size(), 3u);  // the slideshow goes on
}

TEST_F(PlaybackLoopTest, EmptyPictureFolderShowsNoPictureAndDoesNotFail) {
  MakeFolders({"one.mp3"}, {});
  Start();
  Ticks(200);
  EXPECT_TRUE(hooks.pictures.empty());
  EXPECT_EQ(hooks.reports.size(), 1u);  // only the "need more pictures" message
  EXPECT_EQ(loop.CurrentPicture(), kInitialPictureCaption);
}

TEST_F(PlaybackLoopTest, ATrackThatFailsIsReportedOnceAndTheNextPickFollows) {
  MakeFolders({"bad.mp3", "good.mp3"}, {"1.jpg", "2.jpg", "3.jpg"});
  media.failing = {"bad.mp3"};
  media.lengths = {{"good.mp3", 0}};
  Start();
  Ticks(40);
  int badAttempts = 0;
  for (const std::string& path : hooks.tagReads) badAttempts += BaseName(path) == "bad.mp3";
  EXPECT_GE(badAttempts, 2);  // picked again later, but not reported again
  ASSERT_EQ(hooks.reports.size(), 1u);
  EXPECT_NE(hooks.reports[0].find("bad.mp3"), std::string::npos);
  // Playing goes on: the good track is opened again and again (length 0).
  EXPECT_GT(media.opened.size(), 10u);
}

TEST_F(PlaybackLoopTest, AFailedOpenDoesNotLeaveTheLoopWaitingOnTheOldLength) {
  MakeFolders({"a.mp3", "b.mp3"}, {"1.jpg", "2.jpg", "3.jpg"});
  media.lengths = {{"a.mp3", 5000}, {"b.mp3", 5000}};
  Start();
  const std::string first = loop.CurrentTrack();
  media.failing = {"a.mp3", "b.mp3"};
  media.position = 5000;
  Ticks(1);  // end of track; the next open fails
  EXPECT_EQ(loop.ProgressMaximum(), 0);
  media.failing = {};
  Ticks(1);  // no device is open, yet the loop goes on with the next pick
  EXPECT_EQ(media.opened.size(), 2u);
  EXPECT_TRUE(media.playing);
}

TEST_F(PlaybackLoopTest, WhenEveryTrackFailsThePlayerSaysSoAndRests) {
  MakeFolders({"a.mp3", "b.mp3", "c.mp3"}, {"1.jpg", "2.jpg", "3.jpg"});
  media.failing = {"a.mp3", "b.mp3", "c.mp3"};
  Start();
  Ticks(100);
  const std::vector<std::string> reported = hooks.reports;
  // Three files reported once each, then one message that none can be played.
  ASSERT_EQ(reported.size(), 4u);
  EXPECT_EQ(reported.back(), kNoTrackPlaysMessage + folder.Path() + "MarvoyMP3/");
  const size_t tagReadsWhileRested = hooks.tagReads.size();
  Ticks(300);  // 30 s of rest: no more attempts
  EXPECT_EQ(hooks.tagReads.size(), tagReadsWhileRested);
  media.failing = {"a.mp3"};
  media.lengths = {{"b.mp3", 1000000}, {"c.mp3", 1000000}};
  clock.now += kRetryPauseMs;
  Ticks(30);
  EXPECT_FALSE(media.opened.empty());
  EXPECT_TRUE(media.playing);
  EXPECT_EQ(hooks.reports.size(), 4u);  // nothing said twice
}

TEST_F(PlaybackLoopTest, APictureThatFailsIsSkippedAndReportedOnce) {
  MakeFolders({"one.mp3"}, {"bad.jpg", "good1.jpg", "good2.jpg"});
  media.lengths = {{"one.mp3", 1000000}};
  hooks.failingPictures = {"bad.jpg"};
  Start();
  // The caption never names the picture that failed: it stays with the one still shown.
  for (int i = 0; i < 51 * 20; ++i) {
    Ticks(1);
    ASSERT_NE(loop.CurrentPicture(), "bad.jpg") << "tick " << i;
    if (!hooks.pictures.empty()) {
      ASSERT_EQ(loop.CurrentPicture(), hooks.pictures.back());
    }
  }
  EXPECT_GE(hooks.pictures.size(), 18u);
  for (const std::string& name : hooks.pictures) EXPECT_NE(name, "bad.jpg");
  ASSERT_EQ(hooks.reports.size(), 1u);
  EXPECT_NE(hooks.reports[0].find("bad.jpg"), std::string::npos);
}

TEST_F(PlaybackLoopTest, WhenEveryPictureFailsTheSlideshowRests) {
  MakeFolders({"one.mp3"}, {"a.jpg", "b.jpg", "c.jpg"});
  media.lengths = {{"one.mp3", 1000000}};
  hooks.failingPictures = {"a.jpg", "b.jpg", "c.jpg"};
  Start();
  Ticks(51 * 10);
  EXPECT_TRUE(hooks.pictures.empty());
  EXPECT_EQ(hooks.reports.size(), 4u);
  EXPECT_EQ(hooks.reports.back(), kNoPictureLoadsMessage + folder.Path() + "MarvoyJPG/");
  hooks.failingPictures = {};
  clock.now += kRetryPauseMs;
  Ticks(102);
  EXPECT_FALSE(hooks.pictures.empty());
}

TEST_F(PlaybackLoopTest, TheManualPlayStartsATrackAsEveryOtherPathDoes) {
  MakeFolders({"a.mp3", "b.mp3", "c.mp3"}, {"1.jpg", "2.jpg", "3.jpg"});
  media.lengths = {{"a.mp3", 100000}, {"b.mp3", 100000}, {"c.mp3", 100000}};
  Start();
  while (loop.CurrentTrack() == media.opened.back()) loop.PickRandomTrack();
  EXPECT_EQ(hooks.tagReads.size(), 1u);  // a pick alone starts nothing
  ASSERT_TRUE(loop.PlayCurrentTrack());
  EXPECT_EQ(media.opened.back(), loop.CurrentTrack());
  EXPECT_EQ(hooks.tagReads.back(), loop.CurrentTrackPath());
  EXPECT_EQ(hooks.resyncs.back(), loop.CurrentTrack());
  EXPECT_EQ(loop.State(), PlayState::Playing);
  hooks.editorOpen = true;  // an open lyric editor keeps its lyric here too
  loop.PlayCurrentTrack();
  EXPECT_EQ(hooks.resyncs.size(), 2u);
  EXPECT_EQ(hooks.tagReads.size(), 3u);
}

TEST_F(PlaybackLoopTest, TheStateCaptionTellsWhatPlays) {
  MakeFolders({"a.mp3", "bad.mp3"}, {"1.jpg", "2.jpg", "3.jpg"});
  media.lengths = {{"a.mp3", 100000}};
  loop.Create(folder.Path());
  EXPECT_EQ(loop.State(), PlayState::Stopped);  // nothing plays before the show step
  media.failing = {"a.mp3", "bad.mp3"};
  loop.Show();
  EXPECT_EQ(loop.State(), PlayState::Failed);
  media.failing = {};
  Ticks(1);
  EXPECT_EQ(loop.State(), PlayState::Playing);
  const std::vector<std::pair<void (PlaybackLoop::*)(), PlayState>> steps = {
      {&PlaybackLoop::Pause, PlayState::Paused},
      {&PlaybackLoop::Resume, PlayState::Playing},
      {&PlaybackLoop::StopPlaying, PlayState::Stopped},
      {&PlaybackLoop::Resume, PlayState::Playing}};
  for (const auto& [step, state] : steps) {
    (loop.*step)();
    EXPECT_EQ(loop.State(), state);
    EXPECT_EQ(media.playing, state == PlayState::Playing);
  }
  EXPECT_STREQ(PlayStateCaption(PlayState::Playing), "Playing");
  EXPECT_STREQ(PlayStateCaption(PlayState::Paused), "Paused");
  EXPECT_STREQ(PlayStateCaption(PlayState::Stopped), "Stopped");
  EXPECT_STREQ(PlayStateCaption(PlayState::Failed), "Cannot play");
  EXPECT_STREQ(PlayStateCaption(PlayState::NoTracks), "No MP3 file");

  FakeMedia idle;
  PlaybackLoop empty(idle, clock, hooks);
  TempFolder none;
  empty.Create(none.Path());
  empty.Show();
  EXPECT_EQ(empty.State(), PlayState::NoTracks);
  empty.Resume();  // nothing open: the play button cannot make it play
  EXPECT_EQ(empty.State(), PlayState::NoTracks);
}

}  // namespace
}  // namespace sonvale
