// The page protocol over a backend held in memory: sessions, the shared cache, commit and rollback.
#include <gtest/gtest.h>

#include <cstring>
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "engine/storage/VIZPage.h"
#include "engine/types/errors.h"
#include "storage/storage_test_util.h"

namespace viz {
namespace {

using testing::CodeOf;

constexpr uint16_t kPageSize = 128;

// A backend whose "file" is a map of page images. Counts reads and writes and can refuse reads.
class MapPageManager : public TABSPageManager {
 public:
  MapPageManager() : TABSPageManager(kPageSize, file_format::kPageHeaderSize) {}
  ~MapPageManager() override = default;

  std::map<int32_t, std::vector<uint8_t>> stored;
  std::set<int32_t> used;
  std::vector<int32_t> freed;
  int reads = 0;
  int writes = 0;
  bool failReads = false;
  bool refuseAllocation = false;

  void AllocatePageNo(TABSPage* page) override {
    if (refuseAllocation) return;
    int32_t pageNo = 0;
    while (used.count(pageNo) > 0) ++pageNo;
    used.insert(pageNo);
    page->PageNo = pageNo;
    page->AllocBuffer();
  }
  void FreePageNo(int32_t pageNo) override {
    used.erase(pageNo);
    freed.push_back(pageNo);
  }
  bool ReadPage(TABSPage* page) override {
    ++reads;
    if (failReads)
      throw EABSException(30446, "Decrypt page error. Check CRC failed. PageNo: %d", {page->PageNo});
    const std::vector<uint8_t>& image = stored.at(page->PageNo);
    std::memcpy(page->Buffer(), image.data(), image.size());
    return true;
  }
  void WritePage(TABSPage* page) override {
    ++writes;
    stored[page->PageNo].assign(page->Buffer(), page->Buffer() + PageSize());
  }

