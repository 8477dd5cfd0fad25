#include "engine/components/dataset.h"

#include <algorithm>
#include <cstring>

#include "engine/components/component_owner.h"
#include "engine/components/database.h"
#include "engine/components/engine_error.h"
#include "engine/components/engine_manager.h"
#include "engine/components/local_session.h"
#include "engine/components/session.h"
#include "engine/platform/text.h"
#include "engine/tables/name_compare.h"
#include "engine/types/date_time.h"
#include "engine/types/errors.h"
#include "framework/data/blob_field.h"
#include "framework/data/date_time.h"
#include "framework/data/exceptions.h"
#include "framework/data/text_values.h"

namespace viz {

TABSDataSet::TABSDataSet(TABSComponentOwner* owner) : owner_(owner) {
  if (owner_) owner_->dataSets_.push_back(this);
}

TABSDataSet::~TABSDataSet() {
  if (owner_) TABSComponentOwner::Remove(owner_->dataSets_, this);
}

void TABSDataSet::Error(const std::string& message) const {
  DatabaseError(message, Name());
}

std::string TABSDataSet::CurrentVersion() const {
  return kEngineVersion;
}

void TABSDataSet::SetSessionName(const std::string& name) {
  if (name == sessionName_) return;
  CheckInactive();
  sessionName_ = name;
}

void TABSDataSet::SetDatabaseName(const std::string& name) {
  if (name == databaseName_) return;
  if (Active() || (database_ && database_->Connected())) Error(msg::kOperationOnOpenDatabase);
  databaseName_ = name;
  inMemory_ = SameName(name, kMemoryDatabaseAlias);
}

void TABSDataSet::SetInMemory(bool value) {
  if (value) {
    SetDatabaseName(kMemoryDatabaseAlias);
  } else {
    inMemory_ = false;
  }
}

void TABSDataSet::SetReadOnly(bool value) {
  CheckInactive();
  userReadOnly_ = readOnly_ = value;
}

TABSLocalCursor& TABSDataSet::CheckedCursor(int32_t code) const {
  if (!cursor_) throw EABSException(msg::kNilPointer.At(code));
  return *cursor_;
}

void TABSDataSet::CheckResult() const {
  if (cursor_->ResultCode() != 0) throw EABSEngineError(cursor_->ResultCode(), cursor_->ErrorText());
}

int32_t TABSDataSet::StoredFieldOf(const TField& field, int32_t code) const {
  const int32_t visible = field.FieldNo() - 1;
  const auto count = static_cast<int32_t>(storedFields_.size());
  if (visible < 0 || visible >= count) throw EABSException(msg::kInvalidFieldNumber.At(code), visible, count);
  return storedFields_[static_cast<size_t>(visible)];
}

// ---- Opening and closing

void TABSDataSet::Attach() {
  TABSSession* session = TABSEngineManager::Instance().FindSession(sessionName_);
  if (!session) throw EABSException(msg::kInvalidSessionName, sessionName_);
  TABSDatabase& database = session->OpenDatabase(databaseName_, owner_);
  database_ = &database;
  database.AddDataSet(this);
}

void TABSDataSet::Detach() {
  TABSDatabase* database = database_;
  database_ = nullptr;
  if (!database) return;
  database->RemoveDataSet(this);
  if (TABSSession* session = database->Session()) session->CloseDatabase(*database);
}

void TABSDataSet::InternalOpen() {
  // A dataset reopened on its cursor (a new projection) is attached already.
  const bool reopening = cursor_ != nullptr;
  if (!reopening) {
    if (databaseName_.empty()) Error(msg::kDatabaseNameBlank);
    Attach();
  }
  try {
    if (!reopening) cursor_ = CreateHandle(*database_);
    if (!cursor_) throw EABSException(msg::kErrorCreatingTableHandle);
    readOnly_ = cursor_->ReadOnly();
    dataSize_ = cursor_->DataSize();
    const TABSFieldDefs& fields = cursor_->FieldDefs();
    layouts_.clear();
    for (int32_t index = 0; index < fields.Count(); ++index) {
      const TABSFieldDef& field = fields[index];
      layouts_.push_back({field.DataType(), field.BaseType(), field.BufferOffset, field.BufferSize()});
    }
    FieldDefs().Clear();
    storedFields_.clear();
    for (const TABSVisibleField& visible : cursor_->VisibleFields()) {
      const TABSFieldDef& field = fields[visible.StoredField];
      const auto type = static_cast<TFieldType>(FrameworkTypeOf(field.DataType()));
      const int size = IsStringOrBytesDataType(field.DataType()) ? field.Size() : 0;
      FieldDefs().Add(visible.Name, type, size, false);
      storedFields_.push_back(visible.StoredField);
    }
    if (DefaultFields()) CreateFields();
    BindFields(true);
    scan_.assign(static_cast<size_t>(cursor_->RecordBufferSize() + CalcFieldsSize()), 0);
    SetBookmarkSize(TABSLocalCursor::kBookmarkSize);
    AfterCursorOpen();
  } catch (...) {
    if (cursor_) {
      try {
        cursor_->CloseTable();
      } catch (const Exception&) {
      }
      cursor_.reset();
    }
    readOnly_ = userReadOnly_;
    Detach();
    throw;
  }
}

void TABSDataSet::InternalClose() {
  if (keepCursor_) {
    // Closing to reopen on the same cursor: the cursor stays open and the dataset attached.
    keepCursor_ = false;
    if (cursor_) {
      // The fields are made anew: streams on the old ones go.
      cursor_->CloseBlobs(false);
      for (TRecordBuffer buffer : buffers_) cursor_->ReleaseRecordBuffer(buffer);
      cursor_->ReleaseRecordBuffer(scan_.data());
      return;
    }
  }
  std::unique_ptr<TABSLocalCursor> cursor = std::move(cursor_);
  readOnly_ = userReadOnly_;
  struct DetachAtEnd {
    TABSDataSet& dataSet;
    ~DetachAtEnd() {
      try {
        dataSet.Detach();
      } catch (const Exception&) {
        HandleApplicationError();
      }
    }
  } detach{*this};
  if (!cursor) return;
  // The framework frees its buffers after the cursor is gone: the BLOB values cached for them go now.
  for (TRecordBuffer buffer : buffers_) cursor->ReleaseRecordBuffer(buffer);
  cursor->ReleaseRecordBuffer(scan_.data());
  cursor->CloseTable();
}

// ---- Record buffers and bookmarks

TRecordBuffer TABSDataSet::AllocRecordBuffer() {
  const size_t size = static_cast<size_t>(CheckedCursor(10340).RecordBufferSize() + CalcFieldsSize());
  auto* buffer = new uint8_t[size]();
  buffers_.push_back(buffer);
  return buffer;
}

void TABSDataSet::FreeRecordBuffer(TRecordBuffer& buffer) {
  if (buffer == positionBuffer_) positionBuffer_ = nullptr;
  if (cursor_ && buffer) cursor_->ReleaseRecordBuffer(buffer);
  buffers_.erase(std::remove(buffers_.begin(), buffers_.end(), buffer), buffers_.end());
  delete[] buffer;
  buffer = nullptr;
}

void TABSDataSet::InternalInitRecord(TRecordBuffer buffer) {
  CheckedCursor(10341).InitRecordBuffer(buffer, true);
}

void TABSDataSet::ClearCalcFields(TRecordBuffer buffer) {
  std::memset(buffer + dataSize_ + TABSLocalCursor::kTrailerSize, 0, static_cast<size_t>(CalcFieldsSize()));
}

TBookmarkFlag TABSDataSet::GetBookmarkFlag(TRecordBuffer buffer) {
  return static_cast<TBookmarkFlag>(buffer[dataSize_ + 6]);
}

void TABSDataSet::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) {
  buffer[dataSize_ + 6] = static_cast<uint8_t>(flag);
}

