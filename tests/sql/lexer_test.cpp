#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "engine/sql/VIZLexer.h"
#include "engine/types/errors.h"
#include "framework/data/common_errors.h"

namespace viz {
namespace {

struct Tok {
  TTokenType kind;
  std::string text;
  int32_t line;
  int32_t column;
  uint16_t word = kNotReservedWord;
};

bool operator==(const Tok& a, const Tok& b) {
  return a.kind == b.kind && a.text == b.text && a.line == b.line && a.column == b.column && a.word == b.word;
}

std::ostream& operator<<(std::ostream& out, const Tok& t) {
  return out << TokenTypeName(t.kind) << " '" << t.text << "' " << t.line << ":" << t.column << " #"
             << t.word;
}

using Commands = std::vector<std::vector<Tok>>;

Commands Lex(std::string_view sql, const TABSSQLParams* params = nullptr) {
  TABSLexer lexer(sql, params);
  Commands commands;
  for (int32_t c = 0; c < lexer.CommandCount(); ++c) {
    std::vector<Tok>& tokens = commands.emplace_back();
    for (const TToken& t : lexer.Command(c).Tokens)
      tokens.push_back({t.TokenType, t.Text, t.Line, t.Column, t.ReservedWord});
  }
  return commands;
}

// The message of the exception the lexer raises for `sql`, or "" when it raises nothing.
std::string LexError(std::string_view sql, const TABSSQLParams* params = nullptr) {
  try {
    TABSLexer lexer(sql, params);
  } catch (const Exception& e) {
    return e.Message();
  }
  return "";
}

constexpr TTokenType S = tktString, Q = tktQuotedString, B = tktBracketedString, I = tktInt, F = tktFloat,
                     R = tktReservedWord, P = tktParameter, L = tktLeftParenthesis, RP = tktRightParenthesis,
                     C = tktComma, D = tktDot;

struct LexCase {
  const char* sql;
  Commands expected;
};

// Token kinds, texts, lines and columns worked out by hand from the lexing rules.
const LexCase kLexCases[] = {
    {"SELECT a, b FROM t",
     {{{R, "SELECT", 1, 1, 179},
       {S, "a", 1, 8},
       {C, ",", 1, 9},
       {S, "b", 1, 11},
       {R, "FROM", 1, 13, 90},
       {S, "t", 1, 18}}}},
    {"SELECT 1;;SELECT 2;",
     {{{R, "SELECT", 1, 1, 179}, {I, "1", 1, 8}}, {{R, "SELECT", 1, 11, 179}, {I, "2", 1, 18}}}},
    {"-- only a comment\n;/* and another */;  ;", {}},
    {"'It''s' \"a\"\"b\" [a]]b]", {{{Q, "It's", 1, 1}, {Q, "a\"b", 1, 9}, {B, "a]b", 1, 16}}}},
    {"1.5 .5 2E3 2e+3 1E-2",
     {{{F, "1.5", 1, 1}, {F, ".5", 1, 5}, {F, "2E3", 1, 8}, {F, "2e+3", 1, 12}, {F, "1E-2", 1, 17}}}},
    {"12-3 1+2",
     {{{I, "12", 1, 1}, {S, "-", 1, 3}, {I, "3", 1, 4}, {I, "1", 1, 6}, {S, "+", 1, 7}, {I, "2", 1, 8}}}},
    {"a.b t.5 t.\"c\"",
     {{{S, "a", 1, 1},
       {D, ".", 1, 2},
       {S, "b", 1, 3},
       {S, "t", 1, 5},
       {F, ".5", 1, 6},
       {S, "t", 1, 9},
       {D, ".", 1, 10},
       {Q, "c", 1, 11}}}},
    {"a<=b<>c>=d||e",
     {{{S, "a", 1, 1},
       {S, "<=", 1, 2},
       {S, "b", 1, 4},
       {S, "<>", 1, 5},
       {S, "c", 1, 7},
       {S, ">=", 1, 8},
       {S, "d", 1, 10},
       {S, "||", 1, 11},
       {S, "e", 1, 13}}}},
    {"< = |||!=",
     {{{S, "<", 1, 1}, {S, "=", 1, 3}, {S, "||", 1, 5}, {S, "|", 1, 7}, {S, "!", 1, 8}, {S, "=", 1, 9}}}},
    {"a*-1/b",
     {{{S, "a", 1, 1}, {S, "*", 1, 2}, {S, "-", 1, 3}, {I, "1", 1, 4}, {S, "/", 1, 5}, {S, "b", 1, 6}}}},
    {"select [select] `select`", {{{R, "select", 1, 1, 179}, {B, "select", 1, 8}, {S, "select", 1, 17}}}},
    {"COUNT(*)", {{{R, "COUNT", 1, 1, 44}, {L, "(", 1, 6}, {S, "*", 1, 7}, {RP, ")", 1, 8}}}},
    {"SELECT\r\n  x\r\nFROM\tt",
     {{{R, "SELECT", 1, 1, 179}, {S, "x", 2, 3}, {R, "FROM", 3, 1, 90}, {S, "t", 3, 6}}}},
    // A comment ends the token before it, as white space does.
    {"SELECT a--x\nFROM t",
     {{{R, "SELECT", 1, 1, 179}, {S, "a", 1, 8}, {R, "FROM", 2, 1, 90}, {S, "t", 2, 6}}}},
    {"x/*c*/y", {{{S, "x", 1, 1}, {S, "y", 1, 7}}}},
    {"1--c\n2", {{{I, "1", 1, 1}, {I, "2", 2, 1}}}},
    {"1E/**/-2", {{{F, "1E", 1, 1}, {S, "-", 1, 7}, {I, "2", 1, 8}}}},
    {"a /* one\ntwo */ b", {{{S, "a", 1, 1}, {S, "b", 2, 8}}}},
    {"a -- to the end", {{{S, "a", 1, 1}}}},
    {"a /* never closed; b", {{{S, "a", 1, 1}}}},
    // Delimited text takes columns and lines like any other text.
    {"'ab' c 'x\ny' d", {{{Q, "ab", 1, 1}, {S, "c", 1, 6}, {Q, "x\ny", 1, 8}, {S, "d", 2, 4}}}},
    {"'a;b' \"--\" [/*]", {{{Q, "a;b", 1, 1}, {Q, "--", 1, 7}, {B, "/*", 1, 12}}}},
    {"`a\\`b` `x``y`", {{{S, "a`b", 1, 1}, {S, "x`y", 1, 8}}}},
    {"#tmp$1 _x a'b' a[1]", {{{S, "#tmp$1", 1, 1}, {S, "_x", 1, 8}, {S, "a'b'", 1, 11}, {S, "a[1]", 1, 16}}}},
    {"f(a,'b')",
     {{{S, "f", 1, 1}, {L, "(", 1, 2}, {S, "a", 1, 3}, {C, ",", 1, 4}, {Q, "b", 1, 5}, {RP, ")", 1, 8}}}},
    {".. .E", {{{D, ".", 1, 1}, {D, ".", 1, 2}, {D, ".", 1, 4}, {S, "E", 1, 5}}}},
    // Balance is checked per statement only.
    {"a) (b", {{{S, "a", 1, 1}, {RP, ")", 1, 2}, {L, "(", 1, 4}, {S, "b", 1, 5}}}},
    {"\xff\xfe\x01z \x80", {{{S, "\xff\xfe\x01z", 1, 1}, {S, "\x80", 1, 6}}}},
};

TEST(LexerTest, TokensWithKindsTextsAndPositions) {
  for (const LexCase& c : kLexCases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Lex(c.sql), c.expected);
  }
}

TEST(LexerTest, EmbeddedZeroByteIsPartOfAWord) {
  const std::string sql("a\0b c", 5);
  EXPECT_EQ(Lex(sql), (Commands{{{S, std::string("a\0b", 3), 1, 1}, {S, "c", 1, 5}}}));
}

struct ErrorCase {
  const char* sql;
  const char* message;
};

const ErrorCase kErrorCases[] = {
    {"SELECT (a", "Missing symbol ')' at line 1, column 8 - Native error: 30059"},
    {"SELECT a)", "Unexpected symbol ')' found at line 1, column 9 - Native error: 30060"},
    {"SELECT 'abc", "Unterminated string at line 1, column 8 - Native error: 30061"},
    {"12abc", "Invalid numeric symbol 'a' at line 1, column 3 - Native error: 30062"},
    {"x = 1.5%", "Invalid numeric symbol '%' at line 1, column 8 - Native error: 30062"},
    {"1'a'", "Invalid numeric symbol ''' at line 1, column 2 - Native error: 30062"},
    // The '(' reported is the one left open, not the last one written.
    {"SELECT\n  f((a)", "Missing symbol ')' at line 2, column 4 - Native error: 30059"},
    {"SELECT (b)) (c)", "Unexpected symbol ')' found at line 1, column 11 - Native error: 30060"},
    {"SELECT 1; SELECT (b", "Missing symbol ')' at line 1, column 18 - Native error: 30059"},
    {"SELECT 1; )", "Unexpected symbol ')' found at line 1, column 11 - Native error: 30060"},
    {"SELECT ('x", "Missing symbol ')' at line 1, column 8 - Native error: 30059"},
    {"x\n [abc", "Unterminated string at line 2, column 2 - Native error: 30061"},
    {"`ab\\`", "Unterminated string at line 1, column 1 - Native error: 30061"},
    {"a :\"abc", "Unterminated string at line 1, column 3 - Native error: 30061"},
    {"'", "Unterminated string at line 1, column 1 - Native error: 30061"},
    {"'a''", "Unterminated string at line 1, column 1 - Native error: 30061"},
};

TEST(LexerTest, LexicalErrorsCarryTheirPosition) {
  for (const ErrorCase& c : kErrorCases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(LexError(c.sql), c.message);
  }
}

TEST(LexerTest, EveryReservedWordInAnyCase) {
  ASSERT_EQ(kReservedWordCount, 283);
  for (uint16_t number = 0; number < kReservedWordCount; ++number) {
    const std::string upper(ReservedWordText(number));
    SCOPED_TRACE(upper);
    EXPECT_EQ(FindReservedWord(upper), number);
    if (upper == "END-EXEC") continue;  // a '-' splits it in SQL text; only its table entry counts
    std::string lower = upper, mixed = upper;
    for (size_t i = 0; i < upper.size(); ++i) {
      lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(upper[i])));
      if (i % 2 == 1) mixed[i] = lower[i];
    }
    for (const std::string& text : {upper, lower, mixed}) {
      const Commands commands = Lex(text);
      ASSERT_EQ(commands.size(), 1u);
      ASSERT_EQ(commands[0].size(), 1u);
      EXPECT_EQ(commands[0][0], (Tok{R, text, 1, 1, number}));
    }
  }
  EXPECT_EQ(ReservedWordText(kReservedWordCount), "");
  EXPECT_EQ(FindReservedWord("SELECTX"), kNotReservedWord);
  EXPECT_EQ(FindReservedWord("S\xc9LECT"), kNotReservedWord);
}

