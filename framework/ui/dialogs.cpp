#include "framework/ui/dialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

#include "engine/components/database.h"
#include "engine/platform/text.h"
#include "framework/data/exceptions.h"
#include "framework/ui/user_messages.h"

namespace viz::ui {

namespace {

QString Latin(const char* text) {
  return QString::fromLatin1(text);
}

QString FromSingleByte(const std::string& text) {
  return QString::fromStdString(platform::Win1252ToUtf8(text));
}

// The masked edit shows "*" for every character, whatever the platform's style would show.
class TAsteriskStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == QStyle::SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

void CentreOnScreen(QWidget& widget) {
  const QWidget* parent = widget.parentWidget();
  QRect area;
  if (parent) {
    area = parent->window()->frameGeometry();
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  }
  if (area.isValid()) widget.move(area.center() - widget.rect().center());
}

}  // namespace

// ---- TABSPassDialog

TABSPassDialog::TABSPassDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("ABSPassDialog"));
  setWindowTitle(Latin(pass_dialog::kCaption));
  lbName = new QLabel(this);
  lbName->setObjectName(QStringLiteral("lbName"));
  auto* passwordLabel = new QLabel(Latin(pass_dialog::kPasswordLabel), this);
  Pass = new QLineEdit(this);
  Pass->setObjectName(QStringLiteral("Pass"));
  auto* style = new TAsteriskStyle;
  style->setParent(Pass);
  Pass->setStyle(style);
  Pass->setEchoMode(QLineEdit::Password);
  Pass->setMinimumWidth(180);
  passwordLabel->setBuddy(Pass);
  OKBtn = new QPushButton(Latin(pass_dialog::kOk), this);
  OKBtn->setObjectName(QStringLiteral("OKBtn"));
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton(Latin(pass_dialog::kCancel), this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

  auto* grid = new QGridLayout;
  grid->addWidget(lbName, 0, 0, 1, 2);
  grid->addWidget(passwordLabel, 1, 0);
  grid->addWidget(Pass, 1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TABSPassDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CentreOnScreen(*this);
  Pass->setFocus();
}

// ---- TfrmWait

TfrmWait::TfrmWait(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::CustomizeWindowHint) {
  setObjectName(QStringLiteral("frmWait"));
  setWindowTitle(Latin(wait_dialog::kCaption));
  setWindowModality(Qt::ApplicationModal);
  setCursor(Qt::WaitCursor);
  lMessage = new QLabel(Latin(wait_dialog::kInitialMessage), this);
  lMessage->setObjectName(QStringLiteral("lMessage"));
  lMessage->setAlignment(Qt::AlignCenter);
  lMessage->setMinimumWidth(260);
  pb = new QProgressBar(this);
  pb->setObjectName(QStringLiteral("pb"));
  pb->setRange(0, 100);
  pb->setValue(0);
  btnAbort = new QPushButton(Latin(wait_dialog::kAbort), this);
  btnAbort->setObjectName(QStringLiteral("btnAbort"));
  btnAbort->setCursor(Qt::ArrowCursor);
  btnBackground = new QPushButton(Latin(wait_dialog::kBackgroundMode), this);
  btnBackground->setObjectName(QStringLiteral("btnBackground"));
  btnBackground->setCursor(Qt::ArrowCursor);
  connect(btnAbort, &QPushButton::clicked, this, [this] { aborted_ = true; });
  connect(btnBackground, &QPushButton::clicked, this, &TfrmWait::BackgroundMode);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnAbort);
  buttons->addWidget(btnBackground);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lMessage);
  layout->addWidget(pb);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  timer_ = new QTimer(this);
  timer_->setSingleShot(true);
  connect(timer_, &QTimer::timeout, this, &TfrmWait::TimerFired);
}

TfrmWait::~TfrmWait() {
  qApp->removeEventFilter(this);
}

void TfrmWait::Start(const QString& message) {
  message_ = message;
  lMessage->setText(message);
  pb->setValue(0);
  aborted_ = false;
  running_ = true;
  btnAbort->setFocus();
  timer_->start(wait_dialog::kShowDelayMs);
}

