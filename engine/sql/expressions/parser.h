// The expression parser: recursive descent over the tokens of one command.
//
//   condition   := conjunction { OR conjunction }
//   conjunction := negation { AND negation }
//   negation    := NOT negation | truth-test
//   truth-test  := predicate [ IS [NOT] (TRUE | FALSE | UNKNOWN) ]
//   predicate   := value [ comparison-operator value
//                        | [NOT] LIKE value [ESCAPE value]
//                        | IS [NOT] NULL
//                        | [NOT] BETWEEN value AND value
//                        | [NOT] IN ( value {, value} ) ]
//   value       := term { (+ | - | ||) term }
//   term        := factor { (* | /) factor }
//   factor      := [+ | -] primary
//   primary     := literal | parameter | field | function | CASE ... | CAST ... | ( condition )
//
// Each token is read once: an operand is parsed a single time and what follows it decides what it
// becomes, so the time is linear in the length of the text. A value chain is a concatenation when
// it has a `||` or a text constant among its operands (then `+` joins texts too: 1 + 2 || 'x' is
// '12x'), otherwise a sum. A predicate must be Boolean: a comparison or another Boolean operator,
// TRUE, FALSE or a Boolean parameter.
//
// A construct that does not begin at the current token yields nothing and leaves the position
// where it was; once a construct has begun, what is missing in it raises, with the token found and
// its line and column. Nesting deeper than kMaxDepth, or a tree higher than kMaxHeight, raises
// 30065 "Expression nested too deeply".
#pragma once

#include <cstdint>

#include "engine/sql/VIZLexer.h"
#include "engine/sql/expressions/node.h"
#include "engine/sql/expressions/table_access.h"
#include "engine/types/messages.h"

namespace viz {

//! How the nodes of a parsed tree compare strings (from a dataset's filter options).
struct TABSExprParseOptions {
  bool CaseInsensitive = false;
  bool PartialCompare = false;
  //! The database LASTAUTOINC reads (may be null: LASTAUTOINC then raises), and whether its tables
  //! are those of the in-memory database.
  TABSExprDatabase* Database = nullptr;
  bool InMemory = false;
};

class TABSExprParser {
 public:
  static constexpr int kMaxDepth = 128;
  static constexpr uint32_t kMaxHeight = 256;

  //! REQUIRES: the lexer has a current command; the parser starts at its current token.
  TABSExprParser(TABSLexer& lexer, TABSExprParseOptions options) : lexer_(lexer), options_(options) {}

  //! Parses a condition. Raises 30066 "Boolean expression expected, but '%s' found ..." when none
  //! begins at the current token, or when what begins there is a value that is not Boolean.
  TABSExprNode::Ptr ParseCondition();
  //! Parses a value expression; returns null, at the same position, when none begins here.
  TABSExprNode::Ptr ParseValue();

 private:
  using Ptr = TABSExprNode::Ptr;
  class DepthGuard;

  // ---- Tokens
  const TToken& Token() const { return lexer_.CurrentToken(); }
  //! The token `offset` places after the current one (a tktNone past the end).
  const TToken& Peek(int32_t offset) const;
  void Advance() { lexer_.SetTokenPosition(lexer_.GetTokenPosition() + 1); }
  bool AtEnd() const { return Token().TokenType == tktNone; }
  bool AtWord(uint16_t word) const { return TABSLexer::IsReservedWord(Token(), word); }
  bool AtSymbol(std::string_view symbol) const;
  bool AtKind(TTokenType kind) const { return Token().TokenType == kind; }

  // ---- Errors, each with the current token and its place
  [[noreturn]] void RaiseAtToken(const msg::Message& message) const;
  [[noreturn]] void RaiseAtToken(const msg::Message& message, std::string_view what) const;
  [[noreturn]] void RaisePlace(const msg::Message& message) const;
  [[noreturn]] void RaisePlace(const msg::Message& message, std::string_view what) const;
  //! A value that had to follow is missing: 30063 at the end of the command, else 30064.
  [[noreturn]] void MissingValue() const;
  void Expect(TTokenType kind, int32_t code, std::string_view what);
  void ExpectWord(uint16_t word, int32_t code, std::string_view what);
  //! The Boolean operand of NOT, AND or OR that begins at `start`.
  Ptr RequireCondition(Ptr node, const TToken& start, int32_t code) const;
  //! A value, or raises "Argument expected for function '%s'" with `code`.
  Ptr RequireArgument(int32_t code, std::string_view function);

  // ---- Grammar
  //! operand { word operand }: one node of `op` with all the operands, each Boolean (else `code`).
  Ptr ParseList(uint16_t word, TABSExprOperator op, Ptr (TABSExprParser::*operand)(), int32_t code);
  Ptr ParseOr();
  Ptr ParseAnd();
  Ptr ParseNot();
  Ptr ParseTruthTest();
  Ptr ParsePredicate();
  Ptr ParsePredicateTail(Ptr left);
  Ptr ParseAdditive();
  Ptr ParseTerm();
  Ptr ParseFactor();
  Ptr ParsePrimary();
  Ptr ParseLiteral();
  Ptr ParseFieldReference();
  Ptr ParseFunction();

  // ---- Functions (parser_functions.cpp); each starts at the function's word
  Ptr ParseAggregate();
  Ptr ParseCase();
  Ptr ParseCoalesce();
  Ptr ParseCast();
  Ptr ParseTextFunction();
  Ptr ParseLength();
  Ptr ParsePosition();
  Ptr ParseSubstring();
  Ptr ParseDateFunction();
  Ptr ParseToDateOrString();
  Ptr ParseExtract();
  Ptr ParseMimeToBin();
  Ptr ParseLastAutoinc();
  //! A table or field name (bare, quoted or bracketed); raises the token error with `code`.
  std::string ExpectName(int32_t code, std::string_view what);
  Ptr ParseMathFunction(TABSExprOperator op, std::string_view name);
  //! Skips an empty pair of parentheses after a function that takes no argument.
  void SkipEmptyParentheses();

  // ---- Node making
  //! A node with the parse options' flags.
  template <class T, class... Args>
  std::unique_ptr<T> Make(Args&&... args) const {
    auto node = std::make_unique<T>(std::forward<Args>(args)...);
    node->CaseInsensitive = options_.CaseInsensitive;
    node->PartialCompare = options_.PartialCompare;
    return node;
  }
  //! Raises 30065 when the tree has grown higher than kMaxHeight.
  Ptr Checked(Ptr node) const;
  Ptr MakeComparison(TABSExprOperator op, Ptr left, Ptr right) const;

  TABSLexer& lexer_;
  TABSExprParseOptions options_;
  int depth_ = 0;
};

//! True for the nodes a condition may be made of: comparisons, Boolean operators and logical
//! constants (TRUE, FALSE, NULL, a Boolean parameter).
bool IsBooleanNode(const TABSExprNode& node);

}  // namespace viz