TEST(LexerTest, ReservedWordNumbersTheParsersUse) {
  const std::pair<const char*, uint16_t> anchors[] = {
      {"ABSOLUTE", 0},   {"ALTER", 5},    {"COMMIT", 36},   {"CREATE", 45},    {"DATE", 53},
      {"DELETE", 62},    {"DROP", 71},    {"END-EXEC", 74}, {"INSERT", 108},   {"NULL", 141},
      {"ROLLBACK", 173}, {"SELECT", 179}, {"TABLE", 194},   {"UNIQUE", 210},   {"UPDATE", 212},
      {"INDEX", 237},    {"RENAME", 259}, {"START", 260},   {"TRUNCATE", 266}, {"VIZ", 267},
      {"SQRT", 282}};
  for (const auto& [word, number] : anchors) {
    EXPECT_EQ(FindReservedWord(word), number) << word;
    EXPECT_EQ(ReservedWordText(number), word);
  }
  EXPECT_EQ(rw::kSELECT, 179);
  EXPECT_EQ(rw::kEND_EXEC, 74);
  EXPECT_EQ(rw::kSQRT, 282);

  TToken select;
  select.TokenType = tktReservedWord;
  select.ReservedWord = rw::kSELECT;
  EXPECT_TRUE(TABSLexer::IsReservedWord(select, rw::kSELECT));
  EXPECT_TRUE(TABSLexer::IsReservedWord(select, kAnyReservedWord));
  EXPECT_FALSE(TABSLexer::IsReservedWord(select, rw::kFROM));
  select.TokenType = tktString;
  EXPECT_FALSE(TABSLexer::IsReservedWord(select, kAnyReservedWord));
}

