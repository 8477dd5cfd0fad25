// Page indexes: B-trees keyed by a signed 32-bit page number with a 16-bit value per page. The disk
// backend keeps two: its record pages with their record counts, and its BLOB pages with their used
// bytes. Leaf entries are 6 bytes (page number, value), node entries 8 (page number, child).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "engine/tables/btree/btree.h"
#include "engine/tables/btree/btree_checker.h"
#include "engine/tables/btree/btree_key.h"

namespace viz {

class TABSBTreePageIndex {
 public:
  //! Where a search found a page's entry: its leaf and its place there. Good only until the index
  //! changes; every use checks that the entry there is still the page's.
  struct Place {
    int32_t LeafPageNo = -1;
    int32_t Entry = -1;
    //! How many times this index had added or removed entries when the place was taken.
    int64_t Layout = -1;
  };

  //! `rootPage` -1 for an index not yet created.
  explicit TABSBTreePageIndex(TABSPageManager& pages, int32_t rootPage = -1);
  virtual ~TABSBTreePageIndex() = default;
  TABSBTreePageIndex(const TABSBTreePageIndex&) = delete;
  TABSBTreePageIndex& operator=(const TABSBTreePageIndex&) = delete;

  int32_t RootPage() const { return tree_.RootPage(); }
  //! Takes a root page (an empty index) and returns its number.
  int32_t Create(int32_t session);
  //! Frees every page of the index.
  void Drop(int32_t session);
  //! Removes every entry.
  void Empty(int32_t session);

  //! Adds a page. Raises "Invalid page number" (20104) when it is already in the index.
  void Add(int32_t session, int32_t pageNo, uint16_t value);
  //! Raises "Invalid page number" (20105) when the page is not in the index.
  void Remove(int32_t session, int32_t pageNo);
  //! Raises "Invalid page number" (20110) when the page is not in the index.
  void SetValue(int32_t session, int32_t pageNo, uint16_t value);
  //! `SetValue` without a search while `place` still names the page's entry (no entry was added or
  //! removed through this index since it was taken, and the entry there is the page's); otherwise
  //! searches and sets `place` to where the entry is.
  void SetValue(int32_t session, int32_t pageNo, uint16_t value, Place& place);
  //! False when the page is not in the index.
  bool GetValue(int32_t session, int32_t pageNo, uint16_t& value);
  //! `GetValue` without a search while `place` still names the page's entry (as for SetValue).
  bool GetValue(int32_t session, int32_t pageNo, uint16_t& value, const Place& place);
  //! Replaces the page's value by `change(value)` with one search of the index. False (and
  //! nothing changed) when the page is not in the index.
  //! With `place` from the search that found the page (nothing changed since), no search at all.
  bool ChangeValue(int32_t session, int32_t pageNo, const std::function<uint16_t(uint16_t)>& change,
                   const Place* place = nullptr);
  //! The first / last page, -1 when the index is empty.
  int32_t FirstPage(int32_t session);
  int32_t LastPage(int32_t session);
  //! The page after / before `pageNo`, -1 when none. Raises "Invalid page number" (20111) when
  //! `pageNo` is not in the index.
  int32_t NextPage(int32_t session, int32_t pageNo);
  int32_t PriorPage(int32_t session, int32_t pageNo);
  //! The first page after / the last page before `pageNo`, which need not be in the index; -1 when
  //! none.
  int32_t PageAfter(int32_t session, int32_t pageNo);
  int32_t PageBefore(int32_t session, int32_t pageNo);
  //! Calls `visit` with every page and its value in page order, until it returns false. Returns
  //! false when a visit stopped the walk.
  bool ForEachPage(int32_t session, const std::function<bool(int32_t pageNo, uint16_t value)>& visit);
  //! Number of pages in the index.
  int64_t PageCount(int32_t session);
  TABSBTreeCheckReport Check(int32_t session);

 protected:
  //! The one operation of a kind of page index: whether a page with this value leaves room for
  //! `wanted` more.
  virtual bool LeavesRoom(uint16_t value, int32_t wanted) const = 0;
  //! Looks at the last leaf from its last entry backwards, then at the first leaf from its first
  //! entry forwards; returns the page of the first entry that leaves room, -1 when none does.
  //! `place` (when given) is set to where that entry is.
  int32_t FindPageWithRoom(int32_t session, int32_t wanted, Place* place = nullptr);
  TABSBTree& Tree() { return tree_; }

