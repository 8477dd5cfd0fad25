// The Qt forms of the engine's prompts, installed through the engine's prompt interface: the
// password dialog asked by a connection to an enciphered file, the wait dialog that shows only for
// an operation running longer than half a second, its Abort and Background Mode, and the message
// boxes of the repair questions.
#include "framework/ui/dialogs.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>

#include "engine/components/VIZMain.h"
#include "ui/ui_test_support.h"

namespace viz::testing {
namespace {

class PromptsTest : public ::testing::Test {
 protected:
  void SetUp() override { prompts_ = &ui::InstallQtPrompts(); }
  void TearDown() override { ui::UninstallQtPrompts(); }
  ui::TQtPrompts* prompts_ = nullptr;
};

std::vector<QString> LabelTexts(QWidget* dialog) {
  std::vector<QString> texts;
  for (QLabel* label : dialog->findChildren<QLabel*>()) texts.push_back(label->text());
  return texts;
}

TEST_F(PromptsTest, AWrongPasswordAsksForTheRightOne) {
  TempDir dir;
  {
    TABSDatabase maker(nullptr, "Maker");
    maker.SetDatabaseName("Secret");
    maker.SetDatabaseFileName(dir.File("secret.svl"));
    maker.SetPassword("wimbl47");
    maker.SetCipherType(1);
    maker.MakeDatabaseFile();
  }
  TABSDatabase database(nullptr, "VIZDatabase1");
  database.SetDatabaseName("Secret");
  database.SetDatabaseFileName(dir.File("secret.svl"));
  // Cancel: the connection stays closed with the engine's error.
  bool asked = AnswerModal(
      "QDialog", [](QWidget* dialog) { dialog->findChild<QPushButton*>("CancelBtn")->click(); },
      [&] { EXPECT_THROW(database.Open(), EABSException); });
  EXPECT_TRUE(asked);
  EXPECT_FALSE(database.Connected());
  // OK with the typed password: the connection opens with it.
  QString caption;
  std::vector<QString> labels, buttons;
  bool masked = false;
  asked = AnswerModal(
      "QDialog",
      [&](QWidget* dialog) {
        caption = dialog->windowTitle();
        labels = LabelTexts(dialog);
        auto* pass = dialog->findChild<QLineEdit*>("Pass");
        masked = pass->echoMode() == QLineEdit::Password &&
                 pass->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, pass) == '*';
        auto* ok = dialog->findChild<QPushButton*>("OKBtn");
        buttons = {ok->text(), dialog->findChild<QPushButton*>("CancelBtn")->text()};
        EXPECT_TRUE(ok->isDefault());
        TypeText(pass, "wimbl47");
        ok->click();
      },
      [&] { database.Open(); });
  EXPECT_TRUE(asked);
  EXPECT_TRUE(database.Connected());
  EXPECT_EQ(database.Password(), "wimbl47");
  EXPECT_EQ(caption, "Database authentication");
  EXPECT_EQ(labels, (std::vector<QString>{"", "Password:"}));
  EXPECT_EQ(buttons, (std::vector<QString>{"OK", "Cancel"}));
  EXPECT_TRUE(masked);
}

TEST_F(PromptsTest, TheWaitDialogShowsOnlyForLongOperations) {
  TABSWaitDialog* wait = Dialogs().Wait;
  ASSERT_NE(wait, nullptr);
  // Finished within half a second: never shown.
  wait->Start("Repairing Database...");
  EXPECT_TRUE(wait->Progress(30));
  ui::TfrmWait* form = prompts_->WaitForm();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->lMessage->text(), "Repairing Database...");
  wait->End();
  Pump(650);
  EXPECT_FALSE(form->isVisible());
  // Past half way when the half second is over: not shown either.
  wait->Start("Copying...");
  wait->Progress(60);
  Pump(650);
  EXPECT_FALSE(form->isVisible());
  wait->End();
  // A long operation: shown after half a second, modal, with its texts; Abort stops it.
  wait->Start("Repairing Database...");
  wait->Progress(10);
  Pump(100);
  EXPECT_FALSE(form->isVisible());
  Pump(550);
  ASSERT_TRUE(form->isVisible());
  EXPECT_EQ(form->windowTitle(), "Please Wait...");
  EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(form->windowModality(), Qt::ApplicationModal);
  EXPECT_EQ(form->cursor().shape(), Qt::WaitCursor);
  EXPECT_EQ(form->pb->value(), 10);
  EXPECT_EQ(form->btnAbort->text(), "Abort");
  EXPECT_EQ(form->btnBackground->text(), "Background Mode");
  EXPECT_TRUE(wait->Progress(20));
  form->btnAbort->click();
  EXPECT_FALSE(wait->Progress(30));
  wait->End();
  EXPECT_FALSE(form->isVisible());
  // A new operation starts without the old abort.
  wait->Start("Again");
  EXPECT_TRUE(wait->Progress(1));
  wait->End();
}

TEST_F(PromptsTest, BackgroundModeHidesTheDialogUntilTheProgramIsRestored) {
  QWidget window;
  window.resize(200, 100);
  window.show();
  TABSWaitDialog* wait = Dialogs().Wait;
  wait->Start("Repairing Database...");
  Pump(650);
  ui::TfrmWait* form = prompts_->WaitForm();
  ASSERT_TRUE(form->isVisible());
  form->btnBackground->click();
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(window.isMinimized());
  EXPECT_TRUE(wait->Progress(40));
  window.showNormal();
  Pump(650);
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->lMessage->text(), "Repairing Database...");
  EXPECT_EQ(form->pb->value(), 40);
  wait->End();
  EXPECT_FALSE(form->isVisible());
}

TEST_F(PromptsTest, RepairQuestionsAreMessageBoxes) {
  TABSMessageDialogs* messages = Dialogs().Messages;
  ASSERT_NE(messages, nullptr);
  for (const auto answer : {QMessageBox::Yes, QMessageBox::No}) {
    QString text;
    bool result = false;
    AnswerModal(
        "QMessageBox",
        [&](QWidget* modal) {
          auto* box = static_cast<QMessageBox*>(modal);
          text = box->text();
          box->button(answer)->click();
        },
        [&] {
          result = messages->Confirm(
              "Database file was not correctly closed last time. Do you want to repair it?");
        });
    EXPECT_EQ(result, answer == QMessageBox::Yes);
    EXPECT_EQ(text, "Database file was not correctly closed last time. Do you want to repair it?");
  }
  bool shown = AnswerModal(
      "QMessageBox", [](QWidget* modal) { static_cast<QMessageBox*>(modal)->accept(); },
      [&] { messages->Warn("Unknown error"); });
  EXPECT_TRUE(shown);
  ui::UninstallQtPrompts();
  EXPECT_EQ(Dialogs().Messages, nullptr);
  EXPECT_EQ(Dialogs().Password, nullptr);
}

}  // namespace
}  // namespace viz::testing