void TABSDataSet::GetBookmarkData(TRecordBuffer buffer, uint8_t* data) {
  std::memcpy(data, buffer + dataSize_, TABSLocalCursor::kAddressSize);
}

void TABSDataSet::SetBookmarkData(TRecordBuffer buffer, const uint8_t* data) {
  std::memcpy(buffer + dataSize_, data, TABSLocalCursor::kAddressSize);
}

static TABSRecordAddress AddressOf(const TBookmark& bookmark) {
  TABSRecordAddress address;
  if (bookmark.size() >= TABSLocalCursor::kAddressSize) {
    std::memcpy(&address.PageNo, bookmark.data(), 4);
    std::memcpy(&address.RecordNo, bookmark.data() + 4, 2);
  }
  return address;
}

bool TABSDataSet::ReadAt(const TABSRecordAddress& address) {
  TABSLocalCursor& cursor = CheckedCursor(10342);
  TABSCursorPositionSaver position(&cursor);
  uint8_t* inUse = cursor.RecordBuffer();
  cursor.SetRecordBuffer(scan_.data());
  cursor.SetCurrentPosition({address, false, false});
  int32_t result;
  try {
    result = cursor.GetRecord(TABSLocalCursor::kGetCurrent);
  } catch (...) {
    cursor.ReleaseRecordBuffer(scan_.data());
    cursor.SetRecordBuffer(inUse);
    throw;
  }
  cursor.ReleaseRecordBuffer(scan_.data());
  cursor.SetRecordBuffer(inUse);
  return result == TABSLocalCursor::kOk;
}

