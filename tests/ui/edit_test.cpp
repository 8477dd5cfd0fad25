// The data-aware edit and memo over a real lyric table: accented text shown and saved through the
// single-byte code page, the first key putting the dataset into edit mode, the change written on
// leaving the control and posted with the record, Escape putting the value back, and a text set by
// the program going into the record.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "framework/ui/db_edit.h"
#include "framework/ui/db_grid.h"
#include "support/disk_tables.h"
#include "ui/ui_test_support.h"

namespace viz::testing {
namespace {

const std::vector<LyricRow> kRows = {{"Chanson.mp3", "Là-bas, l'été — naïve\r\nSecond line", 1},
                                     {"Plain.mp3", "No Lyric", 2}};

struct EditFixture {
  EditFixture() : data(kRows) {
    name.SetDataSource(&data.Source());
    name.SetDataField("FileName");
    memo.SetDataSource(&data.Source());
    memo.SetDataField("TheLyric");
    window.resize(400, 300);
    name.setParent(&window);
    memo.setParent(&window);
    name.setGeometry(0, 0, 400, 24);
    memo.setGeometry(0, 30, 400, 260);
    window.show();
    QApplication::setActiveWindow(&window);
  }
  LyricFixture data;
  QWidget window;
  ui::TDBEdit name;
  ui::TDBMemo memo;
};

TEST(DBEditTest, ShowsAccentedTextAndFollowsTheRecord) {
  EditFixture f;
  EXPECT_EQ(f.name.text(), "Chanson.mp3");
  // Stored as Windows-1252 with a CR LF break; shown as Unicode with one line break.
  EXPECT_EQ(f.memo.toPlainText(), QString::fromUtf8("Là-bas, l'été — naïve\nSecond line"));
  f.data.Table().Next();
  EXPECT_EQ(f.name.text(), "Plain.mp3");
  EXPECT_EQ(f.memo.toPlainText(), "No Lyric");
  EXPECT_EQ(f.name.maxLength(), 40);
  f.data.Table().Close();
  EXPECT_TRUE(f.name.text().isEmpty());
  EXPECT_TRUE(f.memo.toPlainText().isEmpty());
  EXPECT_TRUE(f.memo.isReadOnly());
}

TEST(DBEditTest, TypingInTheMemoEditsAndPostingSavesAccentedText) {
  EditFixture f;
  f.memo.setFocus();
  QTextCursor cursor = f.memo.textCursor();
  cursor.movePosition(QTextCursor::End);
  f.memo.setTextCursor(cursor);
  EXPECT_EQ(f.data.Table().State(), dsBrowse);
  TypeText(&f.memo, QString::fromUtf8(" çà et là ü"));
  EXPECT_EQ(f.data.Table().State(), dsEdit);
  // The text typed is all there: beginning the edit did not overwrite it.
  EXPECT_EQ(f.memo.toPlainText(), QString::fromUtf8("Là-bas, l'été — naïve\nSecond line çà et là ü"));
  f.data.Table().Post();
  EXPECT_EQ(f.data.StoredLyric("Chanson.mp3"), "Là-bas, l'été — naïve\nSecond line çà et là ü");
  // Escape before posting puts the stored text back.
  QTest::keyClicks(&f.memo, "zzz");
  QTest::keyClick(&f.memo, Qt::Key_Escape);
  EXPECT_EQ(f.memo.toPlainText(), QString::fromUtf8("Là-bas, l'été — naïve\nSecond line çà et là ü"));
  f.data.Table().Cancel();
  // A character that Windows-1252 cannot hold is stored as '?'.
  f.data.Table().Edit();
  f.memo.setPlainText(QString::fromUtf8("Ωmega"));
  f.data.Table().Post();
  EXPECT_EQ(f.data.StoredLyric("Chanson.mp3"), "?mega");
  // An emptied memo is stored empty.
  f.data.Table().Edit();
  f.memo.clear();
  f.data.Table().Post();
  EXPECT_EQ(f.data.StoredLyric("Chanson.mp3"), "");
}

TEST(DBEditTest, TheEditWritesItsFieldOnLeavingAndThePostStoresIt) {
  EditFixture f;
  bool exited = false;
  QObject::connect(&f.name, &ui::TDBEdit::exited, [&] { exited = true; });
  f.name.setFocus();
  f.name.selectAll();
  TypeText(&f.name, QString::fromUtf8("Élan.mp3"));
  EXPECT_EQ(f.data.Table().State(), dsEdit);
  EXPECT_EQ(f.name.text(), QString::fromUtf8("Élan.mp3"));
  f.memo.setFocus();  // leaving the edit writes the field, without posting
  EXPECT_TRUE(exited);
  EXPECT_EQ(f.data.Table().FieldByName("FileName").AsString(), "\xC9lan.mp3");
  EXPECT_EQ(f.data.Table().State(), dsEdit);
  f.data.Table().Post();
  EXPECT_EQ(f.data.StoredNames(), (std::vector<std::string>{"Élan.mp3", "Plain.mp3"}));
  EXPECT_EQ(f.data.StoredLyric("Élan.mp3"), "Là-bas, l'été — naïve\r\nSecond line");  // untouched
}

TEST(DBEditTest, ATextSetByTheProgramGoesIntoTheRecordItEdits) {
  EditFixture f;
  f.data.Table().Next();
  f.data.Table().Edit();
  f.name.setText("Other.mp3");
  f.data.Table().First();  // the move posts the changed record
  EXPECT_EQ(f.data.StoredNames(), (std::vector<std::string>{"Chanson.mp3", "Other.mp3"}));
  EXPECT_EQ(f.name.text(), "Chanson.mp3");
}

TEST(DBEditTest, ControlsOfAReadOnlySourceTakeNoInput) {
  EditFixture f;
  f.data.Source().SetAutoEdit(false);
  f.name.setFocus();
  QTest::keyClicks(&f.name, "x");
  EXPECT_EQ(f.name.text(), "Chanson.mp3");
  EXPECT_EQ(f.data.Table().State(), dsBrowse);
  f.data.Source().SetAutoEdit(true);
  f.memo.SetReadOnly(true);
  EXPECT_TRUE(f.memo.isReadOnly());
  f.memo.setFocus();
  QTest::keyClicks(&f.memo, "x");
  EXPECT_EQ(f.data.Table().State(), dsBrowse);
}

// Wide strings and wide memos hold UTF-16: any character is shown and stored as it is, in the edit,
// the memo and the grid.
TEST(DBEditTest, WideFieldsShowAndStoreAnyCharacter) {
  LyricFixture data;
  {
    TABSLocalCursor cursor(data.Database().EngineSession());
    cursor.SetTableName("WIDE");
    cursor.CreateTable(*MakeFields({{"Title", dt::kWideString, 20}, {"Words", dt::kWideMemo, 0, 1, 1, 0}}),
                       *MakeIndexes({}), {});
  }
  TABSTable table(nullptr);
  table.SetDatabaseName("UiLyrics");
  table.SetTableName("WIDE");
  table.Open();
  TDataSource source;
  source.SetDataSet(&table);
  ui::TDBEdit title;
  title.SetDataSource(&source);
  title.SetDataField("Title");
  ui::TDBMemo words;
  words.SetDataSource(&source);
  words.SetDataField("Words");
  ui::TDBGrid grid;
  grid.resize(300, 200);
  grid.SetDataSource(&source);
  const QString name = QString::fromUtf8("Ωμέγα 日本");
  const QString text = QString::fromUtf8("Привет, мир\nΚαλημέρα 🎵");
  table.Append();
  title.setText(name);
  words.setPlainText(text);
  table.Post();
  table.Close();
  table.Open();
  EXPECT_EQ(title.text(), name);
  EXPECT_EQ(words.toPlainText(), text);
  EXPECT_EQ(grid.Model()->data(grid.Model()->index(0, 0), Qt::DisplayRole).toString(), name);
  EXPECT_EQ(table.FieldByName("Title").AsWideString(), name.toStdU16String());
}

}  // namespace
}  // namespace viz::testing
