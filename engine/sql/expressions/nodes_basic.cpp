// Constants and field references.
#include "engine/sql/expressions/nodes.h"
#include "engine/tables/name_compare.h"
#include "engine/types/errors.h"

namespace viz {

TABSExprNodeConst::TABSExprNodeConst(const TABSVariant& value) : TABSExprNode(TABSExprNodeKind::Const, eoNone) {
  value_.Assign(value, TABSCopyMode::Copy);
}

TABSDataType TABSExprNodeConst::GetDataType() {
  return DataTypeOfBase(value_.GetType());
}

int32_t TABSExprNodeConst::GetSize() {
  if (value_.IsNull()) return 0;
  if (IsStringBaseType(value_.GetType())) return value_.StringLength();
  if (value_.GetType() == bt::kMemo) return value_.GetSize();
  if (value_.GetType() == bt::kWideMemo) return value_.GetSize() / 2;
  return 0;
}

TABSExprNodeField::TABSExprNodeField(std::string tableName, std::string fieldName)
    : TABSExprNode(TABSExprNodeKind::Field, eoNone),
      tableName_(std::move(tableName)),
      fieldName_(std::move(fieldName)) {}

void TABSExprNodeField::Bind(TABSExprRowSource* source, TABSExprRowSource* outer) {
  source_ = nullptr;
  outer_ = false;
  fieldNo_ = -1;
  if (source == nullptr && outer == nullptr) return;  // unbound again
  int32_t fieldNo = source ? source->FindField(tableName_, fieldName_) : -1;
  TABSExprRowSource* found = fieldNo >= 0 ? source : nullptr;
  if (!found && outer) {
    fieldNo = outer->FindField(tableName_, fieldName_);
    if (fieldNo >= 0) {
      found = outer;
      outer_ = true;
    }
  }
  if (!found) {
    const std::string name = tableName_.empty() ? fieldName_ : tableName_ + "." + fieldName_;
    const bool operatorSource = (source ? source : outer)->IsOperator();
    throw EABSException(operatorSource ? msg::kExprFieldNotFound.At(30197) : msg::kExprFieldNotFound, name);
  }
  source_ = found;
  fieldNo_ = fieldNo;
  info_ = found->FieldInfo(fieldNo);
}

void TABSExprNodeField::CheckBound() const {
  if (source_ == nullptr) throw EABSException(msg::kDatasetAndAONotAssigned);
}

const TABSVariant& TABSExprNodeField::Evaluate() {
  CheckBound();
  source_->ReadField(fieldNo_, value_);
  return value_;
}

TABSDataType TABSExprNodeField::GetDataType() {
  CheckBound();
  return info_.DataType;
}

int32_t TABSExprNodeField::GetSize() {
  CheckBound();
  return info_.Size;
}

int32_t TABSExprNodeField::GetPrecision() {
  CheckBound();
  return info_.Precision;
}

bool TABSExprNodeField::IsApplicable(const TABSExprRowSource& source) const {
  return source.FindField(tableName_, fieldName_) >= 0;
}

bool TABSExprNodeField::ReferencesOnlyTable(std::string_view name) const {
  if (!tableName_.empty()) return SameName(tableName_, name);
  return source_ != nullptr && SameName(info_.TableName, name);
}

}  // namespace viz