bool TABSDataSet::BookmarkValid(const TBookmark& bookmark) {
  if (!cursor_ || bookmark.size() < TABSLocalCursor::kAddressSize) return false;
  return ReadAt(AddressOf(bookmark));
}

int TABSDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
  if (a.empty() || b.empty()) return a.empty() == b.empty() ? 0 : (a.empty() ? -1 : 1);
  const TABSRecordAddress left = AddressOf(a), right = AddressOf(b);
  if (left == right) return 0;
  TABSLocalCursor& cursor = CheckedCursor(10343);
  if (cursor.CurrentIndexNumber() < 0) return left < right ? -1 : 1;
  TABSCursorPositionSaver position(&cursor);
  cursor.SetCurrentPosition({left, false, false});
  const int64_t leftNumber = cursor.RecordNumber();
  cursor.SetCurrentPosition({right, false, false});
  const int64_t rightNumber = cursor.RecordNumber();
  return leftNumber < rightNumber ? -1 : 1;
}

// ---- Navigation

const uint8_t* TABSDataSet::PositionValues() {
  if (!positionBuffer_ || !cursor_ || GetBookmarkFlag(positionBuffer_) != bfCurrent) return nullptr;
  const TABSCursor::Position& position = cursor_->CurrentPosition();
  if (position.BeforeFirst || position.AfterLast) return nullptr;
  return TABSLocalCursor::TrailerAddress(positionBuffer_, dataSize_) == position.Address ? positionBuffer_
                                                                                         : nullptr;
}

TGetResult TABSDataSet::GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) {
  TABSLocalCursor& cursor = CheckedCursor(10344);
  cursor.SetRecordBuffer(buffer);
  // The framework reads the next or prior record into a spare buffer. Should the cursor's record be
  // gone (another dataset deleted it), the step goes on from that record's values, which are in the
  // buffer it was read into, not in the spare.
  struct StepFrom {
    TABSCursorNavigation& navigation;
    ~StepFrom() { navigation.PositionRecord = nullptr; }
  } stepFrom{cursor.Navigation()};
  if (mode != gmCurrent) stepFrom.navigation.PositionRecord = PositionValues();
  const int32_t result = cursor.GetRecord(mode);
  switch (result) {
    case TABSLocalCursor::kOk:
      TABSLocalCursor::SetTrailerAddress(buffer, dataSize_, cursor.CurrentPosition().Address);
      buffer[dataSize_ + 6] = bfCurrent;
      positionBuffer_ = buffer;
      GetCalcFields(buffer);
      return grOK;
    case TABSLocalCursor::kBof:
      return grBOF;
    case TABSLocalCursor::kEof:
      return grEOF;
    default:
      if (doCheck) throw EABSException(msg::kCannotRetrieveRecord);
      return grError;
  }
}

