// Fuzz target of the SQL lexer. Any text either lexes into a token stream that keeps the lexer's
// promises, or raises one of the lexer's own errors; anything else (a crash, another exception, a
// broken promise) stops the run.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "engine/sql/VIZLexer.h"
#include "engine/types/errors.h"
#include "framework/data/common_errors.h"

namespace {

using namespace viz;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "lexer fuzz: %s\n", what);
  std::abort();
}

void Check(bool condition, const char* what) {
  if (!condition) Fail(what);
}

const TABSSQLParams& Params() {
  static const TABSSQLParams* params = [] {
    auto* list = new TABSSQLParams;
    const char* names[] = {"a", "B", "name", "x y"};
    for (int i = 0; i < 4; ++i) {
      TABSSQLParam& param = list->Add();
      param.Name = names[i];
      param.SetAsInteger(i);
    }
    list->Add().Name = "untyped";
    return list;
  }();
  return *params;
}

void CheckTokens(std::string_view text, TABSLexer& lexer) {
  int64_t lineFeeds = 0;
  for (char c : text) lineFeeds += c == '\n';
  int32_t lastLine = 0, lastColumn = 0;
  for (int32_t c = 0; c < lexer.CommandCount(); ++c) {
    const TSQLCommand& command = lexer.Command(c);
    Check(command.TokenCount() > 0, "empty command");
    Check(command.TokenPosition == 0, "command not at its first token");
    int32_t depth = 0;
    for (const TToken& token : command.Tokens) {
      Check(token.TokenType >= tktString && token.TokenType <= tktDot, "token kind");
      Check(token.Line >= 1 && token.Line <= lineFeeds + 1, "line out of range");
      Check(token.Column >= 1 && static_cast<size_t>(token.Column) <= text.size() + 1, "column out of range");
      Check(token.Line > lastLine || (token.Line == lastLine && token.Column > lastColumn),
            "positions not increasing");
      lastLine = token.Line;
      lastColumn = token.Column;
      Check((token.TokenType == tktReservedWord) == (token.ReservedWord != kNotReservedWord),
            "reserved number");
      if (token.TokenType == tktReservedWord) {
        Check(FindReservedWord(token.Text) == token.ReservedWord, "reserved word text");
      }
      if (token.TokenType == tktParameter) Check(token.Value != nullptr, "parameter without value");
      if (token.TokenType == tktInt) {
        Check(!token.Text.empty() && token.Text.find_first_not_of("0123456789") == std::string::npos,
              "int text");
      }
      if (token.Value != nullptr) {
        Check(token.TokenType == tktParameter || token.TokenType == tktInt || token.TokenType == tktFloat,
              "value kind");
      }
      depth += token.TokenType == tktLeftParenthesis;
      depth -= token.TokenType == tktRightParenthesis;
    }
    Check(depth == 0, "unbalanced command accepted");
  }
  // Walk every command through the cursor, as a parser does.
  TToken token;
  while (lexer.NextCommand()) {
    int32_t steps = 0;
    while (lexer.GetCurrentToken(token)) {
      lexer.GetNextToken(token);
      ++steps;
    }
    Check(steps == lexer.Command(lexer.CurrentCommandIndex()).TokenCount(), "cursor walk");
    Check(token.TokenType == tktNone && token.Text.empty(), "none token");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    TABSLexer lexer(text, &Params());
    CheckTokens(text, lexer);
  } catch (const EABSException& e) {
    switch (e.NativeErrorCode()) {
      case 30059:
      case 30060:
      case 30061:
      case 30062:
      case 30358:
      case 20271:
        break;
      default:
        Fail(e.what());
    }
  } catch (const EListError&) {
  }
  return 0;
}
