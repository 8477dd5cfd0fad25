// Locate, lookup, filters and the find steps through the framework's hooks and filter state.
#include <gtest/gtest.h>

#include "dataset_fixture.h"

namespace viz::test {
namespace {

using Events = std::vector<std::string>;

int CurrentId(TDataSet& dataSet) {
  return dataSet.FieldByName("ID").AsInteger();
}

TEST(LocateFilterTest, LocateMovesOnlyWhenARecordMatches) {
  MemoryDataSet dataSet(NumberedTable(30));
  dataSet.Open();
  EventLog log(dataSet);
  EXPECT_TRUE(dataSet.Locate("Name", {Variant::FromString("name17")}, loCaseInsensitive));
  EXPECT_EQ(CurrentId(dataSet), 17);
  EXPECT_EQ(log.Take(), (Events{"BeforeScroll", "AfterScroll"}));
  EXPECT_FALSE(dataSet.Locate("Name", {Variant::FromString("name17")}, 0));
  EXPECT_TRUE(log.Take().empty());
  EXPECT_EQ(CurrentId(dataSet), 17);
  EXPECT_TRUE(
      dataSet.Locate("Name;ID", {Variant::FromString("Name2"), Variant::FromInteger(25)}, loPartialKey));
  EXPECT_EQ(CurrentId(dataSet), 25);

  // A pending edit is posted first; lookup reads without moving.
  dataSet.Edit();
  dataSet.FieldByName("Name").SetAsString("Renamed");
  std::vector<Variant> found = dataSet.Lookup("ID", {Variant::FromInteger(3)}, "Name");
  EXPECT_EQ(found, (std::vector<Variant>{Variant::FromString("Name3")}));
  EXPECT_EQ(dataSet.State(), dsEdit);
  EXPECT_TRUE(dataSet.Locate("Name", {Variant::FromString("Renamed")}, 0));
  EXPECT_EQ(CurrentId(dataSet), 25);
  EXPECT_TRUE(dataSet.Lookup("ID", {Variant::FromInteger(99)}, "Name").empty());
}

TEST(LocateFilterTest, FiltersByTextAndByHandler) {
  MemoryDataSet dataSet(NumberedTable(12));
  dataSet.Open();
  dataSet.MoveBy(5);
  dataSet.SetFiltered(true);  // no text, no handler: everything stays, the dataset goes to the start
  EXPECT_EQ(dataSet.RecordCount(), 12);
  EXPECT_EQ(CurrentId(dataSet), 1);

  dataSet.SetOnFilterRecord([](TDataSet& ds, bool& accept) {
    EXPECT_EQ(ds.State(), dsFilter);
    accept = ds.FieldByName("ID").AsInteger() % 3 == 0;
  });
  EXPECT_EQ(dataSet.RecordCount(), 4);
  EXPECT_EQ(CurrentId(dataSet), 3);
  dataSet.Next();
  EXPECT_EQ(CurrentId(dataSet), 6);
  EXPECT_EQ(dataSet.State(), dsBrowse);

  dataSet.SetFilterOptions(foCaseInsensitive);
  dataSet.SetFilterText("Name = NAME9");
  EXPECT_EQ(dataSet.RecordCount(), 1);
  EXPECT_EQ(CurrentId(dataSet), 9);
  EXPECT_EQ(ErrorOf([&] { dataSet.SetFilterText("Nope=1"); }), "MemoryDataSet1: Field 'Nope' not found");
  EXPECT_EQ(dataSet.Filter(), "Name = NAME9");
  EXPECT_EQ(dataSet.RecordCount(), 1);

  // A handler that raises is reported; the flag's value at that moment counts.
  std::vector<std::string> reported;
  auto previous =
      SetApplicationErrorHandler([&](const std::exception& error) { reported.push_back(error.what()); });
  dataSet.SetFilterText("");
  dataSet.SetOnFilterRecord([](TDataSet& ds, bool& accept) {
    accept = ds.FieldByName("ID").AsInteger() <= 2;
    if (ds.FieldByName("ID").AsInteger() == 2) throw EDatabaseError("handler failed");
  });
  EXPECT_EQ(dataSet.RecordCount(), 2);
  SetApplicationErrorHandler(previous);
  EXPECT_FALSE(reported.empty());
  EXPECT_EQ(reported[0], "handler failed");

  dataSet.SetFiltered(false);
  EXPECT_EQ(dataSet.RecordCount(), 12);
}

TEST(LocateFilterTest, FindStepsUseTheFilterEvenWhenNotFiltered) {
  MemoryDataSet dataSet(NumberedTable(10));
  dataSet.SetOnFilterRecord(
      [](TDataSet& ds, bool& accept) { accept = ds.FieldByName("ID").AsInteger() % 4 == 0; });
  dataSet.Open();
  EXPECT_FALSE(dataSet.Filtered());
  EXPECT_EQ(dataSet.RecordCount(), 10);
  EXPECT_TRUE(dataSet.FindFirst());
  EXPECT_TRUE(dataSet.Found());
  EXPECT_EQ(CurrentId(dataSet), 4);
  EXPECT_TRUE(dataSet.FindNext());
  EXPECT_EQ(CurrentId(dataSet), 8);
  EXPECT_FALSE(dataSet.FindNext());
  EXPECT_FALSE(dataSet.Found());
  EXPECT_EQ(CurrentId(dataSet), 8);
  EXPECT_TRUE(dataSet.FindPrior());
  EXPECT_EQ(CurrentId(dataSet), 4);
  EXPECT_TRUE(dataSet.FindLast());
  EXPECT_EQ(CurrentId(dataSet), 8);
  dataSet.First();
  EXPECT_EQ(CurrentId(dataSet), 1);  // the filter was only for the steps
}

}  // namespace
}  // namespace viz::test