void TABSDataSet::InternalFirst() {
  CheckedCursor(10345).GoBeforeFirst();
}

void TABSDataSet::InternalLast() {
  CheckedCursor(10345).GoAfterLast();
}

void TABSDataSet::InternalGotoBookmark(const uint8_t* bookmark) {
  TABSRecordAddress address;
  std::memcpy(&address.PageNo, bookmark, 4);
  std::memcpy(&address.RecordNo, bookmark + 4, 2);
  CheckedCursor(10346).SetCurrentPosition({address, false, false});
}

bool TABSDataSet::PositionOn(TRecordBuffer buffer) {
  if (!buffer) return false;
  const TABSRecordAddress address = TABSLocalCursor::TrailerAddress(buffer, dataSize_);
  if (address.PageNo == -1 && address.RecordNo == 0xFFFF) return false;
  CheckedCursor(10347).SetCurrentPosition({address, false, false});
  return true;
}

void TABSDataSet::InternalSetToRecord(TRecordBuffer buffer) {
  if (GetBookmarkFlag(buffer) == bfCurrent && PositionOn(buffer)) positionBuffer_ = buffer;
}

int TABSDataSet::GetRecordCount() {
  if (!Active() || !cursor_) return 0;
  return static_cast<int>(cursor_->RecordCount());
}

int TABSDataSet::GetRecNo() {
  if (State() == dsInsert || !cursor_) return -1;
  TRecordBuffer buffer = GetActiveRecordBuffer();
  if (!buffer || GetBookmarkFlag(buffer) != bfCurrent) return -1;
  TABSCursorPositionSaver position(cursor_.get());
  PositionOn(buffer);
  return static_cast<int>(cursor_->RecordNumber());
}

void TABSDataSet::InternalSetRecNo(int recNo) {
  CheckedCursor(10348).GotoRecordNumber(recNo);
}

// ---- Record operations

void TABSDataSet::InternalInsert() {
  CheckedCursor(10349);
  if (!readOnly_) cursor_->BeginInsert();
}

void TABSDataSet::InternalEdit() {
  TABSLocalCursor& cursor = CheckedCursor(10350);
  TRecordBuffer buffer = ActiveBuffer();
  cursor.SetEditCopy(buffer);
  cursor.SetRecordBuffer(buffer);
  PositionOn(buffer);
  cursor.BeginEdit();
  CheckResult();
}

void TABSDataSet::InternalPost() {
  TABSLocalCursor& cursor = CheckedCursor(10351);
  if (State() != dsEdit && State() != dsInsert) throw EABSException(msg::kDatasetNotInsertOrEdit.At(10030));
  if (readOnly_) throw EABSException(msg::kDatasetReadOnly.At(10032));
  // What open BLOB writers hold is part of the record the required fields are checked on.
  cursor.CloseBlobs(true);
  CheckRequiredFields();
  TRecordBuffer buffer = ActiveBuffer();
  cursor.SetRecordBuffer(buffer);
  const bool inserting = State() == dsInsert;
  if (!inserting) PositionOn(buffer);
  cursor.Post(inserting);
  CheckResult();
}

void TABSDataSet::AddRecord(TRecordBuffer buffer) {
  if (!Active() || !cursor_) throw EABSException(msg::kDatasetNotOpened);
  if (State() != dsInsert) throw EABSException(msg::kDatasetNotInsertOrEdit);
  if (readOnly_) throw EABSException(msg::kDatasetReadOnly);
  cursor_->SetRecordBuffer(buffer);
  cursor_->Post(true);
  CheckResult();
}

void TABSDataSet::InternalCancel() {
  if (!cursor_) return;
  TRecordBuffer buffer = ActiveBuffer();
  cursor_->SetRecordBuffer(buffer);
  cursor_->Cancel(State() == dsInsert);
}

