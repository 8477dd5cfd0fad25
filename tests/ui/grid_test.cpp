// The data-aware grid over a real lyric table: the cells it shows, an edited cell posted by a move
// to another row or cancelled by Escape, the keys that move the dataset, and a table of 100,000
// records that opens and scrolls reading only the records in view.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

#include "framework/ui/db_grid.h"
#include "ui/ui_test_support.h"

namespace viz::testing {
namespace {

const std::vector<LyricRow> kRows = {
    {"Bravo.mp3", "second", 2}, {"Alpha.mp3", "first", 1}, {"Café.mp3", "été", 3}, {"Delta.mp3", "", 4}};

QString Cell(ui::TDBGrid& grid, int row, int column) {
  return grid.Model()->data(grid.Model()->index(row, column), Qt::DisplayRole).toString();
}

// Opens the editor of the current cell as F2 does; the editor shown, or null.
QLineEdit* OpenCellEditor(QTableView& view) {
  QTest::keyClick(&view, Qt::Key_F2);
  for (QLineEdit* editor : view.findChildren<QLineEdit*>()) {
    if (editor->isVisible()) return editor;
  }
  return nullptr;
}

struct GridFixture {
  explicit GridFixture(const std::vector<LyricRow>& rows = kRows) : data(rows) {
    grid.resize(420, 260);
    grid.SetDataSource(&data.Source());
    grid.show();
    Pump();
  }
  LyricFixture data;
  ui::TDBGrid grid;
};

TEST(DBGridTest, ShowsTheFieldsAndRecordsInIndexOrder) {
  GridFixture f;
  ui::TDBGridModel& model = *f.grid.Model();
  ASSERT_EQ(model.columnCount(), 3);
  EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "FileName");
  EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "TheLyric");
  EXPECT_EQ(model.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "Plays");
  ASSERT_EQ(model.rowCount(), 4);
  const std::vector<std::vector<QString>> expected = {{"Alpha.mp3", "(MEMO)", "1"},
                                                      {"Bravo.mp3", "(MEMO)", "2"},
                                                      {"Café.mp3", "(MEMO)", "3"},
                                                      {"Delta.mp3", "", "4"}};  // a NULL memo shows nothing
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 3; ++column) EXPECT_EQ(Cell(f.grid, row, column), expected[row][column]);
  }
  // The row indicator marks the current record; the memo column cannot be edited in place.
  EXPECT_FALSE(model.headerData(0, Qt::Vertical, Qt::DisplayRole).toString().isEmpty());
  EXPECT_TRUE(model.headerData(1, Qt::Vertical, Qt::DisplayRole).toString().isEmpty());
  EXPECT_TRUE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
  EXPECT_FALSE(model.flags(model.index(0, 1)) & Qt::ItemIsEditable);
  // Closing the table empties the grid; opening it fills it again.
  f.data.Table().Close();
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_EQ(model.columnCount(), 0);
  f.data.Table().Open();
  EXPECT_EQ(model.rowCount(), 4);
  EXPECT_EQ(Cell(f.grid, 3, 0), "Delta.mp3");
}

TEST(DBGridTest, ClickingARowMovesTheDataset) {
  GridFixture f;
  QTableView& view = *f.grid.View();
  const QRect cell = view.visualRect(f.grid.Model()->index(2, 0));
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_EQ(f.data.Table().FieldByName("FileName").AsString(), "Caf\xE9.mp3");
  EXPECT_EQ(view.currentIndex().row(), 2);
  // The keys move the dataset, and the current cell follows it.
  QTest::keyClick(&view, Qt::Key_Up);
  EXPECT_EQ(f.data.Table().FieldByName("FileName").AsString(), "Bravo.mp3");
  QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(f.data.Table().FieldByName("FileName").AsString(), "Delta.mp3");
  EXPECT_EQ(view.currentIndex().row(), 3);
  QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(view.currentIndex().row(), 0);
  EXPECT_EQ(f.grid.ScrollBar()->value(), 0);
}

