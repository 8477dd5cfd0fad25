// The expression parser: conditions, predicates, value chains and primaries.
#include "engine/sql/expressions/parser.h"

#include <cmath>

#include "engine/sql/expressions/nodes.h"
#include "engine/types/errors.h"
#include "engine/types/text_forms.h"

namespace viz {
namespace {

bool IsOperatorSymbol(std::string_view text) {
  return text == "=" || text == "<>" || text == "<" || text == ">" || text == "<=" || text == ">=" ||
         text == "+" || text == "-" || text == "*" || text == "/" || text == "||" || text == "|";
}

TABSExprOperator ComparisonOperator(const TToken& token) {
  if (token.TokenType != tktString) return eoNone;
  const std::string& t = token.Text;
  if (t == "=") return eoEqual;
  if (t == "<>") return eoNotEqual;
  if (t == ">") return eoGreater;
  if (t == "<") return eoLess;
  if (t == ">=") return eoGreaterOrEqual;
  if (t == "<=") return eoLessOrEqual;
  return eoNone;
}

bool IsTextConstant(const TABSExprNode& node) {
  return node.Kind() == TABSExprNodeKind::Const && IsTextType(node.Value().GetType());
}

bool IsNumericConstant(const TABSExprNode& node) {
  return node.Kind() == TABSExprNodeKind::Const && !node.Value().IsNull() &&
         IsNumericBaseType(node.Value().GetType());
}

// Moves the operands of a nested node of the same operator up into `target` (AND, OR, ||), so that
// a bracketed list joins the list around it.
void AddFlattened(TABSExprNode& target, TABSExprNode::Ptr operand) {
  if (operand->Kind() == target.Kind() && operand->Operator() == target.Operator()) {
    for (TABSExprNode::Ptr& inner : operand->Children()) target.AddChild(std::move(inner));
    return;
  }
  target.AddChild(std::move(operand));
}

}  // namespace

bool IsBooleanNode(const TABSExprNode& node) {
  switch (node.Kind()) {
    case TABSExprNodeKind::Comparison:
    case TABSExprNodeKind::Boolean:
      return true;
    case TABSExprNodeKind::Const:
      // NULL AND FALSE is a condition: the literal NULL is the unknown truth value.
      return node.Value().GetType() == bt::kLogical || node.Value().GetType() == bt::kNone;
    default:
      return false;
  }
}

// Counts the nesting of primaries and negations; the recursion of the parser (and of everything
// that later walks the tree) stays within a bounded depth.
class TABSExprParser::DepthGuard {
 public:
  explicit DepthGuard(TABSExprParser& parser) : parser_(parser) {
    if (++parser_.depth_ > kMaxDepth) {
      --parser_.depth_;
      parser_.RaisePlace(msg::kNestedTooDeeply);
    }
  }
  ~DepthGuard() { --parser_.depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

 private:
  TABSExprParser& parser_;
};

const TToken& TABSExprParser::Peek(int32_t offset) const {
  static const TToken kNone;
  const int32_t command = lexer_.CurrentCommandIndex();
  if (command < 0 || command >= lexer_.CommandCount()) return kNone;
  const std::vector<TToken>& tokens = lexer_.Command(command).Tokens;
  const int64_t position = static_cast<int64_t>(lexer_.GetTokenPosition()) + offset;
  return position >= 0 && position < static_cast<int64_t>(tokens.size()) ? tokens[static_cast<size_t>(position)]
                                                                         : kNone;
}

bool TABSExprParser::AtSymbol(std::string_view symbol) const {
  return Token().TokenType == tktString && Token().Text == symbol;
}

void TABSExprParser::RaiseAtToken(const msg::Message& message) const {
  throw EABSException(message, Token().Text, Token().Line, Token().Column);
}

void TABSExprParser::RaiseAtToken(const msg::Message& message, std::string_view what) const {
  throw EABSException(message, what, Token().Text, Token().Line, Token().Column);
}

void TABSExprParser::RaisePlace(const msg::Message& message) const {
  throw EABSException(message, Token().Line, Token().Column);
}

void TABSExprParser::RaisePlace(const msg::Message& message, std::string_view what) const {
  throw EABSException(message, what, Token().Line, Token().Column);
}

void TABSExprParser::MissingValue() const {
  if (AtEnd()) RaisePlace(msg::kUnexpectedEnd);
  RaiseAtToken(msg::kUnexpectedToken);
}

void TABSExprParser::Expect(TTokenType kind, int32_t code, std::string_view what) {
  if (!AtKind(kind)) RaiseAtToken(msg::kTokenExpected.At(code), what);
  Advance();
}

void TABSExprParser::ExpectWord(uint16_t word, int32_t code, std::string_view what) {
  if (!AtWord(word)) RaiseAtToken(msg::kTokenExpected.At(code), what);
  Advance();
}

TABSExprParser::Ptr TABSExprParser::RequireCondition(Ptr node, const TToken& start, int32_t code) const {
  if (!node) {
    if (AtEnd()) RaisePlace(msg::kUnexpectedEnd.At(30136));
    RaiseAtToken(msg::kBooleanExpected.At(code));
  }
  if (!IsBooleanNode(*node)) throw EABSException(msg::kBooleanExpected.At(code), start.Text, start.Line, start.Column);
  return node;
}

TABSExprParser::Ptr TABSExprParser::RequireArgument(int32_t code, std::string_view function) {
  Ptr argument = ParseValue();
  if (!argument) RaisePlace(msg::kArgumentExpected.At(code), function);
  return argument;
}

TABSExprParser::Ptr TABSExprParser::Checked(Ptr node) const {
  if (node->Height() > kMaxHeight) RaisePlace(msg::kNestedTooDeeply);
  return node;
}

TABSExprNode::Ptr TABSExprParser::ParseCondition() {
  const int32_t start = lexer_.GetTokenPosition();
  const TToken first = Token();
  Ptr node = ParseOr();
  if (!node || !IsBooleanNode(*node)) {
    lexer_.SetTokenPosition(start);
    throw EABSException(msg::kBooleanExpected, first.Text, first.Line, first.Column);
  }
  return node;
}

TABSExprNode::Ptr TABSExprParser::ParseValue() {
  return ParseAdditive();
}

TABSExprParser::Ptr TABSExprParser::ParseList(uint16_t word, TABSExprOperator op, Ptr (TABSExprParser::*operand)(),
                                              int32_t code) {
  const TToken first = Token();
  Ptr left = (this->*operand)();
  if (!left || !AtWord(word)) return left;
  auto node = Make<TABSExprNodeBoolean>(op);
  AddFlattened(*node, RequireCondition(std::move(left), first, code));
  while (AtWord(word)) {
    Advance();
    const TToken start = Token();
    AddFlattened(*node, RequireCondition((this->*operand)(), start, code));
  }
  return Checked(std::move(node));
}

TABSExprParser::Ptr TABSExprParser::ParseOr() {
  return ParseList(rw::kOR, eoOr, &TABSExprParser::ParseAnd, 30070);
}

TABSExprParser::Ptr TABSExprParser::ParseAnd() {
  return ParseList(rw::kAND, eoAnd, &TABSExprParser::ParseNot, 30069);
}

TABSExprParser::Ptr TABSExprParser::ParseNot() {
  if (!AtWord(rw::kNOT)) return ParseTruthTest();
  DepthGuard guard(*this);
  Advance();
  const TToken start = Token();
  auto node = Make<TABSExprNodeBoolean>(eoNot);
  node->AddChild(RequireCondition(ParseNot(), start, 30066));
  return Checked(std::move(node));
}

TABSExprParser::Ptr TABSExprParser::ParseTruthTest() {
  const TToken first = Token();
  Ptr predicate = ParsePredicate();
  if (!predicate || !AtWord(rw::kIS)) return predicate;
  Advance();
  const bool negated = AtWord(rw::kNOT);
  if (negated) Advance();
  TABSExprOperator wrap;
  if (AtWord(rw::kTRUE)) {
    wrap = negated ? eoNot : eoNone;
  } else if (AtWord(rw::kFALSE)) {
    wrap = negated ? eoNone : eoNot;
  } else if (AtWord(rw::kUNKNOWN)) {
    wrap = negated ? eoIsNotNull : eoIsNull;
  } else {
    RaiseAtToken(msg::kTokenExpected, "TRUE, FALSE or UNKNOWN");
  }
  Advance();
  predicate = RequireCondition(std::move(predicate), first, 30066);
  if (wrap == eoNone) return predicate;
  auto node = Make<TABSExprNodeBoolean>(wrap);
  node->AddChild(std::move(predicate));
  return Checked(std::move(node));
}

TABSExprParser::Ptr TABSExprParser::ParsePredicate() {
  Ptr left = ParseAdditive();
  if (!left) return nullptr;
  return ParsePredicateTail(std::move(left));
}

TABSExprParser::Ptr TABSExprParser::MakeComparison(TABSExprOperator op, Ptr left, Ptr right) const {
  // A field compared by = or <> with a NULL of a text or date type asks whether it is NULL.
  if (op == eoEqual || op == eoNotEqual) {
    TABSExprNode* field = left->Kind() == TABSExprNodeKind::Field ? left.get() : right.get();
    TABSExprNode* other = field == left.get() ? right.get() : left.get();
    if (field->Kind() == TABSExprNodeKind::Field && other->Kind() == TABSExprNodeKind::Const &&
        other->Value().IsNull()) {
      const TABSBaseType type = other->Value().GetType();
      if (IsStringBaseType(type) || IsDateTimeBaseType(type)) {
        auto node = Make<TABSExprNodeBoolean>(op == eoEqual ? eoIsNull : eoIsNotNull);
        node->AddChild(field == left.get() ? std::move(left) : std::move(right));
        return Checked(std::move(node));
      }
    }
  }
  return Checked(Make<TABSExprNodeComparison>(op, std::move(left), std::move(right)));
}

TABSExprParser::Ptr TABSExprParser::ParsePredicateTail(Ptr left) {
  if (const TABSExprOperator op = ComparisonOperator(Token()); op != eoNone) {
    Advance();
    Ptr right = ParseAdditive();
    if (!right) MissingValue();
    return MakeComparison(op, std::move(left), std::move(right));
  }
  const bool negated = AtWord(rw::kNOT) && (TABSLexer::IsReservedWord(Peek(1), rw::kLIKE) ||
                                            TABSLexer::IsReservedWord(Peek(1), rw::kBETWEEN) ||
                                            TABSLexer::IsReservedWord(Peek(1), rw::kIN));
  if (negated) Advance();
  if (AtWord(rw::kLIKE)) {
    Advance();
    auto node = Make<TABSExprNodeBoolean>(negated ? eoNotLike : eoLike);
    node->AddChild(std::move(left));
    Ptr pattern = ParseAdditive();
    if (!pattern) MissingValue();
    node->AddChild(std::move(pattern));
    if (AtWord(rw::kESCAPE)) {
      Advance();
      const TToken start = Token();
      Ptr escape = ParseAdditive();
      if (!escape) MissingValue();
      if (escape->Kind() == TABSExprNodeKind::Const && !escape->Value().IsNull() &&
          (!IsTextType(escape->Value().GetType()) || NarrowText(escape->Value()).size() != 1)) {
        throw EABSException(msg::kEscapeCharacterExpected, start.Text, start.Line, start.Column);
      }
      node->AddChild(std::move(escape));
    }
    return Checked(std::move(node));
  }
  if (AtWord(rw::kBETWEEN)) {
    Advance();
    auto node = Make<TABSExprNodeBoolean>(negated ? eoNotBetween : eoBetween);
    node->AddChild(std::move(left));
    Ptr low = ParseAdditive();
    if (!low) MissingValue();
    node->AddChild(std::move(low));
    ExpectWord(rw::kAND, 30111, "AND");
    Ptr high = ParseAdditive();
    if (!high) MissingValue();
    node->AddChild(std::move(high));
    return Checked(std::move(node));
  }
  if (AtWord(rw::kIN)) {
    Advance();
    Expect(tktLeftParenthesis, 30106, "(");
    auto node = Make<TABSExprNodeBoolean>(negated ? eoNotIn : eoIn);
    node->AddChild(std::move(left));
    while (true) {
      node->AddChild(RequireArgument(30107, "IN"));
      if (!AtKind(tktComma)) break;
      Advance();
    }
    Expect(tktRightParenthesis, 30108, ")");
    return Checked(std::move(node));
  }
  if (AtWord(rw::kIS)) {
    const bool isNull = TABSLexer::IsReservedWord(Peek(1), rw::kNULL);
    const bool isNotNull =
        TABSLexer::IsReservedWord(Peek(1), rw::kNOT) && TABSLexer::IsReservedWord(Peek(2), rw::kNULL);
    if (isNull || isNotNull) {
      lexer_.SetTokenPosition(lexer_.GetTokenPosition() + (isNull ? 2 : 3));
      auto node = Make<TABSExprNodeBoolean>(isNull ? eoIsNull : eoIsNotNull);
      node->AddChild(std::move(left));
      return Checked(std::move(node));
    }
  }
  return left;
}

TABSExprParser::Ptr TABSExprParser::ParseAdditive() {
  Ptr first = ParseTerm();
  if (!first) return nullptr;
  if (!AtSymbol("+") && !AtSymbol("-") && !AtSymbol("||")) return first;
  struct Operand {
    char op;
    Ptr node;
    TToken token;
  };
  std::vector<Operand> operands;
  operands.push_back({'+', std::move(first), TToken()});
  bool concatenation = IsTextConstant(*operands.back().node);
  while (AtSymbol("+") || AtSymbol("-") || AtSymbol("||")) {
    const TToken token = Token();
    const char op = token.Text == "||" ? '|' : token.Text[0];
    Advance();
    Ptr term = ParseTerm();
    if (!term) MissingValue();
    concatenation = concatenation || op == '|' || IsTextConstant(*term);
    operands.push_back({op, std::move(term), token});
  }
  if (concatenation) {
    auto node = Make<TABSExprNodeStringFunction>(eoConcat);
    for (Operand& operand : operands) {
      if (operand.op == '-') {
        throw EABSException(msg::kUnexpectedToken, operand.token.Text, operand.token.Line, operand.token.Column);
      }
      AddFlattened(*node, std::move(operand.node));
    }
    return Checked(std::move(node));
  }
  auto node = Make<TABSExprNodeArithmetic>(eoAdd);
  for (Operand& operand : operands) {
    if (operand.op == '-') {
      if (IsNumericConstant(*operand.node)) {
        static_cast<TABSExprNodeConst&>(*operand.node).MutableValue().Negate();
      } else {
        auto negation = Make<TABSExprNodeArithmetic>(eoNegate);
        negation->AddChild(std::move(operand.node));
        operand.node = std::move(negation);
      }
    }
    node->AddChild(std::move(operand.node));
  }
  return Checked(std::move(node));
}

TABSExprParser::Ptr TABSExprParser::ParseTerm() {
  Ptr left = ParseFactor();
  if (!left) return nullptr;
  while (AtSymbol("*") || AtSymbol("/")) {
    const TABSExprOperator op = AtSymbol("*") ? eoMultiply : eoDivide;
    Advance();
    Ptr right = ParseFactor();
    if (!right) MissingValue();
    // a * b * c is one node applied from the left; a change of operator starts a new one.
    if (left->Kind() == TABSExprNodeKind::Arithmetic && left->Operator() == op) {
      left->AddChild(std::move(right));
      left = Checked(std::move(left));
      continue;
    }
    auto node = Make<TABSExprNodeArithmetic>(op);
    node->AddChild(std::move(left));
    node->AddChild(std::move(right));
    left = Checked(std::move(node));
  }
  return left;
}

TABSExprParser::Ptr TABSExprParser::ParseFactor() {
  if (!AtSymbol("-") && !AtSymbol("+")) return ParsePrimary();
  const bool negate = AtSymbol("-");
  Advance();
  Ptr primary = ParsePrimary();
  if (!primary) MissingValue();
  if (!negate) return primary;
  if (IsNumericConstant(*primary)) {
    static_cast<TABSExprNodeConst&>(*primary).MutableValue().Negate();
    return primary;
  }
  auto node = Make<TABSExprNodeArithmetic>(eoNegate);
  node->AddChild(std::move(primary));
  return Checked(std::move(node));
}

TABSExprParser::Ptr TABSExprParser::ParsePrimary() {
  DepthGuard guard(*this);
  switch (Token().TokenType) {
    case tktInt:
    case tktFloat:
    case tktQuotedString:
    case tktParameter:
      return ParseLiteral();
    case tktLeftParenthesis: {
      Advance();
      Ptr inner = ParseOr();
      if (!inner) MissingValue();
      Expect(tktRightParenthesis, 30071, ")");
      return inner;
    }
    case tktBracketedString:
      return ParseFieldReference();
    case tktString:
      if (IsOperatorSymbol(Token().Text)) return nullptr;
      if (Peek(1).TokenType == tktLeftParenthesis) return ParseFunction();
      return ParseFieldReference();
    case tktReservedWord:
      switch (Token().ReservedWord) {
        case rw::kTRUE:
        case rw::kFALSE:
        case rw::kNULL:
        case rw::kDATE:
        case rw::kTIME:
        case rw::kTIMESTAMP:
          return ParseLiteral();
        default:
          return ParseFunction();
      }
    default:
      return nullptr;
  }
}

TABSExprParser::Ptr TABSExprParser::ParseLiteral() {
  const TToken& token = Token();
  TABSVariant value;
  switch (token.TokenType) {
    case tktInt:
    case tktFloat:
      if (token.Value) {
        value.Assign(*token.Value, TABSCopyMode::Copy);
      } else if (const std::optional<long double> number = TextToFloat(token.Text);
                 token.TokenType == tktInt && number && std::isfinite(static_cast<double>(*number))) {
        value.SetAsFloat(static_cast<double>(*number));  // digits beyond 64 bits
      } else {
        RaiseAtToken(msg::kUnexpectedToken);
      }
      break;
    case tktQuotedString:
      SetNarrowText(value, bt::kString, token.Text);
      break;
    case tktParameter:
      value.Assign(*token.Value, TABSCopyMode::Copy);
      break;
    default:
      switch (token.ReservedWord) {
        case rw::kTRUE:
        case rw::kFALSE:
          value.SetAsLogical(token.ReservedWord == rw::kTRUE);
          break;
        case rw::kNULL:
          Advance();
          return Make<TABSExprNodeConst>();
        default: {
          // DATE 'YYYY-MM-DD', TIME 'HH:MM:SS', TIMESTAMP 'YYYY-MM-DD HH:MM:SS'
          const uint16_t word = token.ReservedWord;
          Advance();
          const TToken& text = Token();
          if (text.TokenType != tktQuotedString || !ReadDateTimeLiteral(word, text.Text, value)) {
            const msg::Message message = word == rw::kTIME ? msg::kTimeStringExpected : msg::kDateStringExpected;
            throw EABSException(message, text.Text, text.Line, text.Column);
          }
          break;
        }
      }
  }
  Advance();
  return Make<TABSExprNodeConst>(value);
}

TABSExprParser::Ptr TABSExprParser::ParseFieldReference() {
  std::string first = Token().Text;
  Advance();
  if (!AtKind(tktDot)) return Make<TABSExprNodeField>(std::string(), std::move(first));
  Advance();
  const TToken& name = Token();
  const bool isName = name.TokenType == tktBracketedString || name.TokenType == tktReservedWord ||
                      (name.TokenType == tktString && !IsOperatorSymbol(name.Text));
  if (!isName) RaiseAtToken(msg::kTokenExpected.At(30125), "field name");
  auto node = Make<TABSExprNodeField>(std::move(first), name.Text);
  Advance();
  return node;
}

}  // namespace viz