void TABSDataSet::InternalDelete() {
  if (!Active() || !cursor_) throw EABSException(msg::kDatasetNotOpened.At(10068));
  if (readOnly_) throw EABSException(msg::kDatasetReadOnly.At(10069));
  TRecordBuffer buffer = ActiveBuffer();
  cursor_->SetRecordBuffer(buffer);
  PositionOn(buffer);
  cursor_->Delete();
  CheckResult();
  // The framework rebuilds the window from the record the cursor stands on. The deleted record is
  // gone from the index, and a step from it needs its values, which only this buffer still holds:
  // step to its successor now (or past the end), so that the next record takes its place.
  cursor_->SetRecordBuffer(buffer);
  cursor_->GetRecord(TABSLocalCursor::kGetNext);
}

// ---- Field data

bool TABSDataSet::GetFieldData(const TField& field, void* buffer) {
  TRecordBuffer record = GetActiveRecordBuffer();
  if (!record) return false;
  if (field.Calculated()) {
    const uint8_t* slot = record + dataSize_ + TABSLocalCursor::kTrailerSize + field.Offset();
    if (!slot[0]) return false;
    if (buffer) std::memcpy(buffer, slot + 1, static_cast<size_t>(field.DataSize()));
    return true;
  }
  const int32_t index = StoredFieldOf(field, 10110);
  const TABSFieldLayout& layout = layouts_[static_cast<size_t>(index)];
  if (GetFieldNullBit(record, index)) return false;
  if (!buffer || field.IsBlob()) return true;
  const uint8_t* at = record + layout.MemoryOffset;
  switch (layout.BaseType) {
    case bt::kDate: {
      int32_t day;
      std::memcpy(&day, at, 4);
      const double value = DayNumberToDateTime(day);
      std::memcpy(buffer, &value, sizeof value);
      return true;
    }
    case bt::kTime: {
      int32_t milliseconds;
      std::memcpy(&milliseconds, at, 4);
      const double value = MillisecondsToDateTime(milliseconds);
      std::memcpy(buffer, &value, sizeof value);
      return true;
    }
    case bt::kDateTime: {
      TABSDateTimePair pair;
      std::memcpy(&pair.dayNumber, at, 4);
      std::memcpy(&pair.milliseconds, at + 4, 4);
      const double value = PairToDateTime(pair);
      if (field.DataType() == ftTimeStamp) {
        const TSQLTimeStamp stamp = DateTimeToSQLTimeStamp(value);
        std::memcpy(buffer, &stamp, sizeof stamp);
      } else {
        std::memcpy(buffer, &value, sizeof value);
      }
      return true;
    }
    default:
      return ReadFieldValue(index, layouts_, buffer, record);
  }
}

void TABSDataSet::SetFieldData(TField& field, const void* buffer) {
  if (!IsWriteState(State())) throw EABSException(msg::kDatasetNotEditOrInsert);
  TRecordBuffer record = GetActiveRecordBuffer();
  if (!record) throw EABSException(msg::kNilPointer.At(10352));
  if (field.Calculated()) {
    uint8_t* slot = record + dataSize_ + TABSLocalCursor::kTrailerSize + field.Offset();
    slot[0] = buffer != nullptr;
    if (buffer) std::memcpy(slot + 1, buffer, static_cast<size_t>(field.DataSize()));
  } else {
    const int32_t index = StoredFieldOf(field, 10111);
    const TABSFieldLayout& layout = layouts_[static_cast<size_t>(index)];
    uint8_t* at = record + layout.MemoryOffset;
    if (!buffer || field.IsBlob()) {
      WriteFieldValue(index, layouts_, buffer, record);
    } else if (layout.BaseType == bt::kDate || layout.BaseType == bt::kTime ||
               layout.BaseType == bt::kDateTime) {
      double value;
      if (field.DataType() == ftTimeStamp) {
        TSQLTimeStamp stamp;
        std::memcpy(&stamp, buffer, sizeof stamp);
        value = SQLTimeStampToDateTime(stamp).value_or(0.0);
      } else {
        std::memcpy(&value, buffer, sizeof value);
      }
      if (layout.BaseType == bt::kDate) {
        const int32_t day = DateTimeToDayNumber(value);
        std::memcpy(at, &day, 4);
      } else if (layout.BaseType == bt::kTime) {
        const int32_t milliseconds = DateTimeToMilliseconds(value);
        std::memcpy(at, &milliseconds, 4);
      } else {
        const TABSDateTimePair pair = DateTimeToPair(value);
        std::memcpy(at, &pair.dayNumber, 4);
        std::memcpy(at + 4, &pair.milliseconds, 4);
      }
      SetFieldNullBit(record, index, false);
    } else {
      WriteFieldValue(index, layouts_, buffer, record);
    }
  }
  if (State() != dsCalcFields && State() != dsFilter)
    DataEvent(deFieldChange, reinterpret_cast<intptr_t>(&field));
}

