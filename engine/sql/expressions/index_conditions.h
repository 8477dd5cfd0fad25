// Which parts of a filter an index can answer. Table search turns each condition below into a scan
// condition of its own kind; the filter keeps only what no index took.
//
// A conjunct (an AND operand, or the whole condition when it is not an AND) is usable on an index
// when it compares a bound field of the searched table with a constant (=, <, >, <=, >=, either
// way round) or asks whether the field IS [NOT] NULL, and
//   - the field is the index's first column (a temporary index only for the session that owns it),
//     or column k > 0 of an index that already has an equal condition on its first k columns and
//     the operator is =, which then extends that condition by one key value;
//   - for a text field, the comparison's case-insensitivity is the column's and it does not compare
//     by prefix, and a text constant is not longer than the field;
//   - the constant converts into the field's type without changing what the comparison selects.
//     When the row-by-row comparison is made in the field's own type, the key is the constant so
//     converted. An integer or DATE field compared with a wider number (or a DATE with a date-time)
//     takes an integral constant as it is and a fractional one with the operator adjusted (x < 2.5
//     becomes x <= 2, x > 2.5 becomes x >= 3); x = 2.5, a constant outside the field's range or
//     beyond 2^53 in magnitude, and every other pair stay in the filter.
// The index sorts NULL before every value, so a null-strict x < c or x <= c (which is FALSE for a
// NULL x) also gets a second condition on the same index that keeps NULL keys out (x > NULL).
#pragma once

#include <cstdint>
#include <vector>

#include "engine/sql/expressions/node.h"
#include "engine/tables/index_defs.h"
#include "engine/tables/search/scan_condition.h"
#include "engine/types/VIZVariant.h"

namespace viz {

//! One condition on an index.
struct TABSExprIndexCondition {
  //! Position of the index in the definitions given.
  int32_t IndexNo = -1;
  TABSScanOperator Operator = soEqual;
  //! The key: one value per compared column (the first KeyValues.size() columns), each in the base
  //! type of its field; a NULL value is a NULL key value.
  std::vector<TABSVariant> KeyValues;
  //! The conjuncts the condition stands for (positions among the AND operands).
  std::vector<size_t> Conjuncts;
};

struct TABSExprIndexPlan {
  std::vector<TABSExprIndexCondition> Conditions;
  //! Every conjunct some condition took, in increasing order; they leave the filter.
  std::vector<size_t> PlacedConjuncts;
};

//! Returns the index conditions the condition `root` can hand to a search over `indexes` run by
//! session `sessionId`. Leaves the tree as it is. `root` may be null (no conditions).
TABSExprIndexPlan PlanIndexConditions(const TABSExprNode* root, const TABSIndexDefs& indexes, int32_t sessionId);

}  // namespace viz
