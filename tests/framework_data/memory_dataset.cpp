#include "memory_dataset.h"

#include <algorithm>
#include <cstring>

#include "engine/platform/text.h"
#include "framework/data/blob_field.h"
#include "framework/data/exceptions.h"
#include "framework/data/messages.h"
#include "framework/data/text_values.h"

namespace viz::test {

struct MemoryDataSet::Record {
  int32_t id = -1;
  TBookmarkFlag flag = bfInserted;
  std::vector<std::optional<std::string>> values;
  std::vector<uint8_t> calc;
};

namespace {

template <typename T>
std::string Bytes(T value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

StringStream::StringStream(TBlobField* field, std::optional<std::string>* value, bool writable, bool truncate)
    : field_(field), value_(value), writable_(writable) {
  if (truncate) SetSize(0);
}

StringStream::~StringStream() {
  if (modified_ && field_) field_->NotifyStreamModified();
}

int64_t StringStream::Read(void* buffer, int64_t count) {
  const std::string& data = Data();
  int64_t available = std::max<int64_t>(0, static_cast<int64_t>(data.size()) - position_);
  int64_t read = std::min(count, available);
  if (read > 0) std::memcpy(buffer, data.data() + position_, read);
  position_ += read;
  return read;
}

int64_t StringStream::Write(const void* buffer, int64_t count) {
  CheckWritable();
  std::string& data = value_->emplace(Data());
  if (static_cast<int64_t>(data.size()) < position_ + count) data.resize(position_ + count);
  std::memcpy(data.data() + position_, buffer, count);
  position_ += count;
  modified_ = modified_ || count > 0;
  return count;
}

int64_t StringStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == TSeekOrigin::Beginning ? 0
                 : origin == TSeekOrigin::Current ? position_
                                                  : GetSize();
  position_ = std::max<int64_t>(0, base + offset);
  return position_;
}

int64_t StringStream::GetSize() const {
  return static_cast<int64_t>(Data().size());
}

void StringStream::SetSize(int64_t size) {
  CheckWritable();
  value_->emplace(Data()).resize(size);
  modified_ = true;
}

const std::string& StringStream::Data() const {
  static const std::string kEmpty;
  return value_ && value_->has_value() ? **value_ : kEmpty;
}

void StringStream::CheckWritable() const {
  if (!writable_ || !value_) throw Exception("Cannot write to read only stream");
}

void MemoryTable::AddColumn(const std::string& name, TFieldType type, int size, bool required) {
  TFieldDef& def = columns.emplace_back();
  def.Name = name;
  def.DataType = type;
  def.Size = size;
  def.Required = required;
  def.FieldNo = static_cast<int>(columns.size());
}

void MemoryTable::AddRow(const std::vector<Variant>& values) {
  MemoryRow& row = rows.emplace_back();
  row.id = nextId++;
  for (size_t index = 0; index < columns.size(); ++index) {
    const Variant value = index < values.size() ? values[index] : Variant::Null();
    if (value.IsNull()) {
      row.values.emplace_back();
      continue;
    }
    const TFieldDef& column = columns[index];
    switch (column.DataType) {
      case ftInteger:
        row.values.push_back(Bytes(static_cast<int32_t>(value.AsInt64())));
        break;
      case ftFloat:
        row.values.push_back(Bytes(value.AsDouble()));
        break;
      case ftString: {
        std::string text = value.AsString().substr(0, column.Size);
        text.resize(column.Size + 1, '\0');
        row.values.push_back(text);
        break;
      }
      default:
        row.values.push_back(value.AsString());
        break;
    }
  }
}

MemoryDataSet::MemoryDataSet(std::shared_ptr<MemoryTable> table, std::string name)
    : table_(std::move(table)) {
  SetName(std::move(name));
}

MemoryDataSet::~MemoryDataSet() {
  try {
    Close();
  } catch (...) {
  }
}

// ---- Buffers and bookmarks

TRecordBuffer MemoryDataSet::AllocRecordBuffer() {
  auto* record = new Record;
  record->values.resize(table_->columns.size());
  record->calc.resize(CalcFieldsSize());
  return reinterpret_cast<TRecordBuffer>(record);
}

void MemoryDataSet::FreeRecordBuffer(TRecordBuffer& buffer) {
  delete &RecordOf(buffer);
  buffer = nullptr;
}

void MemoryDataSet::InternalInitRecord(TRecordBuffer buffer) {
  Record& record = RecordOf(buffer);
  record.id = -1;
  std::fill(record.values.begin(), record.values.end(), std::nullopt);
}

void MemoryDataSet::ClearCalcFields(TRecordBuffer buffer) {
  std::fill(RecordOf(buffer).calc.begin(), RecordOf(buffer).calc.end(), 0);
}

TBookmarkFlag MemoryDataSet::GetBookmarkFlag(TRecordBuffer buffer) {
  return RecordOf(buffer).flag;
}

void MemoryDataSet::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) {
  RecordOf(buffer).flag = flag;
}

void MemoryDataSet::GetBookmarkData(TRecordBuffer buffer, uint8_t* data) {
  std::memcpy(data, &RecordOf(buffer).id, sizeof(int32_t));
}

void MemoryDataSet::SetBookmarkData(TRecordBuffer buffer, const uint8_t* data) {
  std::memcpy(&RecordOf(buffer).id, data, sizeof(int32_t));
}

int MemoryDataSet::IndexOfId(int32_t id) const {
  for (size_t index = 0; index < table_->rows.size(); ++index) {
    if (table_->rows[index].id == id) return static_cast<int>(index);
  }
  return -1;
}

static int32_t IdOf(const TBookmark& bookmark) {
  int32_t id = -1;
  if (bookmark.size() == sizeof id) std::memcpy(&id, bookmark.data(), sizeof id);
  return id;
}

bool MemoryDataSet::BookmarkValid(const TBookmark& bookmark) {
  return IndexOfId(IdOf(bookmark)) >= 0;
}

int MemoryDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
  return IndexOfId(IdOf(a)) - IndexOfId(IdOf(b));
}

