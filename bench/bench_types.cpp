// Value access on hot paths: comparing two like-typed fixed-size values and reading a record field
// into a borrowed variant, next to the nearest SQLite operations (comparing two integer values and
// reading an integer column of the current row). The engine side must allocate nothing: every
// benchmark reports heap allocations and engine-memory blocks per iteration.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>

#include "engine/storage/memory_manager.h"
#include "engine/types/VIZVariant.h"
#include "engine/types/raw_values.h"

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

using viz::TABSVariant;
namespace bt = viz::bt;

// Reports allocations per iteration of the timed loop.
class AllocationCounter {
 public:
  explicit AllocationCounter(benchmark::State& state)
      : state_(state),
        heapBefore_(heapAllocations.load()),
        engineBefore_(viz::MemoryManager().GetMemoryInUse()) {}
  ~AllocationCounter() {
    const double iterations = static_cast<double>(state_.iterations() ? state_.iterations() : 1);
    state_.counters["heap_allocs_per_iter"] =
        static_cast<double>(heapAllocations.load() - heapBefore_) / iterations;
    state_.counters["engine_bytes_held"] =
        static_cast<double>(viz::MemoryManager().GetMemoryInUse() - engineBefore_);
  }

 private:
  benchmark::State& state_;
  int64_t heapBefore_;
  int64_t engineBefore_;
};

void Engine_CompareIntegers(benchmark::State& state) {
  int32_t left = 1, right = 2;
  AllocationCounter counter(state);
  for (auto _ : state) {
    benchmark::DoNotOptimize(left);
    benchmark::DoNotOptimize(
        viz::CompareRawValues(&left, &right, bt::kInteger, bt::kInteger, 1024, false, -1, false, false));
    ++left;
  }
}
BENCHMARK(Engine_CompareIntegers);

void Engine_CompareDateTimes(benchmark::State& state) {
  viz::TABSDateTimePair left{732000, 5}, right{732000, 6};
  AllocationCounter counter(state);
  for (auto _ : state) {
    benchmark::DoNotOptimize(left);
    benchmark::DoNotOptimize(
        viz::CompareRawValues(&left, &right, bt::kDateTime, bt::kDateTime, 1024, false, -1, false, false));
  }
}
BENCHMARK(Engine_CompareDateTimes);

void Engine_CompareIntegerVariants(benchmark::State& state) {
  TABSVariant left(bt::kInteger), right(bt::kInteger);
  left.SetAsInteger(1);
  right.SetAsInteger(2);
  AllocationCounter counter(state);
  for (auto _ : state) benchmark::DoNotOptimize(left.Compare(right));
}
BENCHMARK(Engine_CompareIntegerVariants);

// Record buffer: null bitmap, then an INTEGER field at offset 1 (unaligned, as records pack fields).
void Engine_ReadFieldIntoBorrowedVariant(benchmark::State& state) {
  alignas(8) unsigned char record[8] = {0, 42, 0, 0, 0};
  const viz::TABSFieldLayout field{viz::dt::kInteger, bt::kInteger, 1, 4};
  TABSVariant value;
  int64_t sum = 0;
  AllocationCounter counter(state);
  for (auto _ : state) {
    value.ReadFromRecord(record, 0, field, viz::TABSCopyMode::Borrow);
    sum += value.GetAsInteger();
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(Engine_ReadFieldIntoBorrowedVariant);

void Engine_ReadFieldIntoOwnedVariant(benchmark::State& state) {
  alignas(8) unsigned char record[8] = {0, 42, 0, 0, 0};
  const viz::TABSFieldLayout field{viz::dt::kInteger, bt::kInteger, 1, 4};
  TABSVariant value;
  int64_t sum = 0;
  AllocationCounter counter(state);
  for (auto _ : state) {
    value.ReadFromRecord(record, 0, field, viz::TABSCopyMode::Copy);  // reuses its payload
    sum += value.GetAsInteger();
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(Engine_ReadFieldIntoOwnedVariant);

// SQLite: one row of an in-memory table, stepped once; the loop reads its integer column.
struct SqliteRow {
  sqlite3* db = nullptr;
  sqlite3_stmt* statement = nullptr;
  SqliteRow() {
    sqlite3_open(":memory:", &db);
    sqlite3_exec(db, "CREATE TABLE t(a INTEGER, b INTEGER); INSERT INTO t VALUES(42, 43);", nullptr, nullptr,
                 nullptr);
    sqlite3_prepare_v2(db, "SELECT a, b FROM t", -1, &statement, nullptr);
    sqlite3_step(statement);
  }
  ~SqliteRow() {
    sqlite3_finalize(statement);
    sqlite3_close(db);
  }
};

void Sqlite_CompareIntegers(benchmark::State& state) {
  SqliteRow row;
  sqlite3_value* left = sqlite3_value_dup(sqlite3_column_value(row.statement, 0));
  sqlite3_value* right = sqlite3_value_dup(sqlite3_column_value(row.statement, 1));
  AllocationCounter counter(state);
  for (auto _ : state) {
    const sqlite3_int64 a = sqlite3_value_int64(left), b = sqlite3_value_int64(right);
    benchmark::DoNotOptimize(a < b ? 1 : a > b ? 2 : 0);
  }
  sqlite3_value_free(left);
  sqlite3_value_free(right);
}
BENCHMARK(Sqlite_CompareIntegers);

void Sqlite_ReadColumn(benchmark::State& state) {
  SqliteRow row;
  int64_t sum = 0;
  AllocationCounter counter(state);
  for (auto _ : state) {
    sum += sqlite3_column_int64(row.statement, 0);
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(Sqlite_ReadColumn);

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
    std::printf("%-40s %9.2f ns   %-24s %9.2f ns   ratio %.2f\n", engine.c_str(), e->second, sqlite.c_str(),
                s->second, e->second / s->second);
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
  reporter.PrintRatio("Engine_CompareIntegers", "Sqlite_CompareIntegers");
  reporter.PrintRatio("Engine_CompareIntegerVariants", "Sqlite_CompareIntegers");
  reporter.PrintRatio("Engine_ReadFieldIntoBorrowedVariant", "Sqlite_ReadColumn");
  reporter.PrintRatio("Engine_ReadFieldIntoOwnedVariant", "Sqlite_ReadColumn");
  benchmark::Shutdown();
  return 0;
}
