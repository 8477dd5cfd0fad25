// The real window, offscreen, with the real media device on SDL's silent driver and the demo folder.
#include "player/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <cmath>
#include <functional>
#include <set>

#include "engine/platform/random.h"
#include "framework/ui/db_edit.h"
#include "player/audio_device.h"
#include "player/id3v1.h"
#include "player/message_board.h"
#include "player/picture_box.h"
#include "player/player_test_support.h"

namespace sonvale {
namespace {

using testing::CountingMedia;
using testing::WaitFor;

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

TEST_F(MainWindowTest, TooFewPicturesOpenHelpAndTheCountSaysHowMany) {
  testing::TempFolder folder;
  const std::string demo = SONVALE_DEMO_FOLDER;
  testing::WriteFile(folder.Path() + "MarvoyMP3/Morning Bells.mp3",
                     testing::ReadFile(demo + "MarvoyMP3/Morning Bells.mp3"));
  testing::WriteFile(folder.Path() + "MarvoyJPG/sunrise.jpg",
                     testing::ReadFile(demo + "MarvoyJPG/sunrise.jpg"));
  testing::WriteFile(folder.Path() + "MarvoyJPG/broken.jpg", "not a picture");
  Open(folder.Path());
  EXPECT_TRUE(window->pnlHelp->isVisible());
  EXPECT_EQ(window->lblJPGcount->text(), "2");
  ASSERT_FALSE(window->Reports().empty());
  EXPECT_EQ(window->Reports().back(), "Need more JPG file in the directory: " + folder.Path() + "MarvoyJPG/");
  EXPECT_EQ(window->edtAsk->text(), "lyric Morning Bells.mp3");
}

// Contrast ratio of two colours as the eye sees it: 1 (none) to 21 (black on white).
double Contrast(const QColor& a, const QColor& b) {
  auto luminance = [](const QColor& c) {
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
  };
  const double la = luminance(a) + 0.05;
  const double lb = luminance(b) + 0.05;
  return std::max(la, lb) / std::min(la, lb);
}

TEST_F(MainWindowTest, TheCodeBoxReplacesItsTextAndWorksAgainAndAgain) {
  Open(SONVALE_DEMO_FOLDER);
  for (bool panelAfter : {true, false, true}) {
    window->ToggleCodeBox();
    ASSERT_TRUE(window->edtPass->isVisible());
    EXPECT_EQ(window->edtPass->selectedText(), window->edtPass->text());  // all of the old code
    QTest::keyClicks(window->edtPass, "ZUMA");
    EXPECT_EQ(window->edtPass->text(), "ZUMA");
    QTest::keyClick(window->edtPass, Qt::Key_Return);  // Enter checks the code as leaving the box does
    EXPECT_FALSE(window->edtPass->isVisible());
    EXPECT_EQ(window->pnlPlayMP3->isVisible(), panelAfter);
  }
}

TEST_F(MainWindowTest, InASmallWindowTheHelpPanelFitsAndEscapeClosesIt) {
  Open(SONVALE_DEMO_FOLDER);
  window->resize(480, 400);
  QApplication::processEvents();
  ASSERT_EQ(window->size(), QSize(480, 400));
  window->ToggleHelp();
  QApplication::processEvents();
  const QRect inside = window->rect();
  EXPECT_TRUE(inside.contains(window->pnlHelp->geometry())) << window->pnlHelp->geometry().width();
  for (QWidget* button : {window->BitBtn4, window->BitBtn7, window->BitBtn6, window->BitBtn2}) {
    const QRect place(button->mapTo(window.get(), QPoint(0, 0)), button->size());
    EXPECT_TRUE(inside.contains(place)) << button->objectName().toStdString();
    EXPECT_TRUE(button->isVisible() && button->height() > 10) << button->objectName().toStdString();
  }
  EXPECT_GT(window->pnlHelp->findChild<QPlainTextEdit*>("memHelp")->height(), 30);
  EXPECT_FALSE(window->BitBtn2->text().isEmpty());
  QTest::keyClick(window->edtAsk, Qt::Key_Escape);
  EXPECT_FALSE(window->pnlHelp->isVisible());
  EXPECT_TRUE(window->bbtHelp->isEnabled());
  // Back in a large window the panel has its own size again.
  window->resize(950, 667);
  window->ToggleHelp();
  EXPECT_EQ(window->pnlHelp->geometry(), QRect(236, 48, 493, 546));
}

TEST_F(MainWindowTest, RandomThenPlayShowsTheNewTrackTagAndCaption) {
  Open(SONVALE_DEMO_FOLDER);
  window->MediaButton("Pause");
  EXPECT_EQ(window->lblPanel1Caption->text(), "Paused");
  const std::string before = window->txtFileName->text().toStdString();
  while (window->txtFileName->text().toStdString() == before) window->btnRandom->click();
  window->btnSonvalePlay->click();
  const TagTexts tag = ReadTag(media.opened.back());
  EXPECT_EQ(media.opened.back(), window->Loop().CurrentTrackPath());
  EXPECT_EQ(window->edTitle->text().toStdString(), tag.title);
  EXPECT_EQ(window->edArtist->text().toStdString(), tag.artist);
  EXPECT_EQ(window->edComment->text().toStdString(), tag.comment);
  EXPECT_EQ(window->lblPanel1Caption->text(), "Playing");
  window->MediaButton("Stop");
  EXPECT_EQ(window->lblPanel1Caption->text(), "Stopped");
}

TEST_F(MainWindowTest, TagBoxesReadInNormalContrastAndShowTheirStart) {
  testing::TempFolder folder;
  testing::WriteFile(folder.Path() + "MarvoyMP3/no tag.mp3", std::string(200, 'x'));
  Open(folder.Path());
  window->resize(480, 400);
  QApplication::processEvents();
  EXPECT_TRUE(window->grpTag->isEnabled());
  for (QLineEdit* box :
       {window->edGenre, window->edAlbum, window->edYear, window->edArtist, window->edComment}) {
    EXPECT_TRUE(box->isReadOnly());
    EXPECT_TRUE(box->isEnabled());
    const QPalette::ColorGroup group = box->isEnabled() ? QPalette::Active : QPalette::Disabled;
    EXPECT_GE(
        Contrast(box->palette().color(group, QPalette::Text), box->palette().color(group, QPalette::Base)),
        4.5);
    EXPECT_EQ(box->text(), "Wrong or no ID3 tag information");
    EXPECT_EQ(box->cursorPosition(), 0);  // the start shows, not the end
    EXPECT_EQ(box->toolTip(), box->text());
  }
  // A track name longer than its strip shows its start and is whole in the tool tip.
  const QString name = "A very long track name that cannot fit into the narrow title strip.mp3";
  window->txtFileName->SetText(name);
  EXPECT_TRUE(window->txtFileName->ShownText().startsWith("A very"));
  EXPECT_TRUE(window->txtFileName->ShownText().endsWith(QChar(0x2026)));
  EXPECT_EQ(window->txtFileName->toolTip(), name);
  window->txtFileName->SetText("x.mp3");
  EXPECT_EQ(window->txtFileName->ShownText(), "x.mp3");
  // No track plays: the caption says so.
  EXPECT_EQ(window->lblPanel1Caption->text(), "Cannot play");
}

TEST_F(MainWindowTest, EmptyFolderSaysNoMp3File) {
  testing::TempFolder folder;
  Open(folder.Path());
  EXPECT_EQ(window->lblPanel1Caption->text(), "No MP3 file");
  EXPECT_EQ(window->lblMP3count->text(), "0");
}

TEST_F(MainWindowTest, FailuresShareOneMessageThatDoesNotBlock) {
  testing::TempFolder folder;
  const std::string demo = SONVALE_DEMO_FOLDER;
  for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) {
    testing::WriteFile(folder.Path() + "MarvoyMP3/" + name, "not an mp3 file");
  }
  for (const char* name : {"sunrise.jpg", "Lagoon.JPG", "phone photo.jpg"}) {
    testing::WriteFile(folder.Path() + "MarvoyJPG/" + name, testing::ReadFile(demo + "MarvoyJPG/" + name));
  }
  Open(folder.Path());
  window->SetShowReports(true);  // only the first failure came before this
  ASSERT_TRUE(WaitFor([&] { return window->Reports().size() >= 4; }, 10));
  int boxes = 0;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    boxes += qobject_cast<QMessageBox*>(widget) != nullptr && widget->isVisible();
  }
  EXPECT_EQ(boxes, 1);
  QMessageBox* box = window->Messages().Box();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->windowModality(), Qt::NonModal);
  for (size_t i = 1; i < window->Reports().size(); ++i) {
    EXPECT_TRUE(box->text().contains(QString::fromStdString(window->Reports()[i]))) << window->Reports()[i];
  }
}

