#include <cmath>
#include <cstring>

#include "engine/sql/VIZLexer.h"
#include "engine/types/errors.h"
#include "engine/types/text_forms.h"
#include "framework/data/common_errors.h"

namespace viz {
namespace {

constexpr std::string_view kTokenTypeNames[] = {
    "tktNone",         "tktString",    "tktQuotedString",    "tktBracketedString",  "tktInt",   "tktFloat",
    "tktReservedWord", "tktParameter", "tktLeftParenthesis", "tktRightParenthesis", "tktComma", "tktDot",
};

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Characters that always end the open token and begin one of their own.
bool IsSeparatorSymbol(char c) {
  switch (c) {
    case '>':
    case '<':
    case '=':
    case '(':
    case ')':
    case ',':
    case '/':
    case '*':
    case ':':
    case '?':
    case '|':
      return true;
    default:
      return false;
  }
}

struct Position {
  int32_t line = 0;
  int32_t column = 0;
};

// One pass over the text. State lives here; the results go into the lexer's commands and values.
class Tokenizer {
 public:
  Tokenizer(std::string_view text, const TABSSQLParams* params, std::vector<TSQLCommand>& commands,
            std::deque<TABSVariant>& values)
      : text_(text), params_(params), commands_(commands), values_(values) {}

  void Run();

 private:
  // The character at `index`, or a blank past the end.
  char At(size_t index) const { return index < text_.size() ? text_[index] : ' '; }
  // Moves past one character, keeping line and column: a line feed starts a new line, a
  // carriage return takes no column.
  void Advance(char c) {
    if (c == '\n') {
      ++line_;
      column_ = 1;
    } else if (c != '\r') {
      ++column_;
    }
    ++pos_;
  }
  // Advance for a character of an ordinary token or white space, which the number rules look back at.
  void Consume(char c) {
    previous_ = c;
    Advance(c);
  }

  TToken& OpenToken() { return commands_.back().Tokens.back(); }
  bool BeginsToken(char c);
  void AppendToOpenToken(char c);
  void StartToken(char c);
  void ReadDelimited(TToken& token);
  void SkipLineComment();
  void SkipBlockComment();
  void FinishOpenToken();
  void Finish(TToken& token, bool backtick);
  void BindNamed(TToken& token);
  void BindPositional(TToken& token);
  void TakeValue(TToken& token, const TABSSQLParam& param);
  void SetNumberValue(TToken& token);
  void EndCommand();

  const std::string_view text_;
  const TABSSQLParams* const params_;
  std::vector<TSQLCommand>& commands_;
  std::deque<TABSVariant>& values_;

