// The memory backend below the table behaviour suite: the memory page store (allocation, sharing,
// its stream image) and the memory record manager (a random run against a model of slots), and a
// large table with a memo field that gives all its memory back when dropped.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

#include "engine/storage/memory/VIZMemEngine.h"
#include "engine/storage/memory_manager.h"
#include "engine/types/errors.h"
#include "support/suite_table.h"

namespace viz {
namespace {

using testing::EngineMessage;
using ::testing::HasSubstr;

std::vector<uint8_t> ImageOf(TABSMemoryPageManager& pages) {
  TABSMemoryStream stream;
  pages.SavePages(stream);
  const auto* bytes = static_cast<const uint8_t*>(stream.Memory());
  return std::vector<uint8_t>(bytes, bytes + stream.Size());
}

TEST(MemoryPageManager, AllocatesTheLowestFreePageAndGrowsByItsStep) {
  TABSMemoryPageManager pages;
  std::vector<int32_t> numbers;
  for (int i = 0; i < 3; ++i) {
    TABSPage* page = pages.AddPage(0, 0);
    numbers.push_back(page->PageNo);
    pages.ReleasePage(page);
  }
  pages.Commit(0);
  EXPECT_EQ(numbers, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(pages.Capacity(), 50);
  pages.RemovePage(0, 1);
  pages.Commit(0);
  EXPECT_FALSE(pages.IsAllocated(1));
  TABSPage* reused = pages.AddPage(0, 0);
  EXPECT_EQ(reused->PageNo, 1);
  // A reused page starts as zeros whatever it held.
  EXPECT_EQ(std::count(reused->Data(), reused->Data() + reused->DataSize(), 0), 4096);
  pages.ReleasePage(reused);
  for (int i = 0; i < 48; ++i) pages.ReleasePage(pages.AddPage(0, 0));
  pages.Commit(0);
  EXPECT_EQ(pages.Capacity(), 100);
  EXPECT_EQ(pages.AllocatedCount(), 51);
  EXPECT_EQ(pages.GetPageCount(), 51);
}

TEST(MemoryPageManager, AChangeIsInTheStoreWithoutACommit) {
  TABSMemoryPageManager pages;
  TABSPage* page = pages.AddPage(0, 0);
  const int32_t number = page->PageNo;
  std::memcpy(page->Data(), "abc", 3);
  page->MarkDirty();
  pages.ReleasePage(page);
  // Another session reads the stored buffer itself, not a committed copy.
  TABSPage* other = pages.GetPage(1, number);
  EXPECT_EQ(std::memcmp(other->Data(), "abc", 3), 0);
  pages.ReleasePage(other);
  pages.Commit(0);
  pages.Commit(1);
  // A cached page changed and released stays in the cache: there is nothing left to write.
  TABSPage* cached = pages.GetPage(1, number);
  cached->Data()[0] = 'x';
  cached->MarkDirty();
  pages.ReleasePage(cached);
  EXPECT_TRUE(pages.IsCached(number));
  EXPECT_FALSE(pages.HasChanges(1));
  TABSPage* again = pages.GetPage(0, number);
  EXPECT_EQ(again->Data()[0], 'x');
  pages.ReleasePage(again);
}

TEST(MemoryPageManager, PagesThatAreNotAllocatedAreRefused) {
  TABSMemoryPageManager pages;
  EXPECT_EQ(EngineMessage([&] { pages.GetPage(0, 5); }),
            "Not released page is allocated - Native error: 10392");
  TABSPage page(&pages);
  page.PageNo = 7;
  page.AllocBuffer();
  EXPECT_EQ(EngineMessage([&] { pages.WritePage(&page); }),
            "Not released page is allocated - Native error: 10393");
}

TEST(MemoryPageManager, ImageHasItsLayoutAndLoadsBack) {
  TABSMemoryPageManager pages;
  for (int i = 0; i < 3; ++i) {
    TABSPage* page = pages.AddPage(0, 0);
    page->Data()[0] = static_cast<uint8_t>(0xA0 + i);
    page->Data()[4095] = static_cast<uint8_t>(i);
    pages.ReleasePage(page);
  }
  pages.RemovePage(0, 1);
  pages.Commit(0);
  const std::vector<uint8_t> image = ImageOf(pages);
  // capacity 50, highest 2, step 50, page size 4096, header 0, 2 allocated; bits: 50 bits, 2 set, 0b101.
  const std::vector<uint8_t> head = {50, 0, 0,  0, 2, 0, 0, 0, 50, 0, 0, 0, 0, 16, 0, 0, 2, 0,
                                     0,  0, 50, 0, 0, 0, 2, 0, 0,  0, 5, 0, 0, 0,  0, 0, 0};
  ASSERT_EQ(image.size(), head.size() + 50u * 4096u);
  EXPECT_EQ(std::vector<uint8_t>(image.begin(), image.begin() + static_cast<ptrdiff_t>(head.size())), head);
  EXPECT_EQ(image[head.size()], 0xA0);
  EXPECT_EQ(image[head.size() + 2 * 4096], 0xA2);
  EXPECT_EQ(image[head.size() + 3 * 4096 - 1], 2);

  TABSMemoryPageManager copy;
  TABSMemoryStream stream;
  stream.Write(image.data(), static_cast<int64_t>(image.size()));
  stream.SetPosition(0);
  copy.LoadPages(stream);
  EXPECT_EQ(ImageOf(copy), image);
  TABSPage* page = copy.GetPage(0, 2);
  EXPECT_EQ(page->Data()[0], 0xA2);
  copy.ReleasePage(page);
  EXPECT_EQ(copy.AddPage(0, 0)->PageNo, 1);
}

TEST(MemoryPageManager, ABadImageLeavesTheStoreAsItWas) {
  TABSMemoryPageManager pages;
  pages.ReleasePage(pages.AddPage(0, 0));
  pages.Commit(0);
  std::vector<uint8_t> image = ImageOf(pages);
  struct Case {
    size_t keep;
    size_t patchAt;
    uint8_t value;
    const char* message;
  };
  const Case cases[] = {
      {10, 0, 0,
       "Cannot read from stream. Position = 8, Stream size = 10, Block size = 4, Bytes Read = 2 - Native "
       "error: 10371"},
      {image.size() - 1, 0, 0, "Bytes Read = 4095 - Native error: 10375"},
      {image.size(), 4, 60, "Invalid database format - Native error: 20237"},  // highest beyond capacity
      {image.size(), 16, 9, "Invalid database format - Native error: 20237"},  // allocated count
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bad(image.begin(), image.begin() + static_cast<ptrdiff_t>(c.keep));
    if (c.patchAt || c.value) bad[c.patchAt] = c.value;
    TABSMemoryStream stream;
    stream.Write(bad.data(), static_cast<int64_t>(bad.size()));
    stream.SetPosition(0);
    EXPECT_THAT(EngineMessage([&] { pages.LoadPages(stream); }), HasSubstr(c.message));
    EXPECT_EQ(ImageOf(pages), image);
  }
}

// A table whose stored records are 1 + 4 bytes, for driving its record manager directly.
class MemoryRecordManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    database_.ConnectSession(&session_);
    cursor_.SetTableName("R");
    cursor_.SetSession(&session_);
    table_ = static_cast<TABSMemoryTableData*>(database_.FindOrCreateTableData(&cursor_));
  }
  void TearDown() override { database_.DisconnectSession(&session_); }
  TABSMemoryRecordManager& Create(int32_t growthStep = 8) {
    TABSFieldDefs fields;
    TABSFieldDef& field = fields.AddCreated();
    field.SetName("V");
    field.SetDataType(dt::kInteger);
    table_->CreateTable(&cursor_, fields, {}, {});
    records_ = std::make_unique<TABSMemoryRecordManager>(table_, growthStep);
    return *records_;
  }
  static std::vector<uint8_t> Record(int32_t value) {
    std::vector<uint8_t> record(5, 0);
    std::memcpy(&record[1], &value, 4);
    return record;
  }
  TABSNavigationRecord Step(TABSNavigationRecord::Step direction, int32_t slot, bool fromBeginning = false,
                            bool fromEnd = false) {
    TABSNavigationRecord navigation;
    navigation.Direction = direction;
    navigation.Address = {slot, 0};
    navigation.FromBeginning = fromBeginning;
    navigation.FromEnd = fromEnd;
    navigation.Target = target_;
    records_->Navigate(0, navigation);
    return navigation;
  }
  int32_t TargetValue() const {
    int32_t value;
    std::memcpy(&value, target_ + 1, 4);
    return value;
  }

