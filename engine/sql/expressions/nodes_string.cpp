// Concatenation and the string functions.
#include <algorithm>
#include <cmath>

#include "engine/platform/text.h"
#include "engine/sql/expressions/nodes.h"
#include "engine/types/errors.h"

namespace viz {
namespace {

// The type UPPER, LOWER, the trims and SUBSTRING give for an argument of `type`: text types keep
// theirs, memos become strings of their width, anything else is first written as a string.
TABSDataType TextResultType(TABSDataType type) {
  if (IsStringDataType(type)) return type;
  if (type == dt::kWideMemo) return dt::kWideString;
  return dt::kString;
}

// Blanks and control characters, which the trims remove.
bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}
bool IsBlank(char16_t c) {
  return c <= u' ';
}

template <class Text>
Text Trimmed(const Text& text, TABSExprOperator op) {
  size_t begin = 0, end = text.size();
  if (op != eoRTrim) {
    while (begin < end && IsBlank(text[begin])) ++begin;
  }
  if (op != eoLTrim) {
    while (end > begin && IsBlank(text[end - 1])) --end;
  }
  return text.substr(begin, end - begin);
}

template <class Text>
Text Mapped(const Text& text, TABSExprOperator op) {
  switch (op) {
    case eoUpper:
      return platform::UpperCase(text);
    case eoLower:
      return platform::LowerCase(text);
    default:
      return Trimmed(text, op);
  }
}

bool IsWideValue(const TABSVariant& value) {
  return IsWideTextType(value.GetType()) || value.GetType() == bt::kWideMemo;
}

}  // namespace

int32_t TextWidth(TABSExprNode& node) {
  const TABSDataType type = node.GetDataType();
  return type == dt::kNone ? 0 : DisplayWidth(type, node.GetSize());
}

const TABSVariant& TABSExprNodeStringFunction::EvaluateConcat() {
  const TABSBaseType type = BaseTypeOf(GetDataType());
  if (IsWideTextType(type)) {
    std::u16string text;
    for (Ptr& child : children_) {
      const TABSVariant& operand = child->Evaluate();
      if (operand.IsNull()) {
        SetNullOf(value_, type);
        return value_;
      }
      text += WideText(operand);
    }
    SetWideText(value_, type, text);
    return value_;
  }
  std::string text;
  for (Ptr& child : children_) {
    const TABSVariant& operand = child->Evaluate();
    if (operand.IsNull()) {
      SetNullOf(value_, type);
      return value_;
    }
    text += IsNarrowTextType(operand.GetType()) ? std::string(NarrowView(operand)) : NarrowText(operand);
  }
  SetNarrowText(value_, type, text);
  return value_;
}

const TABSVariant& TABSExprNodeStringFunction::Evaluate() {
  if (Operator() == eoConcat) return EvaluateConcat();
  const TABSVariant& text = Child(0).Evaluate();
  switch (Operator()) {
    case eoLength: {
      int32_t length = 0;
      if (text.IsNull()) {
        length = 0;
      } else if (IsNarrowTextType(text.GetType()) || text.GetType() == bt::kMemo) {
        length = static_cast<int32_t>(NarrowView(text).size());
      } else if (IsWideValue(text)) {
        length = static_cast<int32_t>(WideText(text).size());
      } else {
        length = static_cast<int32_t>(NarrowText(text).size());
      }
      SetInteger(value_, length);
      return value_;
    }
    case eoPosition: {
      const TABSVariant& within = Child(1).Evaluate();
      int32_t position = 0;
      if (!text.IsNull() && !within.IsNull()) {
        size_t found;
        bool empty;
        if (IsWideValue(text) || IsWideValue(within)) {
          const std::u16string sub = WideText(text);
          empty = sub.empty();
          found = WideText(within).find(sub);
        } else {
          const std::string sub = NarrowText(text);
          empty = sub.empty();
          found = NarrowText(within).find(sub);
        }
        position = empty || found == std::string::npos ? 0 : static_cast<int32_t>(found) + 1;
      }
      SetInteger(value_, position);
      return value_;
    }
    default:
      break;
  }
  const TABSBaseType type = BaseTypeOf(GetDataType());
  if (Operator() == eoSubstring) {
    const TABSVariant& start = Child(1).Evaluate();
    const TABSVariant* length = ChildCount() > 2 ? &Child(2).Evaluate() : nullptr;
    if (text.IsNull() || start.IsNull() || (length && length->IsNull())) {
      SetNullOf(value_, type);
      return value_;
    }
    // Positions count from 1; a start before the first character starts at the first.
    const long double first = std::max<long double>(std::floor(NumberOf(start)), 1) - 1;
    const long double count = length ? std::max<long double>(std::floor(NumberOf(*length)), 0) : -1;
    const auto cut = [&](const auto& whole) {
      const size_t begin = std::min<long double>(first, static_cast<long double>(whole.size()));
      const size_t rest = whole.size() - begin;
      const size_t take = count < 0 || count >= rest ? rest : static_cast<size_t>(count);
      return whole.substr(begin, take);
    };
    if (IsWideTextType(type)) {
      SetWideText(value_, type, cut(WideText(text)));
    } else {
      SetNarrowText(value_, type, cut(NarrowText(text)));
    }
    return value_;
  }
  if (text.IsNull()) {
    SetNullOf(value_, type);
    return value_;
  }
  if (IsWideTextType(type)) {
    SetWideText(value_, type, Mapped(WideText(text), Operator()));
  } else {
    SetNarrowText(value_, type, Mapped(NarrowText(text), Operator()));
  }
  return value_;
}

TABSDataType TABSExprNodeStringFunction::GetDataType() {
  switch (Operator()) {
    case eoConcat: {
      // Concatenation always yields text: the common type of the operands when that is a text
      // type, else a string of their texts.
      const TABSDataType common = CommonChildType();
      return IsStringDataType(common) ? common : dt::kString;
    }
    case eoLength:
    case eoPosition:
      return dt::kInteger;
    default:
      return TextResultType(Child(0).GetDataType());
  }
}

int32_t TABSExprNodeStringFunction::GetSize() {
  switch (Operator()) {
    case eoConcat: {
      int32_t size = 0;
      for (Ptr& child : children_) size += TextWidth(*child);
      return size;
    }
    case eoLength:
    case eoPosition:
      return 0;
    default:
      return TextWidth(Child(0));
  }
}

}  // namespace viz
