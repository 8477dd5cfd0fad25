// Comparisons and the Boolean operators.
#include "engine/sql/expressions/nodes.h"
#include "engine/types/errors.h"
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
  const TABSBaseType constType = constant.GetType();
  if (fieldType == constType) return;
  // The constant goes into the type the comparison would bring it to on every row, once: a wide
  // text meeting a narrow field becomes narrow, and whatever converts into the field's own type
  // does so. A constant that does not convert is left for the evaluation to report.
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
  }
}

const TABSVariant& TABSExprNodeComparison::Evaluate() {
  const TABSVariant& left = Child(0).Evaluate();
  const TABSVariant& right = Child(1).Evaluate();
  bool result;
  if (left.IsNull() || right.IsNull()) {
    if (nullStrict_) {
      result = false;
    } else {
      const int order = left.IsNull() && right.IsNull() ? kCompareEqual
                        : left.IsNull()                 ? kCompareLess
                                                        : kCompareGreater;
      result = Holds(Operator(), order);
    }
  } else {
    result = Holds(Operator(), CompareValues(left, right, CaseInsensitive, prefixLength_));
  }
  SetLogical(value_, result);
  return value_;
}

void TABSExprNodeBoolean::SetTruth(int truth) {
  if (truth < 0) {
    SetNullOf(value_, bt::kLogical);
  } else {
    SetLogical(value_, truth != 0);
  }
}

const TABSVariant& TABSExprNodeBoolean::Evaluate() {
  switch (Operator()) {
    case eoNot: {
      const TABSVariant& operand = Child(0).Evaluate();
      SetTruth(operand.IsNull() ? -1 : !TruthOf(operand));
      break;
    }
    case eoAnd:
    case eoOr: {
      // AND starts TRUE and stops at the first FALSE, OR starts FALSE and stops at the first
      // TRUE; a NULL operand on the way makes the result NULL unless it stops.
      const bool stopAt = Operator() == eoOr;
      int truth = stopAt ? 0 : 1;
      for (Ptr& child : children_) {
        const TABSVariant& operand = child->Evaluate();
        if (operand.IsNull()) {
          truth = -1;
        } else if (TruthOf(operand) == stopAt) {
          truth = stopAt ? 1 : 0;
          break;
        }
      }
      SetTruth(truth);
      break;
    }
    case eoIn:
    case eoNotIn: {
      const TABSVariant& operand = Child(0).Evaluate();
      if (operand.IsNull()) {
        SetTruth(-1);
        break;
      }
      bool found = false;
      for (size_t i = 1; i < children_.size() && !found; ++i) {
        const TABSVariant& item = children_[i]->Evaluate();
        found = !item.IsNull() && CompareValues(operand, item, true) == kCompareEqual;
      }
      SetTruth(found != (Operator() == eoNotIn));
      break;
    }
    case eoBetween:
    case eoNotBetween: {
      const TABSVariant& operand = Child(0).Evaluate();
      const TABSVariant& low = Child(1).Evaluate();
      const TABSVariant& high = Child(2).Evaluate();
      if (operand.IsNull() || low.IsNull() || high.IsNull()) {
        SetTruth(-1);
        break;
      }
      const bool inside = CompareValues(operand, low, true) != kCompareLess &&
                          CompareValues(operand, high, true) != kCompareGreater;
      SetTruth(inside != (Operator() == eoNotBetween));
      break;
    }
    case eoLike:
    case eoNotLike:
      return EvaluateLike();
    case eoIsNull:
    case eoIsNotNull:
      SetTruth(Child(0).Evaluate().IsNull() == (Operator() == eoIsNull));
      break;
    default:
      throw EABSException(msg::kUnknownOperator.At(30121), OperatorName(Operator()));
  }
  return value_;
}

const TABSVariant& TABSExprNodeBoolean::EvaluateLike() {
  const TABSVariant& text = Child(0).Evaluate();
  const TABSVariant& pattern = Child(1).Evaluate();
  const TABSVariant* escape = ChildCount() > 2 ? &Child(2).Evaluate() : nullptr;
  if (text.IsNull() || pattern.IsNull() || (escape && escape->IsNull())) {
    SetTruth(-1);
    return value_;
  }
  if (!IsTextType(text.GetType()) || !IsTextType(pattern.GetType()) ||
      (escape && !IsTextType(escape->GetType()))) {
    throw EABSException(msg::kNotStringArgument, "LIKE");
  }
  const auto isWide = [](TABSBaseType t) { return IsWideTextType(t) || t == bt::kWideMemo; };
  bool matches;
  if (isWide(text.GetType()) || isWide(pattern.GetType())) {
    const std::u16string wideText = WideText(text), widePattern = WideText(pattern);
    if (escape) {
      const std::u16string escapeText = WideText(*escape);
      if (escapeText.size() != 1) throw EABSException(msg::kNotStringArgument.At(30135), "ESCAPE");
      matches = MatchLikeEscaped(wideText, widePattern, escapeText[0], CaseInsensitive);
    } else {
      matches = MatchLike(wideText, widePattern, CaseInsensitive);
    }
  } else if (escape) {
    const std::string escapeText = NarrowText(*escape);
    if (escapeText.size() != 1) throw EABSException(msg::kNotStringArgument.At(30135), "ESCAPE");
    matches = MatchLikeEscaped(NarrowView(text), NarrowView(pattern), escapeText[0], CaseInsensitive);
  } else {
    matches = MatchLike(NarrowView(text), NarrowView(pattern), CaseInsensitive);
  }
  SetTruth(matches != (Operator() == eoNotLike));
  return value_;
}

}  // namespace viz
