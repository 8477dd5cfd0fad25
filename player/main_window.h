// The main window: the picture side on the left, track title, lyric area, tag boxes on the right,
// the hidden manual panel, the help panel and the 100 ms timer that drives the playback loop.
#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "player/fitted_text.h"
#include "player/lyric_store.h"
#include "player/media_device.h"
#include "player/playback_loop.h"

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;

namespace viz::ui {
class TDBEdit;
class TDBGrid;
class TDBMemo;
class TDBNavigator;
}  // namespace viz::ui

namespace sonvale {

class MessageBoard;
class PictureBox;

//! Opens a web address in the system's browser; returns false when it could not.
using UrlOpener = std::function<bool(const std::string& address)>;

class TfrmMain : public QWidget, private LoopHooks {
  Q_OBJECT

 public:
  //! `appFolder` is the folder holding MarvoyMP3/ and MarvoyJPG/, ending with '/'. The lyrics are
  //! opened first, before the folder scan; when they cannot be, that is reported once and the
  //! window plays without them.
  TfrmMain(const std::string& appFolder, MediaDevice& media, Clock& clock, LyricStore& lyrics,
           UrlOpener openUrl, QWidget* parent = nullptr);
  ~TfrmMain() override;

  PlaybackLoop& Loop() { return loop_; }
  //! Every message the window has reported, oldest first (kept for the last 100).
  const std::vector<std::string>& Reports() const { return reports_; }
  //! When false, reports are only recorded, not shown in the message box (tests).
  void SetShowReports(bool show) { showReports_ = show; }
  //! The window's one message box: open while there are messages to read.
  MessageBoard& Messages() { return *messages_; }

  // Actions of the window's buttons and boxes, callable directly.
  void ToggleHelp();
  void ToggleLyricEditor();
  void RunWebSearch();
  void ToggleCodeBox();
  void CheckCode();
  void CheckFileName();
  void MediaButton(const QString& button);

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // LoopHooks
  bool LyricEditorOpen() override;
  void LyricResync(const std::string& trackName) override;
  void TagRefresh(const std::string& path) override;
  void ShowPicture(const std::string& path) override;
  void OpenHelp() override;
  void Report(const std::string& message, bool isError) override;

  void OpenLyrics();
  void BuildPhotoSide();
  void BuildLyricSide();
  void BuildManualPanel();
  void BuildHelpPanel();
  void LayOutSearchStrip();
  void PlaceSidePanels();
  void CloseHelp();
  void SyncFromLoop();
  void OnTick();
  void OpenLink(const char* address);

  MediaDevice& media_;
  LyricStore& lyrics_;
  UrlOpener openUrl_;
  PlaybackLoop loop_;
  std::vector<std::string> reports_;
  bool showReports_ = true;
  MessageBoard* messages_ = nullptr;
  bool shownOnce_ = false;
  //! Why the lyrics are unavailable; empty when they opened.
  std::string lyricsProblem_;

 public:
  // The window's controls, named as the user-facing design names them.
  QWidget* pnlPhotos = nullptr;
  FittedLabel* txtFileNameJPG = nullptr;
  PictureBox* Image1 = nullptr;
  QProgressBar* ProgressJPG = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QLabel* lblJPGcount = nullptr;
  FittedLabel* txtFolderPhoto = nullptr;
  QPushButton* bbtHelp = nullptr;

  QWidget* pnlLyrics = nullptr;
  QFrame* Panel1 = nullptr;
  QLabel* lblPanel1Caption = nullptr;
  FittedLabel* txtFileName = nullptr;
  QProgressBar* Progress = nullptr;
  QWidget* pnlEditLyric = nullptr;
  viz::ui::TDBGrid* DBGrid1 = nullptr;
  viz::ui::TDBNavigator* DBNavigator1 = nullptr;
  QLabel* Label10 = nullptr;
  QWidget* pnlGoogle = nullptr;
  QLineEdit* edtAsk = nullptr;
  QPushButton* btnGoogle = nullptr;
  QLabel* lblFileName = nullptr;
  viz::ui::TDBEdit* dbeFileName = nullptr;
  viz::ui::TDBMemo* dbeTheLyric = nullptr;
  QWidget* pnlBottom = nullptr;
  QPushButton* bbtLyric = nullptr;
  FittedLabel* txtFolder = nullptr;
  QLabel* lblMP3count = nullptr;
  QLineEdit* edtPass = nullptr;
  QGroupBox* grpTag = nullptr;
  QLineEdit* edGenre = nullptr;
  QLineEdit* edAlbum = nullptr;
  QLineEdit* edYear = nullptr;
  QLineEdit* edArtist = nullptr;
  QLineEdit* edComment = nullptr;

  QFrame* pnlPlayMP3 = nullptr;
  QWidget* mp3player = nullptr;
  QListWidget* mp3List = nullptr;
  QPushButton* btnRandom = nullptr;
  QPushButton* btnSonvalePlay = nullptr;
  QLineEdit* edTitle = nullptr;
  QPushButton* btnInsertBlankMemo = nullptr;

  QFrame* pnlPhoto = nullptr;
  QListWidget* JPGlistBox = nullptr;
  QPushButton* Button2 = nullptr;

  QFrame* pnlHelp = nullptr;
  QPushButton* BitBtn6 = nullptr;
  QPushButton* BitBtn2 = nullptr;
  QPushButton* BitBtn3 = nullptr;
  QPushButton* BitBtn1 = nullptr;
  QPushButton* BitBtn7 = nullptr;
  QPushButton* BitBtn4 = nullptr;

  QTimer* ProgresTimer = nullptr;
};

}  // namespace sonvale