TEST(LexerTest, TokenTypeNames) {
  EXPECT_EQ(TokenTypeName(tktNone), "tktNone");
  EXPECT_EQ(TokenTypeName(tktReservedWord), "tktReservedWord");
  EXPECT_EQ(TokenTypeName(tktDot), "tktDot");
  EXPECT_EQ(TokenTypeName(static_cast<TTokenType>(12)), "");
}

class LexerParamsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AddParam("Name").SetAsInteger(5);
    AddParam("other").SetAsString("text");
    AddParam("third").SetAsFloat(2.5);
    TABSSQLParam& untyped = AddParam("U");
    ASSERT_EQ(untyped.GetType(), bt::kNone);
  }
  TABSSQLParam& AddParam(const char* name) {
    TABSSQLParam& param = params_.Add();
    param.Name = name;
    return param;
  }
  TABSSQLParams params_;
};

TEST_F(LexerParamsTest, NamedParametersBindWithoutRegardToCase) {
  TABSLexer lexer("x = :Name OR :name = :\"OTHER\" AND :'third' > :[name]", &params_);
  std::vector<const TToken*> markers;
  for (const TToken& t : lexer.Command(0).Tokens) {
    if (t.TokenType == tktParameter) markers.push_back(&t);
  }
  ASSERT_EQ(markers.size(), 5u);
  const char* texts[] = {"Name", "name", "OTHER", "third", "name"};
  for (size_t i = 0; i < markers.size(); ++i) {
    EXPECT_EQ(markers[i]->Text, texts[i]);
    ASSERT_NE(markers[i]->Value, nullptr);
    EXPECT_NE(markers[i]->Value, static_cast<const TABSVariant*>(params_.FindParam(texts[i])));
  }
  EXPECT_EQ(markers[0]->Value->GetAsInteger(), 5);
  EXPECT_EQ(markers[2]->Value->GetAsString(), "text");
  EXPECT_EQ(markers[3]->Value->GetAsFloat(), 2.5);
  EXPECT_EQ(markers[0]->Line, 1);
  EXPECT_EQ(markers[0]->Column, 5);
  EXPECT_EQ(markers[2]->Column, 22);

  // The tokens keep copies: the list may change or go away.
  params_.Item(0).SetAsInteger(9);
  params_.Clear();
  EXPECT_EQ(markers[1]->Value->GetAsInteger(), 5);
}

