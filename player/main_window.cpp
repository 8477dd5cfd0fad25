#include "player/main_window.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "framework/ui/vizdb_ui.h"
#include "player/event_trace.h"
#include "player/fitted_text.h"
#include "player/help_content.h"
#include "player/id3v1.h"
#include "player/jpeg_loader.h"
#include "player/lyric_database.h"
#include "player/message_board.h"
#include "player/panel_rules.h"
#include "player/picture_box.h"
#include "player/text_util.h"
#include "tools/lyrics/lyric_file.h"

namespace sonvale {

namespace {

constexpr int kMaxReportsKept = 100;
// A message nobody answers goes away by itself, so that an unattended screen stays clear.
constexpr int kMessageCloseMs = 30000;

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}
std::string S(const QString& text) {
  return text.toStdString();
}

// A title strip label: blue, large, centred, sunken.
FittedLabel* TitleLabel(const QString& text, QWidget* parent) {
  auto* label = new FittedLabel(text, parent);
  label->setAlignment(Qt::AlignCenter);
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  QFont font = label->font();
  font.setPointSize(14);
  font.setBold(true);
  label->setFont(font);
  QPalette colours = label->palette();
  colours.setColor(QPalette::WindowText, QColor(0, 0, 255));
  label->setPalette(colours);
  label->setMinimumHeight(34);
  // Long names must not widen the window; they are cut at their end, at the strip's edge.
  label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  return label;
}

QProgressBar* VerticalBar(QWidget* parent) {
  auto* bar = new QProgressBar(parent);
  bar->setOrientation(Qt::Vertical);
  bar->setTextVisible(false);
  bar->setRange(0, 1);
  bar->setValue(0);
  bar->setFixedWidth(16);
  return bar;
}

// A box that shows a text to read, not to edit: read-only, in the normal colours.
QLineEdit* TagBox(QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setReadOnly(true);
  // Out of the tab order: a click still gives the focus, for copying a text.
  box->setFocusPolicy(Qt::ClickFocus);
  return box;
}

// A label for a folder path: its start is what tells the folder apart.
FittedLabel* PathLabel(QWidget* parent) {
  auto* label = new FittedLabel(QString(), parent);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  return label;
}

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

// A Windows-style line break in a message becomes one the toolkit understands.
QString MessageText(const std::string& message) {
  QString text = Q(message);
  text.replace("\r\n", "\n");
  text.replace('\r', '\n');
  return text;
}

}  // namespace

