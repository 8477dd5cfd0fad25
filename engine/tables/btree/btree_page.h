// One page of a B-tree (page type 12). The tree's data begins at the page's data area (D bytes):
//
//   offset | width | field
//   -------+-------+-----------------------------------------------------------------------
//   0      | u8    | root: 1 on the root page
//   1      | u8    | leaf: 1 on a leaf page, 0 on a node page
//   2      | i32   | prior page on the same level, -1 when none
//   6      | i32   | next page on the same level, -1 when none
//   10     | u8    | format: 1 (set on the first root, copied into every page split off it)
//   11     | u8    | address in nodes: 0; otherwise every entry is 6 bytes longer
//   12     | u16   | key size K
//   14     | u16   | entry count
//   16     | u16   | header extension: extra bytes before the first entry (0)
//   18     |       | entries: entry i at 18 + extension + i * E
//
// An entry is the key followed by its reference: in a leaf the record address (6 bytes: i32, u16) of
// a record index or a u16 value of a page index; in a node the child's page number (i32). E = K + the
// reference size (+ 6 with byte 11 set). Node entry 0's key is all zero and never compared: entry 0
// covers every key below entry 1's key.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/storage/VIZPage.h"
#include "engine/tables/record_layout.h"

namespace viz {

class TABSBTreeKeyRef;
class TABSBTreePage;

//! The leaf or node form of the operations that differ between the two kinds of page.
class TABSBTreePageController {
 public:
  virtual ~TABSBTreePageController() = default;
  //! Bytes of the reference that follows each key.
  virtual int32_t ReferenceSize(const TABSBTreePage& page) const = 0;
  //! The first entry a search compares with: 0 in leaves, 1 in nodes.
  virtual int32_t FirstSearchedEntry() const = 0;
};

class TABSBTreeLeafController : public TABSBTreePageController {
 public:
  int32_t ReferenceSize(const TABSBTreePage& page) const override;
  int32_t FirstSearchedEntry() const override { return 0; }
};

class TABSBTreeNodeController : public TABSBTreePageController {
 public:
  static constexpr int32_t kChildSize = 4;
  int32_t ReferenceSize(const TABSBTreePage&) const override { return kChildSize; }
  int32_t FirstSearchedEntry() const override { return 1; }
};

//! Holds one use of an index page of a page manager and reads and changes its entries. Releases
//! the page when destroyed, also on an exception.
class TABSBTreePage : public TABSPageController {
 public:
  static constexpr int32_t kHeaderSize = 18;
  static constexpr uint16_t kPageType = 12;
  //! Extra bytes of every entry when byte 11 is set.
  static constexpr int32_t kNodeAddressSize = 6;

  TABSBTreePage(TABSPageManager& pages, const TABSBTreeKeyRef& keys) : pages_(&pages), keys_(&keys) {}
  TABSBTreePage(TABSBTreePage&& other) noexcept;
  TABSBTreePage& operator=(TABSBTreePage&& other) noexcept;
  TABSBTreePage(const TABSBTreePage&) = delete;
  TABSBTreePage& operator=(const TABSBTreePage&) = delete;
  ~TABSBTreePage() override { Release(); }

  //! Takes page `pageNo` for the session (the previous one is released first).
  void Load(int32_t session, int32_t pageNo);
  //! Takes a new page for the session and gives it the new-page header (everything 0, links -1).
  void Add(int32_t session);
  void Release();
  bool Loaded() const { return page_ != nullptr; }

  // Header.
  bool IsRoot() const { return Data()[0] != 0; }
  void SetRoot(bool value) {
    Data()[0] = value ? 1 : 0;
    MarkDirty();
  }
  bool IsLeaf() const { return Data()[1] != 0; }
  void SetLeaf(bool value) {
    Data()[1] = value ? 1 : 0;
    RefreshLayout();
    MarkDirty();
  }
  int32_t PriorPage() const { return LoadI32(2); }
  void SetPriorPage(int32_t pageNo) {
    StoreI32(2, pageNo);
    MarkDirty();
  }
  int32_t NextPage() const { return LoadI32(6); }
  void SetNextPage(int32_t pageNo) {
    StoreI32(6, pageNo);
    MarkDirty();
  }
  uint8_t Format() const { return Data()[10]; }
  bool AddressInNodes() const { return Data()[11] != 0; }
  uint16_t KeySize() const { return LoadU16(12); }
  int32_t Count() const { return LoadU16(14); }
  void SetCount(int32_t count) {
    StoreU16(14, static_cast<uint16_t>(count));
    MarkDirty();
  }
  uint16_t HeaderExtension() const { return LoadU16(16); }
  //! Makes the page an empty root leaf of the index's key size, format 1.
  void InitRoot();
  //! Copies root, leaf, format, byte 11, key size and extension from `other`; links -1, count 0.
  void InitLike(const TABSBTreePage& other);

