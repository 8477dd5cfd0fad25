#include "engine/tables/field_manager.h"

#include <cstring>

#include "engine/tables/base_session.h"
#include "engine/tables/record_layout.h"
#include "engine/tables/stored_form_io.h"
#include "engine/types/errors.h"

namespace viz {

// Native codes of the counters' stored form.
namespace {
constexpr int32_t kWriteCounterCount = 10160;
constexpr int32_t kWriteCounter = 10161;
constexpr int32_t kReadCounterCount = 10162;
constexpr int32_t kReadCounter = 10163;

// The value of an autoincrement field as a 64-bit number. Signed types are sign-extended, so that an
// explicit negative value never looks like a huge one and pushes the counter past the field's range.
int64_t ExplicitValue(const TABSFieldDef& field, const uint8_t* bytes) {
  uint64_t raw = 0;
  const size_t width = static_cast<size_t>(field.BufferSize());
  std::memcpy(&raw, bytes, width);
  const bool isSigned = field.BaseType() >= bt::kShortInt && field.BaseType() <= bt::kLargeInt;
  if (isSigned && width < 8 && (raw >> (width * 8 - 1)) != 0) raw |= ~uint64_t{0} << (width * 8);
  return static_cast<int64_t>(raw);
}
}  // namespace

void TABSBaseFieldManager::ResetAutoincs() {
  counters_.assign(static_cast<size_t>(fieldDefs_.Count()), 0);
  for (int32_t i = 0; i < fieldDefs_.Count(); ++i)
    if (IsAutoIncDataType(fieldDefs_[i].DataType()))
      counters_[static_cast<size_t>(i)] = fieldDefs_[i].InitialValue;
}

int64_t TABSBaseFieldManager::GetNextAutoincValue(int32_t field) {
  if (field < 0 || field >= fieldDefs_.Count()) throw EABSException(msg::kFieldNumberNotFound, field);
  if (field >= AutoincCount()) throw EABSException(msg::kFieldNumberNotFound.At(30403), field);
  const TABSFieldDef& definition = fieldDefs_[field];
  int64_t& counter = counters_[static_cast<size_t>(field)];
  // The counter wraps like the 64-bit integer it is stored as.
  const uint64_t step = static_cast<uint64_t>(definition.Increment == 0 ? 1 : definition.Increment);
  int64_t next = static_cast<int64_t>(static_cast<uint64_t>(counter) + step);
  if (definition.MaxValue != 0 && next > definition.MaxValue) {
    if (!definition.Cycled) throw EABSException(msg::kAutoincMaxValueExceeded, definition.Name());
    next = definition.MinValue;
  }
  counter = next;
  return counter;
}

int64_t TABSBaseFieldManager::GetNextAutoincValueForSession(TABSBaseSession* session, int32_t field) {
  if (!session) throw EABSException(msg::kNilPointer);
  const int64_t value = GetNextAutoincValue(field);
  session->SetSequenceValue(fieldDefs_[field].ObjectID, value);
  return value;
}

int64_t TABSBaseFieldManager::GetLastAutoincValue(TABSBaseSession* session, int32_t field) {
  if (field < 0 || field >= fieldDefs_.Count()) throw EABSException(msg::kFieldNumberNotFound, field);
  if (!session) throw EABSException(msg::kNilPointer);
  const TABSSessionNamedObjectSequenceValue* value = session->FindSequenceValue(fieldDefs_[field].ObjectID);
  if (!value) throw EABSException(msg::kNoSequenceLastValue, fieldDefs_[field].Name());
  return value->Value();
}

void TABSBaseFieldManager::ApplyDefaults(uint8_t* record) {
  for (int32_t i = 0; i < fieldDefs_.Count(); ++i) {
    const TABSFieldDef& field = fieldDefs_[i];
    // A BLOB field's buffer bytes are a reference to its stored value, not the value: a default
    // written there would be read back as a reference to nowhere.
    if (field.DefaultValue.IsNull() || IsBlobBaseType(field.BaseType())) continue;
    TABSVariant value(field.DefaultValue);
    value.ConvertTo(field.BaseType());
    // A default longer than the field is refused rather than written past the field's bytes.
    value.CopyRawTo(record + field.BufferOffset, field.BufferSize());
    ClearNullFlag(record, i);
  }
}

void TABSBaseFieldManager::ApplyAutoincs(TABSBaseSession* session, uint8_t* record) {
  for (int32_t i = 0; i < fieldDefs_.Count(); ++i) {
    const TABSFieldDef& field = fieldDefs_[i];
    if (!IsAutoIncDataType(field.DataType())) continue;
    const size_t width = static_cast<size_t>(field.BufferSize());
    if (IsNullFlagSet(record, i)) {
      const int64_t value = GetNextAutoincValueForSession(session, i);
      std::memcpy(record + field.BufferOffset, &value, width);  // the low bytes, little-endian
      ClearNullFlag(record, i);
    } else {
      const int64_t value = ExplicitValue(field, record + field.BufferOffset);
      if (value > counters_.at(static_cast<size_t>(i))) {
        if (!session) throw EABSException(msg::kNilPointer);
        counters_[static_cast<size_t>(i)] = value;
        session->SetSequenceValue(field.ObjectID, value);
      }
    }
  }
}

void TABSBaseFieldManager::SaveAutoincsToStream(TStream& stream) const {
  WriteI32(stream, AutoincCount(), kWriteCounterCount);
  for (const int64_t counter : counters_) WriteI64(stream, counter, kWriteCounter);
}

void TABSBaseFieldManager::LoadAutoincsFromStream(TStream& stream) {
  const int32_t count = ReadI32(stream, kReadCounterCount);
  std::vector<int64_t> counters;
  // Read one by one: a corrupt count ends in a short read, never in a huge allocation.
  for (int32_t i = 0; i < count; ++i) counters.push_back(ReadI64(stream, kReadCounter));
  counters_ = std::move(counters);
}

void TABSBaseFieldManager::StoredRecordToRecordBuffer(const uint8_t* stored, uint8_t* buffer) const {
  viz::StoredRecordToRecordBuffer(fieldDefs_, stored, buffer);
}

void TABSBaseFieldManager::RecordBufferToStoredRecord(const uint8_t* buffer, uint8_t* stored) const {
  viz::RecordBufferToStoredRecord(fieldDefs_, buffer, stored);
}

bool TABSBaseFieldManager::RecordBuffersEqual(const uint8_t* a, const uint8_t* b) const {
  return viz::RecordBuffersEqual(fieldDefs_, a, b);
}

}  // namespace viz
