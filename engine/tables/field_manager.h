// The per-table keeper of field definitions, automatic counters and default values, and of the
// conversions between the record buffer and the stored record.
//
// Stored form of the counters (kept by the backend with the table's header data):
//   i32 count | count x i64 counter, in field order
#pragma once

#include <cstdint>
#include <vector>

#include "engine/tables/field_defs.h"

namespace viz {

class TABSBaseSession;
class TStream;
class TABSTableData;

class TABSBaseFieldManager {
 public:
  explicit TABSBaseFieldManager(TABSTableData* table) : table_(table) {}
  TABSBaseFieldManager(const TABSBaseFieldManager&) = delete;
  TABSBaseFieldManager& operator=(const TABSBaseFieldManager&) = delete;
  virtual ~TABSBaseFieldManager() = default;

  // Virtual operations in slot order.
  //! Advances field `field`'s counter by its increment (1 when the increment is 0) and returns it.
  //! Past a maximum other than 0 the counter restarts at the minimum when cycled, else raises 20160.
  //! Raises 30402 / 30403 "Field #%d not found" when the field or its counter does not exist.
  virtual int64_t GetNextAutoincValue(int32_t field);
  //! Writes every non-NULL default value into the record buffer, converted to the field's base type,
  //! and clears its null flag. BLOB fields are left alone (their bytes are a reference). Raises 20056
  //! for a default longer than its field.
  virtual void ApplyDefaults(uint8_t* record);
  //! Gives each NULL autoincrement field of the record its next value (remembered in the session);
  //! an explicit value greater than the counter moves the counter up to it.
  virtual void ApplyAutoincs(TABSBaseSession* session, uint8_t* record);
  //! As `GetNextAutoincValue`, then remembers the value in the session under the field's ObjectID.
  virtual int64_t GetNextAutoincValueForSession(TABSBaseSession* session, int32_t field);
  //! Returns the value the session last received for the field.
  //! Raises 30012 when the session has none.
  virtual int64_t GetLastAutoincValue(TABSBaseSession* session, int32_t field);

  TABSTableData* TableData() const { return table_; }
  TABSFieldDefs& FieldDefs() { return fieldDefs_; }
  const TABSFieldDefs& FieldDefs() const { return fieldDefs_; }

  //! Sets every counter to the field's initial value (autoincrement data types) or 0.
  void ResetAutoincs();
  int32_t AutoincCount() const { return static_cast<int32_t>(counters_.size()); }
  int64_t AutoincValue(int32_t field) const { return counters_.at(static_cast<size_t>(field)); }
  void SetAutoincValue(int32_t field, int64_t value) { counters_.at(static_cast<size_t>(field)) = value; }
  //! Writes the counters (10160, 10161 on a short write).
  void SaveAutoincsToStream(TStream& stream) const;
  //! Replaces the counters by those of the stream (10162, 10163 on a short read).
  void LoadAutoincsFromStream(TStream& stream);

  void StoredRecordToRecordBuffer(const uint8_t* stored, uint8_t* buffer) const;
  void RecordBufferToStoredRecord(const uint8_t* buffer, uint8_t* stored) const;
  bool RecordBuffersEqual(const uint8_t* a, const uint8_t* b) const;

 private:
  TABSTableData* table_;
  TABSFieldDefs fieldDefs_;
  //! The last automatic value given, one per field.
  std::vector<int64_t> counters_;
};

}  // namespace viz
