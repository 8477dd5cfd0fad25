#include "engine/components/adv_definitions.h"

#include <algorithm>
#include <cctype>

#include "engine/tables/constraint_manager.h"
#include "engine/tables/name_compare.h"
#include "engine/types/errors.h"
#include "framework/data/common_errors.h"

namespace viz {

namespace {

constexpr int32_t kFieldNotFoundOnDelete = 30349;
constexpr int32_t kNotNullFieldNotFound = 30032;
constexpr int32_t kCheckFieldNotFound = 30031;
constexpr int32_t kOtherConstraintKind = 30039;
constexpr int32_t kEmptyIndexName = 20048;
constexpr int32_t kEmptyIndexFields = 20049;
constexpr int32_t kUnknownIndexField = 20050;

std::string JoinNames(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) {
    if (!joined.empty()) joined += ';';
    joined += name;
  }
  return joined;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& other) { return SameName(other, name); });
}

// The numbers of a column-size list in order, an empty text for a missing one ("10;" gives "10", "").
std::vector<std::string> SplitSizes(const std::string& list) {
  std::vector<std::string> sizes;
  if (list.empty()) return sizes;
  size_t start = 0;
  for (;;) {
    const size_t end = list.find(';', start);
    std::string item = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
    item.erase(0, item.find_first_not_of(' '));
    item.erase(item.find_last_not_of(' ') + 1);
    sizes.push_back(item);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return sizes;
}

int32_t ParseSize(const std::string& text) {
  size_t used = 0;
  long long value = 0;
  try {
    value = std::stoll(text, &used, 10);
  } catch (const std::exception&) {
    throw EConvertError::NotInteger(text);
  }
  if (used != text.size() || value < std::numeric_limits<int32_t>::min() ||
      value > std::numeric_limits<int32_t>::max())
    throw EConvertError::NotInteger(text);
  return static_cast<int32_t>(value);
}

bool KeepsColumnSize(TABSDataType type) {
  return IsStringDataType(type) || IsByteArrayDataType(type);
}

}  // namespace

// ---- Component-level lists

void TABSAdvFieldDef::Assign(const TABSAdvFieldDef& source) {
  if (this == &source) return;
  Name = source.Name;
  FieldID = source.FieldID;
  DataType = source.DataType;
  Required = source.Required;
  Size = source.Size;
  DefaultValue = source.DefaultValue;
  MinValue = source.MinValue;
  MaxValue = source.MaxValue;
  Increment = source.Increment;
  InitialValue = source.InitialValue;
  CycleStart = source.CycleStart;
  MaxCounterValue = source.MaxCounterValue;
  Cycle = source.Cycle;
  BlobCompressionAlgorithm = source.BlobCompressionAlgorithm;
  BlobCompressionMode = source.BlobCompressionMode;
  BlobBlockSize = source.BlobBlockSize;
}

TABSAdvFieldDef& TABSAdvFieldDefs::Add() {
  items_.push_back(std::make_unique<TABSAdvFieldDef>());
  return *items_.back();
}

TABSAdvFieldDef* TABSAdvFieldDefs::Find(std::string_view name) const {
  for (const auto& item : items_)
    if (SameName(item->Name, name)) return item.get();
  return nullptr;
}

void TABSAdvFieldDefs::Delete(std::string_view name) {
  auto found = std::find_if(items_.begin(), items_.end(),
                            [&](const auto& item) { return SameName(item->Name, name); });
  if (found == items_.end())
    throw EABSException(msg::kFieldNotFound.At(kFieldNotFoundOnDelete), std::string(name));
  items_.erase(found);
}

void TABSAdvFieldDefs::Assign(const TABSAdvFieldDefs& source) {
  if (this == &source) return;
  std::vector<std::unique_ptr<TABSAdvFieldDef>> copies;
  for (const auto& item : source.items_) {
    copies.push_back(std::make_unique<TABSAdvFieldDef>());
    copies.back()->Assign(*item);
  }
  items_ = std::move(copies);
}

