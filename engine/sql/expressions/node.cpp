#include "engine/sql/expressions/node.h"

#include <algorithm>

#include "engine/sql/expressions/values.h"
#include "engine/types/errors.h"
#include "engine/types/raw_values.h"

namespace viz {

std::string_view OperatorName(TABSExprOperator op) {
  switch (op) {
    case eoEqual:
      return "=";
    case eoNotEqual:
      return "<>";
    case eoGreater:
      return ">";
    case eoLess:
      return "<";
    case eoGreaterOrEqual:
      return ">=";
    case eoLessOrEqual:
      return "<=";
    case eoNot:
      return "NOT";
    case eoAnd:
      return "AND";
    case eoOr:
      return "OR";
    case eoLike:
      return "LIKE";
    case eoNotLike:
      return "NOT LIKE";
    case eoIsNull:
      return "IS NULL";
    case eoIsNotNull:
      return "IS NOT NULL";
    case eoAdd:
      return "+";
    case eoNegate:
      return "-";
    case eoMultiply:
      return "*";
    case eoDivide:
      return "/";
    case eoConcat:
      return "||";
    case eoUpper:
      return "UPPER";
    case eoLower:
      return "LOWER";
    case eoTrim:
      return "TRIM";
    case eoLTrim:
      return "LTRIM";
    case eoRTrim:
      return "RTRIM";
    case eoSum:
      return "SUM";
    case eoAvg:
      return "AVG";
    case eoMin:
      return "MIN";
    case eoMax:
      return "MAX";
    case eoCount:
      return "COUNT";
    case eoCountAll:
      return "COUNT(*)";
    default:
      return "unknown";
  }
}

int TABSExprNode::EvaluateTruth() {
  const TABSVariant& value = Evaluate();
  return value.IsNull() ? -1 : TruthOf(value) ? 1 : 0;
}

void TABSExprNode::Prepare() {
  for (Ptr& child : children_) child->Prepare();
}

bool TABSExprNode::IsAggregated() const {
  return std::any_of(children_.begin(), children_.end(), [](const Ptr& child) { return child->IsAggregated(); });
}

void TABSExprNode::ResetAggregate() {
  for (Ptr& child : children_) child->ResetAggregate();
}

void TABSExprNode::AccumulateAggregate() {
  for (Ptr& child : children_) child->AccumulateAggregate();
}

void TABSExprNode::Bind(TABSExprRowSource* source, TABSExprRowSource* outer) {
  for (Ptr& child : children_) child->Bind(source, outer);
}

TABSDataType TABSExprNode::CommonChildType() {
  TABSDataType common = dt::kNone;
  for (Ptr& child : children_) {
    const TABSDataType type = child->GetDataType();
    if (type == dt::kNone) continue;
    if (common == dt::kNone) {
      common = type;
      continue;
    }
    common = CommonDataType(common, type, false);
    if (common == dt::kNone) throw EABSException(msg::kCannotDetermineType);
  }
  return common;
}

TABSDataType TABSExprNode::GetDataType() {
  return CommonChildType();
}

int32_t TABSExprNode::GetSize() {
  int32_t size = 0;
  for (Ptr& child : children_) size = std::max(size, child->GetSize());
  return size;
}

int32_t TABSExprNode::GetPrecision() {
  int32_t precision = 0;
  for (Ptr& child : children_) precision = std::max(precision, child->GetPrecision());
  return precision;
}

bool TABSExprNode::IsApplicable(const TABSExprRowSource& source) const {
  return std::all_of(children_.begin(), children_.end(),
                     [&source](const Ptr& child) { return child->IsApplicable(source); });
}

bool TABSExprNode::ReferencesOnlyTable(std::string_view name) const {
  return std::all_of(children_.begin(), children_.end(),
                     [name](const Ptr& child) { return child->ReferencesOnlyTable(name); });
}

}  // namespace viz
