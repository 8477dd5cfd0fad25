// TABSExpression: building, binding and evaluating one expression tree.
#include "engine/sql/VIZExpressions.h"

#include <algorithm>

#include "engine/sql/expressions/nodes.h"
#include "engine/sql/expressions/parser.h"
#include "engine/types/errors.h"

namespace viz {
namespace {

bool IsAnd(const TABSExprNode* node) {
  return node && node->Kind() == TABSExprNodeKind::Boolean && node->Operator() == eoAnd;
}

std::string_view Trimmed(std::string_view text) {
  const size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string_view::npos) return {};
  return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

}  // namespace

TABSExpression::TABSExpression() : false_(bt::kLogical) {
  false_.SetAsLogical(false);
}

TABSExpression::~TABSExpression() = default;

void TABSExpression::SetRoot(TABSExprNode::Ptr root) {
  root_ = std::move(root);
  source_ = nullptr;
  outer_ = nullptr;
  if (root_) {
    root_->Prepare();
    root_->ResetAggregate();
  }
}

void TABSExpression::ParseCondition(TABSLexer& lexer) {
  TABSExprParser parser(lexer, {CaseInsensitive, PartialCompare, Database, InMemory});
  SetRoot(parser.ParseCondition());
}

bool TABSExpression::ParseValue(TABSLexer& lexer) {
  TABSExprParser parser(lexer, {CaseInsensitive, PartialCompare, Database, InMemory});
  TABSExprNode::Ptr value = parser.ParseValue();
  if (!value) return false;
  SetRoot(std::move(value));
  return true;
}

void TABSExpression::ParseFilter(TABSExprRowSource* source, std::string_view text, bool partialCompare,
                                 bool caseInsensitive) {
  if (Trimmed(text).empty()) throw EABSException(msg::kBlankSqlCommand);
  TABSLexer lexer(text, nullptr);
  if (!lexer.NextCommand()) throw EABSException(msg::kBlankSqlCommand);
  PartialCompare = partialCompare;
  CaseInsensitive = caseInsensitive;
  TABSExprParser parser(lexer, {caseInsensitive, partialCompare, Database, InMemory});
  TABSExprNode::Ptr root = parser.ParseCondition();
  // Nothing may follow the condition, not even another statement.
  const TToken* rest = &lexer.CurrentToken();
  if (rest->TokenType == tktNone && lexer.CommandCount() > 1) rest = &lexer.Command(1).Tokens.front();
  if (rest->TokenType != tktNone) throw EABSException(msg::kUnexpectedToken, rest->Text, rest->Line, rest->Column);
  SetRoot(std::move(root));
  Bind(source);
}

void TABSExpression::BuildKeyCondition(TABSExprRowSource* source, std::string_view fieldNames,
                                       std::span<const TABSVariant> keyValues, bool partialCompare,
                                       bool caseInsensitive) {
  std::vector<std::string_view> names;
  for (size_t start = 0; start <= fieldNames.size();) {
    const size_t end = std::min(fieldNames.find(';', start), fieldNames.size());
    const std::string_view name = Trimmed(fieldNames.substr(start, end - start));
    if (!name.empty()) names.push_back(name);
    start = end + 1;
  }
  if (names.size() != keyValues.size()) {
    throw EABSException(msg::kKeyCountMismatch, static_cast<int64_t>(names.size()),
                        static_cast<int64_t>(keyValues.size()));
  }
  PartialCompare = partialCompare;
  CaseInsensitive = caseInsensitive;
  std::vector<TABSExprNode::Ptr> comparisons;
  for (size_t i = 0; i < names.size(); ++i) {
    auto comparison = std::make_unique<TABSExprNodeComparison>(
        eoEqual, std::make_unique<TABSExprNodeField>(std::string(), std::string(names[i])),
        std::make_unique<TABSExprNodeConst>(keyValues[i]));
    comparison->CaseInsensitive = caseInsensitive;
    if (partialCompare) comparison->CompareByPrefixOfConstant();
    comparisons.push_back(std::move(comparison));
  }
  if (comparisons.size() == 1) {
    SetRoot(std::move(comparisons.front()));
  } else {
    auto conjunction = std::make_unique<TABSExprNodeBoolean>(eoAnd);
    conjunction->CaseInsensitive = caseInsensitive;
    for (TABSExprNode::Ptr& comparison : comparisons) conjunction->AddChild(std::move(comparison));
    SetRoot(std::move(conjunction));
  }
  Bind(source);
}

void TABSExpression::BuildFieldComparison(TABSExprRowSource* source, std::string_view fieldName,
                                          const TABSVariant& value, TABSExprOperator op) {
  if (op < eoEqual || op > eoLessOrEqual) throw EABSException(msg::kUnknownOperator.At(30338), OperatorName(op));
  auto comparison = std::make_unique<TABSExprNodeComparison>(
      op, std::make_unique<TABSExprNodeField>(std::string(), std::string(fieldName)),
      std::make_unique<TABSExprNodeConst>(value));
  comparison->CaseInsensitive = CaseInsensitive;
  SetRoot(std::move(comparison));
  Bind(source);
}

void TABSExpression::Bind(TABSExprRowSource* source, TABSExprRowSource* outer) {
  if (!root_) return;
  root_->Bind(source, outer);
  source_ = source;
  outer_ = outer;
  root_->Prepare();
}

const TABSVariant* TABSExpression::GetValue(bool keepNull) {
  if (!root_) return nullptr;
  const TABSVariant& value = root_->Evaluate();
  if (value.IsNull() && !keepNull) return &false_;
  return &value;
}

bool TABSExpression::GetBoolean() {
  if (!root_) throw EABSException(msg::kExpressionValueIsNull);
  return root_->EvaluateTruth() > 0;
}

bool TABSExpression::IsAggregated() const {
  return root_ && root_->IsAggregated();
}

void TABSExpression::ResetAggregates() {
  if (root_) root_->ResetAggregate();
}

void TABSExpression::AccumulateAggregates() {
  if (root_) root_->AccumulateAggregate();
}

TABSDataType TABSExpression::GetDataType() {
  if (!root_) throw EABSException(msg::kExprPointerIsNil);
  return root_->GetDataType();
}

int32_t TABSExpression::GetSize() {
  if (!root_) throw EABSException(msg::kExprPointerIsNil);
  return root_->GetSize();
}

int32_t TABSExpression::GetPrecision() {
  if (!root_) throw EABSException(msg::kExprPointerIsNil);
  return root_->GetPrecision();
}

bool TABSExpression::IsEmpty() const {
  return !root_ || (IsAnd(root_.get()) && root_->ChildCount() == 0);
}

bool TABSExpression::IsField() const {
  return root_ && root_->Kind() == TABSExprNodeKind::Field;
}

void TABSExpression::GetFieldName(std::string& tableName, std::string& fieldName) const {
  if (!IsField()) throw EABSException(msg::kNodeIsNotField);
  const auto& field = static_cast<const TABSExprNodeField&>(*root_);
  tableName = field.TableName();
  fieldName = field.FieldName();
}

void TABSExpression::AndWith(TABSExpression& other) {
  if (other.IsEmpty()) return;
  TABSExprNode::Ptr theirs = std::move(other.root_);
  other.source_ = other.outer_ = nullptr;
  if (IsEmpty()) {
    root_ = std::move(theirs);
    return;
  }
  if (!IsAnd(root_.get())) {
    auto conjunction = std::make_unique<TABSExprNodeBoolean>(eoAnd);
    conjunction->CaseInsensitive = CaseInsensitive;
    conjunction->PartialCompare = PartialCompare;
    conjunction->AddChild(std::move(root_));
    root_ = std::move(conjunction);
  }
  if (IsAnd(theirs.get())) {
    for (TABSExprNode::Ptr& operand : theirs->Children()) root_->AddChild(std::move(operand));
  } else {
    root_->AddChild(std::move(theirs));
  }
}

bool TABSExpression::ReferencesOnlyTable(std::string_view name) const {
  return root_ && root_->ReferencesOnlyTable(name);
}

bool TABSExpression::IsApplicable(const TABSExprRowSource& source) const {
  return root_ && root_->IsApplicable(source);
}

std::vector<TABSExprIndexCondition> TABSExpression::ExtractIndexConditions(const TABSIndexDefs& indexes,
                                                                           int32_t sessionId) {
  TABSExprIndexPlan plan = PlanIndexConditions(root_.get(), indexes, sessionId);
  if (plan.PlacedConjuncts.empty()) return std::move(plan.Conditions);
  if (IsAnd(root_.get())) {
    std::vector<TABSExprNode::Ptr>& operands = root_->Children();
    for (auto placed = plan.PlacedConjuncts.rbegin(); placed != plan.PlacedConjuncts.rend(); ++placed) {
      operands.erase(operands.begin() + static_cast<std::ptrdiff_t>(*placed));
    }
  } else {
    // The whole condition went to the index: what remains is an AND without operands (TRUE).
    auto empty = std::make_unique<TABSExprNodeBoolean>(eoAnd);
    root_ = std::move(empty);
  }
  return std::move(plan.Conditions);
}

}  // namespace viz
