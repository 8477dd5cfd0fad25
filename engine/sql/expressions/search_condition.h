// A filter on a table: an expression bound to the records of a cursor's table and handed to table
// navigation as the cursor's filter (or SQL filter, or locate condition).
//
//   TABSExprSearchCondition filter(*cursor.Table(), cursor);
//   filter.ParseFilter("Id >= 100 AND Id < 200 AND Name LIKE 'A%'", false, false);
//   cursor.Navigation().FilterExpression = &filter;
//
// Navigation evaluates the expression on each candidate record. Before a search it also asks for
// index conditions: the conjuncts an index of the table can answer (see index_conditions.h) become
// scan conditions on that index, so that the search reads only the index range they bound. The
// expression still checks every conjunct on the records of that range (the conditions are marked
// redundant), so what a search finds is always what row-by-row evaluation accepts.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/sql/VIZExpressions.h"
#include "engine/sql/expressions/cursor_row_source.h"
#include "engine/tables/search/scan_condition.h"

namespace viz {

class TABSExprSearchCondition : public TABSSearchExpression {
 public:
  //! REQUIRES: the cursor has `table` open; both outlive the condition.
  TABSExprSearchCondition(TABSTableData& table, TABSCursor& cursor);

  //! Compiles a filter text on the table's fields (the errors of TABSExpression::ParseFilter).
  void ParseFilter(std::string_view text, bool partialCompare, bool caseInsensitive);
  //! The expression, for building it some other way (it must stay bound to Rows()).
  TABSExpression& Expression() { return expression_; }
  TABSCursorRowSource& Rows() { return rows_; }

  //! Whether searches may turn conjuncts into index scans (true unless switched off).
  bool UseIndexes = true;

  bool IsTrue(TABSCursor& cursor, const uint8_t* record, const uint8_t* source) override;
  void ExtractIndexConditions(TABSCursor& cursor, const TABSIndexDefs& indexes,
                              TABSScanSearchConditionArray& conditions) override;

 private:
  TABSTableData& table_;
  TABSCursorRowSource rows_;
  TABSExpression expression_;
};

}  // namespace viz
