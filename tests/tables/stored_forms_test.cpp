// Byte-exact stored forms of the definition lists, worked out by hand from the layouts, and their
// round trips and read failures.
#include <gtest/gtest.h>

#include "engine/tables/constraint_defs.h"
#include "engine/tables/field_defs.h"
#include "engine/tables/index_defs.h"
#include "engine/types/errors.h"
#include "test_backend.h"

namespace viz {
namespace {

using testing::ContentOf;
using testing::Hex;
using testing::StreamOf;

template <class List>
std::vector<uint8_t> Save(const List& list) {
  TABSMemoryStream stream;
  list.SaveToStream(stream);
  return ContentOf(stream);
}

template <class List>
int32_t LoadFailureCode(List& list, std::vector<uint8_t> bytes) {
  auto stream = StreamOf(bytes);
  try {
    list.LoadFromStream(*stream);
  } catch (const EABSException& e) {
    return e.NativeErrorCode();
  }
  return 0;
}

TEST(FieldDefsStoredFormTest, IntegerAndBlobFieldsAreWrittenFieldByField) {
  TABSFieldDefs fields;
  TABSFieldDef& id = fields.AddCreated();
  id.SetName("ID");
  id.ObjectID = 5;
  id.SetDataType(dt::kInteger);
  id.DefaultValue = TABSVariant(bt::kInteger);
  id.DefaultValue.SetAsInteger(42);
  TABSFieldDef& blob = fields.AddCreated();
  blob.SetName("B");
  blob.ObjectID = 6;
  blob.SetDataType(dt::kBlob);
  blob.BlobCompressionAlgorithm = 1;
  blob.BlobCompressionMode = 5;
  blob.BlobBlockSize = 4096;
  blob.Increment = 2;
  blob.InitialValue = -1;
  blob.MinValue = 3;
  blob.MaxValue = 0;
  blob.Cycled = true;

  EXPECT_EQ(Save(fields), Hex("02000000"                              // count
                              "02 4944 05000000"                      // "ID", ObjectID 5
                              "07 07 00000000"                        // base, data type, size
                              "0100000000000000 0000000000000000"     // increment, initial
                              "0000000000000000 FFFFFFFFFFFFFF7F 00"  // minimum, maximum, cycled
                              "07 00 04000000 2A000000"               // default INTEGER 42
                              "01 42 06000000"                        // "B", ObjectID 6
                              "12 1F 00000000"                        // BLOB, BLOB, size
                              "01 05 00100000"                        // algorithm, mode, block size
                              "0200000000000000 FFFFFFFFFFFFFFFF"     // increment, initial -1
                              "0300000000000000 0000000000000000 01"  // minimum, maximum 0, cycled
                              "00 FF"));                              // default NULL
}

TEST(FieldDefsStoredFormTest, RoundTripKeepsSettingsAndRecomputesSizes) {
  TABSFieldDefs fields;
  TABSFieldDef& name = fields.AddCreated();
  name.SetName("Name");
  name.ObjectID = 9;
  name.SetDataType(dt::kString, 20);
  name.DefaultValue = TABSVariant(bt::kString);
  name.DefaultValue.SetAsString("none");
  TABSFieldDef& memo = fields.AddCreated();
  memo.SetName("Memo");
  memo.SetDataType(dt::kMemo);
  memo.BlobBlockSize = 777;
  TABSFieldDef& counter = fields.AddCreated();
  counter.SetName("N");
  counter.SetDataType(dt::kAutoIncLargeInt);
  counter.Increment = 5;
  counter.InitialValue = 10;
  counter.MinValue = -3;
  counter.MaxValue = 99;
  counter.Cycled = true;
  const std::vector<uint8_t> bytes = Save(fields);

  TABSFieldDefs loaded;
  loaded.AddCreated().SetName("stale");
  auto stream = StreamOf(bytes);
  loaded.LoadFromStream(*stream);
  ASSERT_EQ(loaded.Count(), 3);
  EXPECT_EQ(loaded[0].Name(), "Name");
  EXPECT_EQ(loaded[0].ObjectID, 9);
  EXPECT_EQ(loaded[0].DataType(), dt::kString);
  EXPECT_EQ(loaded[0].BaseType(), bt::kString);
  EXPECT_EQ(loaded[0].Size(), 20);
  EXPECT_EQ(loaded[0].BufferSize(), 21);
  EXPECT_EQ(loaded[0].StoredSize(), 21);
  EXPECT_EQ(loaded[0].DefaultValue.GetAsString(), "none");
  EXPECT_EQ(loaded[1].BlobBlockSize, 777);
  EXPECT_EQ(loaded[1].BufferSize(), 10);
  EXPECT_EQ(loaded[1].StoredSize(), 6);
  EXPECT_TRUE(loaded[1].DefaultValue.IsNull());
  EXPECT_EQ(loaded[2].Increment, 5);
  EXPECT_EQ(loaded[2].InitialValue, 10);
  EXPECT_EQ(loaded[2].MinValue, -3);
  EXPECT_EQ(loaded[2].MaxValue, 99);
  EXPECT_TRUE(loaded[2].Cycled);
  // Offsets are not stored; computing them gives the layout again.
  loaded.ComputeOffsets();
  EXPECT_EQ(loaded[2].BufferOffset, 1 + 21 + 10);
  EXPECT_EQ(Save(loaded), bytes);
}

TEST(FieldDefsStoredFormTest, NonBlobFieldIgnoresBlobSettings) {
  TABSFieldDefs fields;
  TABSFieldDef& field = fields.AddCreated();
  field.SetDataType(dt::kSmallInt);
  field.BlobCompressionAlgorithm = 3;
  field.BlobBlockSize = 1;
  const std::vector<uint8_t> bytes = Save(fields);
  EXPECT_EQ(bytes.size(), 4u + 1 + 4 + 1 + 1 + 4 + 4 * 8 + 1 + 2);
  TABSFieldDefs loaded;
  auto stream = StreamOf(bytes);
  loaded.LoadFromStream(*stream);
  EXPECT_EQ(loaded[0].BlobBlockSize, TABSFieldDef::kDefaultBlobBlockSize);
  EXPECT_EQ(loaded[0].BlobCompressionAlgorithm, 0);
}

TEST(FieldDefsStoredFormTest, ShortReadsAndWritesNameTheirPlace) {
  TABSFieldDefs fields;
  TABSFieldDef& field = fields.AddCreated();
  field.SetName("AB");
  field.SetDataType(dt::kInteger);
  const std::vector<uint8_t> bytes = Save(fields);
  TABSFieldDefs loaded;
  EXPECT_EQ(LoadFailureCode(loaded, {}), 10159);                                   // list count
  EXPECT_EQ(LoadFailureCode(loaded, {bytes.begin(), bytes.begin() + 5}), 10168);   // name chars
  EXPECT_EQ(LoadFailureCode(loaded, {bytes.begin(), bytes.begin() + 11}), 10187);  // base type
  EXPECT_EQ(LoadFailureCode(loaded, {bytes.begin(), bytes.begin() + 42}), 30408);  // maximum
  EXPECT_EQ(LoadFailureCode(loaded, {bytes.begin(), bytes.end() - 1}), 10184);     // default's null marker

  // A failed load leaves the list as it was.
  TABSFieldDefs kept;
  kept.AddCreated().SetName("Kept");
  EXPECT_EQ(LoadFailureCode(kept, {bytes.begin(), bytes.end() - 1}), 10184);
  ASSERT_EQ(kept.Count(), 1);
  EXPECT_EQ(kept[0].Name(), "Kept");

  testing::FullStream full(12);
  try {
    fields.SaveToStream(full);
    FAIL() << "a full stream must refuse the definition";
  } catch (const EABSException& e) {
    EXPECT_EQ(e.NativeErrorCode(), 10171);  // the data type byte is the 13th
    EXPECT_NE(e.Message().find("Cannot write to stream. Position = 12"), std::string::npos) << e.Message();
  }
}

TEST(FieldDefsStoredFormTest, CorruptBaseTypeIsRefused) {
  // base type 99 with a valid rest of the field
  auto bytes = Hex("01000000 00 FFFFFFFF 63 07 00000000" + std::string(64, '0') + "00 00 FF");
  TABSFieldDefs loaded;
  EXPECT_EQ(LoadFailureCode(loaded, bytes), 30050);
}

TABSIndexDef& AddIndex(TABSIndexDefs& list, const char* name, int32_t objectId) {
  TABSIndexDef& index = list.AddCreated();
  index.SetName(name);
  index.ObjectID = objectId;
  return index;
}

TEST(IndexDefsStoredFormTest, TemporaryIndexesAreNotSaved) {
  TABSIndexDefs indexes;
  TABSIndexDef& primary = AddIndex(indexes, "PK", 3);
  primary.Unique = true;
  primary.Primary = true;
  primary.RootPage = 17;
  primary.Columns.push_back({"ID", false, false, 4});
  TABSIndexDef& temporary = AddIndex(indexes, "TEMPORARY_INDEX_5", 4);
  temporary.Temporary = TABSIndexDef::kTemporary;
  temporary.OwnerSession = 2;
  temporary.Columns.push_back({"X", true, true, 20});
  TABSIndexDef& byName = AddIndex(indexes, "byName", 5);
  byName.Columns.push_back({"Name", true, true, 21});
  byName.Columns.push_back({"ID", false, false, 4});
  byName.ChangeCounter = 8;

  EXPECT_EQ(Save(indexes), Hex("02000000"                                     // two of the three
                               "02 504B 03000000 00 01 01 01000000 11000000"  // PK
                               "02 4944 00 00 04000000"                       // column ID
                               "06 62794E616D65 05000000 00 00 00 02000000 FFFFFFFF"
                               "04 4E616D65 01 01 15000000"  // column Name desc, no case
                               "02 4944 00 00 04000000"));

  TABSIndexDefs loaded;
  auto stream = StreamOf(Save(indexes));
  loaded.LoadFromStream(*stream);
  ASSERT_EQ(loaded.Count(), 2);
  EXPECT_EQ(loaded[0].Name(), "PK");
  EXPECT_TRUE(loaded[0].Primary);
  EXPECT_EQ(loaded[0].RootPage, 17);
  EXPECT_EQ(loaded[1].Columns.size(), 2u);
  EXPECT_TRUE(loaded[1].Columns[0].Descending);
  EXPECT_TRUE(loaded[1].Columns[0].CaseInsensitive);
  EXPECT_EQ(loaded[1].Columns[0].KeyLength, 21);
  // Runtime state comes back as a fresh index has it.
  EXPECT_EQ(loaded[1].Temporary, 0);
  EXPECT_EQ(loaded[1].OwnerSession, -1);
  EXPECT_EQ(loaded[1].ChangeCounter, 0);
}

TEST(IndexDefsStoredFormTest, ShortReadOfKeyLength) {
  TABSIndexDefs indexes;
  AddIndex(indexes, "I", 1).Columns.push_back({"F", false, false, 4});
  std::vector<uint8_t> bytes = Save(indexes);
  bytes.resize(bytes.size() - 2);
  TABSIndexDefs loaded;
  EXPECT_EQ(LoadFailureCode(loaded, bytes), 20169);
}

TEST(ConstraintDefsStoredFormTest, EachKindHasItsOwnForm) {
  TABSConstraintDefs constraints;
  TABSConstraintDefNotNull& notNull = constraints.AddNotNull();
  notNull.SetName("NN");
  notNull.ObjectID = 9;
  notNull.TableName = "T";
  notNull.TargetName = "F";
  notNull.TargetObjectID = 3;
  TABSConstraintDefCheck& check = constraints.AddCheck();
  check.SetName("CK");
  check.ObjectID = 10;
  check.TargetName = "AB";
  check.LowerBound = TABSVariant(bt::kInteger);
  check.LowerBound.SetAsInteger(1);
  check.UpperBound = TABSVariant(bt::kInteger);
  TABSConstraintDefUnique& unique = constraints.AddUnique();
  unique.SetName("U");
  unique.ObjectID = 11;
  unique.TableName = "T";
  unique.TargetName = "IX";
  unique.TargetObjectID = 4;
  unique.Columns.push_back({"A", 12});
  TABSConstraintDefPrimary& primary = constraints.AddPrimary();
  primary.SetName("P");
  primary.ObjectID = 13;

  EXPECT_EQ(Save(constraints),
            Hex("04000000"
                "03 02 4E4E 09000000 00000000 00000000 03000000"  // not null: numbers
                "01 00 02 01 54 02 01 46"                         // texts "", "T", "F"
                "04 02 434B 0A000000 00000000 00000000 00000000"  // check
                "01 00 01 00 03 02 4142"                          // texts "", "", "AB"
                "07 00 04000000 01000000 07 FF"                   // bounds 1 and NULL
                "02 01 55 0B000000 00000000 00000000 04000000"    // unique
                "01000000 00 02000000 01 54 03000000 02 4958"     // texts with i32 sizes
                "01000000 0C000000 02000000 01 41"                // column A, ObjectID 12
                "00 01 50 0D000000 00000000 00000000 00000000"    // primary key
                "01000000 00 01000000 00 01000000 00 00000000"));
}

TEST(ConstraintDefsStoredFormTest, RoundTripAndUnknownKind) {
  TABSConstraintDefs constraints;
  TABSConstraintDefCheck& check = constraints.AddCheck();
  check.SetName("CK");
  check.TargetName = "Price";
  check.UpperBound = TABSVariant(bt::kFloat);
  check.UpperBound.SetAsFloat(9.5);
  TABSConstraintDefPrimary& primary = constraints.AddPrimary();
  primary.SetName("C_PK$ID$Name");
  primary.TableName = "LYRIC";
  primary.TargetName = "PK";
  primary.Columns = {{"ID", 1}, {"Name", 2}};
  const std::vector<uint8_t> bytes = Save(constraints);

  TABSConstraintDefs loaded;
  auto stream = StreamOf(bytes);
  loaded.LoadFromStream(*stream);
  ASSERT_EQ(loaded.Count(), 2);
  ASSERT_EQ(loaded[0].Kind(), TABSConstraintKind::Check);
  const auto& loadedCheck = static_cast<const TABSConstraintDefCheck&>(loaded[0]);
  EXPECT_EQ(loadedCheck.TargetName, "Price");
  EXPECT_TRUE(loadedCheck.LowerBound.IsNull());
  EXPECT_DOUBLE_EQ(loadedCheck.UpperBound.GetAsFloat(), 9.5);
  ASSERT_EQ(loaded[1].Kind(), TABSConstraintKind::Primary);
  const auto& loadedPrimary = static_cast<const TABSConstraintDefPrimary&>(loaded[1]);
  EXPECT_EQ(loadedPrimary.TableName, "LYRIC");
  ASSERT_EQ(loadedPrimary.Columns.size(), 2u);
  EXPECT_EQ(loadedPrimary.Columns[1].FieldName, "Name");
  EXPECT_EQ(loadedPrimary.Columns[1].FieldObjectID, 2);
  EXPECT_EQ(Save(loaded), bytes);

  TABSConstraintDefs rejected;
  rejected.AddNotNull().SetName("Kept");
  for (uint8_t kind : {1, 5, 255}) {
    auto stream2 = StreamOf({1, 0, 0, 0, kind});
    try {
      rejected.LoadFromStream(*stream2);
      FAIL() << "kind " << int(kind);
    } catch (const EABSException& e) {
      EXPECT_EQ(e.Message(), "Unknown Constraint Type: '" + std::to_string(kind) + "' - Native error: 30316");
    }
  }
  ASSERT_EQ(rejected.Count(), 1);
  EXPECT_EQ(rejected[0].Name(), "Kept");
}

TEST(ConstraintDefsStoredFormTest, ImpossibleTextSizeFailsAsAShortRead) {
  // A unique constraint whose first text claims 100000 bytes.
  auto bytes = Hex("01000000 02 00 FFFFFFFF 00000000 00000000 00000000 A0860100");
  TABSConstraintDefs loaded;
  EXPECT_EQ(LoadFailureCode(loaded, bytes), 30323);
}

TEST(ConstraintDefsStoredFormTest, LongTextsAreCutToFitTheirSize) {
  TABSConstraintDefs constraints;
  TABSConstraintDefNotNull& notNull = constraints.AddNotNull();
  notNull.TargetName = std::string(300, 'x');
  TABSConstraintDefs loaded;
  auto stream = StreamOf(Save(constraints));
  loaded.LoadFromStream(*stream);
  EXPECT_EQ(loaded[0].TargetName, std::string(254, 'x'));
}

}  // namespace
}  // namespace viz
