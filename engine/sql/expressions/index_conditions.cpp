#include "engine/sql/expressions/index_conditions.h"

#include <cmath>
#include <optional>

#include "engine/sql/expressions/nodes.h"
#include "engine/tables/name_compare.h"
#include "engine/types/errors.h"
#include "engine/types/raw_access.h"

namespace viz {
namespace {

// A conjunct read as "field op constant" (the field on the left). `constant` is null for IS NULL
// (eoIsNull) and IS NOT NULL (eoIsNotNull).
struct FieldTest {
  const TABSExprNodeField* field = nullptr;
  TABSExprOperator op = eoNone;
  const TABSVariant* constant = nullptr;
  bool nullStrict = false;
  bool caseInsensitive = false;
};

TABSExprOperator Mirrored(TABSExprOperator op) {
  switch (op) {
    case eoGreater:
      return eoLess;
    case eoLess:
      return eoGreater;
    case eoGreaterOrEqual:
      return eoLessOrEqual;
    case eoLessOrEqual:
      return eoGreaterOrEqual;
    default:
      return op;
  }
}

bool IsSearchField(const TABSExprNode& node) {
  if (node.Kind() != TABSExprNodeKind::Field) return false;
  const auto& field = static_cast<const TABSExprNodeField&>(node);
  return field.IsBound() && !field.IsOuterReference();
}

std::optional<FieldTest> ReadTest(const TABSExprNode& node) {
  FieldTest test;
  test.caseInsensitive = node.CaseInsensitive;
  if (node.Kind() == TABSExprNodeKind::Comparison) {
    const auto& comparison = static_cast<const TABSExprNodeComparison&>(node);
    const TABSExprOperator op = comparison.Operator();
    if (op == eoNotEqual || comparison.PrefixLength() >= 0) return std::nullopt;
    const TABSExprNode& left = comparison.Child(0);
    const TABSExprNode& right = comparison.Child(1);
    if (IsSearchField(left) && right.Kind() == TABSExprNodeKind::Const) {
      test.field = static_cast<const TABSExprNodeField*>(&left);
      test.op = op;
      test.constant = &right.Value();
    } else if (IsSearchField(right) && left.Kind() == TABSExprNodeKind::Const) {
      test.field = static_cast<const TABSExprNodeField*>(&right);
      test.op = Mirrored(op);
      test.constant = &left.Value();
    } else {
      return std::nullopt;
    }
    test.nullStrict = comparison.NullStrict();
    return test;
  }
  if (node.Kind() == TABSExprNodeKind::Boolean && (node.Operator() == eoIsNull || node.Operator() == eoIsNotNull) &&
      IsSearchField(node.Child(0))) {
    test.field = static_cast<const TABSExprNodeField*>(&node.Child(0));
    test.op = node.Operator();
    return test;
  }
  return std::nullopt;
}

// The scan operator of a value-order operator on a column of the given direction.
TABSScanOperator ScanOperator(TABSExprOperator op, bool descending) {
  switch (op) {
    case eoGreater:
      return descending ? soLess : soGreater;
    case eoLess:
      return descending ? soGreater : soLess;
    case eoGreaterOrEqual:
      return descending ? soLessOrEqual : soGreaterOrEqual;
    case eoLessOrEqual:
      return descending ? soGreaterOrEqual : soLessOrEqual;
    default:
      return soEqual;
  }
}

// Smallest and largest values of an integer base type, and of the DATE day numbers.
void Range(TABSBaseType type, long double& low, long double& high) {
  switch (type) {
    case bt::kShortInt:
      low = INT8_MIN, high = INT8_MAX;
      break;
    case bt::kSmallInt:
      low = INT16_MIN, high = INT16_MAX;
      break;
    case bt::kByte:
      low = 0, high = UINT8_MAX;
      break;
    case bt::kWord:
      low = 0, high = UINT16_MAX;
      break;
    case bt::kCardinal:
      low = 0, high = UINT32_MAX;
      break;
    case bt::kLargeInt:
      low = -0x1p53L, high = 0x1p53L;
      break;
    default:  // INTEGER, DATE
      low = INT32_MIN, high = INT32_MAX;
      break;
  }
}

// A key made by the operator's adjustment for a whole-numbered field met by a number that may have
// a fraction. `number` is the constant in the field's units.
bool AdjustWhole(TABSBaseType fieldType, long double number, TABSExprOperator& op, TABSVariant& key) {
  if (!std::isfinite(number) || std::fabs(number) > 0x1p53L) return false;
  const bool whole = number == std::floor(number);
  long double bound = number;
  switch (op) {
    case eoEqual:
      if (!whole) return false;
      break;
    case eoLess:
    case eoLessOrEqual:
      if (!whole) {
        bound = std::floor(number);
        op = eoLessOrEqual;
      }
      break;
    default:  // > and >=
      if (!whole) {
        bound = std::ceil(number);
        op = eoGreaterOrEqual;
      }
      break;
  }
  long double low, high;
  Range(fieldType, low, high);
  if (bound < low || bound > high) return false;
  TABSVariant wide(bt::kLargeInt);
  wide.SetAsLargeInt(static_cast<int64_t>(bound));
  wide.ConvertTo(fieldType);
  key = std::move(wide);
  return true;
}

// The key for a test on a field, or nothing when the index cannot select exactly the rows the
// comparison selects. May change `op` (adjusted bounds, IS [NOT] NULL as = NULL and > NULL).
bool MakeKey(const FieldTest& test, TABSExprOperator& op, TABSVariant& key) {
  const TABSExprFieldInfo& field = test.field->Info();
  const TABSBaseType fieldType = field.BaseType;
  op = test.op;
  if (!test.constant || test.constant->IsNull()) {
    // NULL sorts first in the index and a null-ordered comparison puts it there too.
    if (op == eoIsNull) op = eoEqual;
    if (op == eoIsNotNull) op = eoGreater;
    key = TABSVariant(fieldType);
    return true;
  }
  const TABSVariant& constant = *test.constant;
  const TABSBaseType constType = constant.GetType();
  const bool sameText = (IsNarrowTextType(fieldType) && IsNarrowTextType(constType)) ||
                        (IsWideTextType(fieldType) && IsWideTextType(constType));
  if (constType == fieldType || sameText || CommonBaseType(fieldType, constType, true) == fieldType) {
    // The comparison itself converts the constant into the field's type on every row.
    TABSVariant converted(constant);
    try {
      converted.ConvertTo(fieldType);
    } catch (const Exception&) {
      return false;
    }
    if (IsStringBaseType(fieldType) && converted.StringLength() > field.Size) return false;
    key = std::move(converted);
    return true;
  }
  if (IsIntegerBaseType(fieldType) && (IsNumericBaseType(constType) || constType == bt::kLogical)) {
    return AdjustWhole(fieldType, *LoadNumber(constant), op, key);
  }
  if (fieldType == bt::kDate && constType == bt::kDateTime) {
    const int32_t dayNumber = LoadRaw<int32_t>(constant.GetData());
    const int32_t milliseconds = LoadRaw<int32_t>(static_cast<const char*>(constant.GetData()) + 4);
    if (dayNumber == kEmptyDate) return false;
    const long double days = dayNumber + static_cast<long double>(milliseconds) / kMillisecondsPerDay;
    return AdjustWhole(fieldType, days, op, key);
  }
  return false;
}

bool IsStringField(const TABSExprNodeField& field) {
  return IsStringBaseType(field.Info().BaseType);
}

}  // namespace

TABSExprIndexPlan PlanIndexConditions(const TABSExprNode* root, const TABSIndexDefs& indexes, int32_t sessionId) {
  TABSExprIndexPlan plan;
  if (!root) return plan;
  std::vector<const TABSExprNode*> conjuncts;
  if (root->Kind() == TABSExprNodeKind::Boolean && root->Operator() == eoAnd) {
    for (const TABSExprNode::Ptr& child : root->Children()) conjuncts.push_back(child.get());
  } else {
    conjuncts.push_back(root);
  }
  for (size_t c = 0; c < conjuncts.size(); ++c) {
    const std::optional<FieldTest> test = ReadTest(*conjuncts[c]);
    if (!test) continue;
    TABSExprOperator op;
    TABSVariant key;
    if (!MakeKey(*test, op, key)) continue;
    const std::string& fieldName = test->field->Info().Name;
    for (int32_t i = 0; i < indexes.Count(); ++i) {
      const TABSIndexDef& index = indexes[i];
      size_t column = 0;
      while (column < index.Columns.size() && !SameName(index.Columns[column].FieldName, fieldName)) ++column;
      if (column == index.Columns.size()) continue;
      const TABSIndexColumn& definition = index.Columns[column];
      if (IsStringField(*test->field) && definition.CaseInsensitive != test->caseInsensitive) continue;
      if (column == 0) {
        if (index.IsTemporary() && index.OwnerSession != sessionId) continue;
        TABSExprIndexCondition condition;
        condition.IndexNo = i;
        condition.Operator = ScanOperator(op, definition.Descending);
        condition.KeyValues.push_back(key);
        condition.Conjuncts.push_back(c);
        plan.Conditions.push_back(std::move(condition));
        if (test->nullStrict && (op == eoLess || op == eoLessOrEqual)) {
          TABSExprIndexCondition notNull;
          notNull.IndexNo = i;
          notNull.Operator = ScanOperator(eoGreater, definition.Descending);
          notNull.KeyValues.emplace_back(test->field->Info().BaseType);
          notNull.Conjuncts.push_back(c);
          plan.Conditions.push_back(std::move(notNull));
        }
        plan.PlacedConjuncts.push_back(c);
        break;
      }
      if (op != eoEqual) continue;
      TABSExprIndexCondition* extended = nullptr;
      for (TABSExprIndexCondition& condition : plan.Conditions) {
        if (condition.IndexNo == i && condition.Operator == soEqual && condition.KeyValues.size() == column) {
          extended = &condition;
          break;
        }
      }
      if (!extended) continue;
      extended->KeyValues.push_back(key);
      extended->Conjuncts.push_back(c);
      plan.PlacedConjuncts.push_back(c);
      break;
    }
  }
  return plan;
}

}  // namespace viz
