// Crash safety of tables: a child process commits generations of changes to a table (inserts,
// updates and deletes, with BLOBs) and is killed with SIGKILL at random moments. After every kill
// the table holds exactly the rows of the last completed commit, the file checker finds nothing but
// what a killed allocation may leave, and the table goes on working.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>

#include "storage/disk/disk_test_util.h"
#include "support/child_process.h"
#include "support/disk_tables.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using testing::ChildProcess;
using testing::TableCursor;
using testing::TempDir;
using testing::TestDatabase;

struct Row {
  std::string name;
  int32_t score = 0;
  std::string memo;
  bool operator==(const Row&) const = default;
};
using Rows = std::map<int32_t, Row>;

std::string Memo(int32_t seed) {
  const size_t size = (static_cast<uint32_t>(seed) * 2654435761u) % 12000u;
  std::string memo(size % 5 == 0 ? 0 : size, '\0');
  uint32_t state = static_cast<uint32_t>(seed);
  for (char& c : memo) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return memo;
}

// The changes of generation g; row 0 keeps the number of the last generation.
void Apply(int32_t g, Rows& rows) {
  rows[g] = Row{"n" + std::to_string(g), g, Memo(g)};
  if (g % 3 == 0 && rows.count(g / 3)) rows[g / 3] = Row{"u" + std::to_string(g), g / 3, Memo(g + 7)};
  if (g % 4 == 0) rows.erase(g - 5);
  rows[0].score = g;
}

Rows Generations(int32_t last) {
  Rows rows{{0, Row{"generation", 0, ""}}};
  for (int32_t g = 1; g <= last; ++g) Apply(g, rows);
  return rows;
}

Rows ReadRows(TableCursor& cursor) {
  Rows rows;
  for (bool more = cursor.First(); more; more = cursor.Next())
    rows[cursor.Int(0)] = Row{cursor.Text(1), cursor.Int(2), cursor.Blob(3)};
  return rows;
}

bool GoTo(TableCursor& cursor, int32_t id) {
  for (bool more = cursor.First(); more; more = cursor.Next())
    if (cursor.Int(0) == id) return true;
  return false;
}

void Write(TableCursor& cursor, int32_t id, const Row& row) {
  cursor.SetInt(0, id);
  cursor.SetText(1, row.name);
  cursor.SetInt(2, row.score);
  cursor.SetBlob(3, row.memo);
}

// Commits generation after generation to the table of FOLDER/test.svl, one transaction each,
// answering the generation's number after its commit.
VIZ_CHILD_ROLE(generations) {
  TestDatabase db(args.at(0), {}, false);
  TableCursor cursor(db.Table("LYRIC"), db.Session());
  if (!GoTo(cursor, 0)) return 1;
  int32_t g = cursor.Int(2);
  testing::Reply("ready");
  for (;;) {
    ++g;
    db.Session().SetInTransaction(true);
    cursor.Clear();
    Write(cursor, g, Row{"n" + std::to_string(g), g, Memo(g)});
    if (!cursor.Insert()) return 2;
    if (g % 3 == 0 && GoTo(cursor, g / 3)) {
      Write(cursor, g / 3, Row{"u" + std::to_string(g), g / 3, Memo(g + 7)});
      if (!cursor.Update()) return 3;
    }
    if (g % 4 == 0 && GoTo(cursor, g - 5) && !cursor.Delete()) return 4;
    if (!GoTo(cursor, 0)) return 5;
    cursor.SetInt(2, g);
    if (!cursor.Update()) return 6;
    db.Database().Commit(&db.Session(), false);
    db.Session().SetInTransaction(false);
    testing::Reply(std::to_string(g));
  }
}

// Problems a killed connection may leave behind: pages it allocated but never committed, and a
// header hint of the highest page that its allocation had not yet written.
bool LeftByAKill(const std::string& problem) {
  return problem.find("holds no page") != std::string::npos ||
         problem.find("carries the freed marker") != std::string::npos ||
         problem.find("header: LastUsedPageNo is") != std::string::npos;
}

void KillWriterAtRandomMoments(int rounds, uint32_t seed) {
  TempDir dir;
  {
    TestDatabase db(dir.Path());
    testing::CreateLyricTable(db.Table("LYRIC"), db.Session());
    TableCursor cursor(db.Table("LYRIC"), db.Session());
    cursor.Clear();
    Write(cursor, 0, Row{"generation", 0, ""});
    ASSERT_TRUE(cursor.Insert());
  }
  std::mt19937 random(seed);
  int32_t last = 0;
  for (int round = 0; round < rounds; ++round) {
    const std::string context = "round " + std::to_string(round);
    int32_t reported = last;
    {
      ChildProcess child("generations", {dir.Path()});
      ASSERT_EQ(child.ReadLine(), "ready") << context;
      const auto deadline = std::chrono::steady_clock::now() +
                            std::chrono::milliseconds(std::uniform_int_distribution<>(5, 150)(random));
      while (std::chrono::steady_clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const std::string line = child.ReadLine(static_cast<int>(std::max<int64_t>(left.count(), 0)));
        if (line == "<timeout>" || line == "<eof>") break;
        reported = std::stoi(line);
      }
      child.Kill();
      for (std::string line = child.ReadLine(100); line != "<eof>" && line != "<timeout>";
           line = child.ReadLine(100))
        reported = std::stoi(line);
    }
    {
      TestDatabase db(dir.Path(), {}, false);
      TableCursor cursor(db.Table("LYRIC"), db.Session());
      const Rows rows = ReadRows(cursor);
      ASSERT_TRUE(rows.count(0)) << context;
      const int32_t g = rows.at(0).score;
      // The last commit the child reported, or the one it was finishing when it was killed.
      ASSERT_TRUE(g == reported || g == reported + 1) << context << ": " << g << " vs " << reported;
      ASSERT_TRUE(rows == Generations(g)) << context << ": generation " << g << " is not whole";
      EXPECT_EQ(db.Table("LYRIC").RecordCount(&cursor), static_cast<int64_t>(rows.size())) << context;
      last = g;
    }
    for (const std::string& problem : testing::CheckerProblems(dir.File("test.svl")))
      EXPECT_TRUE(LeftByAKill(problem)) << context << ": " << problem;
  }
  EXPECT_GT(last, 0);
}

TEST(DiskCrash, KilledWriterLeavesTheLastCommit) {
  KillWriterAtRandomMoments(5, 17);
}

TEST(DiskCrash, SlowKilledWriterLeavesTheLastCommit) {
  KillWriterAtRandomMoments(80, 23);
}

}  // namespace
}  // namespace viz
