// B-tree indexes next to SQLite: the same keys inserted into one of our record indexes and into a
// SQLite index (a WITHOUT ROWID table keyed by (key, address), which is one B-tree of entries like
// ours), both in memory. For 10k, 100k and 1M keys, integer and 40-character text keys, in random
// and in ascending order: inserts, point lookups, a forward range scan over 10 % of the keys and
// deleting half of them, in nanoseconds per operation, with our pages, fill factors and tree height.
//
// Usage: bench_btree [largest key count (default 1000000)] [int | text (default both)]
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/VIZPage.h"
#include "engine/tables/VIZBaseEngine.h"
#include "engine/tables/btree/ABSBTree.h"

namespace {

using Clock = std::chrono::steady_clock;

double NanosSince(Clock::time_point start, int64_t operations) {
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count() /
         static_cast<double>(operations);
}

// ---- Our side: an index on memory pages, over a table whose records are never read (no key column
// is truncated, so the index compares keys in place).

class MemoryPages : public viz::TABSPageManager {
 public:
  MemoryPages() : TABSPageManager(4096, 0) { SetCacheCapacity(1 << 30); }
  void AllocatePageNo(viz::TABSPage* page) override {
    page->PageNo = next_++;
    page->AllocBuffer();
  }
  void FreePageNo(int32_t pageNo) override { stored_.erase(pageNo); }
  bool ReadPage(viz::TABSPage* page) override {
    std::memcpy(page->Buffer(), stored_.at(page->PageNo).data(), PageSize());
    return true;
  }
  void WritePage(viz::TABSPage* page) override {
    stored_[page->PageNo].assign(page->Buffer(), page->Buffer() + PageSize());
  }

 private:
  int32_t next_ = 0;
  std::map<int32_t, std::vector<uint8_t>> stored_;
};

class NoRecords : public viz::TABSBaseRecordManager {
 public:
  using TABSBaseRecordManager::TABSBaseRecordManager;
  void Empty(int32_t) override {}
  viz::TABSRecordAddress Insert(int32_t, const uint8_t*) override { return {}; }
  bool Update(int32_t, const uint8_t*, const viz::TABSRecordAddress&) override { return false; }
  bool Delete(int32_t, const viz::TABSRecordAddress&) override { return false; }
  void Navigate(int32_t, viz::TABSNavigationRecord& navigation) override {
    navigation.Outcome = viz::TABSNavigationRecord::kNotFound;
  }
  int CompareAddresses(const viz::TABSRecordAddress& a, const viz::TABSRecordAddress& b) override {
    return a < b ? -1 : (b < a ? 1 : 0);
  }
  int64_t ApproximateOrdinal(int32_t, const viz::TABSRecordAddress&) override { return -1; }
};

class BenchTable : public viz::TABSTableData {
 public:
  BenchTable(viz::TABSDatabaseData* database, viz::TABSPageManager* pages)
      : TABSTableData(database, "BENCH") {
    fieldManager_ = std::make_unique<viz::TABSBaseFieldManager>(this);
    indexManager_ = std::make_unique<viz::TABSBaseIndexManager>(this, pages, pages);
    constraintManager_ = std::make_unique<viz::TABSBaseConstraintManager>(this);
  }
  void CreateRecordManager() override { recordManager_ = std::make_unique<NoRecords>(this); }
  void CreateTable(viz::TABSCursor*, const viz::TABSFieldDefs&, const viz::TABSIndexDefs&,
                   const viz::TABSConstraintDefs&) override {}
  int64_t RecordNumberBound(viz::TABSCursor*) override { return 0; }
  int64_t AddressToRecordNumber(const viz::TABSRecordAddress& address) override { return address.PageNo; }
  viz::TABSRecordAddress RecordNumberToAddress(int64_t number) override {
    return {static_cast<int32_t>(number), 0};
  }
  bool InsertRecord(viz::TABSCursor*) override { return false; }
  bool DeleteRecord(viz::TABSCursor*) override { return false; }
  bool UpdateRecord(viz::TABSCursor*) override { return false; }
  void GotoStorageOrdinal(viz::TABSCursor*, int64_t) override {}
  int64_t StorageOrdinal(viz::TABSCursor*) override { return -1; }
  int64_t RecordCount(viz::TABSCursor*) override { return 0; }
};

class BenchDatabase : public viz::TABSDatabaseData {
 public:
  viz::TABSTableData* NewTableData(viz::TABSCursor*) override { return nullptr; }
  int32_t NextObjectID() override { return next_++; }

