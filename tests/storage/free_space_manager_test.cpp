#include "engine/storage/free_space_manager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <random>
#include <set>
#include <sstream>

#include "engine/storage/disk_page_manager.h"
#include "engine/types/errors.h"
#include "storage/storage_test_util.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using namespace file_format;
using testing::ErrorOf;
using testing::TempDir;

class FreeSpaceTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string path_ = dir_.File("fs.db");
  TABSDiskPageManager manager_;

  void CreateAndOpen(uint16_t pageSize = 4096, uint16_t extent = 8) {
    testing::CreateDatabase(path_, {}, extent, pageSize);
    bool multiUser = true, repair = false, readOnly = false;
    manager_.OpenDatabaseFile(path_, {}, multiUser, false, repair, readOnly);
  }
  TABSDatabaseFreeSpaceManager& Fsm() { return *manager_.FreeSpaceManager(); }
  std::vector<uint8_t> PageOnDisk(int64_t pageNo) {
    return testing::ReadBytesAt(path_, 380 + pageNo * manager_.PageSize(), manager_.PageSize());
  }
  int32_t HeaderField(int offset) { return GetI32(testing::ReadBytesAt(path_, offset, 4).data()); }
};

TEST_F(FreeSpaceTest, FirstAllocationGrowsBySixPagesAndMakesTheMaps) {
  CreateAndOpen();
  EXPECT_EQ(manager_.AllocatePageNumber(), 2);
  EXPECT_EQ(testing::FileSize(path_), 380 + 6 * 4096);
  EXPECT_EQ(HeaderField(30), 6);
  EXPECT_EQ(HeaderField(34), 2);
  std::vector<uint8_t> pfs = PageOnDisk(0);
  EXPECT_EQ(std::string(pfs.begin(), pfs.begin() + 4), "ABSP");
  EXPECT_EQ(GetU16(pfs.data() + 8), ptPFS);
  EXPECT_EQ(GetI32(pfs.data() + 10), -1);
  EXPECT_EQ(pfs[40], 0x07);  // pages 0, 1, 2
  EXPECT_TRUE(std::all_of(pfs.begin() + 41, pfs.end(), [](uint8_t b) { return b == 0; }));
  std::vector<uint8_t> eam = PageOnDisk(1);
  EXPECT_EQ(GetU16(eam.data() + 8), ptEAM);
  EXPECT_EQ(eam[40], 0x01);  // extent 0: some pages free
  EXPECT_TRUE(Fsm().IsMapPage(0));
  EXPECT_TRUE(Fsm().IsMapPage(1));
  EXPECT_FALSE(Fsm().IsMapPage(2));
}

