// Table and record locks: the compatibility matrix and covering, the lock manager's protocol in one
// process (several sessions) and between real processes, checked against a reference model and
// against the bytes of the locks files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>

#include "engine/platform/system.h"
#include "storage/disk/disk_test_util.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using testing::CatalogDatabase;
using testing::ChildProcess;
using testing::ErrorOf;
using ::testing::HasSubstr;
using testing::TempDir;

// The matrix as the lock kinds' table gives it (row: held, column: requested).
constexpr int kMatrix[7][7] = {
    {1, 1, 1, 1, 1, 1, 0}, {1, 1, 1, 1, 0, 1, 0}, {1, 1, 1, 0, 1, 1, 0}, {1, 1, 0, 0, 0, 1, 0},
    {1, 0, 1, 0, 0, 1, 0}, {1, 1, 1, 1, 1, 1, 0}, {0, 0, 0, 0, 0, 0, 0},
};
bool Allowed(int held, int requested) {
  return kMatrix[held][requested] == 1 || (held == ltWrite && requested == ltTransactionWrite);
}
TABSRecordAddress Address(int32_t page, uint16_t slot) {
  TABSRecordAddress address;
  address.PageNo = page;
  address.RecordNo = slot;
  return address;
}

// Counts the byte-lock calls made on the files it opens.
class CountingFileSystem : public platform::FileSystemWrapper {
 public:
  int64_t calls = 0;

  std::unique_ptr<platform::File> Open(const std::string& path, platform::AccessMode access,
                                       platform::ShareMode share, platform::OsError* error) override {
    std::unique_ptr<platform::File> file = FileSystemWrapper::Open(path, access, share, error);
    return file ? std::make_unique<Counted>(std::move(file), calls) : nullptr;
  }

 private:
  class Counted : public platform::FileWrapper {
   public:
    Counted(std::unique_ptr<platform::File> file, int64_t& calls)
        : FileWrapper(std::move(file)), calls_(calls) {}
    platform::LockResult LockBytes(int64_t position, int64_t count) override {
      ++calls_;
      return FileWrapper::LockBytes(position, count);
    }
    bool UnlockBytes(int64_t position, int64_t count) override {
      ++calls_;
      return FileWrapper::UnlockBytes(position, count);
    }

   private:
    int64_t& calls_;
  };
};

TEST(LockKindsTest, CompatibilityFollowsTheMatrixAndItsExceptionAndCoveringFollowsFromIt) {
  for (int held = 0; held < 7; ++held) {
    for (int requested = 0; requested < 7; ++requested)
      EXPECT_EQ(LockTypesCompatible(held, requested), Allowed(held, requested)) << held << " " << requested;
  }
  EXPECT_FALSE(LockTypesCompatible(7, 0));
  for (int kind = 0; kind < 7; ++kind) {
    EXPECT_TRUE(LockTypeCovers(ltExclusive, kind)) << kind;
    EXPECT_TRUE(LockTypeCovers(kind, kind)) << kind;
  }
  // Covering pairs worked out from the rows by hand.
  const std::vector<std::pair<int, int>> covering{{0, 5}, {5, 0}, {1, 0}, {3, 2}, {3, 1}, {4, 1}, {4, 2}};
  const std::vector<std::pair<int, int>> notCovering{{0, 1}, {1, 4}, {2, 3}, {3, 4}, {4, 3}, {5, 6}, {2, 1}};
  for (auto [a, b] : covering) EXPECT_TRUE(LockTypeCovers(a, b)) << a << " covers " << b;
  for (auto [a, b] : notCovering) EXPECT_FALSE(LockTypeCovers(a, b)) << a << " does not cover " << b;
}

class TableLockTest : public ::testing::Test {
 public:
  void SetUp() override {
    path_ = dir_.File("locks.vdb");
    testing::CreateCatalogDatabase(path_, 4, 2);
    db_ = std::make_unique<CatalogDatabase>(path_);
  }
  TABSDatabaseTableLockManager& Locks() { return *db_->locks; }
  TABSTableLocksFile& T(int index) { return db_->Locks(index); }
  bool Lock(int32_t session, uint8_t kind, int table = 0, int attempts = 1) {
    return Locks().LockTable(session, kind, false, 2, attempts, T(table));
  }
  bool Unlock(int32_t session, uint8_t kind, int table = 0, bool force = false) {
    return Locks().UnlockTable(session, kind, force, false, T(table));
  }

