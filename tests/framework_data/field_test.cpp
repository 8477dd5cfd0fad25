// Field objects: typed access of every field class, BLOB and memo fields through their streams,
// calculated and lookup fields, and the field and index definitions.
#include <gtest/gtest.h>

#include "dataset_fixture.h"
#include "engine/types/data_types.h"
#include "framework/data/blob_field.h"
#include "framework/data/field_types.h"

namespace viz::test {
namespace {

std::shared_ptr<MemoryTable> AllTypesTable() {
  auto table = std::make_shared<MemoryTable>();
  table->AddColumn("S", ftString, 5);
  table->AddColumn("W", ftWideString, 5);
  table->AddColumn("I16", ftSmallint);
  table->AddColumn("U16", ftWord);
  table->AddColumn("I32", ftInteger);
  table->AddColumn("I64", ftLargeint);
  table->AddColumn("F", ftFloat);
  table->AddColumn("C", ftCurrency);
  table->AddColumn("B", ftBoolean);
  table->AddColumn("D", ftDate);
  table->AddColumn("T", ftTime);
  table->AddColumn("DT", ftDateTime);
  table->AddColumn("TS", ftTimeStamp);
  table->AddColumn("BY", ftBytes, 3);
  table->AddColumn("VB", ftVarBytes, 4);
  table->AddColumn("G", ftGuid);
  return table;
}

TEST(FieldTest, TypedAccessOfEveryFieldClass) {
  MemoryDataSet dataSet(AllTypesTable());
  dataSet.Open();
  dataSet.Insert();
  struct Case {
    const char* field;
    std::function<void(TField&)> set;
    std::string text;      // AsString afterwards ("!" + message when the setter raises)
    uint16_t variantKind;  // AsVariant's kind
  };
  const TDateTime day = *EncodeDate(2006, 5, 31);
  const TDateTime time = *EncodeTime(7, 5, 9, 250);
  const std::vector<Case> cases = {
      {"S", [](TField& f) { f.SetAsString("abcdefg"); }, "abcde", vk::kString},
      {"S", [](TField& f) { f.SetAsInteger(42); }, "42", vk::kString},
      {"S", [](TField& f) { f.SetAsFloat(2.5); }, "2.5", vk::kString},
      {"S", [](TField& f) { f.SetAsBoolean(true); }, "True", vk::kString},
      {"S", [](TField& f) { f.SetAsVariant(Variant::FromDouble(3)); }, "3", vk::kString},
      {"W", [](TField& f) { f.SetAsWideString(u"h\u00e9llo\u4e16"); }, "h\xe9llo", vk::kWideString},
      {"I16", [](TField& f) { f.SetAsInteger(-5); }, "-5", vk::kSmallint},
      {"I16", [](TField& f) { f.SetAsInteger(40000); },
       "!MemoryDataSet1: 40000 is not a valid value for field 'I16'. The allowed range is -32768 to 32767",
       0},
      {"U16", [](TField& f) { f.SetAsString(" 65535 "); }, "65535", vk::kInteger},
      {"U16", [](TField& f) { f.SetAsInteger(-1); },
       "!MemoryDataSet1: -1 is not a valid value for field 'U16'. The allowed range is 0 to 65535", 0},
      {"I32", [](TField& f) { f.SetAsVariant(Variant::FromString("12")); }, "12", vk::kInteger},
      {"I32", [](TField& f) { f.SetAsFloat(2.5); }, "2", vk::kInteger},  // rounded half to even
      {"I32", [](TField& f) { f.SetAsString("x1"); },
       "!MemoryDataSet1: 'x1' is not a valid integer value for field 'I32'", 0},
      {"I64", [](TField& f) { f.SetAsLargeInt(9000000000); }, "9000000000", vk::kInt64},
      {"F", [](TField& f) { f.SetAsString("1e3"); }, "1000", vk::kDouble},
      {"F", [](TField& f) { f.SetAsFloat(0.1); }, "0.1", vk::kDouble},
      {"F", [](TField& f) { f.SetAsString("1,5"); },
       "!MemoryDataSet1: '1,5' is not a valid floating point value for field 'F'", 0},
      {"C", [](TField& f) { f.SetAsFloat(12.25); }, "12.25", vk::kCurrency},
      {"B", [](TField& f) { f.SetAsString("yes"); }, "True", vk::kBoolean},
      {"B", [](TField& f) { f.SetAsVariant(Variant::FromBoolean(false)); }, "False", vk::kBoolean},
      {"B", [](TField& f) { f.SetAsString("maybe"); },
       "!MemoryDataSet1: 'maybe' is not a valid boolean value for field 'B'", 0},
      {"D", [](TField& f) { f.SetAsString("2006-05-31"); }, "2006-05-31", vk::kDate},
      {"T", [](TField& f) { f.SetAsString("07:05:09.250"); }, "07:05:09.250", vk::kDate},
      {"DT", [&](TField& f) { f.SetAsDateTime(day + time); }, "2006-05-31 07:05:09.250", vk::kDate},
      {"DT", [](TField& f) { f.SetAsString("2006-02-30"); },
       "!MemoryDataSet1: '2006-02-30' is not a valid date and time value for field 'DT'", 0},
      {"TS", [](TField& f) { f.SetAsString("1899-12-29 06:00"); }, "1899-12-29 06:00:00", vk::kDate},
      {"BY", [](TField& f) { f.SetAsString("ab"); }, std::string("ab\0", 3), vk::kString},
      {"VB", [](TField& f) { f.SetAsString("xyzzy"); }, "xyzz", vk::kString},
      {"G", [](TField& f) { f.SetAsString("{00000000-0000-0000-0000-000000000001}"); },
       "{00000000-0000-0000-0000-000000000001}", vk::kString},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " -> " + c.text);
    TField& field = dataSet.FieldByName(c.field);
    field.Clear();
    if (c.text[0] == '!') {
      EXPECT_EQ(ErrorOf([&] { c.set(field); }), c.text.substr(1));
      EXPECT_TRUE(field.IsNull());
      continue;
    }
    c.set(field);
    EXPECT_FALSE(field.IsNull());
    EXPECT_EQ(field.AsString(), c.text);
    EXPECT_EQ(field.AsVariant().Kind(), c.variantKind);
    field.Clear();
    EXPECT_TRUE(field.IsNull());
    EXPECT_EQ(field.AsString(), "");
    EXPECT_EQ(field.AsVariant().Kind(), vk::kNull);
    EXPECT_EQ(field.DisplayText(), "");
  }

