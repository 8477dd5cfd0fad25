// The B+-tree shared by record indexes and page indexes: descent, positioning, stepping, insertion
// with splits and deletion with merges, over the pages of one page manager for one session at a time.
//
// Invariants (checked by TABSBTreeChecker):
//   1. Entries of a leaf are in index order; across leaves too, following the next links.
//   2. For a node entry i > 0 with key s_i: every key under child i-1 orders at or before s_i, every
//      key under child i at or after it. Equal keys may sit on both sides; entries with equal keys
//      are ordered by record address, and a tie on s_i is settled by the first entry under child i.
//   3. Every level is one chain of prior/next links; the root is the only page without a parent.
//   4. Pages other than the root hold at least one entry; a root node holds at least two.
//   5. The root page never changes its number.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/tables/btree/btree_key.h"
#include "engine/tables/btree/btree_page.h"
#include "engine/tables/btree/key_path.h"
#include "engine/tables/record_layout.h"

namespace viz {

class TABSPageManager;

//! What a descent looks for: a stored key over some columns, optionally with the record buffer it
//! was built from (truncated text columns need it) and a record address (an exact entry).
struct TABSBTreeProbe {
  const uint8_t* Key = nullptr;
  const uint8_t* Record = nullptr;
  const TABSRecordAddress* Address = nullptr;
  int32_t Columns = 0;
};

//! Reads the records behind entries when truncated keys cannot decide an order.
class TABSBTreeRecordSource {
 public:
  virtual ~TABSBTreeRecordSource() = default;
  //! Returns -1, 0 or 1 as `record` orders before, with or after the record at `address` on
  //! columns [from, columns), by whole values.
  virtual int CompareWithRecord(int32_t session, const uint8_t* record, const TABSRecordAddress& address,
                                int32_t from, int32_t columns) = 0;
  //! As CompareWithRecord for the records at two addresses.
  virtual int CompareRecordsAt(int32_t session, const TABSRecordAddress& a, const TABSRecordAddress& b,
                               int32_t from, int32_t columns) = 0;
  //! Whether the record at `address` exists and its key is `key`.
  virtual bool EntryMatchesRecord(int32_t session, const uint8_t* key, const TABSRecordAddress& address) = 0;
};

class TABSBTree {
 public:
  //! Where a search ends: at the first entry not before the probe, or the first entry after it.
  enum class Bound { Lower, Upper };

  //! `records` may be null for keys that never need the records (page indexes).
  TABSBTree(TABSPageManager& pages, const TABSBTreeKeyRef& keys, TABSBTreeRecordSource* records)
      : pages_(pages), keys_(keys), records_(records) {}

  int32_t RootPage() const { return root_; }
  void SetRootPage(int32_t pageNo) {
    root_ = pageNo;
    kept_.LevelCount = 0;
  }
  TABSPageManager& Pages() const { return pages_; }
  const TABSBTreeKeyRef& Keys() const { return keys_; }
  TABSBTreeRecordSource* Records() const { return records_; }

  // ---- Structure
  //! Takes a new page, makes it an empty root leaf and returns its number (also kept as the root).
  int32_t CreateRoot(int32_t session);
  //! Frees every page below the root and makes the root an empty root leaf.
  void Empty(int32_t session);
  //! Frees every page, the root included; the root becomes -1.
  void Drop(int32_t session);
  //! Maximum entries of a node page: D div (K + 4).
  int32_t FanOut() const;
  //! Whether keys of `keySize` bytes leave room for at least four entries in every page.
  static bool KeySizeFits(int32_t keySize, int32_t referenceSize, int32_t dataSize);

  // ---- Positioning
  //! Descends to the leaf where the bound lies. The path's leaf entry is the bound's position in
  //! that leaf, which may equal the leaf's count (the bound is then the next leaf's first entry).
  //! With `leaf` the leaf page stays held there afterwards.
  void Descend(int32_t session, const TABSBTreeProbe& probe, Bound bound, TABSKeyPath& path,
               TABSBTreePage* leaf = nullptr);
  //! Positions the path on the bound's entry. False when it lies past the last entry. With `leaf`
  //! the path's leaf page stays held there when found.
  bool Seek(int32_t session, const TABSBTreeProbe& probe, Bound bound, TABSKeyPath& path,
            TABSBTreePage* leaf = nullptr);
  //! Positions the path on the probe's exact entry (key and address). False when there is none.
  bool Find(int32_t session, const TABSBTreeProbe& probe, TABSKeyPath& path, TABSBTreePage* leaf = nullptr);
  //! As Find, keeping its descent (the pages taken and their content serials) for the next Insert
  //! of the session, which starts from it instead of descending again when none of those pages
  //! changed and the new entry's place lies in the kept leaf.
  bool FindKeepingDescent(int32_t session, const TABSBTreeProbe& probe, TABSKeyPath& path);
  //! Compares the probe with entry `index` of a held page; in a node a tie is settled by the first
  //! entry under the child when that matters.
  int CompareEntry(int32_t session, const TABSBTreeProbe& probe, const TABSBTreePage& page, int32_t index);
  bool First(int32_t session, TABSKeyPath& path);
  bool Last(int32_t session, TABSKeyPath& path);
  //! Moves to the next / prior entry; false (path unchanged) past the last / before the first.
  bool Next(int32_t session, TABSKeyPath& path);
  bool Prior(int32_t session, TABSKeyPath& path);
  //! Returns -1, 0 or 1 comparing the probe with the entry at the path (records read as needed).
  int CompareAt(int32_t session, const TABSBTreeProbe& probe, const TABSKeyPath& path);
  //! Copies the key of the entry at the path into `key` and returns its leaf page held in `page`.
  void LoadLeaf(int32_t session, const TABSKeyPath& path, TABSBTreePage& page);
  //! Walks the path from the root by entry numbers, filling in pages and counts. False when an
  //! entry number does not exist.
  bool ResolveEntries(int32_t session, TABSKeyPath& path);