void TfrmWait::TimerFired() {
  timer_->stop();
  if (!running_ || pb->value() > 50) return;
  CentreOnScreen(*this);
  show();
  raise();
  btnAbort->setFocus();
}

bool TfrmWait::Progress(int percent) {
  pb->setValue(std::clamp(percent, 0, 100));
  QCoreApplication::processEvents();
  return !aborted_;
}

void TfrmWait::End() {
  timer_->stop();
  qApp->removeEventFilter(this);
  hide();
  if (background_) {
    background_ = false;
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (window != this && window->isMinimized()) window->showNormal();
    }
  }
  running_ = false;
}

void TfrmWait::BackgroundMode() {
  hide();
  background_ = true;
  // The dialog comes back when a window of the program is restored.
  qApp->installEventFilter(this);
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window != this && window->isVisible()) window->showMinimized();
  }
}

bool TfrmWait::eventFilter(QObject* watched, QEvent* event) {
  if (background_ && event->type() == QEvent::WindowStateChange) {
    auto* window = qobject_cast<QWidget*>(watched);
    if (window && window != this && window->isWindow() && !window->isMinimized() && window->isVisible()) {
      background_ = false;
      qApp->removeEventFilter(this);
      const QString message = message_;
      const int percent = pb->value();
      Start(message);
      pb->setValue(percent);
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfrmWait::closeEvent(QCloseEvent* event) {
  // Closing the window is not a way out of the operation: only Abort is.
  if (running_) event->ignore();
}

void TfrmWait::reject() {
  if (!running_) QDialog::reject();
}

// ---- TQtPrompts

TQtPrompts::TQtPrompts() = default;
TQtPrompts::~TQtPrompts() = default;

bool TQtPrompts::Execute(TABSDatabase& database, const std::string& name) {
  ui::TABSPassDialog dialog(QApplication::activeWindow());
  dialog.lbName->setText(FromSingleByte(name));
  if (dialog.exec() != QDialog::Accepted) return false;
  const QString typed = dialog.Pass->text();
  database.SetPassword(platform::Utf16ToWin1252(std::u16string_view(
      reinterpret_cast<const char16_t*>(typed.utf16()), static_cast<size_t>(typed.size()))));
  return true;
}

void TQtPrompts::Start(const std::string& message) {
  if (!wait_) wait_ = std::make_unique<TfrmWait>();
  wait_->Start(FromSingleByte(message));
}

bool TQtPrompts::Progress(int percent) {
  return wait_ ? wait_->Progress(percent) : true;
}

void TQtPrompts::End() {
  if (wait_) wait_->End();
}

void TQtPrompts::Inform(const std::string& text) {
  QMessageBox::information(QApplication::activeWindow(), Latin("Information"), FromSingleByte(text));
}

void TQtPrompts::Warn(const std::string& text) {
  QMessageBox::warning(QApplication::activeWindow(), Latin("Warning"), FromSingleByte(text));
}

bool TQtPrompts::Confirm(const std::string& text) {
  return QMessageBox::question(QApplication::activeWindow(), Latin("Confirm"), FromSingleByte(text),
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
}

namespace {

std::unique_ptr<TQtPrompts>& Installed() {
  static std::unique_ptr<TQtPrompts> prompts;
  return prompts;
}

}  // namespace

TQtPrompts& InstallQtPrompts() {
  std::unique_ptr<TQtPrompts>& prompts = Installed();
  if (!prompts) prompts = std::make_unique<TQtPrompts>();
  TABSDialogs dialogs;
  dialogs.Password = prompts.get();
  dialogs.Wait = prompts.get();
  dialogs.Messages = prompts.get();
  SetDialogs(dialogs);
  InstallApplicationErrorHandler();
  return *prompts;
}

void UninstallQtPrompts() {
  SetDialogs(TABSDialogs{});
  SetApplicationErrorHandler({});
  Installed().reset();
}

}  // namespace viz::ui
