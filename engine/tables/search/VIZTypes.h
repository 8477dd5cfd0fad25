// Table search types: scan search conditions, the index position cache, record bitmaps and the
// engine's plain arrays.
#pragma once

#include <cstdint>

#include "engine/tables/btree/key_path.h"
#include "engine/tables/record_layout.h"
#include "engine/tables/search/bits_array.h"
#include "engine/tables/search/engine_arrays.h"
#include "engine/tables/search/record_bitmap.h"
#include "engine/tables/search/scan_condition.h"

namespace viz {

//! Where a cursor last stood in an index, so that the next step starts from that path instead of
//! searching the record again. Valid only while index, record and state counter still match.
struct TABSIndexPositionCache {
  TABSKeyPath Path;
  //! ObjectID of the index the path belongs to; -1 when empty.
  int32_t IndexID = -1;
  TABSRecordAddress Address;
  int32_t StateCounter = -1;

  void Clear() { IndexID = -1; }
};

}  // namespace viz