TfrmMain::TfrmMain(const std::string& appFolder, MediaDevice& media, Clock& clock, LyricStore& lyrics,
                   UrlOpener openUrl, QWidget* parent)
    : QWidget(parent),
      media_(media),
      lyrics_(lyrics),
      openUrl_(std::move(openUrl)),
      loop_(media, clock, *this) {
  setObjectName("frmMain");
  setWindowTitle("Marvoy Player");
  QFont windowFont("MS Sans Serif");
  windowFont.setStyleHint(QFont::SansSerif);
  windowFont.setPointSize(9);
  setFont(windowFont);
  // Loading the window connects the lyrics file before anything else.
  OpenLyrics();

  // The two sides are placed by resizeEvent: the picture side takes its share of the width and
  // the lyric side the rest, as a left-aligned panel beside a client panel would.
  BuildPhotoSide();
  BuildLyricSide();
  setMinimumSize(480, 400);
  BuildManualPanel();
  BuildHelpPanel();
  messages_ = new MessageBoard(this, kMessageCloseMs);
  // What the data-aware controls cannot do (a post refused, a locked record) goes to the window's
  // one message box too.
  viz::ui::SetErrorReporter([this](QWidget*, const QString& message) { Report(S(message), true); });
  viz::ui::InstallApplicationErrorHandler();
  if (!lyricsProblem_.empty()) Report(lyricsProblem_, true);

  // Window creation: the folder scan.
  loop_.Create(appFolder);
  txtFolder->SetText(Q(loop_.TrackFolder()));
  txtFolderPhoto->SetText(Q(loop_.PictureFolder()));
  for (const std::string& name : loop_.Tracks()) mp3List->addItem(Q(name));
  for (const std::string& name : loop_.Pictures()) JPGlistBox->addItem(Q(name));
  ProgressJPG->setRange(0, kSlideBarMaximum);
  SyncFromLoop();

  ProgresTimer = new QTimer(this);
  ProgresTimer->setObjectName("ProgresTimer");
  ProgresTimer->setInterval(kTickMs);
  connect(ProgresTimer, &QTimer::timeout, this, [this] { OnTick(); });
  ProgresTimer->start();

  resize(kWindowWidth, kWindowHeight);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

TfrmMain::~TfrmMain() {
  ProgresTimer->stop();
  media_.Close();
  // While the controls still exist: a lyric typed into the memo goes into its record.
  try {
    lyrics_.Close();
  } catch (const std::exception& error) {
    TraceEvent(std::string("error: ") + error.what());
  }
  viz::ui::SetErrorReporter({});
}

void TfrmMain::OpenLyrics() {
  try {
    lyrics_.Open();
  } catch (const std::exception& error) {
    lyricsProblem_ = LyricsUnavailableMessage(lyrics_.FileName(), error.what());
  }
}

void TfrmMain::BuildPhotoSide() {
  pnlPhotos = Named(new QWidget(this), "pnlPhotos");
  auto* column = new QVBoxLayout(pnlPhotos);
  column->setContentsMargins(4, 4, 4, 4);
  column->setSpacing(4);
  txtFileNameJPG = Named(TitleLabel(kInitialPictureCaption, pnlPhotos), "txtFileNameJPG");
  column->addWidget(txtFileNameJPG);

  auto* middle = new QHBoxLayout();
  middle->setSpacing(4);
  auto* strip = new QVBoxLayout();
  strip->setSpacing(2);
  ProgressJPG = Named(VerticalBar(pnlPhotos), "ProgressJPG");
  SpeedButton1 = Named(new QToolButton(pnlPhotos), "SpeedButton1");
  SpeedButton1->setFixedSize(16, 16);
  SpeedButton1->setToolTip("Show or hide the picture bar");
  connect(SpeedButton1, &QToolButton::clicked, this, [this] {
    loop_.ToggleSlideProgress();
    SyncFromLoop();
  });
  strip->addWidget(ProgressJPG, 1);
  strip->addWidget(SpeedButton1);
  middle->addLayout(strip);
  Image1 = Named(new PictureBox(pnlPhotos), "Image1");
  Image1->SetImage(BuiltInPicture(QSize(640, 480)));
  middle->addWidget(Image1, 1);
  column->addLayout(middle, 1);

  auto* bottom = new QHBoxLayout();
  lblJPGcount = Named(new QLabel("0", pnlPhotos), "lblJPGcount");
  txtFolderPhoto = Named(PathLabel(pnlPhotos), "txtFolderPhoto");
  bbtHelp = Named(new QPushButton("Help", pnlPhotos), "bbtHelp");
  bbtHelp->setIcon(style()->standardIcon(QStyle::SP_MessageBoxQuestion));
  bbtHelp->setToolTip("Sonvale Help");
  connect(bbtHelp, &QPushButton::clicked, this, [this] { ToggleHelp(); });
  bottom->addWidget(lblJPGcount);
  bottom->addWidget(new QLabel(" files in ", pnlPhotos));
  bottom->addWidget(txtFolderPhoto, 1);
  bottom->addWidget(bbtHelp);
  column->addLayout(bottom);
}

void TfrmMain::BuildLyricSide() {
  pnlLyrics = Named(new QWidget(this), "pnlLyrics");
  auto* column = new QVBoxLayout(pnlLyrics);
  column->setContentsMargins(0, 4, 4, 4);
  column->setSpacing(4);

  Panel1 = Named(new QFrame(pnlLyrics), "Panel1");
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  auto* title = new QVBoxLayout(Panel1);
  title->setContentsMargins(2, 2, 2, 2);
  title->setSpacing(2);
  lblPanel1Caption = Named(new QLabel(Panel1), "lblPanel1Caption");
  lblPanel1Caption->setAlignment(Qt::AlignCenter);
  txtFileName = Named(TitleLabel(kInitialTrackCaption, Panel1), "txtFileName");
  title->addWidget(lblPanel1Caption);
  title->addWidget(txtFileName);
  column->addWidget(Panel1);

  auto* middle = new QHBoxLayout();
  middle->setSpacing(4);
  auto* lyricArea = new QVBoxLayout();
  lyricArea->setSpacing(4);
  pnlEditLyric = Named(new QWidget(pnlLyrics), "pnlEditLyric");
  auto* editor = new QVBoxLayout(pnlEditLyric);
  editor->setContentsMargins(0, 0, 0, 0);
  editor->setSpacing(2);
  viz::TDataSource* source = lyrics_.Available() ? lyrics_.DataSource() : nullptr;
  auto* bar = new QHBoxLayout();
  DBNavigator1 = Named(new viz::ui::TDBNavigator(pnlEditLyric), "DBNavigator1");
  DBNavigator1->SetShowHint(true);
  DBNavigator1->SetDataSource(source);
  Label10 = Named(new QLabel("LYRIC.SVL attribut file must be Archive", pnlEditLyric), "Label10");
  bar->addWidget(DBNavigator1);
  bar->addStretch(1);
  editor->addLayout(bar);
  editor->addWidget(Label10);
  DBGrid1 = Named(new viz::ui::TDBGrid(pnlEditLyric), "DBGrid1");
  DBGrid1->SetDataSource(source);
  DBGrid1->setMinimumHeight(110);
  editor->addWidget(DBGrid1, 1);
  pnlGoogle = Named(new QWidget(pnlEditLyric), "pnlGoogle");
  pnlGoogle->setFixedHeight(52);
  pnlGoogle->installEventFilter(this);
  edtAsk = Named(new QLineEdit(kSearchBoxInitialText, pnlGoogle), "edtAsk");
  edtAsk->setToolTip("Search Lyric in the Internet");
  edtAsk->installEventFilter(this);
  btnGoogle = Named(new QPushButton("Search Lyric in the net", pnlGoogle), "btnGoogle");
  btnGoogle->setToolTip("Need modem and internet connection");
  connect(btnGoogle, &QPushButton::clicked, this, [this] { RunWebSearch(); });
  lblFileName = Named(new QLabel("FileName", pnlGoogle), "lblFileName");
  dbeFileName = Named(new viz::ui::TDBEdit(pnlGoogle), "dbeFileName");
  dbeFileName->SetDataSource(source);
  dbeFileName->SetDataField(lyric_file::kFileNameField);
  dbeFileName->installEventFilter(this);
  editor->addWidget(pnlGoogle);
  pnlEditLyric->hide();
  lyricArea->addWidget(pnlEditLyric);
  dbeTheLyric = Named(new viz::ui::TDBMemo(pnlLyrics), "dbeTheLyric");
  dbeTheLyric->SetDataSource(source);
  dbeTheLyric->SetDataField(lyric_file::kLyricField);
  if (lyrics_.ReadOnly()) {
    dbeTheLyric->SetReadOnly(true);
    dbeFileName->SetReadOnly(true);
    DBGrid1->SetReadOnly(true);
  }
  if (!source) {
    // The lyric area says why there are no lyrics.
    dbeTheLyric->setReadOnly(true);
    dbeTheLyric->setPlainText(Q(lyricsProblem_));
  }
  lyricArea->addWidget(dbeTheLyric, 1);
  middle->addLayout(lyricArea, 1);
  Progress = Named(VerticalBar(pnlLyrics), "Progress");
  middle->addWidget(Progress);
  column->addLayout(middle, 1);

  pnlBottom = Named(new QWidget(pnlLyrics), "pnlBottom");
  auto* bottom = new QHBoxLayout(pnlBottom);
  bottom->setContentsMargins(0, 0, 0, 0);
  bbtLyric = Named(new QPushButton("Lyric", pnlBottom), "bbtLyric");
  bbtLyric->setToolTip("Add, Edit Lyric");
  connect(bbtLyric, &QPushButton::clicked, this, [this] { ToggleLyricEditor(); });
  txtFolder = Named(PathLabel(pnlBottom), "txtFolder");
  lblMP3count = Named(new QLabel("0", pnlBottom), "lblMP3count");
  lblMP3count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lblMP3count->setMinimumWidth(24);
  lblMP3count->installEventFilter(this);
  bottom->addWidget(bbtLyric);
  bottom->addWidget(txtFolder, 1);
  bottom->addWidget(lblMP3count);
  column->addWidget(pnlBottom);
  // The code box lies over the bottom strip, outside its layout; a child of the window, so that it
  // also lies in front of the manual panel.
  edtPass = Named(new QLineEdit(this), "edtPass");
  edtPass->setEchoMode(QLineEdit::Password);
  edtPass->setFixedWidth(80);
  edtPass->installEventFilter(this);
  edtPass->hide();

  grpTag = Named(new QGroupBox("Tag information:", pnlLyrics), "grpTag");
  auto* tags = new QGridLayout(grpTag);
  tags->setContentsMargins(6, 4, 6, 4);
  tags->setVerticalSpacing(2);
  edGenre = Named(TagBox(grpTag), "edGenre");
  edAlbum = Named(TagBox(grpTag), "edAlbum");
  edYear = Named(TagBox(grpTag), "edYear");
  edArtist = Named(TagBox(grpTag), "edArtist");
  edComment = Named(TagBox(grpTag), "edComment");
  tags->addWidget(new QLabel("Genre", grpTag), 0, 0);
  tags->addWidget(edGenre, 0, 1);
  tags->addWidget(new QLabel("Year", grpTag), 0, 2);
  tags->addWidget(edYear, 0, 3);
  tags->addWidget(new QLabel("Album", grpTag), 1, 0);
  tags->addWidget(edAlbum, 1, 1, 1, 3);
  tags->addWidget(new QLabel("Artist", grpTag), 2, 0);
  tags->addWidget(edArtist, 2, 1, 1, 3);
  tags->addWidget(new QLabel("Comment", grpTag), 3, 0);
  tags->addWidget(edComment, 3, 1, 1, 3);
  tags->setColumnStretch(1, 2);
  tags->setColumnStretch(3, 1);
  column->addWidget(grpTag);
}

void TfrmMain::BuildManualPanel() {
  pnlPlayMP3 = Named(new QFrame(this), "pnlPlayMP3");
  pnlPlayMP3->setFrameStyle(QFrame::Panel | QFrame::Raised);
  pnlPlayMP3->setAutoFillBackground(true);
  pnlPlayMP3->installEventFilter(this);
  auto* column = new QVBoxLayout(pnlPlayMP3);
  mp3player = Named(new QWidget(pnlPlayMP3), "mp3player");
  auto* buttons = new QHBoxLayout(mp3player);
  buttons->setContentsMargins(0, 0, 0, 0);
  for (const char* name : {"Play", "Pause", "Stop", "Prev", "Next"}) {
    auto* button = new QPushButton(name, mp3player);
    button->setObjectName(QString("mp3player") + name);
    connect(button, &QPushButton::clicked, this, [this, name] { MediaButton(name); });
    buttons->addWidget(button);
  }
  column->addWidget(mp3player);
  mp3List = Named(new QListWidget(pnlPlayMP3), "mp3List");
  column->addWidget(mp3List, 1);
  auto* actions = new QHBoxLayout();
  btnRandom = Named(new QPushButton("Random", pnlPlayMP3), "btnRandom");
  connect(btnRandom, &QPushButton::clicked, this, [this] {
    loop_.PickRandomTrack();
    SyncFromLoop();
  });
  btnSonvalePlay = Named(new QPushButton("Play", pnlPlayMP3), "btnSonvalePlay");
  connect(btnSonvalePlay, &QPushButton::clicked, this, [this] {
    loop_.PlayCurrentTrack();
    SyncFromLoop();
  });
  actions->addWidget(btnRandom);
  actions->addWidget(btnSonvalePlay);
  actions->addWidget(new QLabel("Title", pnlPlayMP3));
  edTitle = Named(TagBox(pnlPlayMP3), "edTitle");
  actions->addWidget(edTitle, 1);
  column->addLayout(actions);
  btnInsertBlankMemo = Named(new QPushButton("\"BlankMemo\" InsertRecord", pnlPlayMP3), "btnInsertBlankMemo");
  btnInsertBlankMemo->setToolTip("Just incase your BlankMemo Record was deleted.");
  btnInsertBlankMemo->setEnabled(!lyrics_.ReadOnly());
  connect(btnInsertBlankMemo, &QPushButton::clicked, this, [this] {
    try {
      lyrics_.InsertBlankRecord();
    } catch (const std::exception& error) {
      Report(error.what(), true);
    }
  });
  column->addWidget(btnInsertBlankMemo);
  pnlPlayMP3->setGeometry(12, 60, 440, 360);
  pnlPlayMP3->hide();

  // The picture list and its button are never shown; the slideshow uses them through the loop.
  pnlPhoto = Named(new QFrame(this), "pnlPhoto");
  auto* photoColumn = new QVBoxLayout(pnlPhoto);
  JPGlistBox = Named(new QListWidget(pnlPhoto), "JPGlistBox");
  Button2 = Named(new QPushButton("Show", pnlPhoto), "Button2");
  connect(Button2, &QPushButton::clicked, this, [this] {
    loop_.ShowRandomPicture();
    SyncFromLoop();
  });
  photoColumn->addWidget(JPGlistBox);
  photoColumn->addWidget(Button2);
  pnlPhoto->hide();
}

void TfrmMain::BuildHelpPanel() {
  pnlHelp = Named(new QFrame(this), "pnlHelp");
  pnlHelp->setFrameStyle(QFrame::Panel | QFrame::Raised);
  pnlHelp->setLineWidth(2);
  pnlHelp->setAutoFillBackground(true);
  auto* column = new QVBoxLayout(pnlHelp);
  auto* title = new QLabel(kHelpTitle, pnlHelp);
  title->setAlignment(Qt::AlignCenter);
  title->setAutoFillBackground(true);
  QPalette titleColours = title->palette();
  titleColours.setColor(QPalette::Window, QColor(0, 0, 128));
  titleColours.setColor(QPalette::WindowText, Qt::white);
  title->setPalette(titleColours);
  QFont titleFont = title->font();
  titleFont.setBold(true);
  titleFont.setPointSize(12);
  title->setFont(titleFont);
  title->setMinimumHeight(28);
  column->addWidget(title);
  // In a small window the panel shrinks: the texts scroll, the buttons stay whole.
  auto* help = new QPlainTextEdit(kHelpText, pnlHelp);
  help->setObjectName("memHelp");
  help->setReadOnly(true);
  help->setMinimumHeight(40);
  column->addWidget(help, 3);
  auto* notice = new QPlainTextEdit(kNoticeText, pnlHelp);
  notice->setObjectName("memNotice");
  notice->setReadOnly(true);
  notice->setMinimumHeight(30);
  column->addWidget(notice, 1);

  auto link = [this](const char* name, const QString& caption, const char* hint, const char* address) {
    auto* button = Named(new QPushButton(caption, pnlHelp), name);
    button->setToolTip(hint);
    connect(button, &QPushButton::clicked, this, [this, address] { OpenLink(address); });
    return button;
  };
  auto* row = new QHBoxLayout();
  BitBtn6 = link("BitBtn6", "Sonvale", "Sonvale Paypal Account", kDonationUrl);
  BitBtn2 = link("BitBtn2", "Sonvale eGold", "Sonvale eGold Account", kSecondPaymentUrl);
  BitBtn3 = link("BitBtn3", "Free Web Hosting", "Free Hosting, may upgrade to proffesional with easy.",
                 kHostingUrl);
  row->addWidget(BitBtn6);
  row->addWidget(BitBtn2);
  row->addWidget(BitBtn3);
  column->addLayout(row);
  BitBtn1 = link("BitBtn1", "Download MP3 and Video", "This one is not free, sorry.", kShopUrl);
  column->addWidget(BitBtn1);
  BitBtn7 = link("BitBtn7", "Don't have a PayPal account?  Click this button to create now it's free.",
                 "Create PAYPAL account, free.", kPaymentSignUpUrl);
  // Its long caption must not make the panel wider than a small window.
  BitBtn7->setMinimumWidth(0);
  BitBtn7->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  column->addWidget(BitBtn7);
  BitBtn4 = Named(new QPushButton("Close this Help", pnlHelp), "BitBtn4");
  connect(BitBtn4, &QPushButton::clicked, this, [this] { CloseHelp(); });
  column->addWidget(BitBtn4);
  pnlHelp->hide();
}

void TfrmMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shownOnce_) return;
  shownOnce_ = true;
  loop_.Show();
  SyncFromLoop();
}