  size_t pos_ = 0;
  int32_t line_ = 1;
  int32_t column_ = 1;
  // The last token of the current command is still taking characters.
  bool tokenOpen_ = false;
  bool commandOpen_ = false;
  // Parenthesis balance of the current command; the positions of the '(' not yet closed, and of
  // the first ')' that had none.
  int32_t depth_ = 0;
  std::vector<Position> openParentheses_;
  Position strayParenthesis_;
  bool hasStrayParenthesis_ = false;
  // Where the last delimited token began, and whether the text ended inside it.
  Position quoted_;
  bool unterminated_ = false;
  char previous_ = ' ';
  // Positional parameters met so far in the whole text.
  int32_t positional_ = 0;
};

void Tokenizer::Run() {
  while (pos_ < text_.size()) {
    const char c = text_[pos_];
    const char next = At(pos_ + 1);
    if (c == ';') {
      EndCommand();
      Advance(c);
      continue;
    }
    if (c == '-' && next == '-') {
      FinishOpenToken();
      SkipLineComment();
      continue;
    }
    if (c == '/' && next == '*') {
      FinishOpenToken();
      SkipBlockComment();
      continue;
    }
    if (IsWhiteSpace(c)) {
      FinishOpenToken();
    } else if (!tokenOpen_) {
      StartToken(c);
      continue;
    } else if (BeginsToken(c)) {
      FinishOpenToken();
      StartToken(c);
      continue;
    } else {
      AppendToOpenToken(c);
    }
    Consume(c);
  }
  EndCommand();
}

bool Tokenizer::BeginsToken(char c) {
  const TTokenType open = OpenToken().TokenType;
  if (IsSeparatorSymbol(c)) return true;
  if (c == '.' && open != tktInt) return true;
  if (open == tktDot && !IsDigit(c)) return true;
  if (c == '+' || c == '-') {
    if (open == tktString) return true;
    // The sign of an exponent stays in the number: 2e+3, 1E-2.
    if (open == tktInt && previous_ != 'E' && previous_ != 'e') return true;
  }
  return false;
}

void Tokenizer::AppendToOpenToken(char c) {
  TToken& token = OpenToken();
  if (token.TokenType == tktInt &&
      !(IsDigit(c) || c == '.' || c == 'E' || c == 'e' || c == '+' || c == '-')) {
    throw EABSException(msg::kInvalidNumericSymbol, std::string(1, c), line_, column_);
  }
  // A digit after a lone full stop makes a number: .5
  if (token.TokenType == tktDot) token.TokenType = tktInt;
  token.Text += c;
}

void Tokenizer::StartToken(char c) {
  if (!commandOpen_) {
    commands_.emplace_back();
    commandOpen_ = true;
    depth_ = 0;
    openParentheses_.clear();
    hasStrayParenthesis_ = false;
    unterminated_ = false;
  }
  std::vector<TToken>& tokens = commands_.back().Tokens;
  tokens.emplace_back();
  TToken& token = tokens.back();
  token.Text.assign(1, c);
  token.Line = line_;
  token.Column = column_;

  const char next = At(pos_ + 1);
  if (c == '\'' || c == '"' || c == '`' || c == '[' ||
      (c == ':' && (next == '"' || next == '\'' || next == '['))) {
    ReadDelimited(token);
    return;
  }
  switch (c) {
    case '(':
      token.TokenType = tktLeftParenthesis;
      ++depth_;
      openParentheses_.push_back({line_, column_});
      Consume(c);
      return;
    case ')':
      token.TokenType = tktRightParenthesis;
      if (!openParentheses_.empty()) openParentheses_.pop_back();
      if (--depth_ < 0 && !hasStrayParenthesis_) {
        strayParenthesis_ = {line_, column_};
        hasStrayParenthesis_ = true;
      }
      Consume(c);
      return;
    case ',':
      token.TokenType = tktComma;
      Consume(c);
      return;
    case '.':
      token.TokenType = tktDot;
      tokenOpen_ = true;
      Consume(c);
      return;
    default:
      break;
  }
  if (IsDigit(c)) {
    token.TokenType = tktInt;
    tokenOpen_ = true;
    Consume(c);
    return;
  }
  token.TokenType = tktString;
  Consume(c);
  // Operators are complete at once; the two-character ones take their second character.
  const char second = At(pos_);
  const bool takesSecond = (c == '|' && second == '|') || (c == '<' && (second == '=' || second == '>')) ||
                           (c == '>' && second == '=');
  if (takesSecond) {
    token.Text += second;
    Consume(second);
  }
  switch (c) {
    case '-':
    case '+':
    case '*':
    case '/':
    case '=':
    case '|':
    case '<':
    case '>':
      Finish(token, false);
      return;
    default:
      tokenOpen_ = true;
  }
}

void Tokenizer::ReadDelimited(TToken& token) {
  quoted_ = {line_, column_};
  unterminated_ = true;
  const bool parameter = text_[pos_] == ':';
  if (parameter) Advance(':');
  const char open = text_[pos_];
  Advance(open);
  const bool backtick = open == '`';
  const char close = open == '[' ? ']' : open;
  if (parameter) {
    token.TokenType = tktString;
    token.Text.assign(1, ':');
  } else {
    token.TokenType = open == '[' ? tktBracketedString : backtick ? tktString : tktQuotedString;
    token.Text.clear();
  }
  while (pos_ < text_.size()) {
    const char c = text_[pos_];
    if (c == close) {
      Advance(c);
      if (pos_ < text_.size() && text_[pos_] == close) {
        token.Text += close;
        Advance(close);
        continue;
      }
      unterminated_ = false;
      break;
    }
    if (backtick && c == '\\') {
      Advance(c);
      if (pos_ == text_.size()) break;
    }
    token.Text += text_[pos_];
    Advance(text_[pos_]);
  }
  previous_ = ' ';
  // A delimited token is complete when it is closed; an unclosed one is reported at the end of
  // its command.
  if (!unterminated_) Finish(token, backtick && !parameter);
}

void Tokenizer::SkipLineComment() {
  const void* lineFeed = std::memchr(text_.data() + pos_, '\n', text_.size() - pos_);
  if (lineFeed == nullptr) {
    pos_ = text_.size();
  } else {
    pos_ = static_cast<size_t>(static_cast<const char*>(lineFeed) - text_.data()) + 1;
    ++line_;
    column_ = 1;
  }
  previous_ = ' ';
}

void Tokenizer::SkipBlockComment() {
  Advance('/');
  Advance('*');
  while (pos_ < text_.size()) {
    const char c = text_[pos_];
    Advance(c);
    if (c == '*' && pos_ < text_.size() && text_[pos_] == '/') {
      Advance('/');
      break;
    }
  }
  previous_ = ' ';
}

void Tokenizer::FinishOpenToken() {
  if (tokenOpen_) Finish(OpenToken(), false);
}

void Tokenizer::Finish(TToken& token, bool backtick) {
  tokenOpen_ = false;
  if (token.TokenType == tktInt) {
    if (token.Text.find_first_of(".eE") != std::string::npos) token.TokenType = tktFloat;
    SetNumberValue(token);
    return;
  }
  // A name in backticks stays a name, whatever its text.
  if (token.TokenType != tktString || backtick || token.Text.empty()) return;
  if (token.Text[0] == ':') {
    BindNamed(token);
  } else if (token.Text[0] == '?') {
    BindPositional(token);
  } else {
    const uint16_t word = FindReservedWord(token.Text);
    if (word != kNotReservedWord) {
      token.TokenType = tktReservedWord;
      token.ReservedWord = word;
    }
  }
}

void Tokenizer::BindNamed(TToken& token) {
  token.Text.erase(0, 1);
  const TABSSQLParam* param = params_ != nullptr ? params_->FindParam(token.Text) : nullptr;
  if (param == nullptr) throw EABSException(msg::kParameterValueNotFound, token.Text);
  TakeValue(token, *param);
}

void Tokenizer::BindPositional(TToken& token) {
  if (params_ == nullptr) throw EListError(positional_);
  const TABSSQLParam& param = params_->Item(positional_);
  ++positional_;
  token.Text = "Param" + std::to_string(positional_);
  TakeValue(token, param);
}

void Tokenizer::TakeValue(TToken& token, const TABSSQLParam& param) {
  if (param.GetType() == bt::kNone) throw EABSException(msg::kParameterUnknownType, param.Name);
  token.TokenType = tktParameter;
  token.Value = &values_.emplace_back(static_cast<const TABSVariant&>(param));
}

void Tokenizer::SetNumberValue(TToken& token) {
  if (token.TokenType == tktInt) {
    const std::optional<int64_t> number = TextToInt64(token.Text);
    if (!number) return;
    TABSVariant& value = values_.emplace_back();
    if (*number < 2147483647) {
      value.SetAsInteger(static_cast<int32_t>(*number));
    } else {
      value.SetAsLargeInt(*number);
    }
    token.Value = &value;
    return;
  }
  const std::optional<long double> number = TextToFloat(token.Text);
  if (!number || !std::isfinite(static_cast<double>(*number))) return;
  TABSVariant& value = values_.emplace_back();
  value.SetAsFloat(static_cast<double>(*number));
  token.Value = &value;
}

void Tokenizer::EndCommand() {
  FinishOpenToken();
  if (commandOpen_) {
    if (depth_ > 0) {
      const Position open = openParentheses_.back();
      throw EABSException(msg::kMissingRightParenthesis, open.line, open.column);
    }
    if (depth_ < 0) {
      throw EABSException(msg::kUnexpectedRightParenthesis, strayParenthesis_.line, strayParenthesis_.column);
    }
    if (unterminated_) throw EABSException(msg::kUnterminatedString, quoted_.line, quoted_.column);
  }
  commandOpen_ = false;
  previous_ = ' ';
}

}  // namespace

std::string_view TokenTypeName(TTokenType type) {
  return type < std::size(kTokenTypeNames) ? kTokenTypeNames[type] : std::string_view();
}

TABSLexer::TABSLexer(std::string_view sql, const TABSSQLParams* params) : sql_(sql) {
  Tokenizer(sql_, params, commands_, values_).Run();
}

TSQLCommand* TABSLexer::Current() {
  return const_cast<TSQLCommand*>(static_cast<const TABSLexer&>(*this).Current());
}

const TSQLCommand* TABSLexer::Current() const {
  if (currentCommand_ < 0 || currentCommand_ >= CommandCount()) return nullptr;
  return &commands_[static_cast<size_t>(currentCommand_)];
}

const TToken& TABSLexer::TokenAt(int32_t position) const {
  const TSQLCommand* command = Current();
  if (command != nullptr && position >= 0 && position < command->TokenCount()) {
    return command->Tokens[static_cast<size_t>(position)];
  }
  none_ = TToken();
  if (command != nullptr && !command->Tokens.empty()) {
    none_.Line = command->Tokens.back().Line;
    none_.Column = command->Tokens.back().Column;
  }
  return none_;
}

bool TABSLexer::NextCommand() {
  if (currentCommand_ < CommandCount()) ++currentCommand_;
  return currentCommand_ < CommandCount();
}

bool TABSLexer::GetCurrentToken(TToken& token) const {
  token = CurrentToken();
  return token.TokenType != tktNone;
}

const TToken& TABSLexer::CurrentToken() const {
  return TokenAt(GetTokenPosition());
}

bool TABSLexer::LookAheadToken(TToken& token) const {
  token = TokenAt(GetTokenPosition() + 1);
  return token.TokenType != tktNone;
}

bool TABSLexer::GetNextToken(TToken& token) {
  const bool found = LookAheadToken(token);
  if (TSQLCommand* command = Current()) ++command->TokenPosition;
  return found;
}

int32_t TABSLexer::GetTokenPosition() const {
  const TSQLCommand* command = Current();
  return command != nullptr ? command->TokenPosition : 0;
}

bool TABSLexer::SetTokenPosition(int32_t position) {
  TSQLCommand* command = Current();
  if (command == nullptr) return false;
  command->TokenPosition = position;
  return position >= 0 && position < command->TokenCount();
}

bool TABSLexer::SetTokenPosition(int32_t position, TToken& token) {
  SetTokenPosition(position);
  return GetCurrentToken(token);
}

void TABSLexer::AddCommand() {
  commands_.emplace_back();
  currentCommand_ = CommandCount() - 1;
}

void TABSLexer::AddToken(const TToken& token) {
  if (Current() == nullptr) AddCommand();
  TSQLCommand& command = *Current();
  command.Tokens.push_back(token);
  command.TokenPosition = command.TokenCount() - 1;
}

bool TABSLexer::IsReservedWord(const TToken& token, uint16_t wordNumber) {
  return token.TokenType == tktReservedWord &&
         (token.ReservedWord == wordNumber || wordNumber == kAnyReservedWord);
}

bool ReadDateTimeLiteral(uint16_t word, std::string_view text, TABSVariant& value) {
  switch (word) {
    case rw::kDATE:
      if (const std::optional<int32_t> dayNumber = TextToDayNumber(text)) {
        value.Clear();
        value.SetAsDate(DayNumberToDateTime(*dayNumber));
        return true;
      }
      return false;
    case rw::kTIME:
      if (const std::optional<int32_t> milliseconds = TextToMilliseconds(text)) {
        value.Clear();
        value.SetAsTime(MillisecondsToDateTime(*milliseconds));
        return true;
      }
      return false;
    case rw::kTIMESTAMP:
      if (const std::optional<TABSDateTimePair> pair = TextToPair(text)) {
        value.Clear();
        value.SetAsDateTime(PairToDateTime(*pair));
        return true;
      }
      return false;
    default:
      return false;
  }
}

}  // namespace viz
