// The BLOB storage of a disk table: stored values in BLOB pages (small_blob_page.h), the BLOB page
// index of pages with room for small values, and the cache of values cursors read or write.
//
// In a record buffer a BLOB field's 10 bytes are its address {i32 PageNo, u16 slot} and a 4-byte
// handle of its cache entry; the stored record keeps the address only. PageNo 0 or -1: nothing is
// stored. Slot 65535: a large value starting at PageNo; any other slot: the id of a small value in
// page PageNo (slot 255 may be either; its page decides).
//
// A value is small when its stored size + 24 < D (D = page data size), large otherwise. A large
// value's pages:
//
//   first page, data offset 0   | 22 bytes | stored value header (small_blob_page.h), id 0
//               data offset 22  | 10 bytes | page-list locator: i32 PageNo, u16 offset, i32 count
//               data offset 32  |          | the value's first D - 32 bytes
//   further data pages          |          | the next bytes from offset 0, D per page
//   page list                   | 4 x count| i32 numbers of the data pages in order (the first one
//                               |          | included), right after the value's last byte; it goes
//                               |          | on in new pages linked by NextPageNo, and starts in a new
//                               |          | page when the last data page is exactly full
//
// Invariants (checked by vizcheck):
//   1. Every small-value page is in the BLOB page index with the bytes its values take (headers
//      included, the count not); pages of large values are not in the index.
//   2. No page in the index is empty: the page that loses its last value leaves the index.
//   3. Every stored value belongs to exactly one field of one record.
//
// REQUIRES: callers hold the database lock.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "engine/storage/disk/small_blob_page.h"
#include "engine/tables/blob_value.h"
#include "engine/tables/btree/page_index.h"
#include "engine/tables/record_layout.h"

namespace viz {

class TABSDiskTableData;
class TABSPageUse;
class TABSFieldDef;
class TABSPage;

class TABSDiskBlobManager {
 public:
  static constexpr int32_t kLocatorOffset = 22;
  static constexpr int32_t kLocatorSize = 10;
  static constexpr int32_t kLargeDataOffset = 32;
  static constexpr uint16_t kLargeSlot = 65535;
  //! The slot that may name either a small or a large value.
  static constexpr uint16_t kAmbiguousSlot = 255;

  //! Where a large value's pages are, as its first page and its page list say.
  struct LargeValue {
    int32_t BlockCount = 0;
    int64_t StoredSize = 0;
    int64_t UncompressedSize = 0;
    int32_t ListPage = -1;
    uint16_t ListOffset = 0;
    //! The data pages in order, the first page included.
    std::vector<int32_t> DataPages;
    //! The pages the page list runs through, in order.
    std::vector<int32_t> ListPages;
  };

  explicit TABSDiskBlobManager(TABSDiskTableData& table);
  TABSDiskBlobManager(const TABSDiskBlobManager&) = delete;
  TABSDiskBlobManager& operator=(const TABSDiskBlobManager&) = delete;
  ~TABSDiskBlobManager();

  //! Makes an empty BLOB page index (at table creation).
  void CreatePageIndex(int32_t session);
  //! Uses the BLOB page index whose root is `rootPage` (-1: the table has none).
  void OpenPageIndex(int32_t rootPage);
  int32_t PageIndexRoot() const;
  //! Null for a table without a BLOB page index.
  TABSBTreeBlobPageIndex* PageIndex() const { return pageIndex_.get(); }

  //! Whether a value of that stored size is kept with others in a shared page.
  bool IsSmall(int64_t storedSize) const;

  //! Stores a value (stored size above 0) and returns its address. Raises "Cannot add blob. Page is
  //! full: ..." (20290) before writing anything when a small value does not fit the page the index
  //! offered, "Invalid blob field ID" (20172) when the page has no id left.
  TABSRecordAddress Store(int32_t session, const TABSBlobValue& value);
  //! Reads the stored value at `address`. Raises "Cannot find blob field" (20171) when the page holds
  //! no value of that id, and a damaged-page error naming the page for pages that do not hold what
  //! the address or the value's own header says.
  TABSBlobValue Load(int32_t session, const TABSRecordAddress& address, bool disableTempFiles);
  //! Frees the value's room; the address becomes {-1, 65535}.
  void Delete(int32_t session, TABSRecordAddress& address);
  //! The pages of the large value that starts at `firstPage`, checked against its header.
  LargeValue ReadLarge(int32_t session, int32_t firstPage);
  //! Whether the value at a slot-255 address is a large one (its page's locator fits its size).
  bool LooksLarge(int32_t session, int32_t pageNo);

  // Record buffers.
  static TABSRecordAddress AddressOf(const TABSFieldDef& field, const uint8_t* record);
  static void SetAddress(const TABSFieldDef& field, uint8_t* record, const TABSRecordAddress& address);
  //! Whether an address names a stored value (PageNo neither 0 nor -1).
  static bool IsStored(const TABSRecordAddress& address) {
    return address.PageNo != 0 && address.PageNo != -1;
  }

