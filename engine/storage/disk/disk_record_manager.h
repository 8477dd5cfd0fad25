// The record manager of a disk table: stored records in fixed-size slots of record pages
// (small_record_page.h), and the record page index (a TABSBTreeRecordPageIndex) that lists the
// table's record pages in page order with the number of records each holds.
//
// Record address {i32 PageNo, u16 slot}; record number PageNo x R + slot (R records per page); the
// bound of record numbers is (highest record page + 1) x R, or 1 without record pages.
//
// Invariants (checked by vizcheck):
//   1. Every record page of the table is in the index exactly once, with its record count.
//   2. No page in the index is empty: the page that loses its last record leaves the index and is
//      freed when the session commits.
//   3. RecordCount is the sum of the index's counts.
//
// REQUIRES: callers hold the database lock.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/tables/btree/page_index.h"
#include "engine/tables/record_manager.h"

namespace viz {

class TABSDiskTableData;
class TABSPage;
class TABSPageUse;
class TABSSmallRecordPage;

class TABSDiskRecordManager : public TABSBaseRecordManager {
 public:
  //! The record manager of `table` for stored records of `storedRecordSize` bytes. Raises "Cannot
  //! create table. Record is too large to fit in current database page..." (20174) when not one
  //! record fits into a page.
  TABSDiskRecordManager(TABSDiskTableData& table, int32_t storedRecordSize);
  ~TABSDiskRecordManager() override;

  // Slots in order.
  //! Frees every record page and empties the record page index.
  void Empty(int32_t session) override;
  //! Stores the record in the first free slot of a page with room (a new page when none has).
  TABSRecordAddress Insert(int32_t session, const uint8_t* record) override;
  bool Update(int32_t session, const uint8_t* record, const TABSRecordAddress& address) override;
  bool Delete(int32_t session, const TABSRecordAddress& address) override;
  void Navigate(int32_t session, TABSNavigationRecord& navigation) override;
  //! Whether a read of the record at `address` (direction current) would find it on a page whose
  //! content still has `serial`: the record then reads as it did when the serial was reported.
  bool ReadsAsBefore(int32_t session, const TABSRecordAddress& address, uint64_t serial);
  //! Whether reads report the page serial of the record found (off by default: only a table with
  //! BLOB fields reads its records again, before each BLOB read, and so gains from a noted read).
  void ReportPageSerials(bool on) { reportSerials_ = on; }
  int CompareAddresses(const TABSRecordAddress& a, const TABSRecordAddress& b) override;
  //! The record count div 2, whatever the record.
  int64_t ApproximateOrdinal(int32_t session, const TABSRecordAddress& address) override;

  //! Makes an empty record page index (at table creation).
  void CreatePageIndex(int32_t session);
  //! Uses the record page index whose root is `rootPage` (from the table's metadata).
  void OpenPageIndex(int32_t rootPage);
  int32_t PageIndexRoot() const;
  TABSBTreeRecordPageIndex& PageIndex();
  //! Frees every record page and the record page index itself (the table is deleted).
  void DropPages(int32_t session);

  //! The position (from 1) of a record in storage order, from the index's counts and one page's
  //! bitmap; -1 when no record is there.
  int64_t Ordinal(int32_t session, const TABSRecordAddress& address);
  //! The record at position `ordinal` (from 1) in storage order. Raises "Record not found" (20146)
  //! when there are fewer records.
  TABSRecordAddress AddressOfOrdinal(int32_t session, int64_t ordinal);
  int64_t RecordNumberBound(int32_t session);
  int64_t AddressToRecordNumber(const TABSRecordAddress& address) const;
  TABSRecordAddress RecordNumberToAddress(int64_t recordNumber) const;

  int32_t RecordsPerPage() const { return recordsPerPage_; }
  int32_t StoredRecordSize() const { return storedRecordSize_; }
  //! Forgets the page that inserts try first (another process may have filled it).
  void ForgetInsertPage() {
    insertPage_ = -1;
    insertPlace_ = {};
  }

  //! Whether `page` is a record page of this table: always with lenient reading or in a file older
  //! than 2.99; otherwise its update counter is at most 2147483645, its type is 10 and it carries
  //! the table's id.
  bool IsTablePage(const TABSPage& page) const;

 private:
  // Takes page `pageNo` for the session; errors of the page manager are raised naming the page.
  TABSPage* FetchPage(int32_t session, int32_t pageNo);
  // Takes a page that must be a record page of this table (it is in the index): raises a
  // damaged-page error otherwise.
  TABSPage* FetchTablePage(int32_t session, int32_t pageNo);
  // A page with a free slot: the page of the last insert or delete when it has room, else the
  // index's finder; -1 when none.
  int32_t PageWithFreeSlot(int32_t session);
  // Copies the record in slot `slot` of a held page to the navigation's target; found.
  void Found(TABSNavigationRecord& navigation, const TABSSmallRecordPage& page, int32_t pageNo, int32_t slot);
  // Next (forward) or prior record from the pages after (before) `pageNo` in the index.
  void StepPages(int32_t session, TABSNavigationRecord& navigation, int32_t pageNo, bool forward);
  [[noreturn]] void Damaged(int32_t pageNo, const std::string& what) const;

  TABSDiskTableData& table_;
  int32_t storedRecordSize_;
  int32_t recordsPerPage_;
  std::unique_ptr<TABSBTreeRecordPageIndex> pageIndex_;
  // Whether pages are checked for their owner (files older than 2.99 carry none).
  bool ownedPages_ = true;
  bool reportSerials_ = false;
  // The page of the last insert or delete, tried first by the next insert, and its record count;
  // -1 for none. Forgotten whenever another view of the table may have changed the page.
  int32_t insertPage_ = -1;
  int32_t insertPageCount_ = 0;
  // Where the index holds the count of the page inserts go to: updated without a search while no
  // entry moved (the index checks that before it uses the place).
  TABSBTreePageIndex::Place insertPlace_;
};

}  // namespace viz
