// The dataset's state machine: every transition with its events in order, post and cancel with
// and without changes, delete at both ends, the error events' actions and misuse errors.
#include <gtest/gtest.h>

#include "dataset_fixture.h"
#include "framework/data/field_types.h"

namespace viz::test {
namespace {

using Events = std::vector<std::string>;

TEST(DataSetStateTest, OpenAndCloseRunTheirEventsInOrder) {
  MemoryDataSet dataSet(NumberedTable(3));
  EventLog log(dataSet);
  EXPECT_EQ(dataSet.State(), dsInactive);
  dataSet.Open();
  EXPECT_EQ(dataSet.State(), dsBrowse);
  EXPECT_EQ(log.Take(), (Events{"BeforeOpen", "AfterOpen", "AfterScroll"}));
  EXPECT_TRUE(dataSet.Bof());
  EXPECT_FALSE(dataSet.Eof());
  EXPECT_EQ(dataSet.FieldCount(), 3);
  dataSet.Close();
  EXPECT_EQ(log.Take(), (Events{"BeforeClose", "AfterClose"}));
  EXPECT_EQ(dataSet.FieldCount(), 0);  // default fields go with the close

  MemoryDataSet empty(NumberedTable(0));
  EventLog emptyLog(empty);
  empty.Open();
  EXPECT_EQ(emptyLog.Take(), (Events{"BeforeOpen", "AfterOpen"}));
  EXPECT_TRUE(empty.IsEmpty() && empty.Bof() && empty.Eof());
}

TEST(DataSetStateTest, AFailedOpenLeavesTheDatasetClosed) {
  MemoryDataSet dataSet(NumberedTable(3));
  dataSet.AddField(ftInteger, "Missing");  // a persistent field without a definition
  EXPECT_EQ(ErrorOf([&] { dataSet.Open(); }), "MemoryDataSet1: Field 'Missing' not found");
  EXPECT_FALSE(dataSet.Active());
  EXPECT_EQ(dataSet.FieldCount(), 1);
}

TEST(DataSetStateTest, EditPostAndCancelWithAndWithoutChanges) {
  MemoryDataSet dataSet(NumberedTable(3));
  dataSet.Open();
  EventLog log(dataSet);
  TField& name = dataSet.FieldByName("name");

  dataSet.Edit();
  EXPECT_EQ(dataSet.State(), dsEdit);
  EXPECT_FALSE(dataSet.Modified());
  name.SetAsString("Changed");
  EXPECT_TRUE(dataSet.Modified());
  dataSet.Post();
  EXPECT_EQ(log.Take(), (Events{"BeforeEdit", "AfterEdit", "BeforePost", "AfterPost"}));
  EXPECT_EQ(dataSet.State(), dsBrowse);
  EXPECT_EQ(name.AsString(), "Changed");

  dataSet.Edit();
  name.SetAsString("Dropped");
  dataSet.Cancel();
  EXPECT_EQ(log.Take(), (Events{"BeforeEdit", "AfterEdit", "BeforeCancel", "AfterCancel"}));
  EXPECT_EQ(name.AsString(), "Changed");

  // The browse-mode check posts a changed record and cancels an unchanged one.
  dataSet.Edit();
  dataSet.CheckBrowseMode();
  EXPECT_EQ(log.Take(), (Events{"BeforeEdit", "AfterEdit", "BeforeCancel", "AfterCancel"}));
  dataSet.Edit();
  name.SetAsString("Moved on");
  dataSet.Next();
  EXPECT_EQ(log.Take(),
            (Events{"BeforeEdit", "AfterEdit", "BeforePost", "AfterPost", "BeforeScroll", "AfterScroll"}));
  EXPECT_EQ(name.AsString(), "Name2");
  dataSet.First();
  EXPECT_EQ(name.AsString(), "Moved on");
}

TEST(DataSetStateTest, InsertAndAppendPlaceTheNewRecord) {
  MemoryDataSet dataSet(NumberedTable(3));
  dataSet.OnNewRecord = [](TDataSet& ds) { ds.FieldByName("Name").SetAsString("Default"); };
  dataSet.Open();
  dataSet.Next();  // on ID 2
  EventLog log(dataSet);
  dataSet.OnNewRecord = [&](TDataSet& ds) {
    log.events.push_back("OnNewRecord");
    ds.FieldByName("Name").SetAsString("Default");
  };

  dataSet.Insert();
  EXPECT_EQ(log.Take(),
            (Events{"BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll"}));
  EXPECT_EQ(dataSet.State(), dsInsert);
  EXPECT_EQ(dataSet.RecNo(), -1);
  EXPECT_FALSE(dataSet.Modified());  // values of OnNewRecord alone do not count as a change
  EXPECT_EQ(dataSet.FieldByName("Name").AsString(), "Default");
  dataSet.FieldByName("ID").SetAsInteger(10);
  dataSet.Post();
  EXPECT_EQ(log.Take(), (Events{"BeforePost", "AfterPost"}));
  EXPECT_EQ(Ids(dataSet), (std::vector<int>{1, 10, 2, 3}));
  EXPECT_EQ(dataSet.FieldByName("ID").AsInteger(), 10);

  dataSet.Insert();
  dataSet.Cancel();
  EXPECT_EQ(log.Take(), (Events{"BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll",
                                "BeforeCancel", "BeforeScroll", "AfterCancel", "AfterScroll"}));
  EXPECT_EQ(dataSet.FieldByName("ID").AsInteger(), 10);

  // Cancel at the last record rebuilds the window as Post, GotoBookmark and SetRecNo do, which
  // clears Eof (true only after Last or a forward move that met the end); Next then stays put.
  dataSet.Last();
  dataSet.Append();
  dataSet.Cancel();
  EXPECT_FALSE(dataSet.Eof());
  EXPECT_EQ(dataSet.MoveBy(1), 0);
  EXPECT_TRUE(dataSet.Eof());
  EXPECT_EQ(dataSet.FieldByName("ID").AsInteger(), 3);

  // An unchanged new record is dropped by the browse-mode check; a changed one is posted.
  dataSet.Insert();
  dataSet.First();
  EXPECT_EQ(Ids(dataSet).size(), 4u);
  dataSet.Append();
  EXPECT_TRUE(dataSet.Eof());
  dataSet.FieldByName("ID").SetAsInteger(20);
  dataSet.First();
  EXPECT_EQ(Ids(dataSet), (std::vector<int>{1, 10, 2, 3, 20}));

  // Edit on an empty dataset inserts.
  MemoryDataSet empty(NumberedTable(0));
  empty.Open();
  empty.Edit();
  EXPECT_EQ(empty.State(), dsInsert);
  empty.FieldByName("ID").SetAsInteger(1);
  empty.Post();
  EXPECT_EQ(Ids(empty), (std::vector<int>{1}));
  empty.InsertRecord({Variant::FromInteger(7), Variant::FromString("Seven")});
  EXPECT_EQ(Ids(empty), (std::vector<int>{7, 1}));
  empty.AppendRecord({Variant::FromInteger(8)});
  EXPECT_EQ(Ids(empty), (std::vector<int>{7, 1, 8}));
}

TEST(DataSetStateTest, DeleteAtTheStartAndAtTheEnd) {
  MemoryDataSet dataSet(NumberedTable(4));
  dataSet.Open();
  EventLog log(dataSet);
  dataSet.Delete();
  EXPECT_EQ(log.Take(), (Events{"BeforeDelete", "BeforeScroll", "AfterDelete", "AfterScroll"}));
  EXPECT_EQ(dataSet.FieldByName("ID").AsInteger(), 2);
  dataSet.Last();
  dataSet.Delete();
  EXPECT_EQ(dataSet.FieldByName("ID").AsInteger(), 3);  // the record before the deleted last one
  EXPECT_EQ(Ids(dataSet), (std::vector<int>{2, 3}));
  dataSet.Edit();  // delete in edit state deletes the record being edited
  dataSet.Delete();
  dataSet.Delete();
  EXPECT_TRUE(dataSet.IsEmpty());
  EXPECT_EQ(ErrorOf([&] { dataSet.Delete(); }),
            "MemoryDataSet1: Cannot perform this operation on an empty dataset");
  dataSet.Insert();
  dataSet.Delete();  // deleting a new record cancels it
  EXPECT_EQ(dataSet.State(), dsBrowse);
  EXPECT_TRUE(Ids(dataSet).empty());
}

TEST(DataSetStateTest, ErrorEventsDecideBetweenFailAbortAndRetry) {
  struct Case {
    const char* operation;
    TDataAction action;
  };
  for (Case c : {Case{"edit", daFail}, Case{"edit", daAbort}, Case{"edit", daRetry}, Case{"post", daFail},
                 Case{"post", daAbort}, Case{"post", daRetry}, Case{"delete", daFail},
                 Case{"delete", daAbort}, Case{"delete", daRetry}}) {
    SCOPED_TRACE(std::string(c.operation) + " " + std::to_string(c.action));
    MemoryDataSet dataSet(NumberedTable(3));
    dataSet.Open();
    int calls = 0;
    std::string seen;
    auto handler = [&](TDataSet&, EDatabaseError& error, TDataAction& action) {
      ++calls;
      seen = error.what();
      action = c.action;
    };
    std::string op = c.operation;
    if (op == "post") {
      dataSet.Edit();
      dataSet.FieldByName("Name").SetAsString("x");
    }
    (op == "edit" ? dataSet.failEdits : op == "post" ? dataSet.failPosts : dataSet.failDeletes) = 2;
    dataSet.OnEditError = dataSet.OnPostError = dataSet.OnDeleteError = handler;
    auto run = [&] { op == "edit" ? dataSet.Edit() : op == "post" ? dataSet.Post() : dataSet.Delete(); };
    if (c.action == daFail) {
      EXPECT_EQ(ErrorOf(run), "MemoryDataSet1: Record is locked");
    } else if (c.action == daAbort) {
      EXPECT_THROW(run(), EAbort);
    } else {
      run();
    }
    EXPECT_EQ(seen, "MemoryDataSet1: Record is locked");
    EXPECT_EQ(calls, c.action == daRetry ? 2 : 1);
    TDataSetState expected = op == "post" && c.action != daRetry   ? dsEdit
                             : op == "edit" && c.action == daRetry ? dsEdit
                                                                   : dsBrowse;
    EXPECT_EQ(dataSet.State(), expected);
    if (op == "delete") {
      EXPECT_EQ(Ids(dataSet).size(), c.action == daRetry ? 2u : 3u);
    }
  }
}

TEST(DataSetStateTest, ClosingAnEditCancelsItThroughTheDescendant) {
  MemoryDataSet dataSet(NumberedTable(2));
  dataSet.Open();
  EventLog log(dataSet);
  dataSet.Edit();
  dataSet.FieldByName("Name").SetAsString("Unsaved");
  log.Take();
  dataSet.Close();
  EXPECT_EQ(log.Take(), (Events{"BeforeClose", "AfterClose"}));
  EXPECT_EQ(dataSet.cancels, 1);
  dataSet.Open();
  EXPECT_EQ(dataSet.FieldByName("Name").AsString(), "Name1");
}

TEST(DataSetStateTest, KeyEditingIsPostedOrCancelled) {
  MemoryDataSet dataSet(NumberedTable(2));
  dataSet.Open();
  dataSet.EditKey();
  EXPECT_EQ(dataSet.State(), dsSetKey);
  dataSet.FieldByName("ID").SetAsInteger(42);
  EXPECT_TRUE(dataSet.Modified());
  dataSet.Post();
  EXPECT_EQ(dataSet.State(), dsBrowse);
  ASSERT_TRUE(dataSet.KeyValue());
  EXPECT_EQ(*reinterpret_cast<const int32_t*>(dataSet.KeyValue()->data()), 42);
  EXPECT_EQ(dataSet.FieldByName("ID").AsInteger(), 1);  // the record was not touched

  dataSet.EditKey();
  dataSet.FieldByName("ID").SetAsInteger(7);
  dataSet.Next();  // the browse-mode check ends a key edit by posting it
  EXPECT_EQ(*reinterpret_cast<const int32_t*>(dataSet.KeyValue()->data()), 7);
  dataSet.EditKey();
  dataSet.FieldByName("ID").SetAsInteger(9);
  dataSet.Cancel();
  EXPECT_EQ(*reinterpret_cast<const int32_t*>(dataSet.KeyValue()->data()), 7);
}

TEST(DataSetStateTest, MisuseIsReportedWithTheComponentName) {
  auto table = NumberedTable(2);
  table->columns[1].Required = true;
  MemoryDataSet dataSet(table);
  EXPECT_EQ(ErrorOf([&] { dataSet.First(); }),
            "MemoryDataSet1: Cannot perform this operation on a closed dataset");
  EXPECT_EQ(ErrorOf([&] { dataSet.Edit(); }),
            "MemoryDataSet1: Cannot perform this operation on a closed dataset");
  EXPECT_EQ(ErrorOf([&] { dataSet.RecNo(); }),
            "MemoryDataSet1: Cannot perform this operation on a closed dataset");
  EXPECT_EQ(ErrorOf([&] { dataSet.FieldDefs().Find("ID"); }), "MemoryDataSet1: Field 'ID' not found");
  TField& persistent = dataSet.AddField(ftInteger, "ID");
  EXPECT_EQ(ErrorOf([&] { persistent.AsInteger(); }),
            "MemoryDataSet1: Cannot perform this operation on a closed dataset");
  EXPECT_EQ(ErrorOf([&] { dataSet.AddField(ftInteger, "id"); }), "MemoryDataSet1: Duplicate field name 'id'");
  dataSet.RemoveField(persistent);
  dataSet.Open();

  TField& id = dataSet.FieldByName("ID");
  TField& name = dataSet.FieldByName("Name");
  EXPECT_EQ(ErrorOf([&] { dataSet.FieldByName("Nope"); }), "MemoryDataSet1: Field 'Nope' not found");
  EXPECT_EQ(ErrorOf([&] { dataSet.GetFieldList("ID;Nope"); }), "MemoryDataSet1: Field 'Nope' not found");
  EXPECT_EQ(ErrorOf([&] { dataSet.Post(); }), "MemoryDataSet1: Dataset not in edit or insert mode");
  EXPECT_EQ(ErrorOf([&] { name.SetAsString("x"); }), "MemoryDataSet1: Dataset not in edit or insert mode");
  EXPECT_EQ(ErrorOf([&] { dataSet.AddField(ftInteger, "Extra"); }),
            "MemoryDataSet1: Cannot perform this operation on an open dataset");
  EXPECT_EQ(ErrorOf([&] { id.SetFieldName("Other"); }),
            "MemoryDataSet1: Cannot perform this operation on an open dataset");
  EXPECT_EQ(ErrorOf([&] { id.AsBoolean(); }), "MemoryDataSet1: Cannot access field 'ID' as type Boolean");
  EXPECT_EQ(ErrorOf([&] { dataSet.FieldDefs().Find("Nope"); }), "MemoryDataSet1: Field 'Nope' not found");

  dataSet.Edit();
  EXPECT_EQ(ErrorOf([&] { id.SetAsString("12x"); }),
            "MemoryDataSet1: '12x' is not a valid integer value for field 'ID'");
  id.SetReadOnly(true);
  EXPECT_EQ(ErrorOf([&] { id.SetAsInteger(5); }), "MemoryDataSet1: Field 'ID' cannot be modified");
  name.Clear();
  EXPECT_EQ(ErrorOf([&] { dataSet.Post(); }), "MemoryDataSet1: Field 'Name' must have a value");
  EXPECT_EQ(dataSet.State(), dsEdit);
  dataSet.Cancel();

  dataSet.SetReadOnly(true);
  EXPECT_EQ(ErrorOf([&] { dataSet.Edit(); }), "MemoryDataSet1: Cannot modify a read-only dataset");
  EXPECT_EQ(ErrorOf([&] { dataSet.Insert(); }), "MemoryDataSet1: Cannot modify a read-only dataset");
  EXPECT_FALSE(name.CanModify());
}

}  // namespace
}  // namespace viz::test
