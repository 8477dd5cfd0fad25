#include "framework/data/data_source.h"

#include <algorithm>

#include "framework/data/dataset.h"
#include "framework/data/exceptions.h"
#include "framework/data/messages.h"

namespace viz {

// ---- TDataSource

TDataSource::~TDataSource() {
  SetDataSet(nullptr);
  for (TDataLink* link : std::vector<TDataLink*>(links_)) link->Detach();
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
  if (dataSet == dataSet_) return;
  // The new dataset must not follow this source, directly or through its masters.
  TDataSource* master = dataSet ? dataSet->GetDataSource() : nullptr;
  for (int depth = 0; master && depth < 1000; ++depth) {
    if (master == this) DatabaseError(fmsg::kCircularDataLink, name_);
    master = master->DataSet() ? master->DataSet()->GetDataSource() : nullptr;
  }
  if (dataSet_) {
    auto& sources = dataSet_->dataSources_;
    sources.erase(std::remove(sources.begin(), sources.end(), this), sources.end());
    dataSet_->UpdateBufferCount();
  }
  dataSet_ = dataSet;
  if (dataSet_) {
    dataSet_->dataSources_.push_back(this);
    dataSet_->UpdateBufferCount();
  }
  DataEvent(deUpdateState, 0);
}

void TDataSource::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  DataEvent(deUpdateState, 0);
}

TDataSetState TDataSource::State() const {
  return dataSet_ && enabled_ ? dataSet_->State() : dsInactive;
}

void TDataSource::Edit() {
  if (autoEdit_ && State() == dsBrowse) dataSet_->Edit();
}

bool TDataSource::IsLinkedTo(const TDataSet* dataSet) const {
  const TDataSource* source = this;
  for (int depth = 0; source && source->dataSet_ && depth < 1000; ++depth) {
    if (source->dataSet_ == dataSet) return true;
    source = source->dataSet_->GetDataSource();
  }
  return false;
}

void TDataSource::DataEvent(TDataEvent event, intptr_t info) {
  if (event == deUpdateState) {
    NotifyLinks(event, info);
    if (State() != lastState_) {
      lastState_ = State();
      if (OnStateChange) OnStateChange(*this);
    }
    return;
  }
  if (!enabled_) return;
  NotifyLinks(event, info);
  switch (event) {
    case deFieldChange:
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
      if (OnDataChange)
        OnDataChange(*this, event == deFieldChange ? reinterpret_cast<TField*>(info) : nullptr);
      break;
    case deUpdateRecord:
      if (OnUpdateData) OnUpdateData(*this);
      break;
    default:
      break;
  }
}

void TDataSource::NotifyLinks(TDataEvent event, intptr_t info) {
  for (TDataLink* link : std::vector<TDataLink*>(links_)) {
    if (std::find(links_.begin(), links_.end(), link) != links_.end()) link->DataEvent(event, info);
  }
}

void TDataSource::AddLink(TDataLink* link) {
  links_.push_back(link);
  if (dataSet_) dataSet_->UpdateBufferCount();
}

void TDataSource::RemoveLink(TDataLink* link) {
  links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
  if (dataSet_) dataSet_->UpdateBufferCount();
}

// ---- TDataLink

TDataLink::~TDataLink() {
  if (dataSource_) dataSource_->RemoveLink(this);
}

void TDataLink::Detach() {
  dataSource_ = nullptr;
  UpdateState();
}

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == dataSource_) return;
  if (dataSource_) dataSource_->RemoveLink(this);
  dataSource_ = source;
  if (dataSource_) dataSource_->AddLink(this);
  UpdateState();
}

TDataSet* TDataLink::DataSet() const {
  return dataSource_ ? dataSource_->DataSet() : nullptr;
}

void TDataLink::SetReadOnly(bool readOnly) {
  if (readOnly_ == readOnly) return;
  readOnly_ = readOnly;
  UpdateState();
}

void TDataLink::SetBufferCount(int count) {
  count = std::max(count, 1);
  if (bufferCount_ == count) return;
  bufferCount_ = count;
  if (TDataSet* dataSet = DataSet()) {
    dataSet->UpdateBufferCount();
    if (active_) UpdateRange();
  }
}

// A link that is leaving its source is still active while it hears the edit end, but has no dataset
// any more: the accessors answer as for an inactive link then.
int TDataLink::RecordCount() const {
  if (!active_ || !DataSet()) return 0;
  return std::clamp(DataSet()->recordCount_ - firstRecord_, 0, bufferCount_);
}

int TDataLink::ActiveRecord() const {
  if (!active_ || !DataSet()) return 0;
  return DataSet()->activeRecord_ - firstRecord_;
}