  //! The controller of the page's kind.
  const TABSBTreePageController& Controller() const {
    return IsLeaf() ? static_cast<const TABSBTreePageController&>(leaf_) : node_;
  }
  int32_t EntrySize() const { return entrySize_; }
  //! Recomputes the entry size after the header was written directly.
  void RefreshLayout();
  //! Largest entry count that still fits in the page.
  int32_t Capacity() const;
  bool HasRoomForOne() const { return Count() < Capacity(); }
  //! count * E < (D - 18 - extension) / 2.
  bool IsUnderFilled() const;
  //! Whether this page's entries and `otherCount` more fit into one page. A page without entries
  //! always merges: it only has to leave its level.
  bool CanMergeWith(int32_t otherCount) const;

  // Entries.
  uint8_t* Entry(int32_t index) const { return EntriesStart() + static_cast<ptrdiff_t>(index) * EntrySize(); }
  uint8_t* Key(int32_t index) const { return Entry(index); }
  uint8_t* Reference(int32_t index) const { return Entry(index) + KeySize(); }
  //! The child of a node entry. Raises 20020 "Internal index error" on a leaf.
  int32_t Child(int32_t index) const {
    if (IsLeaf()) ThrowNotNode();
    CheckEntry(index);
    int32_t child;
    std::memcpy(&child, Reference(index), sizeof child);
    return child;
  }
  void SetChild(int32_t index, int32_t pageNo);
  //! The record address of a leaf entry of a record index. Raises 20024 on a node.
  TABSRecordAddress Address(int32_t index) const {
    if (!IsLeaf()) ThrowNotLeaf();
    CheckEntry(index);
    const uint8_t* reference = Reference(index);
    TABSRecordAddress address;
    std::memcpy(&address.PageNo, reference, 4);
    std::memcpy(&address.RecordNo, reference + 4, 2);
    return address;
  }
  //! The value of a leaf entry of a page index.
  uint16_t Value(int32_t index) const;
  void SetValue(int32_t index, uint16_t value);

  //! Inserts `count` entries of this page's size from `entries` before entry `index`.
  //! REQUIRES: they fit.
  void InsertEntries(int32_t index, const uint8_t* entries, int32_t count);
  //! Removes `count` entries from `index` on. Raises 20025 "Index error: page is empty" on an empty page.
  void RemoveEntries(int32_t index, int32_t count);
  //! Replaces the key of entry `index`.
  void SetKey(int32_t index, const uint8_t* key);
  void ZeroKey(int32_t index);

  //! The page's data area and its size D (cached while the page is held).
  uint8_t* Data() const { return data_; }
  int32_t DataSize() const { return dataSize_; }
  void MarkDirty() { page_->MarkDirty(); }

  TABSPageManager& Pages() const { return *pages_; }
  const TABSBTreeKeyRef& Keys() const { return *keys_; }
  int32_t PageNo() const { return page_ ? page_->PageNo : -1; }

 private:
  uint8_t* EntriesStart() const { return Data() + kHeaderSize + HeaderExtension(); }
  // Raises "Index page %d is damaged" for an entry the page does not hold.
  void CheckEntry(int32_t index) const {
    if (index < 0 || index >= Count()) ThrowNoEntry(index);
  }
  [[noreturn]] void ThrowNoEntry(int32_t index) const;
  [[noreturn]] static void ThrowNotNode();
  [[noreturn]] static void ThrowNotLeaf();
  int32_t LoadI32(int offset) const {
    int32_t value;
    std::memcpy(&value, data_ + offset, sizeof value);
    return value;
  }
  void StoreI32(int offset, int32_t value) { std::memcpy(data_ + offset, &value, sizeof value); }
  uint16_t LoadU16(int offset) const {
    uint16_t value;
    std::memcpy(&value, data_ + offset, sizeof value);
    return value;
  }
  void StoreU16(int offset, uint16_t value) { std::memcpy(data_ + offset, &value, sizeof value); }

  TABSPageManager* pages_;
  const TABSBTreeKeyRef* keys_;
  uint8_t* data_ = nullptr;
  int32_t dataSize_ = 0;
  int32_t entrySize_ = 0;
  TABSBTreeLeafController leaf_;
  TABSBTreeNodeController node_;
};

}  // namespace viz
