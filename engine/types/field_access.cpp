#include "engine/types/field_access.h"

#include <cstring>

#include "engine/types/errors.h"
#include "engine/types/extended.h"
#include "engine/types/raw_access.h"

namespace viz {

bool GetFieldNullBit(const void* recordBuffer, int32_t fieldNo) {
  const uint8_t byte = static_cast<const uint8_t*>(recordBuffer)[fieldNo / 8];
  return (byte >> (fieldNo % 8)) & 1;
}

void SetFieldNullBit(void* recordBuffer, int32_t fieldNo, bool isNull) {
  uint8_t& byte = static_cast<uint8_t*>(recordBuffer)[fieldNo / 8];
  const uint8_t bit = static_cast<uint8_t>(1u << (fieldNo % 8));
  byte = isNull ? static_cast<uint8_t>(byte | bit) : static_cast<uint8_t>(byte & ~bit);
}

bool ReadFieldValue(int32_t fieldNo, std::span<const TABSFieldLayout> fields, void* destination,
                    const void* recordBuffer, int32_t recordSize) {
  const int32_t fieldCount = static_cast<int32_t>(fields.size());
  if (fieldNo < 0 || fieldNo >= fieldCount) {
    throw EABSException(msg::kInvalidFieldNumber.At(10000), fieldNo, fieldCount);
  }
  if (!recordBuffer) throw EABSException(msg::kNilPointer.At(10003));
  if (GetFieldNullBit(recordBuffer, fieldNo)) return false;
  const TABSFieldLayout& field = fields[static_cast<size_t>(fieldNo)];
  if (IsBlobDataType(field.DataType) || !destination) return true;
  if (field.MemoryOffset < 0 || field.MemoryDataSize < 0 ||
      (recordSize >= 0 && int64_t{field.MemoryOffset} + field.MemoryDataSize > recordSize)) {
    throw EABSException(msg::kErrorGettingFieldData, fieldNo, field.MemoryOffset, field.MemoryDataSize);
  }
  const char* at = static_cast<const char*>(recordBuffer) + field.MemoryOffset;
  switch (field.BaseType) {
    case bt::kShortInt:
      StoreRaw<int16_t>(destination, LoadRaw<int8_t>(at));
      break;
    case bt::kCardinal:
      StoreRaw<int64_t>(destination, LoadRaw<uint32_t>(at));
      break;
    case bt::kSingle:
      StoreRaw<double>(destination, LoadRaw<float>(at));
      break;
    case bt::kExtended:
      StoreRaw<double>(destination, static_cast<double>(ExtendedToLongDouble(at)));
      break;
    default:
      std::memcpy(destination, at, static_cast<size_t>(field.MemoryDataSize));
      break;
  }
  return true;
}

void WriteFieldValue(int32_t fieldNo, std::span<const TABSFieldLayout> fields, const void* source,
                     void* recordBuffer) {
  const int32_t fieldCount = static_cast<int32_t>(fields.size());
  if (fieldNo < 0 || fieldNo >= fieldCount) {
    throw EABSException(msg::kInvalidFieldNumber.At(10004), fieldNo, fieldCount);
  }
  if (!recordBuffer) throw EABSException(msg::kNilPointer.At(10003));
  const TABSFieldLayout& field = fields[static_cast<size_t>(fieldNo)];
  const bool emptyText = source && ((IsStringDataType(field.DataType) &&
                                     !IsWideStringDataType(field.DataType) && LoadRaw<char>(source) == 0) ||
                                    (IsWideStringDataType(field.DataType) && LoadRaw<char16_t>(source) == 0));
  if (!source || emptyText) {
    SetFieldNullBit(recordBuffer, fieldNo, true);
    return;
  }
  SetFieldNullBit(recordBuffer, fieldNo, false);
  char* at = static_cast<char*>(recordBuffer) + field.MemoryOffset;
  switch (field.BaseType) {
    case bt::kShortInt:
      StoreRaw<int8_t>(at, static_cast<int8_t>(LoadRaw<int16_t>(source)));
      break;
    case bt::kCardinal:
      StoreRaw<uint32_t>(at, static_cast<uint32_t>(LoadRaw<int64_t>(source)));
      break;
    case bt::kSingle:
      StoreRaw<float>(at, static_cast<float>(LoadRaw<double>(source)));
      break;
    case bt::kExtended:
      LongDoubleToExtended(LoadRaw<double>(source), at);
      break;
    case bt::kChar:
    case bt::kString: {
      // Text is read only up to its terminator (the source may be shorter than the field); the
      // rest of the field is zeroed.
      const std::string_view text = AnsiPayload(source, field.MemoryDataSize - 1);
      std::memset(at, 0, static_cast<size_t>(field.MemoryDataSize));
      std::memcpy(at, text.data(), text.size());
      break;
    }
    case bt::kWideChar:
    case bt::kWideString: {
      const size_t units = WidePayloadLength(source, field.MemoryDataSize - 2);
      std::memset(at, 0, static_cast<size_t>(field.MemoryDataSize));
      std::memcpy(at, source, units * 2);
      break;
    }
    default:
      std::memcpy(at, source, static_cast<size_t>(field.MemoryDataSize));
      break;
  }
}

}  // namespace viz
