// Copying and converting stored values between base types.
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/platform/text.h"
#include "engine/storage/memory_manager.h"
#include "engine/types/date_time.h"
#include "engine/types/errors.h"
#include "engine/types/extended.h"
#include "engine/types/raw_access.h"
#include "engine/types/raw_values.h"
#include "engine/types/text_forms.h"

namespace viz {

TABSMemBlock CopyValueToNewMemory(TABSBaseType baseType, const void* value) {
  int32_t size;
  if (baseType == bt::kChar || baseType == bt::kString) {
    size = static_cast<int32_t>(std::strlen(static_cast<const char*>(value)) + 1);
  } else if (IsWideStringBaseType(baseType)) {
    size = static_cast<int32_t>(2 * (WidePayloadLength(value, -1) + 1));
  } else {
    size = BaseTypeDataSize(baseType, 0);
  }
  TABSMemBlock block(MemoryManager().GetMem(static_cast<size_t>(size)), size);
  try {
    std::memcpy(block.data(), value, static_cast<size_t>(size));
  } catch (...) {
    throw EABSException(msg::kCannotCopyIntoNewMemory);
  }
  return block;
}

namespace {

// A failed parse or arithmetic step inside a conversion.
struct ConversionFailed {};

TABSMemBlock NewAnsi(std::string_view text) {
  const std::string terminated(text);
  return CopyValueToNewMemory(bt::kChar, terminated.c_str());
}

TABSMemBlock NewWide(std::u16string_view text) {
  const std::u16string terminated(text);
  return CopyValueToNewMemory(bt::kWideChar, terminated.c_str());
}

template <class T>
TABSMemBlock NewFixed(TABSBaseType type, T value) {
  unsigned char bytes[16] = {};
  StoreRaw(bytes, value);
  return CopyValueToNewMemory(type, bytes);
}

TABSMemBlock NewExtended(long double value) {
  unsigned char bytes[16] = {};
  LongDoubleToExtended(value, bytes);
  return CopyValueToNewMemory(bt::kExtended, bytes);
}

TABSMemBlock NewPair(TABSDateTimePair pair) {
  unsigned char bytes[8];
  StoreRaw(bytes, pair.dayNumber);
  StoreRaw(bytes + 4, pair.milliseconds);
  return CopyValueToNewMemory(bt::kDateTime, bytes);
}

TABSMemBlock NewLogical(bool value) {
  return NewFixed<int16_t>(bt::kLogical, value ? -1 : 0);
}

bool IsIntegerType(TABSBaseType t) {
  return t >= bt::kShortInt && t <= bt::kCardinal;
}
bool IsFloatType(TABSBaseType t) {
  return (t >= bt::kSingle && t <= bt::kExtended) || t == bt::kCurrency;
}
bool IsAnsiText(TABSBaseType t) {
  return t == bt::kChar || t == bt::kString || t == bt::kMemo;
}
bool IsWideText(TABSBaseType t) {
  return IsWideStringBaseType(t) || t == bt::kWideMemo;
}

int64_t LoadInteger(TABSBaseType type, const void* value) {
  switch (type) {
    case bt::kShortInt:
      return LoadRaw<int8_t>(value);
    case bt::kSmallInt:
      return LoadRaw<int16_t>(value);
    case bt::kInteger:
      return LoadRaw<int32_t>(value);
    case bt::kLargeInt:
      return LoadRaw<int64_t>(value);
    case bt::kByte:
      return LoadRaw<uint8_t>(value);
    case bt::kWord:
      return LoadRaw<uint16_t>(value);
    default:
      return LoadRaw<uint32_t>(value);
  }
}

long double LoadFloat(TABSBaseType type, const void* value) {
  switch (type) {
    case bt::kSingle:
      return LoadRaw<float>(value);
    case bt::kExtended:
      return ExtendedToLongDouble(value);
    default:
      return LoadRaw<double>(value);
  }
}

// Stores an integer in an integer type, keeping the low bits that fit its width.
TABSMemBlock NewInteger(TABSBaseType type, int64_t value) {
  switch (type) {
    case bt::kShortInt:
      return NewFixed(type, static_cast<int8_t>(value));
    case bt::kSmallInt:
      return NewFixed(type, static_cast<int16_t>(value));
    case bt::kInteger:
      return NewFixed(type, static_cast<int32_t>(value));
    case bt::kLargeInt:
      return NewFixed(type, value);
    case bt::kByte:
      return NewFixed(type, static_cast<uint8_t>(value));
    case bt::kWord:
      return NewFixed(type, static_cast<uint16_t>(value));
    default:
      return NewFixed(type, static_cast<uint32_t>(value));
  }
}

// Stores a floating value in a floating type; a finite value too large for the target fails.
TABSMemBlock NewFloat(TABSBaseType type, long double value) {
  switch (type) {
    case bt::kSingle:
      if (std::isfinite(value) && std::fabs(value) > FLT_MAX) throw ConversionFailed();
      return NewFixed(type, static_cast<float>(value));
    case bt::kExtended:
      return NewExtended(value);
    default:
      if (std::isfinite(value) && std::fabs(value) > DBL_MAX) throw ConversionFailed();
      return NewFixed(type, static_cast<double>(value));
  }
}

TABSMemBlock NewNumber(TABSBaseType type, int64_t value) {
  return IsIntegerType(type) ? NewInteger(type, value) : NewFloat(type, static_cast<long double>(value));
}

// Truncates toward zero into 64 bits; a value outside them (or NaN) fails.
int64_t TruncateToInteger(long double value) {
  const long double whole = std::trunc(value);
  if (!(whole >= -0x1p63L && whole < 0x1p63L)) throw ConversionFailed();
  return static_cast<int64_t>(whole);
}

int32_t TruncateToInt32(long double value) {
  const long double whole = std::trunc(value);
  if (!(whole >= INT32_MIN && whole <= INT32_MAX)) throw ConversionFailed();
  return static_cast<int32_t>(whole);
}

// Text of a value to a number, date or logical target: the rules shared by every text source.
TABSMemBlock FromText(std::string_view text, TABSBaseType fromType, TABSBaseType toType) {
  const bool fixedDigits = fromType == bt::kChar || fromType == bt::kString;
  if (IsIntegerType(toType)) {
    // CARDINAL values above 2147483647 must read back from their own text, so CARDINAL takes the
    // 64-bit parse too.
    const bool wideParse = (toType == bt::kLargeInt && fromType != bt::kMemo && fromType != bt::kWideMemo) ||
                           toType == bt::kCardinal;
    std::optional<int64_t> value;
    if (wideParse) {
      value = TextToInt64(text);
    } else if (const std::optional<int32_t> narrow = TextToInt32(text)) {
      value = *narrow;
    }
    if (!value) throw ConversionFailed();
    return NewInteger(toType, *value);
  }
  if (IsFloatType(toType)) {
    const std::optional<long double> value = TextToFloat(text);
    if (!value) throw ConversionFailed();
    return NewFloat(toType, *value);
  }
  if (toType == bt::kLogical) return NewLogical(TextIsTrue(text));
  if (toType == bt::kTime) {
    double dateTime;
    if (fixedDigits && ParseDigitsTime(text, dateTime)) {
      return NewFixed(toType, DateTimeToMilliseconds(dateTime));
    }
    const std::optional<int32_t> milliseconds = TextToMilliseconds(text);
    if (!milliseconds) throw ConversionFailed();
    return NewFixed(toType, *milliseconds);
  }
  // DATE and DATETIME.
  std::optional<TABSDateTimePair> pair;
  double dateTime;
  if (fixedDigits && (ParseDigitsDateTime(text, dateTime) || ParseDigitsDate(text, dateTime))) {
    pair = DateTimeToPair(dateTime);
  } else {
    pair = TextToPair(text);
  }
  if (!pair) throw ConversionFailed();
  if (toType == bt::kDate) return NewFixed(toType, pair->dayNumber);
  return NewPair(*pair);
}

TABSMemBlock FromTextSource(const void* value, int32_t size, TABSBaseType fromType, TABSBaseType toType) {
  const bool wide = IsWideText(fromType);
  if (toType == bt::kChar || toType == bt::kString) {
    return wide ? NewAnsi(platform::Utf16ToWin1252(WidePayload(value, size)))
                : NewAnsi(AnsiPayload(value, size));
  }
  if (IsWideStringBaseType(toType)) {
    return wide ? NewWide(WidePayload(value, size))
                : NewWide(platform::Win1252ToUtf16(AnsiPayload(value, size)));
  }
  if (toType == bt::kBlob)
    return wide ? NewWide(WidePayload(value, size)) : NewAnsi(AnsiPayload(value, size));
  if (IsNumericBaseType(toType) || IsDateTimeBaseType(toType) || toType == bt::kLogical) {
    if (wide) return FromText(platform::Utf16ToWin1252(WidePayload(value, size)), fromType, toType);
    return FromText(AnsiPayload(value, size), fromType, toType);
  }
  return {};
}

// A value of a non-text type as text, or an empty text for the empty date and time.
std::string NonTextToText(const void* value, TABSBaseType fromType) {
  if (IsIntegerType(fromType)) return std::to_string(LoadInteger(fromType, value));
  switch (fromType) {
    case bt::kSingle:
      return FloatToText(LoadRaw<float>(value));
    case bt::kFloat:
    case bt::kCurrency:
      return FloatToText(LoadRaw<double>(value));
    case bt::kExtended:
      return FloatToText(ExtendedToLongDouble(value));
    case bt::kDate: {
      const int32_t dayNumber = LoadRaw<int32_t>(value);
      return dayNumber == kEmptyDate ? std::string() : DayNumberToText(dayNumber);
    }
    case bt::kTime: {
      const int32_t milliseconds = LoadRaw<int32_t>(value);
      return milliseconds == 0 ? std::string() : MillisecondsToText(milliseconds);
    }
    case bt::kDateTime: {
      const TABSDateTimePair pair{LoadRaw<int32_t>(value),
                                  LoadRaw<int32_t>(static_cast<const char*>(value) + 4)};
      if (pair.dayNumber == kEmptyDate)
        return pair.milliseconds == 0 ? std::string() : MillisecondsToText(pair.milliseconds);
      return PairToText(pair);
    }
    default:
      return LoadRaw<int16_t>(value) != 0 ? "True" : "False";
  }
}

TABSMemBlock FromInteger(int64_t value, TABSBaseType toType) {
  if (IsNumericBaseType(toType)) return NewNumber(toType, value);
  switch (toType) {
    case bt::kDate:
    case bt::kTime:
      return NewFixed(toType, static_cast<int32_t>(value));
    case bt::kDateTime:
      return NewPair({static_cast<int32_t>(value), 0});
    case bt::kLogical:
      return NewLogical(value != 0);
    default:
      return {};
  }
}

TABSMemBlock FromFloat(long double value, TABSBaseType toType) {
  if (IsIntegerType(toType)) return NewInteger(toType, TruncateToInteger(value));
  if (IsFloatType(toType)) return NewFloat(toType, value);
  switch (toType) {
    case bt::kDate:
      return NewFixed(toType, TruncateToInt32(value));
    case bt::kTime:
      return NewFixed(toType, static_cast<int32_t>(TruncateToInteger(value) % kMillisecondsPerDay));
    case bt::kDateTime: {
      const int32_t dayNumber = TruncateToInt32(value);
      const long double fraction = value - std::trunc(value);
      return NewPair({dayNumber, static_cast<int32_t>(std::trunc(fraction * kMillisecondsPerDay))});
    }
    case bt::kLogical:
      return NewLogical(value != 0);
    default:
      return {};
  }
}

TABSMemBlock FromDateTime(TABSDateTimePair pair, TABSBaseType toType) {
  const bool empty = pair.dayNumber == kEmptyDate && pair.milliseconds == 0;
  if (IsIntegerType(toType)) return NewInteger(toType, pair.dayNumber);
  if (IsFloatType(toType)) {
    long double days = 0;
    if (pair.dayNumber != kEmptyDate) days = pair.dayNumber;
    if (pair.milliseconds != 0) days += static_cast<long double>(pair.milliseconds) / kMillisecondsPerDay;
    return NewFloat(toType, days);
  }
  switch (toType) {
    case bt::kDate:
      return NewFixed(toType, pair.dayNumber);
    case bt::kTime:
      return NewFixed(toType, pair.milliseconds);
    case bt::kLogical:
      return NewLogical(!empty);
    default:
      return {};
  }
}

TABSMemBlock Convert(const void* value, int32_t size, TABSBaseType fromType, TABSBaseType toType) {
  if (IsAnsiText(fromType) || IsWideText(fromType)) return FromTextSource(value, size, fromType, toType);
  // Blob and byte kinds have no conversions; no other source reaches a blob or byte kind.
  if (IsBlobBaseType(fromType) || IsBlobBaseType(toType) || fromType == bt::kBytes ||
      fromType == bt::kVarBytes || toType == bt::kBytes || toType == bt::kVarBytes) {
    return {};
  }
  if (toType == bt::kChar || toType == bt::kString) return NewAnsi(NonTextToText(value, fromType));
  if (IsWideStringBaseType(toType)) return NewWide(platform::Win1252ToUtf16(NonTextToText(value, fromType)));
  if (IsIntegerType(fromType)) return FromInteger(LoadInteger(fromType, value), toType);
  if (IsFloatType(fromType)) return FromFloat(LoadFloat(fromType, value), toType);
  switch (fromType) {
    case bt::kDate: {
      const int32_t dayNumber = LoadRaw<int32_t>(value);
      if (toType == bt::kTime) return NewFixed(toType, dayNumber % kMillisecondsPerDay);
      if (toType == bt::kDateTime) return NewPair({dayNumber, 0});
      if (toType == bt::kLogical) return NewLogical(dayNumber != kEmptyDate);
      return NewNumber(toType, dayNumber);
    }
    case bt::kTime: {
      const int32_t milliseconds = LoadRaw<int32_t>(value);
      if (toType == bt::kDate) return NewFixed(toType, milliseconds);
      if (toType == bt::kDateTime) return NewPair({kEmptyDate, milliseconds});
      if (toType == bt::kLogical) return NewLogical(milliseconds != 0);
      return NewNumber(toType, milliseconds);
    }
    case bt::kDateTime:
      return FromDateTime({LoadRaw<int32_t>(value), LoadRaw<int32_t>(static_cast<const char*>(value) + 4)},
                          toType);
    case bt::kLogical:
      if (IsNumericBaseType(toType)) return NewNumber(toType, LoadRaw<int16_t>(value) != 0 ? 1 : 0);
      return {};
    default:
      return {};
  }
}

// Same-type conversions copy the value: text up to its terminator, other kinds their bytes.
TABSMemBlock CopySameType(const void* value, int32_t size, TABSBaseType type) {
  if (type == bt::kChar || type == bt::kString) return NewAnsi(AnsiPayload(value, size));
  if (IsWideStringBaseType(type)) return NewWide(WidePayload(value, size));
  const int32_t fixedSize =
      (type >= bt::kShortInt && type <= bt::kDateTime) || type == bt::kLogical || type == bt::kCurrency
          ? BaseTypeDataSize(type, 0)
          : size;
  if (fixedSize <= 0) return {};
  TABSMemBlock block(MemoryManager().GetMem(static_cast<size_t>(fixedSize)), fixedSize);
  std::memcpy(block.data(), value, static_cast<size_t>(fixedSize));
  return block;
}

}  // namespace

TABSMemBlock ConvertRawValue(const void* value, int32_t size, TABSBaseType fromType, TABSBaseType toType) {
  TABSMemBlock result;
  if (fromType == toType && fromType >= bt::kChar && fromType <= bt::kLast) {
    result = CopySameType(value, size, fromType);
    if (result.data() || size <= 0) return result;
  } else if (fromType >= bt::kChar && fromType <= bt::kLast && toType >= bt::kChar && toType <= bt::kLast) {
    try {
      result = Convert(value, size, fromType, toType);
    } catch (const ConversionFailed&) {
      throw EABSException(msg::kCannotCastFailed, BaseTypeName(fromType), BaseTypeName(toType));
    }
    if (result.data()) return result;
  }
  throw EABSException(msg::kCannotCastUnsupported, BaseTypeName(fromType), BaseTypeName(toType));
}

}  // namespace viz