// ---- The cursor

void MemoryDataSet::InternalOpen() {
  FieldDefs().Clear();
  for (const TFieldDef& column : table_->columns)
    FieldDefs().Add(column.Name, column.DataType, column.Size, column.Required);
  if (DefaultFields()) CreateFields();
  BindFields(true);
  SetBookmarkSize(sizeof(int32_t));
  keyBuffer_ = AllocRecordBuffer();
  position_ = -1;
  open_ = true;
}

void MemoryDataSet::InternalClose() {
  if (keyBuffer_) FreeRecordBuffer(keyBuffer_);
  open_ = false;
}

void MemoryDataSet::LoadRow(int index, Record& record) {
  const MemoryRow& row = table_->rows[index];
  record.id = row.id;
  record.flag = bfCurrent;
  record.values = row.values;
  record.calc.assign(CalcFieldsSize(), 0);
}

bool MemoryDataSet::Passes(int index, bool filtering) {
  if (!filtering || !(Filtered() || stepFilter_)) return true;
  Record record;
  LoadRow(index, record);
  TRecordBuffer buffer = reinterpret_cast<TRecordBuffer>(&record);
  if (!Filter().empty()) {
    size_t equals = Filter().find('=');
    std::string name = TrimBlanks(Filter().substr(0, equals));
    std::string wanted = TrimBlanks(Filter().substr(equals + 1));
    TTempState filtering(*this, dsFilter, buffer);
    std::string value = FieldByName(name).AsString();
    if (FilterOptions() & foCaseInsensitive) {
      value = platform::UpperCase(value);
      wanted = platform::UpperCase(wanted);
    }
    if (value != wanted) return false;
  }
  return RunFilterHandler(buffer);
}

int MemoryDataSet::Scan(int start, bool forward, bool filtering,
                        const std::function<bool(Record&)>& matches) {
  const int count = static_cast<int>(table_->rows.size());
  for (int index = start; index >= 0 && index < count; index += forward ? 1 : -1) {
    if (!Passes(index, filtering)) continue;
    if (matches) {
      Record record;
      LoadRow(index, record);
      if (!matches(record)) continue;
    }
    return index;
  }
  return -1;
}

TGetResult MemoryDataSet::GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) {
  const int count = static_cast<int>(table_->rows.size());
  int index = -1;
  switch (mode) {
    case gmCurrent:
      if (position_ < 0) return grBOF;
      if (position_ >= count) return grEOF;
      if (!Passes(position_, true)) {
        if (doCheck) DatabaseError(fmsg::kRecordNotFound, Name());
        return grError;
      }
      index = position_;
      break;
    case gmNext:
      index = Scan(position_ + 1, true, true);
      if (index < 0) {
        position_ = count;
        return grEOF;
      }
      break;
    case gmPrior:
      index = Scan(std::min(position_, count) - 1, false, true);
      if (index < 0) {
        position_ = -1;
        return grBOF;
      }
      break;
  }
  position_ = index;
  LoadRow(index, RecordOf(buffer));
  ++reads;
  GetCalcFields(buffer);
  return grOK;
}