  TempDir dir_;
  std::string path_;
  std::unique_ptr<CatalogDatabase> db_;
};

TEST_F(TableLockTest, SharedKindsAndDifferentRecordsGoTogether) {
  for (int32_t session : {0, 1}) {
    EXPECT_TRUE(Lock(session, ltOpen));
    EXPECT_TRUE(Lock(session, ltRead));
    EXPECT_TRUE(Locks().LockRecord(session, T(0), 1, 1, Address(10, static_cast<uint16_t>(session))));
  }
  EXPECT_TRUE(T(0).IsKindLocked(ltRecord, 0) && T(0).IsKindLocked(ltRecord, 1));
  EXPECT_EQ(T(0).ReadRecordAddress(1), Address(10, 1));
  // One record per session and table; a record held by another session stays out of reach.
  EXPECT_FALSE(Locks().LockRecord(0, T(0), 1, 1, Address(11, 0)));
  EXPECT_FALSE(Locks().LockRecord(2, T(0), 1, 3, Address(10, 1)));
  EXPECT_TRUE(Locks().LockRecord(2, T(0), 1, 1, Address(10, 2)));
  EXPECT_TRUE(Locks().UnlockRecord(1, T(0), Address(10, 1)));
  EXPECT_FALSE(Locks().UnlockRecord(1, T(0), Address(10, 1)));
  EXPECT_TRUE(Locks().LockRecord(3, T(0), 1, 1, Address(10, 1)));
  // A record of the other table is another lock.
  EXPECT_TRUE(Locks().LockRecord(0, T(1), 1, 1, Address(11, 0)));
}

TEST_F(TableLockTest, ACommitLockWaitsForAReaderAndGivesUpAfterItsAttempts) {
  ASSERT_TRUE(Lock(0, ltRead));
  const int64_t started = platform::MonotonicMs();
  EXPECT_FALSE(Locks().LockTable(1, ltCommit, false, 20, 6, T(0)));
  const int64_t elapsed = platform::MonotonicMs() - started;
  // Five pauses of 10 to 20 ms each.
  EXPECT_GE(elapsed, 50);
  EXPECT_LT(elapsed, 1000);
  EXPECT_EQ(Locks().LockList(1)->Entries().size(), 0u);
  EXPECT_TRUE(Unlock(0, ltRead));
  EXPECT_TRUE(Lock(1, ltCommit));
}

TEST_F(TableLockTest, NestedHoldsCountAndKindTwoIsNotNested) {
  ASSERT_TRUE(Lock(0, ltTransactionWrite));
  ASSERT_TRUE(Lock(0, ltTransactionWrite));
  EXPECT_EQ(Locks().LockList(0)->Find(ltTransactionWrite, T(0).StartPageNo())->count, 2);
  EXPECT_TRUE(Unlock(0, ltTransactionWrite));
  EXPECT_TRUE(T(0).IsKindLocked(ltTransactionWrite, 0));
  EXPECT_TRUE(Unlock(0, ltTransactionWrite));
  EXPECT_FALSE(T(0).IsKindLocked(ltTransactionWrite, 0));
  ASSERT_TRUE(Lock(0, ltTransactionWrite));
  ASSERT_TRUE(Lock(0, ltTransactionWrite));
  EXPECT_TRUE(Unlock(0, ltTransactionWrite, 0, true));  // forced: once is enough
  EXPECT_FALSE(T(0).IsKindLocked(ltTransactionWrite, 0));
  EXPECT_TRUE(Locks().LockList(0)->Empty());

  EXPECT_TRUE(Lock(1, ltWrite));
  EXPECT_FALSE(Lock(1, ltWrite));
  auto missing = ErrorOf([&] { Unlock(1, ltRead); });
  EXPECT_EQ(missing.first, 20202);
  EXPECT_THAT(missing.second, HasSubstr("Cannot remove table lock. Lock not found"));
  EXPECT_TRUE(Locks().UnlockTable(1, ltRead, false, true, T(0)));  // tolerant
  auto left = ErrorOf([&] { Locks().CheckAllReleased(); });
  EXPECT_EQ(left.first, 20201);
  EXPECT_THAT(left.second, HasSubstr("Some table locks still exist"));
  EXPECT_TRUE(Unlock(1, ltWrite));
  EXPECT_EQ(ErrorOf([&] { Locks().CheckAllReleased(); }).first, 0);
}

