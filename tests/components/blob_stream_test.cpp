// BLOB field streams of the table dataset, on a disk database and on the memory database: values of
// every size written and read back through streams for plain and compressed memo, wide memo and BLOB
// fields, several streams open on one record, the stream rules and their errors, a stream that cannot
// reach its record, and BLOB values moved into and out of engine variants.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

#include "components/components_test_util.h"
#include "engine/components/engine_error.h"
#include "engine/sql/expressions/cursor_row_source.h"
#include "engine/storage/disk/table_locks.h"
#include "engine/types/framework_field_copy.h"
#include "framework/data/blob_field.h"
#include "framework/data/data_source.h"
#include "support/disk_tables.h"

namespace viz::testing {
namespace {

constexpr int32_t kBlockSize = 4096;
// 0 Id, then the BLOB fields the tests walk through.
const char* const kBlobFields[] = {"Plain", "Packed", "Wide", "Bytes"};

// Text-like bytes that compress, but not to nothing; an even count for the wide memo.
std::string Bytes(size_t size, uint32_t seed) {
  static const char* const words[] = {"river ", "light ", "song ", "the ", "of ", "\xe9t\xe9 ", "\n"};
  std::string bytes;
  bytes.reserve(size + 8);
  while (bytes.size() < size) {
    seed = seed * 1103515245u + 12345u;
    bytes += words[(seed >> 16) % 7];
    if ((seed >> 8) % 5 == 0) bytes += static_cast<char>(seed >> 24);
  }
  bytes.resize(size);
  return bytes;
}

std::string ReadAll(TStream& stream) {
  std::string bytes(static_cast<size_t>(stream.Size()), '\0');
  stream.SetPosition(0);
  int64_t done = 0;
  while (done < static_cast<int64_t>(bytes.size())) {
    const int64_t read = stream.Read(bytes.data() + done, std::min<int64_t>(70000, bytes.size() - done));
    if (read <= 0) break;
    done += read;
  }
  bytes.resize(static_cast<size_t>(done));
  return bytes;
}

void WriteAll(TStream& stream, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const int64_t step = std::min<int64_t>(65536, static_cast<int64_t>(bytes.size() - done));
    ASSERT_EQ(stream.Write(bytes.data() + done, step), step);
    done += static_cast<size_t>(step);
  }
}

std::string ReadField(TABSTable& table, const char* name) {
  return ReadAll(*table.CreateBlobStream(table.FieldByName(name), bmRead));
}

void WriteField(TABSTable& table, const char* name, const std::string& bytes) {
  WriteAll(*table.CreateBlobStream(table.FieldByName(name), bmWrite), bytes);
}

// The message of the exception `step` raises, with its native code.
template <class Step>
std::pair<int32_t, std::string> Raised(Step&& step) {
  try {
    step();
  } catch (const EABSException& error) {
    return {error.NativeErrorCode(), TextWithoutNativeCode(error)};
  } catch (const Exception& error) {
    return {0, error.Message()};
  }
  return {-1, "no error"};
}

class BlobStreamTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    disk_ = std::string(GetParam()) == "disk";
    alias_ = disk_ ? "B" : "MEMORY";
    path_ = dir_.File("b.svl");
    database_ = NewConnection(alias_, disk_ ? path_ : "");
    if (disk_) {
      database_->MakeDatabaseFile();
    }
    database_->Open();
    TABSLocalCursor cursor(database_->EngineSession());
    cursor.SetTableName("BLOBS");
    cursor.CreateTable(*MakeFields({{"Id", dt::kInteger},
                                    {"Plain", dt::kMemo, 0, 0, 0, kBlockSize},
                                    {"Packed", dt::kMemo, 0, 1, 6, kBlockSize},
                                    {"Wide", dt::kWideMemo, 0, 2, 9, kBlockSize},
                                    {"Bytes", dt::kBlob, 0, 0, 0, kBlockSize}}),
                       *MakeIndexes({{"byId", {"Id"}, true}}), {});
    table_ = OpenTable();
  }
  void TearDown() override {
    table_.reset();
    if (!disk_) {
      TABSLocalCursor cursor(database_->EngineSession());
      cursor.SetTableName("BLOBS");
      cursor.DeleteTable();
    }
    database_.reset();
    if (disk_) {
      EXPECT_TRUE(VizcheckProblems(path_).empty());
    }
  }
  std::unique_ptr<TABSTable> OpenTable() {
    auto table = std::make_unique<TABSTable>(nullptr);
    table->SetName("BlobTable");
    table->SetDatabaseName(alias_);
    table->SetTableName("BLOBS");
    table->SetIndexName("byId");
    table->Open();
    return table;
  }
  void Append(int id) {
    table_->Append();
    table_->FieldByName("Id").SetAsInteger(id);
  }

  TempDir dir_;
  bool disk_ = false;
  std::string alias_, path_;
  std::unique_ptr<TABSDatabase> database_;
  std::unique_ptr<TABSTable> table_;
};