 private:
  int32_t next_ = 1;
};

struct Keys {
  bool text;
  std::vector<int32_t> numbers;      // key i, in insertion order
  std::vector<std::string> strings;  // the same as text
};

Keys MakeKeys(bool text, bool ascending, int64_t count, uint32_t seed) {
  Keys keys{text, {}, {}};
  std::vector<int32_t> order(static_cast<size_t>(count));
  for (int64_t i = 0; i < count; ++i) order[static_cast<size_t>(i)] = static_cast<int32_t>(i * 7);
  if (!ascending) std::shuffle(order.begin(), order.end(), std::mt19937(seed));
  keys.numbers = order;
  if (text) {
    for (int32_t n : order) {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "lyric-%034d", n);  // 40 characters, sorting like n
      keys.strings.emplace_back(buffer);
    }
  }
  return keys;
}

struct Result {
  double insert = 0, lookup = 0, scan = 0, remove = 0;
  int32_t pages = 0, height = 0;
  double fill = 0;
};

class OurIndex {
 public:
  explicit OurIndex(bool text) {
    table_ = new BenchTable(&database_, &pages_);
    viz::TABSFieldDefs fields;
    viz::TABSFieldDef& field = fields.AddCreated();
    field.SetName("K");
    field.SetDataType(text ? viz::dt::kString : viz::dt::kInteger, text ? 40 : 0);
    table_->SetFieldDefs(fields);
    table_->CreateRecordManager();
    viz::TABSIndexDef definition;
    definition.SetName("byK");
    definition.Columns.push_back({"K", false, false, 100});
    table_->IndexManager()->AddIndex(definition, nullptr);
    pages_.Commit(viz::kSystemSession);
    index_ = static_cast<viz::TABSBTreeRecordIndex*>(
        &table_->IndexManager()->GetIndex(table_->IndexManager()->IndexDefs()[0].ObjectID));
    record_.assign(static_cast<size_t>(table_->FieldManager()->FieldDefs().RecordBufferSize()), 0);
  }

  uint8_t* Record(const Keys& keys, size_t i) {
    const viz::TABSFieldDef& field = table_->FieldManager()->FieldDefs()[0];
    if (keys.text)
      std::memcpy(&record_[static_cast<size_t>(field.BufferOffset)], keys.strings[i].c_str(), 41);
    else
      std::memcpy(&record_[static_cast<size_t>(field.BufferOffset)], &keys.numbers[i], 4);
    return record_.data();
  }
  static viz::TABSRecordAddress Address(size_t i) {
    return {static_cast<int32_t>(i / 100), static_cast<uint16_t>(i % 100)};
  }

