// The record layer of disk tables next to SQLite doing the same work: inserting rows in one
// transaction and one commit per row, looking rows up by key, scanning a table, updating and
// deleting rows, and writing and reading BLOB values. Both keep a table (Id INTEGER, Name text,
// Score INTEGER, Notes BLOB) with a unique index on Id and an index on Name, in rollback-journal
// mode without syncing to the medium. Prints each pair's ratio (engine rows per second / SQLite's).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/disk/VIZDiskEngine.h"
#include "engine/storage/disk_page_manager.h"

namespace {

using namespace viz;

const std::string& WorkDir() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/vizbenchXXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) std::abort();
    return std::string(made);
  }();
  return dir;
}

std::string NameOf(int32_t id) {
  return "song number " + std::to_string(id * 7919 % 100003);
}

std::string NotesOf(int32_t id, size_t size) {
  std::string notes(size, '\0');
  for (size_t at = 0; at < size; ++at) notes[at] = static_cast<char>('a' + (at * 31 + id) % 26);
  return notes;
}

// ---- Engine

class EngineTable {
 public:
  explicit EngineTable(const std::string& name) {
    TABSConnectionSettings settings;
    settings.DatabaseFileName = WorkDir() + "/" + name + ".svl";
    std::filesystem::remove(settings.DatabaseFileName);
    database_ = std::make_unique<TABSDiskDatabaseData>(settings);
    database_->CreateDatabase();
    session_.Connection() = settings;
    database_->ConnectSession(&session_);
    table_ = &database_->Table("T");
    TABSFieldDefs fields;
    const struct {
      const char* name;
      TABSDataType type;
      int32_t size;
    } specs[] = {{"Id", dt::kInteger, 0},
                 {"Name", dt::kString, 30},
                 {"Score", dt::kInteger, 0},
                 {"Notes", dt::kBlob, 0}};
    for (const auto& spec : specs) {
      TABSFieldDef& field = fields.AddCreated();
      field.SetName(spec.name);
      field.SetDataType(spec.type, spec.size);
    }
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
    cursor_.SetTableName("T");
    cursor_.SetSession(&session_);
    table_->CreateTable(&cursor_, fields, indexes, {});
    table_->OpenTable(&cursor_);
    record_.assign(static_cast<size_t>(table_->RecordBufferSize()), 0);
    key_.assign(record_.size(), 0);
    cursor_.Navigation().RecordBuffer = record_.data();
    const TABSFieldDefs& defs = table_->FieldManager()->FieldDefs();
    for (int32_t field = 0; field < 4; ++field) offsets_[field] = defs[field].BufferOffset;
  }
  ~EngineTable() {
    table_->DiscardRecordBlobs(record_.data());
    table_->CloseTable(&cursor_);
    database_->DisconnectSession(&session_);
  }

  void Begin() { session_.SetInTransaction(true); }
  void Commit() {
    database_->Commit(&session_, false);
    session_.SetInTransaction(false);
  }

  void Insert(int32_t id, const std::string& notes = {}) {
    std::fill(record_.begin(), record_.end(), 0);
    std::memcpy(&record_[offsets_[0]], &id, 4);
    const std::string name = NameOf(id);
    std::memcpy(&record_[offsets_[1]], name.data(), name.size());
    std::memcpy(&record_[offsets_[2]], &id, 4);
    SetNullFlag(record_.data(), 3);
    if (!notes.empty()) {
      std::unique_ptr<TABSBlobValueStream> stream = table_->OpenBlobStream(&cursor_, false, true, 3);
      stream->Write(notes.data(), static_cast<int64_t>(notes.size()));
      table_->WriteBlobValue(record_.data(), 3, stream->TakeValue());
    }
    table_->PrepareForInsert(&cursor_);
    if (!table_->InsertRecord(&cursor_)) std::abort();
  }