TEST_P(BlobStreamTest, ValuesOfEverySizeComeBackThroughStreams) {
  const size_t sizes[] = {0, 1, kBlockSize, 5 * 1024 * 1024};
  for (size_t row = 0; row < std::size(sizes); ++row) {
    Append(static_cast<int>(row));
    for (size_t field = 0; field < std::size(kBlobFields); ++field)
      WriteField(*table_, kBlobFields[field], Bytes(sizes[row], static_cast<uint32_t>(row * 10 + field)));
    table_->Post();
  }
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass == 0 ? "as posted" : "after reopening");
    size_t row = 0;
    for (table_->First(); !table_->Eof(); table_->Next(), ++row) {
      for (size_t field = 0; field < std::size(kBlobFields); ++field) {
        SCOPED_TRACE(std::string(kBlobFields[field]) + " of " + std::to_string(sizes[row]) + " bytes");
        const std::string expected = Bytes(sizes[row], static_cast<uint32_t>(row * 10 + field));
        TField& blob = table_->FieldByName(kBlobFields[field]);
        // An empty value is stored as NULL.
        EXPECT_EQ(blob.IsNull(), sizes[row] == 0);
        // Two readers open at once on one record each read the whole value, in turns.
        std::unique_ptr<TStream> first = table_->CreateBlobStream(blob, bmRead);
        std::unique_ptr<TStream> second = table_->CreateBlobStream(blob, bmRead);
        ASSERT_EQ(first->Size(), static_cast<int64_t>(expected.size()));
        const int64_t half = first->Size() / 2;
        std::string a(static_cast<size_t>(half), '\0');
        if (half > 0) {
          ASSERT_EQ(first->Read(a.data(), half), half);
        }
        EXPECT_EQ(ReadAll(*second), expected);
        second.reset();
        std::string rest(expected.size() - static_cast<size_t>(half), '\0');
        if (!rest.empty()) {
          ASSERT_EQ(first->Read(rest.data(), static_cast<int64_t>(rest.size())), rest.size());
        }
        EXPECT_TRUE(a + rest == expected);
      }
      EXPECT_EQ(table_->Cursor()->OpenBlobCount(), 0);
    }
    EXPECT_EQ(row, std::size(sizes));
    table_->Close();
    table_->Open();
  }
  // The wide memo holds UTF-16 text.
  table_->First();
  table_->Edit();
  const std::u16string lyric = u"Sous le pont Mirabeau coule la Seine \u00e9\u00e8";
  WriteField(*table_, "Wide", std::string(reinterpret_cast<const char*>(lyric.data()), lyric.size() * 2));
  table_->Post();
  const std::string stored = ReadField(*table_, "Wide");
  EXPECT_TRUE(std::u16string(reinterpret_cast<const char16_t*>(stored.data()), stored.size() / 2) == lyric);
}