void TABSDataSet::SetFieldText(TField& field, const void* text, size_t length) {
  if (!IsWriteState(State())) throw EABSException(msg::kDatasetNotEditOrInsert);
  if (!field.Calculated()) {
    // The whole text with its terminator must fit; cutting it would store less than was written
    // and report success.
    const TABSFieldLayout& layout = layouts_[static_cast<size_t>(StoredFieldOf(field, 10111))];
    const size_t unit = field.DataType() == ftWideString ? 2 : 1;
    const size_t capacity = static_cast<size_t>(std::min(layout.MemoryDataSize, field.DataSize()));
    if (length >= capacity / unit) throw EABSException(msg::kBufferSizeExceeded);
  }
  TDataSet::SetFieldText(field, text, length);
}

std::unique_ptr<TStream> TABSDataSet::CreateBlobStream(TField& field, TBlobStreamMode mode) {
  if (mode != bmRead && readOnly_) throw EABSException(msg::kDatasetReadOnly.At(10107));
  auto stream = std::make_unique<TABSBLOBStream>(*this, field, mode);
  if (!stream->HasEngineStream()) RefreshUnreachedBlobRecord();
  return stream;
}

template <typename Action>
auto TABSDataSet::OnBlobRecord(Action open) {
  TABSLocalCursor& cursor = CheckedCursor(10353);
  TRecordBuffer record = GetActiveRecordBuffer();
  bool isInsert = State() == dsInsert;
  if (!record) {
    // An empty dataset: the field of a new record, which holds nothing.
    emptyRecord_.assign(static_cast<size_t>(cursor.RecordBufferSize()), 0);
    cursor.InitRecordBuffer(emptyRecord_.data(), false);
    record = emptyRecord_.data();
    isInsert = true;
  }
  TABSCursorPositionSaver position(&cursor);
  struct Restore {
    TABSLocalCursor& cursor;
    uint8_t* buffer;
    ~Restore() { cursor.SetRecordBuffer(buffer); }
  } restore{cursor, cursor.RecordBuffer()};
  cursor.SetRecordBuffer(record);
  if (!PositionOn(record)) isInsert = true;
  return open(cursor, isInsert);
}

TABSLocalBLOBStream* TABSDataSet::OpenEngineBlob(TField& field, TABSBlobOpenMode mode) {
  return OnBlobRecord([&](TABSLocalCursor& cursor, bool isInsert) {
    return cursor.OpenBlob(isInsert, State() == dsEdit, State() == dsBrowse && !isInsert, mode,
                           field.FieldNo() - 1);
  });
}

bool TABSDataSet::ReadBlobValue(TField& field, std::string& value) {
  TField& named = OwnField(field);
  const bool reached = OnBlobRecord([&](TABSLocalCursor& cursor, bool isInsert) {
    return cursor.ReadBlob(isInsert, State() == dsEdit, State() == dsBrowse && !isInsert, named.FieldNo() - 1,
                           value);
  });
  if (!reached) {
    value.clear();
    RefreshUnreachedBlobRecord();
  }
  return true;
}

TField& TABSDataSet::OwnField(TField& field) {
  return field.DataSet() == this ? field : FieldByName(field.FieldName());
}

void TABSDataSet::RefreshUnreachedBlobRecord() {
  if (State() != dsBrowse || blobRefreshing_) return;
  // Controls that read the field again during the refresh must not start another one.
  blobRefreshing_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{blobRefreshing_};
  Refresh();
}

// ---- Steps of the SQL engine