void TfrmMain::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int photoWidth = PhotoSideWidth(width());
  pnlPhotos->setGeometry(0, 0, photoWidth, height());
  pnlLyrics->setGeometry(photoWidth, 0, width() - photoWidth, height());
  PlaceSidePanels();
}

void TfrmMain::PlaceSidePanels() {
  // Both panels lie over the window; in a small window they shrink so that all of them is reachable.
  const PanelPlace help = HelpPanelPlace(width(), height());
  pnlHelp->setGeometry(help.left, help.top, help.width, help.height);
  const PanelPlace manual = FitInside({12, 60, 440, 360}, width(), height());
  pnlPlayMP3->setGeometry(manual.left, manual.top, manual.width, manual.height);
}

void TfrmMain::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && pnlHelp->isVisible()) {
    CloseHelp();
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TfrmMain::LayOutSearchStrip() {
  const int row = 2;
  const int height = edtAsk->sizeHint().height();
  edtAsk->setGeometry(0, row, SearchBoxWidth(pnlGoogle->width()), height);
  const int buttonLeft = SearchButtonLeft(edtAsk->width());
  btnGoogle->setGeometry(buttonLeft, row, std::max(0, pnlGoogle->width() - buttonLeft), height);
  const int second = row + height + 2;
  lblFileName->setGeometry(0, second, 60, height);
  dbeFileName->setGeometry(62, second, std::max(0, pnlGoogle->width() - 62), height);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (watched == pnlGoogle && type == QEvent::Resize) {
    LayOutSearchStrip();
  } else if (watched == lblMP3count && type == QEvent::MouseButtonDblClick) {
    ToggleCodeBox();
    return true;
  } else if (watched == edtPass && type == QEvent::FocusIn) {
    // Typing replaces the old code instead of adding to it. A click that gave the focus places the
    // cursor after this, so select again once it is done.
    edtPass->selectAll();
    QTimer::singleShot(0, edtPass, [this] { edtPass->selectAll(); });
  } else if (watched == edtPass && type == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      CheckCode();
      return true;
    }
  } else if (watched == edtPass && type == QEvent::FocusOut) {
    CheckCode();
  } else if (watched == pnlPlayMP3 && type == QEvent::MouseButtonDblClick) {
    pnlPlayMP3->hide();
    return true;
  } else if (watched == edtAsk && type == QEvent::FocusIn) {
    if (ClearSearchBoxOnFocus(S(edtAsk->text()))) edtAsk->clear();
  } else if (watched == edtAsk && type == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      RunWebSearch();
      focusNextChild();
      return true;
    }
  } else if (watched == dbeFileName && type == QEvent::FocusOut) {
    CheckFileName();
  }
  return QWidget::eventFilter(watched, event);
}

