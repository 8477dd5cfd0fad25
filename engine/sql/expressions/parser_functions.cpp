// The expression parser: functions, aggregates, CAST, CASE and COALESCE. Each parse starts at the
// function's word; once the word is read, anything missing raises.
#include "engine/platform/text.h"
#include "engine/sql/expressions/nodes.h"
#include "engine/sql/expressions/parser.h"
#include "engine/types/errors.h"

namespace viz {
namespace {

struct MathFunction {
  uint16_t word;
  TABSExprOperator op;
};

constexpr MathFunction kMathFunctions[] = {
    {rw::kVIZ, eoAbs},    {rw::kACOS, eoAcos},   {rw::kASIN, eoAsin}, {rw::kATAN, eoAtan},
    {rw::kCEIL, eoCeil},  {rw::kCOS, eoCos},     {rw::kEXP, eoExp},   {rw::kFLOOR, eoFloor},
    {rw::kLOG, eoLog},    {rw::kPOWER, eoPower}, {rw::kRAND, eoRand}, {rw::kROUND, eoRound},
    {rw::kSIGN, eoSign},  {rw::kSIN, eoSin},     {rw::kSQR, eoSqr},   {rw::kSQRT, eoSqrt},
};

}  // namespace

TABSExprParser::Ptr TABSExprParser::ParseFunction() {
  const TToken& token = Token();
  if (token.TokenType == tktString) {
    // ABS is what SQL users write for VIZ; it is no reserved word, so a field may still be
    // called ABS (a field is never followed by a parenthesis).
    if (platform::UpperCase(token.Text) == "ABS") return ParseMathFunction(eoAbs, "ABS");
    return nullptr;
  }
  switch (token.ReservedWord) {
    case rw::kCOUNT:
    case rw::kSUM:
    case rw::kAVG:
    case rw::kMIN:
    case rw::kMAX:
      return ParseAggregate();
    case rw::kCASE:
      return ParseCase();
    case rw::kCOALESCE:
      return ParseCoalesce();
    case rw::kCAST:
      return ParseCast();
    case rw::kUPPER:
    case rw::kLOWER:
    case rw::kTRIM:
    case rw::kLTRIM:
    case rw::kRTRIM:
      return ParseTextFunction();
    case rw::kLENGTH:
      return ParseLength();
    case rw::kPOSITION:
    case rw::kPOS:
      return ParsePosition();
    case rw::kSUBSTRING:
      return ParseSubstring();
    case rw::kCURRENT_DATE:
    case rw::kCURRENT_TIME:
    case rw::kCURRENT_TIMESTAMP:
    case rw::kSYSDATE:
    case rw::kNOW:
      return ParseDateFunction();
    case rw::kTODATE:
    case rw::kTOSTRING:
      return ParseToDateOrString();
    case rw::kEXTRACT:
      return ParseExtract();
    case rw::kMIMETOBIN:
      return ParseMimeToBin();
    case rw::kLASTAUTOINC:
      return ParseLastAutoinc();
    case rw::kROWNUM:
      Advance();
      SkipEmptyParentheses();
      return Make<TABSExprNodeSystem>(eoRowNum);
    default:
      for (const MathFunction& function : kMathFunctions) {
        if (function.word == token.ReservedWord) return ParseMathFunction(function.op, ReservedWordText(function.word));
      }
      return nullptr;
  }
}

void TABSExprParser::SkipEmptyParentheses() {
  if (AtKind(tktLeftParenthesis) && Peek(1).TokenType == tktRightParenthesis) {
    Advance();
    Advance();
  }
}

TABSExprParser::Ptr TABSExprParser::ParseAggregate() {
  const uint16_t word = Token().ReservedWord;
  const std::string_view name = ReservedWordText(word);
  Advance();
  // DISTINCT stands between the name and the parenthesis: COUNT DISTINCT (x).
  const bool distinct = AtWord(rw::kDISTINCT);
  if (distinct) Advance();
  Expect(tktLeftParenthesis, 30074, "(");
  if (word == rw::kCOUNT && !distinct && AtSymbol("*")) {
    Advance();
    Expect(tktRightParenthesis, 30075, ")");
    return Make<TABSExprNodeAggregated>(eoCountAll, false);
  }
  const TABSExprOperator op = word == rw::kSUM   ? eoSum
                              : word == rw::kAVG ? eoAvg
                              : word == rw::kMIN ? eoMin
                              : word == rw::kMAX ? eoMax
                                                 : eoCount;
  auto node = Make<TABSExprNodeAggregated>(op, distinct);
  node->AddChild(RequireArgument(30102, name));
  Expect(tktRightParenthesis, 30075, ")");
  return Checked(std::move(node));
}

TABSExprParser::Ptr TABSExprParser::ParseCase() {
  Advance();
  const bool searched = AtWord(rw::kWHEN);
  auto node = Make<TABSExprNodeCase>(!searched, false);
  if (!searched) {
    Ptr input = ParseValue();
    if (!input) RaiseAtToken(msg::kCaseInputExpected);
    node->AddChild(std::move(input));
  }
  if (!AtWord(rw::kWHEN)) RaiseAtToken(msg::kTokenExpected.At(20251), "WHEN");
  while (AtWord(rw::kWHEN)) {
    Advance();
    const TToken start = Token();
    Ptr when = searched ? ParseOr() : ParseValue();
    if (!when || (searched && !IsBooleanNode(*when))) {
      const msg::Message message = searched ? msg::kCaseConditionExpected : msg::kCaseWhenExpected;
      if (!when) RaiseAtToken(message);
      throw EABSException(message, start.Text, start.Line, start.Column);
    }
    node->AddChild(std::move(when));
    ExpectWord(rw::kTHEN, 20252, "THEN");
    node->AddChild(RequireArgument(20287, "CASE"));
  }
  if (AtWord(rw::kELSE)) {
    Advance();
    Ptr otherwise = ParseValue();
    if (!otherwise) RaiseAtToken(msg::kCaseElseExpected);
    node->AddChild(std::move(otherwise));
    node->SetHasElse();
  }
  ExpectWord(rw::kEND, 20253, "END");
  return Checked(std::move(node));
}

TABSExprParser::Ptr TABSExprParser::ParseCoalesce() {
  Advance();
  Expect(tktLeftParenthesis, 20288, "(");
  auto node = Make<TABSExprNodeCase>(false, true);
  Ptr first = ParseValue();
  if (!first) RaisePlace(msg::kCoalesceArgumentsMissed);
  node->AddChild(std::move(first));
  while (AtKind(tktComma)) {
    Advance();
    node->AddChild(RequireArgument(20289, "COALESCE"));
  }
  Expect(tktRightParenthesis, 30122, ")");
  return Checked(std::move(node));
}

TABSExprParser::Ptr TABSExprParser::ParseCast() {
  Advance();
  Expect(tktLeftParenthesis, 30073, "(");
  Ptr value = RequireArgument(30078, "CAST");
  // The type follows AS, a comma, or the value itself.
  if (AtWord(rw::kAS) || AtKind(tktComma)) Advance();
  const TToken& name = Token();
  const TABSDataType target = name.TokenType == tktString || name.TokenType == tktReservedWord
                                  ? DataTypeByName(name.Text)
                                  : dt::kNone;
  if (!IsCastableDataType(target)) throw EABSException(msg::kCannotConvertToType, name.Text);
  Advance();
  Ptr length;
  if (AtKind(tktLeftParenthesis)) {
    Advance();
    length = RequireArgument(30079, "CAST");
    Expect(tktRightParenthesis, 30465, ")");
  }
  Expect(tktRightParenthesis, 30076, ")");
  return Checked(Make<TABSExprNodeCast>(std::move(value), target, std::move(length)));
}

TABSExprParser::Ptr TABSExprParser::ParseTextFunction() {
  const uint16_t word = Token().ReservedWord;
  const TABSExprOperator op = word == rw::kUPPER   ? eoUpper
                              : word == rw::kLOWER ? eoLower
                              : word == rw::kTRIM  ? eoTrim
                              : word == rw::kLTRIM ? eoLTrim
                                                   : eoRTrim;
  Advance();
  Expect(tktLeftParenthesis, 30080, "(");
  Ptr text = ParseValue();
  if (!text) RaiseAtToken(msg::kStringArgumentExpected, OperatorName(op));
  auto node = Make<TABSExprNodeStringFunction>(op);
  node->AddChild(std::move(text));
  Expect(tktRightParenthesis, 30081, ")");
  return Checked(std::move(node));
}

TABSExprParser::Ptr TABSExprParser::ParseLength() {
  Advance();
  Expect(tktLeftParenthesis, 30082, "(");
  auto node = Make<TABSExprNodeStringFunction>(eoLength);
  node->AddChild(RequireArgument(30083, "LENGTH"));
  Expect(tktRightParenthesis, 30084, ")");
  return Checked(std::move(node));
}

TABSExprParser::Ptr TABSExprParser::ParsePosition() {
  // POSITION (sub IN s), POSITION (sub, s), POS (sub, s)
  const std::string_view name = ReservedWordText(Token().ReservedWord);
  Advance();
  Expect(tktLeftParenthesis, 30085, "(");
  auto node = Make<TABSExprNodeStringFunction>(eoPosition);
  node->AddChild(RequireArgument(30086, name));
  if (!AtWord(rw::kIN) && !AtKind(tktComma)) RaiseAtToken(msg::kTokenExpected.At(30087), ",' or 'IN");
  Advance();
  node->AddChild(RequireArgument(30088, name));
  Expect(tktRightParenthesis, 30089, ")");
  return Checked(std::move(node));
}

TABSExprParser::Ptr TABSExprParser::ParseSubstring() {
  // SUBSTRING (s FROM start [FOR length]), SUBSTRING (s, start [, length])
  Advance();
  Expect(tktLeftParenthesis, 30090, "(");
  auto node = Make<TABSExprNodeStringFunction>(eoSubstring);
  Ptr text = ParseValue();
  if (!text) RaiseAtToken(msg::kStringArgumentExpected, "SUBSTRING");
  node->AddChild(std::move(text));
  if (!AtWord(rw::kFROM) && !AtKind(tktComma)) RaiseAtToken(msg::kTokenExpected.At(30091), ",' or 'from");
  Advance();
  node->AddChild(RequireArgument(30093, "SUBSTRING"));
  if (AtWord(rw::kFOR) || AtKind(tktComma)) {
    Advance();
    node->AddChild(RequireArgument(30095, "SUBSTRING"));
  } else if (!AtKind(tktRightParenthesis)) {
    RaiseAtToken(msg::kTokenExpected.At(30094), ")' or ',' or 'FOR");
  }
  Expect(tktRightParenthesis, 30097, ")");
  return Checked(std::move(node));
}

TABSExprParser::Ptr TABSExprParser::ParseDateFunction() {
  const uint16_t word = Token().ReservedWord;
  Advance();
  SkipEmptyParentheses();
  const TABSExprOperator op = word == rw::kCURRENT_DATE   ? eoCurrentDate
                              : word == rw::kCURRENT_TIME ? eoCurrentTime
                                                          : eoCurrentTimestamp;
  return Make<TABSExprNodeDateFunction>(op);
}

TABSExprParser::Ptr TABSExprParser::ParseToDateOrString() {
  // TODATE (s, 'format'), TOSTRING (x, 'format') or TOSTRING (x FROM 'format')
  const bool toDate = AtWord(rw::kTODATE);
  const std::string_view name = toDate ? "TODATE" : "TOSTRING";
  Advance();
  Expect(tktLeftParenthesis, toDate ? 30098 : 30103, "(");
  auto node = Make<TABSExprNodeDateFunction>(toDate ? eoToDate : eoToString);
  node->AddChild(RequireArgument(toDate ? 30099 : 30104, name));
  if (AtKind(tktComma) || (!toDate && AtWord(rw::kFROM))) {
    Advance();
  } else {
    RaiseAtToken(msg::kTokenExpected.At(toDate ? 30100 : 20261), ",");
  }
  if (!AtKind(tktQuotedString)) RaiseAtToken(msg::kDateFormatExpected.At(toDate ? 30109 : 30096));
  node->SetFormat(Token().Text);
  Advance();
  Expect(tktRightParenthesis, toDate ? 30101 : 20263, ")");
  return Checked(std::move(node));
}

TABSExprParser::Ptr TABSExprParser::ParseExtract() {
  // EXTRACT (part FROM x), x a single primary
  Advance();
  Expect(tktLeftParenthesis, 20277, "(");
  static constexpr std::string_view kParts = "YEAR or MONTH or DAY or HOUR or MINUTE or SECOND";
  TABSExprNodeDateFunction::ExtractPart part;
  switch (AtKind(tktReservedWord) ? Token().ReservedWord : kNotReservedWord) {
    case rw::kYEAR:
      part = TABSExprNodeDateFunction::kYear;
      break;
    case rw::kMONTH:
      part = TABSExprNodeDateFunction::kMonth;
      break;
    case rw::kDAY:
      part = TABSExprNodeDateFunction::kDay;
      break;
    case rw::kHOUR:
      part = TABSExprNodeDateFunction::kHour;
      break;
    case rw::kMINUTE:
      part = TABSExprNodeDateFunction::kMinute;
      break;
    case rw::kSECOND:
      part = TABSExprNodeDateFunction::kSecond;
      break;
    default:
      RaiseAtToken(msg::kTokenExpected.At(AtKind(tktString) || AtKind(tktReservedWord) ? 20279 : 20278), kParts);
  }
  Advance();
  ExpectWord(rw::kFROM, 20280, "FROM");
  Ptr value = ParsePrimary();
  if (!value) RaisePlace(msg::kArgumentExpected.At(20281), "EXTRACT (... FROM ...)");
  auto node = Make<TABSExprNodeDateFunction>(eoExtract);
  node->SetExtractPart(part);
  node->AddChild(std::move(value));
  Expect(tktRightParenthesis, 20282, ")");
  return Checked(std::move(node));
}

TABSExprParser::Ptr TABSExprParser::ParseMimeToBin() {
  Advance();
  Expect(tktLeftParenthesis, 20273, "(");
  const TToken start = Token();
  Ptr text = ParseValue();
  if (!text || (text->Kind() == TABSExprNodeKind::Const && !text->Value().IsNull() &&
                !IsTextType(text->Value().GetType()))) {
    throw EABSException(msg::kStringArgumentExpected.At(30105), "MimeToBin()", start.Text, start.Line,
                        start.Column);
  }
  auto node = Make<TABSExprNodeBlob>();
  node->AddChild(std::move(text));
  Expect(tktRightParenthesis, 20274, ")");
  return Checked(std::move(node));
}

TABSExprParser::Ptr TABSExprParser::ParseMathFunction(TABSExprOperator op, std::string_view name) {
  Advance();
  Expect(tktLeftParenthesis, 20275, "(");
  auto node = Make<TABSExprNodeArithmetic>(op);
  node->AddChild(RequireArgument(20262, name));
  if (op == eoPower) {
    if (!AtKind(tktComma)) RaisePlace(msg::kCommaExpected);
    Advance();
    node->AddChild(RequireArgument(20284, name));
  }
  Expect(tktRightParenthesis, 20286, ")");
  return Checked(std::move(node));
}

std::string TABSExprParser::ExpectName(int32_t code, std::string_view what) {
  const TToken& token = Token();
  if (token.TokenType != tktString && token.TokenType != tktQuotedString &&
      token.TokenType != tktBracketedString)
    RaiseAtToken(msg::kTokenExpected.At(code), what);
  std::string name = token.Text;
  Advance();
  return name;
}

TABSExprParser::Ptr TABSExprParser::ParseLastAutoinc() {
  Advance();
  Expect(tktLeftParenthesis, 20261, "(");
  std::string table = ExpectName(20263, "table name");
  bool inMemory = options_.InMemory;
  if (AtWord(rw::kMEMORY)) {
    inMemory = true;
    Advance();
  }
  Expect(tktComma, 20275, ",");
  std::string field = ExpectName(20277, "field name");
  Expect(tktRightParenthesis, 20279, ")");
  if (!options_.Database) throw EABSException(msg::kDatasetAndAONotAssigned.At(30336));
  // The table is opened now, once, and read at every evaluation.
  return Make<TABSExprNodeSystem>(options_.Database->OpenTable(table, inMemory), std::move(table),
                                  std::move(field), inMemory);
}

}  // namespace viz
