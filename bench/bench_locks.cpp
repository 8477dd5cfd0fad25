// Inter-process coordination, next to SQLite's nearest equivalents: a table lock taken and released
// in multi-user mode (the byte-lock round trip through the table's locks file), a record lock taken
// and released, and a session slot taken and given back (connect and disconnect). SQLite has no
// table locks or connection slots; its nearest equivalents are BEGIN IMMEDIATE / COMMIT on a file
// database (its reserved lock taken and dropped, nothing written) and opening and closing a
// connection (also with the first schema read, since its open alone touches no lock). Prints
// operations per second and each pair's ratio.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "engine/storage/disk/disk_catalog.h"
#include "engine/storage/disk/table_lock_manager.h"
#include "engine/storage/disk_page_manager.h"

namespace {

const std::string& WorkDir() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/vizbenchXXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) std::abort();
    return std::string(made);
  }();
  return dir;
}

// ---- Engine: a database with its catalogue (500 slots) and one table's locks file, opened multi-user.

struct EngineDb {
  EngineDb() {
    path = WorkDir() + "/locks.vdb";
    {
      viz::TABSDiskPageManager creator;
      creator.CreateDatabaseFile(path, {});
      viz::TABSDiskCatalog catalog(creator);
      catalog.Create();
      viz::TABSTableLocksFile locks(creator);
      locks.Create(catalog.MaxConnections());
      locksStart = locks.StartPageNo();
      creator.Commit(viz::kSystemSession);
      creator.CloseDatabaseFile();
    }
    bool multiUser = true, repairNeeded = false, readOnly = false;
    manager.OpenDatabaseFile(path, {}, multiUser, false, repairNeeded, readOnly);
    if (!multiUser) std::abort();
    catalog = std::make_unique<viz::TABSDiskCatalog>(manager);
    catalog->Open();
    lockManager = std::make_unique<viz::TABSDatabaseTableLockManager>(manager, catalog->MaxConnections());
    file = std::make_unique<viz::TABSTableLocksFile>(manager);
    file->Open(locksStart);
  }
  ~EngineDb() {
    file.reset();
    lockManager.reset();
    catalog.reset();
    manager.CloseDatabaseFile();
    std::filesystem::remove(path);
  }

  std::string path;
  int32_t locksStart = -1;
  viz::TABSDiskPageManager manager;
  std::unique_ptr<viz::TABSDiskCatalog> catalog;
  std::unique_ptr<viz::TABSDatabaseTableLockManager> lockManager;
  std::unique_ptr<viz::TABSTableLocksFile> file;
};

void BM_EngineTableLock(benchmark::State& state) {
  EngineDb db;
  const uint8_t kind = static_cast<uint8_t>(state.range(0));
  // Another session holds the table open, as a cursor elsewhere would.
  db.lockManager->LockTable(7, viz::ltOpen, false, 1, 1, *db.file);
  for (auto _ : state) {
    if (!db.lockManager->LockTable(3, kind, false, 1, 1, *db.file)) std::abort();
    db.lockManager->UnlockTable(3, kind, false, false, *db.file);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_EngineRecordLock(benchmark::State& state) {
  EngineDb db;
  viz::TABSRecordAddress address;
  address.PageNo = 12;
  address.RecordNo = 3;
  for (auto _ : state) {
    if (!db.lockManager->LockRecord(3, *db.file, 1, 1, address)) std::abort();
    db.lockManager->UnlockRecord(3, *db.file, address);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_EngineConnect(benchmark::State& state) {
  EngineDb db;
  // Some slots are in use already, as with other connections open.
  const int busy = static_cast<int>(state.range(0));
  for (int index = 0; index < busy; ++index) db.catalog->Sessions().Connect();
  for (auto _ : state) {
    const int32_t number = db.catalog->Sessions().Connect();
    db.catalog->Sessions().Disconnect(number);
  }
  state.SetItemsProcessed(state.iterations());
}

// ---- SQLite

struct SqliteFile {
  SqliteFile() {
    path = WorkDir() + "/locks.db";
    std::filesystem::remove(path);
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode=DELETE; CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT)", nullptr,
                 nullptr, nullptr);
    sqlite3_close(db);
  }
  ~SqliteFile() { std::filesystem::remove(path); }
  std::string path;
};

void Exec(sqlite3* db, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
}

void BM_SqliteBeginImmediateCommit(benchmark::State& state) {
  SqliteFile file;
  sqlite3* db = nullptr;
  sqlite3_open(file.path.c_str(), &db);
  sqlite3_stmt* begin = nullptr;
  sqlite3_stmt* commit = nullptr;
  sqlite3_prepare_v2(db, "BEGIN IMMEDIATE", -1, &begin, nullptr);
  sqlite3_prepare_v2(db, "COMMIT", -1, &commit, nullptr);
  for (auto _ : state) {
    if (sqlite3_step(begin) != SQLITE_DONE || sqlite3_step(commit) != SQLITE_DONE) std::abort();
    sqlite3_reset(begin);
    sqlite3_reset(commit);
  }
  sqlite3_finalize(begin);
  sqlite3_finalize(commit);
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations());
}

void BM_SqliteOpenClose(benchmark::State& state) {
  SqliteFile file;
  const bool readSchema = state.range(0) != 0;
  for (auto _ : state) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) std::abort();
    if (readSchema) Exec(db, "PRAGMA schema_version");
    sqlite3_close(db);
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_EngineTableLock)->Arg(viz::ltRead)->Arg(viz::ltTransactionWrite);
BENCHMARK(BM_EngineRecordLock);
BENCHMARK(BM_EngineConnect)->Arg(0)->Arg(50);
BENCHMARK(BM_SqliteBeginImmediateCommit);
BENCHMARK(BM_SqliteOpenClose)->Arg(0)->Arg(1);

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
    std::printf("\nengine / SQLite's nearest equivalent, operations per second:\n");
    Ratio("BM_EngineTableLock/1", "BM_SqliteBeginImmediateCommit");
    Ratio("BM_EngineTableLock/3", "BM_SqliteBeginImmediateCommit");
    Ratio("BM_EngineRecordLock", "BM_SqliteBeginImmediateCommit");
    Ratio("BM_EngineConnect/0", "BM_SqliteOpenClose/0");
    Ratio("BM_EngineConnect/0", "BM_SqliteOpenClose/1");
    Ratio("BM_EngineConnect/50", "BM_SqliteOpenClose/1");
  }

 private:
  void Ratio(const std::string& engine, const std::string& sqlite) const {
    auto ours = perSecond_.find(engine);
    auto theirs = perSecond_.find(sqlite);
    if (ours == perSecond_.end() || theirs == perSecond_.end()) return;
    std::printf("  %-22s %12.0f/s   %-30s %12.0f/s   ratio %.2f\n", engine.c_str(), ours->second,
                sqlite.c_str(), theirs->second, ours->second / theirs->second);
  }

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
