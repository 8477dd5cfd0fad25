#include "engine/tables/record_layout.h"

#include <cstring>

#include "engine/tables/field_defs.h"

namespace viz {

void StoredRecordToRecordBuffer(const TABSFieldDefs& fields, const uint8_t* stored, uint8_t* buffer) {
  std::memset(buffer, 0, static_cast<size_t>(fields.RecordBufferSize()));
  std::memcpy(buffer, stored, static_cast<size_t>(fields.NullBitmapSize()));
  for (int32_t i = 0; i < fields.Count(); ++i) {
    const TABSFieldDef& field = fields[i];
    std::memcpy(buffer + field.BufferOffset, stored + field.StoredOffset, static_cast<size_t>(field.StoredSize()));
  }
}

void RecordBufferToStoredRecord(const TABSFieldDefs& fields, const uint8_t* buffer, uint8_t* stored) {
  std::memset(stored, 0, static_cast<size_t>(fields.StoredRecordSize()));
  std::memcpy(stored, buffer, static_cast<size_t>(fields.NullBitmapSize()));
  for (int32_t i = 0; i < fields.Count(); ++i) {
    const TABSFieldDef& field = fields[i];
    std::memcpy(stored + field.StoredOffset, buffer + field.BufferOffset, static_cast<size_t>(field.StoredSize()));
  }
}

bool RecordBuffersEqual(const TABSFieldDefs& fields, const uint8_t* a, const uint8_t* b) {
  if (std::memcmp(a, b, static_cast<size_t>(fields.NullBitmapSize())) != 0) return false;
  for (int32_t i = 0; i < fields.Count(); ++i) {
    const TABSFieldDef& field = fields[i];
    const uint8_t* left = a + field.BufferOffset;
    const uint8_t* right = b + field.BufferOffset;
    for (int32_t pos = 0; pos < field.StoredSize(); ++pos) {
      if (left[pos] == 0 && right[pos] == 0) break;
      if (left[pos] != right[pos]) return false;
    }
  }
  return true;
}

}  // namespace viz
