// The two forms of a record. Both begin with the same null bitmap of ceil(n / 8) bytes for n fields
// (bit i of byte i div 8, least significant bit first, set when field i is NULL), followed by the
// fields in definition order without padding:
//
//   record buffer (memory):  each field takes its buffer size, at its buffer offset
//   stored record (backend): each field takes its stored size, at its stored offset
//
// They differ only in BLOB fields: a BLOB field's 10 buffer bytes are the 6-byte stored reference
// followed by a 4-byte in-memory handle, and the stored record keeps the first 6.
//
// Example (STRING(20), BLOB, INTEGER): buffer offsets 1, 22, 32, record buffer size 36;
// stored offsets 1, 22, 28, stored record size 32.
#pragma once

#include <cstdint>

namespace viz {

class TABSFieldDefs;

//! Where a record lives: opaque outside the backend that made it; ordered by the first number,
//! then the second. 6 bytes in stored and key forms.
struct TABSRecordAddress {
  int32_t PageNo = -1;
  uint16_t RecordNo = 0xFFFF;

  friend bool operator==(const TABSRecordAddress&, const TABSRecordAddress&) = default;
  friend bool operator<(const TABSRecordAddress& a, const TABSRecordAddress& b) {
    return a.PageNo != b.PageNo ? a.PageNo < b.PageNo : a.RecordNo < b.RecordNo;
  }
};

//! Returns whether field `field`'s bit is set in the record's null bitmap.
inline bool IsNullFlagSet(const uint8_t* record, int32_t field) {
  return (record[field >> 3] & (1u << (field & 7))) != 0;
}
inline void SetNullFlag(uint8_t* record, int32_t field) {
  record[field >> 3] = static_cast<uint8_t>(record[field >> 3] | (1u << (field & 7)));
}
inline void ClearNullFlag(uint8_t* record, int32_t field) {
  record[field >> 3] = static_cast<uint8_t>(record[field >> 3] & ~(1u << (field & 7)));
}

//! Fills a record buffer from a stored record: the buffer is zeroed, the null bitmap copied, then each
//! field's stored bytes copied to its buffer offset (BLOB handles are therefore zero).
//! REQUIRES: the offsets of `fields` are computed; the buffers have the sizes the definitions give.
void StoredRecordToRecordBuffer(const TABSFieldDefs& fields, const uint8_t* stored, uint8_t* buffer);
//! Fills a stored record from a record buffer (the inverse of the above).
void RecordBufferToStoredRecord(const TABSFieldDefs& fields, const uint8_t* buffer, uint8_t* stored);
//! Returns whether two record buffers hold the same record: equal null bitmaps and, for each field,
//! equal first stored-size bytes at its buffer offset. A text field's comparison stops, as equal,
//! where both sides hold a terminator (a zero byte; a zero 16-bit unit for wide text), so that bytes
//! left behind a shorter text do not count; other fields compare all their bytes.
bool RecordBuffersEqual(const TABSFieldDefs& fields, const uint8_t* a, const uint8_t* b);

}  // namespace viz