TEST(DBGridTest, AnEditedCellIsPostedWhenTheRowChanges) {
  GridFixture f;
  QTableView& view = *f.grid.View();
  view.setFocus();
  view.setCurrentIndex(f.grid.Model()->index(1, 0));  // Bravo.mp3
  auto* editor = OpenCellEditor(view);
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClicks(editor, "Bravissimo.mp3");
  // The first key put the dataset into edit mode; the row indicator says so.
  EXPECT_EQ(f.data.Table().State(), dsEdit);
  EXPECT_EQ(f.grid.Model()->headerData(1, Qt::Vertical, Qt::DisplayRole).toString(), "I");
  // Moving down leaves the edited row: the change is posted.
  QTest::keyClick(editor, Qt::Key_Down);
  EXPECT_EQ(f.data.Table().State(), dsBrowse);
  EXPECT_EQ(f.data.StoredNames(),
            (std::vector<std::string>{"Alpha.mp3", "Bravissimo.mp3", "Café.mp3", "Delta.mp3"}));

  // An integer cell written through the model, then the click on another row posts it.
  ASSERT_TRUE(f.grid.Model()->setData(f.grid.Model()->index(0, 2), "41", Qt::EditRole));
  EXPECT_EQ(f.data.Table().State(), dsEdit);
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                    view.visualRect(f.grid.Model()->index(3, 0)).center());
  EXPECT_EQ(f.data.Table().State(), dsBrowse);
  f.data.Table().First();
  EXPECT_EQ(f.data.Table().FieldByName("Plays").AsInteger(), 41);
  EXPECT_EQ(Cell(f.grid, 0, 2), "41");
}

TEST(DBGridTest, EscapeCancelsTheEditAndAFailedPostIsReported) {
  GridFixture f;
  ReportedErrors errors;
  QTableView& view = *f.grid.View();
  view.setFocus();
  view.setCurrentIndex(f.grid.Model()->index(0, 0));
  auto* editor = OpenCellEditor(view);
  ASSERT_NE(editor, nullptr);
  QTest::keyClicks(editor, "XYZ");
  QTest::keyClick(editor, Qt::Key_Escape);  // closes the editor
  EXPECT_EQ(f.data.Table().State(), dsEdit);
  QTest::keyClick(&view, Qt::Key_Escape);  // cancels the record's edit
  EXPECT_EQ(f.data.Table().State(), dsBrowse);
  EXPECT_EQ(f.data.StoredNames().front(), "Alpha.mp3");

  // Text that does not fit the field: the error is reported and the edit stays open.
  ASSERT_TRUE(f.grid.Model()->setData(f.grid.Model()->index(0, 2), "7", Qt::EditRole));
  EXPECT_FALSE(f.grid.Model()->setData(f.grid.Model()->index(0, 0), QString(60, 'x'), Qt::EditRole));
  ASSERT_EQ(errors.messages.size(), 1u);
  EXPECT_EQ(f.data.Table().State(), dsEdit);
  f.data.Table().Cancel();
}

TEST(DBGridTest, APostFromElsewhereTakesTheOpenCellAndAutoEditOffKeepsTheGridFromEditing) {
  GridFixture f;
  QTableView& view = *f.grid.View();
  view.setFocus();
  view.setCurrentIndex(f.grid.Model()->index(3, 0));  // Delta.mp3
  auto* editor = OpenCellEditor(view);
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClicks(editor, "Echo.mp3");
  f.data.Table().Post();  // as the navigator's post button does: the cell still open is written first
  EXPECT_EQ(f.data.StoredNames().back(), "Echo.mp3");
  Pump();

  f.data.Source().SetAutoEdit(false);
  view.setCurrentIndex(f.grid.Model()->index(0, 0));
  editor = OpenCellEditor(view);
  ASSERT_NE(editor, nullptr);
  QTest::keyClicks(editor, "Z");
  EXPECT_EQ(f.data.Table().State(), dsBrowse);
  Pump();
  EXPECT_EQ(f.data.StoredNames().front(), "Alpha.mp3");
}