  TABSMemoryDatabaseData database_;
  TABSBaseSession session_;
  testing::SuiteCursor cursor_;
  TABSMemoryTableData* table_ = nullptr;
  std::unique_ptr<TABSMemoryRecordManager> records_;
  uint8_t target_[5] = {};
};

TEST_F(MemoryRecordManagerTest, RefusesRecordsWithoutBytes) {
  EXPECT_EQ(EngineMessage([&] { TABSMemoryRecordManager records(table_); }),
            "Invalid record size = 0 - Native error: 10011");
}

TEST_F(MemoryRecordManagerTest, EdgesOfNavigationAndOrdinals) {
  TABSMemoryRecordManager& records = Create();
  EXPECT_EQ(Step(TABSNavigationRecord::kNext, 0, true).Outcome, TABSNavigationRecord::kAfterLast);
  EXPECT_EQ(records.ApproximateOrdinal(0, {0, 0}), -1);
  const TABSRecordAddress only = records.Insert(0, Record(5).data());
  EXPECT_EQ(records.ApproximateOrdinal(0, only), 1);
  for (int32_t value : {6, 7, 8}) records.Insert(0, Record(value).data());
  EXPECT_TRUE(records.Delete(0, {1, 0}));
  EXPECT_FALSE(records.Delete(0, {1, 0}));
  EXPECT_FALSE(records.Update(0, Record(9).data(), {1, 0}));
  EXPECT_FALSE(records.Update(0, Record(9).data(), {4, 0}));
  EXPECT_EQ(Step(TABSNavigationRecord::kCurrent, 1).Outcome, TABSNavigationRecord::kNotFound);
  EXPECT_EQ(Step(TABSNavigationRecord::kNext, 1).Address.PageNo, 2);
  EXPECT_EQ(Step(TABSNavigationRecord::kPrior, 0).Outcome, TABSNavigationRecord::kBeforeFirst);
  EXPECT_EQ(Step(TABSNavigationRecord::kNext, 3).Outcome, TABSNavigationRecord::kAfterLast);
  EXPECT_EQ(Step(TABSNavigationRecord::kPrior, 0, false, true).Address.PageNo, 3);
  // The deleted slot is not reused: the next record goes after the highest.
  EXPECT_EQ(records.Insert(0, Record(10).data()).PageNo, 4);
  EXPECT_EQ(records.LiveUpTo(4), 4);
  EXPECT_EQ(records.SlotOfOrdinal(2), 2);
  // Every approximate ordinal lies within the records, the lowest at 1 and the highest at the count.
  EXPECT_EQ(records.ApproximateOrdinal(0, {0, 0}), 1);
  EXPECT_EQ(records.ApproximateOrdinal(0, {4, 0}), 4);
}

TEST_F(MemoryRecordManagerTest, RandomRunMatchesModelOfSlots) {
  TABSMemoryRecordManager& records = Create();
  std::mt19937 random(99);
  std::map<int32_t, int32_t> model;  // slot -> value
  for (int step = 0; step < 3000; ++step) {
    const int op = static_cast<int>(random() % 10);
    if (model.empty() || op < 5) {
      const int32_t value = static_cast<int32_t>(random());
      const TABSRecordAddress address = records.Insert(0, Record(value).data());
      // A new record goes right after the highest live one; an emptied table starts again at 0.
      ASSERT_EQ(address.PageNo, model.empty() ? 0 : model.rbegin()->first + 1);
      model[address.PageNo] = value;
    } else {
      auto it = model.begin();
      std::advance(it, random() % model.size());
      if (op < 8) {
        it->second = static_cast<int32_t>(random());
        ASSERT_TRUE(records.Update(0, Record(it->second).data(), {it->first, 0}));
      } else {
        ASSERT_TRUE(records.Delete(0, {it->first, 0}));
        model.erase(it);
      }
    }
    ASSERT_EQ(records.RecordCount, static_cast<int64_t>(model.size()));
    if (step % 50 != 0) continue;
    // Both directions, ordinals and their inverse.
    std::vector<int32_t> forward, backward;
    for (auto n = Step(TABSNavigationRecord::kNext, 0, true); n.Outcome == TABSNavigationRecord::kFound;
         n = Step(TABSNavigationRecord::kNext, n.Address.PageNo)) {
      forward.push_back(n.Address.PageNo);
      ASSERT_EQ(TargetValue(), model[n.Address.PageNo]);
    }
    for (auto n = Step(TABSNavigationRecord::kPrior, 0, false, true);
         n.Outcome == TABSNavigationRecord::kFound; n = Step(TABSNavigationRecord::kPrior, n.Address.PageNo))
      backward.insert(backward.begin(), n.Address.PageNo);
    std::vector<int32_t> slots;
    for (const auto& entry : model) slots.push_back(entry.first);
    ASSERT_EQ(forward, slots);
    ASSERT_EQ(backward, slots);
    int64_t ordinal = 0;
    int64_t lastApproximate = 0;
    for (int32_t slot : slots) {
      ++ordinal;
      ASSERT_EQ(records.LiveUpTo(slot), ordinal);
      ASSERT_EQ(records.SlotOfOrdinal(ordinal), slot);
      const int64_t approximate = records.ApproximateOrdinal(0, {slot, 0});
      ASSERT_GE(approximate, std::max<int64_t>(1, lastApproximate));
      ASSERT_LE(approximate, records.RecordCount);
      lastApproximate = approximate;
    }
    ASSERT_EQ(records.SlotOfOrdinal(ordinal + 1), -1);
  }
}

// A memory table of 100,000 rows with a memo field, dropped: every byte it took is given back.
TEST(MemoryTable, DroppingALargeTableWithMemosLeaksNothing) {
  auto backend = testing::TableBackends().at("memory")();
  const int64_t before = MemoryManager().GetMemoryInUse();
  {
    testing::SuiteTable table(*backend, "Big");
    table.AddField("Id", dt::kAutoInc);
    table.AddField("Name", dt::kString, 16);
    table.AddField("Memo", dt::kMemo);
    table.AddIndexDef("byId", {{"Id"}}, true, true);
    table.AddIndexDef("byName", {{"Name"}});
    table.Create();
    for (int i = 0; i < 100000; ++i) {
      table.New();
      table.SetText(1, "n" + std::to_string(i * 7919 % 100000));
      table.SetBlob(2, std::string(static_cast<size_t>(i % 200), static_cast<char>('a' + i % 26)));
      ASSERT_TRUE(table.Post());
    }
    EXPECT_EQ(table.Table().RecordCount(&table.Cursor()), 100000);
    EXPECT_GT(MemoryManager().GetMemoryInUse(), before + 100000 * 30);
    table.Drop();
  }
  EXPECT_EQ(MemoryManager().GetMemoryInUse(), before);
}

}  // namespace
}  // namespace viz
