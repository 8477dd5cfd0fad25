// Randomised model test: statements are assembled from random tokens and separators, the expected
// token list (kind, text, line, column, value) is kept while the text is written, and the lexer
// must give back exactly that list.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/sql/VIZLexer.h"

namespace viz {
namespace {

struct Expected {
  TTokenType kind;
  std::string text;
  int32_t line, column;
  uint16_t word = kNotReservedWord;
  int64_t value = -1;  // the integer a parameter or an integer literal carries; -1: not checked
};

class Generator {
 public:
  explicit Generator(uint32_t seed) : random_(seed) {}

  // Appends `piece` to the text, keeping line and column as the lexer counts them.
  void Write(std::string_view piece) {
    for (char c : piece) {
      if (c == '\n') {
        ++line_;
        column_ = 1;
      } else if (c != '\r') {
        ++column_;
      }
    }
    text_ += piece;
  }

  void Token(TTokenType kind, std::string written, std::string text, uint16_t word = kNotReservedWord,
             int64_t value = -1) {
    // A token written right after a delimited one must not start with its closing delimiter,
    // which would read as a doubled one.
    if (directAfter_ != '\0' && written[0] == directAfter_) Write(" ");
    directAfter_ = '\0';
    if (commands_.empty() || commandClosed_) {
      commands_.emplace_back();
      commandClosed_ = false;
    }
    commands_.back().push_back({kind, std::move(text), line_, column_, word, value});
    Write(written);
  }

  int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random_); }

  std::string RandomContent(std::string_view alphabet, int maxLength) {
    std::string content;
    for (int n = Pick(maxLength + 1); n > 0; --n)
      content += alphabet[static_cast<size_t>(Pick(static_cast<int>(alphabet.size())))];
    return content;
  }

  // One random token. Returns the character it ends with when the next token may follow it
  // directly (it leaves no token open), else '\0'.
  char RandomToken() {
    static constexpr std::string_view kInner = "abc XYZ09;,.()--/**/'\"[]`\\\n\r\t\xe9\xff";
    switch (Pick(13)) {
      case 0: {
        std::string word = "zq" + RandomContent("abcxyz_#$0123456789", 6);
        Token(tktString, word, word);
        return '\0';
      }
      case 1: {
        static const std::pair<const char*, uint16_t> kWords[] = {{"SELECT", 179},   {"select", 179},
                                                                  {"Table", 194},    {"insert", 108},
                                                                  {"rollBack", 173}, {"sqrt", 282}};
        const auto& [word, number] = kWords[Pick(6)];
        Token(tktReservedWord, word, word, number);
        return '\0';
      }
      case 2: {
        const int64_t number = Pick(2000000);
        Token(tktInt, std::to_string(number), std::to_string(number), kNotReservedWord, number);
        return '\0';
      }
      case 3: {
        static const char* kFloats[] = {"1.5", ".25", "2E3", "2e+3", "1E-2", "10.", "0.001e10"};
        const char* number = kFloats[Pick(7)];
        Token(tktFloat, number, number);
        return '\0';
      }
      case 4:
      case 5: {
        const char quote = Pick(2) ? '\'' : '"';
        const std::string content = RandomContent(kInner, 8);
        std::string written(1, quote);
        for (char c : content) {
          written += c;
          if (c == quote) written += c;
        }
        written += quote;
        Token(tktQuotedString, written, content);
        return quote;
      }
      case 6: {
        const std::string content = RandomContent(kInner, 8);
        std::string written = "[";
        for (char c : content) written += c == ']' ? "]]" : std::string(1, c);
        written += "]";
        Token(tktBracketedString, written, content);
        return ']';
      }
      case 7: {
        const std::string content = RandomContent(kInner, 8);
        std::string written = "`";
        for (char c : content) {
          if (c == '`')
            written += Pick(2) ? "``" : "\\`";
          else if (c == '\\')
            written += "\\\\";
          else
            written += c;
        }
        written += "`";
        Token(tktString, written, content);
        return '`';
      }
      case 8: {
        static const char* kOperators[] = {"<=", "<>", ">=", "||", "+", "-", "*", "/", "=", "<", ">", "|"};
        const std::string op = kOperators[Pick(12)];
        Token(tktString, op, op);
        return '\0';
      }
      case 9:
        // Parentheses stay balanced within each statement.
        switch (Pick(3)) {
          case 0:
            Token(tktLeftParenthesis, "(", "(");
            ++depth_;
            return '(';
          case 1:
            if (depth_ > 0) {
              Token(tktRightParenthesis, ")", ")");
              --depth_;
              return ')';
            }
            [[fallthrough]];
          default:
            Token(tktComma, ",", ",");
            return ',';
        }
      case 10:
        Token(tktDot, ".", ".");
        return '\0';
      case 11: {
        // Named parameters P0 .. P9 hold 1000 + their number.
        const int number = Pick(10);
        const std::string name = (Pick(2) ? "p" : "P") + std::to_string(number);
        static const char* kForms[][2] = {{":", ""}, {":\"", "\""}, {":'", "'"}, {":[", "]"}};
        const auto& form = kForms[Pick(4)];
        Token(tktParameter, form[0] + name + form[1], name, kNotReservedWord, 1000 + number);
        return form[1][0];
      }
      default:
        Token(tktParameter, "?", "Param" + std::to_string(positional_ + 1), kNotReservedWord, positional_);
        ++positional_;
        return '\0';
    }
  }

