// A disk table against an in-memory model: random inserts, updates (memo values growing from
// nothing to several pages and shrinking back), deletes, commits and rollbacks on a table with two
// indexes and a memo field, compared after every commit and rollback, the file checked at the end.
// Page sizes 1024 and 4096, plain and enciphered.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "storage/disk/disk_test_util.h"
#include "support/disk_tables.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using testing::CheckerProblems;
using ::testing::IsEmpty;
using testing::TableCursor;
using testing::TempDir;
using testing::TestDatabase;

struct Row {
  std::string name;
  int32_t score = 0;
  std::string memo;
  bool operator==(const Row&) const = default;
};
using Model = std::map<int32_t, Row>;

struct Config {
  uint16_t pageSize;
  bool enciphered;
};

class DiskModel {
 public:
  DiskModel(const std::string& folder, const Config& config, uint32_t seed) : random_(seed) {
    options_.PageSize = config.pageSize;
    if (config.enciphered) options_.Password = "a secret";
    db_ = std::make_unique<TestDatabase>(folder, options_);
    testing::CreateLyricTable(db_->Table("LYRIC"), db_->Session());
    cursor_ = std::make_unique<TableCursor>(db_->Table("LYRIC"), db_->Session());
    dataSize_ = config.pageSize - 40;
  }
  ~DiskModel() {
    cursor_.reset();
    db_.reset();
  }

  void Run(int transactions) {
    for (int round = 0; round < transactions; ++round) {
      const bool transaction = Chance(3, 4);
      Model before = model_;
      db_->Session().SetInTransaction(transaction);
      const int steps = 1 + static_cast<int>(random_() % 8);
      for (int step = 0; step < steps; ++step) Step();
      if (transaction && Chance(1, 3)) {
        db_->Database().Rollback(&db_->Session());
        model_ = std::move(before);
      } else if (transaction) {
        db_->Database().Commit(&db_->Session(), Chance(1, 4));
      }
      db_->Session().SetInTransaction(false);
      ASSERT_NO_FATAL_FAILURE(Compare()) << "after round " << round;
    }
  }

  //! Closes everything and returns the database file's path.
  std::string Finish() {
    const std::string path = db_->Path();
    cursor_.reset();
    db_.reset();
    return path;
  }

 private:
  bool Chance(uint32_t in, uint32_t of) { return random_() % of < in; }

  // A memo of no, a few, a page's or several pages' bytes; incompressible or repetitive.
  std::string Memo() {
    static const size_t kinds[] = {0, 1, 60, 900};
    const uint32_t kind = random_() % 6;
    size_t size = kind < 4 ? kinds[kind] + random_() % 40
                           : static_cast<size_t>(dataSize_) * (2 + random_() % 4) + random_() % 500;
    if (kind == 0) size = 0;
    std::string memo(size, '\0');
    const bool noise = Chance(1, 2);
    for (size_t at = 0; at < size; ++at)
      memo[at] = noise ? static_cast<char>(random_() >> 24) : static_cast<char>('a' + (at / 7) % 26);
    return memo;
  }

  void Fill(int32_t id, const Row& row) {
    cursor_->SetInt(0, id);
    cursor_->SetText(1, row.name);
    cursor_->SetInt(2, row.score);
    cursor_->SetBlob(3, row.memo);
  }

  bool GoTo(int32_t id) {
    for (bool more = cursor_->First(); more; more = cursor_->Next())
      if (cursor_->Int(0) == id) return true;
    return false;
  }

  int32_t AnyId() {
    auto it = model_.begin();
    std::advance(it, random_() % model_.size());
    return it->first;
  }

