// The Qt forms of the engine's prompts: the password dialog, the one wait dialog of long operations
// and the message boxes of the repair questions. InstallQtPrompts hands them to the engine (through
// SetDialogs of engine/components/dialogs.h); before that, and in silent mode, the engine asks
// nothing.
#pragma once

#include <QDialog>
#include <QPointer>
#include <memory>
#include <string>

#include "engine/components/dialogs.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace viz::ui {

//! "Database authentication": the label lbName, "Password:", the masked edit Pass (showing "*"),
//! "OK" (the default button) and "Cancel". A fixed frame, centred.
class TABSPassDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TABSPassDialog(QWidget* parent = nullptr);

  QLabel* lbName = nullptr;
  QLineEdit* Pass = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

  void showEvent(QShowEvent* event) override;
};

//! "Please Wait...": the message lMessage, the bar pb (0-100), "Abort" and "Background Mode". It
//! stays on top with the hourglass cursor and shows only when an operation runs longer than half a
//! second (and is not past half way by then); while shown, the program's other windows take no
//! input.
class TfrmWait : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmWait(QWidget* parent = nullptr);
  ~TfrmWait() override;

  //! An operation begins: shows `message`, clears the abort flag and starts the half-second timer.
  void Start(const QString& message);
  //! Shows the progress, lets pending events run (so that the buttons work); false once aborted.
  bool Progress(int percent);
  //! The operation ended: hides the dialog and restores the program.
  void End();
  bool Aborted() const { return aborted_; }
  bool Running() const { return running_; }

  QLabel* lMessage = nullptr;
  QProgressBar* pb = nullptr;
  QPushButton* btnAbort = nullptr;
  QPushButton* btnBackground = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void TimerFired();
  void BackgroundMode();

  QTimer* timer_ = nullptr;
  QString message_;
  bool aborted_ = false;
  bool running_ = false;
  bool background_ = false;
};

//! The engine's prompt interfaces over the forms above and QMessageBox.
class TQtPrompts : public viz::TABSPassDialog, public TABSWaitDialog, public TABSMessageDialogs {
 public:
  TQtPrompts();
  ~TQtPrompts() override;

  bool Execute(TABSDatabase& database, const std::string& name) override;
  void Start(const std::string& message) override;
  bool Progress(int percent) override;
  void End() override;
  void Inform(const std::string& text) override;
  void Warn(const std::string& text) override;
  bool Confirm(const std::string& text) override;

  //! The wait dialog (made at the first Start).
  TfrmWait* WaitForm() const { return wait_.get(); }

 private:
  std::unique_ptr<TfrmWait> wait_;
};

//! Installs the Qt prompts for the whole program (made once; needs a QApplication) and sends the
//! framework's application errors to the controls' error reporter. Returns them.
TQtPrompts& InstallQtPrompts();
//! Takes the Qt prompts out again: the engine asks nothing from then on.
void UninstallQtPrompts();

}  // namespace viz::ui
