// Reading and writing one field of a record buffer in the dataset framework's value form.
//
// Record buffer: a null bitmap of ceil(n / 8) bytes (bit i of byte i / 8, least significant first,
// set = field i is NULL), then the fields at their buffer offsets. The framework's value form
// differs from the stored form only in four types: SHORTINT travels as a 16-bit integer, CARDINAL as
// a 64-bit integer, SINGLE and EXTENDED as a double.
#pragma once

#include <cstdint>
#include <span>

#include "engine/types/data_types.h"

namespace viz {

//! What record value access needs to know of one field: its types and its place in the buffer.
//! Field definitions hand these out (one per field, in definition order).
struct TABSFieldLayout {
  TABSDataType DataType = dt::kNone;
  TABSBaseType BaseType = bt::kNone;
  //! Offset of the field's bytes in the record buffer.
  int32_t MemoryOffset = 0;
  //! Bytes of the field in the record buffer (`BaseTypeDataSize`).
  int32_t MemoryDataSize = 0;
};

//! True when field `fieldNo`'s null bit is set.
bool GetFieldNullBit(const void* recordBuffer, int32_t fieldNo);
//! Sets or clears field `fieldNo`'s null bit.
void SetFieldNullBit(void* recordBuffer, int32_t fieldNo, bool isNull);

//! Returns false (destination untouched) when the field is NULL, otherwise true; copies the value
//! into `destination` in the framework's value form unless the destination is absent or the field is
//! a BLOB kind. Raises 10000 for a field number beyond the fields, 10003 for an absent record buffer,
//! 10002 when the field lies outside `recordSize` (when given, ≥ 0).
bool ReadFieldValue(int32_t fieldNo, std::span<const TABSFieldLayout> fields, void* destination,
                    const void* recordBuffer, int32_t recordSize = -1);

//! Stores a value given in the framework's value form. Text is taken up to its terminator (at most
//! the field's characters) and the rest of the field is zeroed. An absent source, an empty single-byte
//! string (CHAR, STRING, GUID) or an empty wide string (WIDECHAR, WIDESTRING) makes the field NULL.
//! Raises 10004 for a field number beyond the fields.
void WriteFieldValue(int32_t fieldNo, std::span<const TABSFieldLayout> fields, const void* source,
                     void* recordBuffer);

}  // namespace viz