  //! Before the record is inserted (`old` null) or updated (`old`: the record as stored): stores the
  //! values cursors wrote into its fields, deleting the values they replace, and writes their
  //! addresses into `record`. A field nobody wrote keeps the stored record's value (an update) or
  //! gets a copy of the value it refers to (an insert), and a field set NULL loses its stored value.
  //! The written values stay cached until `ForgetStored` is called after the record was written.
  void StoreRecordValues(int32_t session, uint8_t* record, const uint8_t* old, bool disableTempFiles);
  //! Drops the cached values of a record whose values were stored.
  void ForgetStored(const uint8_t* record);
  //! Deletes the stored values of a record (as stored) that is deleted.
  void DeleteRecordValues(int32_t session, const uint8_t* record);
  //! The value of field `field` of a record buffer: empty for a NULL field or one without a stored
  //! value, otherwise the cached value, read into the cache first. Raises "Stream block size = 0 is
  //! not allowed" (20149), "Invalid blob field size" (20248) and "Cannot read BLOB field value"
  //! (20162). With `keep` false a value that is not cached is returned as loaded and not cached
  //! (for a read-only stream, which owns its copy and is opened on a record read again).
  TABSBlobValue ReadValue(int32_t session, uint8_t* record, int32_t field, bool disableTempFiles,
                          bool keep = true);
  //! Reads the value of field `field` of a record buffer into `bytes` as a read-only stream on it
  //! (TABSDiskTableData::OpenBlobStream) would give it, with the same errors, when it is a small
  //! stored value that is not cached: it is decoded straight from its page, without the streams and
  //! the copies of its stored bytes. Returns false, having done nothing, for any other value (NULL, not
  //! stored, cached, large, in the ambiguous slot, or of a field without a block size).
  bool ReadSmallValue(int32_t session, const uint8_t* record, int32_t field, std::string& bytes);
  //! Caches a value a cursor wrote into a field (replacing what the field had cached); an empty value
  //! sets the field's null flag.
  void PutValue(uint8_t* record, int32_t field, TABSBlobValue value);
  //! Drops a field's cached value; one a cursor wrote is kept unless `force`.
  void DropEntry(const uint8_t* record, int32_t field, bool force);
  //! DropEntry for every field of the record buffer.
  void DropRecord(const uint8_t* record, bool force);
  //! Number of cached values.
  size_t CachedCount() const { return cache_.size(); }

  //! Frees every stored value of the table and empties the BLOB page index (`drop`: frees the index's
  //! pages too).
  void DeleteAll(int32_t session, bool drop);

 private:
  struct CacheEntry {
    uint32_t Handle = 0;
    bool Modified = false;
    TABSBlobValue Value;
  };
  using CacheKey = std::pair<const uint8_t*, int32_t>;

  TABSRecordAddress StoreSmall(int32_t session, const TABSBlobValue& value);
  TABSRecordAddress StoreLarge(int32_t session, const TABSBlobValue& value);
  // The entry of a small value in its page, which `held` then holds. Raises as Load does.
  TABSSmallBlobPage::Entry FindSmall(int32_t session, const TABSRecordAddress& address, TABSPageUse& held);
  TABSBlobValue LoadSmall(int32_t session, const TABSRecordAddress& address, bool disableTempFiles);
  // Raises the current error of loading the value stored at `pageNo` again as damage of that page.
  [[noreturn]] void RethrowLoadError(int32_t pageNo) const;
  // Raises damage of the page for a loaded value with a negative block count or size.
  void CheckLoadedSizes(int32_t pageNo, int32_t blockCount, int64_t uncompressedSize) const;
  TABSBlobValue LoadLarge(int32_t session, int32_t firstPage, bool disableTempFiles);
  void DeleteSmall(int32_t session, const TABSRecordAddress& address);
  void DeleteLarge(int32_t session, int32_t firstPage);
  // Takes a BLOB page for the session; errors are raised naming the page.
  TABSPage* FetchPage(int32_t session, int32_t pageNo);
  TABSBTreeBlobPageIndex& Index();
  const TABSFieldDef& BlobField(int32_t field) const;
  // The entry cached for a field of a record buffer, or null.
  CacheEntry* Cached(const uint8_t* record, int32_t field);
  // A copy of a value (its stored bytes in a new stream).
  static TABSBlobValue CopyOf(const TABSBlobValue& value, bool disableTempFiles);
  [[noreturn]] void Damaged(int32_t pageNo, const std::string& what) const;

  TABSDiskTableData& table_;
  std::unique_ptr<TABSBTreeBlobPageIndex> pageIndex_;
  std::map<CacheKey, CacheEntry> cache_;
  uint32_t nextHandle_ = 1;
  // The small-value page read last: a scan reads its values one after another.
  TABSSmallBlobDirectory directory_;
  // The small-value page stored into last, while its content serial is the one the store left and
  // every id on it is below its count: the bytes it uses, so that filling a page value by value
  // walks its headers once instead of once per value (with every id below the count, the id a new
  // value gets is the count, and that keeps every id below the new count).
  struct SmallFill {
    const TABSPage* page = nullptr;
    uint64_t serial = 0;
    int32_t used = 0;
  };
  SmallFill lastFill_;
};

}  // namespace viz