TEST_F(TableLockTest, ASessionWithoutAByteIsRefused) {
  auto [code, text] = ErrorOf([&] { Lock(4, ltRead); });
  EXPECT_EQ(code, 20200);
  EXPECT_THAT(text,
              HasSubstr("Cannot set table lock. Try to repair database or to increase number of allowed "
                        "connections"));
  EXPECT_EQ(ErrorOf([&] { Locks().LockRecord(9, T(0), 1, 1, Address(1, 1)); }).first, 20200);
  EXPECT_EQ(ErrorOf([&] { Lock(-1, ltOpen); }).first, 20200);
}

TEST_F(TableLockTest, ExclusiveAndSingleUserDatabasesGrantEverythingWithoutTouchingTheFile) {
  db_.reset();
  for (bool exclusive : {true, false}) {
    CountingFileSystem counting;
    testing::OpenDatabase db(path_, false, &counting);
    if (exclusive) {
      db.manager.CloseDatabaseFile();
      bool multiUser = true, repairNeeded = false, readOnly = false;
      db.manager.OpenDatabaseFile(path_, {}, multiUser, true, repairNeeded, readOnly);
    }
    TABSDiskCatalog catalog(db.manager);
    catalog.Open();
    TABSDatabaseTableLockManager locks(db.manager, catalog.MaxConnections());
    TABSTableLocksFile file(db.manager);
    file.Open(catalog.Tables().Find("T0").locksStartPageNo);
    counting.calls = 0;
    for (uint8_t kind : {ltOpen, ltWrite, ltWrite, ltExclusive, ltCommit})
      EXPECT_TRUE(locks.LockTable(0, kind, false, 1, 1, file));
    EXPECT_TRUE(locks.LockTable(1, ltExclusive, false, 1, 1, file));
    EXPECT_TRUE(locks.LockRecord(0, file, 1, 1, Address(1, 1)));
    EXPECT_TRUE(locks.LockRecord(1, file, 1, 1, Address(1, 1)));
    EXPECT_TRUE(locks.UnlockTable(0, ltRead, false, false, file));
    EXPECT_TRUE(locks.LockModifiedTables(0));
    EXPECT_TRUE(locks.ReleaseTransactionLocks(0));
    EXPECT_EQ(counting.calls, 0) << (exclusive ? "exclusive" : "single-user");
  }
}

// A lock covered by another one of the session needs no byte while the covering one is held, but
// must get one when that goes.
TEST_F(TableLockTest, ALockThatWasCoveredKeepsProtectingWhenTheCoveringLockGoes) {
  ASSERT_TRUE(Lock(0, ltExclusive));
  ASSERT_TRUE(Lock(0, ltOpen));  // a second cursor of the session: covered
  ASSERT_TRUE(Locks().LockRecord(0, T(0), 1, 1, Address(5, 5)));
  EXPECT_FALSE(T(0).IsKindLocked(ltOpen, 0));
  EXPECT_FALSE(Lock(1, ltOpen));
  ASSERT_TRUE(Unlock(0, ltExclusive));
  EXPECT_TRUE(T(0).IsKindLocked(ltOpen, 0));
  EXPECT_TRUE(T(0).IsKindLocked(ltRecord, 0));
  EXPECT_EQ(T(0).ReadRecordAddress(0), Address(5, 5));
  EXPECT_FALSE(Lock(1, ltExclusive));
  EXPECT_FALSE(Locks().LockRecord(1, T(0), 1, 1, Address(5, 5)));
  EXPECT_TRUE(Lock(1, ltOpen));

  // Unlocking an in-file lock while holding the exclusive lock (the guard) must not wait for the
  // guard: the release retries are long.
  db_->locks->SetInternalRetries({2, 5}, {2, 5}, {20, 4500});
  ASSERT_TRUE(Unlock(1, ltOpen));
  ASSERT_TRUE(Locks().UnlockRecord(0, T(0), Address(5, 5)));
  ASSERT_TRUE(Lock(2, ltRead));
  ASSERT_TRUE(Unlock(0, ltOpen));
  ASSERT_TRUE(Unlock(2, ltRead));
  ASSERT_TRUE(Lock(2, ltRead));
  ASSERT_TRUE(Lock(2, ltExclusive));
  const int64_t started = platform::MonotonicMs();
  EXPECT_TRUE(Unlock(2, ltRead));
  EXPECT_LT(platform::MonotonicMs() - started, 1000);
  EXPECT_FALSE(T(0).IsKindLocked(ltRead, 2));
  EXPECT_TRUE(Unlock(2, ltExclusive));
  EXPECT_TRUE(Lock(3, ltExclusive));
}