  Result Run(const Keys& keys, const std::vector<size_t>& probes) {
    Result result;
    const size_t count = keys.numbers.size();
    auto start = Clock::now();
    for (size_t i = 0; i < count; ++i) index_->InsertKey(1, Record(keys, i), Address(i));
    pages_.Commit(1);
    result.insert = NanosSince(start, static_cast<int64_t>(count));
    // The keys are unique and there are no records to match: the structure check alone.
    const viz::TABSBTreeCheckReport report = viz::TABSBTreeChecker(index_->Tree(), false).Check(1);
    if (!report.Sound()) {
      std::fprintf(stderr, "%s", report.Text().c_str());
      std::abort();
    }
    result.pages = report.Pages;
    result.height = report.Height;
    result.fill = report.LeafFillFactor;

    // One condition whose key is the record buffer each probe is written into.
    auto condition = viz::TABSScanSearchCondition::ForIndex(0, viz::soEqual, record_.data(),
                                                            static_cast<int32_t>(record_.size()), 1, true);
    start = Clock::now();
    viz::TABSKeyPath path;
    viz::TABSRecordAddress address;
    int64_t found = 0;
    for (size_t i : probes) {
      Record(keys, i);
      if (index_->PositionOnCondition(1, condition.get(), false, path, &address) && address == Address(i))
        ++found;
    }
    result.lookup = NanosSince(start, static_cast<int64_t>(probes.size()));
    if (found != static_cast<int64_t>(probes.size())) std::abort();

    // 10 % of the keys from a key a third of the way in.
    const size_t from = std::min_element(keys.numbers.begin(), keys.numbers.end(),
                                         [&](int32_t a, int32_t b) {
                                           return std::abs(a - static_cast<int32_t>(count * 7 / 3)) <
                                                  std::abs(b - static_cast<int32_t>(count * 7 / 3));
                                         }) -
                        keys.numbers.begin();
    auto startCondition = viz::TABSScanSearchCondition::ForIndex(0, viz::soGreaterOrEqual, Record(keys, from),
                                                                 static_cast<int32_t>(record_.size()), 1);
    viz::TABSScanState state;
    const int64_t wanted = static_cast<int64_t>(count / 10);
    start = Clock::now();
    int64_t scanned = 0;
    for (bool first = true; scanned < wanted; first = false, ++scanned)
      if (!index_->ScanStep(1, first, state, address, nullptr, nullptr, startCondition.get(), false)) break;
    result.scan = NanosSince(start, std::max<int64_t>(scanned, 1));

    start = Clock::now();
    for (size_t i = 0; i < count; i += 2)
      if (!index_->DeleteKey(1, Record(keys, i), Address(i))) std::abort();
    pages_.Commit(1);
    result.remove = NanosSince(start, static_cast<int64_t>((count + 1) / 2));
    return result;
  }

 private:
  MemoryPages pages_;
  BenchDatabase database_;
  BenchTable* table_;
  viz::TABSBTreeRecordIndex* index_;
  std::vector<uint8_t> record_;
};

// ---- SQLite: the same entries in one B-tree.

void Check(int code, sqlite3* db) {
  if (code != SQLITE_OK && code != SQLITE_DONE && code != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::abort();
  }
}

