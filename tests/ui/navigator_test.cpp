// The navigator bar over a real lyric table: which buttons are enabled in each state of the
// dataset, what each button does, and the confirmation before a delete.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QToolButton>

#include "framework/ui/db_navigator.h"
#include "ui/ui_test_support.h"

namespace viz::testing {
namespace {

using ui::TNavigateBtn;

const std::vector<LyricRow> kRows = {{"A.mp3", "a", 1}, {"B.mp3", "b", 2}, {"C.mp3", "c", 3}};

// The enabled buttons, as a string of ten '1' and '0' in button order
// (first prior next last insert delete edit post cancel refresh).
std::string Enabled(const ui::TDBNavigator& navigator) {
  std::string flags;
  for (int index = 0; index < ui::kNavigateButtonCount; ++index) {
    flags += navigator.Button(static_cast<TNavigateBtn>(index))->isEnabled() ? '1' : '0';
  }
  return flags;
}

struct NavigatorFixture {
  explicit NavigatorFixture(const std::vector<LyricRow>& rows = kRows) : data(rows) {
    navigator.SetDataSource(&data.Source());
    navigator.show();
  }
  LyricFixture data;
  ui::TDBNavigator navigator;
};

TEST(DBNavigatorTest, ButtonsFollowTheDatasetState) {
  NavigatorFixture f;
  TABSTable& table = f.data.Table();
  struct Step {
    const char* what;
    std::function<void()> action;
    const char* enabled;
  };
  const std::vector<Step> steps = {
      {"open at the first record", [] {}, "0011111001"},
      {"next", [&] { table.Next(); }, "1111111001"},
      {"last", [&] { table.Last(); }, "1100111001"},
      {"edit", [&] { table.Edit(); }, "1100110111"},
      // Cancelling rebuilds the window: the end is met again by the next move.
      {"cancel", [&] { table.Cancel(); }, "1111111001"},
      {"next at the end", [&] { table.Next(); }, "1100111001"},
      {"insert", [&] { table.Insert(); }, "1100110111"},
      {"cancel the insert", [&] { table.Cancel(); }, "1111111001"},
      {"first", [&] { table.First(); }, "0011111001"},
      {"read-only source link", [&] { f.navigator.setEnabled(false); }, "0000000000"},
      {"enabled again", [&] { f.navigator.setEnabled(true); }, "0011111001"},
      {"closed", [&] { table.Close(); }, "0000000000"},
      {"read-only table",
       [&] {
         table.SetReadOnly(true);
         table.Open();
       },
       "0011000001"},
      {"writable, emptied",
       [&] {
         table.Close();
         table.SetReadOnly(false);
         table.Open();
         while (!table.IsEmpty()) table.Delete();
       },
       "0000101001"},  // edit on an empty dataset inserts
      {"the source disabled", [&] { f.data.Source().SetEnabled(false); }, "0000000000"},
  };
  for (const Step& step : steps) {
    step.action();
    EXPECT_EQ(Enabled(f.navigator), step.enabled) << step.what;
  }
}

TEST(DBNavigatorTest, ButtonsCarryTheirHints) {
  NavigatorFixture f;
  const std::vector<QString> hints = {"First record",  "Prior record",  "Next record", "Last record",
                                      "Insert record", "Delete record", "Edit record", "Post edit",
                                      "Cancel edit",   "Refresh data"};
  for (int index = 0; index < ui::kNavigateButtonCount; ++index) {
    EXPECT_EQ(f.navigator.Button(static_cast<TNavigateBtn>(index))->toolTip(), hints[index]);
  }
  std::array<QString, ui::kNavigateButtonCount> own;
  own[ui::nbPost] = "Save";
  f.navigator.SetHints(own);
  EXPECT_EQ(f.navigator.Button(ui::nbPost)->toolTip(), "Save");
  EXPECT_EQ(f.navigator.Button(ui::nbCancel)->toolTip(), "Cancel edit");
  f.navigator.SetShowHint(false);
  EXPECT_TRUE(f.navigator.Button(ui::nbFirst)->toolTip().isEmpty());
}

TEST(DBNavigatorTest, ClicksMoveAndEditTheDataset) {
  NavigatorFixture f;
  TABSTable& table = f.data.Table();
  auto name = [&] { return table.FieldByName("FileName").AsString(); };
  f.navigator.Button(ui::nbNext)->click();
  EXPECT_EQ(name(), "B.mp3");
  f.navigator.Button(ui::nbLast)->click();
  EXPECT_EQ(name(), "C.mp3");
  f.navigator.Button(ui::nbPrior)->click();
  EXPECT_EQ(name(), "B.mp3");
  f.navigator.Button(ui::nbFirst)->click();
  EXPECT_EQ(name(), "A.mp3");
  f.navigator.Button(ui::nbEdit)->click();
  EXPECT_EQ(table.State(), dsEdit);
  table.FieldByName("Plays").SetAsInteger(10);
  f.navigator.Button(ui::nbPost)->click();
  EXPECT_EQ(table.State(), dsBrowse);
  f.navigator.Button(ui::nbInsert)->click();
  EXPECT_EQ(table.State(), dsInsert);
  table.FieldByName("FileName").SetAsString("AB.mp3");
  f.navigator.Button(ui::nbCancel)->click();
  EXPECT_EQ(table.State(), dsBrowse);
  EXPECT_EQ(f.data.StoredNames(), (std::vector<std::string>{"A.mp3", "B.mp3", "C.mp3"}));
  // Refresh shows what another dataset changed.
  f.navigator.Button(ui::nbNext)->click();
  {
    TABSTable other(nullptr);
    other.SetDatabaseName("UiLyrics");
    other.SetTableName("LYRIC");
    other.SetIndexName("byFileName");
    other.Open();
    other.Next();
    other.Edit();
    other.FieldByName("Plays").SetAsInteger(77);
    other.Post();
  }
  f.navigator.Button(ui::nbRefresh)->click();
  EXPECT_EQ(table.FieldByName("Plays").AsInteger(), 77);
  // A failing action is reported, not thrown through the event loop; OnClick still runs.
  ReportedErrors errors;
  std::vector<TNavigateBtn> clicked;
  f.navigator.OnClick = [&](TNavigateBtn button) { clicked.push_back(button); };
  f.navigator.Button(ui::nbEdit)->click();
  table.FieldByName("FileName").Clear();
  table.BeforePost = [](TDataSet&) { throw EDatabaseError("Post refused"); };
  f.navigator.Button(ui::nbPost)->click();
  table.BeforePost = nullptr;
  ASSERT_EQ(errors.messages.size(), 1u);
  EXPECT_EQ(errors.messages[0], "Post refused");
  EXPECT_EQ(table.State(), dsEdit);
  EXPECT_EQ(clicked, (std::vector<TNavigateBtn>{ui::nbEdit, ui::nbPost}));
  f.navigator.Button(ui::nbCancel)->click();
}

TEST(DBNavigatorTest, DeleteAsksFirstUnlessTurnedOff) {
  NavigatorFixture f;
  auto press = [&](QMessageBox::StandardButton answer) {
    QString question;
    const bool asked = AnswerModal(
        "QMessageBox",
        [&](QWidget* modal) {
          auto* box = static_cast<QMessageBox*>(modal);
          question = box->text();
          box->button(answer)->click();
        },
        [&] { f.navigator.Button(ui::nbDelete)->click(); });
    EXPECT_TRUE(asked);
    EXPECT_EQ(question, "Delete record?");
  };
  press(QMessageBox::Cancel);
  EXPECT_EQ(f.data.StoredNames().size(), 3u);
  press(QMessageBox::Ok);
  EXPECT_EQ(f.data.StoredNames(), (std::vector<std::string>{"B.mp3", "C.mp3"}));
  f.navigator.SetConfirmDelete(false);
  const bool asked = AnswerModal(
      "QMessageBox", [](QWidget* modal) { static_cast<QMessageBox*>(modal)->reject(); },
      [&] { f.navigator.Button(ui::nbDelete)->click(); });
  EXPECT_FALSE(asked);
  EXPECT_EQ(f.data.StoredNames(), (std::vector<std::string>{"C.mp3"}));
}

}  // namespace
}  // namespace viz::testing
