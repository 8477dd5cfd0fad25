// The SQL lexer: the whole text of a request becomes, in one pass, a list of commands (statements
// separated by semicolons), each a list of tokens with the line and column where they begin.
//
// What becomes a token:
//   bare words       identifiers, keywords, operators            tktString, or tktReservedWord when
//                                                                 the word is in the reserved-word table
//   `name`           a name in backticks; a backslash takes the next character literally
//                                                                 tktString (never a reserved word)
//   'text' "text"    quoted text; a doubled quote stands for one  tktQuotedString
//   [name]           a bracketed name; "]]" stands for "]"        tktBracketedString
//   12               digits                                       tktInt
//   1.5 .5 2E3 1e-2  a number with a full stop or an exponent     tktFloat
//   :name :"name" :'name' :[name] ?                              tktParameter
//   ( ) , .          parentheses, commas, a lone full stop        their own kinds
// Operators: <= <> >= || are single tokens; + - * / = < > | each stand alone. Comments (-- to the
// end of the line, /* to */) separate tokens as white space does (tab, carriage return, line feed,
// blank). Lines and columns are 1-based and count bytes; a carriage return takes no column.
//
// Parameters are bound while lexing: a named marker to the first parameter of that name (without
// regard to case), each `?` to the next parameter of the list by position (the count runs across
// all statements of the text, and the token's text becomes "Param1", "Param2", ...). The token
// then refers to a copy of the parameter's value owned by the lexer.
//
// The parsers walk the tokens of one command through a cursor: the current position is a plain
// index, so saving and restoring it (for back-tracking) costs nothing.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "engine/sql/reserved_words.h"
#include "engine/sql/sql_params.h"
#include "engine/types/VIZVariant.h"

namespace viz {

//! Kinds of tokens (one byte).
enum TTokenType : uint8_t {
  tktNone = 0,             //!< what a read past the last token of a command returns
  tktString = 1,           //!< a bare word or a backtick name
  tktQuotedString = 2,     //!< text in single or double quotes
  tktBracketedString = 3,  //!< text in square brackets
  tktInt = 4,              //!< digits only
  tktFloat = 5,            //!< a number with '.' or 'E'
  tktReservedWord = 6,     //!< a bare word of the reserved-word table
  tktParameter = 7,        //!< a named or positional parameter marker
  tktLeftParenthesis = 8,
  tktRightParenthesis = 9,
  tktComma = 10,
  tktDot = 11,  //!< a full stop standing alone (the separator of a qualified name)
};

//! Returns the name of a token kind ("tktNone" ... "tktDot"), or "" for a value outside the kinds.
std::string_view TokenTypeName(TTokenType type);

//! One token. A plain value: copying it copies the text and shares the value.
struct TToken {
  TTokenType TokenType = tktNone;
  //! Number of the word in the reserved-word table, or kNotReservedWord.
  uint16_t ReservedWord = kNotReservedWord;
  //! Quoted, bracketed and backtick tokens: the text without delimiters and with doubled
  //! delimiters reduced to one. Named parameters: the name. Positional parameters: "Param<n>".
  //! Everything else: the characters as written.
  std::string Text;
  //! The typed value of the token, owned by the lexer that made it (it lives as long as that
  //! lexer): for a parameter a copy of the parameter's value; for tktInt the number as INTEGER
  //! when its magnitude is below 2147483647, else as LARGEINT; for tktFloat the number as FLOAT.
  //! Null for every other token and for a number whose text is not a valid number of its kind
  //! ("1.2.3", "1E", digits beyond 64 bits).
  const TABSVariant* Value = nullptr;
  //! Position of the token's first character (1-based).
  int32_t Line = 0;
  int32_t Column = 0;
};

//! One statement: its tokens and the parsers' current position among them.
struct TSQLCommand {
  std::vector<TToken> Tokens;
  //! 0-based index of the current token; may stand at or past the end.
  int32_t TokenPosition = 0;