TEST_F(FreeSpaceTest, LaterAllocationsFillTheFileThenGrowByTheStep) {
  CreateAndOpen();
  std::vector<int32_t> pages;
  for (int i = 0; i < 14; ++i) pages.push_back(manager_.AllocatePageNumber());
  EXPECT_EQ(pages, (std::vector<int32_t>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
  // 6 pages, then +8 (max(6 div 10, E)) = 14, then +8 = 22.
  EXPECT_EQ(HeaderField(30), 22);
  EXPECT_EQ(HeaderField(34), 15);
  EXPECT_EQ(testing::FileSize(path_), 380 + 22 * 4096);
  // Extents 0 (pages 0..7) and 1 (8..15) are full; extent 2 has not been looked at yet.
  EXPECT_EQ(PageOnDisk(1)[40], 0x0F);
  EXPECT_EQ(Fsm().ExtentEntry(2), 0);
  EXPECT_EQ(PageOnDisk(0)[40], 0xFF);
  EXPECT_EQ(PageOnDisk(0)[41], 0xFF);
}

TEST_F(FreeSpaceTest, FreedPageIsTakenAgainBeforeTheFileGrows) {
  CreateAndOpen();
  for (int i = 0; i < 4; ++i) manager_.AllocatePageNumber();
  manager_.FreePageNo(3);
  EXPECT_EQ(manager_.ReadPageUpdateCounter(3), 2147483647);
  EXPECT_EQ(PageOnDisk(0)[40], 0x37);
  EXPECT_EQ(manager_.AllocatePageNumber(), 3);
  EXPECT_EQ(HeaderField(30), 6);
}

TEST_F(FreeSpaceTest, FreeingTheTopPageCutsTrailingPagesInStepMultiples) {
  CreateAndOpen();
  for (int i = 0; i < 12; ++i) manager_.AllocatePageNumber();  // pages 2..13, 14 pages in the file
  ASSERT_EQ(HeaderField(30), 14);
  // A page in the middle: nothing is cut.
  manager_.FreePageNo(7);
  EXPECT_EQ(HeaderField(30), 14);
  EXPECT_EQ(HeaderField(34), 13);
  // Top pages: LastUsedPageNo follows; once 8 (G) pages trail it, 8 are cut.
  for (int32_t page : {13, 12, 11, 10, 9}) manager_.FreePageNo(page);
  EXPECT_EQ(HeaderField(34), 8);
  EXPECT_EQ(HeaderField(30), 14);
  manager_.FreePageNo(8);
  EXPECT_EQ(HeaderField(34), 6);
  EXPECT_EQ(HeaderField(30), 14 - 7 / 8 * 8);
  manager_.FreePageNo(6);
  manager_.FreePageNo(5);
  EXPECT_EQ(HeaderField(34), 4);
  EXPECT_EQ(HeaderField(30), 6);
  EXPECT_EQ(testing::FileSize(path_), 380 + 6 * 4096);
  EXPECT_EQ(manager_.AllocatePageNumber(), 5);
}

TEST_F(FreeSpaceTest, BadReleasesAreRefusedAndChangeNothing) {
  CreateAndOpen();
  manager_.AllocatePageNumber();
  manager_.AllocatePageNumber();
  manager_.FreePageNo(3);
  std::vector<uint8_t> before = testing::ReadAllBytes(path_);
  EXPECT_EQ(ErrorOf([&] { manager_.FreePageNo(3); }).second, "Page: 3 already free - Native error: 30427");
  EXPECT_EQ(ErrorOf([&] { manager_.FreePageNo(0); }).second,
            "Cannot delete PFS or EAM page. PageNo=0 - Native error: 30434");
  EXPECT_EQ(ErrorOf([&] { manager_.FreePageNo(1); }).first, 30434);
  EXPECT_EQ(ErrorOf([&] { manager_.FreePageNo(6); }).second,
            "Page: 6 cannot be addressed. TotalPageCount=6 - Native error: 30430");
  EXPECT_EQ(ErrorOf([&] { manager_.FreePageNo(-3); }).first, 30430);
  EXPECT_EQ(testing::ReadAllBytes(path_), before);
  EXPECT_EQ(ErrorOf([&] { manager_.CheckNotMapPage(1); }).first, 30434);
}

TEST_F(FreeSpaceTest, MapPageOfTheWrongTypeIsReported) {
  CreateAndOpen();
  manager_.AllocatePageNumber();
  std::vector<uint8_t> type(2);
  PutU16(type.data(), ptTableRecord);
  testing::WriteBytesAt(path_, 380 + 1 * 4096 + 8, type);
  EXPECT_EQ(ErrorOf([&] { manager_.AllocatePageNumber(); }).second,
            "Wrong page type. Found 'TableRecord Page', but wanted: 'EAM Page' - Native error: 30423");
  testing::WriteBytesAt(path_, 380 + 8, type);
  EXPECT_EQ(ErrorOf([&] { manager_.FreePageNo(2); }).first, 30430);
}

TEST_F(FreeSpaceTest, SmallPagesCrossManyMapPages) {
  // 64-byte pages: 24-byte data areas, B = 192 pages per PFS page, F = 768 pages per EAM page.
  CreateAndOpen(64, 8);
  ASSERT_EQ(Fsm().PagesPerPfs(), 192);
  ASSERT_EQ(Fsm().PagesPerEam(), 768);
  std::vector<int32_t> pages;
  for (int i = 0; i < 1700; ++i) pages.push_back(manager_.AllocatePageNumber());
  // The last EAM page is searched first, so pages are not handed out in ascending order, but each
  // only once and never a map page.
  std::set<int32_t> distinct(pages.begin(), pages.end());
  EXPECT_EQ(distinct.size(), pages.size());
  for (int32_t page : pages) ASSERT_FALSE(Fsm().IsMapPage(page)) << page;
  // PFS pages at 0, 192, 384, ...; EAM pages at 1 and 769, 1537 (after PFS pages 768 and 1536).
  const int32_t total = HeaderField(30);
  for (int32_t page = 0; page < total; ++page) {
    std::vector<uint8_t> bytes = PageOnDisk(page);
    bool pfs = page % 192 == 0;
    bool eam = page == 1 || page == 769 || page == 1537;
    ASSERT_EQ(Fsm().IsMapPage(page), pfs || eam) << page;
    if (pfs || eam) {
      ASSERT_EQ(GetU16(bytes.data() + 8), pfs ? ptPFS : ptEAM) << page;
      ASSERT_TRUE(Fsm().IsPageUsed(page)) << page;
    } else {
      ASSERT_EQ(Fsm().IsPageUsed(page), distinct.count(page) == 1) << page;
    }
  }
  // Release everything: the file shrinks back while the maps stay consistent.
  for (auto it = distinct.rbegin(); it != distinct.rend(); ++it) manager_.FreePageNo(*it);
  EXPECT_EQ(HeaderField(34), -1);
  EXPECT_LT(HeaderField(30), total);
  // Allocation starts over cleanly.
  int32_t again = manager_.AllocatePageNumber();
  EXPECT_FALSE(Fsm().IsMapPage(again));
  EXPECT_TRUE(Fsm().IsPageUsed(again));
  // The manager's own test (in 32 bits) agrees with the general one, also at the largest numbers.
  for (int64_t page : {int64_t{-1}, int64_t{0}, int64_t{1}, int64_t{767}, int64_t{768}, int64_t{769},
                       int64_t{2304}, int64_t{2305}, int64_t{INT32_MAX} - 1, int64_t{INT32_MAX},
                       int64_t{UINT32_MAX}, int64_t{UINT32_MAX} + 1}) {
    ASSERT_EQ(Fsm().IsMapPage(page), TABSDatabaseFreeSpaceManager::IsMapPage(page, 24, 8)) << page;
  }
  for (int64_t page = 0; page < 10000; ++page)
    ASSERT_EQ(Fsm().IsMapPage(page), TABSDatabaseFreeSpaceManager::IsMapPage(page, 24, 8)) << page;
}

// Random allocations and releases against a reference set, on small pages (many map pages, growth
// and cuts all the time): after every step the maps read fresh mark exactly the reference's pages
// and the map pages, and the header's last used page is the highest of them.
TEST_F(FreeSpaceTest, RandomAllocationsAndReleasesKeepTheMapsAsTheReferenceSays) {
  CreateAndOpen(64, 8);
  std::mt19937 random(23);
  std::set<int32_t> used;
  for (int step = 0; step < 1500; ++step) {
    if (used.empty() || random() % 100 < 60) {
      const int32_t pageNo = manager_.AllocatePageNumber();
      ASSERT_TRUE(used.insert(pageNo).second) << "step " << step << " page " << pageNo;
    } else {
      auto it = used.begin();
      std::advance(it, random() % used.size());
      manager_.FreePageNo(*it);
      used.erase(it);
    }
    if (step % 25 != 24) continue;
    const int32_t total = HeaderField(30);
    ASSERT_EQ(HeaderField(34), used.empty() ? -1 : *used.rbegin()) << "step " << step;
    for (int32_t pageNo = 0; pageNo < total; ++pageNo)
      ASSERT_EQ(Fsm().IsPageUsed(pageNo), Fsm().IsMapPage(pageNo) || used.count(pageNo) == 1)
          << "step " << step << " page " << pageNo;
  }
}

TEST_F(FreeSpaceTest, BatchedAllocationsWriteWhatSingleOnesWrite) {
  // Model: one file gets single allocations, a second one the same pages in batches, with the same
  // frees in between. 64-byte pages, so that the batches cross PFS and EAM pages and grow the file.
  CreateAndOpen(64, 8);
  const std::string batchedPath = dir_.File("batched.db");
  testing::CreateDatabase(batchedPath, {}, 8, 64);
  TABSDiskPageManager batched;
  bool multiUser = true, repair = false, readOnly = false;
  batched.OpenDatabaseFile(batchedPath, {}, multiUser, false, repair, readOnly);
  uint32_t seed = 5;
  auto next = [&seed](uint32_t range) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % range;
  };
  std::vector<int32_t> held;
  for (int round = 0; round < 60; ++round) {
    const auto count = static_cast<int32_t>(next(40) + 1);
    std::vector<int32_t> single;
    for (int32_t made = 0; made < count; ++made) single.push_back(Fsm().AllocatePage());
    std::vector<int32_t> taken;
    batched.FreeSpaceManager()->AllocatePages(count, taken);
    ASSERT_EQ(taken, single) << "round " << round;
    held.insert(held.end(), single.begin(), single.end());
    for (uint32_t frees = next(count + 8); frees > 0 && !held.empty(); --frees) {
      const size_t at = next(static_cast<uint32_t>(held.size()));
      manager_.FreePageNo(held[at]);
      batched.FreePageNo(held[at]);
      held.erase(held.begin() + static_cast<std::ptrdiff_t>(at));
    }
    ASSERT_EQ(testing::FileSize(batchedPath), testing::FileSize(path_)) << "round " << round;
    ASSERT_EQ(testing::ReadBytesAt(batchedPath, 0, static_cast<size_t>(testing::FileSize(path_))),
              testing::ReadBytesAt(path_, 0, static_cast<size_t>(testing::FileSize(path_))))
        << "round " << round;
  }
  // A failure in the middle of a batch keeps the pages had before it, marked and counted in the
  // header, and leaves the page it stopped at free.
  std::vector<int32_t> taken;
  int32_t refused = -1;
  EXPECT_THROW(batched.FreeSpaceManager()->AllocatePages(300, taken,
                                                         [&](int32_t pageNo) {
                                                           if (taken.size() == 250) {
                                                             refused = pageNo;
                                                             throw EABSException(msg::kNilPointer);
                                                           }
                                                         }),
               EABSException);
  ASSERT_EQ(taken.size(), 250u);
  TABSDatabaseFreeSpaceManager& fsm = *batched.FreeSpaceManager();
  for (int32_t pageNo : taken) EXPECT_TRUE(fsm.IsPageUsed(pageNo)) << pageNo;
  ASSERT_GE(refused, 0);
  if (refused < batched.Header().totalPageCount) {
    EXPECT_FALSE(fsm.IsPageUsed(refused));
  }
  held.insert(held.end(), taken.begin(), taken.end());
  const int32_t top = *std::max_element(held.begin(), held.end());
  EXPECT_EQ(GetI32(testing::ReadBytesAt(batchedPath, 34, 4).data()), top);

  // A pass stopped once it is chosen, before its map pages are written (the allocation log could
  // not record it), hands out nothing and leaves the maps and the header in the file as they were,
  // also when it grew the file; the next pass takes the same pages.
  const int64_t size = testing::FileSize(batchedPath);
  const std::vector<uint8_t> before = testing::ReadBytesAt(batchedPath, 0, static_cast<size_t>(size));
  std::vector<int32_t> stopped;
  EXPECT_THROW(fsm.AllocatePages(300, stopped, nullptr, [] { throw EABSException(msg::kNilPointer); }),
               EABSException);
  EXPECT_TRUE(stopped.empty());
  EXPECT_EQ(testing::ReadBytesAt(batchedPath, 0, static_cast<size_t>(size)), before);
  EXPECT_EQ(batched.Header().totalPageCount, GetI32(before.data() + 30));
  std::vector<int32_t> again;
  fsm.AllocatePages(300, again);
  std::vector<int32_t> single;
  for (int32_t made = 0; made < 550; ++made) single.push_back(Fsm().AllocatePage());
  again.insert(again.begin(), taken.begin(), taken.end());
  EXPECT_EQ(again, single);
  ASSERT_EQ(testing::FileSize(batchedPath), testing::FileSize(path_));
  EXPECT_EQ(testing::ReadBytesAt(batchedPath, 0, static_cast<size_t>(testing::FileSize(path_))),
            testing::ReadBytesAt(path_, 0, static_cast<size_t>(testing::FileSize(path_))));
}

// Builds a default-size file whose first `fullPages` pages are all in use, sparse on disk.
void FillDefaultFile(TABSDiskPageManager& manager, int32_t fullPages) {
  manager.AllocatePageNumber();
  manager.ExtendFile(fullPages - manager.Header().totalPageCount);
  TABSDatabaseFreeSpaceManager& fsm = *manager.FreeSpaceManager();
  std::vector<uint8_t> page(4096);
  for (int64_t index = 0; index * fsm.PagesPerPfs() < fullPages; ++index) {
    InitPageHeader(page.data(), ptPFS, 0);
    std::fill(page.begin() + 40, page.end(), 0xFF);
    manager.WritePageBuffer(static_cast<int32_t>(fsm.PfsPageNo(index)), page.data());
  }
  for (int64_t index = 0; index * fsm.PagesPerEam() < fullPages; ++index) {
    InitPageHeader(page.data(), ptEAM, 0);
    std::fill(page.begin() + 40, page.end(), 0xFF);
    manager.WritePageBuffer(static_cast<int32_t>(fsm.EamPageNo(index)), page.data());
  }
  manager.MutableHeader().lastUsedPageNo = fullPages - 1;
  manager.WriteHeader();
}

TEST_F(FreeSpaceTest, SecondPfsPageAtItsDefaultPosition) {
  CreateAndOpen();
  FillDefaultFile(manager_, 32448);
  EXPECT_EQ(manager_.AllocatePageNumber(), 32449);
  std::vector<uint8_t> pfs = PageOnDisk(32448);
  EXPECT_EQ(GetU16(pfs.data() + 8), ptPFS);
  EXPECT_EQ(pfs[40], 0x03);
  EXPECT_EQ(HeaderField(30), 32448 + 3244);
  EXPECT_EQ(manager_.AllocatePageNumber(), 32450);
}

TEST_F(FreeSpaceTest, SecondEamPageFollowsTheFifthPfsPage) {
  CreateAndOpen();
  FillDefaultFile(manager_, 129792);
  EXPECT_EQ(manager_.AllocatePageNumber(), 129794);
  std::vector<uint8_t> pfs = PageOnDisk(129792);
  EXPECT_EQ(GetU16(pfs.data() + 8), ptPFS);
  EXPECT_EQ(pfs[40], 0x07);
  std::vector<uint8_t> eam = PageOnDisk(129793);
  EXPECT_EQ(GetU16(eam.data() + 8), ptEAM);
  EXPECT_EQ(eam[40], 0x01);
  EXPECT_TRUE(Fsm().IsMapPage(129793));
  EXPECT_EQ(HeaderField(30), 129792 + 12979);
}

VIZ_CHILD_ROLE(page_allocator) {
  TABSDiskPageManager manager;
  bool multiUser = true, repair = false, readOnly = false;
  manager.OpenDatabaseFile(args.at(0), {}, multiUser, false, repair, readOnly);
  std::string line;
  testing::ReadCommand(&line);  // start signal
  std::ostringstream out;
  for (int i = 0; i < std::stoi(args.at(1)); ++i) out << manager.AllocatePageNumber() << ' ';
  testing::Reply(out.str());
  return 0;
}

TEST_F(FreeSpaceTest, TwoProcessesAllocatingAtOnceNeverShareAPage) {
  CreateAndOpen();
  manager_.CloseDatabaseFile();
  constexpr int kEach = 150;
  testing::ChildProcess first("page_allocator", {path_, std::to_string(kEach)});
  testing::ChildProcess second("page_allocator", {path_, std::to_string(kEach)});
  first.Send("go");
  second.Send("go");
  std::set<int32_t> seen;
  for (testing::ChildProcess* child : {&first, &second}) {
    std::istringstream in(child->ReadLine(60000));
    int32_t page;
    int count = 0;
    while (in >> page) {
      EXPECT_TRUE(seen.insert(page).second) << "page " << page << " handed out twice";
      ++count;
    }
    EXPECT_EQ(count, kEach);
  }
  bool multiUser = true, repair = false, readOnly = false;
  manager_.OpenDatabaseFile(path_, {}, multiUser, false, repair, readOnly);
  for (int32_t page : seen) EXPECT_TRUE(Fsm().IsPageUsed(page)) << page;
  EXPECT_EQ(HeaderField(34), *seen.rbegin());
}

VIZ_CHILD_ROLE(page_churner) {
  TABSDiskPageManager manager;
  bool multiUser = true, repair = false, readOnly = false;
  manager.OpenDatabaseFile(args.at(0), {}, multiUser, false, repair, readOnly);
  std::string line;
  testing::ReadCommand(&line);
  std::vector<int32_t> held;
  uint32_t seed = static_cast<uint32_t>(std::stoul(args.at(2)));
  for (int step = 0; step < std::stoi(args.at(1)); ++step) {
    seed = seed * 1103515245u + 12345u;
    if (held.size() > 3 && (seed >> 16) % 3 == 0) {
      size_t at = (seed >> 8) % held.size();
      manager.FreePageNo(held[at]);
      held.erase(held.begin() + static_cast<std::ptrdiff_t>(at));
    } else {
      held.push_back(manager.AllocatePageNumber());
    }
  }
  std::ostringstream out;
  for (int32_t page : held) out << page << ' ';
  testing::Reply(out.str());
  return 0;
}

TEST_F(FreeSpaceTest, TwoProcessesAllocatingAndFreeingKeepTheMapsExact) {
  CreateAndOpen();
  manager_.CloseDatabaseFile();
  testing::ChildProcess first("page_churner", {path_, "200", "1"});
  testing::ChildProcess second("page_churner", {path_, "200", "2"});
  first.Send("go");
  second.Send("go");
  std::set<int32_t> held;
  for (testing::ChildProcess* child : {&first, &second}) {
    std::istringstream in(child->ReadLine(60000));
    int32_t page;
    while (in >> page) EXPECT_TRUE(held.insert(page).second) << "page " << page << " held twice";
  }
  ASSERT_FALSE(held.empty());
  bool multiUser = true, repair = false, readOnly = false;
  manager_.OpenDatabaseFile(path_, {}, multiUser, false, repair, readOnly);
  const int32_t total = HeaderField(30);
  for (int32_t page = 0; page < total; ++page) {
    bool expected = Fsm().IsMapPage(page) || held.count(page) == 1;
    ASSERT_EQ(Fsm().IsPageUsed(page), expected) << page;
  }
  EXPECT_EQ(HeaderField(34), *held.rbegin());
  EXPECT_LT(*held.rbegin(), total);
}

}  // namespace
}  // namespace viz