void TDataLink::SetActiveRecord(int row) {
  if (!active_ || !DataSet()) return;
  TDataSet* dataSet = DataSet();
  dataSet->activeRecord_ = std::clamp(row + firstRecord_, 0, std::max(dataSet->recordCount_ - 1, 0));
}

bool TDataLink::Bof() const {
  return !active_ || !DataSet() || DataSet()->Bof();
}

bool TDataLink::Eof() const {
  return !active_ || !DataSet() || DataSet()->Eof();
}

bool TDataLink::Edit() {
  if (!readOnly_ && dataSource_) dataSource_->Edit();
  return editing_;
}

void TDataLink::UpdateRecord() {
  if (updating_) return;
  updating_ = true;
  try {
    UpdateData();
  } catch (...) {
    updating_ = false;
    throw;
  }
  updating_ = false;
}

void TDataLink::UpdateState() {
  TDataSet* dataSet = DataSet();
  bool active = dataSource_ && dataSource_->Enabled() && dataSet && dataSet->Active();
  bool editing = active && !readOnly_ && IsEditState(dataSet->State());
  if (active != active_ && !active) {
    if (editing_) {
      editing_ = false;
      EditingChanged();
    }
    active_ = false;
    firstRecord_ = 0;
    ActiveChanged();
    return;
  }
  if (active != active_) {
    active_ = true;
    firstRecord_ = 0;
    UpdateRange();
    ActiveChanged();
  }
  if (editing != editing_) {
    editing_ = editing;
    EditingChanged();
  }
}

void TDataLink::UpdateRange() {
  const TDataSet* dataSet = DataSet();
  int active = dataSet->activeRecord_;
  int lowest = std::max(0, active - bufferCount_ + 1);
  int highest = std::min(active, std::max(0, dataSet->recordCount_ - bufferCount_));
  firstRecord_ = std::clamp(firstRecord_, lowest, std::max(lowest, highest));
}

void TDataLink::DataEvent(TDataEvent event, intptr_t info) {
  if (event == deUpdateState) return UpdateState();
  if (!active_) return;
  switch (event) {
    case deFieldChange:
      if (!updating_) RecordChanged(reinterpret_cast<TField*>(info));
      break;
    case deRecordChange:
      if (!updating_) RecordChanged(nullptr);
      break;
    case deDataSetChange:
      UpdateRange();
      DataSetChanged();
      break;
    case deDataSetScroll: {
      // The view's first record moved up by the shift; where the view stands now, in records.
      int formerTop = firstRecord_ - static_cast<int>(info);
      firstRecord_ = formerTop;
      UpdateRange();
      DataSetScrolled(firstRecord_ - formerTop);
      break;
    }
    case deLayoutChange:
      UpdateRange();
      LayoutChanged();
      break;
    case deUpdateRecord:
      UpdateRecord();
      break;
    case deCheckBrowseMode:
      CheckBrowseMode();
      break;
    default:
      break;
  }
}

// ---- TFieldDataLink

void TFieldDataLink::SetFieldName(std::string name) {
  if (fieldName_ == name) return;
  fieldName_ = std::move(name);
  UpdateField();
}

bool TFieldDataLink::CanModify() const {
  return !ReadOnly() && field_ && field_->CanModify();
}

void TFieldDataLink::Reset() {
  modified_ = false;
  if (OnDataChange) OnDataChange();
}

void TFieldDataLink::UpdateField() {
  field_ = Active() && !fieldName_.empty() ? DataSet()->FindField(fieldName_) : nullptr;
  if (OnActiveChange) OnActiveChange();
  Reset();
}

void TFieldDataLink::ActiveChanged() {
  UpdateField();
}

void TFieldDataLink::LayoutChanged() {
  UpdateField();
}

void TFieldDataLink::EditingChanged() {
  if (OnEditingChange) OnEditingChange();
}

void TFieldDataLink::RecordChanged(TField* field) {
  if (field && field != field_) return;
  Reset();
}

void TFieldDataLink::UpdateData() {
  if (!modified_) return;
  if (field_ && OnUpdateData) OnUpdateData();
  modified_ = false;
}

// ---- TMasterDataLink

void TMasterDataLink::SetFieldNames(std::string names) {
  fieldNames_ = std::move(names);
  if (Active()) ActiveChanged();
}

void TMasterDataLink::ActiveChanged() {
  fields_.clear();
  if (Active()) {
    fields_ = DataSet()->GetFieldList(fieldNames_);
    if (OnMasterChange) OnMasterChange();
  } else if (OnMasterDisable) {
    OnMasterDisable();
  }
}

void TMasterDataLink::RecordChanged(TField* field) {
  if (DataSet()->State() == dsSetKey) return;
  if (field && std::find(fields_.begin(), fields_.end(), field) == fields_.end()) return;
  if (OnMasterChange) OnMasterChange();
}

}  // namespace viz