  int32_t TokenCount() const { return static_cast<int32_t>(Tokens.size()); }
};

class TABSLexer {
 public:
  //! Lexes the whole text. `params` (not owned, may be null for a text without parameters) must
  //! stay alive only during the call. Afterwards no command is current (index −1) and every
  //! command stands at its first token. Raises, and no lexer results:
  //!   30059 "Missing symbol ')' at line %d, column %d"           an unclosed '(' in a statement
  //!   30060 "Unexpected symbol ')' found at line %d, column %d"  a ')' without its '('
  //!   30061 "Unterminated string at line %d, column %d"          a quote, bracket or backtick not closed
  //!   30062 "Invalid numeric symbol '%s' at line %d, column %d"  a letter or other symbol in a number
  //!   30358 "Value for parameter '%s' not found"                 a named marker without its parameter
  //!   20271 "Parameter \"%s\" is of an unknown data type"        a parameter whose value has no type
  //!   EListError                                                  a `?` beyond the parameters
  //! The parenthesis checks run per statement; an unclosed parenthesis is reported before an
  //! unterminated string of the same statement.
  TABSLexer(std::string_view sql, const TABSSQLParams* params);
  TABSLexer(const TABSLexer&) = delete;
  TABSLexer& operator=(const TABSLexer&) = delete;

  const std::string& SQLText() const { return sql_; }
  int32_t CommandCount() const { return static_cast<int32_t>(commands_.size()); }
  //! Index of the current command: −1 before the first, CommandCount() after the last.
  int32_t CurrentCommandIndex() const { return currentCommand_; }
  //! REQUIRES: 0 <= index < CommandCount().
  const TSQLCommand& Command(int32_t index) const { return commands_[static_cast<size_t>(index)]; }

  //! Makes the next command current. Returns true while there is one.
  bool NextCommand();

  //! The token at the current position of the current command. Past the end (or without a current
  //! command) the token is a tktNone with empty text, the line and column of the command's last
  //! token (0 and 0 when there is none), and the result is false.
  bool GetCurrentToken(TToken& token) const;
  //! As GetCurrentToken, without copying: the reference stays valid until the next AddToken.
  const TToken& CurrentToken() const;
  //! The token after the current position, without moving.
  bool LookAheadToken(TToken& token) const;
  //! LookAheadToken, then the position moves on by one (also when there was no next token).
  bool GetNextToken(TToken& token);

  //! The current position of the current command (0 without one); restoring it back-tracks.
  int32_t GetTokenPosition() const;
  //! Sets the position of the current command. Returns whether a token stands there.
  bool SetTokenPosition(int32_t position);
  //! Sets the position, then returns GetCurrentToken.
  bool SetTokenPosition(int32_t position, TToken& token);

  //! Appends an empty command and makes it current (for statements a parser assembles itself).
  void AddCommand();
  //! Appends a copy of the token to the current command (appending a command first when none is
  //! current) and makes it the current token.
  void AddToken(const TToken& token);

  //! True when the token is a reserved word with number `wordNumber`, or any reserved word when
  //! `wordNumber` is kAnyReservedWord.
  static bool IsReservedWord(const TToken& token, uint16_t wordNumber);

 private:
  TSQLCommand* Current();
  const TSQLCommand* Current() const;
  const TToken& TokenAt(int32_t position) const;

  std::string sql_;
  std::vector<TSQLCommand> commands_;
  int32_t currentCommand_ = -1;
  //! The values tokens refer to; a deque, so that they never move.
  std::deque<TABSVariant> values_;
  //! What a read past the end of the current command returns.
  mutable TToken none_;
};

//! The value of a DATE, TIME or TIMESTAMP literal: `word` is rw::kDATE, rw::kTIME or
//! rw::kTIMESTAMP and `text` the quoted text after it (YYYY-MM-DD, HH:MM[:SS[.mmm]], or a date,
//! a blank or 'T', and a time). Returns false, and leaves `value` alone, when the text is not of
//! that form or the word is another one.
bool ReadDateTimeLiteral(uint16_t word, std::string_view text, TABSVariant& value);

}  // namespace viz
