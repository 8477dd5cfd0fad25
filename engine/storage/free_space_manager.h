// Free-space maps: which page a new page gets, which pages are in use, growing the file when nothing
// is free and cutting free pages off its end.
//
// With P the page size, D = P - 40 the data area, E = ExtentPageCount:
//   B = D x 8   pages covered by one PFS page;   PFS page k is page k x B
//   X = D x 4   extents covered by one EAM page
//   F = X x E   pages covered by one EAM page;   EAM page j is page j x F, or j x F + 1 when j x F
//               is a PFS page
// PFS data area: bit (p mod B) mod 8 of byte (p mod B) div 8 is 1 when page p is in use (map pages
// included). EAM data area: the two bits at 2 x (x mod 4) of byte (x mod X) div 4 describe extent x
// (pages x E .. x E + E - 1): 3 = all used, 1 = some free, 0 = not examined. Only "all used" (bit
// value 2) steers the search.
//
// Map pages never enter the page cache and are never enciphered: each call reads the ones it needs
// through the page read hook (once per call) and writes the changed ones through the write hook, so
// an allocation or a release is in the file when the call returns. Allocation and release run under the header lock
// and re-read the header first, so several processes can share one file.
//
// Writes are ordered so that a process killed between any two of them leaves only states that
// the allocator takes in its stride (and the file checker reports as notes or warnings at most):
//   allocate  PFS bit, then EAM entry, then header    -> an extent that became full may still be
//             (growing: file size, new map pages first;  marked as having room; a page above
//             a pass of several pages writes each        LastUsedPageNo or past the header's page
//             changed PFS page once, then each changed   count may be marked (taken again by the
//             EAM page, then the header, after each      next growth); new map pages past the
//             growth and at its end)                     header's page count may be missing
//   free      freed marker, header (new LastUsedPageNo), EAM entry "has room", then PFS bit; a cut
//             writes the header before it shortens the file
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace viz {

class TABSDiskPageManager;

class TABSDatabaseFreeSpaceManager {
 public:
  //! Works on `manager`'s file and keeps TotalPageCount and LastUsedPageNo in its header.
  explicit TABSDatabaseFreeSpaceManager(TABSDiskPageManager& manager);
  ~TABSDatabaseFreeSpaceManager();

  //! Called with the page an allocation is about to mark used, before anything is written for it.
  using BeforeMarking = std::function<void(int32_t pageNo)>;

  //! Returns the lowest free page found through the maps, growing the file when none is free.
  //! `beforeMarking`, when given, learns the page before its bit is set (and may raise to stop the
  //! allocation). Raises "Database is locked" (20231) when the header lock cannot be had.
  int32_t AllocatePage(const BeforeMarking& beforeMarking = nullptr);
  //! Called when pages chosen by AllocatePages are about to be written out, before any map page is
  //! written for them (and may raise to stop the pass).
  using BeforeWriting = std::function<void()>;

  //! Allocates `count` pages, the same ones and leaving the same bytes in the file as `count` calls
  //! of AllocatePage, in one pass: one header lock, each map page read once; the chosen pages are
  //! written out (`beforeWriting`, each changed map page once, the header) after each growth of the
  //! file and at the end, also when a failure stops the pass. Each page is appended to `taken` as it
  //! is chosen, so a caller learns the pages had before a failure; when `beforeWriting` or a write
  //! fails, the pages chosen since the last write-out are taken out of `taken` again.
  void AllocatePages(int32_t count, std::vector<int32_t>& taken,
                     const BeforeMarking& beforeMarking = nullptr,
                     const BeforeWriting& beforeWriting = nullptr);
  //! Marks the page's update counter as freed in the file, clears its bit, recomputes
  //! LastUsedPageNo and cuts trailing free pages in multiples of the growth step. Raises 30434 for a
  //! map page, 30430 out of range, 30427 when already free, 20232 when the header is locked.
  void FreePage(int32_t pageNo);

  //! True for PFS and EAM pages.
  bool IsMapPage(int64_t pageNo) const;
  //! True for PFS and EAM pages of a file with `pageDataSize` data bytes per page and
  //! `extentPageCount` pages per extent (false when either is 0).
  static bool IsMapPage(int64_t pageNo, int64_t pageDataSize, int64_t extentPageCount);
  //! Raises "Cannot delete PFS or EAM page. PageNo=%d" (30434) for a map page.
  void CheckNotMapPage(int32_t pageNo) const;
  //! True when the page's bit is set in its PFS page (read fresh). REQUIRES: 0 <= pageNo < total.
  bool IsPageUsed(int32_t pageNo);
  //! Returns the extent entry of extent `extentNo` (read fresh from its EAM page).
  int ExtentEntry(int64_t extentNo);

  //! Growth step: max(TotalPageCount div 10, E), 6 for an empty file.
  int32_t GrowthStep() const;
  int64_t PagesPerPfs() const { return pagesPerPfs_; }
  int64_t ExtentsPerEam() const { return extentsPerEam_; }
  int64_t PagesPerEam() const { return pagesPerEam_; }
  int64_t ExtentPageCount() const { return extentPageCount_; }
  int64_t PfsPageNo(int64_t index) const { return index * pagesPerPfs_; }
  int64_t EamPageNo(int64_t index) const;
  //! Index of the last EAM page that lies inside the file, -1 for an empty file.
  int64_t LastEamIndex() const;
  //! Index of the last PFS page inside the file, -1 for an empty file.
  int64_t LastPfsIndex() const;

 private:
  class MapPage;
  class MapScope;

  // The map page `pageNo`, read (and checked to be of `type`, raising "Wrong page type" with
  // `wrongTypeCode`) on first use within the current MapScope. REQUIRES: a MapScope is open.
  MapPage& Map(int64_t pageNo, uint16_t type, int32_t wrongTypeCode);

  int32_t& TotalPageCount();
  int32_t& LastUsedPageNo();
  int32_t TotalPageCount() const;
  int32_t LastUsedPageNo() const;

  // Sets or clears page p's bit, then refreshes its extent entry.
  void SetPageBit(int32_t pageNo, bool used);
  void UpdateExtentEntry(int32_t pageNo);
  // The free page found through EAM page `eamIndex`, or -1.
  int32_t SearchEam(int64_t eamIndex);
  int32_t FindFreePage(const BeforeMarking& beforeMarking);
  int32_t GrowFile(const BeforeMarking& beforeMarking);
  // The highest used page that is not a map page, counting `ignored` as free; -1 when none.
  int32_t FindLastUsedPage(int32_t ignored = -1);
  // Writes an extent entry when it differs from the stored one.
  void WriteExtentEntry(int64_t extentNo, uint8_t entry);
  // Writes a changed map page now, or within AllocatePages once the pass is chosen.
  void WriteMap(MapPage& page);
  // Writes every map page with put-off writes, PFS pages first, each once.
  void WritePutOffMaps();
  void CreateMapPage(int64_t pageNo, uint16_t pageType);

  TABSDiskPageManager& manager_;
  // Constant after construction.
  int64_t extentPageCount_;
  int64_t pagesPerPfs_;
  int64_t extentsPerEam_;
  int64_t pagesPerEam_;
  // ReadHeader for a call that opens the outermost MapScope: the first PFS and EAM pages (pages 0
  // and 1) lie right after the prefix, and the same read takes them for the scope.
  void ReadHeaderAndFirstMaps();

  // The map pages read within the open MapScope.
  std::vector<std::unique_ptr<MapPage>> loaded_;
  int mapScopeDepth_ = 0;
  // True inside AllocatePages while it chooses pages: map changes stay in the kept copies.
  bool putOffMapWrites_ = false;
  // Pages 0 .. preloadedCount_ - 1 as ReadHeaderAndFirstMaps read them, until Map makes them kept
  // pages; valid within the outermost MapScope only.
  std::vector<uint8_t> preloaded_;
  int32_t preloadedCount_ = 0;
};

}  // namespace viz
