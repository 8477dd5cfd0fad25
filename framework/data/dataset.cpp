// The dataset core: opening and closing, states, events to the data sources, and the fields.
#include "framework/data/dataset.h"

#include <algorithm>
#include <cassert>

#include "framework/data/blob_field.h"
#include "framework/data/data_source.h"
#include "framework/data/exceptions.h"
#include "framework/data/messages.h"

namespace viz {

TField* TFields::FindField(const std::string& name) const {
  for (const auto& field : fields_) {
    if (SameName(field->FieldName(), name)) return field.get();
  }
  return nullptr;
}

TDataSet::TDataSet() = default;

TDataSet::~TDataSet() {
  // The descendant's destructor closed the dataset: its hooks cannot run from here.
  assert(buffers_.empty());
  for (TDataSource* source : std::vector<TDataSource*>(dataSources_)) source->SetDataSet(nullptr);
}

void TDataSet::SetName(std::string name) {
  name_ = std::move(name);
  fieldDefs_.SetOwnerName(name_);
}

// ---- Opening and closing

void TDataSet::SetActive(bool active) {
  if (active == Active()) return;
  if (active) {
    Fire(BeforeOpen);
    OpenCursor();
    SetState(dsBrowse);
    Fire(AfterOpen);
    if (!IsEmpty()) DoAfterScroll();
  } else {
    Fire(BeforeClose);
    // A record being edited is given up through the descendant's cancel step, so that whatever it
    // holds for the edit (locks, cached BLOB data) does not outlive the close.
    if (state_ == dsEdit || state_ == dsInsert) InternalCancel();
    SetState(dsInactive);
    CloseCursor();
    Fire(AfterClose);
  }
}

void TDataSet::OpenCursor() {
  defaultFields_ = fields_.Count() == 0;
  try {
    InternalOpen();
    AllocateBuffers(LinkBufferCount());
    ClearBuffers();
    GetNextRecords();
    bof_ = true;
    eof_ = recordCount_ == 0;
  } catch (...) {
    FreeBuffers();
    if (IsCursorOpen()) {
      try {
        InternalClose();
      } catch (...) {
      }
    }
    BindFields(false);
    if (defaultFields_) fields_.fields_.clear();
    defaultFields_ = false;
    throw;
  }
}

void TDataSet::CloseCursor() {
  struct Cleanup {
    TDataSet& dataSet;
    ~Cleanup() {
      dataSet.FreeBuffers();
      dataSet.BindFields(false);
      if (dataSet.defaultFields_) dataSet.fields_.fields_.clear();
      dataSet.defaultFields_ = false;
      dataSet.ClearBuffers();
    }
  } cleanup{*this};
  InternalClose();
}

// ---- States and events

void TDataSet::SetState(TDataSetState state, TRecordBuffer stateBuffer) {
  stateBuffer_ = stateBuffer;
  if (state_ == state) return;
  state_ = state;
  modified_ = false;
  DataEvent(deUpdateState);
}

TDataSet::TTempState::TTempState(TDataSet& dataSet, TDataSetState state, TRecordBuffer buffer)
    : dataSet_(dataSet), oldState_(dataSet.state_), oldBuffer_(dataSet.stateBuffer_) {
  dataSet_.state_ = state;
  dataSet_.stateBuffer_ = buffer;
  ++dataSet_.tempStateDepth_;
}

TDataSet::TTempState::~TTempState() {
  dataSet_.state_ = oldState_;
  dataSet_.stateBuffer_ = oldBuffer_;
  --dataSet_.tempStateDepth_;
}

TRecordBuffer TDataSet::GetActiveRecordBuffer() {
  switch (state_) {
    case dsInactive:
      return nullptr;
    case dsBrowse:
    case dsEdit:
    case dsInsert:
      return ActiveBuffer();
    default:
      return stateBuffer_ ? stateBuffer_ : ActiveBuffer();
  }
}

void TDataSet::DataEvent(TDataEvent event, intptr_t info) {
  if (event == deFieldChange) {
    auto* field = reinterpret_cast<TField*>(info);
    if (field && field->FieldKind() == fkData) {
      modified_ = true;
      // Calculated fields follow the record being edited; controls then re-read the whole record.
      if (autoCalcFields_ && hasCalcFields_ && (state_ == dsEdit || state_ == dsInsert) && ActiveBuffer()) {
        GetCalcFields(ActiveBuffer());
        event = deRecordChange;
        info = 0;
      }
    }
  }
  if (tempStateDepth_ > 0) return;
  if (disableCount_ == 0) {
    NotifySources(event, info);
  } else if (event == deLayoutChange || (event == deUpdateState && state_ == dsInactive)) {
    enableEvent_ = deLayoutChange;
  }
}

void TDataSet::NotifySources(TDataEvent event, intptr_t info) {
  // A handler may attach or detach sources; those it adds hear from the next event on.
  for (TDataSource* source : std::vector<TDataSource*>(dataSources_)) {
    if (std::find(dataSources_.begin(), dataSources_.end(), source) != dataSources_.end())
      source->DataEvent(event, info);
  }
}

void TDataSet::DisableControls() {
  if (disableCount_ == 0) {
    disableState_ = state_;
    enableEvent_ = deDataSetChange;
  }
  ++disableCount_;
}

void TDataSet::EnableControls() {
  if (disableCount_ == 0) return;
  if (--disableCount_ > 0) return;
  if (disableState_ != state_) DataEvent(deUpdateState);
  if (disableState_ != dsInactive && state_ != dsInactive) DataEvent(enableEvent_);
}

// ---- Checks

void TDataSet::CheckActive() const {
  if (!Active()) DatabaseError(fmsg::kDataSetClosed, name_);
}

void TDataSet::CheckInactive() const {
  if (Active()) DatabaseError(fmsg::kDataSetOpen, name_);
}

void TDataSet::CheckCanModify() const {
  if (!CanModify()) DatabaseError(fmsg::kDataSetReadOnly, name_);
}

void TDataSet::CheckRequiredFields() {
  for (const auto& field : fields_.fields_) {
    if (field->Required() && !field->ReadOnly() && field->FieldKind() == fkData && field->IsNull())
      DatabaseErrorFmt(fmsg::kFieldRequired, {field->DisplayName()}, name_);
  }
}

// ---- Fields

TField& TDataSet::FieldByName(const std::string& name) const {
  TField* field = fields_.FindField(name);
  if (!field) DatabaseErrorFmt(fmsg::kFieldNotFound, {name}, name_);
  return *field;
}

TField* TDataSet::FieldByNumber(int fieldNo) const {
  for (const auto& field : fields_.fields_) {
    if (field->FieldNo() == fieldNo && field->FieldKind() == fkData) return field.get();
  }
  return nullptr;
}

std::vector<TField*> TDataSet::GetFieldList(const std::string& names) const {
  std::vector<TField*> list;
  for (const std::string& name : SplitFieldNames(names)) list.push_back(&FieldByName(name));
  return list;
}

TField& TDataSet::AddField(std::unique_ptr<TField> field) {
  CheckInactive();
  if (fields_.FindField(field->FieldName()))
    DatabaseErrorFmt(fmsg::kDuplicateFieldName, {field->FieldName()}, name_);
  field->dataSet_ = this;
  field->index_ = fields_.Count();
  fields_.fields_.push_back(std::move(field));
  return *fields_.fields_.back();
}

TField& TDataSet::AddField(TFieldType type, const std::string& name, int size, TFieldKind kind) {
  std::unique_ptr<TField> field = CreateField(type, name, size);
  field->SetFieldKind(kind);
  return AddField(std::move(field));
}

void TDataSet::RemoveField(TField& field) {
  CheckInactive();
  auto& list = fields_.fields_;
  auto found = std::find_if(list.begin(), list.end(), [&](const auto& item) { return item.get() == &field; });
  if (found == list.end()) return;
  list.erase(found);
  for (int index = 0; index < fields_.Count(); ++index) list[index]->index_ = index;
}

void TDataSet::CreateFields() {
  for (int index = 0; index < fieldDefs_.Count(); ++index) {
    const TFieldDef& def = fieldDefs_[index];
    std::unique_ptr<TField> field = CreateField(def.DataType, def.Name, def.Size);
    field->SetRequired(def.Required);
    field->dataSet_ = this;
    field->index_ = fields_.Count();
    fields_.fields_.push_back(std::move(field));
  }
}

void TDataSet::BindFields(bool binding) {
  calcFieldsSize_ = 0;
  hasCalcFields_ = false;
  for (const auto& field : fields_.fields_) {
    field->fieldNo_ = -1;
    field->offset_ = 0;
    if (!binding) continue;
    if (field->FieldKind() == fkData) {
      int index = fieldDefs_.IndexOf(field->FieldName());
      if (index < 0) DatabaseErrorFmt(fmsg::kFieldNotFound, {field->FieldName()}, name_);
      field->fieldNo_ = fieldDefs_[index].FieldNo;
    } else {
      field->offset_ = calcFieldsSize_;
      calcFieldsSize_ += field->DataSize() + 1;
      hasCalcFields_ = true;
    }
  }
}

void TDataSet::GetCalcFields(TRecordBuffer buffer) {
  if (!hasCalcFields_) return;
  TTempState calculating(*this, dsCalcFields, buffer);
  ClearCalcFields(buffer);
  CalculateLookupFields();
  Fire(OnCalcFields);
}

void TDataSet::CalculateLookupFields() {
  for (const auto& field : fields_.fields_) {
    TDataSet* source = field->LookupDataSet();
    if (field->FieldKind() != fkLookup || !source || !source->Active()) continue;
    std::vector<Variant> keys;
    for (TField* keyField : GetFieldList(field->KeyFields())) keys.push_back(keyField->AsVariant());
    std::vector<Variant> result = source->Lookup(field->LookupKeyFields(), keys, field->LookupResultField());
    if (!result.empty()) field->SetAsVariant(result.front());
  }
}

void TDataSet::ResetBlobModified() {
  for (const auto& field : fields_.fields_) {
    if (field->IsBlobField()) static_cast<TBlobField*>(field.get())->SetModified(false);
  }
}

}  // namespace viz