  // Values survive the post in their native form.
  dataSet.FieldByName("D").SetAsDateTime(day);
  dataSet.FieldByName("TS").SetAsDateTime(day + time);
  dataSet.FieldByName("I64").SetAsLargeInt(-9000000000);
  dataSet.FieldByName("BY").SetAsString("abc");
  dataSet.Post();
  EXPECT_EQ(dataSet.FieldByName("D").AsDateTime(), day);
  EXPECT_NEAR(dataSet.FieldByName("TS").AsDateTime(), day + time, 1e-9);
  EXPECT_EQ(dataSet.FieldByName("I64").AsFloat(), -9e9);
  EXPECT_EQ(ErrorOf([&] { dataSet.FieldByName("I64").AsInteger(); }),
            "MemoryDataSet1: Cannot access field 'I64' as type Integer");
  EXPECT_EQ(dataSet.FieldByName("BY").DisplayText(), "(Bytes)");
  EXPECT_EQ(dataSet.FieldByName("TS").DataSize(), 16);
  EXPECT_EQ(dataSet.FieldByName("W").DataSize(), 12);
  EXPECT_EQ(dataSet.FieldByName("G").Size(), 38);
}

TEST(FieldTest, BlobFieldsAreReadAndWrittenThroughStreams) {
  MemoryDataSet dataSet(NumberedTable(2));
  TDataSource source;
  source.SetDataSet(&dataSet);
  RecordingLink link;
  link.SetDataSource(&source);
  dataSet.Open();
  auto& notes = dynamic_cast<TMemoField&>(dataSet.FieldByName("Notes"));
  EXPECT_TRUE(notes.IsBlob());
  EXPECT_TRUE(notes.IsBlobField());
  EXPECT_FALSE(dataSet.Fields()[0].IsBlobField());
  EXPECT_EQ(notes.AsString(), "Note 1");
  EXPECT_EQ(notes.BlobSize(), 6);
  EXPECT_EQ(notes.DisplayText(), "(MEMO)");

  EXPECT_EQ(ErrorOf([&] { notes.SetAsString("x"); }), "MemoryDataSet1: Dataset not in edit or insert mode");
  EXPECT_EQ(ErrorOf([&] { dataSet.CreateBlobStream(notes, bmWrite); }),
            "MemoryDataSet1: Dataset not in edit or insert mode");

  dataSet.Edit();
  link.Take();
  notes.SetAsString("A lyric\nwith two lines");
  EXPECT_EQ(link.Take(), (std::vector<std::string>{"RecordChanged(Notes)"}));
  EXPECT_TRUE(notes.Modified());
  EXPECT_TRUE(dataSet.Modified());
  dataSet.First();  // the browse-mode check posts the change
  EXPECT_EQ(notes.AsString(), "A lyric\nwith two lines");
  EXPECT_FALSE(notes.Modified());

  // A write stream empties the value even when nothing is written; a read stream refuses writes.
  dataSet.Edit();
  { std::unique_ptr<TStream> stream = dataSet.CreateBlobStream(notes, bmWrite); }
  EXPECT_TRUE(notes.Modified());
  EXPECT_FALSE(notes.IsNull());
  EXPECT_EQ(notes.AsString(), "");
  std::unique_ptr<TStream> reader = dataSet.CreateBlobStream(notes, bmRead);
  char byte = 'x';
  EXPECT_THROW(reader->Write(&byte, 1), Exception);
  reader.reset();

  std::optional<std::string> text = std::string("Loaded text");
  StringStream input(nullptr, &text, false, false);
  input.SetPosition(7);
  notes.LoadFromStream(input);
  EXPECT_EQ(notes.AsString(), "text");
  dataSet.Post();
  std::optional<std::string> saved = std::string(">");
  StringStream output(nullptr, &saved, true, false);
  output.Seek(0, TSeekOrigin::End);
  notes.SaveToStream(output);
  EXPECT_EQ(*saved, ">text");

  dataSet.Edit();
  notes.Clear();
  dataSet.Post();
  EXPECT_TRUE(notes.IsNull());
  EXPECT_EQ(notes.BlobSize(), 0);
  EXPECT_EQ(notes.DisplayText(), "");
}

TEST(FieldTest, AControlFailingOnABlobChangeDoesNotStopTheClose) {
  MemoryDataSet dataSet(NumberedTable(1));
  TDataSource source;
  source.SetDataSet(&dataSet);
  source.OnDataChange = [](TDataSource&, TField* field) {
    if (field) throw EDatabaseError("control failed");
  };
  std::vector<std::string> reported;
  auto previous =
      SetApplicationErrorHandler([&](const std::exception& error) { reported.push_back(error.what()); });
  dataSet.Open();
  dataSet.Edit();
  dataSet.FieldByName("Notes").SetAsString("kept");
  SetApplicationErrorHandler(previous);
  EXPECT_EQ(reported, (std::vector<std::string>{"control failed"}));
  EXPECT_EQ(dataSet.FieldByName("Notes").AsString(), "kept");
}

TEST(FieldTest, CalculatedAndLookupFields) {
  auto others = std::make_shared<MemoryTable>();
  others->AddColumn("Key", ftInteger);
  others->AddColumn("Title", ftString, 10);
  for (int key = 2; key <= 6; key += 2)
    others->AddRow({Variant::FromInteger(key), Variant::FromString("T" + std::to_string(key))});
  MemoryDataSet lookupSet(others, "Others");
  lookupSet.Open();

  MemoryDataSet dataSet(NumberedTable(3));
  dataSet.AddField(ftInteger, "ID");
  dataSet.AddField(ftString, "Name", 20);
  TField& twice = dataSet.AddField(ftInteger, "Twice", 0, fkCalculated);
  TField& title = dataSet.AddField(ftString, "Title", 10, fkLookup);
  title.SetLookupDataSet(&lookupSet);
  title.SetKeyFields("ID");
  title.SetLookupKeyFields("Key");
  title.SetLookupResultField("Title");
  dataSet.OnCalcFields = [](TDataSet& ds) {
    ds.FieldByName("Twice").SetAsInteger(ds.FieldByName("ID").AsInteger() * 2);
  };
  dataSet.Open();
  EXPECT_EQ(dataSet.FieldCount(), 4);
  EXPECT_EQ(twice.FieldNo(), -1);
  EXPECT_EQ(dataSet.CalcFieldsSize(), (4 + 1) + (11 + 1));
  EXPECT_EQ(twice.AsInteger(), 2);
  EXPECT_TRUE(title.IsNull());  // no record of the other dataset has key 1
  dataSet.Next();
  EXPECT_EQ(twice.AsInteger(), 4);
  EXPECT_EQ(title.AsString(), "T2");
  dataSet.Edit();
  dataSet.FieldByName("ID").SetAsInteger(3);
  EXPECT_EQ(twice.AsInteger(), 6);  // recomputed while editing
  dataSet.Cancel();
  EXPECT_EQ(twice.AsInteger(), 4);
  EXPECT_FALSE(twice.CanModify());

  EXPECT_EQ(lookupSet.Lookup("Key", {Variant::FromInteger(4)}, "Title;Key"),
            (std::vector<Variant>{Variant::FromString("T4"), Variant::FromInteger(4)}));
  EXPECT_TRUE(lookupSet.Lookup("Key", {Variant::FromInteger(5)}, "Title").empty());
}

TEST(FieldTest, DefinitionsAndNames) {
  MemoryDataSet dataSet(NumberedTable(1));
  dataSet.Open();
  EXPECT_EQ(&dataSet.FieldByName("nAmE"), dataSet.FindField("NAME"));
  EXPECT_EQ(dataSet.FindField("Nope"), nullptr);
  EXPECT_EQ(dataSet.FieldByNumber(2), dataSet.FindField("Name"));
  TField& name = dataSet.FieldByName("Name");
  EXPECT_EQ(name.DisplayName(), "Name");
  name.SetDisplayLabel("Title");
  EXPECT_EQ(name.DisplayName(), "Title");
  EXPECT_EQ(name.DisplayWidth(), 20);
  EXPECT_EQ(name.Index(), 1);
  EXPECT_EQ(name.FieldNo(), 2);
  EXPECT_EQ(dataSet.FieldDefs().Find("notes").DataType, ftMemo);
  EXPECT_EQ(dataSet.FieldDefs()[1].Size, 20);

  TFieldDefs defs;
  defs.Add("A", ftInteger);
  EXPECT_EQ(ErrorOf([&] { defs.Add("a", ftString, 4); }), "Duplicate field name 'a'");
  EXPECT_EQ(defs.IndexOf("A"), 0);
  EXPECT_EQ(defs[0].FieldNo, 1);

  TIndexDefs indexes;
  indexes.SetOwnerName("VIZTable1");
  indexes.Add("byName", "Name;ID", ixUnique);
  indexes.Add("byNameCI", "Name", ixCaseInsensitive);
  indexes.Add("PK", "ID", ixPrimary | ixUnique);
  EXPECT_EQ(indexes.GetIndexForFields("name", false)->Name, "byNameCI");  // whole list first
  EXPECT_EQ(indexes.GetIndexForFields("Name;id", false)->Name, "byName");
  EXPECT_EQ(indexes.GetIndexForFields("ID;Name", false), nullptr);
  EXPECT_EQ(indexes.GetIndexForFields("Name", true)->Name, "byNameCI");
  EXPECT_EQ(indexes.Find("pk").Options, 3u);
  EXPECT_EQ(ErrorOf([&] { indexes.Find("x"); }), "VIZTable1: Index 'x' not found");
  EXPECT_EQ(ErrorOf([&] { indexes.FindIndexForFields("Notes"); }), "VIZTable1: No index for fields 'Notes'");
  EXPECT_EQ(ErrorOf([&] { indexes.Add("PK", "Name"); }), "VIZTable1: Duplicate index name 'PK'");

  EXPECT_EQ(SplitFieldNames(" A ; B;;C; "), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_TRUE(SplitFieldNames("").empty());
  EXPECT_TRUE(
      SameName("stra\xdf"
               "e",
               "STRA\xdf"
               "E"));
  EXPECT_TRUE(SameName("\xe9t\xe9", "\xc9T\xc9"));
  EXPECT_FALSE(SameName("a", "ab"));
  EXPECT_STREQ(FieldTypeName(ftTimeStamp), "TimeStamp");
  EXPECT_TRUE(IsBlobFieldType(ftTypedBinary));
  EXPECT_FALSE(IsBlobFieldType(ftCursor));
  EXPECT_EQ(ErrorOf([] { CreateField(ftADT, "X"); }), "Field 'X' is of an unsupported type (26)");
}

TEST(FieldTest, EveryTypeOfTheEngineHasAFieldClass) {
  for (int row = 0; row < kTypeNameRowCount; ++row) {
    const TABSTypeNameRow& type = TypeNameTable()[row];
    SCOPED_TRACE(type.name);
    auto code = static_cast<TFieldType>(type.fieldType);
    std::unique_ptr<TField> field = CreateField(code, "F", 10);
    EXPECT_EQ(field->DataType(), code);
    EXPECT_EQ(field->IsBlob(), IsBlobBaseType(type.baseType));
  }
}

}  // namespace
}  // namespace viz::test
