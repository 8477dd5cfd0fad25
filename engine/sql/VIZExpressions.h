// Expressions: compiled conditions and values of the SQL dialect, of dataset filters and of key
// searches.
//
// A TABSExpression owns one tree of nodes. It is parsed from the tokens of a statement
// (ParseCondition, ParseValue) or from a text of its own (ParseFilter), or built from field names
// and values (BuildKeyCondition, BuildFieldComparison); bound to the row source it reads (a
// cursor's current record, the current row of a relational operator); and then evaluated once per
// row:
//
//   TABSRecordRowSource rows(fieldDefs, "people");
//   TABSExpression filter;
//   filter.ParseFilter(&rows, "Age > 30 AND Name LIKE 'A%'", false, false);
//   for (const uint8_t* record : records) {
//     rows.SetRecordBuffer(record);
//     if (filter.GetBoolean()) ...;
//   }
//
// Values and NULLs. Every node keeps its own result variant and overwrites it at each evaluation:
// evaluating a comparison of a field with a constant allocates nothing. Arithmetic and string
// functions give NULL for a NULL operand. Comparisons are TRUE or FALSE, never NULL: a NULL operand
// makes them FALSE (null-strict), except where a field meets a constant that is NULL, text or a
// date: then NULL equals NULL and is less than every value (x = NULL finds the NULLs, x <> 'a'
// holds for a NULL x). NOT, AND and OR use NULL as the third truth value; GetBoolean counts NULL
// as FALSE.
//
// Text compares case-sensitively in SQL statements; a filter may ask for case-insensitive
// comparison, and for partial compare, where a text constant ending in '*' compares by prefix
// (Name = 'Jo*' holds for "John"). IN, BETWEEN, MIN, MAX and the simple CASE always compare text
// without regard to case.
//
// A filter on a table: TABSExprSearchCondition (search_condition.h) binds an expression to a cursor's
// table and hands it to table navigation, which evaluates it on each record and turns the conjuncts
// that indexes can answer into index range scans.
//
// Not yet here: subqueries (EXISTS, IN (SELECT ...), scalar and quantified subqueries) run on the
// query executor; subquery.h gives the interface it fills.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/sql/VIZLexer.h"
#include "engine/sql/expressions/index_conditions.h"
#include "engine/sql/expressions/node.h"
#include "engine/sql/expressions/record_row_source.h"
#include "engine/sql/expressions/row_source.h"
#include "engine/sql/expressions/subquery.h"
#include "engine/sql/expressions/table_access.h"
#include "engine/tables/index_defs.h"
#include "engine/types/VIZVariant.h"

namespace viz {

class TABSExpression {
 public:
  TABSExpression();
  TABSExpression(const TABSExpression&) = delete;
  TABSExpression& operator=(const TABSExpression&) = delete;
  ~TABSExpression();

  //! Text comparisons without regard to case (dataset filters; false for SQL statements).
  bool CaseInsensitive = false;
  //! A text constant ending in '*' compares by prefix (dataset filters only).
  bool PartialCompare = false;
  //! The database LASTAUTOINC opens its table in (not owned); without one LASTAUTOINC raises 30336
  //! "Dataset and AO not assigned". With `InMemory` its tables are those of the in-memory database.
  TABSExprDatabase* Database = nullptr;
  bool InMemory = false;

  // ---- Building. Each replaces the tree the expression had.

  //! Parses a condition at the lexer's current token and leaves the lexer after it. Nested AND
  //! lists become one. Raises 30066 "Boolean expression expected, but '%s' found at line %d,
  //! column %d" when no condition stands there, and the parse errors of what stands there.
  void ParseCondition(TABSLexer& lexer);
  //! Parses a value expression at the lexer's current token. Returns false, leaving the lexer and
  //! the expression as they were, when none begins there.
  bool ParseValue(TABSLexer& lexer);
  //! Lexes and parses a condition text (no parameters) with the given options and binds it to
  //! `source` (may be null). Raises 30119 "Blank SQL command" for an empty text and 30064
  //! "Unexpected token" for anything after the condition.
  void ParseFilter(TABSExprRowSource* source, std::string_view text, bool partialCompare, bool caseInsensitive);
  //! field1 = value1 AND field2 = value2 ... for the field names separated by ';'. With
  //! `partialCompare` text values compare by prefix (a key search for the beginning of a text).
  //! Raises 30112 "Count of FieldNames (%d) not equal counts of KeyValues (%d)".
  void BuildKeyCondition(TABSExprRowSource* source, std::string_view fieldNames,
                         std::span<const TABSVariant> keyValues, bool partialCompare, bool caseInsensitive);
  //! field op value, for the comparison operators.
  void BuildFieldComparison(TABSExprRowSource* source, std::string_view fieldName, const TABSVariant& value,
                            TABSExprOperator op);

  // ---- Binding
  //! Attaches the fields to `source`, or to `outer` for names `source` lacks (correlated
  //! references), and prepares the tree. Raises "Field '%s' not found" (30115, 30197).
  void Bind(TABSExprRowSource* source, TABSExprRowSource* outer = nullptr);

  // ---- Values
  //! Evaluates the tree for the current row. Returns null without a tree; with `keepNull` false a
  //! NULL result is given as FALSE.
  const TABSVariant* GetValue(bool keepNull = false);
  //! GetValue as a truth value (NULL counts as FALSE). Raises 30110 "Value is Null" without a tree.
  bool GetBoolean();

  // ---- Aggregates
  bool IsAggregated() const;
  void ResetAggregates();
  void AccumulateAggregates();

  // ---- Types. REQUIRES: a tree (and binding when it has fields).
  //! Raises 30283 "Cannot determine expression type" when parts of the tree have no common type.
  TABSDataType GetDataType();
  //! The declared length of a text result.
  int32_t GetSize();
  int32_t GetPrecision();

  // ---- The tree
  TABSExprNode* Root() const { return root_.get(); }
  //! No tree, or an AND without operands.
  bool IsEmpty() const;
  //! The tree is a bare field reference.
  bool IsField() const;
  //! Table qualifier and name of a bare field reference. Raises 30198 "Node is not field".
  void GetFieldName(std::string& tableName, std::string& fieldName) const;
  //! ANDs the other expression's tree into this one (the other is left empty).
  void AndWith(TABSExpression& other);
  bool ReferencesOnlyTable(std::string_view name) const;
  //! Whether the tree can be evaluated on `source` (all its fields found there).
  bool IsApplicable(const TABSExprRowSource& source) const;

  // ---- Index placement
  //! Takes out of the tree the conjuncts that indexes can answer (see index_conditions.h) and
  //! returns their conditions. What stays still has to be evaluated per row; a tree whose every
  //! conjunct was taken becomes empty (IsEmpty).
  std::vector<TABSExprIndexCondition> ExtractIndexConditions(const TABSIndexDefs& indexes, int32_t sessionId);

 private:
  void SetRoot(TABSExprNode::Ptr root);

  TABSExprNode::Ptr root_;
  TABSExprRowSource* source_ = nullptr;
  TABSExprRowSource* outer_ = nullptr;
  TABSVariant false_;
};

}  // namespace viz

// The filter of a cursor's table builds on the expression above.
#include "engine/sql/expressions/search_condition.h"  // IWYU pragma: export
