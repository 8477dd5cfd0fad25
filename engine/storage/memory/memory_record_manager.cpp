#include "engine/storage/memory/memory_record_manager.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "engine/tables/VIZBaseEngine.h"
#include "engine/types/errors.h"

namespace viz {

namespace {

constexpr int32_t kInvalidSize = 10011;
constexpr int32_t kRetrieveFailed = 10019;

// The clear bits among the first `count` bits of a byte.
int ZeroBits(uint8_t byte, int count) {
  const uint8_t mask = static_cast<uint8_t>((1u << count) - 1u);
  return count - kBitsSetInByte[byte & mask];
}

}  // namespace

TABSMemoryRecordManager::TABSMemoryRecordManager(TABSTableData* table, int32_t growthStep)
    : TABSBaseRecordManager(table),
      form_(table, kInvalidSize),
      records_(form_.StoredSize(), growthStep > 0 ? growthStep : kDefaultGrowthStep) {
  RecordBufferSize = form_.BufferSize();
}

bool TABSMemoryRecordManager::IsLive(int64_t slot) const {
  return RecordCount > 0 && slot >= lowest_ && slot <= highest_ && !deleted_.GetBit(slot);
}

void TABSMemoryRecordManager::Empty(int32_t /*session*/) {
  records_.Clear();
  deleted_.SetBitCount(0);
  RecordCount = 0;
  lowest_ = highest_ = 0;
  noDeletions_ = true;
  ++StateCounter;
}

TABSRecordAddress TABSMemoryRecordManager::Insert(int32_t /*session*/, const uint8_t* record) {
  const int64_t slot = RecordCount == 0 ? 0 : highest_ + 1;
  if (slot > std::numeric_limits<int32_t>::max()) throw EABSException(msg::kInvalidPageNumber);
  while (slot >= records_.Capacity()) {
    records_.Grow();
    deleted_.SetBitCount(records_.Capacity());
  }
  form_.ToStored(record, records_.At(slot));
  deleted_.SetBit(slot, false);
  if (RecordCount == 0) lowest_ = slot;
  highest_ = slot;
  ++RecordCount;
  ++StateCounter;
  return {static_cast<int32_t>(slot), 0};
}

bool TABSMemoryRecordManager::Update(int32_t /*session*/, const uint8_t* record,
                                     const TABSRecordAddress& address) {
  if (!IsLive(address.PageNo)) return false;
  form_.ToStored(record, records_.At(address.PageNo));
  ++StateCounter;
  return true;
}

bool TABSMemoryRecordManager::Delete(int32_t /*session*/, const TABSRecordAddress& address) {
  const int64_t slot = address.PageNo;
  if (!IsLive(slot)) return false;
  deleted_.SetBit(slot, true);
  --RecordCount;
  if (RecordCount == 0) {
    lowest_ = highest_ = 0;
  } else if (slot == lowest_) {
    lowest_ = NextLive(slot, true);
  } else if (slot == highest_) {
    highest_ = NextLive(slot, false);
  }
  noDeletions_ = false;
  ++StateCounter;
  return true;
}

int64_t TABSMemoryRecordManager::NextLive(int64_t from, bool forward) const {
  const uint8_t* bytes = deleted_.Bytes();
  if (forward) {
    for (int64_t slot = std::max(from + 1, lowest_); slot <= highest_;) {
      // A byte of deleted slots is passed in one step.
      if ((slot & 7) == 0 && slot + 7 <= highest_ && bytes[slot >> 3] == 0xFF) {
        slot += 8;
        continue;
      }
      if (!deleted_.GetBit(slot)) return slot;
      ++slot;
    }
    return -1;
  }
  for (int64_t slot = std::min(from - 1, highest_); slot >= lowest_;) {
    if ((slot & 7) == 7 && slot - 7 >= lowest_ && bytes[slot >> 3] == 0xFF) {
      slot -= 8;
      continue;
    }
    if (!deleted_.GetBit(slot)) return slot;
    --slot;
  }
  return -1;
}

void TABSMemoryRecordManager::Navigate(int32_t /*session*/, TABSNavigationRecord& navigation) {
  int64_t slot = -1;
  if (RecordCount <= 0) {
    navigation.Outcome = navigation.Direction == TABSNavigationRecord::kPrior
                             ? TABSNavigationRecord::kBeforeFirst
                             : TABSNavigationRecord::kAfterLast;
    if (navigation.Direction == TABSNavigationRecord::kCurrent)
      navigation.Outcome = TABSNavigationRecord::kNotFound;
    return;
  }
  switch (navigation.Direction) {
    case TABSNavigationRecord::kCurrent:
      if (!IsLive(navigation.Address.PageNo)) {
        navigation.Outcome = TABSNavigationRecord::kNotFound;
        return;
      }
      slot = navigation.Address.PageNo;
      break;
    case TABSNavigationRecord::kNext:
      slot = navigation.FromEnd         ? -1
             : navigation.FromBeginning ? lowest_
                                        : NextLive(navigation.Address.PageNo, true);
      if (slot < 0) {
        navigation.Outcome = TABSNavigationRecord::kAfterLast;
        return;
      }
      break;
    case TABSNavigationRecord::kPrior:
      slot = navigation.FromBeginning ? -1
             : navigation.FromEnd     ? highest_
                                      : NextLive(navigation.Address.PageNo, false);
      if (slot < 0) {
        navigation.Outcome = TABSNavigationRecord::kBeforeFirst;
        return;
      }
      break;
  }
  if (slot >= records_.Capacity()) throw EABSException(msg::kErrorRetrievingRecord.At(kRetrieveFailed));
  navigation.Address = {static_cast<int32_t>(slot), 0};
  if (navigation.Target) form_.ToBuffer(records_.At(slot), navigation.Target);
  navigation.Outcome = TABSNavigationRecord::kFound;
}

int TABSMemoryRecordManager::CompareAddresses(const TABSRecordAddress& a, const TABSRecordAddress& b) {
  return a.PageNo < b.PageNo ? -1 : (a.PageNo > b.PageNo ? 1 : 0);
}

int64_t TABSMemoryRecordManager::ApproximateOrdinal(int32_t /*session*/, const TABSRecordAddress& address) {
  const int64_t slot = address.PageNo;
  if (RecordCount <= 0 || slot < lowest_ || slot > highest_) return -1;
  if (RecordCount == 1) return 1;
  const double place = static_cast<double>(slot - lowest_) / static_cast<double>(highest_ - lowest_);
  return static_cast<int64_t>(std::llround(place * static_cast<double>(RecordCount - 1))) + 1;
}

int64_t TABSMemoryRecordManager::LiveUpTo(int64_t slot) const {
  if (RecordCount <= 0 || slot < lowest_) return 0;
  if (slot >= highest_) return RecordCount;
  if (noDeletions_) return slot - lowest_ + 1;
  const uint8_t* bytes = deleted_.Bytes();
  int64_t live = 0;
  const int64_t fullBytes = (slot + 1) >> 3;
  for (int64_t i = 0; i < fullBytes; ++i) live += 8 - kBitsSetInByte[bytes[i]];
  const int rest = static_cast<int>((slot + 1) & 7);
  if (rest > 0) live += ZeroBits(bytes[fullBytes], rest);
  return live;
}

int64_t TABSMemoryRecordManager::SlotOfOrdinal(int64_t ordinal) const {
  if (ordinal < 1 || ordinal > RecordCount) return -1;
  if (noDeletions_) return lowest_ + ordinal - 1;
  const uint8_t* bytes = deleted_.Bytes();
  int64_t remaining = ordinal;
  for (int64_t i = 0; i <= (highest_ >> 3); ++i) {
    const int64_t live = 8 - kBitsSetInByte[bytes[i]];
    if (remaining > live) {
      remaining -= live;
      continue;
    }
    for (int bit = 0; bit < 8; ++bit) {
      if ((bytes[i] >> bit) & 1) continue;
      if (--remaining == 0) return i * 8 + bit;
    }
  }
  return -1;
}

}  // namespace viz