TEST(MessageBoardTest, OneBoxCollectsMessagesAndClosesByItself) {
  QWidget window;
  window.setWindowTitle("Marvoy Player");
  MessageBoard board(&window, 300);
  board.Add("before the window is up", false);  // waits for the window, then closes unseen
  EXPECT_NE(board.Box(), nullptr);
  EXPECT_FALSE(board.Box()->isVisible());
  EXPECT_TRUE(WaitFor([&] { return board.Box() == nullptr; }, 5));
  window.show();
  for (int i = 0; i < 3; ++i) board.Add(QString("failure %1").arg(i), i == 1);
  ASSERT_NE(board.Box(), nullptr);
  EXPECT_EQ(board.Box()->text(), "failure 0\n\nfailure 1\n\nfailure 2");
  EXPECT_EQ(board.Box()->icon(), QMessageBox::Critical);
  EXPECT_EQ(board.Box()->windowTitle(), "Marvoy Player");
  EXPECT_TRUE(WaitFor([&] { return board.Box() == nullptr; }, 5));
  // The next message opens a fresh box; a long run of failures is counted, not listed.
  for (int i = 0; i < MessageBoard::kMaxListed + 5; ++i) board.Add("again", false);
  ASSERT_NE(board.Box(), nullptr);
  EXPECT_EQ(board.Box()->icon(), QMessageBox::Information);
  EXPECT_TRUE(board.Text().startsWith("again\n\n"));
  EXPECT_TRUE(board.Text().endsWith("(5 more)"));
  board.Box()->button(QMessageBox::Ok)->click();  // OK closes it at once
  EXPECT_EQ(board.Box(), nullptr);
}

}  // namespace
}  // namespace sonvale
