#include "framework/data/field.h"

#include <limits>

#include "engine/platform/text.h"
#include "framework/data/dataset.h"
#include "framework/data/exceptions.h"
#include "framework/data/messages.h"

namespace viz {

TField::TField(TFieldType dataType, int size) : dataType_(dataType), size_(size) {}

TField::~TField() = default;

std::string TField::OwnerName() const {
  return dataSet_ ? dataSet_->Name() : std::string();
}

void TField::CheckInactive() const {
  if (dataSet_ && dataSet_->Active()) DatabaseError(fmsg::kDataSetOpen, OwnerName());
}

void TField::SetFieldName(std::string name) {
  CheckInactive();
  fieldName_ = std::move(name);
}

void TField::SetSize(int size) {
  CheckInactive();
  size_ = size;
}

void TField::SetFieldKind(TFieldKind kind) {
  CheckInactive();
  fieldKind_ = kind;
}

void TField::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  if (dataSet_ && dataSet_->Active()) dataSet_->DataEvent(deLayoutChange);
}

void TField::SetDisplayLabel(std::string label) {
  displayLabel_ = std::move(label);
  if (dataSet_ && dataSet_->Active()) dataSet_->DataEvent(deLayoutChange);
}

int TField::DisplayWidth() const {
  return displayWidth_ > 0 ? displayWidth_ : DefaultDisplayWidth();
}

void TField::SetDisplayWidth(int width) {
  displayWidth_ = width;
  if (dataSet_ && dataSet_->Active()) dataSet_->DataEvent(deLayoutChange);
}

bool TField::CanModify() const {
  return !readOnly_ && fieldKind_ == fkData && dataSet_ && dataSet_->Active() && dataSet_->CanModify();
}

bool TField::GetData(void* buffer) const {
  if (!dataSet_) DatabaseErrorFmt(fmsg::kFieldNoDataSet, {DisplayName()});
  if (!dataSet_->Active()) DatabaseError(fmsg::kDataSetClosed, dataSet_->Name());
  return dataSet_->GetFieldData(*this, buffer);
}

bool TField::CheckWritable() const {
  if (!dataSet_) DatabaseErrorFmt(fmsg::kFieldNoDataSet, {DisplayName()});
  if (!dataSet_->Active()) DatabaseError(fmsg::kDataSetClosed, dataSet_->Name());
  TDataSetState state = dataSet_->State();
  bool computing = state == dsCalcFields || state == dsFilter || state == dsNewValue;
  if (readOnly_ && !computing && state != dsSetKey)
    DatabaseErrorFmt(fmsg::kFieldReadOnly, {DisplayName()}, OwnerName());
  return computing;
}

void TField::SetData(const void* buffer) {
  const bool computing = CheckWritable();
  dataSet_->SetFieldData(*this, buffer);
  if (!computing) dataSet_->DataEvent(deFieldChange, reinterpret_cast<intptr_t>(this));
}

void TField::SetTextData(const void* text, size_t length) {
  const bool computing = CheckWritable();
  dataSet_->SetFieldText(*this, text, length);
  if (!computing) dataSet_->DataEvent(deFieldChange, reinterpret_cast<intptr_t>(this));
}

bool TField::IsNull() const {
  return !GetData(nullptr);
}

int32_t TField::AsInteger() const {
  int64_t value = GetAsLargeInt();
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
    AccessError("Integer");
  return static_cast<int32_t>(value);
}

Variant TField::AsVariant() const {
  return IsNull() ? Variant::Null() : GetAsVariant();
}

void TField::SetAsVariant(const Variant& value) {
  if (value.IsNull()) {
    Clear();
  } else if (value.IsStringKind()) {
    SetAsStringValue(value.AsString());
  } else if (value.Kind() == vk::kWideString) {
    SetAsWideStringValue(value.AsWideString());
  } else if (value.Kind() == vk::kBoolean) {
    SetAsBooleanValue(value.AsBoolean());
  } else if (value.Kind() == vk::kDate) {
    SetAsDateTimeValue(value.AsDouble());
  } else if (value.Kind() == vk::kSingle || value.Kind() == vk::kDouble || value.Kind() == vk::kCurrency) {
    SetAsFloatValue(value.AsDouble());
  } else {
    SetAsLargeIntValue(value.AsInt64());  // the integer kinds; others raise the variant's error
  }
}

void TField::AccessError(const char* typeName) const {
  DatabaseErrorFmt(fmsg::kFieldAccessError, {DisplayName(), typeName}, OwnerName());
}

void TField::InvalidValue(const char* format, const std::string& text) const {
  DatabaseErrorFmt(format, {text, DisplayName()}, OwnerName());
}

std::string TField::GetAsString() const {
  AccessError("String");
}
void TField::SetAsStringValue(const std::string&) {
  AccessError("String");
}
std::u16string TField::GetAsWideString() const {
  return platform::Win1252ToUtf16(GetAsString());
}
void TField::SetAsWideStringValue(const std::u16string& value) {
  SetAsStringValue(platform::Utf16ToWin1252(value));
}
int64_t TField::GetAsLargeInt() const {
  AccessError("Integer");
}
void TField::SetAsLargeIntValue(int64_t) {
  AccessError("Integer");
}
double TField::GetAsFloat() const {
  AccessError("Float");
}
void TField::SetAsFloatValue(double) {
  AccessError("Float");
}
bool TField::GetAsBoolean() const {
  AccessError("Boolean");
}
void TField::SetAsBooleanValue(bool) {
  AccessError("Boolean");
}
TDateTime TField::GetAsDateTime() const {
  AccessError("DateTime");
}
void TField::SetAsDateTimeValue(TDateTime) {
  AccessError("DateTime");
}

}  // namespace viz