void TABSDataSet::SetProjection(const std::vector<std::string>& names,
                                const std::vector<std::string>& aliases) {
  TABSLocalCursor& cursor = CheckedCursor(10357);
  cursor.SetProjection(names, aliases);
  keepCursor_ = true;
  Close();
  Open();
}

std::string TABSDataSet::MakeIndexOnFields(std::vector<std::string>& fields,
                                           const std::vector<std::string>& orders,
                                           const std::vector<std::string>& cases) {
  TABSLocalCursor& cursor = CheckedCursor(10358);
  for (std::string& name : fields) name = cursor.StoredFieldName(name);
  std::string index = cursor.MakeIndexOnFields(fields, orders, cases);
  cursor.IndexDefs();
  return index;
}

int64_t TABSDataSet::LastAutoincValue(int32_t field) {
  return CheckedCursor(10359).LastAutoincValue(field);
}

// ---- Locate, lookup and find steps: a scan in the dataset's order.

bool TABSDataSet::Matches(TRecordBuffer buffer, const std::vector<TField*>& fields,
                          const std::vector<Variant>& values, TLocateOptions options) {
  TTempState reading(*this, dsFilter, buffer);
  for (size_t index = 0; index < fields.size(); ++index) {
    const Variant wanted = index < values.size() ? values[index] : Variant::Null();
    if (wanted.IsNull() || fields[index]->IsNull()) {
      if (wanted.IsNull() != fields[index]->IsNull()) return false;
      continue;
    }
    std::string value = fields[index]->AsString();
    std::string text = VariantToText(wanted);
    if (options & loCaseInsensitive) {
      value = platform::UpperCase(value);
      text = platform::UpperCase(text);
    }
    if ((options & loPartialKey) ? value.rfind(text, 0) != 0 : value != text) return false;
  }
  return true;
}

bool TABSDataSet::FindMatch(const std::string& keyFields, const std::vector<Variant>& keyValues,
                            TLocateOptions options, TABSRecordAddress& found) {
  TABSLocalCursor& cursor = CheckedCursor(10354);
  const std::vector<TField*> fields = GetFieldList(keyFields);
  TABSCursorPositionSaver position(&cursor);
  uint8_t* inUse = cursor.RecordBuffer();
  struct Restore {
    TABSLocalCursor& cursor;
    uint8_t* buffer;
    uint8_t* scan;
    ~Restore() {
      cursor.ReleaseRecordBuffer(scan);
      cursor.SetRecordBuffer(buffer);
    }
  } restore{cursor, inUse, scan_.data()};
  cursor.SetRecordBuffer(scan_.data());
  cursor.GoBeforeFirst();
  while (cursor.GetRecord(TABSLocalCursor::kGetNext) == TABSLocalCursor::kOk) {
    TABSLocalCursor::SetTrailerAddress(scan_.data(), dataSize_, cursor.CurrentPosition().Address);
    scan_[static_cast<size_t>(dataSize_) + 6] = bfCurrent;
    if (Matches(scan_.data(), fields, keyValues, options)) {
      found = cursor.CurrentPosition().Address;
      return true;
    }
  }
  return false;
}

bool TABSDataSet::FindIndexed(const std::string& keyFields, const std::vector<Variant>& keyValues,
                              TLocateOptions options, TABSRecordAddress& found) {
  TABSLocalCursor& cursor = CheckedCursor(10356);
  const int32_t indexNumber = cursor.CurrentIndexNumber();
  if (options != 0 || indexNumber < 0) return false;
  const std::vector<TField*> fields = GetFieldList(keyFields);
  const TABSIndexDef& index = cursor.CachedIndexDefs()[indexNumber];
  if (fields.empty() || fields.size() > index.Columns.size() || keyValues.size() < fields.size())
    return false;
  for (size_t column = 0; column < fields.size(); ++column) {
    const TABSIndexColumn& key = index.Columns[column];
    if (key.CaseInsensitive || key.KeyLength > 0 || fields[column]->Calculated() ||
        fields[column]->IsBlob() || !SameName(key.FieldName, fields[column]->FieldName()) ||
        keyValues[column].IsNull())
      return false;
  }
  // The key values go into a key buffer in the record layout; the index finds the first record with
  // that key.
  std::vector<uint8_t> key(scan_.size(), 0);
  cursor.InitRecordBuffer(key.data(), false);
  {
    TTempState writing(*this, dsNewValue, key.data());
    try {
      for (size_t column = 0; column < fields.size(); ++column) fields[column]->SetAsVariant(keyValues[column]);
    } catch (const EABSException& error) {
      // A text longer than its field cannot be stored, so no record holds it.
      if (error.NativeErrorCode() != msg::kBufferSizeExceeded.code) throw;
      found = {};
      return true;
    }
  }
  TABSCursorPositionSaver position(&cursor);
  found = {};
  if (cursor.FindKey(key.data(), static_cast<int32_t>(fields.size()), TABSScanOperator::soEqual))
    found = cursor.CurrentPosition().Address;
  return true;
}

