// CAST, CASE and COALESCE, MIMETOBIN and ROWNUM.
#include <algorithm>
#include <cmath>

#include "engine/sql/expressions/nodes.h"
#include "engine/types/errors.h"

namespace viz {
namespace {

// Longest text a CAST to a string type keeps when no length is given.
constexpr int32_t kDefaultCastLength = 4096;

}  // namespace

TABSExprNodeCast::TABSExprNodeCast(Ptr value, TABSDataType target, Ptr length)
    : TABSExprNode(TABSExprNodeKind::Cast, eoCast), target_(target), length_(std::move(length)) {
  AddChild(std::move(value));
}

int32_t TABSExprNodeCast::GivenLength() {
  if (!length_) return -1;
  const TABSVariant& length = length_->Evaluate();
  if (length.IsNull()) return -1;
  const long double number = std::floor(NumberOf(length));
  return number < 0 ? 0 : number > INT32_MAX ? INT32_MAX : static_cast<int32_t>(number);
}

const TABSVariant& TABSExprNodeCast::Evaluate() {
  const TABSVariant& operand = Child(0).Evaluate();
  const TABSBaseType target = BaseTypeOf(target_);
  if (operand.IsNull()) {
    SetNullOf(value_, target);
    return value_;
  }
  switch (target) {
    case bt::kMemo:
      SetNarrowText(value_, target, NarrowText(operand));
      return value_;
    case bt::kWideMemo:
      SetWideText(value_, target, WideText(operand));
      return value_;
    default:
      break;
  }
  if (IsStringBaseType(target)) {
    const int32_t given = GivenLength();
    const size_t limit = static_cast<size_t>(given >= 0 ? given : kDefaultCastLength);
    if (IsWideStringBaseType(target)) {
      const std::u16string text = WideText(operand);
      SetWideText(value_, target, std::u16string_view(text).substr(0, limit));
    } else {
      const std::string text = NarrowText(operand);
      SetNarrowText(value_, target, std::string_view(text).substr(0, limit));
    }
    return value_;
  }
  CopyValue(value_, operand);
  value_.ConvertTo(target);
  return value_;
}

int32_t TABSExprNodeCast::GetSize() {
  const int32_t given = GivenLength();
  if (given >= 0) return given;
  if (!IsStringDataType(target_) && !(target_ >= dt::kMemo && target_ <= dt::kWideMemo)) return 0;
  return TextWidth(Child(0));
}

template <class F>
void TABSExprNodeCase::ForEachResult(F f) {
  if (coalesce_) {
    for (Ptr& child : children_) f(*child);
    return;
  }
  const size_t pairsEnd = children_.size() - (hasElse_ ? 1 : 0);
  for (size_t i = (hasInput_ ? 1 : 0) + 1; i < pairsEnd; i += 2) f(*children_[i]);
  if (hasElse_) f(*children_.back());
}

const TABSVariant& TABSExprNodeCase::TakeResult(const TABSVariant& result) {
  const TABSBaseType type = BaseTypeOf(GetDataType());
  CopyValue(value_, result);
  if (result.IsNull()) {
    SetNullOf(value_, type);
  } else if (type != bt::kNone && result.GetType() != type) {
    value_.ConvertTo(type);  // every result in the common type
  }
  return value_;
}

const TABSVariant& TABSExprNodeCase::Evaluate() {
  if (coalesce_) {
    for (Ptr& child : children_) {
      const TABSVariant& argument = child->Evaluate();
      if (!argument.IsNull()) return TakeResult(argument);
    }
    return TakeResult(TABSVariant());
  }
  const size_t first = hasInput_ ? 1 : 0;
  const size_t pairsEnd = children_.size() - (hasElse_ ? 1 : 0);
  const TABSVariant* input = hasInput_ ? &Child(0).Evaluate() : nullptr;
  for (size_t i = first; i + 1 < pairsEnd; i += 2) {
    const TABSVariant& when = Child(i).Evaluate();
    bool chosen;
    if (input) {
      // Null-ordered and without regard to case: NULL matches NULL.
      chosen = input->IsNull() || when.IsNull() ? input->IsNull() && when.IsNull()
                                                : CompareValues(*input, when, true) == 0;
    } else {
      chosen = !when.IsNull() && TruthOf(when);
    }
    if (chosen) return TakeResult(Child(i + 1).Evaluate());
  }
  if (hasElse_) return TakeResult(children_.back()->Evaluate());
  return TakeResult(TABSVariant());
}

TABSDataType TABSExprNodeCase::GetDataType() {
  TABSDataType common = dt::kNone;
  ForEachResult([&common](TABSExprNode& result) {
    const TABSDataType type = result.GetDataType();
    if (type == dt::kNone) return;
    common = common == dt::kNone ? type : CommonDataType(common, type, false);
    if (common == dt::kNone) throw EABSException(msg::kCannotDetermineType);
  });
  return common;
}

int32_t TABSExprNodeCase::GetSize() {
  const bool text = IsStringDataType(GetDataType());
  int32_t size = 0;
  ForEachResult(
      [&](TABSExprNode& result) { size = std::max(size, text ? TextWidth(result) : result.GetSize()); });
  return size;
}

std::string DecodeBase64(std::string_view text) {
  std::string bytes;
  uint32_t bits = 0;
  int count = 0;
  for (const char c : text) {
    int digit;
    if (c >= 'A' && c <= 'Z') {
      digit = c - 'A';
    } else if (c >= 'a' && c <= 'z') {
      digit = c - 'a' + 26;
    } else if (c >= '0' && c <= '9') {
      digit = c - '0' + 52;
    } else if (c == '+') {
      digit = 62;
    } else if (c == '/') {
      digit = 63;
    } else if (c == '=') {
      break;
    } else {
      continue;
    }
    bits = (bits << 6) | static_cast<uint32_t>(digit);
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes.push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return bytes;
}

const TABSVariant& TABSExprNodeBlob::Evaluate() {
  const TABSVariant& text = Child(0).Evaluate();
  if (text.IsNull()) {
    SetNullOf(value_, bt::kString);
    return value_;
  }
  std::string bytes = DecodeBase64(NarrowText(text));
  if (bytes.find('\0') == std::string::npos) {
    SetNarrowText(value_, bt::kString, bytes);
  } else {
    // As a string the bytes would end at the first zero byte; a BLOB keeps them all.
    bytes.push_back('\0');
    value_.Clear(bt::kBlob);
    value_.SetRaw(bytes.data(), static_cast<int32_t>(bytes.size()), bt::kBlob, TABSCopyMode::Copy);
  }
  return value_;
}

int32_t TABSExprNodeBlob::GetSize() {
  TABSExprNode& text = Child(0);
  if (text.Kind() == TABSExprNodeKind::Const && !text.Value().IsNull()) {
    return static_cast<int32_t>(DecodeBase64(NarrowText(text.Value())).size());
  }
  return TextWidth(text) * 3 / 4;
}

TABSExprNodeSystem::TABSExprNodeSystem(std::unique_ptr<TABSExprTableReader> table, std::string tableName,
                                       std::string fieldName, bool inMemory)
    : TABSExprNode(TABSExprNodeKind::System, eoLastAutoInc),
      table_(std::move(table)),
      tableName_(std::move(tableName)),
      fieldName_(std::move(fieldName)),
      inMemory_(inMemory) {
  if (!table_) throw EABSException(msg::kExprPointerIsNil);
  fieldNo_ = table_->FindField(fieldName_);
  if (fieldNo_ < 0) throw EABSException(msg::kExprFieldNotFound.At(30337), fieldName_);
  fieldType_ = table_->FieldType(fieldNo_);
}

const TABSVariant& TABSExprNodeSystem::Evaluate() {
  if (Operator() == eoRowNum) {
    SetInteger(value_, ++rows_);
    return value_;
  }
  // The value in the field's own type: the reader gives it widened to 64 bits.
  value_.SetAsLargeInt(table_->LastAutoincValue(fieldNo_));
  const TABSBaseType base = BaseTypeOf(fieldType_);
  if (base != bt::kLargeInt) value_.CastToOrNull(base);
  return value_;
}

TABSDataType TABSExprNodeSystem::GetDataType() {
  return Operator() == eoRowNum ? dt::kInteger : fieldType_;
}

}  // namespace viz
