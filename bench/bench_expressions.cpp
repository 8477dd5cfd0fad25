// Filter evaluation: the condition `a > 10 AND b LIKE 'x%'` (and `a > 10` alone) over 1,000,000
// records, next to SQLite evaluating the same WHERE over the same rows.
//   - Memory: the engine walks record buffers laid out as the table data model lays them out;
//     SQLite scans an in-memory table (so its time also holds its own row decoding). The engine
//     also reports heap and engine-memory allocations per row, which must be 0.
//   - Disk: the filter of a cursor on a disk table without indexes (every record is read from its
//     page and tested), beside SQLite counting the same WHERE over a table in a database file. Both
//     files are made once in a temporary folder and their pages are cached after the first pass.
//   - Memory table: the same filter on a table of the engine's in-memory database, beside SQLite's
//     in-memory table.
// Every case reports nanoseconds per row.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine/components/VIZMain.h"
#include "engine/sql/VIZExpressions.h"
#include "engine/storage/memory_manager.h"

// The replaced global allocation functions below pair malloc with free; GCC cannot see that pairing
// across the replacement and warns at every inlined delete.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

std::atomic<int64_t> heapAllocations{0};

}  // namespace

void* operator new(size_t size) {
  heapAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size ? size : 1)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, size_t) noexcept {
  std::free(block);
}

namespace {

using namespace viz;

constexpr int64_t kRows = 1000000;
const char* const kWords[] = {"xylophone", "apple", "xenon", "banana", "x", "yellow", "extra", "xx"};

int32_t AOf(int64_t row) {
  return static_cast<int32_t>((row * 7919) % 100);
}
const char* BOf(int64_t row) {
  return kWords[(row * 31) % std::size(kWords)];
}

// The records: a INTEGER, b STRING(20), one buffer after the other.
struct EngineRows {
  TABSFieldDefs fields;
  std::vector<uint8_t> records;
  int32_t size = 0;
  std::unique_ptr<TABSRecordRowSource> source;

