// In-memory tables next to SQLite's in-memory database: one table (Id INTEGER primary key, Name
// STRING(40) with an index, Score INTEGER) filled with N rows in one bulk insert, then N / 10 point
// lookups by Id and scans of ranges of Ids covering 10 % of the rows in all, each in nanoseconds per
// row. Our side goes through the table data the cursor uses (insert, key search, steps in index
// order); SQLite's through prepared statements in one transaction, reading every column.
//
// Usage: bench_memory_tables [row count (default 1000000)]
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/memory/VIZMemEngine.h"
#include "engine/storage/memory_manager.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace viz;

double NanosSince(Clock::time_point start, int64_t operations) {
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count() /
         static_cast<double>(operations);
}

std::string NameOf(int64_t id) {
  char name[48];
  std::snprintf(name, sizeof name, "name %010lld of the benchmark",
                static_cast<long long>((id * 2654435761LL) % 1000000007LL));
  return name;
}

struct Workload {
  int64_t rows;
  std::vector<int32_t> insertOrder;  // ids in the order they are inserted
  std::vector<int32_t> lookups;      // ids looked up
  std::vector<int32_t> rangeStarts;  // first ids of the scanned ranges
  int32_t rangeLength;
};

Workload MakeWorkload(int64_t rows) {
  Workload work;
  work.rows = rows;
  std::mt19937_64 random(42);
  for (int64_t id = 1; id <= rows; ++id) work.insertOrder.push_back(static_cast<int32_t>(id));
  std::shuffle(work.insertOrder.begin(), work.insertOrder.end(), random);
  for (int64_t i = 0; i < rows / 10; ++i) work.lookups.push_back(static_cast<int32_t>(random() % rows + 1));
  work.rangeLength = 1000;
  const int64_t ranges = std::max<int64_t>(1, rows / 10 / work.rangeLength);
  for (int64_t i = 0; i < ranges; ++i)
    work.rangeStarts.push_back(
        static_cast<int32_t>(random() % std::max<int64_t>(1, rows - work.rangeLength) + 1));
  return work;
}

struct Times {
  double insert = 0, lookup = 0, scan = 0;
  int64_t checksum = 0;
};

// ---- Our side

class BenchCursor : public TABSCursor {
 public:
  std::vector<uint8_t> record, key;
};

Times RunOurs(const Workload& work) {
  Times times;
  TABSMemoryDatabaseData database;
  TABSBaseSession session;
  database.ConnectSession(&session);
  BenchCursor cursor;
  cursor.SetTableName("BENCH");
  cursor.SetSession(&session);
  TABSTableData* table = database.FindOrCreateTableData(&cursor);
  TABSFieldDefs fields;
  TABSFieldDef& id = fields.AddCreated();
  id.SetName("Id");
  id.SetDataType(dt::kInteger);
  TABSFieldDef& name = fields.AddCreated();
  name.SetName("Name");
  name.SetDataType(dt::kString, 40);
  TABSFieldDef& score = fields.AddCreated();
  score.SetName("Score");
  score.SetDataType(dt::kInteger);
  TABSIndexDefs indexes;
  TABSIndexDef& primary = indexes.AddCreated();
  primary.SetName("byId");
  primary.Primary = primary.Unique = true;
  primary.Columns.push_back({"Id", false, false, 0});
  TABSIndexDef& byName = indexes.AddCreated();
  byName.SetName("byName");
  byName.Columns.push_back({"Name", false, false, 0});
  table->CreateTable(&cursor, fields, indexes, {});
  table->RegisterCursor(&cursor);
  const TABSFieldDefs& installed = table->FieldManager()->FieldDefs();
  const int32_t idOffset = installed[0].BufferOffset, nameOffset = installed[1].BufferOffset,
                scoreOffset = installed[2].BufferOffset;
  cursor.record.assign(static_cast<size_t>(table->RecordBufferSize()), 0);
  cursor.key.assign(cursor.record.size(), 0);
  cursor.Navigation().RecordBuffer = cursor.record.data();

  auto start = Clock::now();
  for (int32_t value : work.insertOrder) {
    std::fill(cursor.record.begin(), cursor.record.end(), 0);
    std::memcpy(&cursor.record[static_cast<size_t>(idOffset)], &value, 4);
    const std::string text = NameOf(value);
    std::memcpy(&cursor.record[static_cast<size_t>(nameOffset)], text.data(), text.size());
    const int32_t points = value % 1000;
    std::memcpy(&cursor.record[static_cast<size_t>(scoreOffset)], &points, 4);
    if (!table->InsertRecord(&cursor)) std::abort();
  }
  times.insert = NanosSince(start, work.rows);

  cursor.Navigation().OrderIndexID = table->IndexManager()->IndexDefs()[0].ObjectID;
  cursor.Navigation().KeyBuffer = cursor.key.data();
  cursor.Navigation().KeyFieldCount = 1;
  auto readRow = [&] {
    int32_t rowId, rowScore;
    std::memcpy(&rowId, &cursor.record[static_cast<size_t>(idOffset)], 4);
    std::memcpy(&rowScore, &cursor.record[static_cast<size_t>(scoreOffset)], 4);
    times.checksum += rowId + rowScore + cursor.record[static_cast<size_t>(nameOffset)];
    return rowId;
  };
  start = Clock::now();
  for (int32_t value : work.lookups) {
    std::memcpy(&cursor.key[static_cast<size_t>(idOffset)], &value, 4);
    if (!table->FindKey(&cursor, soEqual)) std::abort();
    table->StepCursor(&cursor, TABSNavigationRecord::kCurrent);
    readRow();
  }
  times.lookup = NanosSince(start, static_cast<int64_t>(work.lookups.size()));

  start = Clock::now();
  int64_t scanned = 0;
  for (int32_t first : work.rangeStarts) {
    std::memcpy(&cursor.key[static_cast<size_t>(idOffset)], &first, 4);
    if (!table->FindKey(&cursor, soGreaterOrEqual)) std::abort();
    table->StepCursor(&cursor, TABSNavigationRecord::kCurrent);
    for (int32_t n = 0; n < work.rangeLength; ++n) {
      readRow();
      ++scanned;
      if (n + 1 < work.rangeLength && table->StepCursor(&cursor, TABSNavigationRecord::kNext) != 0) break;
    }
  }
  times.scan = NanosSince(start, scanned);
  table->UnregisterCursor(&cursor);
  table->DeleteTable(&session, false);
  database.DisconnectSession(&session);
  return times;
}