TEST_F(TableLockTest, CommitLocksAllModifiedTablesOrNone) {
  ASSERT_TRUE(Lock(0, ltTransactionWrite, 0));
  ASSERT_TRUE(Lock(0, ltTransactionWrite, 1));
  ASSERT_TRUE(Lock(1, ltRead, 1));
  EXPECT_FALSE(Locks().LockModifiedTables(0));
  EXPECT_EQ(Locks().LockList(0)->Find(ltCommit, T(0).StartPageNo()), nullptr);
  EXPECT_FALSE(T(0).IsKindLocked(ltCommit, 0));
  ASSERT_TRUE(Unlock(1, ltRead, 1));
  EXPECT_TRUE(Locks().LockModifiedTables(0));
  EXPECT_TRUE(T(0).IsKindLocked(ltCommit, 0) && T(1).IsKindLocked(ltCommit, 0));
  EXPECT_FALSE(Lock(1, ltRead, 1));

  // A record still being edited keeps the table protected with kind 2 once kind 3 goes.
  ASSERT_TRUE(Locks().LockRecord(0, T(0), 1, 1, Address(3, 3)));
  EXPECT_TRUE(Locks().ReleaseTransactionLocks(0));
  EXPECT_EQ(Locks().LockList(0)->Entries().size(), 2u);
  EXPECT_TRUE(T(0).IsKindLocked(ltWrite, 0));
  EXPECT_FALSE(T(0).IsKindLocked(ltTransactionWrite, 0) || T(1).IsKindLocked(ltTransactionWrite, 0));
  EXPECT_FALSE(T(0).IsKindLocked(ltCommit, 0) || T(1).IsKindLocked(ltCommit, 0));
  EXPECT_TRUE(Lock(1, ltRead, 1));

  // A kind-2 lock that cannot be had leaves the transaction locks in place until a later release.
  ASSERT_TRUE(Lock(2, ltTransactionWrite, 0));  // not blocked by session 0's kind 2
  ASSERT_TRUE(Locks().LockRecord(2, T(1), 1, 1, Address(4, 4)));
  ASSERT_TRUE(Lock(3, ltTransactionWrite, 1));
  EXPECT_FALSE(Locks().ReleaseTransactionLocks(2));
  EXPECT_TRUE(T(0).IsKindLocked(ltTransactionWrite, 2));
  ASSERT_TRUE(Unlock(3, ltTransactionWrite, 1));
  EXPECT_TRUE(Locks().ReleaseTransactionLocks(2));
  EXPECT_FALSE(T(0).IsKindLocked(ltTransactionWrite, 2));
  EXPECT_TRUE(T(1).IsKindLocked(ltWrite, 2));

  Locks().ReleaseSessionLocks(0);
  Locks().ReleaseSessionLocks(1);
  Locks().ReleaseSessionLocks(2);
  Locks().ReleaseSessionLocks(3);
  EXPECT_EQ(ErrorOf([&] { Locks().CheckAllReleased(); }).first, 0);
  for (int table : {0, 1}) EXPECT_FALSE(T(table).IsRegionLocked(0, T(table).Size()));
  EXPECT_TRUE(Lock(3, ltExclusive, 0));
  EXPECT_TRUE(Lock(3, ltExclusive, 1));
}

// Random requests of three sessions on two tables, compared with a reference model of the lists,
// and the bytes of the locks files compared with the model's in-file locks after every step. Every
// grant is also checked against the matrix and the locks the other sessions hold in any form.
void RunLockModel(TableLockTest& test, int steps, uint32_t seed);

TEST_F(TableLockTest, RandomRequestsMatchAReferenceModel) {
  RunLockModel(*this, 1500, 7);
}

TEST_F(TableLockTest, SlowRandomRequestsMatchAReferenceModel) {
  for (uint32_t seed = 1; seed <= 20; ++seed) RunLockModel(*this, 5000, seed);
}