 private:
  TABSBTree& CheckedTree();
  // Positions on a page's entry; false when it is not in the index.
  bool Locate(int32_t session, int32_t pageNo, TABSKeyPath& path);
  int32_t KeyAt(int32_t session, const TABSKeyPath& path);
  // Loads the leaf of `place` into `leaf` when the place still names the page's entry.
  bool LoadPlace(int32_t session, int32_t pageNo, const Place& place, TABSBTreePage& leaf);

  TABSPageKeyRef keys_;
  TABSBTree tree_;
  // Counts the operations that add or remove entries (and so may move them): a Place taken at
  // another count is not used.
  int64_t layout_ = 0;
};

//! The record pages of a disk table with the number of records each holds.
class TABSBTreeRecordPageIndex : public TABSBTreePageIndex {
 public:
  TABSBTreeRecordPageIndex(TABSPageManager& pages, int32_t rootPage, int32_t recordsPerPage)
      : TABSBTreePageIndex(pages, rootPage), recordsPerPage_(recordsPerPage) {}

  void AddPage(int32_t session, int32_t pageNo, int32_t recordCount) {
    Add(session, pageNo, static_cast<uint16_t>(recordCount));
  }
  void RemovePage(int32_t session, int32_t pageNo) { Remove(session, pageNo); }
  void SetRecordCount(int32_t session, int32_t pageNo, int32_t recordCount) {
    SetValue(session, pageNo, static_cast<uint16_t>(recordCount));
  }
  //! With `place` (see SetValue).
  void SetRecordCount(int32_t session, int32_t pageNo, int32_t recordCount, Place& place) {
    SetValue(session, pageNo, static_cast<uint16_t>(recordCount), place);
  }
  //! Raises "Invalid page number" (20114) when the page is not in the index.
  int32_t RecordCount(int32_t session, int32_t pageNo);
  //! A page whose record count is below the records per page, -1 when none of the two leaves
  //! looked at has one (the caller then adds a page).
  int32_t FindPageWithFreeSlot(int32_t session, Place* place = nullptr) {
    return FindPageWithRoom(session, 1, place);
  }
  int32_t RecordsPerPage() const { return recordsPerPage_; }

 protected:
  bool LeavesRoom(uint16_t value, int32_t) const override { return value < recordsPerPage_; }

 private:
  int32_t recordsPerPage_;
};

//! The BLOB pages of a disk table with the bytes used in each.
class TABSBTreeBlobPageIndex : public TABSBTreePageIndex {
 public:
  TABSBTreeBlobPageIndex(TABSPageManager& pages, int32_t rootPage);

  void AddPage(int32_t session, int32_t pageNo, int32_t usedBytes) {
    Add(session, pageNo, static_cast<uint16_t>(usedBytes));
  }
  void RemovePage(int32_t session, int32_t pageNo) { Remove(session, pageNo); }
  //! Adds `delta` (negative to subtract) to a page's used bytes. Raises "Cannot add data item to
  //! page. Page is full" (20106) when the result leaves the page's data size.
  //! `place`: where `FindPageWithRoom` found the page, when the index did not change since.
  void ChangeUsedBytes(int32_t session, int32_t pageNo, int32_t delta, const Place* place = nullptr);
  //! The used bytes of a page, -1 when the page is not in the index.
  int32_t UsedBytes(int32_t session, int32_t pageNo);
  //! A page with room for `bytes` more: used + bytes < D - 2. -1 when none of the two leaves
  //! looked at has one.
  int32_t FindPageWithRoom(int32_t session, int32_t bytes, Place* place = nullptr) {
    return TABSBTreePageIndex::FindPageWithRoom(session, bytes, place);
  }

 protected:
  bool LeavesRoom(uint16_t value, int32_t wanted) const override { return value + wanted < dataSize_ - 2; }

 private:
  int32_t dataSize_;
};

}  // namespace viz
