// A database backend with a page manager commits and rolls back its sessions' pages through it.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "engine/storage/VIZPage.h"
#include "engine/storage/file_format.h"
#include "engine/tables/VIZBaseEngine.h"
#include "engine/tables/base_session.h"

namespace viz {
namespace {

// Pages kept as images in a map.
class MapPages : public TABSPageManager {
 public:
  MapPages() : TABSPageManager(128, file_format::kPageHeaderSize) {}

  std::map<int32_t, std::vector<uint8_t>> stored;
  std::set<int32_t> used;

  void AllocatePageNo(TABSPage* page) override {
    int32_t pageNo = 0;
    while (used.count(pageNo) > 0) ++pageNo;
    used.insert(pageNo);
    page->PageNo = pageNo;
    page->AllocBuffer();
  }
  void FreePageNo(int32_t pageNo) override { used.erase(pageNo); }
  bool ReadPage(TABSPage* page) override {
    std::memcpy(page->Buffer(), stored.at(page->PageNo).data(), PageSize());
    return true;
  }
  void WritePage(TABSPage* page) override {
    stored[page->PageNo].assign(page->Buffer(), page->Buffer() + PageSize());
  }
};

// A backend that leaves commit and rollback to the base behaviour.
class PagedDatabase : public TABSDatabaseData {
 public:
  explicit PagedDatabase(TABSPageManager* pages) { SetPageManager(pages); }
  TABSTableData* NewTableData(TABSCursor*) override { return nullptr; }
  int32_t NextObjectID() override { return 1; }
};

TEST(DatabasePagesTest, CommitWritesAndRollbackFreesTheSessionsPages) {
  MapPages pages;
  PagedDatabase database(&pages);
  TABSBaseSession session;
  session.SetSessionNumber(3);

  TABSPage* page = pages.AddPage(3, ptTableRecord);
  int32_t kept = page->PageNo;
  page->Data()[0] = 42;
  page->MarkDirty();
  pages.ReleasePage(page);
  EXPECT_EQ(pages.stored.count(kept), 0u);
  database.Commit(&session, false);
  ASSERT_EQ(pages.stored.count(kept), 1u);
  EXPECT_EQ(pages.stored[kept][file_format::kPageHeaderSize], 42);

  page = pages.AddPage(3, ptTableRecord);
  int32_t discarded = page->PageNo;
  pages.ReleasePage(page);
  database.Rollback(&session);
  EXPECT_EQ(pages.used.count(discarded), 0u);
  EXPECT_EQ(pages.used.count(kept), 1u);
}

}  // namespace
}  // namespace viz
