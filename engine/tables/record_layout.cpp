#include "engine/tables/record_layout.h"

#include <cstring>

#include "engine/tables/field_defs.h"

namespace viz {

void StoredRecordToRecordBuffer(const TABSFieldDefs& fields, const uint8_t* stored, uint8_t* buffer) {
  const int32_t count = fields.Count();
  std::memset(buffer, 0, static_cast<size_t>(fields.RecordBufferSize()));
  std::memcpy(buffer, stored, static_cast<size_t>(fields.NullBitmapSize()));
  for (int32_t i = 0; i < count; ++i) {
    const TABSFieldDef& field = fields[i];
    std::memcpy(buffer + field.BufferOffset, stored + field.StoredOffset,
                static_cast<size_t>(field.StoredSize()));
  }
}

void RecordBufferToStoredRecord(const TABSFieldDefs& fields, const uint8_t* buffer, uint8_t* stored) {
  const int32_t count = fields.Count();
  std::memset(stored, 0, static_cast<size_t>(fields.StoredRecordSize()));
  std::memcpy(stored, buffer, static_cast<size_t>(fields.NullBitmapSize()));
  for (int32_t i = 0; i < count; ++i) {
    const TABSFieldDef& field = fields[i];
    std::memcpy(stored + field.StoredOffset, buffer + field.BufferOffset,
                static_cast<size_t>(field.StoredSize()));
  }
}

bool RecordBuffersEqual(const TABSFieldDefs& fields, const uint8_t* a, const uint8_t* b) {
  if (std::memcmp(a, b, static_cast<size_t>(fields.NullBitmapSize())) != 0) return false;
  for (int32_t i = 0; i < fields.Count(); ++i) {
    const TABSFieldDef& field = fields[i];
    const uint8_t* left = a + field.BufferOffset;
    const uint8_t* right = b + field.BufferOffset;
    const size_t size = static_cast<size_t>(field.StoredSize());
    if (!IsStringBaseType(field.BaseType())) {
      // Zero bytes inside a number or a reference end nothing: 256 and 512 both begin with one.
      if (std::memcmp(left, right, size) != 0) return false;
      continue;
    }
    // Text ends at its terminator; what lies behind it is left over from earlier values. A wide
    // text's terminator is a zero 16-bit unit, not a zero byte (the high byte of most characters).
    const size_t unit = IsWideStringBaseType(field.BaseType()) ? 2 : 1;
    for (size_t pos = 0; pos + unit <= size; pos += unit) {
      const bool leftEnds = left[pos] == 0 && (unit == 1 || left[pos + 1] == 0);
      const bool rightEnds = right[pos] == 0 && (unit == 1 || right[pos + 1] == 0);
      if (leftEnds && rightEnds) break;
      if (std::memcmp(left + pos, right + pos, unit) != 0) return false;
    }
  }
  return true;
}

}  // namespace viz
