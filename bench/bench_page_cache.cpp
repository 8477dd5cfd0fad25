// Page cache and commits, next to the nearest SQLite work: committing N changed pages (one SQLite
// row of a page-sized BLOB per page, rollback-journal mode) with and without a sync to the medium,
// committing N new pages while the N pages of the previous commit are removed (inserting N rows and
// deleting the N previous ones), and taking a cached page (a point lookup of a cached row in
// SQLite). Prints each pair's ratio.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/storage/disk_page_manager.h"

namespace {

constexpr int kDataBytes = 4056;  // the data area of a 4096-byte page

// A fresh directory that disappears with the program.
const std::string& WorkDir() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/vizbenchXXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) std::abort();
    return std::string(made);
  }();
  return dir;
}

// ---- Engine

struct EngineDb {
  explicit EngineDb(int pages) {
    path = WorkDir() + "/engine" + std::to_string(pages) + ".vdb";
    {
      viz::TABSDiskPageManager creator;
      creator.CreateDatabaseFile(path, {});
      creator.CloseDatabaseFile();
    }
    bool multiUser = true, repairNeeded = false, readOnly = false;
    manager.OpenDatabaseFile(path, {}, multiUser, false, repairNeeded, readOnly);
    for (int index = 0; index < pages; ++index) {
      viz::TABSPage* page = manager.AddPage(1, viz::ptTableRecord);
      numbers.push_back(page->PageNo);
      manager.ReleasePage(page);
    }
    manager.Commit(1);
  }
  ~EngineDb() {
    manager.CloseDatabaseFile();
    std::filesystem::remove(path);
  }

  std::string path;
  viz::TABSDiskPageManager manager;
  std::vector<int32_t> numbers;
};

void BM_EngineCommit(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  const bool flush = state.range(1) != 0;
  EngineDb db(pages);
  uint8_t value = 0;
  for (auto _ : state) {
    ++value;
    for (int32_t pageNo : db.numbers) {
      viz::TABSPage* page = db.manager.GetPage(1, pageNo);
      std::memset(page->Data(), value, page->DataSize());
      page->MarkDirty();
      db.manager.ReleasePage(page);
    }
    db.manager.Commit(1, flush);
  }
  state.SetItemsProcessed(state.iterations() * pages);
}

// Every commit adds N pages and removes the N pages the previous commit added: allocation and
// freeing through the maps, as a table that grows and shrinks does.
void BM_EngineCommitNewPages(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  const bool flush = state.range(1) != 0;
  EngineDb db(0);
  std::vector<int32_t> previous;
  uint8_t value = 0;
  for (auto _ : state) {
    ++value;
    for (int32_t pageNo : previous) db.manager.RemovePage(1, pageNo);
    previous.clear();
    for (int index = 0; index < pages; ++index) {
      viz::TABSPage* page = db.manager.AddPage(1, viz::ptTableRecord);
      std::memset(page->Data(), value, page->DataSize());
      previous.push_back(page->PageNo);
      db.manager.ReleasePage(page);
    }
    db.manager.Commit(1, flush);
  }
  state.SetItemsProcessed(state.iterations() * pages);
}

void BM_EngineCachedPage(benchmark::State& state) {
  EngineDb db(16);
  // Single-user: a cache hit costs no file access at all; multi-user adds one 4-byte read.
  const bool multiUser = state.range(0) != 0;
  if (!multiUser) {
    db.manager.CloseDatabaseFile();
    bool mu = false, repairNeeded = false, readOnly = false;
    db.manager.OpenDatabaseFile(db.path, {}, mu, true, repairNeeded, readOnly);
  }
  const int32_t pageNo = db.numbers[3];
  db.manager.ReleasePage(db.manager.GetPage(1, pageNo));
  int64_t sum = 0;
  for (auto _ : state) {
    viz::TABSPage* page = db.manager.GetPage(1, pageNo);
    sum += page->Data()[7];
    db.manager.ReleasePage(page);
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations());
}

// ---- SQLite

