// What an expression reads of the database it belongs to beyond the row it is evaluated on: the
// last automatic value of a table's autoincrement field (LASTAUTOINC). The layer that owns sessions
// and cursors implements it (a private read-only cursor on the table); an expression built without
// one cannot use LASTAUTOINC.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "engine/types/data_types.h"

namespace viz {

//! One table opened for reading on behalf of an expression; it stays open as long as the node that
//! asked for it.
class TABSExprTableReader {
 public:
  virtual ~TABSExprTableReader() = default;
  //! The number of the field called `fieldName` (compared without regard to case), or -1.
  virtual int32_t FindField(std::string_view fieldName) const = 0;
  //! REQUIRES: fieldNo was returned by FindField.
  virtual TABSDataType FieldType(int32_t fieldNo) const = 0;
  //! The last value the reader's session gave to the automatically incremented field `fieldNo`
  //! (0 before the first).
  virtual int64_t LastAutoincValue(int32_t fieldNo) = 0;
};

class TABSExprDatabase {
 public:
  virtual ~TABSExprDatabase() = default;
  //! Opens table `tableName` for reading, of the in-memory database when `inMemory`. Raises the
  //! table layer's error when there is no such table.
  virtual std::unique_ptr<TABSExprTableReader> OpenTable(std::string_view tableName, bool inMemory) = 0;
};

}  // namespace viz