void RunLockModel(TableLockTest& test, int steps, uint32_t seed) {
  auto T = [&](int table) -> TABSTableLocksFile& { return test.T(table); };
  auto Locks = [&]() -> TABSDatabaseTableLockManager& { return test.Locks(); };
  auto Lock = [&](int32_t session, uint8_t kind, int table) { return test.Lock(session, kind, table); };
  auto Unlock = [&](int32_t session, uint8_t kind, int table, bool force) {
    return test.Unlock(session, kind, table, force);
  };
  struct Entry {
    int kind, table, count;
    bool inFile;
    TABSRecordAddress address;
  };
  std::map<int, std::vector<Entry>> model;
  auto find = [&](int session, int kind, int table) -> Entry* {
    for (Entry& entry : model[session]) {
      if (entry.kind == kind && entry.table == table) return &entry;
    }
    return nullptr;
  };
  auto coveredBy = [&](int session, int kind, int table, bool inFileOnly) {
    for (const Entry& entry : model[session]) {
      if (entry.table == table && (entry.inFile || !inFileOnly) && LockTypeCovers(entry.kind, kind))
        return true;
    }
    return false;
  };
  auto release = [&](int session, int kind, int table) {
    auto& list = model[session];
    Entry removed = *find(session, kind, table);
    list.erase(std::find_if(list.begin(), list.end(),
                            [&](const Entry& e) { return e.kind == kind && e.table == table; }));
    if (!removed.inFile) return;
    std::vector<Entry*> candidates;
    for (Entry& entry : list) {
      if (entry.table == table && !entry.inFile) candidates.push_back(&entry);
    }
    auto conflicts = [](int k) {
      int count = 0;
      for (int other = 0; other < 7; ++other) count += Allowed(k, other) ? 0 : 1;
      return count;
    };
    std::stable_sort(candidates.begin(), candidates.end(),
                     [&](Entry* a, Entry* b) { return conflicts(a->kind) > conflicts(b->kind); });
    for (Entry* entry : candidates) {
      // A record lock is about its record: only the exclusive lock stands in for it.
      const bool covered = entry->kind == ltRecord ? find(session, ltExclusive, table) != nullptr
                                                   : coveredBy(session, entry->kind, table, true);
      if (!covered) entry->inFile = true;
    }
  };
  const std::vector<TABSRecordAddress> addresses{Address(1, 1), Address(1, 2)};
  std::mt19937 random(seed);
  for (int step = 0; step < steps; ++step) {
    const int session = static_cast<int>(random() % 3);
    const int table = static_cast<int>(random() % 2);
    const int what = static_cast<int>(random() % 10);
    const std::string context = "seed " + std::to_string(seed) + ", step " + std::to_string(step);
    if (what < 4) {
      const uint8_t kind = std::vector<uint8_t>{0, 1, 2, 3, 4, 6}[random() % 6];
      bool expected;
      if (Entry* entry = find(session, kind, table)) {
        expected = kind != ltWrite;
        if (expected) ++entry->count;
      } else if (coveredBy(session, kind, table, false)) {
        expected = true;
        model[session].push_back({kind, table, 1, false, {}});
      } else {
        expected = true;
        for (int other = 0; other < 3; ++other) {
          for (const Entry& entry : model[other]) {
            if (other != session && entry.table == table && entry.inFile && !Allowed(entry.kind, kind))
              expected = false;
          }
        }
        if (expected) model[session].push_back({kind, table, 1, true, {}});
      }
      ASSERT_EQ(Lock(session, kind, table), expected) << context << " lock " << int(kind);
      for (int other = 0; expected && other < 3; ++other) {
        for (const Entry& entry : model[other]) {
          if (other != session && entry.table == table) {
            ASSERT_TRUE(Allowed(entry.kind, kind)) << context;
          }
        }
      }
    } else if (what < 7) {
      if (model[session].empty()) continue;
      const Entry target = model[session][random() % model[session].size()];
      if (target.kind == ltRecord) {
        ASSERT_TRUE(Locks().UnlockRecord(session, T(target.table), target.address)) << context;
      } else {
        const bool force = random() % 4 == 0;
        ASSERT_TRUE(Unlock(session, static_cast<uint8_t>(target.kind), target.table, force)) << context;
        if (force) find(session, target.kind, target.table)->count = 1;
      }
      if (--find(session, target.kind, target.table)->count == 0) release(session, target.kind, target.table);
    } else {
      const TABSRecordAddress address = addresses[random() % addresses.size()];
      bool expected;
      if (find(session, ltRecord, table)) {
        expected = false;
      } else if (find(session, ltExclusive, table)) {
        expected = true;
        model[session].push_back({ltRecord, table, 1, false, address});
      } else {
        expected = true;
        for (int other = 0; other < 3; ++other) {
          for (const Entry& entry : model[other]) {
            if (other == session || entry.table != table) continue;
            if (entry.kind == ltExclusive ||
                (entry.kind == ltRecord && entry.inFile && entry.address == address))
              expected = false;
          }
        }
        if (expected) model[session].push_back({ltRecord, table, 1, true, address});
      }
      ASSERT_EQ(Locks().LockRecord(session, T(table), 1, 1, address), expected) << context << " record";
    }
    // The files as the model has them.
    for (int other = 0; other < 3; ++other) {
      for (int t = 0; t < 2; ++t) {
        for (uint8_t kind = 0; kind < ltExclusive; ++kind) {
          const Entry* entry = find(other, kind, t);
          ASSERT_EQ(T(t).IsKindLocked(kind, other), entry != nullptr && entry->inFile)
              << context << " session " << other << " table " << t << " kind " << int(kind);
          if (kind == ltRecord && entry && entry->inFile) {
            ASSERT_EQ(T(t).ReadRecordAddress(other), entry->address);
          }
        }
      }
    }
    ASSERT_EQ(Locks().LockList(session)->Entries().size(), model[session].size()) << context;
  }
  for (int session = 0; session < 3; ++session) Locks().ReleaseSessionLocks(session);
  for (int t = 0; t < 2; ++t) {
    EXPECT_FALSE(T(t).IsRegionLocked(0, T(t).Size()));
    EXPECT_TRUE(T(t).LockFile());
    T(t).UnlockFile();
  }
}