  // ---- Changes
  //! Inserts an entry (key then reference) where the probe descends to. The probe must carry the
  //! key's record address when the index can hold equal keys.
  void Insert(int32_t session, const TABSBTreeProbe& probe, const uint8_t* entry);
  //! Removes the probe's exact entry; false when there is none.
  bool Remove(int32_t session, const TABSBTreeProbe& probe);

 private:
  // The first leaf entry (key and reference) under a page.
  void FirstEntryUnder(int32_t session, int32_t pageNo, std::vector<uint8_t>& entry);
  // Leaf position of the bound in a held leaf.
  int32_t LeafPosition(int32_t session, const TABSBTreeProbe& probe, Bound bound, const TABSBTreePage& page);
  // Child entry of a held node to descend into.
  int32_t NodeChild(int32_t session, const TABSBTreeProbe& probe, Bound bound, const TABSBTreePage& page);
  void PushLevel(TABSKeyPath& path, int32_t pageNo, int32_t entry, int32_t count) const;
  // Moves one level of the path onto the neighbour page in the given direction.
  void MoveLevel(int32_t session, TABSKeyPath& path, int32_t level, bool forward);

  // The kept descent's path when every page on it is still the one taken, with the same content,
  // and the probe's lower bound lies inside the kept leaf (or at the outer end of the first or last
  // leaf): then no other place can hold it and a new descent would reach the same path. The leaf
  // stays held in `leaf`. Forgets the kept descent either way.
  bool ResumeKeptDescent(int32_t session, const TABSBTreeProbe& probe, TABSKeyPath& path, TABSBTreePage& leaf);

  // Insertion: puts an entry at `position` of the page at `level`, splitting upwards when full.
  // `held` may hold that page already.
  void InsertAt(int32_t session, TABSKeyPath& path, int32_t level, int32_t position, const uint8_t* entry,
                TABSBTreePage* held = nullptr);
  // Splits: the first `staying` of the `count` entries stay on the left page, the rest go right.
  void SplitRoot(int32_t session, int32_t depth, TABSBTreePage& root, const uint8_t* entries, int32_t count,
                 int32_t staying);
  void SplitPage(int32_t session, TABSKeyPath& path, int32_t level, TABSBTreePage& page,
                 const uint8_t* entries, int32_t count, int32_t staying);

  // Deletion: removes entry `position` of the page at `level` and restores the invariants.
  void RemoveAt(int32_t session, TABSKeyPath& path, int32_t level, int32_t position,
                TABSBTreePage* held = nullptr);
  // Tries to merge the under-filled page at `level` into its prior or next neighbour.
  void Merge(int32_t session, TABSKeyPath& path, int32_t level);
  // Sets the separator that bounds the page at `level` from below (in the nearest ancestor whose
  // path entry is not 0); nothing for a page on the leftmost spine.
  void SetLowerBound(int32_t session, const TABSKeyPath& path, int32_t level, const uint8_t* key);
  // Moves the only child of a root node into the root page, as long as there is one.
  void CollapseRoot(int32_t session);
  // Frees every page below a node page, the page itself when `self`.
  void FreeSubtree(int32_t session, int32_t pageNo, bool self);

  TABSPageManager& pages_;
  const TABSBTreeKeyRef& keys_;
  TABSBTreeRecordSource* records_;
  int32_t root_ = -1;
  // A descent kept by FindKeepingDescent (LevelCount 0: none).
  struct KeptDescent {
    int32_t Session = -1;
    int32_t Root = -1;
    int32_t LevelCount = 0;
    TABSKeyPathLevel Levels[TABSKeyPath::kMaxLevels];
    const TABSPage* Pages[TABSKeyPath::kMaxLevels] = {};
    uint64_t Serials[TABSKeyPath::kMaxLevels] = {};
  };
  KeptDescent kept_;
  // Set while FindKeepingDescent runs: Descend records what it takes in `kept_`.
  bool keeping_ = false;
};

}  // namespace viz
