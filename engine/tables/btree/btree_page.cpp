#include "engine/tables/btree/btree_page.h"

#include <cstring>
#include <string>
#include <utility>

#include "engine/tables/btree/btree_key.h"
#include "engine/types/errors.h"

namespace viz {

int32_t TABSBTreeLeafController::ReferenceSize(const TABSBTreePage& page) const {
  return page.Keys().ReferenceSize;
}

TABSBTreePage::TABSBTreePage(TABSBTreePage&& other) noexcept
    : TABSPageController(other.page_),
      pages_(other.pages_),
      keys_(other.keys_),
      data_(other.data_),
      dataSize_(other.dataSize_),
      entrySize_(other.entrySize_) {
  other.page_ = nullptr;
  other.data_ = nullptr;
}

TABSBTreePage& TABSBTreePage::operator=(TABSBTreePage&& other) noexcept {
  if (this != &other) {
    Release();
    page_ = std::exchange(other.page_, nullptr);
    data_ = std::exchange(other.data_, nullptr);
    pages_ = other.pages_;
    keys_ = other.keys_;
    dataSize_ = other.dataSize_;
    entrySize_ = other.entrySize_;
  }
  return *this;
}

void TABSBTreePage::Load(int32_t session, int32_t pageNo) {
  Release();
  page_ = pages_->GetPage(session, pageNo, kPageType);
  data_ = page_->Data();
  dataSize_ = static_cast<int32_t>(pages_->PageDataSize());
  RefreshLayout();
  // The entries of a damaged page must not lead readers outside its buffer.
  const int64_t room = static_cast<int64_t>(page_->BufferSize()) - (page_->Data() - page_->Buffer());
  const int64_t end = int64_t{kHeaderSize} + HeaderExtension() + int64_t{Count()} * EntrySize();
  const bool keySizeFits = Count() == 0 || KeySize() == keys_->KeySize;
  if (!keySizeFits || end > room) {
    Release();
    throw EABSException(msg::kDamagedIndexPage, pageNo,
                        keySizeFits ? "its entries run past the page's end" : "its key size is not the index's");
  }
}

void TABSBTreePage::Add(int32_t session) {
  Release();
  page_ = pages_->AddPage(session, kPageType);
  data_ = page_->Data();
  dataSize_ = static_cast<int32_t>(pages_->PageDataSize());
  std::memset(data_, 0, kHeaderSize);
  SetPriorPage(-1);
  SetNextPage(-1);
  RefreshLayout();
}

void TABSBTreePage::Release() {
  if (page_ == nullptr) return;
  TABSPage* page = std::exchange(page_, nullptr);
  data_ = nullptr;
  pages_->ReleasePage(page);
}

void TABSBTreePage::RefreshLayout() {
  const int32_t reference = IsLeaf() ? keys_->ReferenceSize : TABSBTreeNodeController::kChildSize;
  entrySize_ = KeySize() + reference + (AddressInNodes() ? kNodeAddressSize : 0);
}

void TABSBTreePage::InitRoot() {
  std::memset(data_, 0, kHeaderSize);
  SetRoot(true);
  Data()[1] = 1;
  SetPriorPage(-1);
  SetNextPage(-1);
  Data()[10] = 1;
  StoreU16(12, static_cast<uint16_t>(keys_->KeySize));
  RefreshLayout();
  MarkDirty();
}

void TABSBTreePage::InitLike(const TABSBTreePage& other) {
  std::memcpy(data_, other.data_, kHeaderSize);
  SetPriorPage(-1);
  SetNextPage(-1);
  SetCount(0);
  RefreshLayout();
  MarkDirty();
}

int32_t TABSBTreePage::Capacity() const {
  return (dataSize_ - kHeaderSize - HeaderExtension()) / entrySize_;
}

bool TABSBTreePage::IsUnderFilled() const {
  return Count() * entrySize_ < (dataSize_ - kHeaderSize - HeaderExtension()) / 2;
}

bool TABSBTreePage::CanMergeWith(int32_t otherCount) const {
  if (otherCount == 0 || Count() == 0) return true;
  return (Count() + otherCount) * entrySize_ + kHeaderSize + HeaderExtension() < dataSize_;
}

void TABSBTreePage::ThrowNoEntry(int32_t index) const {
  // Only a damaged tree asks for an entry a page does not hold (an empty node, a link to an empty page).
  throw EABSException(msg::kDamagedIndexPage, PageNo(),
                      "entry " + std::to_string(index) + " of " + std::to_string(Count()) + " is asked for");
}

void TABSBTreePage::ThrowNotNode() { throw EABSException(msg::kInternalIndexError); }

void TABSBTreePage::ThrowNotLeaf() { throw EABSException(msg::kInternalIndexError.At(20024)); }

void TABSBTreePage::SetChild(int32_t index, int32_t pageNo) {
  if (IsLeaf()) throw EABSException(msg::kInternalIndexError);
  std::memcpy(Reference(index), &pageNo, sizeof pageNo);
  MarkDirty();
}

uint16_t TABSBTreePage::Value(int32_t index) const {
  if (!IsLeaf()) throw EABSException(msg::kInternalIndexError.At(20024));
  CheckEntry(index);
  uint16_t value;
  std::memcpy(&value, Reference(index), sizeof value);
  return value;
}

void TABSBTreePage::SetValue(int32_t index, uint16_t value) {
  if (!IsLeaf()) throw EABSException(msg::kInternalIndexError.At(20024));
  std::memcpy(Reference(index), &value, sizeof value);
  MarkDirty();
}

void TABSBTreePage::InsertEntries(int32_t index, const uint8_t* entries, int32_t count) {
  const int32_t size = entrySize_;
  uint8_t* at = Entry(index);
  std::memmove(at + static_cast<ptrdiff_t>(count) * size, at, static_cast<size_t>((Count() - index) * size));
  std::memcpy(at, entries, static_cast<size_t>(count * size));
  SetCount(Count() + count);
  MarkDirty();
}

void TABSBTreePage::RemoveEntries(int32_t index, int32_t count) {
  if (Count() == 0) throw EABSException(msg::kIndexPageIsEmpty);
  const int32_t size = entrySize_;
  uint8_t* at = Entry(index);
  std::memmove(at, at + static_cast<ptrdiff_t>(count) * size,
               static_cast<size_t>((Count() - index - count) * size));
  SetCount(Count() - count);
  std::memset(Entry(Count()), 0, static_cast<size_t>(count * size));
  MarkDirty();
}

void TABSBTreePage::SetKey(int32_t index, const uint8_t* key) {
  std::memcpy(Key(index), key, KeySize());
  MarkDirty();
}

void TABSBTreePage::ZeroKey(int32_t index) {
  std::memset(Key(index), 0, KeySize());
  MarkDirty();
}

}  // namespace viz