TEST_F(LexerParamsTest, PositionalParametersCountAcrossStatements) {
  const Commands commands = Lex("SELECT ? , ?; SELECT ?", &params_);
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0][1], (Tok{P, "Param1", 1, 8}));
  EXPECT_EQ(commands[0][3], (Tok{P, "Param2", 1, 12}));
  EXPECT_EQ(commands[1][1], (Tok{P, "Param3", 1, 22}));

  TABSLexer lexer("?,?,?", &params_);
  EXPECT_EQ(lexer.Command(0).Tokens[0].Value->GetAsInteger(), 5);
  EXPECT_EQ(lexer.Command(0).Tokens[2].Value->GetAsString(), "text");
  EXPECT_EQ(lexer.Command(0).Tokens[4].Value->GetAsFloat(), 2.5);
}

TEST_F(LexerParamsTest, MissingAndUntypedParametersAreRefused) {
  EXPECT_EQ(LexError("SELECT :x", &params_), "Value for parameter 'x' not found - Native error: 30358");
  EXPECT_EQ(LexError("SELECT :u", &params_),
            "Parameter \"U\" is of an unknown data type - Native error: 20271");
  EXPECT_EQ(LexError("?,?,?,?", &params_),
            "Parameter \"U\" is of an unknown data type - Native error: 20271");
  EXPECT_EQ(LexError("?,?,?,?,?", &params_),
            "Parameter \"U\" is of an unknown data type - Native error: 20271");
  params_.Item(3).SetAsInteger(1);
  EXPECT_THROW(TABSLexer("?,?,?,?,?", &params_), EListError);
  EXPECT_EQ(LexError("?,?,?,?,?", &params_), "List index out of bounds (4)");
  // Without a list every marker fails.
  EXPECT_EQ(LexError(":Name"), "Value for parameter 'Name' not found - Native error: 30358");
  EXPECT_THROW(TABSLexer("?", nullptr), EListError);
  EXPECT_EQ(LexError("'?' \":x\" [?] -- :x ?\n /* ? */"), "");
}

TEST_F(LexerParamsTest, BacktickNamesAreNeverParameters) {
  EXPECT_EQ(Lex("`:Name` `?`", &params_), (Commands{{{S, ":Name", 1, 1}, {S, "?", 1, 9}}}));
}