  EngineRows() {
    TABSFieldDef& a = fields.AddCreated();
    a.SetName("a");
    a.SetDataType(dt::kInteger);
    TABSFieldDef& b = fields.AddCreated();
    b.SetName("b");
    b.SetDataType(dt::kString, 20);
    fields.ComputeOffsets();
    size = fields.RecordBufferSize();
    records.assign(static_cast<size_t>(size * kRows), 0);
    const TABSFieldLayout layouts[] = {{a.DataType(), a.BaseType(), a.BufferOffset, a.BufferSize()},
                                       {b.DataType(), b.BaseType(), b.BufferOffset, b.BufferSize()}};
    TABSVariant number(bt::kInteger), text(bt::kString);
    for (int64_t row = 0; row < kRows; ++row) {
      uint8_t* record = records.data() + row * size;
      number.SetAsInteger(AOf(row));
      number.WriteToRecord(record, 0, layouts[0]);
      text.SetAsString(BOf(row));
      text.WriteToRecord(record, 1, layouts[1]);
    }
    source = std::make_unique<TABSRecordRowSource>(fields, "t");
  }
};

EngineRows& Rows() {
  static EngineRows rows;
  return rows;
}

void EngineFilter(benchmark::State& state, const char* condition) {
  EngineRows& rows = Rows();
  TABSExpression filter;
  filter.ParseFilter(rows.source.get(), condition, false, false);
  int64_t matches = 0;
  const int64_t heapBefore = heapAllocations.load();
  const int64_t engineBefore = MemoryManager().GetMemCallCount();
  for (auto _ : state) {
    matches = 0;
    const uint8_t* record = rows.records.data();
    for (int64_t row = 0; row < kRows; ++row, record += rows.size) {
      rows.source->SetRecordBuffer(record);
      matches += filter.GetBoolean();
    }
    benchmark::DoNotOptimize(matches);
  }
  const double rowsSeen = static_cast<double>(state.iterations()) * kRows;
  state.counters["ns_per_row"] =
      benchmark::Counter(rowsSeen, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["heap_allocs_per_row"] = static_cast<double>(heapAllocations.load() - heapBefore) / rowsSeen;
  state.counters["engine_allocs_per_row"] =
      static_cast<double>(MemoryManager().GetMemCallCount() - engineBefore) / rowsSeen;
  state.counters["matches"] = static_cast<double>(matches);
}

struct SqliteRows {
  sqlite3* db = nullptr;
  SqliteRows() {
    sqlite3_open(":memory:", &db);
    sqlite3_exec(db, "PRAGMA case_sensitive_like = ON; CREATE TABLE t(a INTEGER, b TEXT); BEGIN;", nullptr,
                 nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?)", -1, &insert, nullptr);
    for (int64_t row = 0; row < kRows; ++row) {
      sqlite3_bind_int(insert, 1, AOf(row));
      sqlite3_bind_text(insert, 2, BOf(row), -1, SQLITE_STATIC);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
  }
  ~SqliteRows() { sqlite3_close(db); }
};

SqliteRows& Sqlite() {
  static SqliteRows rows;
  return rows;
}

void SqliteFilter(benchmark::State& state, const char* condition) {
  SqliteRows& rows = Sqlite();
  sqlite3_stmt* count = nullptr;
  sqlite3_prepare_v2(rows.db, (std::string("SELECT count(*) FROM t WHERE ") + condition).c_str(), -1, &count,
                     nullptr);
  int64_t matches = 0;
  for (auto _ : state) {
    sqlite3_step(count);
    matches = sqlite3_column_int64(count, 0);
    sqlite3_reset(count);
    benchmark::DoNotOptimize(matches);
  }
  sqlite3_finalize(count);
  const double rowsSeen = static_cast<double>(state.iterations()) * kRows;
  state.counters["ns_per_row"] =
      benchmark::Counter(rowsSeen, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["matches"] = static_cast<double>(matches);
}

// The rows in a disk database file and in an SQLite database file, in one temporary folder.
struct DiskRows {
  bool memory;
  std::string folder;
  std::unique_ptr<TABSDatabase> database;
  std::unique_ptr<TABSLocalCursor> cursor;
  std::vector<uint8_t> buffer;
  sqlite3* sqlite = nullptr;

  //! With `memory` the engine's table is one of the in-memory database and SQLite's is the in-memory
  //! one of the record-buffer case.
  explicit DiskRows(bool inMemory) : memory(inMemory) {
    char pattern[] = "/tmp/viz_bench_expr_XXXXXX";
    folder = mkdtemp(pattern);
    database = std::make_unique<TABSDatabase>(nullptr, memory ? "BenchMemoryConnection" : "BenchConnection");
    database->SetDatabaseName(memory ? "MEMORY" : "Bench");
    if (!memory) {
      database->SetDatabaseFileName(folder + "/bench.svl");
      database->MakeDatabaseFile();
    }
    database->Open();
    {
      TABSLocalCursor create(database->EngineSession());
      create.SetTableName("t");
      TABSFieldDefs fields;
      TABSFieldDef& a = fields.AddCreated();
      a.SetName("a");
      a.SetDataType(dt::kInteger);
      TABSFieldDef& b = fields.AddCreated();
      b.SetName("b");
      b.SetDataType(dt::kString, 20);
      create.CreateTable(fields, TABSIndexDefs(), TABSConstraintDefs());
    }
    TABSTable table(nullptr);
    table.SetName("BenchTable");
    table.SetDatabaseName(memory ? "MEMORY" : "Bench");
    table.SetTableName("t");
    table.Open();
    TField& a = table.FieldByName("a");
    TField& b = table.FieldByName("b");
    if (!memory) database->BeginTransaction();
    for (int64_t row = 0; row < kRows; ++row) {
      table.Append();
      a.SetAsInteger(AOf(row));
      b.SetAsString(BOf(row));
      table.Post();
    }
    if (!memory) database->CommitTransaction(false);
    table.Close();
    cursor = std::make_unique<TABSLocalCursor>(database->EngineSession());
    cursor->SetTableName("t");
    cursor->OpenTable();
    buffer.assign(static_cast<size_t>(cursor->RecordBufferSize()), 0);
    cursor->SetRecordBuffer(buffer.data());
    if (memory) return;

    sqlite3_open((folder + "/bench.sqlite").c_str(), &sqlite);
    sqlite3_exec(sqlite, "PRAGMA case_sensitive_like = ON; CREATE TABLE t(a INTEGER, b TEXT); BEGIN;",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(sqlite, "INSERT INTO t VALUES (?, ?)", -1, &insert, nullptr);
    for (int64_t row = 0; row < kRows; ++row) {
      sqlite3_bind_int(insert, 1, AOf(row));
      sqlite3_bind_text(insert, 2, BOf(row), -1, SQLITE_STATIC);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(sqlite, "COMMIT;", nullptr, nullptr, nullptr);
  }
  ~DiskRows() {
    if (sqlite) sqlite3_close(sqlite);
    if (memory) {
      cursor->CloseTable();
      cursor->DeleteTable();
    }
    cursor.reset();
    database.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
};

DiskRows& Disk() {
  static DiskRows rows(false);
  return rows;
}

DiskRows& MemoryTable() {
  static DiskRows rows(true);
  return rows;
}

void EngineTableFilter(benchmark::State& state, DiskRows& rows, const char* condition) {
  TABSExprSearchCondition filter(*rows.cursor->Table(), *rows.cursor);
  filter.ParseFilter(condition, false, false);
  rows.cursor->Navigation().FilterExpression = &filter;
  int64_t matches = 0;
  for (auto _ : state) {
    // The count fills the cursor's record bitmap: one walk over the table testing every record.
    rows.cursor->Navigation().Bitmap.Drop();
    matches = rows.cursor->RecordCount();
    benchmark::DoNotOptimize(matches);
  }
  rows.cursor->Navigation().FilterExpression = nullptr;
  rows.cursor->Navigation().Bitmap.Drop();
  const double rowsSeen = static_cast<double>(state.iterations()) * kRows;
  state.counters["ns_per_row"] =
      benchmark::Counter(rowsSeen, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["matches"] = static_cast<double>(matches);
}

void EngineDiskFilter(benchmark::State& state, const char* condition) {
  EngineTableFilter(state, Disk(), condition);
}

void EngineMemoryTableFilter(benchmark::State& state, const char* condition) {
  EngineTableFilter(state, MemoryTable(), condition);
}

void SqliteDiskFilter(benchmark::State& state, const char* condition) {
  DiskRows& rows = Disk();
  sqlite3_stmt* count = nullptr;
  sqlite3_prepare_v2(rows.sqlite, (std::string("SELECT count(*) FROM t WHERE ") + condition).c_str(), -1,
                     &count, nullptr);
  int64_t matches = 0;
  for (auto _ : state) {
    sqlite3_step(count);
    matches = sqlite3_column_int64(count, 0);
    sqlite3_reset(count);
    benchmark::DoNotOptimize(matches);
  }
  sqlite3_finalize(count);
  const double rowsSeen = static_cast<double>(state.iterations()) * kRows;
  state.counters["ns_per_row"] =
      benchmark::Counter(rowsSeen, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["matches"] = static_cast<double>(matches);
}

constexpr const char* kFilter = "a > 10 AND b LIKE 'x%'";
constexpr const char* kComparison = "a > 10";

BENCHMARK_CAPTURE(EngineFilter, AndLike, kFilter)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SqliteFilter, AndLike, kFilter)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EngineFilter, Comparison, kComparison)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SqliteFilter, Comparison, kComparison)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EngineDiskFilter, AndLike, kFilter)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SqliteDiskFilter, AndLike, kFilter)->Unit(benchmark::kMillisecond);
// The walk alone: a filter that costs next to nothing, so that the difference is the evaluation.
BENCHMARK_CAPTURE(EngineMemoryTableFilter, AndLike, kFilter)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EngineDiskFilter, WalkOnly, "TRUE")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SqliteDiskFilter, WalkOnly, "1")->Unit(benchmark::kMillisecond);

// Collects the times so that the pairs can be printed side by side with their ratio.
class PairReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatio(const std::string& engine, const std::string& sqlite) const {
    const auto e = times_.find(engine), s = times_.find(sqlite);
    if (e == times_.end() || s == times_.end() || s->second <= 0) return;
    // Times are per pass over all rows, in milliseconds: ns per row = ms * 1e6 / rows.
    const double perRow = 1e6 / static_cast<double>(kRows);
    std::printf("%-26s %7.2f ns/row   %-26s %7.2f ns/row   ratio %.2f\n", engine.c_str(), e->second * perRow,
                sqlite.c_str(), s->second * perRow, e->second / s->second);
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  PairReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nengine / SQLite\n");
  reporter.PrintRatio("EngineFilter/AndLike", "SqliteFilter/AndLike");
  reporter.PrintRatio("EngineFilter/Comparison", "SqliteFilter/Comparison");
  reporter.PrintRatio("EngineDiskFilter/AndLike", "SqliteDiskFilter/AndLike");
  reporter.PrintRatio("EngineMemoryTableFilter/AndLike", "SqliteFilter/AndLike");
  reporter.PrintRatio("EngineDiskFilter/WalkOnly", "SqliteDiskFilter/WalkOnly");
  benchmark::Shutdown();
  return 0;
}