// For each pair of kinds, a child holds one and this process asks for the other: the answer follows
// the matrix, and a refused request gives up after its attempts.
TEST(TableLockProcessTest, TheFullMatrixHoldsBetweenProcesses) {
  TempDir dir;
  const std::string path = dir.File("matrix.vdb");
  testing::CreateCatalogDatabase(path, 4, 1);
  ChildProcess child("peer", {path});
  ASSERT_EQ(child.ReadLine(), "ready");
  CatalogDatabase here(path);
  TABSTableLocksFile& file = here.Locks(0);
  for (int held = 0; held < 7; ++held) {
    ASSERT_EQ(child.Ask(held == ltRecord ? "record 0 0 7 1" : "lock 0 " + std::to_string(held) + " 0"), "1");
    for (int requested = 0; requested < 7; ++requested) {
      const int64_t started = platform::MonotonicMs();
      const bool granted = requested == ltRecord
                               ? here.locks->LockRecord(1, file, 4, 3, Address(7, 2))
                               : here.locks->LockTable(1, static_cast<uint8_t>(requested), false, 8, 3, file);
      EXPECT_EQ(granted, Allowed(held, requested)) << "held " << held << ", requested " << requested;
      EXPECT_LT(platform::MonotonicMs() - started, 2000);
      if (granted && requested == ltRecord) here.locks->UnlockRecord(1, file, Address(7, 2));
      if (granted && requested != ltRecord)
        here.locks->UnlockTable(1, static_cast<uint8_t>(requested), false, false, file);
    }
    ASSERT_EQ(child.Ask(held == ltRecord ? "unrecord 0 0 7 1" : "unlock 0 " + std::to_string(held) + " 0"),
              "1");
  }
  // The same record is refused across processes.
  ASSERT_EQ(child.Ask("record 0 0 7 1"), "1");
  EXPECT_FALSE(here.locks->LockRecord(1, file, 2, 2, Address(7, 1)));
  EXPECT_EQ(ErrorOf([&] { here.locks->CheckAllReleased(); }).first, 0);
}