void TfrmMain::ToggleHelp() {
  if (pnlHelp->isVisible()) {
    CloseHelp();
    return;
  }
  PlaceSidePanels();
  pnlHelp->show();
  pnlHelp->raise();
  bbtHelp->setEnabled(false);
  edtAsk->setText(Q(HelpSearchText(S(txtFileName->text()))));
}

void TfrmMain::CloseHelp() {
  pnlHelp->hide();
  bbtHelp->setEnabled(true);
}

void TfrmMain::ToggleLyricEditor() {
  if (pnlEditLyric->isVisible()) {
    pnlEditLyric->hide();
    return;
  }
  pnlEditLyric->show();
  const QString track = txtFileName->text();
  if (!lyrics_.Available()) {
    if (!lyricsProblem_.empty()) Report(lyricsProblem_, false);
  } else if (lyrics_.ReadOnly()) {
    Report(LyricsReadOnlyMessage(lyrics_.FileName()), false);
  } else {
    try {
      lyrics_.BeginEdit();
    } catch (const std::exception& error) {
      Report(error.what(), true);
    }
    // Into the record: the track's own record keeps its name, the "BlankMemo" record takes it.
    dbeFileName->setText(track);
  }
  edtAsk->setText(Q(EditorSearchText(S(track))));
}

