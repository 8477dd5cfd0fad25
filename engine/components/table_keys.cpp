// TABSTable: key search, ranges and master/detail on the active index.
//
// Six key buffers: 0 the lookup key, 1 and 2 the range start and end being edited, 3 and 4 the
// range in force, 5 the copy of the key being edited (for a cancel). Each is a record buffer whose
// field data area holds the key values, followed by the modified byte (a field was written), the
// exclusive byte and the 32-bit count of key fields (0 = every index field).
#include <algorithm>
#include <cstring>
#include <functional>

#include "engine/components/table.h"
#include "engine/types/errors.h"
#include "framework/data/exceptions.h"
#include "framework/data/messages.h"

namespace viz {

namespace {

// Table lock kind 1 (read), and the tries of the moves after a search or a range change.
constexpr uint8_t kReadLockKind = 1;
constexpr int kMoveLockAttempts = 900;
constexpr int kMoveLockPauseMs = 100;

}  // namespace

// ---- Key buffers

int32_t TABSTable::KeySize() const {
  return Cursor() ? Cursor()->DataSize() + 6 : 0;
}

int32_t TABSTable::KeyCountOf(int no) const {
  int32_t count;
  std::memcpy(&count, keys_[static_cast<size_t>(no)].data() + Cursor()->DataSize() + 2, 4);
  return count;
}

void TABSTable::InitKeyBuffer(int no) {
  std::vector<uint8_t>& key = keys_[static_cast<size_t>(no)];
  Cursor()->InitRecordBuffer(key.data(), false);
  std::fill(key.begin() + Cursor()->DataSize(), key.end(), 0);
  cutFields_[static_cast<size_t>(no)].clear();
}

void TABSTable::CopyKeyBuffer(int from, int to) {
  // In place: the buffer being edited is the dataset's state buffer.
  const std::vector<uint8_t>& source = keys_[static_cast<size_t>(from)];
  std::copy(source.begin(), source.end(), keys_[static_cast<size_t>(to)].begin());
  cutFields_[static_cast<size_t>(to)] = cutFields_[static_cast<size_t>(from)];
}

void TABSTable::ResetKeys() {
  // A record buffer in size, so that the fields can read a key as they read a record.
  const size_t size = static_cast<size_t>(Cursor()->RecordBufferSize() + CalcFieldsSize());
  for (int no = 0; no < kKeyBuffers; ++no) {
    keys_[static_cast<size_t>(no)].assign(size, 0);
    InitKeyBuffer(no);
  }
  editingKey_ = -1;
  Cursor()->ClearRange();
  if (LoadMasterRange()) SetCursorRange();
}

TField& TABSTable::IndexField(size_t index) const {
  if (index >= indexColumns_.size()) Error(msg::kFieldIndexOutOfRange);
  TField* field = FindField(indexColumns_[index]);
  if (!field) DatabaseErrorFmt(msg::kCannotAccessIndexField, {indexColumns_[index]}, Name());
  return *field;
}

void TABSTable::LoadKeyBuffer(int no, const std::vector<Variant>& values) {
  if (indexColumns_.empty()) Error(msg::kNoIndexActive);
  uint8_t* key = KeyBuffer(no);
  {
    TTempState setKey(*this, dsSetKey, key);
    InitKeyBuffer(no);
    for (size_t index = 0; index < values.size(); ++index) IndexField(index).SetAsVariant(values[index]);
  }
  const int32_t count = static_cast<int32_t>(values.size());
  const int32_t dataSize = Cursor()->DataSize();
  key[dataSize] = values.empty() ? 0 : 1;
  std::memcpy(key + dataSize + 2, &count, 4);
}

void TABSTable::EditKeyBuffer(int no, bool clear) {
  CheckBrowseMode();
  if (indexColumns_.empty()) Error(msg::kNoIndexActive);
  CopyKeyBuffer(no, kSavedKey);
  if (clear) InitKeyBuffer(no);
  editingKey_ = no;
  editingKeyModified_ = KeyBuffer(no)[Cursor()->DataSize()] != 0;
  SetState(dsSetKey, KeyBuffer(no));
  DataEvent(deDataSetChange);
}

void TABSTable::PostKeyBuffer(bool commit) {
  DataEvent(deCheckBrowseMode);
  if (editingKey_ >= 0) {
    if (commit) {
      KeyBuffer(editingKey_)[Cursor()->DataSize()] = editingKeyModified_ || Modified() ? 1 : 0;
    } else {
      CopyKeyBuffer(kSavedKey, editingKey_);
    }
  }
  editingKey_ = -1;
  SetState(dsBrowse);
  DataEvent(deDataSetChange);
}

int TABSTable::KeyBufferInUse() {
  TRecordBuffer buffer = GetActiveRecordBuffer();
  for (int no = 0; no < kKeyBuffers; ++no)
    if (buffer && buffer == keys_[static_cast<size_t>(no)].data()) return no;
  return -1;
}

void TABSTable::SetFieldData(TField& field, const void* buffer) {
  if (State() == dsSetKey && field.FieldKind() == fkData) {
    if (std::find(indexFields_.begin(), indexFields_.end(), field.FieldNo()) == indexFields_.end())
      throw EABSException(msg::kFieldNotInCurrentIndex, field.FieldName());
    if (const int no = KeyBufferInUse(); no >= 0) cutFields_[static_cast<size_t>(no)].erase(field.FieldNo());
  }
  TABSDataSet::SetFieldData(field, buffer);
}

void TABSTable::SetFieldText(TField& field, const void* text, size_t length) {
  if (State() != dsSetKey || field.FieldKind() != fkData) return TABSDataSet::SetFieldText(field, text, length);
  // A key is cut to the field, as a stored value would have to be; no stored value can equal the
  // whole text, which the equal search remembers.
  TDataSet::SetFieldText(field, text, length);
  const int no = KeyBufferInUse();
  if (no >= 0 && length > static_cast<size_t>(std::max(field.Size(), 0)))
    cutFields_[static_cast<size_t>(no)].insert(field.FieldNo());
}

// ---- Key search

void TABSTable::SetKey() {
  EditKeyBuffer(kLookupKey, true);
}

void TABSTable::EditKey() {
  EditKeyBuffer(kLookupKey, false);
}

int TABSTable::KeyFieldCount() const {
  if (State() != dsSetKey || editingKey_ < 0) DatabaseError(fmsg::kNotEditing, Name());
  return KeyCountOf(editingKey_);
}

void TABSTable::SetKeyFieldCount(int count) {
  if (State() != dsSetKey || editingKey_ < 0) DatabaseError(fmsg::kNotEditing, Name());
  const int32_t value = std::max(count, 0);
  std::memcpy(KeyBuffer(editingKey_) + Cursor()->DataSize() + 2, &value, 4);
}

bool TABSTable::KeyExclusive() const {
  if (State() != dsSetKey || editingKey_ < 0) DatabaseError(fmsg::kNotEditing, Name());
  return keys_[static_cast<size_t>(editingKey_)][static_cast<size_t>(Cursor()->DataSize()) + 1] != 0;
}

void TABSTable::SetKeyExclusive(bool exclusive) {
  if (State() != dsSetKey || editingKey_ < 0) DatabaseError(fmsg::kNotEditing, Name());
  KeyBuffer(editingKey_)[Cursor()->DataSize() + 1] = exclusive ? 1 : 0;
}

bool TABSTable::SearchKey(TABSScanOperator op) {
  if (indexColumns_.empty()) Error(msg::kNoIndexActive);
  TABSLocalCursor& cursor = CheckedCursor(10450);
  const int32_t stored = KeyCountOf(kLookupKey);
  const int32_t count = stored > 0 ? std::min<int32_t>(stored, static_cast<int32_t>(indexColumns_.size()))
                                   : static_cast<int32_t>(indexColumns_.size());
  if (op == soEqual) {
    // A key text cut to its field equals no stored value.
    for (int32_t index = 0; index < count; ++index) {
      const TField* field = FindField(indexColumns_[static_cast<size_t>(index)]);
      if (field && cutFields_[kLookupKey].count(field->FieldNo())) return false;
    }
  }
  return cursor.FindKey(KeyBuffer(kLookupKey), count, op);
}

void TABSTable::WithReadLock(const std::function<void()>& move) {
  TABSLocalCursor& cursor = CheckedCursor(10451);
  // The moves read several records: one read lock over them when it can be had.
  const bool locked = cursor.LockTable(kReadLockKind, kMoveLockAttempts, kMoveLockPauseMs);
  struct Unlock {
    TABSLocalCursor& cursor;
    bool locked;
    ~Unlock() {
      if (!locked) return;
      try {
        cursor.UnlockTable(kReadLockKind);
      } catch (const Exception&) {
        // The byte goes with the session's other locks at disconnect.
      }
    }
  } unlock{cursor, locked};
  move();
}

bool TABSTable::SeekKey() {
  CheckBrowseMode();
  DoBeforeScroll();
  CursorPosChanged();
  if (!SearchKey(soEqual)) return false;
  WithReadLock([this] { Resync(true, true); });
  DoAfterScroll();
  return true;
}

bool TABSTable::GotoKey() {
  CheckActive();
  return SeekKey();
}

void TABSTable::GotoNearest() {
  CheckBrowseMode();
  const bool exclusive = keys_[kLookupKey][static_cast<size_t>(Cursor()->DataSize()) + 1] != 0;
  DoBeforeScroll();
  CursorPosChanged();
  const bool found = SearchKey(exclusive ? soGreater : soGreaterOrEqual);
  // Nothing at or after the key: the last record.
  if (!found) Cursor()->GoAfterLast();
  WithReadLock([&] { Resync(found, true); });
  DoAfterScroll();
}

bool TABSTable::FindKey(const std::vector<Variant>& values) {
  return SeekKeyValues(values);
}

void TABSTable::FindNearest(const std::vector<Variant>& values) {
  CheckBrowseMode();
  LoadKeyBuffer(kLookupKey, values);
  GotoNearest();
}

bool TABSTable::SeekKeyValues(const std::vector<Variant>& values) {
  CheckBrowseMode();
  LoadKeyBuffer(kLookupKey, values);
  return SeekKey();
}

// ---- Ranges

void TABSTable::SetRangeStart() {
  EditKeyBuffer(kRangeStart, true);
}

void TABSTable::SetRangeEnd() {
  EditKeyBuffer(kRangeEnd, true);
}

void TABSTable::EditRangeStart() {
  EditKeyBuffer(kRangeStart, false);
}

void TABSTable::EditRangeEnd() {
  EditKeyBuffer(kRangeEnd, false);
}

bool TABSTable::SetCursorRange() {
  const size_t size = static_cast<size_t>(KeySize());
  if (std::memcmp(KeyBuffer(kRangeStart), KeyBuffer(kStartInForce), size) == 0 &&
      std::memcmp(KeyBuffer(kRangeEnd), KeyBuffer(kEndInForce), size) == 0)
    return false;
  const int32_t dataSize = Cursor()->DataSize();
  const uint8_t* start = KeyBuffer(kRangeStart);
  const uint8_t* end = KeyBuffer(kRangeEnd);
  // A key no field was written to leaves its end open.
  Cursor()->SetRange(start[dataSize] ? start : nullptr, KeyCountOf(kRangeStart), start[dataSize + 1] != 0,
                     end[dataSize] ? end : nullptr, KeyCountOf(kRangeEnd), end[dataSize + 1] != 0);
  CopyKeyBuffer(kRangeStart, kStartInForce);
  CopyKeyBuffer(kRangeEnd, kEndInForce);
  return true;
}

void TABSTable::EnforceRange() {
  CheckBrowseMode();
  if (indexColumns_.empty()) Error(msg::kNoIndexActive);
  if (SetCursorRange()) WithReadLock([this] { First(); });
}

void TABSTable::DropRange() {
  CheckBrowseMode();
  TABSLocalCursor& cursor = CheckedCursor(10452);
  const int32_t dataSize = cursor.DataSize();
  if (!KeyBuffer(kStartInForce)[dataSize] && !KeyBuffer(kEndInForce)[dataSize]) {
    cursor.ClearRange();
    return;
  }
  UpdateCursorPos();
  InitKeyBuffer(kStartInForce);
  InitKeyBuffer(kEndInForce);
  cursor.ClearRange();
  WithReadLock([this] { Resync(false, false); });
}

void TABSTable::ApplyRange() {
  EnforceRange();
}

void TABSTable::CancelRange() {
  DropRange();
}

void TABSTable::SetRange(const std::vector<Variant>& startValues, const std::vector<Variant>& endValues) {
  CheckBrowseMode();
  LoadKeyBuffer(kRangeStart, startValues);
  LoadKeyBuffer(kRangeEnd, endValues);
  EnforceRange();
}

// ---- Master/detail

void TABSTable::SetMasterSource(TDataSource* source) {
  if (source && source->IsLinkedTo(this)) Error(fmsg::kCircularDataLink);
  masterLink_->SetDataSource(source);
}

void TABSTable::SetMasterFields(const std::string& names) {
  masterLink_->SetFieldNames(names);
}

bool TABSTable::LoadMasterRange() {
  if (!masterLink_->Active() || masterLink_->Fields().empty()) return false;
  std::vector<Variant> values;
  for (TField* field : masterLink_->Fields()) values.push_back(field->AsVariant());
  LoadKeyBuffer(kRangeStart, values);
  // The master's record has no range end of its own: start and end are the same key.
  KeyBuffer(kRangeStart)[Cursor()->DataSize()] = 1;
  CopyKeyBuffer(kRangeStart, kRangeEnd);
  return true;
}

void TABSTable::MasterChanged() {
  if (!Active() || !Cursor()) return;
  CheckBrowseMode();
  if (LoadMasterRange()) EnforceRange();
}

void TABSTable::MasterDisabled() {
  if (!Active() || !Cursor()) return;
  DropRange();
}

void TABSTable::DoOnNewRecord() {
  if (masterLink_->Active() && !masterLink_->Fields().empty()) {
    const std::vector<TField*>& masters = masterLink_->Fields();
    for (size_t index = 0; index < masters.size(); ++index)
      IndexField(index).SetAsVariant(masters[index]->AsVariant());
  }
  TABSDataSet::DoOnNewRecord();
}

}  // namespace viz
