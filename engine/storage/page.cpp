// TABSPage and TABSPageController.
#include <cstring>

#include "engine/storage/VIZPage.h"
#include "engine/storage/memory_manager.h"
#include "engine/types/errors.h"

namespace viz {

namespace {

// The file format is little-endian, as is every target this engine is built for.
template <class T>
T LoadLE(const uint8_t* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

template <class T>
void StoreLE(uint8_t* at, T value) {
  std::memcpy(at, &value, sizeof value);
}

}  // namespace

TABSPage::TABSPage(TABSPageManager* manager) : manager_(manager) {
  NoteContentChanged();
}

TABSPage::~TABSPage() {
  FreeBuffer();
}

uint8_t* TABSPage::Data() const {
  return buffer_ + manager_->PageHeaderSize();
}

uint32_t TABSPage::DataSize() const {
  return manager_->PageDataSize();
}

void TABSPage::AllocBuffer() {
  FreeBuffer();
  uint32_t size = manager_->PageSize();
  buffer_ = static_cast<uint8_t*>(MemoryManager().GetMemZero(size));
  bufferSize_ = size;
  ownsBuffer_ = true;
  NoteContentChanged();
  if (manager_->PageHeaderSize() < file_format::kPageHeaderSize) return;
  std::memcpy(buffer_, file_format::kPageSignature, 4);
  StoreLE<int32_t>(buffer_ + file_format::kPageNextOffset, -1);
  StoreLE<int32_t>(buffer_ + file_format::kPageOwnerTableOffset, -1);
  StoreLE<int32_t>(buffer_ + file_format::kPageReserved26Offset, -1);
}

void TABSPage::FreeBuffer() {
  if (ownsBuffer_ && buffer_ != nullptr) MemoryManager().FreeAndNil(buffer_);
  buffer_ = nullptr;
  bufferSize_ = 0;
  ownsBuffer_ = false;
}

void TABSPage::BorrowBuffer(uint8_t* buffer, uint32_t size) {
  FreeBuffer();
  buffer_ = buffer;
  bufferSize_ = size;
  ownsBuffer_ = false;
  NoteContentChanged();
}

void TABSPage::GrowBuffer(uint32_t newSize) {
  if (buffer_ == nullptr) throw EABSException(msg::kPageBufferIsNil);
  if (newSize < manager_->PageSize()) throw EABSException(msg::kInvalidPageModification);
  if (ownsBuffer_) {
    void* block = buffer_;
    MemoryManager().ReallocMem(block, newSize, true);
    buffer_ = static_cast<uint8_t*>(block);
  } else {
    auto* owned = static_cast<uint8_t*>(MemoryManager().GetMemZero(newSize));
    std::memcpy(owned, buffer_, std::min(bufferSize_, newSize));
    buffer_ = owned;
    ownsBuffer_ = true;
  }
  bufferSize_ = newSize;
  NoteContentChanged();
}

int32_t TABSPage::GetUpdateCounter() const {
  return LoadLE<int32_t>(buffer_ + file_format::kPageUpdateCounterOffset);
}

void TABSPage::SetUpdateCounter(int32_t value) {
  StoreLE<int32_t>(buffer_ + file_format::kPageUpdateCounterOffset, value);
}

uint16_t TABSPage::GetPageType() const {
  return LoadLE<uint16_t>(buffer_ + file_format::kPageTypeOffset);
}

void TABSPage::SetPageType(uint16_t type) {
  StoreLE<uint16_t>(buffer_ + file_format::kPageTypeOffset, type);
}

int32_t TABSPage::GetNextPageNo() const {
  return LoadLE<int32_t>(buffer_ + file_format::kPageNextOffset);
}

void TABSPage::SetNextPageNo(int32_t pageNo) {
  StoreLE<int32_t>(buffer_ + file_format::kPageNextOffset, pageNo);
}

TABSPage& TABSPageController::CheckedPage() const {
  if (page_ == nullptr) throw EABSException(msg::kNilPointer);
  return *page_;
}

int32_t TABSPageController::GetPageNo() const {
  return CheckedPage().PageNo;
}

void TABSPageController::SetPageNo(int32_t pageNo) {
  CheckedPage().PageNo = pageNo;
}

uint32_t TABSPageController::PageSize() const {
  return CheckedPage().Manager()->PageSize();
}

uint8_t* TABSPageController::Data() const {
  return CheckedPage().Data();
}

uint32_t TABSPageController::DataSize() const {
  return CheckedPage().DataSize();
}

void TABSPageController::MarkDirty() {
  CheckedPage().MarkDirty();
}

void TABSPageController::GrowBuffer(uint32_t newSize) {
  CheckedPage().GrowBuffer(newSize);
}

}  // namespace viz
