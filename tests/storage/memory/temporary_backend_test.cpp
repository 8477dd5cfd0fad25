// The temporary backend past its memory limits: records, index pages and BLOB values that go to
// temporary files and read back identically, the write buffer, files that are gone after close (also
// after a failure half way), and tables that stay in memory when temporary files are disabled.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <random>

#include "engine/storage/memory/VIZMemEngine.h"
#include "engine/storage/memory_manager.h"
#include "engine/types/errors.h"
#include "storage/fault_file_system.h"
#include "support/suite_table.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using testing::EngineMessage;
using ::testing::HasSubstr;
using testing::SuiteTable;

// Points TMPDIR at a fresh directory while it lives.
class TemporaryDirectory {
 public:
  TemporaryDirectory() {
    if (const char* old = getenv("TMPDIR")) old_ = old, hadOld_ = true;
    setenv("TMPDIR", dir_.Path().c_str(), 1);
  }
  ~TemporaryDirectory() {
    if (hadOld_)
      setenv("TMPDIR", old_.c_str(), 1);
    else
      unsetenv("TMPDIR");
  }
  //! The names in the directory.
  int Entries() const {
    int count = 0;
    if (DIR* d = opendir(dir_.Path().c_str())) {
      while (dirent* entry = readdir(d))
        if (entry->d_name[0] != '.') ++count;
      closedir(d);
    }
    return count;
  }
  //! The descriptors of this process open on files of the directory named VIZ....
  int OpenFiles() const {
    int count = 0;
    if (DIR* fds = opendir("/proc/self/fd")) {
      while (dirent* entry = readdir(fds)) {
        char target[4096];
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        target[n] = '\0';
        if (std::string(target).rfind(dir_.Path() + "/VIZ", 0) == 0) ++count;
      }
      closedir(fds);
    }
    return count;
  }

 private:
  testing::TempDir dir_;
  std::string old_;
  bool hadOld_ = false;
};

// A work table of the temporary database: N INTEGER, S STRING(30), M MEMO; index on S.
class TemporaryTableTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (table_) table_->Drop();
    table_.reset();
    backend_.reset();
    EXPECT_EQ(testing::OpenTemporaryFiles(), 0);
  }
  // `availableMemory` sizes the memory parts (-1: the machine's).
  SuiteTable& Make(bool noTemporaryFiles, int64_t availableMemory, platform::FileSystem* files = nullptr) {
    backend_ = testing::NewTemporaryBackend(noTemporaryFiles, availableMemory);
    static_cast<TABSTemporaryDatabaseData&>(backend_->Database()).SetFileSystem(files);
    table_ = std::make_unique<SuiteTable>(*backend_, "Work");
    table_->AddField("N", dt::kInteger);
    table_->AddField("S", dt::kString, 30);
    table_->AddField("M", dt::kMemo);
    table_->AddIndexDef("byS", {{"S"}});
    table_->Create();
    return *table_;
  }
  bool Add(int32_t n, const std::string& memo = "") {
    table_->New();
    table_->SetInt(0, n);
    table_->SetText(1, "text " + std::to_string(n * 7 % 1000));
    if (!memo.empty()) table_->SetBlob(2, memo);
    return table_->Post();
  }
  TABSTemporaryTableData& Data() { return static_cast<TABSTemporaryTableData&>(table_->Table()); }
  static std::string MemoFor(int32_t n) {
    return std::string(static_cast<size_t>(n % 1500), static_cast<char>('a' + n % 26)) + std::to_string(n);
  }

  std::unique_ptr<testing::TableBackend> backend_;
  std::unique_ptr<SuiteTable> table_;
};

