// Fixed-size records in memory, held in chunks of `growth step` records: the capacity grows by one
// chunk at a time and a record never moves once stored, so growing costs no copying. And the move
// between a table's record buffers and the stored records kept there.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/types/raw_values.h"

namespace viz {

class TABSTableData;

//! Converts between a table's record buffers and its stored records; a plain copy when the two share
//! one layout (a table without BLOB fields).
class TABSStoredRecordForm {
 public:
  //! REQUIRES: the table's field definitions are set. Raises "Invalid record size = %d" with
  //! `invalidSizeCode` when the stored record has no bytes.
  TABSStoredRecordForm(TABSTableData* table, int32_t invalidSizeCode);

  int32_t StoredSize() const { return storedSize_; }
  int32_t BufferSize() const { return bufferSize_; }
  void ToStored(const uint8_t* buffer, uint8_t* stored) const;
  void ToBuffer(const uint8_t* stored, uint8_t* buffer) const;

 private:
  TABSTableData* table_;
  int32_t storedSize_;
  int32_t bufferSize_;
};

class TABSRecordChunks {
 public:
  //! REQUIRES: recordSize > 0, growthStep > 0.
  TABSRecordChunks(int32_t recordSize, int32_t growthStep)
      : recordSize_(recordSize), growthStep_(growthStep) {}

  int64_t Capacity() const { return static_cast<int64_t>(chunks_.size()) * growthStep_; }
  //! Adds one chunk of zeroed records.
  void Grow();
  //! Frees every chunk.
  void Clear() { chunks_.clear(); }

  //! REQUIRES: 0 <= slot < Capacity().
  uint8_t* At(int64_t slot) const {
    const auto& chunk = chunks_[static_cast<size_t>(slot / growthStep_)];
    return static_cast<uint8_t*>(chunk.data()) + (slot % growthStep_) * recordSize_;
  }

  int32_t RecordSize() const { return recordSize_; }
  int32_t GrowthStep() const { return growthStep_; }

 private:
  int32_t recordSize_;
  int32_t growthStep_;
  std::vector<TABSMemBlock> chunks_;
};

}  // namespace viz
