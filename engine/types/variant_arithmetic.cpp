// TABSVariant arithmetic and comparison. Integer results wrap around at the width of their type;
// a DATETIME keeps its milliseconds below one day by carrying whole days into the day number.
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/types/VIZVariant.h"
#include "engine/types/errors.h"
#include "engine/types/extended.h"
#include "engine/types/raw_access.h"
#include "framework/data/math_errors.h"

namespace viz {
namespace {

enum class Op { Add, Multiply, Divide };

const char* OperatorText(Op op) {
  switch (op) {
    case Op::Add:
      return "+";
    case Op::Multiply:
      return "*";
    default:
      return "/";
  }
}

msg::Message NotNumericMessage(Op op) {
  switch (op) {
    case Op::Add:
      return msg::kNotNumericArgument;
    case Op::Multiply:
      return msg::kNotNumericArgument.At(30126);
    default:
      return msg::kNotNumericArgument.At(30127);
  }
}

// Integer arithmetic in 64 bits with two's-complement wrap-around; the caller narrows the result.
int64_t IntegerOp(int64_t left, int64_t right, Op op) {
  const uint64_t a = static_cast<uint64_t>(left);
  const uint64_t b = static_cast<uint64_t>(right);
  switch (op) {
    case Op::Add:
      return static_cast<int64_t>(a + b);
    case Op::Multiply:
      return static_cast<int64_t>(a * b);
    default:
      if (right == 0) throw EDivByZero();
      if (right == -1) return static_cast<int64_t>(0 - a);  // the lowest value divided by -1 wraps to itself
      return left / right;
  }
}

template <class T>
T FloatOp(T left, T right, Op op) {
  switch (op) {
    case Op::Add:
      return left + right;
    case Op::Multiply:
      return left * right;
    default: {
      if (right == 0) {
        if (left == 0 || std::isnan(left)) throw EInvalidOp();
        throw EZeroDivide();
      }
      const T result = left / right;
      if (std::isinf(result) && std::isfinite(left)) throw EOverflow();
      return result;
    }
  }
}

template <class T>
T Load(const void* at) {
  return LoadRaw<T>(at);
}

// Applies op to two payloads of the same numeric, date or logical type, writing into `left`.
void ApplyOp(TABSBaseType type, void* left, const void* right, Op op) {
  switch (type) {
    case bt::kShortInt:
      StoreRaw(left, static_cast<int8_t>(IntegerOp(Load<int8_t>(left), Load<int8_t>(right), op)));
      break;
    case bt::kSmallInt:
      StoreRaw(left, static_cast<int16_t>(IntegerOp(Load<int16_t>(left), Load<int16_t>(right), op)));
      break;
    case bt::kInteger:
    case bt::kDate:
    case bt::kTime:
      StoreRaw(left, static_cast<int32_t>(IntegerOp(Load<int32_t>(left), Load<int32_t>(right), op)));
      break;
    case bt::kLargeInt:
      StoreRaw(left, IntegerOp(Load<int64_t>(left), Load<int64_t>(right), op));
      break;
    case bt::kByte:
      StoreRaw(left, static_cast<uint8_t>(IntegerOp(Load<uint8_t>(left), Load<uint8_t>(right), op)));
      break;
    case bt::kWord:
      StoreRaw(left, static_cast<uint16_t>(IntegerOp(Load<uint16_t>(left), Load<uint16_t>(right), op)));
      break;
    case bt::kCardinal:
      StoreRaw(left, static_cast<uint32_t>(IntegerOp(Load<uint32_t>(left), Load<uint32_t>(right), op)));
      break;
    case bt::kSingle:
      StoreRaw(left, FloatOp(Load<float>(left), Load<float>(right), op));
      break;
    case bt::kFloat:
    case bt::kCurrency:
      StoreRaw(left, FloatOp(Load<double>(left), Load<double>(right), op));
      break;
    case bt::kExtended:
      LongDoubleToExtended(FloatOp(ExtendedToLongDouble(left), ExtendedToLongDouble(right), op), left);
      break;
    case bt::kLogical: {
      const bool result = Load<int16_t>(left) != 0 || Load<int16_t>(right) != 0;
      StoreRaw<int16_t>(left, result ? -1 : 0);
      break;
    }
    case bt::kDateTime: {
      char* l = static_cast<char*>(left);
      const char* r = static_cast<const char*>(right);
      int64_t days = IntegerOp(Load<int32_t>(l), Load<int32_t>(r), op);
      int64_t milliseconds = IntegerOp(Load<int32_t>(l + 4), Load<int32_t>(r + 4), op);
      if (milliseconds >= kMillisecondsPerDay) {
        days += milliseconds / kMillisecondsPerDay;
        milliseconds %= kMillisecondsPerDay;
      }
      StoreRaw(l, static_cast<int32_t>(days));
      StoreRaw(l + 4, static_cast<int32_t>(milliseconds));
      break;
    }
    default:
      break;
  }
}

bool IsComputable(TABSBaseType type) {
  return IsNumericBaseType(type) || IsDateTimeBaseType(type) || type == bt::kLogical;
}

}  // namespace

void TABSVariant::Negate() {
  if (IsNull()) return;
  switch (type_) {
    case bt::kShortInt:
    case bt::kSmallInt:
    case bt::kInteger:
    case bt::kLargeInt:
    case bt::kByte:
    case bt::kWord:
    case bt::kCardinal:
    case bt::kSingle:
    case bt::kFloat:
    case bt::kExtended:
    case bt::kDate:
    case bt::kCurrency:
    case bt::kLogical:
      break;
    default:
      throw EABSException(msg::kCannotInvert, BaseTypeName(type_));
  }
  MakeOwned();
  switch (type_) {
    // The lowest SHORTINT and SMALLINT wrap to themselves; a negated BYTE or WORD is the signed
    // value of the same width taken back into the unsigned type.
    case bt::kShortInt:
      StoreRaw(data_, static_cast<int8_t>(-Load<int8_t>(data_)));
      break;
    case bt::kSmallInt:
      StoreRaw(data_, static_cast<int16_t>(-Load<int16_t>(data_)));
      break;
    case bt::kByte:
      StoreRaw(data_, static_cast<uint8_t>(static_cast<int8_t>(-Load<uint8_t>(data_))));
      break;
    case bt::kWord:
      StoreRaw(data_, static_cast<uint16_t>(static_cast<int16_t>(-Load<uint16_t>(data_))));
      break;
    case bt::kInteger:
    case bt::kDate: {
      const int32_t value = Load<int32_t>(data_);
      if (value == std::numeric_limits<int32_t>::min()) throw EIntOverflow();
      StoreRaw(data_, -value);
      break;
    }
    case bt::kLargeInt: {
      const int64_t value = Load<int64_t>(data_);
      if (value == std::numeric_limits<int64_t>::min()) throw EIntOverflow();
      StoreRaw(data_, -value);
      break;
    }
    case bt::kCardinal:
      if (Load<uint32_t>(data_) != 0) throw EIntOverflow();
      break;
    case bt::kSingle:
      StoreRaw(data_, -Load<float>(data_));
      break;
    case bt::kFloat:
    case bt::kCurrency:
      StoreRaw(data_, -Load<double>(data_));
      break;
    case bt::kExtended:
      LongDoubleToExtended(-ExtendedToLongDouble(data_), data_);
      break;
    default:
      StoreRaw<int16_t>(data_, Load<int16_t>(data_) != 0 ? 0 : -1);
      break;  // LOGICAL: not
  }
}

void TABSVariant::Add(const TABSVariant& right) {
  Arithmetic(right, Operation::Add);
}
void TABSVariant::Multiply(const TABSVariant& right) {
  Arithmetic(right, Operation::Multiply);
}

void TABSVariant::Divide(const TABSVariant& right) {
  try {
    Arithmetic(right, Operation::Divide);
  } catch (const EABSException&) {
    throw;
  } catch (const Exception& error) {
    throw EABSException(msg::kDivisionError, error.Message());
  }
}

void TABSVariant::Arithmetic(const TABSVariant& right, Operation operation) {
  const Op op = operation == Operation::Add        ? Op::Add
                : operation == Operation::Multiply ? Op::Multiply
                                                   : Op::Divide;
  const bool leftIsText = IsStringBaseType(type_);
  if (right.IsNull()) {
    if (!(op == Op::Add && leftIsText)) SetNull();
    return;
  }
  if (IsNull()) {
    if (op == Op::Add && leftIsText) {
      // The string takes a copy of the right value, in its own type.
      TABSVariant copy(right);
      copy.ConvertTo(type_);
      *this = std::move(copy);
    }
    return;
  }
  const TABSBaseType common = CommonBaseType(type_, right.type_, false);
  const bool text = IsStringBaseType(common);
  if (common == bt::kNone || (text && op != Op::Add) || (!text && !IsComputable(common))) {
    throw EABSException(NotNumericMessage(op), OperatorText(op));
  }
  // The right operand is read first, so that a failed conversion leaves this value as it was.
  if (text) {
    if (IsWideStringBaseType(common)) {
      const std::u16string rightText = right.GetWideText(common);
      ConvertTo(common);
      SetWideText(common, GetWideText(common) + rightText);
    } else {
      const std::string rightText = right.GetText(common);
      ConvertTo(common);
      SetText(common, GetText(common) + rightText);
    }
    return;
  }
  uint8_t rightValue[16];
  right.GetTypedValue(common, rightValue);
  ConvertTo(common);
  MakeOwned();
  ApplyOp(common, data_, rightValue, op);
}

int TABSVariant::Compare(const TABSVariant& right, bool rawResult, bool ignoreCase, bool prefixOnly) const {
  int32_t length = -1;
  if (prefixOnly) {
    const int32_t leftLength = StringLength();
    const int32_t rightLength = right.StringLength();
    length = leftLength < rightLength ? leftLength : rightLength;
  }
  const int result = CompareRawValues(data_, right.data_, type_, right.type_, kUserDefaultLocale, ignoreCase,
                                      length, IsNull(), right.IsNull(), size_, right.size_);
  if (rawResult) return result;
  switch (result) {
    case kCompareFirstNull:
      return kCompareLess;
    case kCompareSecondNull:
      return kCompareGreater;
    case kCompareBothNull:
      return kCompareEqual;
    default:
      return result;
  }
}

}  // namespace viz
