// What an expression reads its fields from: the current row of something that has named, typed
// fields. A cursor's current record and the current row of a relational operator both fill this
// interface, so that one expression tree serves dataset filters, key searches and SQL statements.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/types/VIZVariant.h"
#include "engine/types/data_types.h"

namespace viz {

//! One field of a row source, as an expression sees it.
struct TABSExprFieldInfo {
  //! The field's own name (what an index column names).
  std::string Name;
  //! Name of the table the field belongs to, or "" when it has none (a computed column).
  std::string TableName;
  TABSDataType DataType = dt::kNone;
  TABSBaseType BaseType = bt::kNone;
  //! Declared size: characters for the string types, bytes for BYTES and VARBYTES, else 0.
  int32_t Size = 0;
  int32_t Precision = 0;
};

//! A field's stored bytes in the current row, read in place (see TABSExprRowSource::FieldBytes).
struct TABSFieldBytes {
  //! The bytes, or null when the field is NULL or the source cannot give them in place.
  const uint8_t* Data = nullptr;
  //! Number of bytes at Data (a text field's bytes hold its terminator when it is shorter).
  int32_t Size = 0;
  bool IsNull = false;
};

class TABSExprRowSource {
 public:
  TABSExprRowSource() = default;
  TABSExprRowSource(const TABSExprRowSource&) = delete;
  TABSExprRowSource& operator=(const TABSExprRowSource&) = delete;
  virtual ~TABSExprRowSource() = default;

  //! Returns the number of the field called `fieldName` (compared without regard to case), or −1.
  //! A `tableName` other than "" must name the table (or its alias) the field belongs to. Raises
  //! 10404 "Ambiguous field reference to '%s'" when the name stands for more than one field.
  virtual int32_t FindField(std::string_view tableName, std::string_view fieldName) const = 0;
  //! REQUIRES: fieldNo was returned by FindField.
  virtual TABSExprFieldInfo FieldInfo(int32_t fieldNo) const = 0;
  //! Reads field `fieldNo` of the current row into `value`: NULL (type kept) or the value in the
  //! field's base type. The value may borrow the row's memory; it stays valid until the row moves.
  virtual void ReadField(int32_t fieldNo, TABSVariant& value) = 0;

  //! The stored bytes of field `fieldNo` in the current row, without copying, for the comparisons
  //! that read them directly. A source without a record buffer (or a BLOB kind) leaves Data null
  //! and IsNull false; the caller then reads through ReadField.
  virtual TABSFieldBytes FieldBytes(int32_t fieldNo) {
    (void)fieldNo;
    return {};
  }

  //! True for a relational operator's row; false for a cursor's record. Messages name the fields of
  //! operators as table.field.
  virtual bool IsOperator() const { return false; }
  //! True when the rows are groups, so that aggregates may be evaluated on them.
  virtual bool IsGrouping() const { return false; }
};

}  // namespace viz