TABSAdvIndexDef& TABSAdvIndexDefs::Add() {
  items_.push_back(std::make_unique<TABSAdvIndexDef>());
  return *items_.back();
}

void TABSAdvIndexDefs::Assign(const TABSAdvIndexDefs& source, bool skipTemporary) {
  if (this == &source) return;
  std::vector<std::unique_ptr<TABSAdvIndexDef>> copies;
  for (const auto& item : source.items_) {
    if (skipTemporary && (item->Temporary || UpperName(item->Name).find("TEMPORARY") != std::string::npos))
      continue;
    copies.push_back(std::make_unique<TABSAdvIndexDef>(*item));
  }
  items_ = std::move(copies);
}

std::vector<std::string> SplitFieldList(const std::string& list) {
  std::string semicolons = list;
  std::replace(semicolons.begin(), semicolons.end(), ',', ';');
  return SplitFieldNames(semicolons);
}

// ---- Fields

void FieldDefsToAdvFieldDefs(const TFieldDefs& source, TABSAdvFieldDefs& target) {
  target.Clear();
  for (int i = 0; i < source.Count(); ++i) {
    TABSAdvFieldDef& field = target.Add();
    field.Name = source[i].Name;
    field.DataType = DataTypeOfFrameworkType(source[i].DataType);
    field.Size = source[i].Size;
    field.Required = source[i].Required;
  }
}

void AdvFieldDefsToFieldDefs(const TABSAdvFieldDefs& source, TFieldDefs& target) {
  target.Clear();
  for (int32_t i = 0; i < source.Count(); ++i)
    target.Add(source[i].Name, static_cast<TFieldType>(FrameworkTypeOf(source[i].DataType)), source[i].Size,
               source[i].Required);
}

void FieldDefsToEngineFieldDefs(const TFieldDefs& source, TABSFieldDefs& target) {
  target.Clear();
  for (int i = 0; i < source.Count(); ++i) {
    TABSFieldDef& field = target.AddCreated();
    field.SetName(source[i].Name);
    field.SetDataType(DataTypeOfFrameworkType(source[i].DataType), source[i].Size);
  }
}

void AdvFieldDefsToEngineDefs(const TABSAdvFieldDefs& source, const TABSIndexDefs& indexes,
                              bool temporaryTable, TABSFieldDefs& fields, TABSConstraintDefs& constraints) {
  fields.Clear();
  constraints.Clear();
  for (int32_t i = 0; i < source.Count(); ++i) {
    const TABSAdvFieldDef& from = source[i];
    TABSFieldDef& field = fields.AddCreated();
    field.SetName(from.Name);
    field.SetDataType(from.DataType, from.Size);
    field.BlobCompressionAlgorithm = from.BlobCompressionAlgorithm;
    field.BlobCompressionMode = from.BlobCompressionMode;
    field.BlobBlockSize = from.BlobBlockSize > 0 ? from.BlobBlockSize : TABSFieldDef::kDefaultBlobBlockSize;
    field.Increment = from.Increment;
    field.InitialValue = from.InitialValue;
    field.MinValue = from.CycleStart;
    field.MaxValue = from.MaxCounterValue;
    field.Cycled = from.Cycle;
    field.DefaultValue = from.DefaultValue;
    if (temporaryTable) continue;
    if (from.Required) constraints.AddNotNull().TargetName = field.Name();
    if (!from.MinValue.IsNull() || !from.MaxValue.IsNull()) {
      TABSConstraintDefCheck& check = constraints.AddCheck();
      check.TargetName = field.Name();
      check.LowerBound = from.MinValue;
      check.UpperBound = from.MaxValue;
    }
  }
  for (int32_t i = 0; i < indexes.Count(); ++i)
    if (auto constraint = TABSBaseConstraintManager::ConstraintForIndex(indexes[i]))
      constraints.Add(std::move(constraint));
}