void MemoryDataSet::InternalGotoBookmark(const uint8_t* bookmark) {
  int32_t id;
  std::memcpy(&id, bookmark, sizeof id);
  int index = IndexOfId(id);
  if (index < 0) DatabaseError(fmsg::kRecordNotFound, Name());
  position_ = index;
}

void MemoryDataSet::InternalSetToRecord(TRecordBuffer buffer) {
  int index = IndexOfId(RecordOf(buffer).id);
  if (index >= 0) position_ = index;
}

int MemoryDataSet::GetRecordCount() {
  if (!Active()) return 0;
  int count = 0;
  for (int index = 0; index < static_cast<int>(table_->rows.size()); ++index) count += Passes(index, true);
  return count;
}

int MemoryDataSet::GetRecNo() {
  if (State() == dsInsert || !ActiveBuffer()) return -1;
  int index = IndexOfId(RecordOf(ActiveBuffer()).id);
  int number = 0;
  for (int row = 0; row <= index; ++row) number += Passes(row, true);
  return index < 0 ? -1 : number;
}

void MemoryDataSet::InternalSetRecNo(int recNo) {
  int found = -1;
  for (int index = 0, number = 0; index < static_cast<int>(table_->rows.size()) && number < recNo; ++index) {
    if (Passes(index, true)) {
      found = index;
      ++number;
    }
  }
  position_ = found;
}

// ---- Record operations

void MemoryDataSet::InternalEdit() {
  if (failEdits > 0 && failEdits--) DatabaseError("Record is locked", Name());
}

void MemoryDataSet::InternalPost() {
  if (failPosts > 0 && failPosts--) DatabaseError("Record is locked", Name());
  CheckRequiredFields();
  Record& record = RecordOf(ActiveBuffer());
  auto& rows = table_->rows;
  if (State() == dsEdit) {
    int index = IndexOfId(record.id);
    if (index < 0) DatabaseError(fmsg::kRecordNotFound, Name());
    rows[index].values = record.values;
    position_ = index;
    return;
  }
  int at = static_cast<int>(rows.size());
  if (record.flag == bfBOF) at = 0;
  if (record.flag == bfInserted && IndexOfId(record.id) >= 0) at = IndexOfId(record.id);
  rows.insert(rows.begin() + at, MemoryRow{table_->nextId++, record.values});
  position_ = at;
}

void MemoryDataSet::InternalDelete() {
  if (failDeletes > 0 && failDeletes--) DatabaseError("Record is locked", Name());
  int index = IndexOfId(RecordOf(ActiveBuffer()).id);
  if (index < 0) DatabaseError(fmsg::kRecordNotFound, Name());
  table_->rows.erase(table_->rows.begin() + index);
  position_ = index;
}

void MemoryDataSet::EditKey() {
  CheckBrowseMode();
  keyBackup_ = keyValue_;
  Record& key = RecordOf(keyBuffer_);
  std::fill(key.values.begin(), key.values.end(), std::nullopt);
  key.values[0] = keyValue_;
  SetState(dsSetKey, keyBuffer_);
}

void MemoryDataSet::PostKeyBuffer(bool commit) {
  keyValue_ = commit ? RecordOf(keyBuffer_).values[0] : keyBackup_;
  SetState(dsBrowse);
}

// ---- Field data

bool MemoryDataSet::GetFieldData(const TField& field, void* buffer) {
  TRecordBuffer raw = GetActiveRecordBuffer();
  if (!raw) return false;
  Record& record = RecordOf(raw);
  if (field.Calculated()) {
    const uint8_t* slot = record.calc.data() + field.Offset();
    if (!slot[0]) return false;
    if (buffer) std::memcpy(buffer, slot + 1, field.DataSize());
    return true;
  }
  const std::optional<std::string>& value = record.values.at(field.FieldNo() - 1);
  if (!value) return false;
  if (buffer && !field.IsBlob())
    std::memcpy(buffer, value->data(), std::min<size_t>(value->size(), field.DataSize()));
  return true;
}

