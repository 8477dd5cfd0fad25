#include "engine/storage/disk/small_record_page.h"

#include <bit>
#include <cstring>

#include "engine/storage/file_format.h"
#include "engine/types/errors.h"

namespace viz {

int32_t TABSSmallRecordPage::RecordsPerPage(int32_t dataSize, int32_t recordSize) {
  // trunc((D - 1) / (A + 1/8)) in integers: 8 (D - 1) div (8 A + 1).
  if (dataSize <= 1 || recordSize <= 0) return 0;
  return static_cast<int32_t>((8 * static_cast<int64_t>(dataSize - 1)) /
                              (8 * static_cast<int64_t>(recordSize) + 1));
}

TABSSmallRecordPage::TABSSmallRecordPage(TABSPage* page, int32_t recordsPerPage, int32_t recordSize)
    : TABSPageController(page), recordsPerPage_(recordsPerPage), recordSize_(recordSize) {
  const int64_t needed =
      static_cast<int64_t>(BitmapSize()) + static_cast<int64_t>(recordsPerPage) * recordSize;
  if (page && (recordsPerPage <= 0 || recordSize <= 0 || needed > static_cast<int64_t>(page->DataSize())))
    throw EABSException(msg::kInvalidRecordCountOnPage);
}

void TABSSmallRecordPage::Initialise(int32_t tableId) {
  std::memset(Data(), 0, static_cast<size_t>(BitmapSize()));
  file_format::PutI32(CheckedPage().Header() + kTableIdOffset, tableId);
  MarkDirty();
}

int32_t TABSSmallRecordPage::TableId() const {
  return file_format::GetI32(CheckedPage().Header() + kTableIdOffset);
}

bool TABSSmallRecordPage::IsOccupied(int32_t slot) const {
  if (slot < 0 || slot >= recordsPerPage_) return false;
  return (Bitmap()[slot >> 3] >> (slot & 7)) & 1;
}

void TABSSmallRecordPage::SetOccupied(int32_t slot, bool occupied) {
  uint8_t& byte = Data()[slot >> 3];
  const uint8_t bit = static_cast<uint8_t>(1u << (slot & 7));
  byte = occupied ? static_cast<uint8_t>(byte | bit) : static_cast<uint8_t>(byte & ~bit);
  MarkDirty();
}

int32_t TABSSmallRecordPage::RecordCount() const {
  return OccupiedBefore(recordsPerPage_);
}

int32_t TABSSmallRecordPage::OccupiedBefore(int32_t slot) const {
  const uint8_t* bitmap = Bitmap();
  int32_t count = 0;
  const int32_t whole = slot >> 3;
  for (int32_t index = 0; index < whole; ++index) count += std::popcount(bitmap[index]);
  if (slot & 7) count += std::popcount(static_cast<uint8_t>(bitmap[whole] & ((1u << (slot & 7)) - 1)));
  return count;
}

int32_t TABSSmallRecordPage::FirstFreeSlot() const {
  const uint8_t* bitmap = Bitmap();
  for (int32_t index = 0; index < BitmapSize(); ++index) {
    if (bitmap[index] == 0xFF) continue;
    const int32_t slot = index * 8 + std::countr_one(bitmap[index]);
    return slot < recordsPerPage_ ? slot : -1;
  }
  return -1;
}

int32_t TABSSmallRecordPage::NextOccupied(int32_t slot) const {
  const uint8_t* bitmap = Bitmap();
  for (int32_t next = slot + 1; next < recordsPerPage_;) {
    const uint8_t bits = static_cast<uint8_t>(bitmap[next >> 3] >> (next & 7));
    if (bits != 0) {
      const int32_t found = next + std::countr_zero(bits);
      return found < recordsPerPage_ ? found : -1;
    }
    next = (next | 7) + 1;
  }
  return -1;
}

int32_t TABSSmallRecordPage::PriorOccupied(int32_t slot) const {
  for (int32_t prior = std::min(slot, recordsPerPage_) - 1; prior >= 0; --prior)
    if (IsOccupied(prior)) return prior;
  return -1;
}

int32_t TABSSmallRecordPage::NthOccupied(int32_t n) const {
  if (n < 1) return -1;
  const uint8_t* bitmap = Bitmap();
  for (int32_t index = 0; index < BitmapSize(); ++index) {
    const int32_t here = std::popcount(bitmap[index]);
    if (n > here) {
      n -= here;
      continue;
    }
    for (int32_t bit = 0; bit < 8; ++bit) {
      if (((bitmap[index] >> bit) & 1) && --n == 0) {
        const int32_t slot = index * 8 + bit;
        return slot < recordsPerPage_ ? slot : -1;
      }
    }
  }
  return -1;
}

uint8_t* TABSSmallRecordPage::Slot(int32_t slot) const {
  return Data() + BitmapSize() + static_cast<ptrdiff_t>(slot) * recordSize_;
}

}  // namespace viz
