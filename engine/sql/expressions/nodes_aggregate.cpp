// The aggregates: reset at the start of a group, accumulated once per row, read at the end.
#include "engine/sql/expressions/nodes.h"
#include "engine/types/errors.h"

namespace viz {

TABSExprNodeAggregated::TABSExprNodeAggregated(TABSExprOperator op, bool distinct)
    : TABSExprNode(TABSExprNodeKind::Aggregated, op), distinct_(distinct), seen_(Less{false}) {}

void TABSExprNodeAggregated::ResetAggregate() {
  TABSExprNode::ResetAggregate();
  count_ = 0;
  integerSum_ = true;
  integerTotal_ = 0;
  floatTotal_ = 0;
  sum_.SetNull();
  value_.SetNull();
  seen_ = std::set<TABSVariant, Less>(Less{CaseInsensitive});
}

bool TABSExprNodeAggregated::FirstOccurrence(const TABSVariant& value) {
  if (!distinct_) return true;
  return seen_.insert(TABSVariant(value)).second;
}

void TABSExprNodeAggregated::AccumulateAggregate() {
  if (Operator() == eoCountAll) {
    ++count_;
    return;
  }
  const TABSVariant& value = Child(0).Evaluate();
  if (value.IsNull()) return;
  switch (Operator()) {
    case eoCount:
      if (FirstOccurrence(value)) ++count_;
      return;
    case eoSum:
      if (!IsNumericBaseType(value.GetType())) throw EABSException(msg::kNotNumericAggregate, "SUM");
      if (!FirstOccurrence(value)) return;
      if (integerSum_ && IsIntegerBaseType(value.GetType())) {
        integerTotal_ += static_cast<uint64_t>(*LoadInteger(value));
      } else if (integerSum_) {
        integerSum_ = false;
        if (count_ > 0) {
          sum_.Clear(bt::kLargeInt);
          sum_.SetAsLargeInt(static_cast<int64_t>(integerTotal_));
          sum_.Add(value);
        } else {
          CopyValue(sum_, value);
        }
      } else {
        sum_.Add(value);
      }
      ++count_;
      return;
    case eoAvg:
      if (!IsNumericBaseType(value.GetType())) throw EABSException(msg::kNotNumericAggregate.At(30133), "AVG");
      if (!FirstOccurrence(value)) return;
      floatTotal_ += static_cast<double>(*LoadNumber(value));
      ++count_;
      return;
    case eoMin:
    case eoMax: {
      // Null-strict and without regard to case; DISTINCT changes nothing here.
      const int wanted = Operator() == eoMin ? 1 : 2;
      if (count_ == 0 || CompareValues(value, value_, true) == wanted) CopyValue(value_, value);
      ++count_;
      return;
    }
    default:
      throw EABSException(msg::kUnknownOperator.At(30134), OperatorName(Operator()));
  }
}

const TABSVariant& TABSExprNodeAggregated::Evaluate() {
  switch (Operator()) {
    case eoCount:
    case eoCountAll:
      SetInteger(value_, static_cast<int32_t>(count_));
      break;
    case eoSum:
      if (count_ == 0) {
        SetNullOf(value_, BaseTypeOf(GetDataType()));
      } else if (integerSum_) {
        if (value_.GetType() != bt::kLargeInt) value_.Clear(bt::kLargeInt);
        value_.SetAsLargeInt(static_cast<int64_t>(integerTotal_));
      } else {
        CopyValue(value_, sum_);
      }
      break;
    case eoAvg:
      if (count_ == 0) {
        SetNullOf(value_, bt::kFloat);
      } else {
        if (value_.GetType() != bt::kFloat) value_.Clear(bt::kFloat);
        value_.SetAsFloat(floatTotal_ / static_cast<double>(count_));
      }
      break;
    default:
      break;  // MIN and MAX keep their value as they go
  }
  return value_;
}

TABSDataType TABSExprNodeAggregated::GetDataType() {
  switch (Operator()) {
    case eoSum: {
      const TABSDataType type = Child(0).GetDataType();
      const bool floating = type == dt::kSingle || type == dt::kFloat || type == dt::kExtended || type == dt::kCurrency;
      return floating ? type : dt::kLargeInt;
    }
    case eoAvg:
      return dt::kFloat;
    case eoMin:
    case eoMax:
      return Child(0).GetDataType();
    default:
      return dt::kInteger;
  }
}

int32_t TABSExprNodeAggregated::GetSize() {
  return Operator() == eoMin || Operator() == eoMax ? Child(0).GetSize() : 0;
}

bool TABSExprNodeAggregated::IsApplicable(const TABSExprRowSource& source) const {
  return source.IsGrouping() && TABSExprNode::IsApplicable(source);
}

}  // namespace viz