  //! Positions on the row with that id through the unique index; false when there is none.
  bool Find(int32_t id) {
    cursor_.Navigation().OrderIndexID = table_->IndexManager()->IndexDefs()[0].ObjectID;
    std::memcpy(&key_[offsets_[0]], &id, 4);
    cursor_.Navigation().KeyBuffer = key_.data();
    cursor_.Navigation().KeyFieldCount = 1;
    const bool found =
        table_->FindKey(&cursor_, soEqual) &&
        table_->StepCursor(&cursor_, TABSNavigationRecord::kCurrent) == TABSNavigationRecord::kFound;
    cursor_.Navigation().OrderIndexID = -1;
    return found;
  }
  int32_t Score() const {
    int32_t score;
    std::memcpy(&score, &record_[offsets_[2]], 4);
    return score;
  }
  void SetScore(int32_t score) { std::memcpy(&record_[offsets_[2]], &score, 4); }
  void Update() {
    if (!table_->UpdateRecord(&cursor_)) std::abort();
  }
  void Delete() {
    if (!table_->DeleteRecord(&cursor_)) std::abort();
  }
  int64_t Scan() {
    int64_t sum = 0;
    cursor_.SetCurrentPosition({});
    while (table_->StepCursor(&cursor_, TABSNavigationRecord::kNext) == TABSNavigationRecord::kFound)
      sum += Score();
    return sum;
  }
  int64_t ReadNotes() {
    std::unique_ptr<TABSBlobValueStream> stream = table_->OpenBlobStream(&cursor_, true, false, 3);
    std::vector<char> bytes(static_cast<size_t>(stream->GetSize()));
    return stream->Read(bytes.data(), static_cast<int64_t>(bytes.size()));
  }

 private:
  std::unique_ptr<TABSDiskDatabaseData> database_;
  TABSBaseSession session_;
  TABSCursor cursor_;
  TABSDiskTableData* table_ = nullptr;
  std::vector<uint8_t> record_, key_;
  int32_t offsets_[4] = {};
};

// ---- SQLite

class SqliteTable {
 public:
  explicit SqliteTable(const std::string& name) {
    path_ = WorkDir() + "/" + name + ".db";
    std::filesystem::remove(path_);
    sqlite3_open(path_.c_str(), &db_);
    Exec("PRAGMA page_size=4096");
    Exec("PRAGMA journal_mode=DELETE");
    Exec("PRAGMA synchronous=OFF");
    Exec("CREATE TABLE t(id INTEGER, name TEXT, score INTEGER, notes BLOB)");
    Exec("CREATE UNIQUE INDEX t_id ON t(id)");
    Exec("CREATE INDEX t_name ON t(name)");
    insert_ = Prepare("INSERT INTO t VALUES(?, ?, ?, ?)");
    find_ = Prepare("SELECT rowid, score FROM t WHERE id=?");
    update_ = Prepare("UPDATE t SET score=? WHERE rowid=?");
    delete_ = Prepare("DELETE FROM t WHERE rowid=?");
    scan_ = Prepare("SELECT score FROM t");
    notes_ = Prepare("SELECT notes FROM t WHERE rowid=?");
  }
  ~SqliteTable() {
    for (sqlite3_stmt* statement : {insert_, find_, update_, delete_, scan_, notes_})
      sqlite3_finalize(statement);
    sqlite3_close(db_);
  }
  void Exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
  }
  void Begin() { Exec("BEGIN"); }
  void Commit() { Exec("COMMIT"); }
  void Insert(int32_t id, const std::string& notes = {}) {
    const std::string name = NameOf(id);
    sqlite3_bind_int(insert_, 1, id);
    sqlite3_bind_text(insert_, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(insert_, 3, id);
    if (notes.empty())
      sqlite3_bind_null(insert_, 4);
    else
      sqlite3_bind_blob(insert_, 4, notes.data(), static_cast<int>(notes.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(insert_) != SQLITE_DONE) std::abort();
    sqlite3_reset(insert_);
  }
  bool Find(int32_t id) {
    sqlite3_bind_int(find_, 1, id);
    const bool found = sqlite3_step(find_) == SQLITE_ROW;
    if (found) {
      rowid_ = sqlite3_column_int64(find_, 0);
      score_ = sqlite3_column_int(find_, 1);
    }
    sqlite3_reset(find_);
    return found;
  }
  int32_t Score() const { return score_; }
  void SetScore(int32_t score) { score_ = score; }
  void Update() {
    sqlite3_bind_int(update_, 1, score_);
    sqlite3_bind_int64(update_, 2, rowid_);
    sqlite3_step(update_);
    sqlite3_reset(update_);
  }
  void Delete() {
    sqlite3_bind_int64(delete_, 1, rowid_);
    sqlite3_step(delete_);
    sqlite3_reset(delete_);
  }
  int64_t Scan() {
    int64_t sum = 0;
    while (sqlite3_step(scan_) == SQLITE_ROW) sum += sqlite3_column_int(scan_, 0);
    sqlite3_reset(scan_);
    return sum;
  }
  int64_t ReadNotes() {
    sqlite3_bind_int64(notes_, 1, rowid_);
    int64_t size = 0;
    if (sqlite3_step(notes_) == SQLITE_ROW) {
      std::vector<char> bytes(static_cast<size_t>(sqlite3_column_bytes(notes_, 0)));
      std::memcpy(bytes.data(), sqlite3_column_blob(notes_, 0), bytes.size());
      size = static_cast<int64_t>(bytes.size());
    }
    sqlite3_reset(notes_);
    return size;
  }

 private:
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) std::abort();
    return statement;
  }

  std::string path_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt *insert_ = nullptr, *find_ = nullptr, *update_ = nullptr, *delete_ = nullptr, *scan_ = nullptr,
               *notes_ = nullptr;
  int64_t rowid_ = 0;
  int32_t score_ = 0;
};

