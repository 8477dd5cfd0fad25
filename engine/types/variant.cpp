// TABSVariant: life, ownership, raw and typed access, type change and exchange with the framework's
// variant.
#include <cstring>

#include "engine/storage/memory_manager.h"
#include "engine/types/VIZVariant.h"
#include "engine/types/errors.h"
#include "engine/types/extended.h"
#include "engine/types/raw_access.h"

namespace viz {
namespace {

// Types whose payload always has `BaseTypeDataSize(type, 0)` bytes.
bool IsFixedSizeType(TABSBaseType type) {
  return (type >= bt::kShortInt && type <= bt::kDateTime) || type == bt::kLogical || type == bt::kCurrency;
}

// Bytes of a value given to `SetTypedValue`.
int32_t TypedValueSize(TABSBaseType type, const void* value, int32_t size) {
  if (type == bt::kChar || type == bt::kString) {
    return static_cast<int32_t>(std::strlen(static_cast<const char*>(value)) + 1);
  }
  if (IsWideStringBaseType(type)) return static_cast<int32_t>(2 * (WidePayloadLength(value, -1) + 1));
  if (IsFixedSizeType(type)) return BaseTypeDataSize(type, 0);
  return size;
}

TABSMemBlock NewCopy(const void* value, int32_t size) {
  TABSMemBlock block(MemoryManager().GetMem(static_cast<size_t>(size)), size);
  std::memcpy(block.data(), value, static_cast<size_t>(size));
  return block;
}

}  // namespace

TABSVariant& TABSVariant::operator=(const TABSVariant& other) {
  if (this != &other) Assign(other, TABSCopyMode::Copy);
  return *this;
}

TABSVariant::TABSVariant(TABSVariant&& other) noexcept
    : type_(other.type_),
      size_(other.size_),
      data_(other.data_),
      borrowed_(other.borrowed_),
      nullMarker_(other.nullMarker_) {
  other.data_ = nullptr;
  other.size_ = 0;
  other.borrowed_ = false;
  other.nullMarker_ = kNullMarker;
}

TABSVariant& TABSVariant::operator=(TABSVariant&& other) noexcept {
  if (this != &other) {
    FreePayload();
    type_ = other.type_;
    size_ = other.size_;
    data_ = other.data_;
    borrowed_ = other.borrowed_;
    nullMarker_ = other.nullMarker_;
    other.data_ = nullptr;
    other.size_ = 0;
    other.borrowed_ = false;
    other.nullMarker_ = kNullMarker;
  }
  return *this;
}

void TABSVariant::FreePayload() noexcept {
  if (data_ && !borrowed_) {
    TABSMemBlock owned(data_, size_);  // released here, exactly once
  }
  data_ = nullptr;
  borrowed_ = false;
}

void TABSVariant::TakeBlock(TABSMemBlock block) {
  size_ = block.size();
  data_ = block.Release();
  borrowed_ = false;
  nullMarker_ = data_ ? 0 : kNullMarker;
}

void TABSVariant::MakeOwned() {
  if (!borrowed_ || !data_) return;
  TABSMemBlock copy = NewCopy(data_, size_);
  data_ = nullptr;
  borrowed_ = false;
  const uint8_t marker = nullMarker_;
  TakeBlock(std::move(copy));
  nullMarker_ = marker;
}

void TABSVariant::Clear(TABSBaseType type) {
  FreePayload();
  type_ = type;
  size_ = 0;
  nullMarker_ = kNullMarker;
}

void TABSVariant::CheckNotNull() const {
  if (IsNull()) throw EABSException(msg::kVariantValueIsNull);
}

void TABSVariant::Assign(const TABSVariant& other, TABSCopyMode mode) {
  if (this == &other) return;
  TABSMemBlock copy;
  if (!other.IsNull() && mode == TABSCopyMode::Copy) copy = NewCopy(other.data_, other.size_);
  Clear(bt::kNone);
  type_ = other.type_;
  if (other.IsNull()) return;
  if (mode == TABSCopyMode::Copy) {
    TakeBlock(std::move(copy));
  } else {
    data_ = other.data_;
    size_ = other.size_;
    borrowed_ = true;
  }
  nullMarker_ = other.nullMarker_;
}

void TABSVariant::SetRaw(const void* value, int32_t size, TABSBaseType type, TABSCopyMode mode) {
  if (mode == TABSCopyMode::Borrow) {
    Clear(type);
    data_ = const_cast<void*>(value);
    borrowed_ = data_ != nullptr;
  } else if (!value || size <= 0) {
    Clear(type);
  } else if (data_ && !borrowed_ && size_ == size) {
    std::memmove(data_, value, static_cast<size_t>(size));  // same-size owned payload: written in place
  } else {
    TABSMemBlock copy = NewCopy(value, size);
    Clear(type);
    TakeBlock(std::move(copy));
  }
  type_ = type;
  size_ = data_ ? size : 0;
  nullMarker_ = 0;
}

bool TABSVariant::CopyRawTo(void* buffer, int32_t capacity) const {
  if (IsNull()) return false;
  if (capacity != -1 && capacity < size_) throw EABSException(msg::kBufferSizeExceeded);
  // An empty string is the terminator alone.
  if (IsStringBaseType(type_) && size_ <= (IsWideStringBaseType(type_) ? 2 : 1)) return false;
  std::memcpy(buffer, data_, static_cast<size_t>(size_));
  return true;
}

int32_t TABSVariant::StringLength() const {
  if (!IsStringBaseType(type_) || IsNull()) return -1;
  return IsWideStringBaseType(type_) ? size_ / 2 - 1 : size_ - 1;
}

void TABSVariant::SetTypedValue(TABSBaseType type, const void* value, int32_t size) {
  const int32_t valueSize = value ? TypedValueSize(type, value, size) : 0;
  // Same fixed-size type over an owned payload of that size: overwrite in place, no allocation.
  if (type_ == type && data_ && !borrowed_ && IsFixedSizeType(type) && size_ == valueSize) {
    std::memcpy(data_, value, static_cast<size_t>(valueSize));
    nullMarker_ = 0;
    return;
  }
  const TABSBaseType target = type_ != bt::kNone ? type_ : type;
  const bool empty = !value || valueSize <= 0 ||
                     (IsStringBaseType(type) && valueSize <= (IsWideStringBaseType(type) ? 2 : 1));
  if (empty) {
    Clear(target);
    return;
  }
  // Built before the old payload goes, so that a failed conversion leaves the value as it was.
  TABSMemBlock block =
      target == type ? NewCopy(value, valueSize) : ConvertRawValue(value, valueSize, type, target);
  Clear(target);
  TakeBlock(std::move(block));
}

void TABSVariant::GetTypedValue(TABSBaseType type, void* destination) const {
  CheckNotNull();
  const int32_t size = BaseTypeDataSize(type, 0);
  if (type_ == type) {
    const int32_t available = size_ < size ? size_ : size;
    std::memcpy(destination, data_, static_cast<size_t>(available));
    if (available < size)
      std::memset(static_cast<char*>(destination) + available, 0, static_cast<size_t>(size - available));
    return;
  }
  const TABSMemBlock block = ConvertRawValue(data_, size_, type_, type);
  std::memcpy(destination, block.data(), static_cast<size_t>(size));
}

TABSMemBlock TABSVariant::GetTypedValue(TABSBaseType type) const {
  CheckNotNull();
  return ConvertRawValue(data_, size_, type_, type);
}

void TABSVariant::SetText(TABSBaseType type, std::string_view text) {
  const std::string terminated(text);
  SetTypedValue(type, terminated.c_str());
}

void TABSVariant::SetWideText(TABSBaseType type, std::u16string_view text) {
  const std::u16string terminated(text);
  SetTypedValue(type, terminated.c_str());
}

std::string TABSVariant::GetText(TABSBaseType type) const {
  CheckNotNull();
  if (type_ == bt::kChar || type_ == bt::kString) return std::string(AnsiPayload(data_, size_));
  const TABSMemBlock block = ConvertRawValue(data_, size_, type_, type);
  return std::string(AnsiPayload(block.data(), block.size()));
}

std::u16string TABSVariant::GetWideText(TABSBaseType type) const {
  CheckNotNull();
  if (IsWideStringBaseType(type_)) return WidePayload(data_, size_);
  const TABSMemBlock block = ConvertRawValue(data_, size_, type_, type);
  return WidePayload(block.data(), block.size());
}

void TABSVariant::SetAsExtended(long double value) {
  uint8_t bytes[kExtendedSize];
  LongDoubleToExtended(value, bytes);
  SetTypedValue(bt::kExtended, bytes);
}

long double TABSVariant::GetAsExtended() const {
  uint8_t bytes[kExtendedSize];
  GetTypedValue(bt::kExtended, bytes);
  return ExtendedToLongDouble(bytes);
}

void TABSVariant::SetAsDate(double dateTime) {
  const int32_t dayNumber = DateTimeToDayNumber(dateTime);
  SetTypedValue(bt::kDate, &dayNumber);
}

void TABSVariant::SetAsTime(double dateTime) {
  const int32_t milliseconds = DateTimeToMilliseconds(dateTime);
  SetTypedValue(bt::kTime, &milliseconds);
}

void TABSVariant::SetAsDateTime(double dateTime) {
  const TABSDateTimePair pair = DateTimeToPair(dateTime);
  uint8_t bytes[8];
  StoreRaw(bytes, pair.dayNumber);
  StoreRaw(bytes + 4, pair.milliseconds);
  SetTypedValue(bt::kDateTime, bytes);
}

double TABSVariant::GetAsDateTime() const {
  uint8_t bytes[8];
  GetTypedValue(bt::kDateTime, bytes);
  return PairToDateTime({LoadRaw<int32_t>(bytes), LoadRaw<int32_t>(bytes + 4)});
}

void TABSVariant::SetAsBlob(std::span<const uint8_t> bytes) {
  std::string payload(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  payload.push_back('\0');
  SetTypedValue(bt::kBlob, payload.data(), static_cast<int32_t>(payload.size()));
}

void TABSVariant::SetAsLogical(bool value) {
  const int16_t stored = value ? -1 : 0;
  SetTypedValue(bt::kLogical, &stored);
}

std::string TABSVariant::GetAsBlob() const {
  CheckNotNull();
  if (type_ == bt::kBlob) return std::string(static_cast<const char*>(data_), size_ > 0 ? size_ - 1 : 0);
  const TABSMemBlock block = ConvertRawValue(data_, size_, type_, bt::kBlob);
  return std::string(static_cast<const char*>(block.data()), block.size() > 0 ? block.size() - 1 : 0);
}

std::string TABSVariant::GetAsMemo() const {
  const TABSMemBlock block = GetTypedValue(bt::kMemo);
  return std::string(static_cast<const char*>(block.data()), static_cast<size_t>(block.size()));
}

std::u16string TABSVariant::GetAsWideMemo() const {
  const TABSMemBlock block = GetTypedValue(bt::kWideMemo);
  std::u16string text(static_cast<size_t>(block.size()) / 2, u'\0');
  if (!text.empty()) std::memcpy(text.data(), block.data(), text.size() * 2);
  return text;
}

std::string TABSVariant::GetAsBytes() const {
  const TABSMemBlock block = GetTypedValue(type_ == bt::kVarBytes ? bt::kVarBytes : bt::kBytes);
  return std::string(static_cast<const char*>(block.data()), static_cast<size_t>(block.size()));
}

void TABSVariant::ConvertTo(TABSBaseType type) {
  if (type_ == type) return;
  if (IsNull()) {
    Clear(type);
    return;
  }
  TABSMemBlock block;
  if (type_ == bt::kMemo && type == bt::kString) {
    // The memo's text gains its terminator.
    block = TABSMemBlock(MemoryManager().GetMem(static_cast<size_t>(size_) + 1), size_ + 1);
    std::memcpy(block.data(), data_, static_cast<size_t>(size_));
    static_cast<char*>(block.data())[size_] = '\0';
  } else {
    block = ConvertRawValue(data_, size_, type_, type);
  }
  Clear(type);
  TakeBlock(std::move(block));
}

void TABSVariant::CastToOrNull(TABSBaseType type) {
  try {
    ConvertTo(type);
  } catch (const Exception&) {
    Clear(type);
  }
}

void TABSVariant::SetAsVariant(const Variant& value) {
  const uint16_t kind = value.Kind();
  switch (kind) {
    case vk::kEmpty:
    case vk::kNull:
      SetNull();
      return;
    case vk::kSmallint:
      SetAsSmallInt(static_cast<int16_t>(value.AsInt64()));
      return;
    case vk::kInteger:
      SetAsInteger(static_cast<int32_t>(value.AsInt64()));
      return;
    case vk::kSingle:
      SetAsSingle(static_cast<float>(value.AsDouble()));
      return;
    case vk::kDouble:
      SetAsFloat(value.AsDouble());
      return;
    case vk::kCurrency:
      SetAsCurrency(value.AsDouble());
      return;
    case vk::kDate:
      SetAsDateTime(value.AsDouble());
      return;
    case vk::kWideString:
      SetAsWideString(value.AsWideString());
      return;
    case vk::kBoolean:
      SetAsLogical(value.AsBoolean());
      return;
    case vk::kShortInt:
      SetAsShortInt(static_cast<int8_t>(value.AsInt64()));
      return;
    case vk::kByte:
      SetAsByte(static_cast<uint8_t>(value.AsInt64()));
      return;
    case vk::kWord:
      SetAsWord(static_cast<uint16_t>(value.AsInt64()));
      return;
    case vk::kLongWord:
      SetAsCardinal(static_cast<uint32_t>(value.AsInt64()));
      return;
    case vk::kInt64:
      SetAsLargeInt(value.AsInt64());
      return;
    default:
      if (value.IsStringKind()) {
        SetAsString(value.AsString());
        return;
      }
      throw EABSException(msg::kUnsupportedVariantKind, std::to_string(kind));
  }
}

Variant TABSVariant::GetAsVariant() const {
  if (IsNull()) return Variant::Null();
  switch (type_) {
    case bt::kChar:
    case bt::kString:
      return Variant::FromString(GetAsString());
    case bt::kWideChar:
    case bt::kWideString:
      return Variant::FromWideString(GetAsWideString());
    case bt::kShortInt:
      return Variant::FromShortInt(GetAsShortInt());
    case bt::kSmallInt:
      return Variant::FromSmallint(GetAsSmallInt());
    case bt::kInteger:
      return Variant::FromInteger(GetAsInteger());
    case bt::kLargeInt:
      return Variant::FromInt64(GetAsLargeInt());
    case bt::kByte:
      return Variant::FromByte(GetAsByte());
    case bt::kWord:
      return Variant::FromWord(GetAsWord());
    case bt::kCardinal:
      return Variant::FromLongWord(GetAsCardinal());
    case bt::kSingle:
    case bt::kFloat:
    case bt::kCurrency:
      return Variant::FromDouble(GetAsFloat());
    case bt::kExtended:
      return Variant::FromDouble(static_cast<double>(GetAsExtended()));
    case bt::kDate:
      return Variant::FromDouble(GetAsDate());
    case bt::kTime:
      return Variant::FromDouble(GetAsTime());
    case bt::kDateTime:
      return Variant::FromDate(GetAsDateTime());
    case bt::kBlob:
      return Variant::FromString(GetAsBlob());
    case bt::kLogical:
      return Variant::FromBoolean(GetAsLogical());
    default:
      throw EABSException(msg::kUnsupportedVariantType, BaseTypeName(type_));
  }
}

}  // namespace viz