  // Closes the parentheses the current statement left open.
  void CloseParentheses() {
    for (; depth_ > 0; --depth_) {
      Token(tktRightParenthesis, ")", ")");
      Write(" ");
    }
  }

  void RandomSeparator(char direct, bool afterMinus) {
    static const char* kSeparators[] = {" ",     "\t",      "\n",     "\r\n", "  ",
                                        "/*c*/", "/*\n;*/", "--c;\n", ";",    " ; ;"};
    if (direct != '\0' && Pick(3) == 0) {
      directAfter_ = direct;
      return;
    }
    // After a '-' a separator that starts with '-' would open a comment.
    const std::string separator = kSeparators[Pick(afterMinus ? 5 : 10)];
    if (separator.find(';') != std::string::npos && separator[0] != '/' && separator[0] != '-') {
      CloseParentheses();
      commandClosed_ = true;
    }
    Write(separator);
  }

  std::string Statement() {
    const int tokens = 1 + Pick(30);
    for (int i = 0; i < tokens; ++i) {
      const char direct = RandomToken();
      const bool minus = commands_.back().back().text == "-";
      RandomSeparator(direct, minus);
    }
    CloseParentheses();
    return text_;
  }

  const std::vector<std::vector<Expected>>& Commands() const { return commands_; }
  int32_t PositionalCount() const { return positional_; }

 private:
  std::mt19937 random_;
  std::string text_;
  int32_t line_ = 1, column_ = 1;
  std::vector<std::vector<Expected>> commands_;
  bool commandClosed_ = false;
  int32_t depth_ = 0;
  char directAfter_ = '\0';
  int32_t positional_ = 0;
};

TEST(LexerModelTest, RandomStatementsLexAsWritten) {
  TABSSQLParams params;
  for (int i = 0; i < 10; ++i) {
    TABSSQLParam& param = params.Add();
    param.Name = "P" + std::to_string(i);
    param.SetAsInteger(1000 + i);
  }
  // Ten positional markers in front of each text take the ten named parameters, so that the
  // generated ones bind to items 10 and on, whose values are their own positions from 0.
  for (int i = 10; i < 200; ++i) params.Add().SetAsInteger(i - 10);
  const std::string prefix = "?,?,?,?,?,?,?,?,?,?;";
  for (uint32_t seed = 1; seed <= 10000; ++seed) {
    Generator generator(seed);
    const std::string text = generator.Statement();
    SCOPED_TRACE("seed " + std::to_string(seed) + ": " + text);
    TABSLexer lexer(prefix + text, &params);
    const auto& expected = generator.Commands();
    ASSERT_EQ(lexer.CommandCount(), static_cast<int32_t>(expected.size()) + 1);
    for (size_t c = 0; c < expected.size(); ++c) {
      const std::vector<TToken>& tokens = lexer.Command(static_cast<int32_t>(c + 1)).Tokens;
      ASSERT_EQ(tokens.size(), expected[c].size()) << "command " << c;
      for (size_t t = 0; t < tokens.size(); ++t) {
        const Expected& e = expected[c][t];
        const TToken& got = tokens[t];
        SCOPED_TRACE("token " + std::to_string(t) + " '" + e.text + "'");
        EXPECT_EQ(got.TokenType, e.kind);
        EXPECT_EQ(got.ReservedWord, e.word);
        EXPECT_EQ(got.Line, e.line);
        // The prefix shifts the columns of the first line.
        EXPECT_EQ(got.Column, e.column + (e.line == 1 ? static_cast<int32_t>(prefix.size()) : 0));
        if (e.kind == tktParameter && e.text.rfind("Param", 0) == 0) {
          EXPECT_EQ(got.Text, "Param" + std::to_string(10 + e.value + 1));
          ASSERT_NE(got.Value, nullptr);
          EXPECT_EQ(got.Value->GetAsInteger(), e.value);
          continue;
        }
        EXPECT_EQ(got.Text, e.text);
        if (e.value >= 0) {
          ASSERT_NE(got.Value, nullptr);
          EXPECT_EQ(got.Value->GetAsLargeInt(), e.value);
        }
      }
    }
  }
}

}  // namespace
}  // namespace viz
