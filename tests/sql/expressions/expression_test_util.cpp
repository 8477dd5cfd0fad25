#include "sql/expressions/expression_test_util.h"

#include <stdexcept>

#include "engine/types/errors.h"

namespace viz::testing {

std::string Show(const TABSVariant& value) {
  if (value.IsNull()) return "NULL";
  if (value.GetType() == bt::kLogical) return value.GetAsLogical() ? "TRUE" : "FALSE";
  if (value.GetType() == bt::kBlob) return value.GetAsBlob();
  if (value.GetType() == bt::kMemo) return value.GetAsMemo();
  return value.GetAsString();
}

Evaluated Evaluate(std::string_view text, TABSExprRowSource* source) {
  TABSLexer lexer(text, nullptr);
  if (!lexer.NextCommand()) throw std::invalid_argument("empty expression text");
  TABSExpression expression;
  if (!expression.ParseValue(lexer) || lexer.CurrentToken().TokenType != tktNone) {
    lexer.SetTokenPosition(0);
    expression.ParseCondition(lexer);
  }
  if (lexer.CurrentToken().TokenType != tktNone) {
    throw std::invalid_argument("text left after the expression: " + lexer.CurrentToken().Text);
  }
  expression.Bind(source);
  Evaluated result;
  result.value = Show(*expression.GetValue(true));
  result.type = expression.GetDataType();
  result.size = expression.GetSize();
  return result;
}

Raised EvaluationError(std::string_view text, TABSExprRowSource* source) {
  return RaisedBy([&] { Evaluate(text, source); });
}

TestRows::TestRows(std::vector<Column> columns, std::string tableName) {
  for (const Column& column : columns) {
    TABSFieldDef& field = fields_.AddCreated();
    field.SetName(column.name);
    field.SetDataType(column.type, column.size);
  }
  fields_.ComputeOffsets();
  source_ = std::make_unique<TABSRecordRowSource>(fields_, std::move(tableName));
}

void TestRows::Add(const std::vector<TABSVariant>& values) {
  std::vector<uint8_t>& record = records_.emplace_back(static_cast<size_t>(fields_.RecordBufferSize()), 0);
  for (int32_t i = 0; i < fields_.Count(); ++i) {
    const TABSFieldDef& field = fields_[i];
    const TABSFieldLayout layout{field.DataType(), field.BaseType(), field.BufferOffset, field.BufferSize()};
    TABSVariant value(values.at(static_cast<size_t>(i)));
    value.WriteToRecord(record.data(), i, layout);
  }
}

TABSVariant Int(int32_t value) {
  TABSVariant v;
  v.SetAsInteger(value);
  return v;
}

TABSVariant Large(int64_t value) {
  TABSVariant v;
  v.SetAsLargeInt(value);
  return v;
}

TABSVariant Real(double value) {
  TABSVariant v;
  v.SetAsFloat(value);
  return v;
}

TABSVariant Text(std::string_view value) {
  TABSVariant v;
  v.SetAsString(value);
  return v;
}

TABSVariant Null() {
  return TABSVariant();
}

}  // namespace viz::testing
