// Page indexes: random changes against a map, the two-leaf finders, and their errors.
#include "engine/tables/btree/page_index.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "tables/btree/btree_fixture.h"

namespace viz {
namespace {

using testing::MemoryPages;
using testing::MessageOf;

TEST(PageIndexTest, RandomChangesAgreeWithAMap) {
  MemoryPages pages(256, 0);  // 39 entries per leaf, 32 per node: three levels and more
  TABSBTreeRecordPageIndex index(pages, -1, 100);
  index.Create(1);
  std::map<int32_t, uint16_t> model;
  std::mt19937 random(9);
  int32_t deepest = 0;
  // Remembered places, shared by all pages: often another page's, or taken before entries moved.
  TABSBTreePageIndex::Place places[4];
  for (int step = 0; step < 6000; ++step) {
    const int32_t page = static_cast<int32_t>(random() % 6000) - 100;  // negative numbers order first
    const uint16_t value = static_cast<uint16_t>(random() % 100);
    const bool growing = (step / 1500) % 2 == 0;
    if (model.count(page) == 0 && (growing || random() % 4 == 0)) {
      index.AddPage(1, page, value);
      model[page] = value;
    } else if (model.count(page) != 0 && random() % 3 == 0) {
      if (random() % 2 == 0)
        index.SetRecordCount(1, page, value);
      else
        index.SetRecordCount(1, page, value, places[random() % 4]);
      model[page] = value;
    } else if (model.count(page) != 0) {
      index.RemovePage(1, page);
      model.erase(page);
    }
    if (step % 7 != 0) continue;
    const TABSBTreeCheckReport report = index.Check(1);
    ASSERT_TRUE(report.Sound()) << "step " << step << "\n" << report.Text();
    deepest = std::max(deepest, report.Height);
    ASSERT_EQ(index.PageCount(1), static_cast<int64_t>(model.size()));
    ASSERT_EQ(index.FirstPage(1), model.empty() ? -1 : model.begin()->first);
    ASSERT_EQ(index.LastPage(1), model.empty() ? -1 : model.rbegin()->first);
    if (model.empty()) continue;
    auto at = std::next(model.begin(), static_cast<ptrdiff_t>(random() % model.size()));
    ASSERT_EQ(index.RecordCount(1, at->first), at->second);
    uint16_t stored = 0;
    TABSBTreePageIndex::Place& place = places[random() % 4];
    ASSERT_TRUE(index.GetValue(1, at->first, stored, place));
    ASSERT_EQ(stored, at->second);
    index.SetRecordCount(1, at->first, stored, place);  // the place now names this page
    ASSERT_TRUE(index.GetValue(1, at->first, stored, place));
    ASSERT_EQ(stored, at->second);
    ASSERT_EQ(index.NextPage(1, at->first), std::next(at) == model.end() ? -1 : std::next(at)->first);
    ASSERT_EQ(index.PriorPage(1, at->first), at == model.begin() ? -1 : std::prev(at)->first);
  }
  EXPECT_GE(deepest, 3);
}

TEST(PageIndexTest, FindersLookAtTheLastLeafBackwardsThenTheFirstLeafForwards) {
  MemoryPages pages(512, 0);
  TABSBTreeRecordPageIndex records(pages, -1, 10);
  records.Create(1);
  for (int32_t page = 0; page < 300; ++page) records.AddPage(1, page, 10);  // all full
  EXPECT_EQ(records.FindPageWithFreeSlot(1), -1);
  records.SetRecordCount(1, 150, 3);  // a middle leaf is not looked at
  EXPECT_EQ(records.FindPageWithFreeSlot(1), -1);
  records.SetRecordCount(1, 5, 9);
  records.SetRecordCount(1, 7, 0);
  EXPECT_EQ(records.FindPageWithFreeSlot(1), 5);  // the first leaf from its first entry
  records.SetRecordCount(1, 290, 2);
  records.SetRecordCount(1, 297, 2);
  EXPECT_EQ(records.FindPageWithFreeSlot(1), 297);  // the last leaf from its last entry

  TABSBTreeBlobPageIndex blobs(pages, -1);
  blobs.Create(1);
  const int32_t dataSize = static_cast<int32_t>(pages.PageDataSize());
  blobs.AddPage(1, 40, 500);
  blobs.AddPage(1, 41, 100);
  EXPECT_EQ(blobs.FindPageWithRoom(1, dataSize - 102), -1);  // 100 + n must stay below D - 2
  EXPECT_EQ(blobs.FindPageWithRoom(1, dataSize - 103), 41);
  blobs.ChangeUsedBytes(1, 41, -60);
  EXPECT_EQ(blobs.UsedBytes(1, 41), 40);
  EXPECT_EQ(blobs.UsedBytes(1, 42), -1);
  EXPECT_EQ(MessageOf([&] { blobs.ChangeUsedBytes(1, 40, dataSize); }),
            "Cannot add data item to page. Page is full - Native error: 20106");
  EXPECT_EQ(blobs.UsedBytes(1, 40), 500);

  // The place a finder reports spares the update its search; a place that no longer holds the
  // page (the index changed since) is not trusted.
  for (int32_t page = 100; page < 400; ++page) blobs.AddPage(1, page, static_cast<int32_t>(dataSize - 10));
  blobs.ChangeUsedBytes(1, 398, -200);
  TABSBTreePageIndex::Place place;
  ASSERT_EQ(blobs.FindPageWithRoom(1, 100, &place), 398);
  blobs.ChangeUsedBytes(1, 398, 50, &place);
  EXPECT_EQ(blobs.UsedBytes(1, 398), dataSize - 160);
  blobs.RemovePage(1, 397);  // the entry of 398 moves down by one
  blobs.ChangeUsedBytes(1, 398, 10, &place);
  EXPECT_EQ(blobs.UsedBytes(1, 398), dataSize - 150);
  EXPECT_EQ(blobs.UsedBytes(1, 399), dataSize - 10);
  EXPECT_TRUE(blobs.Check(1).Sound());
}

TEST(PageIndexTest, MissingAndDuplicatePagesRaise) {
  MemoryPages pages(1024, 0);
  TABSBTreeRecordPageIndex index(pages, -1, 10);
  EXPECT_EQ(MessageOf([&] { index.FirstPage(1); }), "Index error: invalid page number - Native error: 20100");
  index.Create(1);
  index.AddPage(1, 3, 1);
  EXPECT_EQ(MessageOf([&] { index.AddPage(1, 3, 2); }), "Invalid page number - Native error: 20104");
  EXPECT_EQ(MessageOf([&] { index.RemovePage(1, 4); }), "Invalid page number - Native error: 20105");
  EXPECT_EQ(MessageOf([&] { index.SetRecordCount(1, 4, 1); }), "Invalid page number - Native error: 20110");
  EXPECT_EQ(MessageOf([&] { index.NextPage(1, 4); }), "Invalid page number - Native error: 20111");
  EXPECT_EQ(MessageOf([&] { index.RecordCount(1, 4); }), "Invalid page number - Native error: 20114");
  index.Drop(1);
  pages.Commit(1);
  EXPECT_TRUE(pages.Allocated.empty());
}

}  // namespace
}  // namespace viz