TEST(TableLockProcessTest, NestedRequestsOfOneSessionTouchTheFileOnce) {
  TempDir dir;
  const std::string path = dir.File("nested.vdb");
  testing::CreateCatalogDatabase(path, 4, 1);
  ChildProcess child("peer", {path});
  ASSERT_EQ(child.ReadLine(), "ready");
  CountingFileSystem counting;
  CatalogDatabase here(path, true, &counting);
  TABSTableLocksFile& file = here.Locks(0);
  counting.calls = 0;
  ASSERT_TRUE(here.locks->LockTable(2, ltTransactionWrite, false, 1, 1, file));
  EXPECT_GT(counting.calls, 0);
  EXPECT_EQ(child.Ask("locked 2 3 0"), "1");
  const int64_t first = counting.calls;
  for (int again = 0; again < 5; ++again)
    ASSERT_TRUE(here.locks->LockTable(2, ltTransactionWrite, false, 1, 1, file));
  ASSERT_TRUE(here.locks->LockTable(2, ltRead, false, 1, 1, file));  // covered by kind 3
  for (int again = 0; again < 5; ++again)
    ASSERT_TRUE(here.locks->UnlockTable(2, ltTransactionWrite, false, false, file));
  EXPECT_EQ(counting.calls, first);
  EXPECT_EQ(child.Ask("locked 2 3 0"), "1");
  ASSERT_TRUE(here.locks->UnlockTable(2, ltTransactionWrite, false, false, file));
  EXPECT_GT(counting.calls, first);
  EXPECT_EQ(child.Ask("locked 2 3 0"), "0");
  EXPECT_EQ(child.Ask("locked 2 1 0"), "1");  // the read lock got its own byte when kind 3 went
  ASSERT_TRUE(here.locks->UnlockTable(2, ltRead, false, false, file));
  EXPECT_EQ(child.Ask("locked 2 1 0"), "0");
}

// With the retry settings the callers use for opening a table (50 attempts, 100 ms), a table held
// exclusively by another process is given up after 49 pauses of 50 to 100 ms.
TEST(TableLockProcessTest, SlowOpeningALockedTableGivesUpAfterThePartsRetries) {
  TempDir dir;
  const std::string path = dir.File("open.vdb");
  testing::CreateCatalogDatabase(path, 4, 1);
  ChildProcess child("peer", {path});
  ASSERT_EQ(child.ReadLine(), "ready");
  ASSERT_EQ(child.Ask("lock 0 6 0"), "1");
  CatalogDatabase here(path);
  const int64_t started = platform::MonotonicMs();
  EXPECT_FALSE(here.locks->LockTable(1, ltOpen, false, kOpenTableLockRetry.intervalMs,
                                     kOpenTableLockRetry.attempts, here.Locks(0)));
  const int64_t elapsed = platform::MonotonicMs() - started;
  EXPECT_GE(elapsed, 49 * 50);
  EXPECT_LT(elapsed, 49 * 100 + 2000);
}

// A child killed with SIGKILL while it holds a session slot, table locks, a record lock and an
// exclusive lock leaves nothing held behind.
TEST(TableLockProcessTest, AKilledProcessLeavesNoSlotAndNoLockBehind) {
  TempDir dir;
  const std::string path = dir.File("killed.vdb");
  testing::CreateCatalogDatabase(path, 4, 2);
  CatalogDatabase here(path);
  {
    ChildProcess child("peer", {path});
    ASSERT_EQ(child.ReadLine(), "ready");
    ASSERT_EQ(child.Ask("connect"), "0");
    ASSERT_EQ(child.Ask("lock 0 0 0"), "1");
    ASSERT_EQ(child.Ask("lock 0 3 0"), "1");
    ASSERT_EQ(child.Ask("record 0 0 9 9"), "1");
    ASSERT_EQ(child.Ask("lock 0 6 1"), "1");
    EXPECT_TRUE(here.catalog.Sessions().IsByteLocked(0));
    EXPECT_FALSE(here.locks->LockTable(1, ltExclusive, false, 1, 2, here.Locks(0)));
    EXPECT_FALSE(here.locks->LockTable(1, ltOpen, false, 1, 2, here.Locks(1)));
    child.Kill();
  }
  EXPECT_EQ(here.catalog.Sessions().Connect(), 0);
  EXPECT_TRUE(here.locks->LockTable(0, ltExclusive, false, 1, 1, here.Locks(0)));
  EXPECT_TRUE(here.locks->LockTable(0, ltExclusive, false, 1, 1, here.Locks(1)));
  EXPECT_TRUE(here.locks->LockRecord(0, here.Locks(0), 1, 1, Address(9, 9)));
  here.locks->ReleaseSessionLocks(0);
  here.catalog.Sessions().Disconnect(0);
  EXPECT_THAT(testing::CheckerProblems(path), ::testing::IsEmpty());
}

}  // namespace
}  // namespace viz
