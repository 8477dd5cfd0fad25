#include "engine/storage/memory/temporary_record_manager.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/storage/memory/temporary_file.h"
#include "engine/storage/memory_manager.h"
#include "engine/tables/VIZBaseEngine.h"
#include "engine/tables/streams.h"
#include "engine/types/errors.h"

namespace viz {

namespace {

constexpr int32_t kInvalidSize = 10124;
constexpr int32_t kRetrieveFailed = 10127;
constexpr int32_t kFlushSeek = 10128;
constexpr int32_t kReadSeek = 10129;
constexpr int32_t kRead = 10130;

}  // namespace

TABSTemporaryRecordManager::TABSTemporaryRecordManager(TABSTableData* table, bool memoryOnly,
                                                       int32_t growthStep, int32_t writeBuffer,
                                                       int64_t availableMemory,
                                                       platform::FileSystem* fileSystem)
    : TABSBaseRecordManager(table),
      form_(table, kInvalidSize),
      records_(form_.StoredSize(), growthStep > 0 ? growthStep : kDefaultGrowthStep),
      memoryOnly_(memoryOnly),
      memoryLimit_((availableMemory < 0 ? MemoryManager().GetAvailableMemory() : availableMemory) / 10 /
                   records_.RecordSize()),
      writeBufferSize_(writeBuffer > 0 ? writeBuffer : 1),
      fileSystem_(fileSystem) {
  RecordBufferSize = form_.BufferSize();
}

TABSTemporaryRecordManager::~TABSTemporaryRecordManager() = default;

int64_t TABSTemporaryRecordManager::NumberOf(const TABSRecordAddress& address) {
  return static_cast<int64_t>(static_cast<uint32_t>(address.PageNo)) |
         (static_cast<int64_t>(address.RecordNo) << 32);
}

TABSRecordAddress TABSTemporaryRecordManager::AddressOf(int64_t number) {
  return {static_cast<int32_t>(static_cast<uint32_t>(number & 0xFFFFFFFF)),
          static_cast<uint16_t>(number >> 32)};
}

int64_t TABSTemporaryRecordManager::MemoryCapacity() const {
  return memoryOnly_ ? records_.Capacity() : std::min(records_.Capacity(), memoryLimit_);
}

void TABSTemporaryRecordManager::Empty(int32_t /*session*/) {
  records_.Clear();
  writeBuffer_.Reset();
  buffered_ = 0;
  file_.reset();
  RecordCount = 0;
  ++StateCounter;
}

void TABSTemporaryRecordManager::FlushWriteBuffer() {
  if (buffered_ == 0) return;
  if (buffered_ > writeBufferSize_)
    throw EABSException(msg::kInvalidRecordCount, buffered_, writeBufferSize_);
  if (!file_) throw EABSException(msg::kTemporaryFileMissing);
  const int64_t size = records_.RecordSize();
  CheckedSeek(*file_, (RecordCount - memoryLimit_ - buffered_) * size, kFlushSeek);
  const int64_t bytes = buffered_ * size;
  if (file_->Write(writeBuffer_.data(), bytes) != bytes) throw EABSException(msg::kErrorWritingToStream);
  buffered_ = 0;
}

TABSRecordAddress TABSTemporaryRecordManager::Insert(int32_t /*session*/, const uint8_t* record) {
  const int64_t number = RecordCount;
  if (number >= (int64_t{1} << 48)) throw EABSException(msg::kInvalidPageNumber);
  if (memoryOnly_ || number < memoryLimit_) {
    while (number >= MemoryCapacity()) records_.Grow();
    form_.ToStored(record, records_.At(number));
  } else {
    if (!file_) file_ = NewTemporaryFileStream(fileSystem_);
    if (buffered_ == writeBufferSize_) FlushWriteBuffer();
    if (writeBuffer_.data() == nullptr) {
      const int64_t bytes = static_cast<int64_t>(writeBufferSize_) * records_.RecordSize();
      writeBuffer_ =
          TABSMemBlock(MemoryManager().GetMem(static_cast<size_t>(bytes)), static_cast<int32_t>(bytes));
    }
    form_.ToStored(record, static_cast<uint8_t*>(writeBuffer_.data()) +
                               static_cast<int64_t>(buffered_) * records_.RecordSize());
    ++buffered_;
  }
  ++RecordCount;
  ++StateCounter;
  return AddressOf(number);
}

void TABSTemporaryRecordManager::DropLast() {
  const int64_t last = RecordCount - 1;
  // A record in the write buffer leaves it; one in memory or in the file is overwritten by the next.
  if (!memoryOnly_ && last >= memoryLimit_ && buffered_ > 0) --buffered_;
  --RecordCount;
  ++StateCounter;
}

bool TABSTemporaryRecordManager::Update(int32_t, const uint8_t*, const TABSRecordAddress&) {
  return false;
}

bool TABSTemporaryRecordManager::Delete(int32_t, const TABSRecordAddress&) {
  return false;
}

void TABSTemporaryRecordManager::ReadStored(int64_t number, uint8_t* stored) {
  try {
    if (number < 0 || number >= RecordCount) throw EABSException(msg::kInvalidPageNumber);
    if (!memoryOnly_ && number >= memoryLimit_) {
      FlushWriteBuffer();
      if (!file_) throw EABSException(msg::kTemporaryFileMissing);
      const int64_t size = records_.RecordSize();
      CheckedSeek(*file_, (number - memoryLimit_) * size, kReadSeek);
      ExactRead(stored, size, *file_, kRead);
    } else {
      std::memcpy(stored, records_.At(number), static_cast<size_t>(records_.RecordSize()));
    }
  } catch (const EABSException&) {
    throw EABSException(msg::kErrorRetrievingRecord.At(kRetrieveFailed));
  }
}

void TABSTemporaryRecordManager::Navigate(int32_t /*session*/, TABSNavigationRecord& navigation) {
  const int64_t current = NumberOf(navigation.Address);
  int64_t number = -1;
  switch (navigation.Direction) {
    case TABSNavigationRecord::kCurrent:
      if (current < 0 || current >= RecordCount) {
        navigation.Outcome = TABSNavigationRecord::kNotFound;
        return;
      }
      number = current;
      break;
    case TABSNavigationRecord::kNext:
      number = navigation.FromEnd ? RecordCount : navigation.FromBeginning ? 0 : current + 1;
      if (number >= RecordCount) {
        navigation.Outcome = TABSNavigationRecord::kAfterLast;
        return;
      }
      break;
    case TABSNavigationRecord::kPrior:
      number = navigation.FromBeginning ? -1
               : navigation.FromEnd     ? RecordCount - 1
                                        : std::min(current, RecordCount) - 1;
      if (number < 0) {
        navigation.Outcome = TABSNavigationRecord::kBeforeFirst;
        return;
      }
      break;
  }
  navigation.Address = AddressOf(number);
  if (navigation.Target) {
    if (!memoryOnly_ && number >= memoryLimit_) {
      TABSMemBlock stored(MemoryManager().GetMem(static_cast<size_t>(records_.RecordSize())),
                          records_.RecordSize());
      ReadStored(number, static_cast<uint8_t*>(stored.data()));
      form_.ToBuffer(static_cast<const uint8_t*>(stored.data()), navigation.Target);
    } else {
      form_.ToBuffer(records_.At(number), navigation.Target);
    }
  }
  navigation.Outcome = TABSNavigationRecord::kFound;
}

int TABSTemporaryRecordManager::CompareAddresses(const TABSRecordAddress& a, const TABSRecordAddress& b) {
  const int64_t left = NumberOf(a);
  const int64_t right = NumberOf(b);
  return left < right ? -1 : (left > right ? 1 : 0);
}

int64_t TABSTemporaryRecordManager::ApproximateOrdinal(int32_t /*session*/,
                                                       const TABSRecordAddress& address) {
  const int64_t number = NumberOf(address);
  return number >= 0 && number < RecordCount ? number + 1 : -1;
}

}  // namespace viz
