// Editing: edit, insert, append, post, cancel, delete, refresh and the browse-mode check, with their
// events and the error events' retry loop; whole-record helpers and the find and filter steps.
#include "framework/data/dataset.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "framework/data/exceptions.h"
#include "framework/data/messages.h"

namespace viz {

void TDataSet::CheckOperation(void (TDataSet::*operation)(), const TDataSetErrorEvent& errorEvent) {
  for (;;) {
    try {
      UpdateCursorPos();
      (this->*operation)();
      return;
    } catch (EDatabaseError& error) {
      TDataAction action = daFail;
      if (errorEvent) errorEvent(*this, error, action);
      if (action == daFail) throw;
      if (action == daAbort) Abort();
    }
  }
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode);
  switch (state_) {
    case dsEdit:
    case dsInsert:
      UpdateRecord();
      if (modified_) {
        Post();
      } else {
        Cancel();
      }
      break;
    case dsSetKey:
      Post();
      break;
    default:
      break;
  }
}

void TDataSet::UpdateRecord() {
  if (!IsEditState(state_)) DatabaseError(fmsg::kNotEditing, name_);
  DataEvent(deUpdateRecord);
}

void TDataSet::Edit() {
  if (state_ == dsEdit || state_ == dsInsert) return;
  CheckActive();
  if (recordCount_ == 0) return Insert();
  CheckBrowseMode();
  CheckCanModify();
  Fire(BeforeEdit);
  CheckOperation(&TDataSet::InternalEdit, OnEditError);
  GetCalcFields(ActiveBuffer());
  ResetBlobModified();
  SetState(dsEdit);
  DataEvent(deRecordChange);
  Fire(AfterEdit);
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  CheckCanModify();
  Fire(BeforeInsert);
  DoBeforeScroll();
}

void TDataSet::EndInsertAppend() {
  ResetBlobModified();
  SetState(dsInsert);
  try {
    DoOnNewRecord();
  } catch (...) {
    UpdateCursorPos();
    InternalCancel();
    SetState(dsBrowse);
    Resync(false, false);
    throw;
  }
  modified_ = false;
  DataEvent(deDataSetChange);
  Fire(AfterInsert);
  DoAfterScroll();
}

void TDataSet::Insert() {
  BeginInsertAppend();
  TBookmark before = GetBookmark();  // the record the new one goes in front of
  if (recordCount_ == 0) {
    InitRecord(buffers_[0]);
    SetBookmarkFlag(buffers_[0], bfBOF);
    ActivateBuffers();
  } else {
    MoveBuffer(recordCount_, activeRecord_);
    TRecordBuffer buffer = buffers_[activeRecord_];
    InitRecord(buffer);
    if (!before.empty()) SetBookmarkData(buffer, before.data());
    if (recordCount_ < bufferCount_) ++recordCount_;
  }
  CursorPosChanged();
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::Append() {
  BeginInsertAppend();
  ClearBuffers();
  InitRecord(buffers_[0]);
  SetBookmarkFlag(buffers_[0], bfEOF);
  recordCount_ = 1;
  bof_ = false;
  GetPriorRecords();
  InternalLast();
  CursorPosChanged();
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::Post() {
  UpdateRecord();
  switch (state_) {
    case dsEdit:
    case dsInsert:
      DataEvent(deCheckBrowseMode);
      Fire(BeforePost);
      CheckOperation(&TDataSet::InternalPost, OnPostError);
      SetState(dsBrowse);
      ResetBlobModified();
      Resync(false, false);
      Fire(AfterPost);
      break;
    case dsSetKey:
      PostKeyBuffer(true);
      break;
    default:
      break;
  }
}

void TDataSet::Cancel() {
  switch (state_) {
    case dsEdit:
    case dsInsert: {
      DataEvent(deCheckBrowseMode);
      Fire(BeforeCancel);
      bool wasInsert = state_ == dsInsert;
      if (wasInsert) DoBeforeScroll();
      UpdateCursorPos();
      InternalCancel();
      SetState(dsBrowse);
      ResetBlobModified();
      Resync(false, false);
      Fire(AfterCancel);
      if (wasInsert) DoAfterScroll();
      break;
    }
    case dsSetKey:
      PostKeyBuffer(false);
      break;
    default:
      break;
  }
}

void TDataSet::PostKeyBuffer(bool) {
  SetState(dsBrowse);
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == dsInsert || state_ == dsSetKey) return Cancel();
  if (recordCount_ == 0) DatabaseError(fmsg::kDataSetEmpty, name_);
  DataEvent(deCheckBrowseMode);
  Fire(BeforeDelete);
  DoBeforeScroll();
  CheckOperation(&TDataSet::InternalDelete, OnDeleteError);
  SetState(dsBrowse);
  Resync(false, false);
  Fire(AfterDelete);
  DoAfterScroll();
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  UpdateCursorPos();
  InternalRefresh();
  Resync(false, false);
}

void TDataSet::SetFields(const std::vector<Variant>& values) {
  for (size_t index = 0; index < values.size() && index < static_cast<size_t>(FieldCount()); ++index) {
    if (!values[index].IsEmpty()) fields_[static_cast<int>(index)].SetAsVariant(values[index]);
  }
}

void TDataSet::InsertRecord(const std::vector<Variant>& values) {
  Insert();
  SetFields(values);
  Post();
}

void TDataSet::AppendRecord(const std::vector<Variant>& values) {
  Append();
  SetFields(values);
  Post();
}

void TDataSet::SetFieldText(TField& field, const void* text, size_t length) {
  // The field's native form: the text cut to Size characters and terminated, zeros after it.
  const size_t unit = field.DataType() == ftWideString ? 2 : 1;
  const size_t characters = std::min<size_t>(length, static_cast<size_t>(std::max(field.Size(), 0)));
  std::vector<char> buffer(std::max<size_t>(static_cast<size_t>(field.DataSize()), (characters + 1) * unit), '\0');
  if (characters > 0) std::memcpy(buffer.data(), text, characters * unit);
  SetFieldData(field, buffer.data());
}

bool TDataSet::DoFind(bool restart, bool goForward) {
  CheckActive();
  found_ = FindRecord(restart, goForward);
  return found_;
}

bool TDataSet::RunFilterHandler(TRecordBuffer buffer) {
  if (!onFilterRecord_) return true;
  TTempState filtering(*this, dsFilter, buffer);
  bool accept = true;
  try {
    onFilterRecord_(*this, accept);
  } catch (...) {
    HandleApplicationError();
  }
  return accept;
}

}  // namespace viz