void TfrmMain::RunWebSearch() {
  const std::optional<std::string> address = WebSearchAddress(S(edtAsk->text()));
  if (!address) {
    Report(kEmptySearchMessage, false);
    return;
  }
  TraceEvent("web search: " + *address);
  if (!openUrl_(*address)) Report("Cannot open the web browser for " + *address, true);
}

void TfrmMain::OpenLink(const char* address) {
  TraceEvent(std::string("link: ") + address);
  if (!openUrl_(address)) Report(std::string("Cannot open the web browser for ") + address, true);
}

void TfrmMain::ToggleCodeBox() {
  if (edtPass->isVisible()) {
    edtPass->hide();
    return;
  }
  edtPass->move(pnlBottom->mapTo(
      this, QPoint(std::max(0, pnlBottom->width() - edtPass->width() - lblMP3count->width() - 4),
                   (pnlBottom->height() - edtPass->height()) / 2)));
  edtPass->show();
  edtPass->raise();
  edtPass->setFocus();
  edtPass->selectAll();
}

void TfrmMain::CheckCode() {
  // Hiding the box moves the focus away from it, which would check the code a second time.
  if (!edtPass->isVisible()) return;
  const bool visible = ManualPanelVisibleAfterCode(S(edtPass->text()), pnlPlayMP3->isVisible());
  pnlPlayMP3->setVisible(visible);
  if (visible) pnlPlayMP3->raise();
  edtPass->hide();
}

