// The real window, offscreen, with the real media device on SDL's silent driver and the demo folder.
#include "player/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <functional>
#include <set>

#include "engine/platform/random.h"
#include "player/audio_device.h"
#include "player/id3v1.h"
#include "player/picture_box.h"
#include "player/player_test_support.h"

namespace sonvale {
namespace {

// Counts the tracks opened on the way to the real device.
class CountingMedia : public MediaDevice {
 public:
  explicit CountingMedia(MediaDevice& inner) : inner_(inner) {}
  void Open(const std::string& path) override {
    inner_.Open(path);
    opened.push_back(path);
  }
  int64_t Length() override { return inner_.Length(); }
  int64_t Position() override { return inner_.Position(); }
  void Play() override { inner_.Play(); }
  void Stop() override { inner_.Stop(); }
  void Seek(int64_t ms) override { inner_.Seek(ms); }
  void Close() override { inner_.Close(); }
  bool IsOpen() const override { return inner_.IsOpen(); }
  std::vector<std::string> opened;

 private:
  MediaDevice& inner_;
};

// Runs the event loop until `done` holds or `seconds` pass.
bool WaitFor(const std::function<bool()>& done, int seconds) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < seconds * 1000) QApplication::processEvents(QEventLoop::AllEvents, 50);
  return done();
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { viz::platform::SetRandomSeed(0); }

  SystemClock clock;
  AudioMediaDevice device{clock};
  CountingMedia media{device};
  NoLyricStore lyrics;
  std::vector<std::string> opened;
  std::unique_ptr<TfrmMain> window;

  void Open(const std::string& folder) {
    window = std::make_unique<TfrmMain>(folder, media, clock, lyrics, [this](const std::string& address) {
      opened.push_back(address);
      return true;
    });
    window->SetShowReports(false);
    window->show();
  }
};

TEST_F(MainWindowTest, PlaysTheDemoFolderChangingTracksAndPictures) {
  Open(SONVALE_DEMO_FOLDER);
  EXPECT_EQ(window->windowTitle(), "Marvoy Player");
  EXPECT_EQ(window->size(), QSize(950, 667));
  EXPECT_EQ(window->lblMP3count->text(), "4");
  EXPECT_EQ(window->lblJPGcount->text(), "4");
  EXPECT_EQ(window->txtFolder->text().toStdString(), std::string(SONVALE_DEMO_FOLDER) + "MarvoyMP3/");
  ASSERT_EQ(media.opened.size(), 1u);
  // The tag boxes show the first track's tag.
  const TagTexts tag = ReadTag(media.opened[0]);
  EXPECT_EQ(window->edArtist->text().toStdString(), tag.artist);
  EXPECT_EQ(window->edGenre->text().toStdString(), tag.genre);
  EXPECT_EQ(window->edTitle->text().toStdString(), tag.title);
  EXPECT_EQ(window->txtFileNameJPG->text(), "File *.JPG Name");
  QApplication::processEvents();
  EXPECT_EQ(window->pnlPhotos->width(), 590);

  // The first picture comes after about 5.1 s, the second track after the first one's length.
  const QImage builtIn = window->Image1->Image();
  ASSERT_TRUE(WaitFor([&] { return media.opened.size() >= 2 && window->Image1->Image() != builtIn; }, 25));
  EXPECT_NE(window->txtFileNameJPG->text(), "File *.JPG Name");
  EXPECT_FALSE(window->Image1->Image().isNull());
  EXPECT_GT(window->Progress->maximum(), 1);
  EXPECT_TRUE(window->Reports().empty()) << window->Reports().front();
  const std::string shownTrack = window->txtFileName->text().toStdString();
  EXPECT_EQ(window->Loop().CurrentTrack(), shownTrack);

  window->resize(800, 600);
  QApplication::processEvents();
  EXPECT_EQ(window->pnlPhotos->width(), 500);
}