TEST_F(TemporaryTableTest, GrowsPastItsLimitIntoFilesAndReadsBackIdentically) {
  // 200,000 bytes of memory: L = 20,000 div the record size, M = 4 index pages in memory.
  TemporaryDirectory directory;
  SuiteTable& table = Make(false, 200000);
  for (int32_t n = 0; n < 3000; ++n) ASSERT_TRUE(Add(n, MemoFor(n)));
  TABSTemporaryRecordManager& records = Data().Records();
  EXPECT_EQ(records.MemoryRecordLimit(), 20000 / records.StoredRecordSize());
  EXPECT_TRUE(records.HasFile());
  EXPECT_TRUE(Data().Blobs()->HasFile());
  auto& pages = static_cast<TABSTemporaryPageManager&>(*Data().Pages());
  EXPECT_EQ(pages.MemoryPageCount(), pages.MemoryPageLimit());
  EXPECT_GT(pages.FilePageCount(), 0);
  EXPECT_EQ(testing::OpenTemporaryFiles(), 3);
  // The records', the index pages' and the BLOB values' files, in TMPDIR, named VIZ..., and without
  // a name from the start: nothing can be left behind.
  EXPECT_EQ(directory.OpenFiles(), 3);
  EXPECT_EQ(directory.Entries(), 0);
  int32_t expected = 0;
  for (bool found = table.First(); found; found = table.Next(), ++expected) {
    ASSERT_EQ(table.Int(0), expected);
    ASSERT_EQ(table.Blob(2), MemoFor(expected));
  }
  EXPECT_EQ(expected, 3000);
  EXPECT_EQ(table.CheckIndexes(), "");
  table.Drop();
  EXPECT_EQ(testing::OpenTemporaryFiles(), 0);
}

TEST_F(TemporaryTableTest, ReadingARecordOfTheWriteBufferFlushesItFirst) {
  SuiteTable& table = Make(false, 0);  // every record goes to the file
  for (int32_t n = 0; n < 15; ++n) ASSERT_TRUE(Add(n));
  TABSTemporaryRecordManager& records = Data().Records();
  EXPECT_EQ(records.BufferedCount(), 5);  // one buffer of 10 written, 5 waiting
  ASSERT_TRUE(table.Last());
  EXPECT_EQ(table.Int(0), 14);
  EXPECT_EQ(records.BufferedCount(), 0);
  EXPECT_EQ(table.Column(0).size(), 15u);
}

TEST_F(TemporaryTableTest, DisabledTemporaryFilesKeepEverythingInMemory) {
  SuiteTable& table = Make(true, 0);
  for (int32_t n = 0; n < 2000; ++n) ASSERT_TRUE(Add(n, MemoFor(n)));
  EXPECT_FALSE(Data().Records().HasFile());
  EXPECT_FALSE(Data().Blobs()->HasFile());
  EXPECT_FALSE(static_cast<TABSTemporaryPageManager&>(*Data().Pages()).HasFile());
  EXPECT_EQ(testing::OpenTemporaryFiles(), 0);
  EXPECT_EQ(table.Column(0).size(), 2000u);
  EXPECT_EQ(table.CheckIndexes(), "");
}

TEST_F(TemporaryTableTest, DisabledTemporaryFilesMeetTheMemoryLimitInsteadOfWriting) {
  SuiteTable& table = Make(true, -1);
  const int64_t limit = MemoryManager().GetMemoryInUse() + 2000000;
  MemoryManager().SetLimit(limit);
  std::string message = "no error";
  try {
    for (int32_t n = 0; n < 1000000; ++n) Add(n, MemoFor(n));
  } catch (const EABSException& e) {
    message = e.Message();
  }
  MemoryManager().SetLimit(0);
  EXPECT_THAT(message, HasSubstr("Memory limit exceeded (Limit = " + std::to_string(limit) + " bytes)"));
  EXPECT_EQ(testing::OpenTemporaryFiles(), 0);
  // What was stored before the limit is whole.
  EXPECT_EQ(table.CheckIndexes(), "");
  EXPECT_EQ(static_cast<int64_t>(table.Column(0).size()), table.Table().RecordCount(&table.Cursor()));
}

TEST_F(TemporaryTableTest, AFailedFileWriteRaisesAndLeavesNoFileBehind) {
  testing::FaultFileSystem faults;
  Make(false, 100000, &faults);
  faults.failWrites = true;
  std::string message = "no error";
  int32_t stored = 0;
  try {
    for (; stored < 5000; ++stored) Add(stored, MemoFor(stored));
  } catch (const EABSException& e) {
    message = e.Message();
  }
  EXPECT_NE(message, "no error");
  EXPECT_GT(stored, 0);
  EXPECT_GT(testing::OpenTemporaryFiles(), 0);
  // The table still holds every record stored before the failure.
  EXPECT_EQ(Data().RecordCount(&table_->Cursor()), stored);
  faults.failWrites = false;
  table_->Drop();
  table_.reset();
  EXPECT_EQ(testing::OpenTemporaryFiles(), 0);
}

