// The record window: a grid reads only the rows it shows, scrolling in both directions and
// jumping; a randomised model of the moves checks position, Bof/Eof and the window after each step.
#include <gtest/gtest.h>

#include <random>

#include "dataset_fixture.h"

namespace viz::test {
namespace {

// A grid's link: it shows BufferCount rows and reads each through the window.
class GridLink : public RecordingLink {
 public:
  //! The IDs of the rows the grid shows, read as a grid draws them.
  std::vector<int> Rows() {
    std::vector<int> ids;
    int active = ActiveRecord();
    for (int row = 0; row < RecordCount(); ++row) {
      SetActiveRecord(row);
      ids.push_back(DataSet()->FieldByName("ID").AsInteger());
    }
    SetActiveRecord(active);
    return ids;
  }
};

std::vector<int> Range(int first, int last) {
  std::vector<int> ids;
  for (int id = first; id <= last; ++id) ids.push_back(id);
  return ids;
}

TEST(DataSetWindowTest, AGridReadsOnlyTheRowsItShows) {
  MemoryDataSet dataSet(NumberedTable(1000));
  TDataSource source;
  source.SetDataSet(&dataSet);
  GridLink grid;
  grid.SetDataSource(&source);
  grid.SetBufferCount(20);
  dataSet.Open();
  EXPECT_EQ(dataSet.reads, 20);
  EXPECT_EQ(grid.Rows(), Range(1, 20));

  for (int step = 0; step < 19; ++step) dataSet.Next();
  EXPECT_EQ(dataSet.reads, 20);  // inside the window nothing is read
  EXPECT_EQ(grid.ActiveRecord(), 19);
  dataSet.Next();
  EXPECT_EQ(dataSet.reads, 21);
  EXPECT_EQ(grid.Rows(), Range(2, 21));
  EXPECT_EQ(grid.ActiveRecord(), 19);

  EXPECT_EQ(dataSet.MoveBy(100), 100);
  EXPECT_EQ(dataSet.reads, 121);
  EXPECT_EQ(dataSet.FieldByName("ID").AsInteger(), 121);
  EXPECT_EQ(grid.Rows(), Range(102, 121));

  EXPECT_EQ(dataSet.MoveBy(-30), -30);  // 19 rows inside the window, then 11 read backwards
  EXPECT_EQ(dataSet.reads, 132);
  EXPECT_EQ(dataSet.FieldByName("ID").AsInteger(), 91);
  EXPECT_EQ(grid.Rows(), Range(91, 110));
  EXPECT_EQ(grid.ActiveRecord(), 0);

  dataSet.Last();
  EXPECT_EQ(dataSet.reads, 152);
  EXPECT_TRUE(dataSet.Eof());
  EXPECT_EQ(grid.Rows(), Range(981, 1000));
  EXPECT_EQ(grid.ActiveRecord(), 19);
  EXPECT_EQ(dataSet.MoveBy(5), 0);
  EXPECT_EQ(dataSet.MoveBy(-2000), -999);
  EXPECT_TRUE(dataSet.Bof());
  EXPECT_EQ(dataSet.FieldByName("ID").AsInteger(), 1);

  // A smaller grid keeps the active record in view; a bigger one reads what it adds.
  dataSet.MoveBy(15);
  grid.SetBufferCount(5);
  EXPECT_EQ(dataSet.BufferCount(), 5);
  EXPECT_EQ(grid.Rows(), Range(12, 16));
  int before = dataSet.reads;
  grid.SetBufferCount(8);
  EXPECT_EQ(dataSet.reads, before + 3);
  EXPECT_EQ(grid.Rows(), Range(12, 19));
  EXPECT_EQ(dataSet.FieldByName("ID").AsInteger(), 16);
}

TEST(DataSetWindowTest, RandomMovesMatchASimpleModel) {
  std::mt19937 random(15);
  for (int round = 0; round < 60; ++round) {
    const int rows = static_cast<int>(random() % 40);
    MemoryDataSet dataSet(NumberedTable(rows));
    TDataSource source;
    source.SetDataSet(&dataSet);
    GridLink grid;
    grid.SetDataSource(&source);
    grid.SetBufferCount(1 + static_cast<int>(random() % 7));
    dataSet.Open();
    int position = 0;  // index of the active row in the model
    bool bof = true, eof = rows == 0;
    std::vector<std::pair<TBookmark, int>> bookmarks;
    for (int step = 0; step < 80; ++step) {
      int choice = static_cast<int>(random() % 7);
      int distance = static_cast<int>(random() % 21) - 10;
      SCOPED_TRACE("round " + std::to_string(round) + " step " + std::to_string(step) + " choice " +
                   std::to_string(choice) + " distance " + std::to_string(distance));
      int readsBefore = dataSet.reads;
      int activeRow = grid.ActiveRecord();
      if (choice == 0) {
        dataSet.First();
        position = 0, bof = true, eof = rows == 0;
      } else if (choice == 1) {
        dataSet.Last();
        position = std::max(rows - 1, 0), eof = true, bof = rows == 0;
      } else if (choice <= 3) {
        int expected = 0;
        if (rows > 0 && ((distance > 0 && !eof) || (distance < 0 && !bof))) {
          bof = eof = false;
          int target = position + distance;
          if (target > rows - 1) target = rows - 1, eof = true;
          if (target < 0) target = 0, bof = true;
          expected = target - position;
          position = target;
        }
        EXPECT_EQ(dataSet.MoveBy(distance), expected);
        if (activeRow + expected >= 0 && activeRow + expected < grid.RecordCount()) {
          EXPECT_EQ(dataSet.reads, readsBefore);  // the target was in the window
        }
      } else if (choice == 4 && rows > 0) {
        bookmarks.emplace_back(dataSet.GetBookmark(), position);
      } else if (choice == 5 && !bookmarks.empty()) {
        auto [bookmark, index] = bookmarks[random() % bookmarks.size()];
        dataSet.GotoBookmark(bookmark);
        position = index, bof = eof = false;
      } else if (choice == 6) {
        grid.SetBufferCount(1 + static_cast<int>(random() % 7));
        if (rows > 0 && random() % 2) {
          int number = 1 + static_cast<int>(random() % (rows + 3));
          dataSet.SetRecNo(number);
          position = std::min(number, rows) - 1, bof = eof = false;
        }
      }
      ASSERT_EQ(dataSet.Bof(), bof);
      ASSERT_EQ(dataSet.Eof(), eof);
      ASSERT_EQ(dataSet.BufferRecordCount(), std::min(rows, dataSet.BufferCount()));
      if (rows == 0) continue;
      ASSERT_EQ(dataSet.FieldByName("ID").AsInteger(), position + 1);
      ASSERT_EQ(dataSet.RecNo(), position + 1);
      std::vector<int> shown = grid.Rows();
      ASSERT_EQ(static_cast<int>(shown.size()), std::min(rows, grid.BufferCount()));
      ASSERT_EQ(shown[grid.ActiveRecord()], position + 1);
      for (size_t row = 1; row < shown.size(); ++row) ASSERT_EQ(shown[row], shown[row - 1] + 1);
    }
  }
}

TEST(DataSetWindowTest, BookmarksSurviveInsertsBeforeThem) {
  MemoryDataSet dataSet(NumberedTable(6));
  dataSet.Open();
  dataSet.MoveBy(4);
  TBookmark five = dataSet.GetBookmark();
  ASSERT_EQ(five.size(), 4u);
  dataSet.Prior();
  TBookmark four = dataSet.GetBookmark();
  dataSet.First();
  for (int id = 100; id < 103; ++id) dataSet.InsertRecord({Variant::FromInteger(id)});
  EXPECT_EQ(Ids(dataSet), (std::vector<int>{102, 101, 100, 1, 2, 3, 4, 5, 6}));
  dataSet.GotoBookmark(five);
  EXPECT_EQ(dataSet.FieldByName("ID").AsInteger(), 5);
  EXPECT_EQ(dataSet.RecNo(), 8);
  EXPECT_LT(dataSet.CompareBookmarks(four, five), 0);
  EXPECT_TRUE(dataSet.BookmarkValid(four));

  dataSet.Insert();
  EXPECT_TRUE(dataSet.GetBookmark().empty());  // a new record has none yet
  dataSet.Cancel();
  dataSet.GotoBookmark(four);
  dataSet.Delete();
  EXPECT_FALSE(dataSet.BookmarkValid(four));
  EXPECT_EQ(ErrorOf([&] { dataSet.GotoBookmark(four); }), "MemoryDataSet1: Record not found");
  EXPECT_EQ(dataSet.FieldByName("ID").AsInteger(), 5);
}

TEST(DataSetWindowTest, RecordNumbersAndCounts) {
  MemoryDataSet dataSet(NumberedTable(5));
  dataSet.Open();
  EXPECT_EQ(dataSet.RecordCount(), 5);
  dataSet.SetRecNo(3);
  EXPECT_EQ(dataSet.FieldByName("ID").AsInteger(), 3);
  dataSet.SetRecNo(50);  // beyond the count: the last record
  EXPECT_EQ(dataSet.FieldByName("ID").AsInteger(), 5);
  EXPECT_EQ(dataSet.RecNo(), 5);
}

}  // namespace
}  // namespace viz::test
