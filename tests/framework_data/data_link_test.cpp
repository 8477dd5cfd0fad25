// Data sources and links: the notifications a grid receives for each action, single-field links
// as an edit or a memo uses them, master links, disabled controls and circular links.
#include <gtest/gtest.h>

#include "dataset_fixture.h"

namespace viz::test {
namespace {

using Calls = std::vector<std::string>;

class DetailDataSet : public MemoryDataSet {
 public:
  using MemoryDataSet::MemoryDataSet;
  TDataSource* master = nullptr;
  TDataSource* GetDataSource() const override { return master; }
};

struct Linked {
  MemoryDataSet dataSet{NumberedTable(10)};
  TDataSource source;
  RecordingLink grid;    // five rows
  RecordingLink single;  // one row, like an edit
  Linked() {
    source.SetDataSet(&dataSet);
    grid.SetDataSource(&source);
    grid.SetBufferCount(5);
    single.SetDataSource(&source);
  }
};

TEST(DataLinkTest, AGridHearsExactlyWhatEachActionChanges) {
  Linked linked;
  TDataSet& ds = linked.dataSet;
  RecordingLink& grid = linked.grid;
  RecordingLink& single = linked.single;
  struct Step {
    const char* action;
    std::function<void()> run;
    Calls grid;
    Calls single;
  };
  TField* name = nullptr;
  std::vector<Step> steps = {
      {"open",
       [&] { ds.Open(), name = &ds.FieldByName("Name"); },
       {"ActiveChanged(on)"},
       {"ActiveChanged(on)"}},
      {"next inside the window", [&] { ds.Next(); }, {"DataSetScrolled(0)"}, {"DataSetScrolled(1)"}},
      {"move to the window's end", [&] { ds.MoveBy(3); }, {"DataSetScrolled(0)"}, {"DataSetScrolled(3)"}},
      {"next past it", [&] { ds.Next(); }, {"DataSetScrolled(1)"}, {"DataSetScrolled(1)"}},
      {"jump back past the start",
       [&] { EXPECT_EQ(ds.MoveBy(-6), -5); },
       {"DataSetScrolled(-1)"},
       {"DataSetScrolled(-5)"}},
      {"edit",
       [&] { ds.Edit(); },
       {"EditingChanged(on)", "RecordChanged"},
       {"EditingChanged(on)", "RecordChanged"}},
      {"change a field", [&] { name->SetAsString("x"); }, {"RecordChanged(Name)"}, {"RecordChanged(Name)"}},
      {"post",
       [&] { ds.Post(); },
       {"UpdateData", "EditingChanged(off)", "DataSetChanged"},
       {"UpdateData", "EditingChanged(off)", "DataSetChanged"}},
      {"insert",
       [&] { ds.Insert(); },
       {"EditingChanged(on)", "DataSetChanged"},
       {"EditingChanged(on)", "DataSetChanged"}},
      {"cancel",
       [&] { ds.Cancel(); },
       {"EditingChanged(off)", "DataSetChanged"},
       {"EditingChanged(off)", "DataSetChanged"}},
      {"delete", [&] { ds.Delete(); }, {"DataSetChanged"}, {"DataSetChanged"}},
      {"last", [&] { ds.Last(); }, {"DataSetChanged"}, {"DataSetChanged"}},
      {"refresh", [&] { ds.Refresh(); }, {"DataSetChanged"}, {"DataSetChanged"}},
      {"relabel a field", [&] { name->SetDisplayLabel("Title"); }, {"LayoutChanged"}, {"LayoutChanged"}},
      {"disabled controls",
       [&] {
         ds.DisableControls();
         ds.First();
         ds.Next();
         ds.Edit();
         ds.EnableControls();
       },
       {"EditingChanged(on)", "DataSetChanged"},
       {"EditingChanged(on)", "DataSetChanged"}},
      {"source disabled",
       [&] { ds.Cancel(), grid.Take(), single.Take(), linked.source.SetEnabled(false); },
       {"ActiveChanged(off)"},
       {"ActiveChanged(off)"}},
      {"source enabled",
       [&] { linked.source.SetEnabled(true); },
       {"ActiveChanged(on)"},
       {"ActiveChanged(on)"}},
      {"close", [&] { ds.Close(); }, {"ActiveChanged(off)"}, {"ActiveChanged(off)"}},
  };
  for (Step& step : steps) {
    SCOPED_TRACE(step.action);
    grid.Take();
    single.Take();
    step.run();
    EXPECT_EQ(grid.Take(), step.grid);
    EXPECT_EQ(single.Take(), step.single);
  }
}

TEST(DataLinkTest, LinksFollowTheirSourcesAndTheirOwnLifetime) {
  auto dataSet = std::make_unique<MemoryDataSet>(NumberedTable(3));
  auto source = std::make_unique<TDataSource>();
  source->SetDataSet(dataSet.get());
  RecordingLink link;
  link.SetDataSource(source.get());
  dataSet->Open();
  EXPECT_TRUE(link.Active());
  std::vector<TDataSetState> states;
  source->OnStateChange = [&](TDataSource& s) { states.push_back(s.State()); };
  int dataChanges = 0;
  source->OnDataChange = [&](TDataSource&, TField*) { ++dataChanges; };
  dataSet->Edit();
  dataSet->Cancel();
  EXPECT_EQ(states, (std::vector<TDataSetState>{dsEdit, dsBrowse}));
  EXPECT_EQ(dataChanges, 2);  // the record change of the edit, the rebuilt window of the cancel
  {
    RecordingLink grid;
    grid.SetDataSource(source.get());
    grid.SetBufferCount(3);
    EXPECT_EQ(dataSet->BufferCount(), 3);
  }
  EXPECT_EQ(dataSet->BufferCount(), 1);  // a destroyed link no longer counts
  source.reset();
  EXPECT_FALSE(link.Active());
  EXPECT_EQ(link.DataSource(), nullptr);
  link.Take();
  source = std::make_unique<TDataSource>();
  source->SetDataSet(dataSet.get());
  link.SetDataSource(source.get());
  EXPECT_EQ(link.Take(), (Calls{"ActiveChanged(on)"}));
  dataSet->Close();
  dataSet.reset();  // a destroyed dataset leaves its sources without one
  EXPECT_EQ(source->DataSet(), nullptr);
  EXPECT_FALSE(link.Active());
}

// A link leaving its source while the dataset edits hears the edit end and may ask where the
// dataset stands: it answers as a link without a dataset.
TEST(DataLinkTest, ALinkLeavingWhileTheDatasetEditsMayStillAskItsPlace) {
  MemoryDataSet dataSet(NumberedTable(3));
  TDataSource source;
  source.SetDataSet(&dataSet);
  struct AskingLink : TDataLink {
    std::vector<int> seen;
    void EditingChanged() override { seen.insert(seen.end(), {ActiveRecord(), RecordCount(), Bof(), Eof()}); }
  } link;
  link.SetDataSource(&source);
  dataSet.Open();
  dataSet.Next();
  dataSet.Edit();
  link.SetDataSource(nullptr);
  EXPECT_EQ(link.seen, (std::vector<int>{0, 1, 0, 0, 0, 0, 1, 1}));
  EXPECT_EQ(dataSet.State(), dsEdit);
}

TEST(DataLinkTest, AFieldLinkShowsAndWritesOneField) {
  MemoryDataSet dataSet(NumberedTable(3));
  TDataSource source;
  source.SetDataSet(&dataSet);
  TFieldDataLink link;
  link.SetDataSource(&source);
  link.SetFieldName("name");
  std::string shown;
  std::string typed;
  link.OnDataChange = [&] { shown = link.Field() ? link.Field()->AsString() : "<none>"; };
  link.OnUpdateData = [&] { link.Field()->SetAsString(typed); };
  int editingChanges = 0;
  link.OnEditingChange = [&] { ++editingChanges; };
  dataSet.Open();
  EXPECT_EQ(shown, "Name1");
  dataSet.Next();
  EXPECT_EQ(shown, "Name2");

  // The user types: the control starts the edit through its link and writes when the dataset posts.
  EXPECT_TRUE(link.Edit());
  EXPECT_EQ(editingChanges, 1);
  typed = "Typed";
  link.Modified();
  dataSet.Post();
  EXPECT_EQ(shown, "Typed");
  EXPECT_FALSE(link.IsModified());
  EXPECT_EQ(dataSet.Table().rows[1].values[1]->c_str(), std::string("Typed"));

  // The browse-mode check collects a pending edit and posts it.
  link.Edit();
  typed = "Again";
  link.Modified();
  dataSet.First();
  EXPECT_EQ(dataSet.Table().rows[1].values[1]->c_str(), std::string("Again"));

  source.SetAutoEdit(false);
  EXPECT_FALSE(link.Edit());
  link.SetFieldName("Nope");
  EXPECT_EQ(link.Field(), nullptr);
  EXPECT_EQ(shown, "<none>");
}

TEST(DataLinkTest, AMasterLinkTellsTheDetailOfRecordChanges) {
  MemoryDataSet master(NumberedTable(4), "Master");
  TDataSource source;
  source.SetDataSet(&master);
  DetailDataSet detail(NumberedTable(2), "Detail");
  TMasterDataLink link(&detail);
  link.SetFieldNames("ID");
  int changes = 0, disables = 0;
  link.OnMasterChange = [&] { ++changes; };
  link.OnMasterDisable = [&] { ++disables; };
  link.SetDataSource(&source);
  master.Open();
  EXPECT_EQ(changes, 1);
  ASSERT_EQ(link.Fields().size(), 1u);
  EXPECT_EQ(link.Fields()[0], &master.FieldByName("ID"));
  master.Next();
  master.Last();
  EXPECT_EQ(changes, 3);
  master.Edit();
  master.FieldByName("Name").SetAsString("not a link field");
  EXPECT_EQ(changes, 4);  // the edit's record change, not the field's
  master.FieldByName("ID").SetAsInteger(44);
  EXPECT_EQ(changes, 5);
  master.Cancel();
  master.Close();
  EXPECT_EQ(disables, 1);
}

TEST(DataLinkTest, CircularLinksAreRefused) {
  MemoryDataSet a(NumberedTable(1), "A");
  DetailDataSet b(NumberedTable(1), "B");
  TDataSource sourceA;
  sourceA.SetName("SourceA");
  sourceA.SetDataSet(&a);
  b.master = &sourceA;  // B follows A
  TDataSource sourceB;
  sourceB.SetDataSet(&b);
  EXPECT_TRUE(sourceB.IsLinkedTo(&a));
  EXPECT_TRUE(sourceB.IsLinkedTo(&b));
  EXPECT_FALSE(sourceA.IsLinkedTo(&b));
  EXPECT_EQ(ErrorOf([&] { sourceA.SetDataSet(&b); }), "SourceA: Circular datalinks are not allowed");
  EXPECT_EQ(sourceA.DataSet(), &a);
}

}  // namespace
}  // namespace viz::test