constexpr int32_t kRows = 10000;

// ---- The workloads, the same for both

template <class Table>
void BulkInsert(benchmark::State& state) {
  int round = 0;
  for (auto _ : state) {
    Table table("bulk" + std::to_string(round++));
    table.Begin();
    for (int32_t id = 0; id < kRows; ++id) table.Insert(id);
    table.Commit();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

template <class Table>
void CommittedInserts(benchmark::State& state) {
  Table table("committed");
  int32_t id = 0;
  for (auto _ : state) table.Insert(id++);
  state.SetItemsProcessed(state.iterations());
}

template <class Table>
Table& Filled(const std::string& name) {
  static std::map<std::string, std::unique_ptr<Table>> tables;
  auto& table = tables[name];
  if (!table) {
    table = std::make_unique<Table>(name);
    table->Begin();
    for (int32_t id = 0; id < kRows; ++id) table->Insert(id);
    table->Commit();
  }
  return *table;
}

template <class Table>
void Lookup(benchmark::State& state) {
  Table& table = Filled<Table>("lookup");
  int32_t id = 0;
  int64_t sum = 0;
  for (auto _ : state) {
    id = (id + 7919) % kRows;
    if (!table.Find(id)) std::abort();
    sum += table.Score();
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations());
}

template <class Table>
void Scan(benchmark::State& state) {
  Table& table = Filled<Table>("scan");
  int64_t sum = 0;
  for (auto _ : state) sum += table.Scan();
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kRows);
}

template <class Table>
void UpdateByKey(benchmark::State& state) {
  Table& table = Filled<Table>("update");
  int32_t id = 0;
  table.Begin();
  for (auto _ : state) {
    id = (id + 7919) % kRows;
    table.Find(id);
    table.SetScore(table.Score() + 1);
    table.Update();
  }
  table.Commit();
  state.SetItemsProcessed(state.iterations());
}

template <class Table>
void InsertAndDelete(benchmark::State& state) {
  Table& table = Filled<Table>("delete");
  int32_t id = kRows;
  table.Begin();
  for (auto _ : state) {
    table.Insert(id);
    table.Find(id);
    table.Delete();
    ++id;
  }
  table.Commit();
  state.SetItemsProcessed(state.iterations());
}

template <class Table>
void BlobWriteRead(benchmark::State& state) {
  Table table("blobs");
  const size_t size = static_cast<size_t>(state.range(0));
  int32_t id = 0;
  int64_t bytes = 0;
  table.Begin();
  for (auto _ : state) {
    table.Insert(id, NotesOf(id, size));
    table.Find(id++);
    bytes += table.ReadNotes();
  }
  table.Commit();
  benchmark::DoNotOptimize(bytes);
  state.SetItemsProcessed(state.iterations());
}

void BM_EngineBulkInsert(benchmark::State& s) {
  BulkInsert<EngineTable>(s);
}
void BM_SqliteBulkInsert(benchmark::State& s) {
  BulkInsert<SqliteTable>(s);
}
void BM_EngineCommittedInsert(benchmark::State& s) {
  CommittedInserts<EngineTable>(s);
}
void BM_SqliteCommittedInsert(benchmark::State& s) {
  CommittedInserts<SqliteTable>(s);
}
void BM_EngineLookup(benchmark::State& s) {
  Lookup<EngineTable>(s);
}
void BM_SqliteLookup(benchmark::State& s) {
  Lookup<SqliteTable>(s);
}
void BM_EngineScan(benchmark::State& s) {
  Scan<EngineTable>(s);
}
void BM_SqliteScan(benchmark::State& s) {
  Scan<SqliteTable>(s);
}
void BM_EngineUpdate(benchmark::State& s) {
  UpdateByKey<EngineTable>(s);
}
void BM_SqliteUpdate(benchmark::State& s) {
  UpdateByKey<SqliteTable>(s);
}
void BM_EngineInsertDelete(benchmark::State& s) {
  InsertAndDelete<EngineTable>(s);
}
void BM_SqliteInsertDelete(benchmark::State& s) {
  InsertAndDelete<SqliteTable>(s);
}
void BM_EngineBlob(benchmark::State& s) {
  BlobWriteRead<EngineTable>(s);
}
void BM_SqliteBlob(benchmark::State& s) {
  BlobWriteRead<SqliteTable>(s);
}

BENCHMARK(BM_EngineBulkInsert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteBulkInsert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineCommittedInsert);
BENCHMARK(BM_SqliteCommittedInsert);
BENCHMARK(BM_EngineLookup);
BENCHMARK(BM_SqliteLookup);
BENCHMARK(BM_EngineScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineUpdate);
BENCHMARK(BM_SqliteUpdate);
BENCHMARK(BM_EngineInsertDelete);
BENCHMARK(BM_SqliteInsertDelete);
BENCHMARK(BM_EngineBlob)->Arg(200)->Arg(20000);
BENCHMARK(BM_SqliteBlob)->Arg(200)->Arg(20000);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      auto items = run.counters.find("items_per_second");
      if (items != run.counters.end() && items->second.value > 0)
        perSecond_[run.benchmark_name()] = items->second.value;
    }
  }
  void PrintRatios() const {
    std::printf("\nengine / SQLite, rows per second:\n");
    for (const char* work : {"BulkInsert", "CommittedInsert", "Lookup", "Scan", "Update", "InsertDelete",
                             "Blob/200", "Blob/20000"}) {
      auto ours = perSecond_.find(std::string("BM_Engine") + work);
      auto theirs = perSecond_.find(std::string("BM_Sqlite") + work);
      if (ours == perSecond_.end() || theirs == perSecond_.end()) continue;
      std::printf("  %-16s engine %12.0f/s   SQLite %12.0f/s   ratio %.2f\n", work, ours->second,
                  theirs->second, ours->second / theirs->second);
    }
  }

 private:
  std::map<std::string, double> perSecond_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  std::filesystem::remove_all(WorkDir());
  return 0;
}