void MemoryDataSet::SetFieldData(TField& field, const void* buffer) {
  if (!IsWriteState(State())) DatabaseError(fmsg::kNotEditing, Name());
  Record& record = RecordOf(GetActiveRecordBuffer());
  if (field.Calculated()) {
    uint8_t* slot = record.calc.data() + field.Offset();
    slot[0] = buffer != nullptr;
    if (buffer) std::memcpy(slot + 1, buffer, field.DataSize());
    return;
  }
  auto& value = record.values.at(field.FieldNo() - 1);
  if (buffer) {
    value = std::string(static_cast<const char*>(buffer), field.DataSize());
  } else {
    value.reset();
  }
}

std::unique_ptr<TStream> MemoryDataSet::CreateBlobStream(TField& field, TBlobStreamMode mode) {
  if (mode != bmRead) {
    CheckCanModify();
    if (State() != dsEdit && State() != dsInsert) DatabaseError(fmsg::kNotEditing, Name());
  }
  TRecordBuffer raw = GetActiveRecordBuffer();
  std::optional<std::string>* value = raw ? &RecordOf(raw).values.at(field.FieldNo() - 1) : nullptr;
  return std::make_unique<StringStream>(dynamic_cast<TBlobField*>(&field), value, mode != bmRead,
                                        mode == bmWrite);
}

// ---- Locate, lookup, filters, find steps

bool MemoryDataSet::Matches(Record& record, const std::string& keyFields,
                            const std::vector<Variant>& keyValues, TLocateOptions options) {
  std::vector<TField*> fields = GetFieldList(keyFields);
  TTempState reading(*this, dsFilter, reinterpret_cast<TRecordBuffer>(&record));
  for (size_t index = 0; index < fields.size(); ++index) {
    const Variant wanted = index < keyValues.size() ? keyValues[index] : Variant::Null();
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

bool MemoryDataSet::Locate(const std::string& keyFields, const std::vector<Variant>& keyValues,
                           TLocateOptions options) {
  CheckBrowseMode();
  int index =
      Scan(0, true, true, [&](Record& record) { return Matches(record, keyFields, keyValues, options); });
  if (index < 0) return false;
  DoBeforeScroll();
  position_ = index;
  Resync(true, true);
  DoAfterScroll();
  return true;
}

std::vector<Variant> MemoryDataSet::Lookup(const std::string& keyFields,
                                           const std::vector<Variant>& keyValues,
                                           const std::string& resultFields) {
  CheckActive();
  int index = Scan(0, true, true, [&](Record& record) { return Matches(record, keyFields, keyValues, 0); });
  if (index < 0) return {};
  Record record;
  LoadRow(index, record);
  TRecordBuffer buffer = reinterpret_cast<TRecordBuffer>(&record);
  GetCalcFields(buffer);
  TTempState reading(*this, dsCalcFields, buffer);
  std::vector<Variant> values;
  for (TField* field : GetFieldList(resultFields)) values.push_back(field->AsVariant());
  return values;
}

bool MemoryDataSet::FindRecord(bool restart, bool goForward) {
  CheckBrowseMode();
  DoBeforeScroll();
  UpdateCursorPos();
  const int count = static_cast<int>(table_->rows.size());
  int start =
      restart ? (goForward ? 0 : count - 1) : (goForward ? position_ + 1 : std::min(position_, count) - 1);
  stepFilter_ = true;
  int index;
  try {
    index = Scan(start, goForward, true);
  } catch (...) {
    stepFilter_ = false;
    throw;
  }
  stepFilter_ = false;
  if (index < 0) return false;
  position_ = index;
  Resync(true, true);
  DoAfterScroll();
  return true;
}

void MemoryDataSet::ApplyFilterChange() {
  if (Active() && Filtered()) First();
}

void MemoryDataSet::SetFilterText(const std::string& text) {
  if (!text.empty()) {
    if (text.find('=') == std::string::npos) DatabaseError("Invalid filter '" + text + "'", Name());
    if (Active()) FieldByName(TrimBlanks(text.substr(0, text.find('='))));
  }
  if (Active()) CheckBrowseMode();
  TDataSet::SetFilterText(text);
  ApplyFilterChange();
}

void MemoryDataSet::SetFiltered(bool filtered) {
  if (Active()) CheckBrowseMode();
  TDataSet::SetFiltered(filtered);
  if (Active()) First();
}

void MemoryDataSet::SetOnFilterRecord(TFilterRecordEvent handler) {
  if (Active()) CheckBrowseMode();
  TDataSet::SetOnFilterRecord(std::move(handler));
  ApplyFilterChange();
}

}  // namespace viz::test