void TfrmMain::CheckFileName() {
  if (const std::optional<std::string> warning =
          FileNameCheck(S(txtFileName->text()), S(dbeFileName->text()))) {
    Report(*warning, false);
  }
}

void TfrmMain::MediaButton(const QString& button) {
  // The caption above the track name follows from what the loop then does (SyncFromLoop).
  if (button == "Play") {
    Panel1->move(20, Panel1->y());
    loop_.Resume();
  } else if (button == "Pause") {
    Panel1->move(48, Panel1->y());
    loop_.Pause();
  } else if (button == "Stop") {
    loop_.StopPlaying();
  } else if (button == "Prev") {
    media_.Seek(0);
  } else if (button == "Next") {
    media_.Seek(media_.Length());
  }
  SyncFromLoop();
}

void TfrmMain::OnTick() {
  loop_.Tick();
  SyncFromLoop();
}

void TfrmMain::SyncFromLoop() {
  txtFileName->SetText(Q(loop_.CurrentTrack()));
  txtFileNameJPG->SetText(Q(loop_.CurrentPicture()));
  lblPanel1Caption->setText(PlayStateCaption(loop_.State()));
  lblMP3count->setText(QString::number(loop_.Mp3Count()));
  lblJPGcount->setText(Q(loop_.PictureCountText()));
  // A bar whose range is 0 … 0 would turn into a busy indicator; show it empty instead.
  const int64_t maximum = loop_.ProgressMaximum();
  if (maximum > 0) {
    Progress->setRange(0, static_cast<int>(std::min<int64_t>(maximum, INT32_MAX)));
    Progress->setValue(static_cast<int>(std::clamp<int64_t>(loop_.ProgressPosition(), 0, maximum)));
  } else {
    Progress->setRange(0, 1);
    Progress->setValue(0);
  }
  ProgressJPG->setValue(loop_.SlideBarPosition());
}