TEST(LexerTest, NumberTokensCarryTheirValue) {
  TABSLexer lexer("1 2147483646 2147483647 9223372036854775807 99999999999999999999 1.5 2e+3 1.2.3 1E 1E999",
                  nullptr);
  const std::vector<TToken>& t = lexer.Command(0).Tokens;
  ASSERT_EQ(t.size(), 10u);
  EXPECT_EQ(t[0].Value->GetType(), bt::kInteger);
  EXPECT_EQ(t[0].Value->GetAsInteger(), 1);
  EXPECT_EQ(t[1].Value->GetType(), bt::kInteger);
  EXPECT_EQ(t[1].Value->GetAsInteger(), 2147483646);
  EXPECT_EQ(t[2].Value->GetType(), bt::kLargeInt);
  EXPECT_EQ(t[2].Value->GetAsLargeInt(), 2147483647);
  EXPECT_EQ(t[3].Value->GetAsLargeInt(), INT64_MAX);
  EXPECT_EQ(t[4].TokenType, tktInt);
  EXPECT_EQ(t[4].Value, nullptr);
  EXPECT_EQ(t[5].Value->GetType(), bt::kFloat);
  EXPECT_EQ(t[5].Value->GetAsFloat(), 1.5);
  EXPECT_EQ(t[6].Value->GetAsFloat(), 2000.0);
  for (size_t i = 7; i < 10; ++i) {
    EXPECT_EQ(t[i].TokenType, tktFloat) << t[i].Text;
    EXPECT_EQ(t[i].Value, nullptr) << t[i].Text;
  }
}

TEST(LexerTest, DateTimeLiterals) {
  TABSVariant value;
  ASSERT_TRUE(ReadDateTimeLiteral(rw::kDATE, "2024-03-05", value));
  EXPECT_EQ(value.GetType(), bt::kDate);
  EXPECT_EQ(DayNumberToText(*static_cast<const int32_t*>(value.GetData())), "2024-03-05");
  ASSERT_TRUE(ReadDateTimeLiteral(rw::kTIME, "10:15:30", value));
  EXPECT_EQ(value.GetType(), bt::kTime);
  EXPECT_EQ(*static_cast<const int32_t*>(value.GetData()), (10 * 3600 + 15 * 60 + 30) * 1000);
  ASSERT_TRUE(ReadDateTimeLiteral(rw::kTIMESTAMP, "2024-03-05 10:15", value));
  EXPECT_EQ(value.GetType(), bt::kDateTime);
  EXPECT_EQ(PairToText(*static_cast<const TABSDateTimePair*>(value.GetData())), "2024-03-05 10:15:00");

  value.SetAsInteger(7);
  for (const auto& [word, text] : {std::pair{rw::kDATE, "2024-02-30"},
                                   {rw::kTIME, "24:00"},
                                   {rw::kTIMESTAMP, "2024-03-05x10:15"},
                                   {rw::kSELECT, "2024-03-05"}}) {
    EXPECT_FALSE(ReadDateTimeLiteral(word, text, value)) << text;
  }
  EXPECT_EQ(value.GetAsInteger(), 7);
}

