#include "engine/tables/constraint_manager.h"

#include <string>

#include "engine/platform/random.h"
#include "engine/tables/VIZBaseEngine.h"
#include "engine/tables/name_compare.h"
#include "engine/types/errors.h"

namespace viz {

namespace {
bool IsKeyKind(TABSConstraintKind kind) {
  return kind == TABSConstraintKind::Primary || kind == TABSConstraintKind::Unique;
}

const TABSFieldDefs& FieldsOf(const TABSTableData* table) {
  if (!table || !table->FieldManager()) throw EABSException(msg::kNilPointer);
  return table->FieldManager()->FieldDefs();
}

TABSBaseIndexManager& IndexesOf(const TABSTableData* table) {
  if (!table || !table->IndexManager()) throw EABSException(msg::kNilPointer);
  return *table->IndexManager();
}
}  // namespace

void TABSBaseConstraintManager::Install(const TABSConstraintDefs& definitions) {
  TABSConstraintDefs numbered;
  for (int32_t i = 0; i < definitions.Count(); ++i) {
    auto copy =
        std::unique_ptr<TABSConstraintDef>(static_cast<TABSConstraintDef*>(definitions[i].Clone().release()));
    switch (copy->Kind()) {
      case TABSConstraintKind::Primary:
      case TABSConstraintKind::Unique:
      case TABSConstraintKind::NotNull:
      case TABSConstraintKind::Check:
        break;
      default:
        throw EABSException(msg::kNotImplementedYet);
    }
    if (!table_) throw EABSException(msg::kNilPointer);
    copy->ObjectID = table_->Database()->NextObjectID();
    copy->TableName = table_->TableName();
    numbered.Add(std::move(copy));
  }
  constraintDefs_.Assign(numbered);
  for (int32_t i = 0; i < constraintDefs_.Count(); ++i) ResolveNames(constraintDefs_[i]);
  for (int32_t i = 0; i < constraintDefs_.Count(); ++i) NameUnnamed(constraintDefs_[i]);
}

void TABSBaseConstraintManager::ResolveNames(TABSConstraintDef& constraint) const {
  const TABSFieldDefs& fields = FieldsOf(table_);
  switch (constraint.Kind()) {
    case TABSConstraintKind::Primary:
    case TABSConstraintKind::Unique: {
      const TABSIndexDef* index = IndexesOf(table_).IndexDefs().FindIndex(constraint.TargetName);
      if (!index) throw EABSException(msg::kIndexNameNotFound, constraint.TargetName);
      constraint.TargetObjectID = index->ObjectID;
      const int32_t missingCode = constraint.Kind() == TABSConstraintKind::Primary ? 30331 : 30332;
      for (TABSConstraintColumn& column : static_cast<TABSConstraintDefUnique&>(constraint).Columns) {
        const TABSFieldDef* field = fields.FindField(column.FieldName);
        if (!field) throw EABSException(msg::kFieldNotFound.At(missingCode), column.FieldName);
        column.FieldObjectID = field->ObjectID;
      }
      break;
    }
    case TABSConstraintKind::NotNull:
    case TABSConstraintKind::Check: {
      const TABSFieldDef* field = fields.FindField(constraint.TargetName);
      if (!field) throw EABSException(msg::kFieldNotFound.At(30027), constraint.TargetName);
      constraint.TargetObjectID = field->ObjectID;
      break;
    }
    default:
      throw EABSException(msg::kNotImplementedYet.At(30037));
  }
}

void TABSBaseConstraintManager::NameUnnamed(TABSConstraintDef& constraint) const {
  if (!constraint.Name().empty()) return;
  if (IsKeyKind(constraint.Kind())) throw EABSException(msg::kNotImplementedYet.At(30038));
  const std::string base = std::string("$") +
                           (constraint.Kind() == TABSConstraintKind::Check ? "C_Check" : "C_NotNull") + "$" +
                           table_->TableName() + "$" + constraint.TargetName;
  std::string name = base;
  while (constraintDefs_.IndexOfName(name) >= 0) name = base + std::to_string(platform::Random(65535));
  constraint.SetName(name);
}

std::unique_ptr<TABSConstraintDef> TABSBaseConstraintManager::ConstraintForIndex(const TABSIndexDef& index) {
  std::unique_ptr<TABSConstraintDefUnique> constraint;
  std::string name;
  if (index.Primary) {
    constraint = std::make_unique<TABSConstraintDefPrimary>();
    name = "C_PK";
  } else if (index.Unique) {
    constraint = std::make_unique<TABSConstraintDefUnique>();
    name = "C_Unique";
  } else {
    return nullptr;
  }
  constraint->TargetName = index.Name();
  constraint->TargetObjectID = index.ObjectID;
  for (const TABSIndexColumn& column : index.Columns) {
    constraint->Columns.push_back({column.FieldName, 0});
    name += "$" + column.FieldName;
  }
  constraint->SetName(name);
  return constraint;
}

TABSConstraintDef* TABSBaseConstraintManager::AddIndexConstraint(const TABSIndexDef& index) {
  std::unique_ptr<TABSConstraintDef> constraint = ConstraintForIndex(index);
  if (!constraint) return nullptr;
  constraint->ObjectID = table_->Database()->NextObjectID();
  constraint->TableName = table_->TableName();
  ResolveNames(*constraint);
  TABSConstraintDef* added = constraint.get();
  constraintDefs_.Add(std::move(constraint));
  return added;
}

void TABSBaseConstraintManager::DeleteIndexConstraint(int32_t indexObjectId) {
  for (int32_t i = 0; i < constraintDefs_.Count(); ++i) {
    if (IsKeyKind(constraintDefs_[i].Kind()) && constraintDefs_[i].TargetObjectID == indexObjectId) {
      constraintDefs_.Delete(i);
      return;
    }
  }
}

bool TABSBaseConstraintManager::Check(const uint8_t* record, TABSBaseSession* session,
                                      const TABSRecordAddress& address, bool isInsert, bool raise) {
  for (int32_t i = 0; i < constraintDefs_.Count(); ++i) {
    const TABSConstraintDef& constraint = constraintDefs_[i];
    bool passed = false;
    switch (constraint.Kind()) {
      case TABSConstraintKind::Primary:
      case TABSConstraintKind::Unique:
        passed = CheckUnique(static_cast<const TABSConstraintDefUnique&>(constraint), record, session,
                             address, isInsert, raise);
        break;
      case TABSConstraintKind::NotNull:
        passed = CheckNotNull(static_cast<const TABSConstraintDefNotNull&>(constraint), record, raise);
        break;
      case TABSConstraintKind::Check:
        passed = CheckRange(static_cast<const TABSConstraintDefCheck&>(constraint), record, raise);
        break;
      default:
        throw EABSException(msg::kNotImplementedYet.At(30036));
    }
    if (!passed) return false;
  }
  return true;
}

bool TABSBaseConstraintManager::CheckUnique(const TABSConstraintDefUnique& constraint, const uint8_t* record,
                                            TABSBaseSession* session, const TABSRecordAddress& address,
                                            bool isInsert, bool raise) {
  const bool primary = constraint.Kind() == TABSConstraintKind::Primary;
  if (primary) {
    const TABSFieldDefs& fields = FieldsOf(table_);
    bool allNull = true;
    std::string names;
    for (const TABSConstraintColumn& column : constraint.Columns) {
      const int32_t position = fields.IndexOfObjectID(column.FieldObjectID);
      if (position < 0) throw EABSException(msg::kFieldNumberNotFound.At(30329), column.FieldObjectID);
      if (!IsNullFlagSet(record, position)) allNull = false;
      names += (names.empty() ? "" : ",") + fields[position].Name();
    }
    if (allNull && !constraint.Columns.empty()) {
      if (raise) throw EABSException(msg::kConstraintNullPrimary, constraint.Name(), names);
      return false;
    }
  }
  TABSBaseRecordManager* records = table_->RecordManager();
  if (!records) throw EABSException(msg::kNilPointer);
  if (records->RecordCount <= 0) return true;
  if (!session) throw EABSException(msg::kNilPointer);
  const int32_t sessionNumber = session->SessionNumber();
  TABSIndex& index = IndexesOf(table_).GetIndex(constraint.TargetObjectID);
  bool free = false;
  if (isInsert) {
    free = index.KeyIsFree(sessionNumber, record);
  } else {
    // The record as stored, so that its own key does not count as a duplicate.
    std::vector<uint8_t> stored(static_cast<size_t>(FieldsOf(table_).RecordBufferSize()));
    TABSNavigationRecord navigation;
    navigation.Direction = TABSNavigationRecord::kCurrent;
    navigation.Address = address;
    navigation.Target = stored.data();
    records->Navigate(sessionNumber, navigation);
    free = navigation.Outcome == TABSNavigationRecord::kFound
               ? index.KeyIsFreeOnUpdate(sessionNumber, stored.data(), record)
               : index.KeyIsFree(sessionNumber, record);
  }
  if (free) return true;
  if (raise)
    throw EABSException(primary ? msg::kPrimaryKeyDuplicate : msg::kUniqueDuplicate, constraint.Name());
  return false;
}

bool TABSBaseConstraintManager::CheckNotNull(const TABSConstraintDefNotNull& constraint,
                                             const uint8_t* record, bool raise) {
  const TABSFieldDefs& fields = FieldsOf(table_);
  const int32_t position = fields.IndexOfObjectID(constraint.TargetObjectID);
  if (position < 0) throw EABSException(msg::kFieldNumberNotFound.At(30024), constraint.TargetObjectID);
  if (!IsNullFlagSet(record, position)) return true;
  if (raise) throw EABSException(msg::kConstraintNotNull, constraint.Name(), fields[position].Name());
  return false;
}

bool TABSBaseConstraintManager::CheckRange(const TABSConstraintDefCheck& constraint, const uint8_t* record,
                                           bool raise) {
  const TABSFieldDefs& fields = FieldsOf(table_);
  const int32_t position = fields.IndexOfObjectID(constraint.TargetObjectID);
  if (position < 0) throw EABSException(msg::kFieldNumberNotFound.At(30028), constraint.TargetObjectID);
  if (IsNullFlagSet(record, position)) return true;
  const TABSFieldDef& field = fields[position];
  const uint8_t* value = record + field.BufferOffset;
  auto compareBound = [&](const TABSVariant& bound) {
    return CompareRawValues(bound.GetData(), value, bound.GetType(), field.BaseType(), kUserDefaultLocale,
                            false, -1, false, false, bound.GetSize(), field.BufferSize());
  };
  if (!constraint.LowerBound.IsNull() && compareBound(constraint.LowerBound) == kCompareGreater) {
    if (raise)
      throw EABSException(msg::kCheckLowerBound, constraint.Name(), field.Name(),
                          constraint.LowerBound.GetAsString());
    return false;
  }
  if (!constraint.UpperBound.IsNull() && compareBound(constraint.UpperBound) == kCompareLess) {
    if (raise)
      throw EABSException(msg::kCheckUpperBound, constraint.Name(), field.Name(),
                          constraint.UpperBound.GetAsString());
    return false;
  }
  return true;
}

}  // namespace viz