TEST(DBGridTest, InsertKeyStartsANewRecordThatIsPostedInIndexOrder) {
  GridFixture f;
  QTableView& view = *f.grid.View();
  view.setFocus();
  QTest::keyClick(&view, Qt::Key_Insert);
  EXPECT_EQ(f.data.Table().State(), dsInsert);
  EXPECT_EQ(f.grid.Model()->rowCount(), 5);
  const int row = f.grid.Link().ActiveRecord();
  EXPECT_EQ(f.grid.Model()->headerData(row, Qt::Vertical, Qt::DisplayRole).toString(), "*");
  ASSERT_TRUE(f.grid.Model()->setData(f.grid.Model()->index(row, 0), "Aaron.mp3", Qt::EditRole));
  f.data.Table().Post();
  EXPECT_EQ(f.data.StoredNames().front(), "Aaron.mp3");
  EXPECT_EQ(f.grid.Model()->rowCount(), 5);
  // Down on the last record appends one; moving up again without a change drops it.
  QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
  QTest::keyClick(&view, Qt::Key_Down);
  EXPECT_EQ(f.data.Table().State(), dsInsert);
  EXPECT_EQ(f.grid.Model()->rowCount(), 6);
  QTest::keyClick(&view, Qt::Key_Up);
  EXPECT_EQ(f.data.Table().State(), dsBrowse);
  EXPECT_EQ(f.grid.Model()->rowCount(), 5);
  EXPECT_EQ(f.data.StoredNames().size(), 5u);
}

TEST(DBGridTest, ControlsGoAwayWhileTheDatasetEdits) {
  LyricFixture data(kRows);
  data.Table().Edit();
  for (int round = 0; round < 2; ++round) {
    auto grid = std::make_unique<ui::TDBGrid>();
    grid->SetDataSource(&data.Source());
    grid->show();
    Pump();
  }
  EXPECT_EQ(data.Table().State(), dsEdit);
  data.Table().Cancel();
}

TEST(DBGridTest, AHundredThousandRecordsOpenAndScrollReadingOnlyTheRowsInView) {
  LyricFixture data;
  data.AddNumberedRows(100000);
  ui::TDBGrid grid;
  grid.resize(420, 400);
  data.Table().reads = 0;
  const int64_t pagesBefore = data.PageRequests();
  grid.SetDataSource(&data.Source());
  grid.show();
  Pump();
  const int visible = grid.VisibleRowCount();
  ASSERT_GT(visible, 5);
  ASSERT_EQ(grid.Model()->rowCount(), visible);
  EXPECT_EQ(Cell(grid, 0, 0), "Track000001.mp3");
  EXPECT_EQ(Cell(grid, visible - 1, 0), QString::asprintf("Track%06d.mp3", visible));
  EXPECT_LE(data.Table().reads, 2 * visible + 2);
  EXPECT_EQ(grid.ScrollBar()->maximum(), 99999);

  // Ten pages down, to the end, and one step back: each reads about what it brings into view.
  QTableView& view = *grid.View();
  view.setFocus();
  data.Table().reads = 0;
  for (int page = 0; page < 10; ++page) QTest::keyClick(&view, Qt::Key_PageDown);
  EXPECT_LE(data.Table().reads, 10 * visible + 20);
  QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(Cell(grid, visible - 1, 0), "Track100000.mp3");
  EXPECT_EQ(grid.ScrollBar()->value(), 99999);
  QTest::keyClick(&view, Qt::Key_Up);
  EXPECT_EQ(data.Table().FieldByName("Plays").AsInteger(), 99999);
  EXPECT_EQ(grid.ScrollBar()->value(), 99998);
  EXPECT_LE(data.Table().reads, 12 * visible + 20);
  // The tour asked for a small part of the pages a walk over the table needs (two per record).
  EXPECT_LT(data.PageRequests() - pagesBefore, 1000);

  // Dragging the scroll bar to the middle goes to that record number, reading one window.
  data.Table().reads = 0;
  grid.ScrollBar()->setSliderPosition(49999);
  grid.ScrollBar()->triggerAction(QAbstractSlider::SliderMove);
  EXPECT_EQ(data.Table().FieldByName("Plays").AsInteger(), 50000);
  EXPECT_EQ(grid.ScrollBar()->value(), 49999);
  EXPECT_LE(data.Table().reads, 2 * visible + 2);
  QTest::keyClick(&view, Qt::Key_Down);
  EXPECT_EQ(grid.ScrollBar()->value(), 50000);
}

}  // namespace
}  // namespace viz::testing