// AsString reads a BLOB value at once, without streams: against a model of the stored values, in
// browse, edit and insert state, with written values posted, pending and cancelled, it gives what a
// read stream gives and leaves no stream open.
TEST_P(BlobStreamTest, AsStringReadsWhatAReadStreamReads) {
  const size_t sizes[] = {0, 1, 15, 16, 17, 200, kBlockSize - 1, kBlockSize, kBlockSize + 1, 3 * kBlockSize + 5};
  constexpr int kRows = 12;
  std::vector<std::vector<std::string>> model(kRows, std::vector<std::string>(std::size(kBlobFields)));
  uint32_t seed = 99;
  auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  auto value = [&](size_t field) {
    std::string bytes = Bytes(sizes[next() % std::size(sizes)], next());
    if (std::string(kBlobFields[field]) == "Wide" && bytes.size() % 2) bytes.pop_back();
    return bytes;
  };
  // Every field of the record in use, read both ways, against what it should hold.
  auto check = [&](const std::vector<std::string>& expected) {
    for (size_t field = 0; field < std::size(kBlobFields); ++field) {
      SCOPED_TRACE(kBlobFields[field]);
      TField& blob = table_->FieldByName(kBlobFields[field]);
      const std::string direct = blob.AsString();
      EXPECT_EQ(table_->Cursor()->OpenBlobCount(), 0);
      EXPECT_TRUE(direct == expected[field]);
      EXPECT_TRUE(direct == ReadField(*table_, kBlobFields[field]));
    }
  };
  for (int id = 0; id < kRows; ++id) {
    Append(id);
    for (size_t field = 0; field < std::size(kBlobFields); ++field) {
      model[id][field] = value(field);
      WriteField(*table_, kBlobFields[field], model[id][field]);
    }
    // Inserted but not posted: the values written so far.
    check(model[id]);
    table_->Post();
  }
  for (int step = 0; step < 60; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    const int id = static_cast<int>(next() % kRows);
    ASSERT_TRUE(table_->Locate("Id", {Variant::FromInteger(id)}, 0));
    check(model[id]);
    const size_t field = next() % std::size(kBlobFields);
    const uint32_t action = next() % 3;
    table_->Edit();
    check(model[id]);
    std::vector<std::string> pending = model[id];
    pending[field] = value(field);
    WriteField(*table_, kBlobFields[field], pending[field]);
    check(pending);
    if (action == 0) {
      table_->Cancel();
    } else {
      table_->Post();
      model[id] = pending;
    }
    check(model[id]);
    if (action == 2) {
      // A scan reads every record as stored.
      for (table_->First(); !table_->Eof(); table_->Next()) check(model[table_->FieldByName("Id").AsInteger()]);
    }
  }
}

