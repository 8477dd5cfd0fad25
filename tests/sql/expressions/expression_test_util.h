// Helpers of the expression tests: evaluating an expression text, reading the error it raises,
// and a small table of records laid out as the table data model lays them out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/sql/VIZExpressions.h"
#include "engine/tables/field_defs.h"
#include "engine/types/VIZVariant.h"
#include "engine/types/errors.h"

namespace viz::testing {

//! A value as the tests write it: "NULL", "TRUE", "FALSE", or the value's text.
std::string Show(const TABSVariant& value);

//! What an expression text gives without a table: its value, data type and declared size.
struct Evaluated {
  std::string value;
  TABSDataType type = dt::kNone;
  int32_t size = 0;
};
//! Parses the text as a condition when it is one, else as a value, binds it to `source` (may be
//! null) and evaluates it once. The whole text must be used.
Evaluated Evaluate(std::string_view text, TABSExprRowSource* source = nullptr);

//! The error a call raises: its native code and message ("" and 0 when it raises nothing).
struct Raised {
  int32_t code = 0;
  std::string message;
};
template <class F>
Raised RaisedBy(F&& action) {
  try {
    action();
  } catch (const EABSException& e) {
    return {e.NativeErrorCode(), e.Message()};
  } catch (const Exception& e) {
    return {-1, e.Message()};
  }
  return {};
}
//! The error evaluating a text raises.
Raised EvaluationError(std::string_view text, TABSExprRowSource* source = nullptr);

//! Fields and records of a table kept in memory, read through a TABSRecordRowSource.
class TestRows {
 public:
  struct Column {
    const char* name;
    TABSDataType type;
    int32_t size = 0;
  };
  explicit TestRows(std::vector<Column> columns, std::string tableName = "T");

  //! Appends a record; values are converted into the fields' types, NULL for a NULL variant.
  void Add(const std::vector<TABSVariant>& values);
  size_t Count() const { return records_.size(); }
  //! Makes record `row` the current row of the source.
  void Select(size_t row) { source_->SetRecordBuffer(records_[row].data()); }
  TABSRecordRowSource& Source() { return *source_; }
  const TABSFieldDefs& Fields() const { return fields_; }

 private:
  TABSFieldDefs fields_;
  std::vector<std::vector<uint8_t>> records_;
  std::unique_ptr<TABSRecordRowSource> source_;
};

//! Variants for building rows: integers, floats, text, NULL.
TABSVariant Int(int32_t value);
TABSVariant Large(int64_t value);
TABSVariant Real(double value);
TABSVariant Text(std::string_view value);
TABSVariant Null();

}  // namespace viz::testing