bool TfrmMain::LyricEditorOpen() {
  return pnlEditLyric->isVisible();
}

void TfrmMain::LyricResync(const std::string& trackName) {
  lyrics_.Resync(trackName);
}

void TfrmMain::TagRefresh(const std::string& path) {
  const TagTexts tag = ReadTag(path);
  ShowFromStart(edTitle, Q(tag.title));
  ShowFromStart(edArtist, Q(tag.artist));
  ShowFromStart(edAlbum, Q(tag.album));
  ShowFromStart(edYear, Q(tag.year));
  ShowFromStart(edComment, Q(tag.comment));
  ShowFromStart(edGenre, Q(tag.genre));
}

void TfrmMain::ShowPicture(const std::string& path) {
  // Decode no larger than the area needs, in device pixels.
  const QSize area = Image1->size() * Image1->devicePixelRatioF();
  Image1->SetImage(LoadJpeg(path, area));
  txtFileNameJPG->SetText(Q(loop_.CurrentPicture()));
}

void TfrmMain::OpenHelp() {
  // The help panel copies the track caption into the search box: show the loop's pick first.
  SyncFromLoop();
  if (!pnlHelp->isVisible()) ToggleHelp();
}

void TfrmMain::Report(const std::string& message, bool isError) {
  reports_.push_back(message);
  if (reports_.size() > static_cast<size_t>(kMaxReportsKept)) reports_.erase(reports_.begin());
  TraceEvent("message: " + message);
  if (showReports_) messages_->Add(MessageText(message), isError);
}

}  // namespace sonvale