TEST_P(BlobStreamTest, ReadersAndAWriterOnOneRecord) {
  Append(1);
  WriteField(*table_, "Packed", "old value");
  table_->Post();
  table_->Edit();
  TField& packed = table_->FieldByName("Packed");
  auto reader = table_->CreateBlobStream(packed, bmRead);
  auto writer = table_->CreateBlobStream(packed, bmReadWrite);
  auto other = table_->CreateBlobStream(packed, bmRead);
  EXPECT_EQ(table_->Cursor()->OpenBlobCount(), 3);
  // A second writer on the field is refused; a reader beside the writer is not.
  EXPECT_EQ(Raised([&] { table_->CreateBlobStream(packed, bmWrite); }),
            std::make_pair(10115, std::string("BLOB field already opened. FieldNo = 2, FieldName = Packed")));
  EXPECT_EQ(ReadAll(*writer), "old value");
  WriteAll(*writer, " and more");
  // Closing a reader frees its own engine stream only: the writer and the other reader go on.
  reader.reset();
  EXPECT_EQ(table_->Cursor()->OpenBlobCount(), 2);
  EXPECT_EQ(ReadAll(*other), "old value");
  EXPECT_EQ(ReadAll(*writer), "old value and more");
  writer.reset();
  EXPECT_TRUE(dynamic_cast<TBlobField&>(packed).Modified());
  EXPECT_EQ(ReadAll(*other), "old value");
  other.reset();
  EXPECT_EQ(ReadField(*table_, "Packed"), "old value and more");
  table_->Post();
  EXPECT_EQ(ReadField(*table_, "Packed"), "old value and more");

  // The post stores what a writer still open holds; the stream then reads and writes nothing.
  table_->Edit();
  writer = table_->CreateBlobStream(packed, bmWrite);
  WriteAll(*writer, "posted open");
  table_->Post();
  EXPECT_EQ(table_->Cursor()->OpenBlobCount(), 0);
  EXPECT_EQ(writer->Size(), 0);
  EXPECT_EQ(writer->Write("x", 1), 0);
  writer.reset();
  EXPECT_EQ(ReadField(*table_, "Packed"), "posted open");
  // ... also into a required field that was empty.
  TField& plain = table_->FieldByName("Plain");
  plain.SetRequired(true);
  table_->Edit();
  writer = table_->CreateBlobStream(plain, bmWrite);
  WriteAll(*writer, "required");
  table_->Post();
  writer.reset();
  plain.SetRequired(false);
  EXPECT_EQ(ReadField(*table_, "Plain"), "required");
  // A cancel drops what an open writer wrote.
  table_->Edit();
  writer = table_->CreateBlobStream(packed, bmWrite);
  WriteAll(*writer, "cancelled");
  table_->Cancel();
  writer.reset();
  EXPECT_EQ(ReadField(*table_, "Packed"), "posted open");
  // A stream the dataset outlives by closing is let go with it.
  table_->Edit();
  writer = table_->CreateBlobStream(packed, bmWrite);
  table_->Close();
  EXPECT_EQ(writer->Write("x", 1), 0);
  writer.reset();
  table_->Open();
  table_->First();
  EXPECT_EQ(ReadField(*table_, "Packed"), "posted open");
}

TEST_P(BlobStreamTest, StreamRulesAndTheirErrors) {
  // An empty dataset reads an empty value.
  EXPECT_EQ(ReadField(*table_, "Plain"), "");
  Append(1);
  WriteField(*table_, "Plain", "kept");
  table_->Post();
  TField& plain = table_->FieldByName("Plain");
  const std::pair<int32_t, std::string> notEditing{10111, "Dataset not in edit or insert mode"};
  EXPECT_EQ(Raised([&] { table_->CreateBlobStream(plain, bmWrite); }), notEditing);
  EXPECT_EQ(Raised([&] { table_->CreateBlobStream(plain, bmReadWrite); }), notEditing);
  {
    auto reader = table_->CreateBlobStream(plain, bmRead);
    EXPECT_EQ(Raised([&] { reader->Write("x", 1); }),
              std::make_pair(10115, std::string("Cannot write to read only stream")));
    EXPECT_EQ(Raised([&] { reader->SetSize(0); }),
              std::make_pair(10116, std::string("Cannot write to read only stream")));
  }
  // A write stream closed without writing leaves the field empty and modified, and the controls
  // hear of the change when it closes.
  TDataSource source;
  source.SetDataSet(table_.get());
  int changes = 0;
  source.OnDataChange = [&](TDataSource&, TField* field) { changes += field == &plain; };
  table_->Edit();
  auto writer = table_->CreateBlobStream(plain, bmWrite);
  EXPECT_EQ(changes, 0);
  writer.reset();
  EXPECT_EQ(changes, 1);
  source.SetDataSet(nullptr);
  EXPECT_TRUE(dynamic_cast<TBlobField&>(plain).Modified());
  EXPECT_TRUE(plain.IsNull());
  table_->Post();
  EXPECT_TRUE(plain.IsNull());
  EXPECT_EQ(ReadField(*table_, "Plain"), "");
  // A field past the fields the cursor shows.
  table_->Edit();
  TABSLocalCursor& cursor = *table_->Cursor();
  EXPECT_EQ(Raised([&] { cursor.OpenBlob(false, true, false, bomRead, 9); }),
            std::make_pair(10110, std::string("Invalid field number - FieldNo = 9, FieldCount = 5")));
  table_->Cancel();
  // A read-only dataset gives no write stream.
  table_->Close();
  table_->SetReadOnly(true);
  table_->Open();
  EXPECT_EQ(Raised([&] { table_->CreateBlobStream(plain, bmWrite); }),
            std::make_pair(10107, std::string("Dataset is in read only mode")));
}

