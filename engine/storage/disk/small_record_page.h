// A record page of a disk table (page type 10): R fixed-size slots of A bytes, A the table's stored
// record size, behind a presence bitmap. D is the page data size.
//
//   page header offset 22 | i32 | id of the table the page belongs to
//
//   data offset     | size        | content
//   0               | ceil(R / 8) | presence bitmap: bit i of byte i div 8 (least significant bit
//                   |             | first) is set when slot i holds a record
//   ceil(R / 8)     | R x A       | the slots; slot i at ceil(R / 8) + i x A
//
// R = trunc((D - 1) / (A + 0.125)): the largest count whose bitmap and slots fit into D - 1 bytes.
// With D = 4056 and A = 100, R = 40.
#pragma once

#include <cstdint>

#include "engine/storage/VIZPage.h"

namespace viz {

class TABSSmallRecordPage : public TABSPageController {
 public:
  static constexpr uint16_t kPageType = 10;
  //! Offset of the owner table's id in the page header.
  static constexpr int kTableIdOffset = 22;

  //! R for data size `dataSize` and stored record size `recordSize`; 0 when not one record fits.
  static int32_t RecordsPerPage(int32_t dataSize, int32_t recordSize);

  //! Interprets `page` (not owned, may be null until set). Raises "Invalid number of records on
  //! page" (20140) when a page of that data size cannot hold the bitmap and R slots.
  TABSSmallRecordPage(TABSPage* page, int32_t recordsPerPage, int32_t recordSize);

  //! Makes the page an empty record page of `tableId`.
  void Initialise(int32_t tableId);
  int32_t TableId() const;

  int32_t RecordsPerPage() const { return recordsPerPage_; }
  int32_t RecordSize() const { return recordSize_; }
  int32_t BitmapSize() const { return (recordsPerPage_ + 7) / 8; }

  bool IsOccupied(int32_t slot) const;
  //! Sets or clears slot `slot`'s presence bit (the page becomes dirty).
  void SetOccupied(int32_t slot, bool occupied);
  //! Slots that hold a record.
  int32_t RecordCount() const;
  //! The first slot without a record, -1 when the page is full.
  int32_t FirstFreeSlot() const;
  //! The first occupied slot after `slot` (-1: from the start), -1 when none.
  int32_t NextOccupied(int32_t slot) const;
  //! The last occupied slot before `slot` (R: from the end), -1 when none.
  int32_t PriorOccupied(int32_t slot) const;
  //! The slot of the n-th record (n from 1), -1 when the page holds fewer.
  int32_t NthOccupied(int32_t n) const;
  //! Records in the slots before `slot`.
  int32_t OccupiedBefore(int32_t slot) const;
  //! The bytes of slot `slot`.
  uint8_t* Slot(int32_t slot) const;

 private:
  const uint8_t* Bitmap() const { return Data(); }

  int32_t recordsPerPage_;
  int32_t recordSize_;
};

}  // namespace viz
