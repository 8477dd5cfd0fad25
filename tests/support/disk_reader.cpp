#include "support/disk_reader.h"

#include <cstring>
#include <memory>

#include "engine/storage/disk/VIZDiskEngine.h"
#include "engine/storage/disk_page_manager.h"
#include "engine/types/errors.h"

namespace viz::testing {

namespace {

// A reading cursor with its own record buffer.
class ReadingCursor : public TABSCursor {
 public:
  ReadingCursor(TABSTableData& table, TABSBaseSession& session) : table_(table) {
    SetTableName(table.TableName());
    SetSession(&session);
  }
  ~ReadingCursor() override {
    if (!open_) return;
    try {
      if (auto* disk = dynamic_cast<TABSDiskTableData*>(&table_)) disk->DiscardRecordBlobs(buffer_.data());
      table_.CloseTable(this);
    } catch (const EABSException&) {
      // Closing after a damaged read reports what it found; the reading already ended.
    }
  }
  void Open() {
    table_.OpenTable(this);
    open_ = true;
    buffer_.assign(static_cast<size_t>(table_.RecordBufferSize()), 0);
    Navigation().RecordBuffer = buffer_.data();
  }
  uint8_t* Buffer() { return buffer_.data(); }

 private:
  TABSTableData& table_;
  std::vector<uint8_t> buffer_;
  bool open_ = false;
};

int64_t ReadBlobs(TABSTableData& table, ReadingCursor& cursor) {
  const TABSFieldDefs& fields = table.FieldManager()->FieldDefs();
  int64_t bytes = 0;
  std::vector<uint8_t> chunk(65536);
  for (int32_t field = 0; field < fields.Count(); ++field) {
    if (!IsBlobBaseType(fields[field].BaseType())) continue;
    std::unique_ptr<TABSBlobValueStream> stream = table.OpenBlobStream(&cursor, true, false, field);
    for (int64_t got; (got = stream->Read(chunk.data(), static_cast<int64_t>(chunk.size()))) > 0;)
      bytes += got;
  }
  return bytes;
}

// Steps through the table in the cursor's order; a damaged chain of pages cannot make the walk
// longer than the limit.
int64_t Walk(TABSTableData& table, ReadingCursor& cursor, int64_t limit, bool readBlobs) {
  cursor.SetCurrentPosition({});
  int64_t records = 0;
  while (records < limit &&
         table.StepCursor(&cursor, TABSNavigationRecord::kNext) == TABSNavigationRecord::kFound) {
    ++records;
    if (readBlobs) ReadBlobs(table, cursor);
  }
  return records;
}

void ReadTable(TABSDiskDatabaseData& database, TABSBaseSession& session, const std::string& name,
               ReadOutcome& outcome) {
  TABSDiskTableData& table = database.Table(name);
  ReadingCursor cursor(table, session);
  cursor.Open();
  const int64_t count = table.RecordCount(&cursor);
  const int64_t limit = std::max<int64_t>(count, 0) + 16;
  outcome.Records += Walk(table, cursor, limit, true);
  const TABSIndexDefs& indexes = table.IndexManager()->IndexDefs();
  for (int32_t index = 0; index < indexes.Count(); ++index) {
    cursor.Navigation().OrderIndexID = indexes[index].ObjectID;
    Walk(table, cursor, limit, false);
    table.GotoOrdinal(&cursor, count / 2 + 1);
    table.Ordinal(&cursor);
  }
  cursor.Navigation().OrderIndexID = -1;
  if (count > 0) {
    table.GotoStorageOrdinal(&cursor, count);
    table.StorageOrdinal(&cursor);
  }
}

}  // namespace

ReadOutcome ReadWholeDatabase(const std::string& path, const std::string& password) {
  ReadOutcome outcome;
  TABSConnectionSettings settings;
  settings.DatabaseFileName = path;
  settings.Password = password;
  TABSDiskDatabaseData database(settings);
  TABSBaseSession session;
  session.Connection() = settings;
  try {
    database.ConnectSession(&session);
    database.Pages().SetLockRetryPolicy(3, 1);
  } catch (const EABSException& error) {
    outcome.Errors.push_back(error.Message());
    return outcome;
  }
  std::vector<std::string> names;
  try {
    database.ListTableNames(names);
  } catch (const EABSException& error) {
    outcome.Errors.push_back(error.Message());
  }
  for (const std::string& name : names) {
    ++outcome.Tables;
    try {
      ReadTable(database, session, name, outcome);
    } catch (const EABSException& error) {
      outcome.Errors.push_back(error.Message());
    }
  }
  database.DisconnectSession(&session);
  return outcome;
}

void MakeSampleDatabase(const std::string& path, uint16_t pageSize, int32_t records,
                        const std::string& password) {
  TABSConnectionSettings settings;
  settings.DatabaseFileName = path;
  settings.PageSize = pageSize;
  settings.Password = password;
  settings.CipherType = password.empty() ? 0 : 1;
  settings.MaxConnections = 4;
  TABSDiskDatabaseData database(settings);
  database.CreateDatabase();
  TABSBaseSession session;
  session.Connection() = settings;
  database.ConnectSession(&session);
  for (const char* name : {"LYRIC", "EMPTY"}) {
    TABSFieldDefs fields;
    const struct {
      const char* name;
      TABSDataType type;
      int32_t size;
    } specs[] = {{"Id", dt::kInteger, 0},
                 {"Name", dt::kString, 30},
                 {"Score", dt::kInteger, 0},
                 {"Notes", dt::kMemo, 0}};
    for (const auto& spec : specs) {
      TABSFieldDef& field = fields.AddCreated();
      field.SetName(spec.name);
      field.SetDataType(spec.type, spec.size);
    }
    fields[3].BlobCompressionAlgorithm = 1;
    fields[3].BlobCompressionMode = 1;
    fields[3].BlobBlockSize = 2000;
    TABSIndexDefs indexes;
    for (int index = 0; index < 2; ++index) {
      auto definition = std::make_unique<TABSIndexDef>();
      definition->SetName(index == 0 ? "byId" : "byName");
      definition->Unique = index == 0;
      TABSIndexColumn column;
      column.FieldName = index == 0 ? "Id" : "Name";
      definition->Columns.push_back(column);
      indexes.Add(std::move(definition));
    }
    TABSDiskTableData& table = database.Table(name);
    ReadingCursor cursor(table, session);
    table.CreateTable(&cursor, fields, indexes, {});
  }
  TABSDiskTableData& table = database.Table("LYRIC");
  {
    ReadingCursor cursor(table, session);
    cursor.Open();
    session.SetInTransaction(true);
    const TABSFieldDefs& fields = table.FieldManager()->FieldDefs();
    for (int32_t id = 1; id <= records; ++id) {
      uint8_t* record = cursor.Buffer();
      std::fill(record, record + table.RecordBufferSize(), 0);
      std::memcpy(record + fields[0].BufferOffset, &id, 4);
      const std::string name = "song " + std::to_string(id * 7 % 100);
      std::memcpy(record + fields[1].BufferOffset, name.data(), name.size());
      std::memcpy(record + fields[2].BufferOffset, &id, 4);
      SetNullFlag(record, 3);
      if (id % 3 != 0) {
        std::string notes =
            id % 5 == 0 ? std::string(static_cast<size_t>(pageSize) * 3, '\0') : "words " + name;
        uint32_t state = static_cast<uint32_t>(id);
        if (id % 5 == 0)
          for (char& c : notes) c = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
        std::unique_ptr<TABSBlobValueStream> stream = table.OpenBlobStream(&cursor, false, true, 3);
        stream->Write(notes.data(), static_cast<int64_t>(notes.size()));
        table.WriteBlobValue(record, 3, stream->TakeValue());
      }
      table.PrepareForInsert(&cursor);
      table.InsertRecord(&cursor);
    }
    database.Commit(&session, false);
    session.SetInTransaction(false);
    // A few holes, so that pages are partly used.
    for (int32_t ordinal = records / 2; ordinal >= 1; ordinal -= 4) {
      table.GotoStorageOrdinal(&cursor, ordinal);
      table.DeleteRecord(&cursor);
    }
  }
  database.DisconnectSession(&session);
}

}  // namespace viz::testing