TEST_P(BlobStreamTest, VariantsCarryBlobValues) {
  Append(1);
  TABSLocalCursor& cursor = *table_->Cursor();
  cursor.SetRecordBuffer(table_->GetActiveRecordBuffer());
  const std::string bytes = Bytes(10000, 7);
  TABSVariant value;
  value.SetAsMemo(bytes);
  cursor.SetFieldValue(1, value);
  TABSVariant blob;
  blob.SetAsBlob(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), 300));
  cursor.SetFieldValue(4, blob);
  TABSVariant text;
  text.SetAsString("from a string");
  cursor.SetFieldValue(2, text);
  TABSVariant wide;
  wide.SetAsWideMemo(u"wide \u00e9");
  cursor.SetFieldValue(3, wide);
  table_->Post();
  cursor.SetRecordBuffer(table_->GetActiveRecordBuffer());
  TABSVariant read;
  cursor.GetFieldValue(1, read);
  EXPECT_EQ(read.GetType(), bt::kMemo);
  EXPECT_TRUE(read.GetAsMemo() == bytes);
  cursor.GetFieldValue(4, read);
  EXPECT_EQ(read.GetType(), bt::kBlob);
  EXPECT_TRUE(read.GetAsBlob() == bytes.substr(0, 300));
  // The SQL engine's rows read the same values.
  TABSCursorRowSource row(*cursor.Table(), cursor);
  TABSVariant fromRow;
  row.ReadField(4, fromRow);
  EXPECT_TRUE(fromRow.GetAsBlob() == bytes.substr(0, 300));
  row.ReadField(1, fromRow);
  EXPECT_TRUE(fromRow.GetAsMemo() == bytes);
  cursor.GetFieldValue(2, read);
  EXPECT_EQ(read.GetAsMemo(), "from a string");
  cursor.GetFieldValue(3, read);
  EXPECT_TRUE(read.GetAsWideMemo() == u"wide \u00e9");
  cursor.GetFieldValue(0, read);
  EXPECT_EQ(read.GetAsInteger(), 1);
  // NULL goes both ways, with the field's base type.
  table_->Edit();
  cursor.SetRecordBuffer(table_->GetActiveRecordBuffer());
  cursor.SetFieldValue(1, TABSVariant(bt::kMemo));
  table_->Post();
  cursor.SetRecordBuffer(table_->GetActiveRecordBuffer());
  cursor.GetFieldValue(1, read);
  EXPECT_TRUE(read.IsNull());
  EXPECT_EQ(read.GetType(), bt::kMemo);
  EXPECT_TRUE(table_->FieldByName("Plain").IsNull());
  EXPECT_EQ(Raised([&] { cursor.GetFieldValue(5, read); }).first, 20191);
  EXPECT_EQ(Raised([&] { cursor.SetFieldValue(5, read); }).first, 20192);
}

