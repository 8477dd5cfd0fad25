// + - * / and the numeric functions.
#include <cmath>
#include <limits>

#include "engine/platform/random.h"
#include "engine/sql/expressions/nodes.h"
#include "engine/types/errors.h"

namespace viz {
namespace {

// Integer types whose values CEIL, FLOOR and ROUND give back as INTEGER without loss.
bool FitsInteger(TABSDataType type) {
  switch (type) {
    case dt::kShortInt:
    case dt::kSmallInt:
    case dt::kInteger:
    case dt::kByte:
    case dt::kWord:
    case dt::kAutoInc:
    case dt::kAutoIncShortInt:
    case dt::kAutoIncSmallInt:
    case dt::kAutoIncInteger:
    case dt::kAutoIncByte:
    case dt::kAutoIncWord:
    case dt::kLogical:
      return true;
    default:
      return false;
  }
}

long double Apply(TABSExprOperator op, long double x) {
  switch (op) {
    case eoAcos:
      return std::acos(x);
    case eoAsin:
      return std::asin(x);
    case eoAtan:
      return std::atan(x);
    case eoCos:
      return std::cos(x);
    case eoExp:
      return std::exp(x);
    case eoLog:
      return std::log(x);
    case eoSin:
      return std::sin(x);
    case eoSqrt:
      return std::sqrt(x);
    default:
      throw EABSException(msg::kUnknownOperator.At(30130), OperatorName(op));
  }
}

}  // namespace

const TABSVariant& TABSExprNodeArithmetic::Evaluate() {
  switch (Operator()) {
    case eoAdd:
    case eoMultiply:
    case eoDivide: {
      const TABSVariant& first = Child(0).Evaluate();
      CopyValue(value_, first);
      if (first.IsNull()) return value_;
      for (size_t i = 1; i < children_.size(); ++i) {
        const TABSVariant& operand = children_[i]->Evaluate();
        if (operand.IsNull()) {
          value_.SetNull();
          return value_;
        }
        if (Operator() == eoAdd) {
          value_.Add(operand);
        } else if (Operator() == eoMultiply) {
          value_.Multiply(operand);
        } else {
          value_.Divide(operand);
        }
      }
      return value_;
    }
    case eoNegate:
      CopyValue(value_, Child(0).Evaluate());
      value_.Negate();
      return value_;
    default:
      return EvaluateFunction();
  }
}

void TABSExprNodeArithmetic::SetRounded(long double rounded) {
  if (GetDataType() == dt::kInteger) {
    SetInteger(value_, static_cast<int32_t>(rounded));
    return;
  }
  if (!(rounded >= -0x1p63L && rounded < 0x1p63L)) {
    throw EABSException(msg::kCannotCastFailed, BaseTypeName(bt::kExtended), BaseTypeName(bt::kLargeInt));
  }
  if (value_.GetType() != bt::kLargeInt) value_.Clear(bt::kLargeInt);
  value_.SetAsLargeInt(static_cast<int64_t>(rounded));
}

const TABSVariant& TABSExprNodeArithmetic::EvaluateFunction() {
  const TABSVariant& x = Child(0).Evaluate();
  const TABSVariant* y = ChildCount() > 1 ? &Child(1).Evaluate() : nullptr;
  if (x.IsNull() || (y && y->IsNull())) {
    SetNullOf(value_, BaseTypeOf(GetDataType()));
    return value_;
  }
  switch (Operator()) {
    case eoAbs:
      CopyValue(value_, x);
      if (NumberOf(x) < 0) value_.Negate();
      return value_;
    case eoSqr:
      CopyValue(value_, x);
      value_.Multiply(x);
      return value_;
    case eoCeil:
      SetRounded(std::ceil(NumberOf(x)));
      return value_;
    case eoFloor:
      SetRounded(std::floor(NumberOf(x)));
      return value_;
    case eoRound:
      // Half-way values go to the even neighbour (the default rounding mode).
      SetRounded(std::nearbyint(NumberOf(x)));
      return value_;
    case eoSign: {
      const long double number = NumberOf(x);
      SetInteger(value_, number < 0 ? -1 : number > 0 ? 1 : 0);
      return value_;
    }
    case eoRand: {
      const long double range = std::floor(NumberOf(x));
      const uint32_t bound = range >= 0xFFFFFFFFp0L ? 0xFFFFFFFFu : range >= 1 ? static_cast<uint32_t>(range) : 0;
      SetInteger(value_, static_cast<int32_t>(platform::Random(bound)));
      return value_;
    }
    default:
      break;
  }
  const long double result =
      Operator() == eoPower ? std::pow(NumberOf(x), NumberOf(*y)) : Apply(Operator(), NumberOf(x));
  // A result that is not a finite number (the square root of a negative number, the logarithm of
  // 0) has no value.
  if (!std::isfinite(result) || std::fabs(result) > std::numeric_limits<double>::max()) {
    SetNullOf(value_, bt::kFloat);
    return value_;
  }
  if (value_.GetType() != bt::kFloat) value_.Clear(bt::kFloat);
  value_.SetAsFloat(static_cast<double>(result));
  return value_;
}

TABSDataType TABSExprNodeArithmetic::GetDataType() {
  switch (Operator()) {
    case eoAdd:
    case eoMultiply:
    case eoDivide:
      return CommonChildType();
    case eoNegate:
    case eoAbs:
    case eoSqr:
      return Child(0).GetDataType();
    case eoCeil:
    case eoFloor:
    case eoRound:
      return FitsInteger(Child(0).GetDataType()) ? dt::kInteger : dt::kLargeInt;
    case eoSign:
    case eoRand:
      return dt::kInteger;
    default:
      return dt::kFloat;
  }
}

int32_t TABSExprNodeArithmetic::GetSize() {
  switch (Operator()) {
    case eoAdd: {
      // A sum of texts is their concatenation.
      const TABSDataType type = GetDataType();
      if (!IsStringDataType(type)) return 0;
      int32_t size = 0;
      for (Ptr& child : children_) size += TextWidth(*child);
      return size;
    }
    case eoNegate:
    case eoAbs:
    case eoSqr:
      return Child(0).GetSize();
    default:
      return 0;
  }
}

}  // namespace viz