void EngineDefsToAdvFieldDefs(const TABSFieldDefs& fields, const TABSConstraintDefs& constraints,
                              TABSAdvFieldDefs& target) {
  target.Clear();
  for (int32_t i = 0; i < fields.Count(); ++i) {
    const TABSFieldDef& from = fields[i];
    TABSAdvFieldDef& field = target.Add();
    field.Name = from.Name();
    field.FieldID = from.ObjectID;
    field.DataType = from.DataType();
    field.Size = from.DataType() == dt::kGuid ? 0 : from.Size();
    field.Increment = from.Increment;
    field.InitialValue = from.InitialValue;
    field.CycleStart = from.MinValue;
    field.MaxCounterValue = from.MaxValue;
    field.Cycle = from.Cycled;
    field.BlobCompressionAlgorithm = from.BlobCompressionAlgorithm >= 1 && from.BlobCompressionAlgorithm <= 3
                                         ? from.BlobCompressionAlgorithm
                                         : 0;
    field.BlobCompressionMode = from.BlobCompressionMode;
    field.BlobBlockSize = from.BlobBlockSize;
    field.DefaultValue = from.DefaultValue;
  }
  for (int32_t i = 0; i < constraints.Count(); ++i) {
    const TABSConstraintDef& constraint = constraints[i];
    switch (constraint.Kind()) {
      case TABSConstraintKind::Primary:
      case TABSConstraintKind::Unique:
        break;  // the indexes carry them
      case TABSConstraintKind::NotNull: {
        const TABSFieldDef* field = fields.FindFieldByObjectID(constraint.TargetObjectID);
        if (!field)
          throw EABSException(msg::kFieldNumberNotFound.At(kNotNullFieldNotFound), constraint.TargetObjectID);
        target[fields.IndexOfObjectID(field->ObjectID)].Required = true;
        break;
      }
      case TABSConstraintKind::Check: {
        const TABSFieldDef* field = fields.FindFieldByObjectID(constraint.TargetObjectID);
        if (!field)
          throw EABSException(msg::kFieldNumberNotFound.At(kCheckFieldNotFound), constraint.TargetObjectID);
        const auto& check = static_cast<const TABSConstraintDefCheck&>(constraint);
        TABSAdvFieldDef& to = target[fields.IndexOfObjectID(field->ObjectID)];
        to.MinValue = check.LowerBound;
        to.MaxValue = check.UpperBound;
        break;
      }
      default:
        throw EABSException(msg::kNotImplementedYet.At(kOtherConstraintKind));
    }
  }
}

void EngineDefsToFieldDefs(const TABSFieldDefs& fields, const TABSConstraintDefs& constraints,
                           TFieldDefs& target) {
  target.Clear();
  for (int32_t i = 0; i < fields.Count(); ++i) {
    const TABSFieldDef& field = fields[i];
    const auto type = static_cast<TFieldType>(FrameworkTypeOf(field.DataType()));
    const bool sized = KeepsColumnSize(field.DataType()) && type != ftGuid;
    target.Add(field.Name(), type, sized ? field.Size() : 0);
  }
  for (int32_t i = 0; i < constraints.Count(); ++i) {
    const TABSConstraintDef& constraint = constraints[i];
    if (constraint.Kind() != TABSConstraintKind::NotNull) continue;
    const TABSFieldDef* field = fields.FindFieldByObjectID(constraint.TargetObjectID);
    if (!field)
      throw EABSException(msg::kFieldNumberNotFound.At(kNotNullFieldNotFound), constraint.TargetObjectID);
    if (!IsAutoIncDataType(field->DataType()))
      target[fields.IndexOfObjectID(field->ObjectID)].Required = true;
  }
}

// ---- Indexes