TEST(TemporaryRecordManager, RecordsBeyondTheLimitGoThroughTheWriteBuffer) {
  TABSTemporaryDatabaseData database;
  TABSBaseSession session;
  database.ConnectSession(&session);
  testing::SuiteCursor cursor;
  cursor.SetTableName("R");
  cursor.SetSession(&session);
  TABSTableData* table = database.FindOrCreateTableData(&cursor);
  EXPECT_EQ(EngineMessage([&] { TABSTemporaryRecordManager records(table, false); }),
            "Invalid record size = 0 - Native error: 10124");
  TABSFieldDefs fields;
  fields.AddCreated().SetDataType(dt::kInteger);
  fields[0].SetName("V");
  table->CreateTable(&cursor, fields, {}, {});
  // 5-byte records, 100 bytes of memory: 2 records in memory, a write buffer of 3.
  TABSTemporaryRecordManager records(table, false, 4, 3, 100);
  ASSERT_EQ(records.MemoryRecordLimit(), 2);
  for (int32_t value = 0; value < 20; ++value) {
    uint8_t record[5] = {0};
    std::memcpy(record + 1, &value, 4);
    const TABSRecordAddress address = records.Insert(0, record);
    ASSERT_EQ(TABSTemporaryRecordManager::NumberOf(address), value);
    ASSERT_LE(records.BufferedCount(), 3);
  }
  EXPECT_TRUE(records.HasFile());
  EXPECT_FALSE(records.Update(0, nullptr, {0, 0}));
  EXPECT_FALSE(records.Delete(0, {0, 0}));
  TABSNavigationRecord navigation;
  uint8_t target[5];
  navigation.Target = target;
  for (int32_t value = 19; value >= 0; --value) {
    navigation.Direction = TABSNavigationRecord::kPrior;
    navigation.FromEnd = value == 19;
    records.Navigate(0, navigation);
    ASSERT_EQ(navigation.Outcome, TABSNavigationRecord::kFound);
    int32_t read;
    std::memcpy(&read, target + 1, 4);
    ASSERT_EQ(read, value);
    EXPECT_EQ(records.ApproximateOrdinal(0, navigation.Address), value + 1);
  }
  navigation.FromEnd = false;
  records.Navigate(0, navigation);
  EXPECT_EQ(navigation.Outcome, TABSNavigationRecord::kBeforeFirst);
  records.Empty(0);
  EXPECT_FALSE(records.HasFile());
  EXPECT_EQ(records.RecordCount, 0);
  table->DeleteTable(&session, false);
  database.DisconnectSession(&session);
}

TEST(TemporaryPageManager, PagesFromTheLimitOnLiveInTheFile) {
  for (bool memoryOnly : {false, true}) {
    TABSTemporaryPageManager pages(memoryOnly, 10 * 4096 * 3);  // M = 3
    ASSERT_EQ(pages.MemoryPageLimit(), 3);
    std::vector<int32_t> numbers;
    for (int i = 0; i < 8; ++i) {
      TABSPage* page = pages.AddPage(0, 0);
      std::memset(page->Data(), 'a' + i, 4096);
      numbers.push_back(page->PageNo);
      pages.ReleasePage(page);
    }
    pages.Commit(0);
    EXPECT_EQ(numbers, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(pages.HasFile(), !memoryOnly);
    EXPECT_EQ(pages.FilePageCount(), memoryOnly ? 0 : 5);
    pages.FreeCache();  // every read below comes from the store
    for (int i = 7; i >= 0; --i) {
      TABSPage* page = pages.GetPage(0, i);
      EXPECT_EQ(std::count(page->Data(), page->Data() + 4096, 'a' + i), 4096) << i;
      pages.ReleasePage(page);
    }
    pages.RemovePage(0, 5);
    pages.Commit(0);
    TABSPage* reused = pages.AddPage(0, 0);
    EXPECT_EQ(reused->PageNo, 5);
    pages.ReleasePage(reused);
    pages.Commit(0);
    EXPECT_EQ(EngineMessage([&] { pages.GetPage(0, 40); }),
              "Not released page is allocated - Native error: 10396");
  }
  EXPECT_EQ(testing::OpenTemporaryFiles(), 0);
}

}  // namespace
}  // namespace viz