TEST_P(BlobStreamTest, AReadStreamSeesTheRecordAsItIsNow) {
  for (int id = 1; id <= 3; ++id) {
    Append(id);
    WriteField(*table_, "Packed", "value " + std::to_string(id));
    table_->Post();
  }
  auto other = OpenTable();
  table_->First();
  other->First();
  EXPECT_EQ(ReadField(*table_, "Packed"), "value 1");
  // Locate and Lookup read memo fields of records they only test.
  EXPECT_TRUE(table_->Locate("Packed", {Variant::FromString("value 2")}, 0));
  EXPECT_EQ(table_->FieldByName("Id").AsInteger(), 2);
  EXPECT_EQ(table_->Lookup("Id", {Variant::FromInteger(3)}, "Packed")[0].AsString(), "value 3");
  EXPECT_EQ(table_->Lookup("Id", {Variant::FromInteger(1)}, "Packed")[0].AsString(), "value 1");
  table_->First();
  // Another dataset changes the record on view: a read stream reads the record again.
  other->Edit();
  WriteField(*other, "Packed", "changed");
  other->Post();
  EXPECT_EQ(table_->FieldByName("Packed").AsString(), "changed");
  other->Edit();
  WriteField(*other, "Packed", "changed again");
  other->Post();
  EXPECT_EQ(ReadField(*table_, "Packed"), "changed again");
  // It deletes it: the stream reads nothing, and the dataset refreshes so that the record goes from view.
  other->Delete();
  {
    auto stream = table_->CreateBlobStream(table_->FieldByName("Packed"), bmRead);
    EXPECT_EQ(stream->Size(), 0);
  }
  EXPECT_EQ(table_->RecordCount(), 2);
  const int id = table_->FieldByName("Id").AsInteger();
  EXPECT_NE(id, 1);
  EXPECT_EQ(ReadField(*table_, "Packed"), "value " + std::to_string(id));
  // AsString reads the record again the same way: nothing from a deleted one, and a refresh.
  other->FindKey({Variant::FromInteger(id)});
  other->Delete();
  EXPECT_EQ(table_->FieldByName("Packed").AsString(), "");
  EXPECT_EQ(table_->RecordCount(), 1);
  EXPECT_NE(table_->FieldByName("Id").AsInteger(), id);
  EXPECT_EQ(table_->FieldByName("Packed").AsString(), "value " + std::to_string(table_->FieldByName("Id").AsInteger()));
}

// A model run: a viewer dataset reads the memo of its record (with AsString or a stream, once or twice)
// while a writer dataset of the same session edits, deletes and adds records, inside transactions that
// are committed or rolled back, and the viewer itself edits and cancels. Every read must give the
// stored value of the record as it is now: the reference's value of the Id the read leaves in view,
// or nothing when the record the viewer stood on was deleted.
TEST_P(BlobStreamTest, AMemoReadSeesTheStoredRecordAfterEveryKindOfChange) {
  std::map<int, std::string> model;
  int nextId = 1;
  auto add = [&](TABSTable& table) {
    const int id = nextId++;
    const std::string value = "memo " + std::to_string(id) + std::string(static_cast<size_t>(id % 7), 'x');
    table.Append();
    table.FieldByName("Id").SetAsInteger(id);
    table.FieldByName("Plain").SetAsString(value);
    table.Post();
    model[id] = value;
  };
  for (int n = 0; n < 40; ++n) add(*table_);
  auto writer = OpenTable();
  table_->First();
  std::mt19937 random(11);
  std::map<int, std::string> saved;
  bool inTransaction = false;
  for (int round = 0; round < 600; ++round) {
    const int viewed = table_->FieldByName("Id").AsInteger();
    auto randomId = [&] {
      auto it = model.begin();
      std::advance(it, static_cast<long>(random() % model.size()));
      return it->first;
    };
    switch (random() % 12) {
      case 0:
      case 1: {  // The writer changes the viewed record or another one.
        const int id = random() % 2 ? viewed : randomId();
        if (!model.count(id)) break;
        ASSERT_TRUE(writer->FindKey({Variant::FromInteger(id)}));
        writer->Edit();
        model[id] = "changed " + std::to_string(round);
        writer->FieldByName("Plain").SetAsString(model[id]);
        writer->Post();
        break;
      }
      case 2:
        if (model.size() > 5) {
          const int id = random() % 3 ? randomId() : viewed;
          if (!model.count(id)) break;
          ASSERT_TRUE(writer->FindKey({Variant::FromInteger(id)}));
          writer->Delete();
          model.erase(id);
        }
        break;
      case 3:
        add(*writer);
        break;
      case 4:
        if (!inTransaction) {
          database_->BeginTransaction();
          saved = model;
          inTransaction = true;
        } else if (random() % 2) {
          database_->CommitTransaction(false);
          inTransaction = false;
        } else {
          database_->RollbackTransaction();
          // The memory database keeps its changes: it has no transactions.
          if (disk_) model = saved;
          inTransaction = false;
          writer->Refresh();
        }
        break;
      case 5:
        table_->Next();
        if (table_->Eof()) table_->First();
        break;
      case 6:
        table_->Prior();
        break;
      case 7:
        table_->FindKey({Variant::FromInteger(randomId())});
        break;
      case 8:  // The viewer changes its buffer and thinks better of it.
        if (!model.count(viewed)) break;
        table_->Edit();
        table_->FieldByName("Plain").SetAsString("never posted");
        table_->Cancel();
        break;
      default:
        break;
    }
    const bool gone = !model.count(table_->FieldByName("Id").AsInteger());
    const int before = table_->FieldByName("Id").AsInteger();
    for (int reads = 1 + static_cast<int>(random() % 2); reads > 0; --reads) {
      const std::string value =
          random() % 2 ? table_->FieldByName("Plain").AsString() : ReadField(*table_, "Plain");
      const int id = table_->FieldByName("Id").AsInteger();
      if (value.empty()) {
        ASSERT_TRUE(gone) << "round " << round << ": nothing read of Id " << before;
        break;
      }
      ASSERT_TRUE(model.count(id)) << "round " << round << ": Id " << id << " is not stored";
      ASSERT_EQ(value, model[id]) << "round " << round << ", Id " << id;
    }
  }
  if (inTransaction) database_->CommitTransaction(false);
}