Result RunSqlite(const Keys& keys, const std::vector<size_t>& probes) {
  sqlite3* db = nullptr;
  Check(sqlite3_open(":memory:", &db), db);
  const char* type = keys.text ? "TEXT" : "INTEGER";
  const std::string create =
      std::string("CREATE TABLE t(k ") + type + ", a INTEGER, PRIMARY KEY(k, a)) WITHOUT ROWID";
  Check(sqlite3_exec(db, create.c_str(), nullptr, nullptr, nullptr), db);
  auto prepare = [&](const char* sql) {
    sqlite3_stmt* statement = nullptr;
    Check(sqlite3_prepare_v2(db, sql, -1, &statement, nullptr), db);
    return statement;
  };
  sqlite3_stmt* insert = prepare("INSERT INTO t VALUES(?, ?)");
  sqlite3_stmt* lookup = prepare("SELECT a FROM t WHERE k = ? LIMIT 1");
  sqlite3_stmt* scan = prepare("SELECT a FROM t WHERE k >= ? LIMIT ?");
  sqlite3_stmt* remove = prepare("DELETE FROM t WHERE k = ? AND a = ?");
  auto bindKey = [&](sqlite3_stmt* statement, size_t i) {
    if (keys.text)
      sqlite3_bind_text(statement, 1, keys.strings[i].c_str(), 40, SQLITE_STATIC);
    else
      sqlite3_bind_int(statement, 1, keys.numbers[i]);
  };
  Result result;
  const size_t count = keys.numbers.size();
  auto start = Clock::now();
  Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
  for (size_t i = 0; i < count; ++i) {
    bindKey(insert, i);
    sqlite3_bind_int64(insert, 2, static_cast<int64_t>(i));
    Check(sqlite3_step(insert), db);
    sqlite3_reset(insert);
  }
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
  result.insert = NanosSince(start, static_cast<int64_t>(count));

  start = Clock::now();
  for (size_t i : probes) {
    bindKey(lookup, i);
    if (sqlite3_step(lookup) != SQLITE_ROW) std::abort();
    sqlite3_reset(lookup);
  }
  result.lookup = NanosSince(start, static_cast<int64_t>(probes.size()));

  const size_t from = std::min_element(keys.numbers.begin(), keys.numbers.end(),
                                       [&](int32_t a, int32_t b) {
                                         return std::abs(a - static_cast<int32_t>(count * 7 / 3)) <
                                                std::abs(b - static_cast<int32_t>(count * 7 / 3));
                                       }) -
                      keys.numbers.begin();
  bindKey(scan, from);
  sqlite3_bind_int64(scan, 2, static_cast<int64_t>(count / 10));
  start = Clock::now();
  int64_t scanned = 0;
  while (sqlite3_step(scan) == SQLITE_ROW) ++scanned;
  result.scan = NanosSince(start, std::max<int64_t>(scanned, 1));

  start = Clock::now();
  Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
  for (size_t i = 0; i < count; i += 2) {
    bindKey(remove, i);
    sqlite3_bind_int64(remove, 2, static_cast<int64_t>(i));
    Check(sqlite3_step(remove), db);
    sqlite3_reset(remove);
  }
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
  result.remove = NanosSince(start, static_cast<int64_t>((count + 1) / 2));
  for (sqlite3_stmt* statement : {insert, lookup, scan, remove}) sqlite3_finalize(statement);
  sqlite3_close(db);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const int64_t largest = argc > 1 ? std::atoll(argv[1]) : 1000000;
  const std::string only = argc > 2 ? argv[2] : "";
  std::printf("ns per operation, ours / SQLite (ratio < 1: we are faster); our pages, leaf fill, height\n");
  std::printf("%-6s %-10s %8s | %-22s | %-22s | %-22s | %-22s | %7s %5s %3s\n", "keys", "order", "count",
              "insert", "lookup", "scan (per key)", "delete half", "pages", "fill", "h");
  for (bool text : {false, true}) {
    if (!only.empty() && only != (text ? "text" : "int")) continue;
    for (bool ascending : {false, true}) {
      for (int64_t count = 10000; count <= largest; count *= 10) {
        const Keys keys = MakeKeys(text, ascending, count, 42);
        std::vector<size_t> probes(static_cast<size_t>(std::min<int64_t>(count, 200000)));
        std::mt19937 random(7);
        for (size_t& probe : probes) probe = random() % static_cast<size_t>(count);
        const Result ours = OurIndex(text).Run(keys, probes);
        const Result theirs = RunSqlite(keys, probes);
        auto cell = [](double a, double b) {
          static char buffer[4][64];
          static int next = 0;
          char* out = buffer[next++ % 4];
          std::snprintf(out, 64, "%7.0f / %7.0f = %4.2f", a, b, a / b);
          return out;
        };
        std::printf("%-6s %-10s %8lld | %s | %s | %s | %s | %7d %4.0f%% %3d\n", text ? "text40" : "int",
                    ascending ? "ascending" : "random", static_cast<long long>(count),
                    cell(ours.insert, theirs.insert), cell(ours.lookup, theirs.lookup),
                    cell(ours.scan, theirs.scan), cell(ours.remove, theirs.remove), ours.pages,
                    ours.fill * 100, ours.height);
        std::fflush(stdout);
      }
    }
  }
  return 0;
}
