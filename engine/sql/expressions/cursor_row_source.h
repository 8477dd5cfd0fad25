// A row source over the records of a cursor's table: the fields of a record buffer in the table's
// layout (the cursor's current record, or a record a table search is testing), with BLOB and memo
// fields read through the table's BLOB streams.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/sql/expressions/record_row_source.h"

namespace viz {

class TABSCursor;
class TABSTableData;

class TABSCursorRowSource : public TABSRecordRowSource {
 public:
  //! REQUIRES: the cursor has `table` open; both outlive the source, and the table's field
  //! definitions do not change while it is used. The current row starts as the cursor's record
  //! buffer (SetRecordBuffer points it elsewhere).
  TABSCursorRowSource(TABSTableData& table, TABSCursor& cursor);

  TABSTableData& Table() const { return table_; }
  TABSCursor& Cursor() const { return cursor_; }
  //! Makes the cursor's record buffer the current row again.
  void UseCursorRecord();

 protected:
  //! Reads the whole value through a read-only BLOB stream of the table on the current row.
  void ReadBlobField(int32_t fieldNo, TABSVariant& value) override;

 private:
  TABSTableData& table_;
  TABSCursor& cursor_;
  // One buffer per field for the values read, so that a value stays valid until the row moves.
  std::vector<std::string> blobs_;
};

}  // namespace viz