struct SqliteDb {
  SqliteDb(int rows, bool sync) {
    path = WorkDir() + "/sqlite" + std::to_string(rows) + (sync ? "s" : "n") + ".db";
    std::filesystem::remove(path);
    sqlite3_open(path.c_str(), &db);
    Exec("PRAGMA page_size=4096");
    Exec("PRAGMA journal_mode=DELETE");
    Exec(sync ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=OFF");
    Exec("CREATE TABLE t(id INTEGER PRIMARY KEY, b BLOB)");
    Exec("BEGIN");
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?, zeroblob(?))", -1, &insert, nullptr);
    for (int row = 0; row < rows; ++row) {
      sqlite3_bind_int(insert, 1, row);
      sqlite3_bind_int(insert, 2, kDataBytes - 100);  // leaves room for the row and page overhead
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Exec("COMMIT");
  }
  ~SqliteDb() {
    sqlite3_close(db);
    std::filesystem::remove(path);
  }
  void Exec(const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
  }

  std::string path;
  sqlite3* db = nullptr;
};

void BM_SqliteCommit(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  SqliteDb db(rows, state.range(1) != 0);
  sqlite3_stmt* update = nullptr;
  sqlite3_prepare_v2(db.db, "UPDATE t SET b=? WHERE id=?", -1, &update, nullptr);
  std::vector<uint8_t> blob(kDataBytes - 100);
  uint8_t value = 0;
  for (auto _ : state) {
    ++value;
    std::memset(blob.data(), value, blob.size());
    db.Exec("BEGIN");
    for (int row = 0; row < rows; ++row) {
      sqlite3_bind_blob(update, 1, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
      sqlite3_bind_int(update, 2, row);
      sqlite3_step(update);
      sqlite3_reset(update);
    }
    db.Exec("COMMIT");
  }
  sqlite3_finalize(update);
  state.SetItemsProcessed(state.iterations() * rows);
}

void BM_SqliteCommitNewRows(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  SqliteDb db(0, state.range(1) != 0);
  sqlite3_stmt* insert = nullptr;
  sqlite3_stmt* erase = nullptr;
  sqlite3_prepare_v2(db.db, "INSERT INTO t VALUES(?, ?)", -1, &insert, nullptr);
  sqlite3_prepare_v2(db.db, "DELETE FROM t WHERE id=?", -1, &erase, nullptr);
  std::vector<uint8_t> blob(kDataBytes - 100);
  int next = 0;
  uint8_t value = 0;
  for (auto _ : state) {
    ++value;
    std::memset(blob.data(), value, blob.size());
    db.Exec("BEGIN");
    for (int row = next - rows; row < next; ++row) {
      if (row < 0) continue;
      sqlite3_bind_int(erase, 1, row);
      sqlite3_step(erase);
      sqlite3_reset(erase);
    }
    for (int row = next; row < next + rows; ++row) {
      sqlite3_bind_int(insert, 1, row);
      sqlite3_bind_blob(insert, 2, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    next += rows;
    db.Exec("COMMIT");
  }
  sqlite3_finalize(insert);
  sqlite3_finalize(erase);
  state.SetItemsProcessed(state.iterations() * rows);
}

void BM_SqliteCachedRow(benchmark::State& state) {
  SqliteDb db(16, false);
  sqlite3_stmt* select = nullptr;
  sqlite3_prepare_v2(db.db, "SELECT b FROM t WHERE id=3", -1, &select, nullptr);
  int64_t sum = 0;
  for (auto _ : state) {
    sqlite3_step(select);
    sum += static_cast<const uint8_t*>(sqlite3_column_blob(select, 0))[7];
    sqlite3_reset(select);
  }
  sqlite3_finalize(select);
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_EngineCommit)->ArgsProduct({{16, 256}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteCommit)->ArgsProduct({{16, 256}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineCommitNewPages)->ArgsProduct({{16, 256}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteCommitNewRows)->ArgsProduct({{16, 256}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineCachedPage)->Arg(0)->Arg(1);
BENCHMARK(BM_SqliteCachedRow);

// Keeps every run's time per item so the pairs can be compared at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      auto items = run.counters.find("items_per_second");
      if (items != run.counters.end() && items->second.value > 0) {
        perSecond_[run.benchmark_name()] = items->second.value;
      }
    }
  }
  void PrintRatios() const {
    std::printf("\nengine / SQLite, pages (rows) per second:\n");
    for (const char* args : {"16/0", "16/1", "256/0", "256/1"}) {
      Ratio(std::string("BM_EngineCommit/") + args, std::string("BM_SqliteCommit/") + args);
    }
    for (const char* args : {"16/0", "16/1", "256/0", "256/1"}) {
      Ratio(std::string("BM_EngineCommitNewPages/") + args, std::string("BM_SqliteCommitNewRows/") + args);
    }
    Ratio("BM_EngineCachedPage/0", "BM_SqliteCachedRow");
    Ratio("BM_EngineCachedPage/1", "BM_SqliteCachedRow");
  }

 private:
  void Ratio(const std::string& engine, const std::string& sqlite) const {
    auto ours = perSecond_.find(engine);
    auto theirs = perSecond_.find(sqlite);
    if (ours == perSecond_.end() || theirs == perSecond_.end()) return;
    std::printf("  %-30s %12.0f/s   %-28s %12.0f/s   ratio %.2f\n", engine.c_str(), ours->second,
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
