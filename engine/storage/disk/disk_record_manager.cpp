#include "engine/storage/disk/disk_record_manager.h"

#include <string>

#include "engine/storage/disk/disk_database_data.h"
#include "engine/storage/disk/disk_table_data.h"
#include "engine/storage/disk/page_use.h"
#include "engine/storage/disk/small_record_page.h"
#include "engine/storage/disk_page_manager.h"
#include "engine/storage/file_format.h"
#include "engine/types/errors.h"

namespace viz {

namespace {

// Update counters above this mark pages that were freed or could not be read.
constexpr int32_t kHighestLiveCounter = 2147483645;
// Files older than this carry no owner table id on their record pages.
constexpr double kFirstOwnedPagesVersion = 2.99;

using Result = TABSNavigationRecord::Result;

}  // namespace

TABSDiskRecordManager::TABSDiskRecordManager(TABSDiskTableData& table, int32_t storedRecordSize)
    : TABSBaseRecordManager(&table), table_(table), storedRecordSize_(storedRecordSize) {
  recordsPerPage_ = TABSSmallRecordPage::RecordsPerPage(static_cast<int32_t>(table.Pages().PageDataSize()),
                                                        storedRecordSize);
  if (recordsPerPage_ <= 0) throw EABSException(msg::kRecordTooLarge);
  ownedPages_ = table.Pages().Header().version >= kFirstOwnedPagesVersion;
}

TABSDiskRecordManager::~TABSDiskRecordManager() = default;

void TABSDiskRecordManager::Damaged(int32_t pageNo, const std::string& what) const {
  throw EABSException(msg::kDamagedTablePage, table_.TableName(), pageNo, what);
}

void TABSDiskRecordManager::CreatePageIndex(int32_t session) {
  pageIndex_ = std::make_unique<TABSBTreeRecordPageIndex>(table_.Pages(), -1, recordsPerPage_);
  pageIndex_->Create(session);
  ForgetInsertPage();  // a place in another index object means nothing to this one
}

void TABSDiskRecordManager::OpenPageIndex(int32_t rootPage) {
  pageIndex_ = std::make_unique<TABSBTreeRecordPageIndex>(table_.Pages(), rootPage, recordsPerPage_);
  ForgetInsertPage();
}

int32_t TABSDiskRecordManager::PageIndexRoot() const {
  return pageIndex_ ? pageIndex_->RootPage() : -1;
}

TABSBTreeRecordPageIndex& TABSDiskRecordManager::PageIndex() {
  if (!pageIndex_) throw EABSException(msg::kNilPointer);
  return *pageIndex_;
}

bool TABSDiskRecordManager::IsTablePage(const TABSPage& page) const {
  if (!ownedPages_ || table_.DiskDatabase().LenientRead()) return true;
  return page.GetUpdateCounter() <= kHighestLiveCounter &&
         page.GetPageType() == TABSSmallRecordPage::kPageType &&
         file_format::GetI32(page.Header() + TABSSmallRecordPage::kTableIdOffset) == table_.TableId();
}

TABSPage* TABSDiskRecordManager::FetchPage(int32_t session, int32_t pageNo) {
  TABSDiskPageManager& pages = table_.Pages();
  if (pageNo < 0 || pageNo >= pages.Header().totalPageCount) {
    // The file may have grown in another process since the header was read.
    if (pageNo < 0 || pageNo >= pages.GetTotalPageCount())
      Damaged(pageNo, "the page number lies outside the file");
  }
  try {
    return pages.GetPage(session, pageNo, kAnyPageType);
  } catch (const EABSException& error) {
    Damaged(pageNo, error.Message());
  }
}

TABSPage* TABSDiskRecordManager::FetchTablePage(int32_t session, int32_t pageNo) {
  TABSPage* page = FetchPage(session, pageNo);
  if (!IsTablePage(*page)) {
    table_.Pages().ReleasePage(page);
    Damaged(pageNo, "the record page index lists it, but it is not a record page of the table");
  }
  return page;
}

int32_t TABSDiskRecordManager::PageWithFreeSlot(int32_t session) {
  TABSBTreeRecordPageIndex& index = PageIndex();
  // The finder looks at two leaves of the index only; the page of the last insert or delete is
  // tried first so that a page in between is filled before a new one is taken.
  if (insertPage_ >= 0 && insertPageCount_ < recordsPerPage_) return insertPage_;
  insertPage_ = -1;
  const int32_t pageNo = index.FindPageWithFreeSlot(session, &insertPlace_);
  uint16_t count = 0;
  if (pageNo >= 0 && !index.GetValue(session, pageNo, count, insertPlace_)) return -1;
  insertPageCount_ = count;
  return pageNo;
}

void TABSDiskRecordManager::Empty(int32_t session) {
  TABSBTreeRecordPageIndex& index = PageIndex();
  TABSDiskPageManager& pages = table_.Pages();
  index.ForEachPage(session, [&](int32_t pageNo, uint16_t) {
    pages.RemovePage(session, pageNo);
    return true;
  });
  index.Empty(session);
  RecordCount = 0;
  // The state moves on rather than back to 0, so that a bitmap or temporary index built at an
  // earlier state cannot be taken for current.
  ++StateCounter;
  insertPage_ = -1;
}

TABSRecordAddress TABSDiskRecordManager::Insert(int32_t session, const uint8_t* record) {
  TABSBTreeRecordPageIndex& index = PageIndex();
  TABSDiskPageManager& pages = table_.Pages();
  int32_t pageNo = PageWithFreeSlot(session);
  TABSPageUse held(pages, nullptr);
  if (pageNo < 0) {
    held.Reset(pages.AddPage(session, TABSSmallRecordPage::kPageType));
    pageNo = held->PageNo;
    TABSSmallRecordPage(held.get(), recordsPerPage_, storedRecordSize_).Initialise(table_.TableId());
    index.AddPage(session, pageNo, 0);
    insertPageCount_ = 0;
    insertPlace_ = {};
  } else {
    held.Reset(FetchTablePage(session, pageNo));
  }
  insertPage_ = -1;
  TABSSmallRecordPage page(held.get(), recordsPerPage_, storedRecordSize_);
  const int32_t slot = page.FirstFreeSlot();
  if (slot < 0) throw EABSException(msg::kCannotAddRecordPageFull);
  table_.FieldManager()->RecordBufferToStoredRecord(record, page.Slot(slot));
  page.SetOccupied(slot, true);
  held.Reset(nullptr);
  // The index's count of the page, one more: the page agreed with it (a free slot where it said).
  const int32_t count = insertPageCount_ + 1;
  index.SetRecordCount(session, pageNo, count, insertPlace_);
  ++RecordCount;
  ++StateCounter;
  insertPage_ = pageNo;
  insertPageCount_ = count;
  return {pageNo, static_cast<uint16_t>(slot)};
}

bool TABSDiskRecordManager::Update(int32_t session, const uint8_t* record, const TABSRecordAddress& address) {
  if (address.PageNo < 0 || address.RecordNo >= recordsPerPage_) return false;
  TABSDiskPageManager& pages = table_.Pages();
  TABSPageUse held(pages, FetchPage(session, address.PageNo));
  if (!IsTablePage(*held.get())) return false;
  TABSSmallRecordPage page(held.get(), recordsPerPage_, storedRecordSize_);
  if (!page.IsOccupied(address.RecordNo)) return false;
  table_.FieldManager()->RecordBufferToStoredRecord(record, page.Slot(address.RecordNo));
  page.MarkDirty();
  ++StateCounter;
  return true;
}

bool TABSDiskRecordManager::Delete(int32_t session, const TABSRecordAddress& address) {
  if (address.PageNo < 0 || address.RecordNo >= recordsPerPage_) return false;
  TABSBTreeRecordPageIndex& index = PageIndex();
  TABSDiskPageManager& pages = table_.Pages();
  TABSPageUse held(pages, FetchPage(session, address.PageNo));
  if (!IsTablePage(*held.get())) return false;
  TABSSmallRecordPage page(held.get(), recordsPerPage_, storedRecordSize_);
  if (!page.IsOccupied(address.RecordNo)) return false;
  page.SetOccupied(address.RecordNo, false);
  const int32_t count = page.RecordCount();
  held.Reset(nullptr);
  if (count == 0) {
    // The empty page leaves the index with the page itself, so that no insert or scan finds it again.
    pages.RemovePage(session, address.PageNo);
    index.RemovePage(session, address.PageNo);
    if (insertPage_ == address.PageNo) insertPage_ = -1;
  } else {
    index.SetRecordCount(session, address.PageNo, count);
    insertPage_ = address.PageNo;
    insertPageCount_ = count;
  }
  --RecordCount;
  ++StateCounter;
  return true;
}

void TABSDiskRecordManager::Found(TABSNavigationRecord& navigation, const TABSSmallRecordPage& page,
                                  int32_t pageNo, int32_t slot) {
  navigation.Address = {pageNo, static_cast<uint16_t>(slot)};
  navigation.PageSerial = reportSerials_ ? page.Page()->ContentSerial() : 0;
  if (navigation.Target)
    table_.FieldManager()->StoredRecordToRecordBuffer(page.Slot(slot), navigation.Target);
  navigation.Outcome = TABSNavigationRecord::kFound;
}

void TABSDiskRecordManager::StepPages(int32_t session, TABSNavigationRecord& navigation, int32_t pageNo,
                                      bool forward) {
  TABSBTreeRecordPageIndex& index = PageIndex();
  TABSDiskPageManager& pages = table_.Pages();
  // Pages in the index hold at least one record; one that holds none is damage, not the end.
  for (int32_t next = forward ? index.PageAfter(session, pageNo) : index.PageBefore(session, pageNo);
       next >= 0; next = forward ? index.PageAfter(session, next) : index.PageBefore(session, next)) {
    TABSPageUse held(pages, FetchTablePage(session, next));
    TABSSmallRecordPage page(held.get(), recordsPerPage_, storedRecordSize_);
    const int32_t slot = forward ? page.NextOccupied(-1) : page.PriorOccupied(recordsPerPage_);
    if (slot < 0) throw EABSException(msg::kRecordNotFound.At(forward ? 20143 : 20144));
    Found(navigation, page, next, slot);
    return;
  }
  navigation.Outcome = forward ? TABSNavigationRecord::kAfterLast : TABSNavigationRecord::kBeforeFirst;
}

void TABSDiskRecordManager::Navigate(int32_t session, TABSNavigationRecord& navigation) {
  TABSDiskPageManager& pages = table_.Pages();
  const TABSRecordAddress address = navigation.Address;
  navigation.Outcome = TABSNavigationRecord::kNotFound;
  if (navigation.Direction == TABSNavigationRecord::kCurrent) {
    if (address.PageNo < 0 || address.RecordNo >= recordsPerPage_) return;
    if (address.PageNo >= pages.Header().totalPageCount && address.PageNo >= pages.GetTotalPageCount())
      return;
    TABSPageUse held(pages, FetchPage(session, address.PageNo));
    if (!IsTablePage(*held.get())) return;
    TABSSmallRecordPage page(held.get(), recordsPerPage_, storedRecordSize_);
    if (page.IsOccupied(address.RecordNo)) Found(navigation, page, address.PageNo, address.RecordNo);
    return;
  }
  const bool forward = navigation.Direction == TABSNavigationRecord::kNext;
  if (RecordCount <= 0 && PageIndex().FirstPage(session) < 0) {
    navigation.Outcome = TABSNavigationRecord::kAfterLast;
    return;
  }
  if (navigation.FromBeginning || navigation.FromEnd) {
    if (forward == navigation.FromEnd) {
      navigation.Outcome = forward ? TABSNavigationRecord::kAfterLast : TABSNavigationRecord::kBeforeFirst;
      return;
    }
    StepPages(session, navigation, forward ? -1 : INT32_MAX, forward);
    return;
  }
  // Within the current page, as long as it is still one of the table's record pages; otherwise on
  // the pages after (before) it, even when it has left the table.
  if (address.PageNo >= 0 && address.PageNo < pages.Header().totalPageCount) {
    TABSPageUse held(pages, FetchPage(session, address.PageNo));
    if (IsTablePage(*held.get())) {
      TABSSmallRecordPage page(held.get(), recordsPerPage_, storedRecordSize_);
      const int32_t slot =
          forward ? page.NextOccupied(address.RecordNo) : page.PriorOccupied(address.RecordNo);
      if (slot >= 0) {
        Found(navigation, page, address.PageNo, slot);
        return;
      }
    }
  }
  StepPages(session, navigation, address.PageNo, forward);
}

bool TABSDiskRecordManager::ReadsAsBefore(int32_t session, const TABSRecordAddress& address, uint64_t serial) {
  // The tests of a read of the current record, in its order; the page is fetched as the read
  // fetches it, so that another session's copy or another process's commit shows as a new serial.
  TABSDiskPageManager& pages = table_.Pages();
  if (serial == 0 || address.PageNo < 0 || address.RecordNo >= recordsPerPage_) return false;
  if (address.PageNo >= pages.Header().totalPageCount && address.PageNo >= pages.GetTotalPageCount())
    return false;
  TABSPageUse held(pages, FetchPage(session, address.PageNo));
  if (held->ContentSerial() != serial || !IsTablePage(*held.get())) return false;
  return TABSSmallRecordPage(held.get(), recordsPerPage_, storedRecordSize_).IsOccupied(address.RecordNo);
}

int TABSDiskRecordManager::CompareAddresses(const TABSRecordAddress& a, const TABSRecordAddress& b) {
  if (a.PageNo != b.PageNo) return a.PageNo > b.PageNo ? 1 : -1;
  if (a.RecordNo != b.RecordNo) return a.RecordNo > b.RecordNo ? 1 : -1;
  return 0;
}

int64_t TABSDiskRecordManager::ApproximateOrdinal(int32_t /*session*/, const TABSRecordAddress& /*address*/) {
  return RecordCount / 2;
}

void TABSDiskRecordManager::DropPages(int32_t session) {
  TABSBTreeRecordPageIndex& index = PageIndex();
  TABSDiskPageManager& pages = table_.Pages();
  index.ForEachPage(session, [&](int32_t pageNo, uint16_t) {
    pages.RemovePage(session, pageNo);
    return true;
  });
  index.Drop(session);
  pageIndex_.reset();
  RecordCount = 0;
  ForgetInsertPage();
}

int64_t TABSDiskRecordManager::Ordinal(int32_t session, const TABSRecordAddress& address) {
  int64_t before = 0;
  bool listed = false;
  PageIndex().ForEachPage(session, [&](int32_t pageNo, uint16_t count) {
    if (pageNo == address.PageNo) {
      listed = true;
      return false;
    }
    before += count;
    return pageNo < address.PageNo;
  });
  if (!listed || address.RecordNo >= recordsPerPage_) return -1;
  TABSPageUse held(table_.Pages(), FetchTablePage(session, address.PageNo));
  TABSSmallRecordPage page(held.get(), recordsPerPage_, storedRecordSize_);
  if (!page.IsOccupied(address.RecordNo)) return -1;
  return before + page.OccupiedBefore(address.RecordNo) + 1;
}

TABSRecordAddress TABSDiskRecordManager::AddressOfOrdinal(int32_t session, int64_t ordinal) {
  int64_t before = 0;
  int32_t found = -1;
  PageIndex().ForEachPage(session, [&](int32_t pageNo, uint16_t count) {
    if (ordinal <= before + count) {
      found = pageNo;
      return false;
    }
    before += count;
    return true;
  });
  if (found < 0 || ordinal < 1) throw EABSException(msg::kRecordNotFound.At(20146));
  TABSPageUse held(table_.Pages(), FetchTablePage(session, found));
  TABSSmallRecordPage page(held.get(), recordsPerPage_, storedRecordSize_);
  const int32_t slot = page.NthOccupied(static_cast<int32_t>(ordinal - before));
  if (slot < 0) throw EABSException(msg::kRecordNotFound.At(20146));
  return {found, static_cast<uint16_t>(slot)};
}

int64_t TABSDiskRecordManager::RecordNumberBound(int32_t session) {
  const int32_t last = PageIndex().LastPage(session);
  return last < 0 ? 1 : (static_cast<int64_t>(last) + 1) * recordsPerPage_;
}

int64_t TABSDiskRecordManager::AddressToRecordNumber(const TABSRecordAddress& address) const {
  return static_cast<int64_t>(address.PageNo) * recordsPerPage_ + address.RecordNo;
}

TABSRecordAddress TABSDiskRecordManager::RecordNumberToAddress(int64_t recordNumber) const {
  return {static_cast<int32_t>(recordNumber / recordsPerPage_),
          static_cast<uint16_t>(recordNumber % recordsPerPage_)};
}

}  // namespace viz