  // Stores a committed page with one data byte and a page type, as another process would have.
  void Seed(int32_t pageNo, uint8_t value, uint16_t type = ptTableRecord) {
    TABSPage page(this);
    page.AllocBuffer();
    page.PageNo = pageNo;
    page.SetPageType(type);
    page.Data()[0] = value;
    stored[pageNo].assign(page.Buffer(), page.Buffer() + PageSize());
    used.insert(pageNo);
  }
  uint8_t StoredByte(int32_t pageNo) { return stored.at(pageNo)[file_format::kPageHeaderSize]; }
};

// Reads the first data byte of page n for a session, releasing the page again.
uint8_t ReadByte(TABSPageManager& manager, int32_t session, int32_t pageNo) {
  TABSPage* page = manager.GetPage(session, pageNo);
  uint8_t value = page->Data()[0];
  manager.ReleasePage(page);
  return value;
}

void WriteByte(TABSPageManager& manager, int32_t session, int32_t pageNo, uint8_t value) {
  TABSPage* page = manager.GetPage(session, pageNo);
  page->Data()[0] = value;
  page->MarkDirty();
  manager.ReleasePage(page);
}

TEST(TABSPageTest, NewBufferCarriesTheNewPageHeader) {
  MapPageManager manager;
  TABSPage page(&manager);
  page.AllocBuffer();
  const uint8_t* header = page.Header();
  EXPECT_EQ(std::memcmp(header, "ABSP", 4), 0);
  EXPECT_EQ(page.GetUpdateCounter(), 0);
  EXPECT_EQ(page.GetPageType(), 0);
  EXPECT_EQ(page.GetNextPageNo(), -1);
  for (int offset = 14; offset < 22; ++offset) EXPECT_EQ(header[offset], 0) << offset;
  for (int offset = 22; offset < 30; ++offset) EXPECT_EQ(header[offset], 0xFF) << offset;
  for (int offset = 30; offset < kPageSize; ++offset) EXPECT_EQ(header[offset], 0) << offset;
  EXPECT_EQ(page.Data(), header + 40);
  EXPECT_EQ(page.DataSize(), kPageSize - 40u);
}

TEST(TABSPageTest, GrowBufferChecksAndCopiesBorrowedBuffers) {
  MapPageManager manager;
  TABSPage page(&manager);
  EXPECT_EQ(CodeOf([&] { page.GrowBuffer(kPageSize * 2); }), 20038);

  std::vector<uint8_t> borrowed(kPageSize, 7);
  page.BorrowBuffer(borrowed.data(), kPageSize);
  EXPECT_EQ(CodeOf([&] { page.GrowBuffer(kPageSize - 1); }), 20039);
  page.GrowBuffer(kPageSize * 2);
  EXPECT_TRUE(page.OwnsBuffer());
  EXPECT_NE(page.Buffer(), borrowed.data());
  EXPECT_EQ(page.BufferSize(), kPageSize * 2u);
  EXPECT_EQ(page.Buffer()[kPageSize - 1], 7);
  EXPECT_EQ(page.Buffer()[kPageSize], 0);
  page.Buffer()[0] = 9;
  EXPECT_EQ(borrowed[0], 7);
  page.GrowBuffer(kPageSize * 3);  // owned: resized in place, content kept
  EXPECT_EQ(page.Buffer()[0], 9);
}

TEST(TABSPageControllerTest, WorksOnItsPageAndRefusesWithoutOne) {
  MapPageManager manager;
  TABSPageController empty;
  EXPECT_EQ(CodeOf([&] { empty.MarkDirty(); }), 10001);
  TABSPage page(&manager);
  page.AllocBuffer();
  TABSPageController controller(&page);
  controller.SetPageNo(12);
  EXPECT_EQ(page.PageNo, 12);
  EXPECT_EQ(controller.PageSize(), kPageSize);
  EXPECT_EQ(controller.DataSize(), kPageSize - 40u);
  EXPECT_EQ(controller.Data(), page.Buffer() + 40);
  controller.MarkDirty();
  EXPECT_TRUE(page.Dirty);
}

TEST(TABSPageManagerTest, CacheCapacityFollowsAvailableMemory) {
  EXPECT_EQ(TABSPageManager::CapacityForMemory(int64_t{1} << 40), 1000);
  EXPECT_EQ(TABSPageManager::CapacityForMemory(65536 * 300 + 65535), 300);
  EXPECT_EQ(TABSPageManager::CapacityForMemory(1000), 1);
  MapPageManager manager;
  EXPECT_GE(manager.CacheCapacity(), 1);
  EXPECT_LE(manager.CacheCapacity(), 1000);
}

TEST(TABSPageManagerTest, ChangesStayPrivateToTheirSessionUntilCommit) {
  MapPageManager manager;
  manager.Seed(5, 1);
  EXPECT_EQ(ReadByte(manager, 2, 5), 1);  // session B caches the committed page
  WriteByte(manager, 1, 5, 2);            // session A changes it
  EXPECT_EQ(ReadByte(manager, 1, 5), 2);
  EXPECT_EQ(ReadByte(manager, 2, 5), 1);
  EXPECT_TRUE(manager.HasChanges(1));
  EXPECT_FALSE(manager.HasChanges(2));

  manager.Commit(1);
  EXPECT_EQ(manager.StoredByte(5), 2);
  EXPECT_EQ(ReadByte(manager, 2, 5), 2);  // B now sees the committed copy, not its stale one
  EXPECT_FALSE(manager.HasChanges(1));
}

TEST(TABSPageManagerTest, ReadingSessionSeesTheFileWhileAnotherHoldsChanges) {
  MapPageManager manager;
  manager.Seed(3, 10);
  WriteByte(manager, 1, 3, 11);
  // The changed copy left the shared cache, so session 2 reads the committed bytes anew.
  int readsBefore = manager.reads;
  EXPECT_EQ(ReadByte(manager, 2, 3), 10);
  EXPECT_EQ(manager.reads, readsBefore + 1);
  manager.Rollback(1);
  EXPECT_EQ(ReadByte(manager, 1, 3), 10);
}

TEST(TABSPageManagerTest, CommitRefusesWhilePagesAreHeldAndWritesNothing) {
  MapPageManager manager;
  manager.Seed(4, 1);
  manager.Seed(6, 1);
  WriteByte(manager, 1, 6, 9);
  TABSPage* held = manager.GetPage(1, 4);
  held->Data()[0] = 8;
  held->MarkDirty();
  EXPECT_EQ(CodeOf([&] { manager.Commit(1); }), 20152);
  EXPECT_EQ(manager.writes, 0);
  manager.ReleasePage(held);
  manager.Commit(1);
  EXPECT_EQ(manager.writes, 2);
  EXPECT_EQ(manager.StoredByte(4), 8);
  EXPECT_EQ(manager.StoredByte(6), 9);
}

TEST(TABSPageManagerTest, CommitRefusesAHeldPageOfTheDirtyList) {
  MapPageManager manager;
  manager.Seed(4, 1);
  manager.Seed(5, 1);
  WriteByte(manager, 1, 4, 2);
  TABSPage* again = manager.GetPage(1, 4);  // from the dirty list
  EXPECT_EQ(CodeOf([&] { manager.Commit(1); }), 20086);
  EXPECT_EQ(manager.writes, 0);
  TABSPage* added = manager.AddPage(1, ptTableRecord);  // new pages are held until released
  manager.ReleasePage(again);
  EXPECT_EQ(CodeOf([&] { manager.Commit(1); }), 20086);
  EXPECT_EQ(manager.writes, 0);
  manager.ReleasePage(added);
  // A held page that the commit would free is never destroyed under its user.
  WriteByte(manager, 1, 5, 6);
  TABSPage* removed = manager.GetPage(1, 5);
  manager.RemovePage(1, 5);
  EXPECT_EQ(CodeOf([&] { manager.Commit(1); }), 20152);
  EXPECT_TRUE(manager.freed.empty());
  manager.ReleasePage(removed);
  manager.Commit(1);
  EXPECT_EQ(manager.StoredByte(4), 2);
  EXPECT_EQ(manager.freed, (std::vector<int32_t>{5}));
}

TEST(TABSPageManagerTest, NoSessionRecordMeansNothingToCommitOrRollBack) {
  MapPageManager manager;
  manager.Commit(42);
  manager.Rollback(42);
  EXPECT_EQ(manager.writes, 0);
}

TEST(TABSPageManagerTest, AddPageGivesANewDirtyPageWithARandomCounter) {
  MapPageManager manager;
  TABSPage* page = manager.AddPage(1, ptTableIndex);
  EXPECT_EQ(page->PageNo, 0);
  EXPECT_TRUE(page->Dirty);
  EXPECT_EQ(page->UseCount, 1);
  EXPECT_EQ(page->OwnerSession, 1);
  EXPECT_EQ(page->GetPageType(), ptTableIndex);
  EXPECT_GE(page->GetUpdateCounter(), 0);
  EXPECT_LT(page->GetUpdateCounter(), 0x3FFFFFFF);
  manager.ReleasePage(page);
  EXPECT_FALSE(manager.IsCached(0));
  manager.Commit(1);
  EXPECT_TRUE(manager.IsCached(0));
  EXPECT_EQ(manager.stored.at(0)[8], ptTableIndex);

  manager.refuseAllocation = true;
  EXPECT_EQ(CodeOf([&] { manager.AddPage(1, ptTableIndex); }), 20064);
}

TEST(TABSPageManagerTest, RollbackReturnsNewPagesAndKeepsWhatWasRead) {
  MapPageManager manager;
  manager.Seed(0, 1);
  EXPECT_EQ(ReadByte(manager, 1, 0), 1);
  TABSPage* first = manager.AddPage(1, ptTableRecord);
  TABSPage* second = manager.AddPage(1, ptTableRecord);
  EXPECT_EQ(first->PageNo, 1);
  EXPECT_EQ(second->PageNo, 2);
  EXPECT_EQ(CodeOf([&] { manager.Rollback(1); }), 20088);
  manager.ReleasePage(first);
  manager.ReleasePage(second);
  manager.Rollback(1);
  EXPECT_EQ(manager.freed, (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(manager.used, (std::set<int32_t>{0}));
  EXPECT_TRUE(manager.IsCached(0));
  EXPECT_EQ(manager.writes, 0);
  EXPECT_FALSE(manager.HasChanges(1));
}

TEST(TABSPageManagerTest, RemovePageFreesOnlyAtCommit) {
  MapPageManager manager;
  manager.Seed(7, 1);
  manager.Seed(8, 1);
  EXPECT_EQ(ReadByte(manager, 1, 7), 1);
  WriteByte(manager, 1, 8, 3);
  manager.RemovePage(1, 7);
  manager.RemovePage(1, 8);
  EXPECT_TRUE(manager.freed.empty());
  manager.Rollback(1);
  EXPECT_TRUE(manager.freed.empty());
  EXPECT_EQ(manager.used.count(7), 1u);

  manager.RemovePage(1, 7);
  WriteByte(manager, 1, 8, 4);
  manager.RemovePage(1, 8);
  manager.Commit(1);
  EXPECT_EQ(manager.freed, (std::vector<int32_t>{7, 8}));
  EXPECT_FALSE(manager.IsCached(7));
  EXPECT_FALSE(manager.IsCached(8));
  EXPECT_EQ(manager.writes, 0);  // a removed page is not written
}

TEST(TABSPageManagerTest, ExpectedTypeIsCheckedOnReadAnd255AcceptsAny) {
  MapPageManager manager;
  manager.Seed(9, 1, ptTableBlob);
  try {
    manager.GetPage(1, 9, ptTableIndex);
    FAIL();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.Message(),
              "Invalid page type. Possibly data is corrupted. Expected type 12, but found 11 - Native error: "
              "20153");
  }
  TABSPage* page = manager.GetPage(1, 9, kAnyPageType);
  EXPECT_EQ(page->GetPageType(), ptTableBlob);
  manager.ReleasePage(page);
}

TEST(TABSPageManagerTest, SessionMinusOneAndForeignUseAreRefused) {
  MapPageManager manager;
  manager.Seed(1, 1);
  EXPECT_EQ(CodeOf([&] { manager.GetPage(kInvalidSession, 1); }), 20186);
  TABSPage* page = manager.GetPage(1, 1);
  EXPECT_EQ(CodeOf([&] { manager.GetPage(2, 1); }), 20090);
  TABSPage* again = manager.GetPage(1, 1);  // the same session may nest
  EXPECT_EQ(again, page);
  EXPECT_EQ(page->UseCount, 2);
  manager.ReleasePage(again);
  manager.ReleasePage(page);
  manager.ReleasePage(manager.GetPage(2, 1));
  EXPECT_EQ(page->OwnerSession, 2);
}

TEST(TABSPageManagerTest, AFailedReadLeavesNothingCached) {
  MapPageManager manager;
  manager.Seed(2, 1);
  manager.failReads = true;
  EXPECT_EQ(CodeOf([&] { manager.GetPage(1, 2); }), 30446);
  EXPECT_FALSE(manager.IsCached(2));
  manager.failReads = false;
  EXPECT_EQ(ReadByte(manager, 1, 2), 1);
}

TEST(TABSPageManagerTest, ACachedPageThatCannotBeReadAgainIsDropped) {
  // A backend whose cached pages are always read again, as a shared file's are after a change.
  struct RereadingManager : MapPageManager {
    void ValidateCachedPage(TABSPage* page) override { ReadPage(page); }
  } manager;
  manager.Seed(2, 1);
  EXPECT_EQ(ReadByte(manager, 1, 2), 1);
  manager.stored.at(2)[40] = 9;
  EXPECT_EQ(ReadByte(manager, 1, 2), 9);
  manager.failReads = true;
  EXPECT_EQ(CodeOf([&] { manager.GetPage(1, 2); }), 30446);
  EXPECT_FALSE(manager.IsCached(2));
}

TEST(TABSPageManagerTest, RemovingAPageTwiceFreesItOnce) {
  MapPageManager manager;
  manager.Seed(4, 1);
  manager.RemovePage(1, 4);
  manager.RemovePage(1, 4);
  manager.Commit(1);
  EXPECT_EQ(manager.freed, (std::vector<int32_t>{4}));
}

TEST(TABSPageManagerTest, CacheEvictsTheLeastRecentlyUsedPageOnePerRelease) {
  MapPageManager manager;
  manager.SetCacheCapacity(2);
  for (int32_t pageNo = 0; pageNo < 4; ++pageNo) manager.Seed(pageNo, static_cast<uint8_t>(pageNo));
  ReadByte(manager, 1, 0);
  ReadByte(manager, 1, 1);
  ReadByte(manager, 1, 0);  // page 1 is now the oldest
  ReadByte(manager, 1, 2);
  EXPECT_TRUE(manager.IsCached(0));
  EXPECT_FALSE(manager.IsCached(1));
  EXPECT_TRUE(manager.IsCached(2));

  // Pages in use are never evicted; the cache may then stay above capacity until a later release.
  TABSPage* held0 = manager.GetPage(1, 0);
  TABSPage* held2 = manager.GetPage(1, 2);
  TABSPage* held3 = manager.GetPage(1, 3);
  EXPECT_EQ(manager.CachedPageCount(), 3);
  manager.ReleasePage(held3);  // the oldest (0) is in use: nothing dropped
  EXPECT_EQ(manager.CachedPageCount(), 3);
  manager.ReleasePage(held0);
  manager.ReleasePage(held2);  // now the oldest is 3, unused
  EXPECT_EQ(manager.CachedPageCount(), 2);
  EXPECT_FALSE(manager.IsCached(3));
}

TEST(TABSPageManagerTest, CommittingMoreThanTheCapacityKeepsCapacityPages) {
  MapPageManager manager;
  manager.SetCacheCapacity(5);
  for (int index = 0; index < 12; ++index) manager.ReleasePage(manager.AddPage(1, ptTableRecord));
  manager.Commit(1);
  EXPECT_EQ(manager.writes, 12);
  EXPECT_EQ(manager.CachedPageCount(), 5);
  for (int32_t pageNo = 0; pageNo < 5; ++pageNo) EXPECT_TRUE(manager.IsCached(pageNo));
}

TEST(TABSPageManagerTest, CommittedPagesTakeThePlacesOfTheLeastRecentlyUsed) {
  MapPageManager manager;
  manager.SetCacheCapacity(3);
  for (int32_t pageNo = 0; pageNo < 6; ++pageNo) manager.Seed(pageNo, 0);
  for (int32_t pageNo : {0, 1, 2, 0}) ReadByte(manager, 1, pageNo);  // oldest first: 1, 2, 0
  WriteByte(manager, 2, 4, 7);
  WriteByte(manager, 2, 5, 8);
  manager.Commit(2);
  auto cached = [&] {
    std::vector<int32_t> pages;
    for (int32_t pageNo = 0; pageNo < 6; ++pageNo)
      if (manager.IsCached(pageNo)) pages.push_back(pageNo);
    return pages;
  };
  EXPECT_EQ(cached(), (std::vector<int32_t>{0, 4, 5}));
  const int reads = manager.reads;
  EXPECT_EQ(ReadByte(manager, 1, 4), 7);
  EXPECT_EQ(ReadByte(manager, 1, 5), 8);
  EXPECT_EQ(manager.reads, reads);

  // An oldest page in use is never dropped for room: a committed page then finds none.
  TABSPage* held = manager.GetPage(1, 0);  // oldest: 0, 4, 5
  WriteByte(manager, 2, 3, 9);             // cached: 0, 5 (4 is in the session's changes)
  WriteByte(manager, 2, 4, 6);
  manager.Commit(2);
  EXPECT_EQ(cached(), (std::vector<int32_t>{0, 3, 5}));
  EXPECT_EQ(manager.CachedPageCount(), 3);
  manager.ReleasePage(held);
  EXPECT_EQ(ReadByte(manager, 1, 4), 6);
  EXPECT_EQ(ReadByte(manager, 1, 3), 9);
  EXPECT_EQ(manager.StoredByte(3), 9);
}

TEST(TABSPageManagerTest, FreeCacheRefusesUncommittedChanges) {
  MapPageManager manager;
  manager.ReleasePage(manager.AddPage(3, ptTableRecord));
  EXPECT_EQ(CodeOf([&] { manager.FreeCache(); }), 20097);
  manager.Commit(3);
  manager.FreeCache();
  EXPECT_EQ(manager.CachedPageCount(), 0);
}

TEST(TABSPageManagerTest, AFailedWriteKeepsTheChangesForAnotherAttempt) {
  struct FailingManager : MapPageManager {
    int failAt = 0;
    void WritePage(TABSPage* page) override {
      if (writes + 1 == failAt) {
        ++writes;
        throw EABSException(10469, "write failed");
      }
      MapPageManager::WritePage(page);
    }
  } manager;
  manager.Seed(1, 0);
  manager.Seed(2, 0);
  WriteByte(manager, 1, 1, 5);
  WriteByte(manager, 1, 2, 6);
  manager.failAt = 2;
  EXPECT_EQ(CodeOf([&] { manager.Commit(1); }), 10469);
  EXPECT_TRUE(manager.HasChanges(1));
  manager.Commit(1);
  EXPECT_EQ(manager.StoredByte(1), 5);
  EXPECT_EQ(manager.StoredByte(2), 6);
}

TEST(TABSSortedPageListTest, KeepsPagesSortedAndRaisesItsErrors) {
  MapPageManager manager;
  TABSSortedPageList list;
  try {
    list.Delete(3);
    FAIL();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.Message(), "TSortedPageList.Delete - no elements in array! - Native error: 20165");
  }
  std::vector<std::unique_ptr<TABSPage>> pages;
  for (int32_t pageNo : {9, 3, 7, 1}) {
    pages.push_back(std::make_unique<TABSPage>(&manager));
    pages.back()->PageNo = pageNo;
    list.Insert(pages.back().get());
  }
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list.At(0)->PageNo, 1);
  EXPECT_EQ(list.At(3)->PageNo, 9);
  EXPECT_EQ(list.Find(7)->PageNo, 7);
  EXPECT_EQ(list.Find(8), nullptr);
  EXPECT_EQ(list.Oldest()->PageNo, 9);
  list.Touch(9);
  list.Touch(3);
  EXPECT_EQ(list.Oldest()->PageNo, 7);
  EXPECT_EQ(CodeOf([&] { list.Touch(4); }), 20167);
  try {
    list.Delete(4);
    FAIL();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.Message(),
              "TSortedPageList.Delete - element not found, key = 4, itemCount = 4 - Native error: 20166");
  }
  list.Delete(7);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Oldest()->PageNo, 1);
}