// ---- SQLite's side

void Check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::exit(1);
  }
}

Times RunSqlite(const Workload& work) {
  Times times;
  sqlite3* db = nullptr;
  Check(sqlite3_open(":memory:", &db), db);
  Check(sqlite3_exec(db,
                     "CREATE TABLE bench(id INTEGER PRIMARY KEY, name VARCHAR(40), score INTEGER);"
                     "CREATE INDEX byName ON bench(name);",
                     nullptr, nullptr, nullptr),
        db);
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db, "INSERT INTO bench VALUES (?, ?, ?)", -1, &insert, nullptr), db);
  auto start = Clock::now();
  Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
  for (int32_t value : work.insertOrder) {
    const std::string text = NameOf(value);
    sqlite3_bind_int(insert, 1, value);
    sqlite3_bind_text(insert, 2, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(insert, 3, value % 1000);
    Check(sqlite3_step(insert), db);
    sqlite3_reset(insert);
  }
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
  times.insert = NanosSince(start, work.rows);

  auto readRow = [&](sqlite3_stmt* statement) {
    times.checksum += sqlite3_column_int(statement, 0) + sqlite3_column_int(statement, 2) +
                      sqlite3_column_text(statement, 1)[0];
  };
  sqlite3_stmt* lookup = nullptr;
  Check(sqlite3_prepare_v2(db, "SELECT id, name, score FROM bench WHERE id = ?", -1, &lookup, nullptr), db);
  start = Clock::now();
  for (int32_t value : work.lookups) {
    sqlite3_bind_int(lookup, 1, value);
    if (sqlite3_step(lookup) != SQLITE_ROW) std::abort();
    readRow(lookup);
    sqlite3_reset(lookup);
  }
  times.lookup = NanosSince(start, static_cast<int64_t>(work.lookups.size()));

  sqlite3_stmt* scan = nullptr;
  Check(sqlite3_prepare_v2(db, "SELECT id, name, score FROM bench WHERE id >= ? ORDER BY id LIMIT ?", -1,
                           &scan, nullptr),
        db);
  start = Clock::now();
  int64_t scanned = 0;
  for (int32_t first : work.rangeStarts) {
    sqlite3_bind_int(scan, 1, first);
    sqlite3_bind_int(scan, 2, work.rangeLength);
    while (sqlite3_step(scan) == SQLITE_ROW) {
      readRow(scan);
      ++scanned;
    }
    sqlite3_reset(scan);
  }
  times.scan = NanosSince(start, scanned);
  sqlite3_finalize(insert);
  sqlite3_finalize(lookup);
  sqlite3_finalize(scan);
  sqlite3_close(db);
  return times;
}

}  // namespace

int main(int argc, char** argv) {
  const int64_t largest = argc > 1 ? std::atoll(argv[1]) : 1000000;
  std::printf("%-10s %-14s %12s %12s %8s\n", "rows", "workload", "ours ns/row", "sqlite ns/row", "ratio");
  for (int64_t rows = 10000; rows <= largest; rows *= 10) {
    const Workload work = MakeWorkload(rows);
    const Times ours = RunOurs(work);
    const Times theirs = RunSqlite(work);
    if (ours.checksum != theirs.checksum) {
      std::fprintf(stderr, "the two sides read different rows\n");
      return 1;
    }
    const struct {
      const char* name;
      double ours, theirs;
    } lines[] = {{"bulk insert", ours.insert, theirs.insert},
                 {"point lookup", ours.lookup, theirs.lookup},
                 {"range scan", ours.scan, theirs.scan}};
    for (const auto& line : lines)
      std::printf("%-10lld %-14s %12.1f %12.1f %8.2f\n", static_cast<long long>(rows), line.name, line.ours,
                  line.theirs, line.ours / line.theirs);
  }
  std::printf("(ratio = ours / sqlite; below 1 is faster than SQLite)\n");
  return 0;
}