TEST_F(MainWindowTest, CodeBoxHelpPanelAndWebSearch) {
  Open(SONVALE_DEMO_FOLDER);
  // The code box opens on a double-click of the track count and checks the code as it loses the focus.
  EXPECT_FALSE(window->edtPass->isVisible());
  window->ToggleCodeBox();
  EXPECT_TRUE(window->edtPass->isVisible());
  window->edtPass->setText("  ZUMA ");
  window->CheckCode();
  EXPECT_FALSE(window->edtPass->isVisible());
  EXPECT_TRUE(window->pnlPlayMP3->isVisible());
  EXPECT_EQ(window->edtPass->text(), "  ZUMA ");  // the text stays
  window->ToggleCodeBox();
  window->edtPass->setText("zuma");
  window->CheckCode();
  EXPECT_FALSE(window->pnlPlayMP3->isVisible());

  // Help: opens with the search text set, disables its own button, and closes with its close button.
  window->ToggleHelp();
  EXPECT_TRUE(window->pnlHelp->isVisible());
  EXPECT_FALSE(window->bbtHelp->isEnabled());
  EXPECT_EQ(window->pnlHelp->x(), (window->width() / 8) * 2);
  EXPECT_EQ(window->pnlHelp->size(), QSize(493, 546));
  EXPECT_EQ(window->edtAsk->text(), "lyric " + window->txtFileName->text());
  window->BitBtn6->click();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].rfind("https://", 0), 0u);
  window->BitBtn4->click();
  EXPECT_FALSE(window->pnlHelp->isVisible());
  EXPECT_TRUE(window->bbtHelp->isEnabled());

  // The lyric editor sets the search box from the track name; the search goes out as typed.
  window->ToggleLyricEditor();
  EXPECT_TRUE(window->pnlEditLyric->isVisible());
  std::string name = window->txtFileName->text().toStdString();
  EXPECT_EQ(window->edtAsk->text().toStdString(), "Lyric \"" + name.substr(0, name.size() - 4) + "\"");
  QApplication::processEvents();
  EXPECT_EQ(window->edtAsk->width(), window->pnlGoogle->width() / 2);
  EXPECT_EQ(window->btnGoogle->x(), window->edtAsk->width() + 2);
  window->btnGoogle->click();
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_NE(opened[1].find("q=Lyric \"" + name.substr(0, name.size() - 4) + "\"&sa=Search&client="),
            std::string::npos);
  window->edtAsk->setText("   ");
  window->RunWebSearch();
  EXPECT_EQ(opened.size(), 2u);
  EXPECT_EQ(window->Reports().back(), "Type anything into the template, what you wont to ask.");
  // The file name editor warns when its name differs from the track's, even only in case.
  window->dbeFileName->setText(QString::fromStdString(name).toUpper());
  window->CheckFileName();
  EXPECT_EQ(window->Reports().back().find("Please make sure, FieldName used for Index\r"), 0u);
  window->ToggleLyricEditor();
  EXPECT_FALSE(window->pnlEditLyric->isVisible());

  // Media control buttons change the title strip's caption.
  window->MediaButton("Pause");
  EXPECT_EQ(window->lblPanel1Caption->text(), "Paused");
  window->MediaButton("Play");
  EXPECT_EQ(window->lblPanel1Caption->text(), "Playing");
}

TEST_F(MainWindowTest, TooFewPicturesOpenHelpAndKeepTheCountAtZero) {
  testing::TempFolder folder;
  const std::string demo = SONVALE_DEMO_FOLDER;
  testing::WriteFile(folder.Path() + "MarvoyMP3/Morning Bells.mp3",
                     testing::ReadFile(demo + "MarvoyMP3/Morning Bells.mp3"));
  testing::WriteFile(folder.Path() + "MarvoyJPG/sunrise.jpg",
                     testing::ReadFile(demo + "MarvoyJPG/sunrise.jpg"));
  testing::WriteFile(folder.Path() + "MarvoyJPG/broken.jpg", "not a picture");
  Open(folder.Path());
  EXPECT_TRUE(window->pnlHelp->isVisible());
  EXPECT_EQ(window->lblJPGcount->text(), "0");
  ASSERT_FALSE(window->Reports().empty());
  EXPECT_EQ(window->Reports().back(), "Need more JPG file in the directory: " + folder.Path() + "MarvoyJPG/");
  EXPECT_EQ(window->edtAsk->text(), "lyric Morning Bells.mp3");
}

}  // namespace
}  // namespace sonvale
