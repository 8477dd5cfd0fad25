// Comparisons and the Boolean operators.
#include "engine/sql/expressions/nodes.h"
#include "engine/types/errors.h"
#include "engine/platform/text.h"
#include "engine/types/raw_access.h"
#include "engine/types/raw_values.h"

namespace viz {
namespace {

// A constant that makes a comparison with a field null-ordered: NULL, text or a date.
bool OrdersNulls(const TABSExprNode& node) {
  if (node.Kind() != TABSExprNodeKind::Const) return false;
  const TABSVariant& value = node.Value();
  return value.IsNull() || IsStringBaseType(value.GetType()) || IsDateTimeBaseType(value.GetType());
}

bool Holds(TABSExprOperator op, int order) {
  switch (op) {
    case eoEqual:
      return order == kCompareEqual;
    case eoNotEqual:
      return order != kCompareEqual;
    case eoGreater:
      return order == kCompareGreater;
    case eoLess:
      return order == kCompareLess;
    case eoGreaterOrEqual:
      return order != kCompareLess;
    case eoLessOrEqual:
      return order != kCompareGreater;
    default:
      throw EABSException(msg::kUnknownOperator.At(30117), OperatorName(op));
  }
}

// The field and the constant of a comparison of the two, either way round.
struct FieldAndConst {
  TABSExprNodeField* field = nullptr;
  TABSExprNodeConst* constant = nullptr;
};

FieldAndConst Pair(TABSExprNode& left, TABSExprNode& right) {
  FieldAndConst pair;
  if (left.Kind() == TABSExprNodeKind::Field && right.Kind() == TABSExprNodeKind::Const) {
    pair.field = static_cast<TABSExprNodeField*>(&left);
    pair.constant = static_cast<TABSExprNodeConst*>(&right);
  } else if (right.Kind() == TABSExprNodeKind::Field && left.Kind() == TABSExprNodeKind::Const) {
    pair.field = static_cast<TABSExprNodeField*>(&right);
    pair.constant = static_cast<TABSExprNodeConst*>(&left);
  }
  return pair;
}

// A string constant ending in '*' under partial compare: the star is dropped and the comparison
// looks at as many characters as remain. Returns that count, or −1.
int32_t TakePrefix(TABSExprNodeConst& constant) {
  TABSVariant& value = constant.MutableValue();
  if (value.IsNull()) return -1;
  if (IsNarrowTextType(value.GetType())) {
    const std::string text(NarrowView(value));
    if (text.empty() || text.back() != '*') return -1;
    SetNarrowText(value, value.GetType(), std::string_view(text).substr(0, text.size() - 1));
    return static_cast<int32_t>(text.size() - 1);
  }
  if (IsWideTextType(value.GetType())) {
    const std::u16string text = WideText(value);
    if (text.empty() || text.back() != u'*') return -1;
    SetWideText(value, value.GetType(), std::u16string_view(text).substr(0, text.size() - 1));
    return static_cast<int32_t>(text.size() - 1);
  }
  return -1;
}

}  // namespace

TABSExprNodeComparison::TABSExprNodeComparison(TABSExprOperator op, Ptr left, Ptr right)
    : TABSExprNode(TABSExprNodeKind::Comparison, op) {
  nullStrict_ = !((left->Kind() == TABSExprNodeKind::Field && OrdersNulls(*right)) ||
                  (right->Kind() == TABSExprNodeKind::Field && OrdersNulls(*left)));
  AddChild(std::move(left));
  AddChild(std::move(right));
}

void TABSExprNodeComparison::CompareByPrefixOfConstant() {
  for (size_t i = 0; i < 2; ++i) {
    const TABSVariant& value = Child(i).Value();
    if (Child(i).Kind() == TABSExprNodeKind::Const && IsStringBaseType(value.GetType()) && !value.IsNull()) {
      prefixLength_ = value.StringLength();
      return;
    }
  }
}

void TABSExprNodeComparison::Prepare() {
  TABSExprNode::Prepare();
  direct_ = Direct::None;
  const FieldAndConst pair = Pair(Child(0), Child(1));
  if (PartialCompare && prefixLength_ < 0) {
    TABSExprNodeConst* constant = pair.constant;
    if (!constant && Child(1).Kind() == TABSExprNodeKind::Const)
      constant = static_cast<TABSExprNodeConst*>(&Child(1));
    if (constant) prefixLength_ = TakePrefix(*constant);
  }
  if (!pair.field || !pair.field->IsBound()) return;
  TABSVariant& constant = pair.constant->MutableValue();
  if (constant.IsNull()) return;
  const TABSBaseType fieldType = pair.field->Info().BaseType;
  if (fieldType != constant.GetType()) {
    // The constant goes into the type the comparison would bring it to on every row, once: a wide
    // text meeting a narrow field becomes narrow, and whatever converts into the field's own type
    // does so. A constant that does not convert is left for the evaluation to report.
    const TABSBaseType constType = constant.GetType();
    TABSBaseType target = bt::kNone;
    if (IsNarrowTextType(fieldType) && IsWideTextType(constType)) {
      target = bt::kString;
    } else if (CommonBaseType(fieldType, constType, true) == fieldType) {
      target = fieldType;
    }
    if (target == bt::kNone) return;
    try {
      constant.ConvertTo(target);
    } catch (const Exception&) {
      return;
    }
  }
  // From here on the field's bytes can be compared with the constant's as they are.
  const TABSBaseType type = constant.GetType();
  if (IsNarrowTextType(fieldType) && IsNarrowTextType(type)) {
    direct_ = Direct::NarrowText;
  } else if (type == fieldType && (IsNumericBaseType(type) || IsDateTimeBaseType(type) || type == bt::kLogical)) {
    direct_ = Direct::Fixed;
  }
  fieldOnRight_ = pair.field == &Child(1);
  directField_ = pair.field;
  directConstant_ = pair.constant;
}

int TABSExprNodeComparison::DirectOrder() {
  const TABSFieldBytes field = directField_->Bytes();
  if (field.Data == nullptr && !field.IsNull) return -1;
  int order;
  if (field.IsNull) {
    if (nullStrict_) return -2;
    order = kCompareLess;  // the constant is not NULL
  } else {
    const TABSVariant& constant = directConstant_->Value();
    if (direct_ == Direct::NarrowText) {
      const std::string_view text = AnsiPayload(field.Data, field.Size);
      const int collated = CompareNarrowText(text, NarrowView(constant), CaseInsensitive, prefixLength_);
      order = collated < 0 ? kCompareLess : collated > 0 ? kCompareGreater : kCompareEqual;
    } else {
      order = CompareRawValues(field.Data, constant.GetData(), constant.GetType(), constant.GetType(),
                               kUserDefaultLocale, false, -1, false, false);
    }
  }
  if (fieldOnRight_ && order != kCompareEqual) order = order == kCompareLess ? kCompareGreater : kCompareLess;
  return order;
}

int TABSExprNodeComparison::EvaluateTruth() {
  if (direct_ != Direct::None) {
    const int order = DirectOrder();
    if (order == -2) return 0;  // a NULL field, null-strict
    if (order >= 0) return Holds(Operator(), order) ? 1 : 0;
  }
  const TABSVariant& left = Child(0).Evaluate();
  const TABSVariant& right = Child(1).Evaluate();
  if (left.IsNull() || right.IsNull()) {
    if (nullStrict_) return 0;
    const int order = left.IsNull() && right.IsNull() ? kCompareEqual
                      : left.IsNull()                 ? kCompareLess
                                                      : kCompareGreater;
    return Holds(Operator(), order) ? 1 : 0;
  }
  return Holds(Operator(), CompareValues(left, right, CaseInsensitive, prefixLength_)) ? 1 : 0;
}

const TABSVariant& TABSExprNodeComparison::Evaluate() {
  SetLogical(value_, EvaluateTruth() > 0);
  return value_;
}

const TABSVariant& TABSExprNodeBoolean::Evaluate() {
  const int truth = EvaluateTruth();
  if (truth < 0) {
    SetNullOf(value_, bt::kLogical);
  } else {
    SetLogical(value_, truth != 0);
  }
  return value_;
}

int TABSExprNodeBoolean::EvaluateTruth() {
  switch (Operator()) {
    case eoNot: {
      const int truth = Child(0).EvaluateTruth();
      return truth < 0 ? truth : 1 - truth;
    }
    case eoAnd:
    case eoOr: {
      // AND starts TRUE and stops at the first FALSE, OR starts FALSE and stops at the first
      // TRUE; a NULL operand on the way makes the result NULL unless it stops.
      const int stopAt = Operator() == eoOr ? 1 : 0;
      int result = 1 - stopAt;
      for (Ptr& child : children_) {
        const int truth = child->EvaluateTruth();
        if (truth == stopAt) return stopAt;
        if (truth < 0) result = -1;
      }
      return result;
    }
    case eoIn:
    case eoNotIn: {
      const TABSVariant& operand = Child(0).Evaluate();
      if (operand.IsNull()) return -1;
      bool found = false;
      for (size_t i = 1; i < children_.size() && !found; ++i) {
        const TABSVariant& item = children_[i]->Evaluate();
        found = !item.IsNull() && CompareValues(operand, item, true) == kCompareEqual;
      }
      return found != (Operator() == eoNotIn) ? 1 : 0;
    }
    case eoBetween:
    case eoNotBetween: {
      const TABSVariant& operand = Child(0).Evaluate();
      const TABSVariant& low = Child(1).Evaluate();
      const TABSVariant& high = Child(2).Evaluate();
      if (operand.IsNull() || low.IsNull() || high.IsNull()) return -1;
      const bool inside = CompareValues(operand, low, true) != kCompareLess &&
                          CompareValues(operand, high, true) != kCompareGreater;
      return inside != (Operator() == eoNotBetween) ? 1 : 0;
    }
    case eoLike:
    case eoNotLike:
      return LikeTruth();
    case eoIsNull:
    case eoIsNotNull: {
      bool isNull;
      const TABSFieldBytes bytes = Child(0).Kind() == TABSExprNodeKind::Field
                                       ? static_cast<TABSExprNodeField&>(Child(0)).Bytes()
                                       : TABSFieldBytes{};
      isNull = bytes.Data || bytes.IsNull ? bytes.IsNull : Child(0).Evaluate().IsNull();
      return isNull == (Operator() == eoIsNull) ? 1 : 0;
    }
    default:
      throw EABSException(msg::kUnknownOperator.At(30121), OperatorName(Operator()));
  }
}

int TABSExprNodeBoolean::LikeTruth() {
  // A single-byte text field is read in place.
  std::string_view inPlace;
  bool haveInPlace = false;
  if (Child(0).Kind() == TABSExprNodeKind::Field) {
    const TABSFieldBytes bytes = static_cast<TABSExprNodeField&>(Child(0)).Bytes();
    if (bytes.IsNull) return -1;
    const auto& field = static_cast<TABSExprNodeField&>(Child(0));
    if (bytes.Data && IsNarrowTextType(field.Info().BaseType)) {
      inPlace = AnsiPayload(bytes.Data, bytes.Size);
      haveInPlace = true;
    }
  }
  const TABSVariant* text = haveInPlace ? nullptr : &Child(0).Evaluate();
  const TABSVariant& pattern = Child(1).Evaluate();
  const TABSVariant* escape = ChildCount() > 2 ? &Child(2).Evaluate() : nullptr;
  if ((text && text->IsNull()) || pattern.IsNull() || (escape && escape->IsNull())) return -1;
  if ((text && !IsTextType(text->GetType())) || !IsTextType(pattern.GetType()) ||
      (escape && !IsTextType(escape->GetType()))) {
    throw EABSException(msg::kNotStringArgument, "LIKE");
  }
  const auto isWide = [](TABSBaseType t) { return IsWideTextType(t) || t == bt::kWideMemo; };
  bool matches;
  if ((text && isWide(text->GetType())) || isWide(pattern.GetType())) {
    const std::u16string wideText = text ? WideText(*text) : platform::Win1252ToUtf16(inPlace);
    std::optional<char16_t> escapeCharacter;
    if (escape) {
      const std::u16string escapeText = WideText(*escape);
      if (escapeText.size() != 1) throw EABSException(msg::kNotStringArgument.At(30135), "ESCAPE");
      escapeCharacter = escapeText[0];
    }
    matches = MatchLikeText(wideText, WideText(pattern), escapeCharacter, CaseInsensitive);
  } else {
    std::optional<char> escapeCharacter;
    if (escape) {
      const std::string escapeText = NarrowText(*escape);
      if (escapeText.size() != 1) throw EABSException(msg::kNotStringArgument.At(30135), "ESCAPE");
      escapeCharacter = escapeText[0];
    }
    matches = MatchLikeText(text ? NarrowView(*text) : inPlace, NarrowView(pattern), escapeCharacter,
                            CaseInsensitive);
  }
  return matches != (Operator() == eoNotLike) ? 1 : 0;
}

}  // namespace viz