TEST(TABSSortedPageListTest, OldestFollowsTheStampsUnderRandomUse) {
  // Reference: page number -> the order of its last insert or touch.
  MapPageManager manager;
  TABSSortedPageList list;
  std::vector<std::unique_ptr<TABSPage>> pages;
  for (int32_t pageNo = 0; pageNo < 64; ++pageNo) {
    pages.push_back(std::make_unique<TABSPage>(&manager));
    pages.back()->PageNo = pageNo;
  }
  std::map<int32_t, uint64_t> used;
  uint64_t clock = 0;
  std::mt19937 random(11);
  for (int step = 0; step < 5000; ++step) {
    const auto pageNo = static_cast<int32_t>(random() % pages.size());
    const bool in = used.count(pageNo) > 0;
    switch (random() % 4) {
      case 0:
      case 1:
        if (in) {
          list.Touch(pageNo);
        } else {
          list.Insert(pages[static_cast<size_t>(pageNo)].get());
        }
        used[pageNo] = ++clock;
        break;
      case 2:
        if (in) {
          list.Delete(pageNo);
          used.erase(pageNo);
        }
        break;
      default:
        if (random() % 50 == 0) {
          list.Clear();
          used.clear();
        }
    }
    ASSERT_EQ(list.Count(), static_cast<int32_t>(used.size()));
    if (used.empty()) {
      ASSERT_EQ(list.Oldest(), nullptr);
      continue;
    }
    auto oldest = std::min_element(used.begin(), used.end(),
                                   [](const auto& a, const auto& b) { return a.second < b.second; });
    ASSERT_EQ(list.Oldest()->PageNo, oldest->first) << "step " << step;
  }
}

TEST(TABSSortedPageListTest, GrowsAndShrinksInDoublingSteps) {
  MapPageManager manager;
  TABSSortedPageList list;
  std::vector<std::unique_ptr<TABSPage>> pages;
  std::vector<int32_t> capacities;
  for (int32_t pageNo = 0; pageNo < 20000; ++pageNo) {
    pages.push_back(std::make_unique<TABSPage>(&manager));
    pages.back()->PageNo = pageNo;
    list.Insert(pages.back().get());
    if (capacities.empty() || capacities.back() != list.Capacity()) capacities.push_back(list.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int32_t>{2000, 6000, 14000, 24000}));
  for (int32_t pageNo = 19999; pageNo >= 100; --pageNo) list.Delete(pageNo);
  EXPECT_EQ(list.Count(), 100);
  EXPECT_LE(list.Capacity() - list.Count(), 10000);
  EXPECT_LT(list.Capacity(), 24000);
  for (int32_t pageNo = 0; pageNo < 100; ++pageNo) ASSERT_EQ(list.Find(pageNo)->PageNo, pageNo);
}

}  // namespace
}  // namespace viz