  void Step() {
    const uint32_t what = random_() % 10;
    if (model_.empty() || what < 5) {
      const int32_t id = nextId_++;
      Row row{"song " + std::to_string(random_() % 50), static_cast<int32_t>(random_() % 1000), Memo()};
      cursor_->Clear();
      Fill(id, row);
      ASSERT_TRUE(cursor_->Insert());
      model_[id] = row;
    } else if (what < 8) {
      const int32_t id = AnyId();
      ASSERT_TRUE(GoTo(id));
      Row& row = model_[id];
      if (Chance(1, 2)) row.name = "renamed " + std::to_string(random_() % 50);
      row.score = static_cast<int32_t>(random_() % 1000);
      if (Chance(2, 3)) {
        row.memo = Memo();
        cursor_->SetBlob(3, row.memo);
      }
      cursor_->SetText(1, row.name);
      cursor_->SetInt(2, row.score);
      ASSERT_TRUE(cursor_->Update());
    } else {
      const int32_t id = AnyId();
      ASSERT_TRUE(GoTo(id));
      ASSERT_TRUE(cursor_->Delete());
      model_.erase(id);
    }
  }

  void Compare() {
    TABSDiskTableData& table = db_->Table("LYRIC");
    ASSERT_EQ(table.RecordCount(cursor_.get()), static_cast<int64_t>(model_.size()));
    Model seen;
    for (bool more = cursor_->First(); more; more = cursor_->Next()) {
      Row row{cursor_->Text(1), cursor_->Int(2), cursor_->Blob(3)};
      ASSERT_TRUE(seen.emplace(cursor_->Int(0), row).second);
    }
    ASSERT_EQ(seen.size(), model_.size());
    for (const auto& [id, row] : model_) {
      ASSERT_TRUE(seen.count(id)) << id;
      ASSERT_EQ(seen[id].name, row.name) << id;
      ASSERT_EQ(seen[id].score, row.score) << id;
      ASSERT_EQ(seen[id].memo.size(), row.memo.size()) << id;
      ASSERT_TRUE(seen[id].memo == row.memo) << id;
    }
    // In the order of the unique index the ids rise.
    cursor_->Navigation().OrderIndexID = table.IndexManager()->IndexDefs()[0].ObjectID;
    int32_t previous = -1;
    int64_t count = 0;
    for (bool more = cursor_->First(); more; more = cursor_->Next(), ++count) {
      ASSERT_GT(cursor_->Int(0), previous);
      previous = cursor_->Int(0);
    }
    ASSERT_EQ(count, static_cast<int64_t>(model_.size()));
    // The second index holds one entry per row, with the row's name, in name order.
    cursor_->Navigation().OrderIndexID = table.IndexManager()->IndexDefs()[1].ObjectID;
    std::vector<std::string> names;
    for (bool more = cursor_->First(); more; more = cursor_->Next()) names.push_back(cursor_->Text(1));
    cursor_->Navigation().OrderIndexID = -1;
    ASSERT_TRUE(std::is_sorted(names.begin(), names.end()));
    std::vector<std::string> expected;
    for (const auto& [id, row] : model_) expected.push_back(row.name);
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(names, expected);
  }

  std::mt19937 random_;
  testing::TestDiskDatabaseOptions options_;
  std::unique_ptr<TestDatabase> db_;
  std::unique_ptr<TableCursor> cursor_;
  int32_t dataSize_;
  Model model_;
  int32_t nextId_ = 1;
};

void RunModel(int transactions) {
  for (const Config config :
       {Config{1024, false}, Config{1024, true}, Config{4096, false}, Config{4096, true}}) {
    SCOPED_TRACE(std::to_string(config.pageSize) + (config.enciphered ? " enciphered" : " plain"));
    TempDir dir;
    DiskModel model(dir.Path(), config, 1000u + config.pageSize + (config.enciphered ? 1u : 0u));
    ASSERT_NO_FATAL_FAILURE(model.Run(transactions));
    const std::string path = model.Finish();
    EXPECT_THAT(CheckerProblems(path, config.enciphered ? "a secret" : ""), IsEmpty());
  }
}

TEST(DiskModel, TableFollowsTheModel) {
  RunModel(40);
}

TEST(DiskModel, TableFollowsTheModelSlow) {
  RunModel(800);
}

}  // namespace
}  // namespace viz