bool TABSDataSet::Locate(const std::string& keyFields, const std::vector<Variant>& keyValues,
                         TLocateOptions options) {
  if (!Active()) throw EABSException(msg::kLocateOnClosedDataset);
  CheckBrowseMode();
  TABSRecordAddress found;
  if (FindIndexed(keyFields, keyValues, options, found)) {
    if (found == TABSRecordAddress{}) return false;
  } else if (!FindMatch(keyFields, keyValues, options, found)) {
    return false;
  }
  DoBeforeScroll();
  cursor_->SetCurrentPosition({found, false, false});
  Resync(true, true);
  DoAfterScroll();
  return true;
}

std::vector<Variant> TABSDataSet::Lookup(const std::string& keyFields, const std::vector<Variant>& keyValues,
                                         const std::string& resultFields) {
  CheckActive();
  TABSRecordAddress found;
  if (!FindMatch(keyFields, keyValues, 0, found) || !ReadAt(found)) return {};
  std::vector<uint8_t> record(scan_);
  // BLOB values read for the copy are kept under its address until let go: a later copy at the same
  // address must not find them.
  struct Release {
    TABSLocalCursor& cursor;
    uint8_t* buffer;
    ~Release() {
      try {
        cursor.ReleaseRecordBuffer(buffer);
      } catch (const Exception&) {
        HandleApplicationError();
      }
    }
  } release{*cursor_, record.data()};
  TABSLocalCursor::SetTrailerAddress(record.data(), dataSize_, found);
  GetCalcFields(record.data());
  TTempState reading(*this, dsCalcFields, record.data());
  std::vector<Variant> values;
  for (TField* field : GetFieldList(resultFields)) values.push_back(field->AsVariant());
  return values;
}

bool TABSDataSet::FindRecord(bool restart, bool goForward) {
  TABSLocalCursor& cursor = CheckedCursor(10355);
  CheckBrowseMode();
  DoBeforeScroll();
  UpdateCursorPos();
  if (restart) {
    if (goForward) {
      cursor.GoBeforeFirst();
    } else {
      cursor.GoAfterLast();
    }
  }
  uint8_t* inUse = cursor.RecordBuffer();
  const TABSCursor::Position start = cursor.CurrentPosition();
  cursor.SetRecordBuffer(scan_.data());
  bool found = false;
  try {
    while (cursor.GetRecord(goForward ? TABSLocalCursor::kGetNext : TABSLocalCursor::kGetPrior) ==
           TABSLocalCursor::kOk) {
      TABSLocalCursor::SetTrailerAddress(scan_.data(), dataSize_, cursor.CurrentPosition().Address);
      scan_[static_cast<size_t>(dataSize_) + 6] = bfCurrent;
      if (RunFilterHandler(scan_.data())) {
        found = true;
        break;
      }
    }
  } catch (...) {
    cursor.ReleaseRecordBuffer(scan_.data());
    cursor.SetRecordBuffer(inUse);
    cursor.SetCurrentPosition(start);
    throw;
  }
  cursor.ReleaseRecordBuffer(scan_.data());
  cursor.SetRecordBuffer(inUse);
  if (!found) {
    cursor.SetCurrentPosition(start);
    return false;
  }
  Resync(true, true);
  DoAfterScroll();
  return true;
}

}  // namespace viz
