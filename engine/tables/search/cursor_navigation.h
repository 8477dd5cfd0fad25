// What table navigation reads of a cursor: its order, the record buffer it reads into, its key
// search, range, filters and distinct-key count, and the record bitmap and position cache it owns.
// The cursor sets these; the buffers it points to are its own and outlive each call.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "engine/tables/search/VIZTypes.h"

namespace viz {

class TABSCursor;

//! Called for every candidate record; returns whether the record passes.
using TABSFilterCallback = std::function<bool(TABSCursor& cursor, const uint8_t* record)>;

//! A key range on the cursor's index: record buffers holding the key values, the number of leading
//! index columns each gives (0 = all) and whether the end itself is excluded.
struct TABSCursorRange {
  const uint8_t* Start = nullptr;
  int32_t StartFieldCount = 0;
  bool StartExclusive = false;
  const uint8_t* End = nullptr;
  int32_t EndFieldCount = 0;
  bool EndExclusive = false;

  bool Active() const { return Start != nullptr || End != nullptr; }
};

//! What the last read of a record into a cursor's buffer put there, and from which content of the
//! record's page. While that page still has the same content serial and the buffer still holds the
//! same bytes, reading the record again into the buffer would change nothing.
struct TABSRecordReadStamp {
  //! The record manager that read it; null when no read is noted.
  const void* Records = nullptr;
  const uint8_t* Buffer = nullptr;
  TABSRecordAddress Address;
  uint64_t PageSerial = 0;
  std::vector<uint8_t> Bytes;

  //! Notes a read of `size` bytes into `buffer`; a read without a page serial notes nothing.
  void Note(const void* records, const uint8_t* buffer, const TABSRecordAddress& address, uint64_t serial,
            size_t size) {
    if (serial == 0 || !buffer) {
      Clear();
      return;
    }
    Records = records;
    Buffer = buffer;
    Address = address;
    PageSerial = serial;
    Bytes.assign(buffer, buffer + size);
  }
  //! Whether the noted read was of the record at `address` by `records` into `buffer`, which still
  //! holds what the read put there (the page serial is the caller's to compare).
  bool Holds(const void* records, const uint8_t* buffer, const TABSRecordAddress& address, size_t size) const {
    return Records != nullptr && Records == records && Buffer == buffer && Address == address && Bytes.size() == size &&
           std::memcmp(Bytes.data(), buffer, size) == 0;
  }
  void Clear() {
    Records = nullptr;
    Buffer = nullptr;
    PageSerial = 0;
  }
};

struct TABSCursorNavigation {
  //! ObjectID of the index that orders the cursor; -1 for storage order.
  int32_t OrderIndexID = -1;
  //! The record buffer steps read into (the table's record buffer size at least).
  uint8_t* RecordBuffer = nullptr;
  //! The values of the record at the cursor's position as its user last read them, when they are not
  //! in RecordBuffer (a dataset reads the next record into a spare buffer); null otherwise. A step
  //! from a record that is gone goes on from them. Set only for the duration of one step.
  const uint8_t* PositionRecord = nullptr;
  //! Key of the next key search (a record buffer) and its number of leading index columns.
  const uint8_t* KeyBuffer = nullptr;
  int32_t KeyFieldCount = 0;
  TABSCursorRange Range;
  //! The compiled filter text, the SQL filter and the locate condition (not owned).
  TABSSearchExpression* FilterExpression = nullptr;
  TABSSearchExpression* SqlFilter = nullptr;
  TABSSearchExpression* SearchExpression = nullptr;
  TABSFilterCallback FilterCallback;
  //! Leading columns of the order index on which each distinct key shows only once; 0 for none.
  int32_t DistinctKeyCount = 0;
  TABSRecordBitmap Bitmap;
  TABSIndexPositionCache PositionCache;
  TABSRecordReadStamp ReadStamp;

  //! A restricted cursor reaches only some records: those its bitmap remembers.
  bool IsRestricted() const {
    return FilterExpression != nullptr || SqlFilter != nullptr || static_cast<bool>(FilterCallback) ||
           Range.Active() || DistinctKeyCount > 0;
  }
};

}  // namespace viz
