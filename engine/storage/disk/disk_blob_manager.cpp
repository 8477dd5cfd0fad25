#include "engine/storage/disk/disk_blob_manager.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "engine/storage/disk/disk_record_manager.h"
#include "engine/storage/disk/disk_table_data.h"
#include "engine/storage/disk/page_use.h"
#include "engine/storage/disk/small_blob_page.h"
#include "engine/storage/disk_page_manager.h"
#include "engine/storage/file_format.h"
#include "engine/storage/memory_manager.h"
#include "engine/tables/btree/btree_key.h"
#include "engine/types/errors.h"

namespace viz {

using namespace file_format;

namespace {

// Native codes of the stream transfers between a value's bytes and its pages.
constexpr int32_t kValueToPageCode = 20365;
constexpr int32_t kPageToValueCode = 20366;
constexpr int32_t kCopyValueCode = 20367;
constexpr TABSRecordAddress kNoValue{-1, TABSDiskBlobManager::kLargeSlot};

// Moves `count` bytes of a value's stream into a page.
void ReadValueBytes(TABSStream& data, uint8_t* target, int64_t count) {
  if (count > 0) ExactRead(target, count, data, kValueToPageCode);
}

}  // namespace

TABSDiskBlobManager::TABSDiskBlobManager(TABSDiskTableData& table) : table_(table) {}

TABSDiskBlobManager::~TABSDiskBlobManager() = default;

void TABSDiskBlobManager::Damaged(int32_t pageNo, const std::string& what) const {
  throw EABSException(msg::kDamagedTablePage, table_.TableName(), pageNo, what);
}

void TABSDiskBlobManager::CreatePageIndex(int32_t session) {
  pageIndex_ = std::make_unique<TABSBTreeBlobPageIndex>(table_.Pages(), -1);
  pageIndex_->Create(session);
}

void TABSDiskBlobManager::OpenPageIndex(int32_t rootPage) {
  if (rootPage < 0) {
    pageIndex_.reset();
    return;
  }
  pageIndex_ = std::make_unique<TABSBTreeBlobPageIndex>(table_.Pages(), rootPage);
}

int32_t TABSDiskBlobManager::PageIndexRoot() const {
  return pageIndex_ ? pageIndex_->RootPage() : -1;
}

TABSBTreeBlobPageIndex& TABSDiskBlobManager::Index() {
  if (!pageIndex_) throw EABSException(msg::kNilPointer);
  return *pageIndex_;
}

bool TABSDiskBlobManager::IsSmall(int64_t storedSize) const {
  return storedSize + 24 < static_cast<int64_t>(table_.Pages().PageDataSize());
}

const TABSFieldDef& TABSDiskBlobManager::BlobField(int32_t field) const {
  const TABSFieldDefs& fields = table_.FieldManager()->FieldDefs();
  if (field < 0 || field >= fields.Count() || !IsBlobBaseType(fields[field].BaseType()))
    throw EABSException(msg::kInvalidFieldNumber.At(10118), field, fields.Count());
  return fields[field];
}

TABSPage* TABSDiskBlobManager::FetchPage(int32_t session, int32_t pageNo) {
  TABSDiskPageManager& pages = table_.Pages();
  if (pageNo < 0 || (pageNo >= pages.Header().totalPageCount && pageNo >= pages.GetTotalPageCount()))
    Damaged(pageNo, "a BLOB address or page list names a page outside the file");
  try {
    return pages.GetPage(session, pageNo, TABSSmallBlobPage::kPageType);
  } catch (const EABSException& error) {
    Damaged(pageNo, error.Message());
  }
}

TABSRecordAddress TABSDiskBlobManager::AddressOf(const TABSFieldDef& field, const uint8_t* record) {
  TABSRecordAddress address;
  std::memcpy(&address.PageNo, record + field.BufferOffset, 4);
  std::memcpy(&address.RecordNo, record + field.BufferOffset + 4, 2);
  return address;
}

void TABSDiskBlobManager::SetAddress(const TABSFieldDef& field, uint8_t* record,
                                     const TABSRecordAddress& address) {
  std::memcpy(record + field.BufferOffset, &address.PageNo, 4);
  std::memcpy(record + field.BufferOffset + 4, &address.RecordNo, 2);
}

// ---- Storing

TABSRecordAddress TABSDiskBlobManager::Store(int32_t session, const TABSBlobValue& value) {
  if (!value.Data || value.StoredSize() <= 0) return kNoValue;
  return IsSmall(value.StoredSize()) ? StoreSmall(session, value) : StoreLarge(session, value);
}

TABSRecordAddress TABSDiskBlobManager::StoreSmall(int32_t session, const TABSBlobValue& value) {
  TABSDiskPageManager& pages = table_.Pages();
  TABSBTreeBlobPageIndex& index = Index();
  const int32_t dataSize = static_cast<int32_t>(pages.PageDataSize());
  const int32_t stored = static_cast<int32_t>(value.StoredSize());
  const int32_t needed = stored + TABSStoredBlobHeader::kSize;
  // Where the index lists the page: nothing changes the index before its used bytes are updated.
  TABSBTreePageIndex::Place place;
  int32_t pageNo = index.FindPageWithRoom(session, needed, &place);
  const bool fresh = pageNo < 0;
  TABSPageUse held(pages,
                   fresh ? pages.AddPage(session, TABSSmallBlobPage::kPageType) : FetchPage(session, pageNo));
  TABSSmallBlobPage page(held.get());
  if (fresh) {
    pageNo = held->PageNo;
    page.Initialise();
  }
  int32_t used = 0;
  bool countIdTaken = false;
  bool idsBelowCount = true;
  if (lastFill_.page == held.get() && lastFill_.serial == held->ContentSerial()) {
    used = lastFill_.used;
  } else {
    lastFill_ = {};
    std::string damage;
    if (!page.Measure(used, countIdTaken, &damage, &idsBelowCount)) Damaged(pageNo, damage);
  }
  if (used + needed > dataSize)
    throw EABSException(msg::kCannotAddBlobPageFull, page.Count(), used, needed, dataSize,
                        fresh ? 0 : index.UsedBytes(session, pageNo));
  TABSStoredBlobHeader header;
  // The values of a page are copied only when the id a new value usually gets is taken.
  if (countIdTaken) {
    std::vector<TABSSmallBlobPage::Entry> entries;
    page.Entries(entries);
    header.Id = page.NewId(entries);
  } else {
    header.Id = page.NewId({});
  }
  header.BlockCount = value.BlockCount;
  header.StoredSize = stored;
  header.UncompressedSize = value.UncompressedSize;
  value.Data->Seek(0, TSeekOrigin::Beginning);
  lastFill_ = {};
  ReadValueBytes(*value.Data, page.AppendAt(used, header), stored);
  if (idsBelowCount) lastFill_ = {held.get(), held->ContentSerial(), used + needed};
  held.Reset(nullptr);
  if (fresh)
    index.AddPage(session, pageNo, needed);
  else
    index.ChangeUsedBytes(session, pageNo, needed, &place);
  return {pageNo, header.Id};
}

TABSRecordAddress TABSDiskBlobManager::StoreLarge(int32_t session, const TABSBlobValue& value) {
  TABSDiskPageManager& pages = table_.Pages();
  const int64_t dataSize = pages.PageDataSize();
  const int64_t stored = value.StoredSize();
  TABSStream& data = *value.Data;
  data.Seek(0, TSeekOrigin::Beginning);

  // The data pages are allocated in one pass of the free-space maps, then filled one by one.
  const int32_t dataCount =
      static_cast<int32_t>(1 + (stored - (dataSize - kLargeDataOffset) + dataSize - 1) / dataSize);
  const std::vector<int32_t> dataPages = pages.AddPages(session, TABSSmallBlobPage::kPageType, dataCount);
  TABSStoredBlobHeader header;
  header.BlockCount = value.BlockCount;
  header.StoredSize = stored;
  header.UncompressedSize = value.UncompressedSize;
  int64_t copied = 0;
  int64_t end = 0;  // where the value ends in its last data page
  for (size_t index = 0; index < dataPages.size(); ++index) {
    TABSPageUse page(pages, pages.GetPage(session, dataPages[index], TABSSmallBlobPage::kPageType));
    int64_t offset = 0;
    if (index == 0) {
      header.Encode(page->Data());
      offset = kLargeDataOffset;
    }
    const int64_t count = std::min(dataSize - offset, stored - copied);
    ReadValueBytes(data, page->Data() + offset, count);
    page->MarkDirty();
    copied += count;
    end = offset + count;
  }

  // The page list follows the value's last byte, or starts a page of its own.
  std::vector<uint8_t> list(dataPages.size() * 4);
  for (size_t index = 0; index < dataPages.size(); ++index) PutI32(&list[index * 4], dataPages[index]);
  TABSPageUse current(pages, nullptr);
  int64_t offset = end;
  if (end >= dataSize) {
    current.Reset(pages.AddPage(session, TABSSmallBlobPage::kPageType));
    offset = 0;
  } else {
    current.Reset(pages.GetPage(session, dataPages.back(), TABSSmallBlobPage::kPageType));
  }
  const int32_t listPage = current->PageNo;
  const uint16_t listOffset = static_cast<uint16_t>(offset);
  for (size_t done = 0; done < list.size();) {
    const size_t count = std::min(static_cast<size_t>(dataSize - offset), list.size() - done);
    std::memcpy(current->Data() + offset, &list[done], count);
    current->MarkDirty();
    done += count;
    if (done == list.size()) break;
    TABSPage* next = pages.AddPage(session, TABSSmallBlobPage::kPageType);
    current->SetNextPageNo(next->PageNo);
    current.Reset(next);
    offset = 0;
  }
  current.Reset(pages.GetPage(session, dataPages.front(), TABSSmallBlobPage::kPageType));
  uint8_t* locator = current->Data() + kLocatorOffset;
  PutI32(locator, listPage);
  PutU16(locator + 4, listOffset);
  PutI32(locator + 6, static_cast<int32_t>(dataPages.size()));
  current->MarkDirty();
  return {dataPages.front(), kLargeSlot};
}

// ---- Reading

TABSDiskBlobManager::LargeValue TABSDiskBlobManager::ReadLarge(int32_t session, int32_t firstPage) {
  TABSDiskPageManager& pages = table_.Pages();
  const int64_t dataSize = pages.PageDataSize();
  LargeValue value;
  int32_t count = 0;
  {
    TABSPageUse first(pages, FetchPage(session, firstPage));
    TABSStoredBlobHeader header;
    header.Decode(first->Data());
    value.BlockCount = header.BlockCount;
    value.StoredSize = header.StoredSize;
    value.UncompressedSize = header.UncompressedSize;
    const uint8_t* locator = first->Data() + kLocatorOffset;
    value.ListPage = GetI32(locator);
    value.ListOffset = GetU16(locator + 4);
    count = GetI32(locator + 6);
  }
  const int64_t totalPages = std::max<int64_t>(pages.Header().totalPageCount, 1);
  if (value.StoredSize + 24 < dataSize || value.StoredSize > totalPages * dataSize)
    Damaged(firstPage, "the large value's size " + std::to_string(value.StoredSize) + " cannot be right");
  const int64_t expected = 1 + (value.StoredSize - (dataSize - kLargeDataOffset) + dataSize - 1) / dataSize;
  if (count != expected)
    Damaged(firstPage, "the large value of " + std::to_string(value.StoredSize) + " bytes needs " +
                           std::to_string(expected) + " pages, its page list says " + std::to_string(count));
  // Where the value ends decides where its page list starts.
  const int64_t end = value.StoredSize + kLargeDataOffset - (count - 1) * dataSize;
  const int64_t listStart = end >= dataSize ? 0 : end;
  if (value.ListOffset != listStart)
    Damaged(firstPage,
            "the page list of the large value should start at offset " + std::to_string(listStart));

  std::vector<uint8_t> list(static_cast<size_t>(count) * 4);
  std::set<int32_t> seen;
  int32_t pageNo = value.ListPage;
  int64_t offset = value.ListOffset;
  for (size_t done = 0; done < list.size();) {
    if (!seen.insert(pageNo).second)
      Damaged(pageNo, "the page list of a large value comes back to this page");
    TABSPageUse page(pages, FetchPage(session, pageNo));
    value.ListPages.push_back(pageNo);
    const size_t take = std::min(static_cast<size_t>(dataSize - offset), list.size() - done);
    std::memcpy(&list[done], page->Data() + offset, take);
    done += take;
    if (done == list.size()) break;
    const int32_t next = page->GetNextPageNo();
    if (next < 0) Damaged(pageNo, "the page list of a large value ends early");
    pageNo = next;
    offset = 0;
  }
  seen.clear();
  for (int32_t index = 0; index < count; ++index) {
    const int32_t dataPage = GetI32(&list[static_cast<size_t>(index) * 4]);
    if (!seen.insert(dataPage).second)
      Damaged(value.ListPage,
              "the page list of a large value names page " + std::to_string(dataPage) + " twice");
    value.DataPages.push_back(dataPage);
  }
  if (value.DataPages.front() != firstPage)
    Damaged(firstPage, "the page list of the large value does not start with its first page");
  const bool ownListPage = end >= dataSize;
  if (ownListPage == (value.ListPage == value.DataPages.back()))
    Damaged(firstPage, "the page list of the large value does not start where the value ends");
  return value;
}

bool TABSDiskBlobManager::LooksLarge(int32_t session, int32_t pageNo) {
  try {
    TABSPageUse page(table_.Pages(), FetchPage(session, pageNo));
    TABSStoredBlobHeader header;
    header.Decode(page->Data());
    const int64_t count = GetI32(page->Data() + kLocatorOffset + 6);
    const int64_t dataSize = page->DataSize();
    return (count - 2) * dataSize < header.StoredSize && header.StoredSize < count * dataSize;
  } catch (const EABSException&) {
    return false;
  }
}

TABSBlobValue TABSDiskBlobManager::Load(int32_t session, const TABSRecordAddress& address,
                                        bool disableTempFiles) {
  if (!IsStored(address)) return {};
  if (address.RecordNo == kLargeSlot) return LoadLarge(session, address.PageNo, disableTempFiles);
  if (address.RecordNo != kAmbiguousSlot) return LoadSmall(session, address, disableTempFiles);
  const bool large = LooksLarge(session, address.PageNo);
  try {
    return large ? LoadLarge(session, address.PageNo, disableTempFiles)
                 : LoadSmall(session, address, disableTempFiles);
  } catch (const EABSException&) {
    return large ? LoadSmall(session, address, disableTempFiles)
                 : LoadLarge(session, address.PageNo, disableTempFiles);
  }
}

TABSSmallBlobPage::Entry TABSDiskBlobManager::FindSmall(int32_t session, const TABSRecordAddress& address,
                                                        TABSPageUse& held) {
  held.Reset(FetchPage(session, address.PageNo));
  TABSSmallBlobPage::Entry entry;
  bool found = false;
  std::string damage;
  if (!directory_.FindEntry(TABSSmallBlobPage(held.get()), address.RecordNo, entry, found, &damage))
    Damaged(address.PageNo, damage);
  if (!found) throw EABSException(msg::kCannotFindBlobField);
  return entry;
}

TABSBlobValue TABSDiskBlobManager::LoadSmall(int32_t session, const TABSRecordAddress& address,
                                             bool disableTempFiles) {
  TABSPageUse held(table_.Pages(), nullptr);
  const TABSSmallBlobPage::Entry entry = FindSmall(session, address, held);
  TABSBlobValue value;
  value.BlockCount = entry.Header.BlockCount;
  value.UncompressedSize = entry.Header.UncompressedSize;
  value.Data = NewBlobDataStream(disableTempFiles);
  ExactWrite(TABSSmallBlobPage(held.get()).Bytes(entry), entry.Header.StoredSize, *value.Data, kPageToValueCode);
  return value;
}

TABSBlobValue TABSDiskBlobManager::LoadLarge(int32_t session, int32_t firstPage, bool disableTempFiles) {
  const LargeValue large = ReadLarge(session, firstPage);
  const int64_t dataSize = table_.Pages().PageDataSize();
  TABSBlobValue value;
  value.BlockCount = large.BlockCount;
  value.UncompressedSize = large.UncompressedSize;
  // A value the data stream keeps in memory gets its whole block at once and the pages' bytes
  // straight into it, instead of a block grown (and perhaps moved) page by page.
  std::unique_ptr<TABSMemoryStream> memory;
  uint8_t* into = nullptr;
  if (large.StoredSize > 0 && (disableTempFiles || large.StoredSize <= TABSTemporaryStream::kMemoryLimit)) {
    // Not zeroed: the pages' bytes fill it, and it is cut to what they gave.
    memory =
        std::make_unique<TABSMemoryStream>(MemoryManager().GetMem(static_cast<size_t>(large.StoredSize)));
    into = static_cast<uint8_t*>(memory->Memory());
  } else {
    value.Data = NewBlobDataStream(disableTempFiles);
  }
  int64_t remaining = large.StoredSize;
  for (size_t index = 0; index < large.DataPages.size() && remaining > 0; ++index) {
    TABSPageUse page(table_.Pages(), FetchPage(session, large.DataPages[index]));
    const int64_t offset = index == 0 ? kLargeDataOffset : 0;
    const int64_t count = std::min(dataSize - offset, remaining);
    if (into) {
      std::memcpy(into, page->Data() + offset, static_cast<size_t>(count));
      into += count;
    } else {
      ExactWrite(page->Data() + offset, count, *value.Data, kPageToValueCode);
    }
    remaining -= count;
  }
  if (memory) {
    // As writes page by page would have left it: the bytes the pages gave, the position at their end.
    memory->SetSize(large.StoredSize - remaining);
    memory->Seek(0, TSeekOrigin::End);
    value.Data = std::make_unique<TABSTemporaryStream>(disableTempFiles, std::move(memory));
  }
  return value;
}

// ---- Deleting

void TABSDiskBlobManager::Delete(int32_t session, TABSRecordAddress& address) {
  if (IsStored(address)) {
    const bool large = address.RecordNo == kLargeSlot ||
                       (address.RecordNo == kAmbiguousSlot && LooksLarge(session, address.PageNo));
    if (large)
      DeleteLarge(session, address.PageNo);
    else
      DeleteSmall(session, address);
  }
  address = kNoValue;
}

void TABSDiskBlobManager::DeleteSmall(int32_t session, const TABSRecordAddress& address) {
  TABSDiskPageManager& pages = table_.Pages();
  TABSBTreeBlobPageIndex& index = Index();
  TABSPageUse held(pages, FetchPage(session, address.PageNo));
  TABSSmallBlobPage page(held.get());
  TABSSmallBlobPage::Entry entry;
  bool found = false;
  int32_t used = 0;
  std::string damage;
  if (!page.Locate(address.RecordNo, entry, found, used, &damage)) Damaged(address.PageNo, damage);
  if (!found) throw EABSException(msg::kCannotFindBlobField.At(20173));
  if (index.UsedBytes(session, address.PageNo) < 0)
    Damaged(address.PageNo, "a page of small BLOB values is missing from the BLOB page index");
  const int32_t freed = page.RemoveAt(used, entry);
  const bool empty = page.Count() == 0;
  held.Reset(nullptr);
  if (empty) {
    // The empty page leaves the index with the page itself, so that the finder cannot offer it.
    pages.RemovePage(session, address.PageNo);
    index.RemovePage(session, address.PageNo);
  } else {
    index.ChangeUsedBytes(session, address.PageNo, -freed);
  }
}

void TABSDiskBlobManager::DeleteLarge(int32_t session, int32_t firstPage) {
  const LargeValue large = ReadLarge(session, firstPage);
  TABSDiskPageManager& pages = table_.Pages();
  for (int32_t pageNo : large.DataPages) pages.RemovePage(session, pageNo);
  for (int32_t pageNo : large.ListPages)
    if (pageNo != large.DataPages.back()) pages.RemovePage(session, pageNo);
}

void TABSDiskBlobManager::DeleteAll(int32_t session, bool drop) {
  TABSDiskPageManager& pages = table_.Pages();
  TABSBaseRecordManager& records = table_.Records();
  const TABSFieldDefs& fields = table_.FieldManager()->FieldDefs();
  // Large values are reached through their records; the pages of small values all through the index.
  TABSMemBlock buffer = NewScratchBlock(fields.RecordBufferSize());
  TABSNavigationRecord navigation;
  navigation.Direction = TABSNavigationRecord::kNext;
  navigation.FromBeginning = true;
  navigation.Target = static_cast<uint8_t*>(buffer.data());
  for (;;) {
    records.Navigate(session, navigation);
    if (navigation.Outcome != TABSNavigationRecord::kFound) break;
    navigation.FromBeginning = false;
    for (int32_t field = 0; field < fields.Count(); ++field) {
      if (!IsBlobBaseType(fields[field].BaseType()) || IsNullFlagSet(navigation.Target, field)) continue;
      const TABSRecordAddress address = AddressOf(fields[field], navigation.Target);
      if (!IsStored(address)) continue;
      if (address.RecordNo == kLargeSlot ||
          (address.RecordNo == kAmbiguousSlot && LooksLarge(session, address.PageNo)))
        DeleteLarge(session, address.PageNo);
    }
  }
  TABSBTreeBlobPageIndex& index = Index();
  index.ForEachPage(session, [&](int32_t pageNo, uint16_t) {
    pages.RemovePage(session, pageNo);
    return true;
  });
  if (drop) {
    index.Drop(session);
    pageIndex_.reset();
  } else {
    index.Empty(session);
  }
}

// ---- Record buffers and the cache

TABSDiskBlobManager::CacheEntry* TABSDiskBlobManager::Cached(const uint8_t* record, int32_t field) {
  auto found = cache_.find({record, field});
  if (found == cache_.end()) return nullptr;
  // An entry belongs to the value whose handle the buffer holds: a buffer that holds another record
  // now (a scratch buffer used again, a new buffer where a freed one was) does not find it.
  uint32_t handle;
  std::memcpy(&handle, record + BlobField(field).BufferOffset + 6, 4);
  return handle == found->second.Handle ? &found->second : nullptr;
}

TABSBlobValue TABSDiskBlobManager::CopyOf(const TABSBlobValue& value, bool disableTempFiles) {
  TABSBlobValue copy;
  copy.BlockCount = value.BlockCount;
  copy.UncompressedSize = value.UncompressedSize;
  copy.Data = NewBlobDataStream(disableTempFiles);
  if (value.Data && value.Data->GetSize() > 0) {
    value.Data->Seek(0, TSeekOrigin::Beginning);
    if (copy.Data->CopyFrom(*value.Data, value.Data->GetSize()) != value.Data->GetSize())
      throw EABSException(msg::kStreamCannotWrite.At(kCopyValueCode), copy.Data->GetPosition(),
                          copy.Data->GetSize(), value.Data->GetSize(), copy.Data->GetSize());
  }
  return copy;
}

TABSBlobValue TABSDiskBlobManager::ReadValue(int32_t session, uint8_t* record, int32_t field,
                                             bool disableTempFiles, bool keep) {
  const TABSFieldDef& definition = BlobField(field);
  if (definition.BlobBlockSize <= 0) throw EABSException(msg::kStreamBlockSizeZero.At(20149));
  if (IsNullFlagSet(record, field)) return {};
  if (CacheEntry* entry = Cached(record, field)) return CopyOf(entry->Value, disableTempFiles);
  const TABSRecordAddress address = AddressOf(definition, record);
  if (!IsStored(address)) return {};
  TABSBlobValue value;
  try {
    value = Load(session, address, disableTempFiles);
  } catch (const EABSException&) {
    RethrowLoadError(address.PageNo);
  }
  CheckLoadedSizes(address.PageNo, value.BlockCount, value.UncompressedSize);
  if (!keep) return value;
  TABSBlobValue result = CopyOf(value, disableTempFiles);
  CacheEntry entry;
  entry.Handle = nextHandle_++;
  entry.Value = std::move(value);
  std::memcpy(record + definition.BufferOffset + 6, &entry.Handle, 4);
  cache_[{record, field}] = std::move(entry);
  return result;
}

void TABSDiskBlobManager::RethrowLoadError(int32_t pageNo) const {
  try {
    throw;
  } catch (const EABSException& error) {
    // A value that cannot be loaded is damage of its page, which is named with the cause.
    if (error.NativeErrorCode() == msg::kDamagedTablePage.code) throw;
    Damaged(pageNo, std::string(msg::kCannotReadBlobFieldValue.text) + ": " + error.Message());
  }
}

void TABSDiskBlobManager::CheckLoadedSizes(int32_t pageNo, int32_t blockCount, int64_t uncompressedSize) const {
  if (uncompressedSize < 0 || blockCount < 0) Damaged(pageNo, EABSException(msg::kInvalidBlobFieldSize).Message());
}

bool TABSDiskBlobManager::ReadSmallValue(int32_t session, const uint8_t* record, int32_t field, std::string& bytes) {
  const TABSFieldDef& definition = BlobField(field);
  if (definition.BlobBlockSize <= 0 || IsNullFlagSet(record, field) || Cached(record, field)) return false;
  const TABSRecordAddress address = AddressOf(definition, record);
  if (!IsStored(address) || address.RecordNo == kLargeSlot || address.RecordNo == kAmbiguousSlot) return false;
  // What ReadValue and a read-only stream on its value do, on the bytes in the page.
  TABSPageUse held(table_.Pages(), nullptr);
  TABSSmallBlobPage::Entry entry;
  try {
    entry = FindSmall(session, address, held);
  } catch (const EABSException&) {
    RethrowLoadError(address.PageNo);
  }
  const TABSStoredBlobHeader& header = entry.Header;
  CheckLoadedSizes(address.PageNo, header.BlockCount, header.UncompressedSize);
  const TABSBlobFormat format{definition.BlobBlockSize, definition.BlobCompressionAlgorithm,
                              definition.BlobCompressionMode};
  try {
    DecodeStoredValue(format, header.BlockCount, header.UncompressedSize,
                      TABSSmallBlobPage(held.get()).Bytes(entry), header.StoredSize, bytes);
  } catch (const EABSException& error) {
    // The stream names the value's page with what its stored bytes raise.
    if (error.NativeErrorCode() == msg::kDamagedTablePage.code) throw;
    Damaged(address.PageNo, error.Message());
  }
  return true;
}

void TABSDiskBlobManager::PutValue(uint8_t* record, int32_t field, TABSBlobValue value) {
  const TABSFieldDef& definition = BlobField(field);
  DropEntry(record, field, true);
  if (value.Empty())
    SetNullFlag(record, field);
  else
    ClearNullFlag(record, field);
  CacheEntry entry;
  entry.Handle = nextHandle_++;
  entry.Modified = true;
  entry.Value = std::move(value);
  std::memcpy(record + definition.BufferOffset + 6, &entry.Handle, 4);
  cache_[{record, field}] = std::move(entry);
}

void TABSDiskBlobManager::DropEntry(const uint8_t* record, int32_t field, bool force) {
  auto found = cache_.find({record, field});
  if (found == cache_.end() || (found->second.Modified && !force)) return;
  cache_.erase(found);
}

void TABSDiskBlobManager::DropRecord(const uint8_t* record, bool force) {
  for (auto it = cache_.lower_bound({record, INT32_MIN}); it != cache_.end() && it->first.first == record;) {
    if (it->second.Modified && !force)
      ++it;
    else
      it = cache_.erase(it);
  }
}

void TABSDiskBlobManager::ForgetStored(const uint8_t* record) {
  DropRecord(record, true);
}

void TABSDiskBlobManager::StoreRecordValues(int32_t session, uint8_t* record, const uint8_t* old,
                                            bool disableTempFiles) {
  const TABSFieldDefs& fields = table_.FieldManager()->FieldDefs();
  for (int32_t field = 0; field < fields.Count(); ++field) {
    const TABSFieldDef& definition = fields[field];
    if (!IsBlobBaseType(definition.BaseType())) continue;
    const TABSRecordAddress oldAddress = old ? AddressOf(definition, old) : kNoValue;
    const bool oldStored = old && !IsNullFlagSet(old, field) && IsStored(oldAddress);
    CacheEntry* entry = Cached(record, field);
    TABSRecordAddress address = kNoValue;
    if (entry && entry->Modified) {
      if (oldStored) {
        TABSRecordAddress replaced = oldAddress;
        Delete(session, replaced);
      }
      if (!entry->Value.Empty() && entry->Value.StoredSize() > 0) address = Store(session, entry->Value);
    } else if (old) {
      // Nobody wrote the field: it keeps its stored value, unless it was set NULL.
      if (IsNullFlagSet(record, field)) {
        if (oldStored) {
          TABSRecordAddress replaced = oldAddress;
          Delete(session, replaced);
        }
      } else {
        address = oldStored ? oldAddress : kNoValue;
        if (!oldStored && IsNullFlagSet(old, field)) SetNullFlag(record, field);
      }
    } else {
      // A new record that refers to a stored value (a copied record buffer) gets a value of its own.
      const TABSRecordAddress referred = AddressOf(definition, record);
      if (IsNullFlagSet(record, field) || !IsStored(referred)) continue;
      const TABSBlobValue copy = Load(session, referred, disableTempFiles);
      address = copy.Empty() ? kNoValue : Store(session, copy);
    }
    SetAddress(definition, record, address);
    if (address == kNoValue && entry && entry->Modified) SetNullFlag(record, field);
  }
}

void TABSDiskBlobManager::DeleteRecordValues(int32_t session, const uint8_t* record) {
  const TABSFieldDefs& fields = table_.FieldManager()->FieldDefs();
  for (int32_t field = 0; field < fields.Count(); ++field) {
    if (!IsBlobBaseType(fields[field].BaseType()) || IsNullFlagSet(record, field)) continue;
    TABSRecordAddress address = AddressOf(fields[field], record);
    Delete(session, address);
  }
}

}  // namespace viz