TEST(LexerTest, CursorWalksAndBackTracks) {
  TABSLexer lexer("SELECT a FROM t; DELETE", nullptr);
  TToken token;
  EXPECT_EQ(lexer.CurrentCommandIndex(), -1);
  EXPECT_FALSE(lexer.GetCurrentToken(token));
  EXPECT_EQ(token.TokenType, tktNone);

  ASSERT_TRUE(lexer.NextCommand());
  ASSERT_TRUE(lexer.GetCurrentToken(token));
  EXPECT_EQ(token.Text, "SELECT");
  ASSERT_TRUE(lexer.LookAheadToken(token));
  EXPECT_EQ(token.Text, "a");
  EXPECT_EQ(lexer.GetTokenPosition(), 0);
  const int32_t mark = lexer.GetTokenPosition();
  ASSERT_TRUE(lexer.GetNextToken(token));
  ASSERT_TRUE(lexer.GetNextToken(token));
  EXPECT_EQ(token.Text, "FROM");
  EXPECT_EQ(lexer.CurrentToken().Text, "FROM");
  ASSERT_TRUE(lexer.GetNextToken(token));
  EXPECT_EQ(token.Text, "t");
  // Past the end: no token, but the position still moves, and the none token points at the end.
  EXPECT_FALSE(lexer.GetNextToken(token));
  EXPECT_EQ(token.TokenType, tktNone);
  EXPECT_EQ(token.Text, "");
  EXPECT_EQ(token.Column, 15);
  EXPECT_EQ(lexer.GetTokenPosition(), 4);
  EXPECT_FALSE(lexer.GetNextToken(token));
  EXPECT_EQ(lexer.GetTokenPosition(), 5);

  EXPECT_TRUE(lexer.SetTokenPosition(mark, token));
  EXPECT_EQ(token.Text, "SELECT");
  EXPECT_FALSE(lexer.SetTokenPosition(4));
  EXPECT_FALSE(lexer.SetTokenPosition(-1, token));
  EXPECT_EQ(token.TokenType, tktNone);
  EXPECT_TRUE(lexer.SetTokenPosition(3));

  ASSERT_TRUE(lexer.NextCommand());
  EXPECT_TRUE(lexer.GetCurrentToken(token));
  EXPECT_TRUE(TABSLexer::IsReservedWord(token, rw::kDELETE));
  EXPECT_FALSE(lexer.NextCommand());
  EXPECT_FALSE(lexer.NextCommand());
  EXPECT_EQ(lexer.CurrentCommandIndex(), 2);
  EXPECT_FALSE(lexer.GetCurrentToken(token));
  EXPECT_FALSE(lexer.SetTokenPosition(0));
}

TEST(LexerTest, ParsersCanAssembleCommands) {
  TABSLexer lexer("UPDATE t SET a = 1", nullptr);
  ASSERT_TRUE(lexer.NextCommand());
  const std::vector<TToken> source = lexer.Command(0).Tokens;
  lexer.AddCommand();
  EXPECT_EQ(lexer.CurrentCommandIndex(), 1);
  lexer.AddToken(source[3]);
  lexer.AddToken(source[5]);
  EXPECT_EQ(lexer.GetTokenPosition(), 1);
  TToken token;
  ASSERT_TRUE(lexer.GetCurrentToken(token));
  EXPECT_EQ(token.Text, "1");
  EXPECT_EQ(token.Value, source[5].Value);
  ASSERT_TRUE(lexer.SetTokenPosition(0, token));
  EXPECT_EQ(token.Text, "a");
  EXPECT_EQ(lexer.CommandCount(), 2);

  // With no command current, adding a token opens one.
  TABSLexer empty("", nullptr);
  EXPECT_EQ(empty.CommandCount(), 0);
  empty.AddToken(source[0]);
  EXPECT_EQ(empty.CommandCount(), 1);
  EXPECT_TRUE(empty.GetCurrentToken(token));
  EXPECT_TRUE(TABSLexer::IsReservedWord(token, rw::kUPDATE));
}

// Large and hostile texts: each completes (in time linear in the text) with tokens or an error.
TEST(LexerTest, LargeAndHostileTexts) {
  std::string columns = "SELECT ";
  while (columns.size() < (1u << 20)) columns += "a1, ";
  columns += "b FROM t";
  const Commands lexed = Lex(columns);
  ASSERT_EQ(lexed.size(), 1u);
  EXPECT_EQ(lexed[0].back(), (Tok{S, "t", 1, static_cast<int32_t>(columns.size())}));

  const std::string nested = std::string(200000, '(') + "x" + std::string(200000, ')');
  EXPECT_EQ(Lex(nested)[0].size(), 400001u);
  EXPECT_EQ(LexError(std::string(200000, '(')),
            "Missing symbol ')' at line 1, column 200000 - Native error: 30059");

  const std::string longString = "SELECT '" + std::string(1 << 20, 'x');
  EXPECT_EQ(LexError(longString), "Unterminated string at line 1, column 8 - Native error: 30061");
  EXPECT_EQ(Lex("SELECT /*" + std::string(1 << 20, '*')).size(), 1u);
  EXPECT_EQ(Lex(std::string(1 << 20, '\n') + "x"), (Commands{{{S, "x", (1 << 20) + 1, 1}}}));
  EXPECT_EQ(Lex(std::string(1 << 20, ';')).size(), 0u);
  EXPECT_EQ(TABSLexer(std::string(1 << 20, '7'), nullptr).Command(0).Tokens[0].Value, nullptr);
  EXPECT_EQ(Lex("'" + std::string(1 << 20, '\'') + "'")[0][0].text.size(), 1u << 19);
}

}  // namespace
}  // namespace viz