void AdvIndexDefToEngineIndexDef(const TABSAdvIndexDef& source, const TFieldDefs& fields,
                                 TABSIndexDef& target) {
  if (source.Name.empty()) throw EABSException(msg::kInvalidIndexName.At(kEmptyIndexName), source.Name);
  const std::vector<std::string> names = SplitFieldList(source.Fields);
  if (names.empty()) throw EABSException(msg::kCannotFindIndexField.At(kEmptyIndexFields), source.Fields);
  const std::vector<std::string> descending = SplitFieldList(source.DescFields);
  const std::vector<std::string> caseInsensitive = SplitFieldList(source.CaseInsFields);
  const std::vector<std::string> sizes = SplitSizes(source.ColumnSizes);
  target.SetName(source.Name);
  target.Unique = (source.Options & ixUnique) != 0;
  target.Primary = (source.Options & ixPrimary) != 0;
  target.Temporary = source.Temporary ? TABSIndexDef::kTemporary : 0;
  target.Columns.clear();
  for (size_t i = 0; i < names.size(); ++i) {
    if (fields.IndexOf(names[i]) < 0)
      throw EABSException(msg::kCannotFindIndexField.At(kUnknownIndexField), names[i]);
    TABSIndexColumn column;
    column.FieldName = names[i].substr(0, TABSMetaObjectDef::kMaxNameLength);
    column.Descending = Contains(descending, names[i]) || (source.Options & ixDescending) != 0;
    column.CaseInsensitive = Contains(caseInsensitive, names[i]) || (source.Options & ixCaseInsensitive) != 0;
    column.KeyLength = i < sizes.size() && !sizes[i].empty() ? ParseSize(sizes[i]) : kDefaultIndexColumnSize;
    target.Columns.push_back(std::move(column));
  }
}

void EngineIndexDefToAdvIndexDef(const TABSIndexDef& source, TABSAdvIndexDef& target) {
  std::vector<std::string> names, descending, caseInsensitive, sizes;
  for (const TABSIndexColumn& column : source.Columns) {
    names.push_back(column.FieldName);
    if (column.Descending) descending.push_back(column.FieldName);
    if (column.CaseInsensitive) caseInsensitive.push_back(column.FieldName);
    sizes.push_back(std::to_string(column.KeyLength));
  }
  target.Name = source.Name();
  target.Fields = JoinNames(names);
  target.DescFields = JoinNames(descending);
  target.CaseInsFields = JoinNames(caseInsensitive);
  target.ColumnSizes = JoinNames(sizes);
  target.Options = (source.Unique ? ixUnique : 0) | (source.Primary ? ixPrimary : 0);
  target.Temporary = source.IsTemporary();
}

void NormaliseIndexColumnSizes(const TABSFieldDefs& fields, TABSIndexDefs& indexes,
                               TABSAdvIndexDefs& components) {
  for (int32_t i = 0; i < indexes.Count(); ++i) {
    TABSIndexDef& index = indexes[i];
    std::vector<std::string> sizes;
    for (TABSIndexColumn& column : index.Columns) {
      const TABSFieldDef* field = fields.FindField(column.FieldName);
      if (!field || !KeepsColumnSize(field->DataType()) || column.KeyLength <= 0)
        column.KeyLength = kDefaultIndexColumnSize;
      sizes.push_back(std::to_string(column.KeyLength));
    }
    for (int32_t c = 0; c < components.Count(); ++c)
      if (SameName(components[c].Name, index.Name())) components[c].ColumnSizes = JoinNames(sizes);
  }
}

void AdvIndexDefsToIndexDefs(const TABSAdvIndexDefs& source, TIndexDefs& target) {
  target.Clear();
  for (int32_t i = 0; i < source.Count(); ++i) {
    TIndexDef& index = target.Add(source[i].Name, source[i].Fields, source[i].Options);
    index.DescFields = source[i].DescFields;
    index.CaseInsFields = source[i].CaseInsFields;
  }
}

void IndexDefsToAdvIndexDefs(const TIndexDefs& source, TABSAdvIndexDefs& target) {
  target.Clear();
  for (int i = 0; i < source.Count(); ++i) {
    TABSAdvIndexDef& index = target.Add();
    index.Name = source[i].Name;
    index.Fields = source[i].Fields;
    index.DescFields = source[i].DescFields;
    index.CaseInsFields = source[i].CaseInsFields;
    index.Options = source[i].Options;
  }
}

}  // namespace viz