// A field's value as bytes: a BLOB kind's content, a wide string's UTF-16 units, the raw value of a
// byte field, the text of others; "NULL" for NULL.
std::string ValueBytes(TField& field) {
  if (field.IsNull()) return "NULL";
  if (field.IsBlob()) return ReadAll(*field.DataSet()->CreateBlobStream(field, bmRead));
  if (field.DataType() == ftWideString) {
    const std::u16string text = field.AsWideString();
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  }
  if (field.DataType() == ftVarBytes) {
    std::string raw(static_cast<size_t>(field.DataSize()), '\0');
    field.GetData(raw.data());
    return raw;
  }
  return field.AsString();
}

TEST_P(BlobStreamTest, FrameworkFieldsCopyTheirValues) {
  {
    TABSLocalCursor cursor(database_->EngineSession());
    cursor.SetTableName("COPY");
    cursor.CreateTable(*MakeFields({{"Id", dt::kInteger},
                                    {"VB", dt::kVarBytes, 10},
                                    {"Big", dt::kLargeInt},
                                    {"WS", dt::kWideString, 20},
                                    {"Name", dt::kString, 20},
                                    {"Memo", dt::kMemo, 0, 1, 5, kBlockSize},
                                    {"Pic", dt::kBlob, 0, 0, 0, kBlockSize},
                                    {"Other", dt::kBlob, 0, 0, 0, kBlockSize},
                                    {"WMemo", dt::kWideMemo, 0, 0, 0, kBlockSize}}),
                       *MakeIndexes({{"byId", {"Id"}, true}}), {});
  }
  auto open = [&] {
    auto table = std::make_unique<TABSTable>(nullptr);
    table->SetDatabaseName(alias_);
    table->SetTableName("COPY");
    table->SetIndexName("byId");
    table->Open();
    return table;
  };
  auto source = open(), target = open();
  const std::u16string wide = u"\u00e9t\u00e9 song";
  const std::string wideBytes(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
  const std::string picture = std::string("\x01\x00\x00\x01\x04\x00\x00\x00", 8) + "JPEG";
  const std::string notPicture = std::string("\x01\x00\x00\x01\x05\x00\x00\x00", 8) + "JPEG";
  source->Append();
  source->FieldByName("Id").SetAsInteger(1);
  const uint8_t varBytes[12] = {3, 0, 'a', 0, 'b'};
  source->FieldByName("VB").SetData(varBytes);
  source->FieldByName("Big").SetAsLargeInt(int64_t{1} << 40);
  source->FieldByName("WS").SetAsWideString(wide);
  source->FieldByName("Name").SetAsString("plain text");
  WriteField(*source, "Pic", picture);
  WriteField(*source, "Other", notPicture);
  source->FieldByName("WMemo").SetAsString(wideBytes);
  source->Post();
  const struct {
    const char* from;
    const char* to;
    std::string expected;
  } cases[] = {
      {"VB", "VB", ValueBytes(source->FieldByName("VB"))},
      {"Big", "Big", "1099511627776"},
      {"Pic", "Other", "JPEG"},          // the header is dropped
      {"Other", "Pic", notPicture},      // a header that does not count the rest is data
      {"WS", "Memo", wideBytes},         // wide text into a BLOB kind: UTF-16 units
      {"WMemo", "WS", wideBytes},        // and back
      {"Name", "Memo", "plain text"},    // through the framework's assignment
      {"Memo", "Name", "NULL"},          // a NULL source clears the target
      {"Pic", "WMemo", "JPEG"},
  };
  target->Append();
  target->FieldByName("Id").SetAsInteger(2);
  target->FieldByName("Name").SetAsString("to be cleared");
  for (const auto& item : cases) {
    SCOPED_TRACE(std::string(item.from) + " -> " + item.to);
    CopyFrameworkFieldValue(source->FieldByName(item.from), target->FieldByName(item.to));
    EXPECT_EQ(ValueBytes(target->FieldByName(item.to)), item.expected);
  }
  target->Post();
  EXPECT_EQ(ValueBytes(target->FieldByName("WMemo")), "JPEG");
  EXPECT_EQ(ValueBytes(target->FieldByName("WS")), wideBytes);
  target.reset();
  source.reset();
  TABSLocalCursor cursor(database_->EngineSession());
  cursor.SetTableName("COPY");
  cursor.DeleteTable();
}

INSTANTIATE_TEST_SUITE_P(Backends, BlobStreamTest, ::testing::Values("disk", "MEMORY"),
                         [](const auto& info) { return std::string(info.param); });

// A write stream that cannot take the table's read lock raises instead of writing nothing; a read
// stream then reads nothing.
TEST(BlobStreamLockTest, AStreamThatCannotLockTheTable) {
  TempDir dir;
  const std::string path = dir.File("l.svl");
  auto database = NewConnection("L", path, {}, true);
  MakeLyricDatabase(*database);
  auto other = NewConnection("L2", path, {}, true);
  other->Open();
  auto table = LyricTable("L", "byId");
  table->Open();
  AddRow(*table, 1, "one", 1);
  table->Edit();
  table->FieldByName("Notes").SetAsString("stored");
  table->Post();
  auto locker = LyricTable("L2");
  locker->Open();
  table->Cursor()->SetBlobLockRetry(2, 1);
  table->Edit();
  ASSERT_TRUE(locker->Cursor()->LockTable(ltCommit, 1, 0));
  EXPECT_EQ(Raised([&] { table->CreateBlobStream(table->FieldByName("Notes"), bmWrite); }),
            std::make_pair(10112, std::string("Cannot open BLOB field for writing. Table is locked. FieldNo = 3, "
                                              "FieldName = Notes")));
  {
    auto reader = table->CreateBlobStream(table->FieldByName("Notes"), bmRead);
    EXPECT_EQ(reader->Size(), 0);
    char byte;
    EXPECT_EQ(reader->Read(&byte, 1), 0);
  }
  EXPECT_EQ(table->FieldByName("Notes").AsString(), "");
  locker->Cursor()->UnlockTable(ltCommit);
  table->FieldByName("Notes").SetAsString("written");
  table->Post();
  EXPECT_EQ(table->FieldByName("Notes").AsString(), "written");
  locker.reset();
  table.reset();
  other.reset();
  database.reset();
  EXPECT_TRUE(VizcheckProblems(path).empty());
}

}  // namespace
}  // namespace viz::testing
