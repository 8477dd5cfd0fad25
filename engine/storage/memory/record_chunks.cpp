#include "engine/storage/memory/record_chunks.h"

#include <cstring>
#include <limits>

#include "engine/storage/memory_manager.h"
#include "engine/tables/VIZBaseEngine.h"
#include "engine/types/errors.h"

namespace viz {

namespace {
const TABSFieldDefs& FieldsOf(TABSTableData* table) {
  if (!table || !table->FieldManager()) throw EABSException(msg::kNilPointer);
  return table->FieldManager()->FieldDefs();
}
}  // namespace

TABSStoredRecordForm::TABSStoredRecordForm(TABSTableData* table, int32_t invalidSizeCode)
    : table_(table),
      storedSize_(FieldsOf(table).Count() > 0 ? FieldsOf(table).StoredRecordSize() : 0),
      bufferSize_(FieldsOf(table).Count() > 0 ? FieldsOf(table).RecordBufferSize() : 0) {
  if (storedSize_ <= 0) throw EABSException(msg::kInvalidRecordSize.At(invalidSizeCode), storedSize_);
}

void TABSStoredRecordForm::ToStored(const uint8_t* buffer, uint8_t* stored) const {
  if (storedSize_ == bufferSize_)
    std::memcpy(stored, buffer, static_cast<size_t>(storedSize_));
  else
    RecordBufferToStoredRecord(FieldsOf(table_), buffer, stored);
}

void TABSStoredRecordForm::ToBuffer(const uint8_t* stored, uint8_t* buffer) const {
  if (storedSize_ == bufferSize_)
    std::memcpy(buffer, stored, static_cast<size_t>(storedSize_));
  else
    StoredRecordToRecordBuffer(FieldsOf(table_), stored, buffer);
}

void TABSRecordChunks::Grow() {
  const int64_t bytes = static_cast<int64_t>(recordSize_) * growthStep_;
  if (bytes > std::numeric_limits<int32_t>::max())
    throw EABSException(msg::kMemoryLimitExceeded, std::numeric_limits<int32_t>::max());
  chunks_.emplace_back(MemoryManager().GetMemZero(static_cast<size_t>(bytes)), static_cast<int32_t>(bytes));
}

}  // namespace viz
