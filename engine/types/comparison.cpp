// Common types, comparison of stored values, LIKE matching and wide case mapping.
#include <cmath>
#include <cstring>

#include "engine/platform/collation.h"
#include "engine/platform/text.h"
#include "engine/types/errors.h"
#include "engine/types/extended.h"
#include "engine/types/raw_access.h"
#include "engine/types/raw_values.h"

namespace viz {
namespace {

constexpr bool In(TABSBaseType t, TABSBaseType low, TABSBaseType high) {
  return t >= low && t <= high;
}

}  // namespace

TABSBaseType CommonBaseType(TABSBaseType t1, TABSBaseType t2, bool datesWin) {
  const bool dateTime2 = In(t2, bt::kDate, bt::kDateTime);
  const bool text2 = In(t2, bt::kChar, bt::kWideString);
  switch (t1) {
    case bt::kChar:
      if (t2 == bt::kWideChar || t2 == bt::kWideMemo) return bt::kWideChar;
      if (t2 == bt::kString || t2 == bt::kWideString) return t2;
      if (dateTime2) return datesWin ? t2 : bt::kChar;
      if (t2 == bt::kChar || In(t2, bt::kShortInt, bt::kExtended) || t2 == bt::kMemo || t2 == bt::kLogical ||
          t2 == bt::kCurrency) {
        return bt::kChar;
      }
      return 0;
    case bt::kWideChar:
      if (t2 == bt::kWideString) return bt::kWideString;
      if (dateTime2) return datesWin ? t2 : bt::kWideChar;
      if (In(t2, bt::kChar, bt::kString) || In(t2, bt::kShortInt, bt::kExtended) ||
          In(t2, bt::kMemo, bt::kCurrency)) {
        return bt::kWideChar;
      }
      return 0;
    case bt::kString:
      if (t2 == bt::kWideChar) return bt::kWideChar;
      if (t2 == bt::kWideString || t2 == bt::kWideMemo) return bt::kWideString;
      if (dateTime2) return datesWin ? t2 : bt::kString;
      if (t2 == bt::kChar || t2 == bt::kString || In(t2, bt::kShortInt, bt::kExtended) || t2 == bt::kMemo ||
          t2 == bt::kLogical || t2 == bt::kCurrency) {
        return bt::kString;
      }
      return 0;
    case bt::kWideString:
      if (dateTime2) return datesWin ? t2 : bt::kWideString;
      if (In(t2, bt::kChar, bt::kExtended) || In(t2, bt::kMemo, bt::kCurrency)) return bt::kWideString;
      return 0;
    case bt::kShortInt:
    case bt::kSmallInt:
      if (text2) return t2;
      if (t2 == bt::kShortInt || t2 == bt::kLogical) return t1;
      if (t2 == bt::kSmallInt || t2 == bt::kByte) return bt::kSmallInt;
      if (t2 == bt::kInteger || t2 == bt::kLargeInt || In(t2, bt::kWord, bt::kDateTime) ||
          t2 == bt::kCurrency) {
        return t2;
      }
      return 0;
    case bt::kInteger:
      if (text2) return t2;
      if (In(t2, bt::kShortInt, bt::kInteger) || t2 == bt::kByte || t2 == bt::kWord || t2 == bt::kLogical) {
        return bt::kInteger;
      }
      if (t2 == bt::kLargeInt || t2 == bt::kCardinal) return bt::kLargeInt;
      if (In(t2, bt::kSingle, bt::kDateTime) || t2 == bt::kCurrency) return t2;
      return 0;
    case bt::kLargeInt:
      if (text2) return t2;
      if (In(t2, bt::kShortInt, bt::kCardinal) || t2 == bt::kLogical) return bt::kLargeInt;
      if (In(t2, bt::kSingle, bt::kDateTime) || t2 == bt::kCurrency) return t2;
      return 0;
    case bt::kByte:
      if (text2) return t2;
      if (t2 == bt::kShortInt || t2 == bt::kSmallInt) return bt::kSmallInt;
      if (t2 == bt::kByte || t2 == bt::kLogical) return bt::kByte;
      if (t2 == bt::kInteger || t2 == bt::kLargeInt || In(t2, bt::kWord, bt::kDateTime) ||
          t2 == bt::kCurrency) {
        return t2;
      }
      return 0;
    case bt::kWord:
      if (text2) return t2;
      if (In(t2, bt::kShortInt, bt::kInteger)) return bt::kInteger;
      if (t2 == bt::kByte || t2 == bt::kWord || t2 == bt::kLogical) return bt::kWord;
      if (t2 == bt::kLargeInt || In(t2, bt::kCardinal, bt::kDateTime) || t2 == bt::kCurrency) return t2;
      return 0;
    case bt::kCardinal:
      if (text2) return t2;
      if (In(t2, bt::kShortInt, bt::kLargeInt)) return bt::kLargeInt;
      if (In(t2, bt::kByte, bt::kCardinal) || t2 == bt::kLogical) return bt::kCardinal;
      if (In(t2, bt::kSingle, bt::kDateTime) || t2 == bt::kCurrency) return t2;
      return 0;
    case bt::kSingle:
    case bt::kFloat:
    case bt::kExtended:
      if (text2) return t2;
      if (In(t2, bt::kShortInt, t1) || t2 == bt::kLogical) return t1;
      if (In(t2, static_cast<TABSBaseType>(t1 + 1), bt::kDateTime) || t2 == bt::kCurrency) return t2;
      return 0;
    case bt::kDate:
      if (text2) return datesWin ? bt::kDate : t2;
      if (In(t2, bt::kShortInt, bt::kDate)) return bt::kDate;
      if (t2 == bt::kTime || t2 == bt::kDateTime) return bt::kDateTime;
      return 0;
    case bt::kTime:
      if (text2) return datesWin ? bt::kTime : t2;
      if (In(t2, bt::kShortInt, bt::kExtended) || t2 == bt::kTime) return bt::kTime;
      if (t2 == bt::kDate || t2 == bt::kDateTime) return bt::kDateTime;
      return 0;
    case bt::kDateTime:
      if (text2) return datesWin ? bt::kDateTime : t2;
      if (In(t2, bt::kShortInt, bt::kDateTime)) return bt::kDateTime;
      return 0;
    case bt::kMemo:
      if (t2 == bt::kChar || t2 == bt::kMemo) return bt::kChar;
      if (t2 == bt::kWideChar || t2 == bt::kWideMemo) return bt::kWideChar;
      if (t2 == bt::kString || t2 == bt::kWideString) return t2;
      return 0;
    case bt::kWideMemo:
      if (t2 == bt::kChar || t2 == bt::kWideChar || t2 == bt::kMemo || t2 == bt::kWideMemo)
        return bt::kWideChar;
      if (t2 == bt::kString || t2 == bt::kWideString) return bt::kWideString;
      return 0;
    case bt::kLogical:
      if (In(t2, bt::kChar, bt::kExtended)) return t2;
      if (t2 == bt::kLogical) return bt::kLogical;
      return 0;
    case bt::kCurrency:
      if (In(t2, bt::kChar, bt::kExtended)) return t2;
      if (t2 == bt::kCurrency) return bt::kCurrency;
      return 0;
    default:
      return 0;
  }
}

TABSDataType CommonDataType(TABSDataType dataType1, TABSDataType dataType2, bool datesWin) {
  const TABSBaseType common = CommonBaseType(BaseTypeOf(dataType1), BaseTypeOf(dataType2), datesWin);
  if (common == bt::kNone) return dt::kNone;
  if (BaseTypeOf(dataType1) == common) return dataType1;
  if (BaseTypeOf(dataType2) == common) return dataType2;
  return DataTypeOfBase(common);
}

namespace {

template <class T>
int CompareOrdered(T left, T right) {
  if (left < right) return kCompareLess;
  if (left > right) return kCompareGreater;
  return kCompareEqual;  // also two unordered floating values
}

int CollationResult(int order) {
  return order < 0 ? kCompareLess : order > 0 ? kCompareGreater : kCompareEqual;
}

size_t LimitLength(size_t length, int32_t limit) {
  return limit >= 0 && static_cast<size_t>(limit) < length ? static_cast<size_t>(limit) : length;
}

int CompareAnsi(const void* value1, const void* value2, bool ignoreCase, int32_t length) {
  const char* text1 = static_cast<const char*>(value1);
  const char* text2 = static_cast<const char*>(value2);
  const size_t length1 = LimitLength(std::strlen(text1), length);
  const size_t length2 = LimitLength(std::strlen(text2), length);
  const int order = platform::CollateAnsi(text1, length1, text2, length2, ignoreCase);
  if (order < -1 || order > 1) throw EABSException(msg::kUnknownReturnCode, order + 2);
  return CollationResult(order);
}

int CompareWide(const void* value1, const void* value2, bool ignoreCase, int32_t length) {
  const size_t length1 = LimitLength(WidePayloadLength(value1, -1), length);
  const size_t length2 = LimitLength(WidePayloadLength(value2, -1), length);
  // Payloads inside record buffers need not be aligned for char16_t; only those are copied.
  std::u16string copy1, copy2;
  const char16_t* text1 = static_cast<const char16_t*>(value1);
  const char16_t* text2 = static_cast<const char16_t*>(value2);
  if (reinterpret_cast<uintptr_t>(value1) % alignof(char16_t) != 0) {
    copy1 = WidePayload(value1, -1);
    text1 = copy1.data();
  }
  if (reinterpret_cast<uintptr_t>(value2) % alignof(char16_t) != 0) {
    copy2 = WidePayload(value2, -1);
    text2 = copy2.data();
  }
  const int order = platform::CollateWide(text1, length1, text2, length2, ignoreCase);
  if (order < -1 || order > 1) throw EABSException(msg::kUnicodeNotSupported);
  return CollationResult(order);
}

int CompareSameType(const void* value1, const void* value2, TABSBaseType type, bool ignoreCase,
                    int32_t length) {
  switch (type) {
    case bt::kChar:
    case bt::kString:
      return CompareAnsi(value1, value2, ignoreCase, length);
    case bt::kWideChar:
    case bt::kWideString:
      return CompareWide(value1, value2, ignoreCase, length);
    case bt::kShortInt:
      return CompareOrdered(LoadRaw<int8_t>(value1), LoadRaw<int8_t>(value2));
    case bt::kSmallInt:
      return CompareOrdered(LoadRaw<int16_t>(value1), LoadRaw<int16_t>(value2));
    case bt::kInteger:
    case bt::kDate:
    case bt::kTime:
      return CompareOrdered(LoadRaw<int32_t>(value1), LoadRaw<int32_t>(value2));
    case bt::kLargeInt:
      return CompareOrdered(LoadRaw<int64_t>(value1), LoadRaw<int64_t>(value2));
    case bt::kByte:
      return CompareOrdered(LoadRaw<uint8_t>(value1), LoadRaw<uint8_t>(value2));
    case bt::kWord:
      return CompareOrdered(LoadRaw<uint16_t>(value1), LoadRaw<uint16_t>(value2));
    case bt::kCardinal:
      return CompareOrdered(LoadRaw<uint32_t>(value1), LoadRaw<uint32_t>(value2));
    case bt::kDateTime: {
      const int days = CompareOrdered(LoadRaw<int32_t>(value1), LoadRaw<int32_t>(value2));
      if (days != kCompareEqual) return days;
      return CompareOrdered(LoadRaw<int32_t>(static_cast<const char*>(value1) + 4),
                            LoadRaw<int32_t>(static_cast<const char*>(value2) + 4));
    }
    case bt::kSingle:
      return CompareOrdered(LoadRaw<float>(value1), LoadRaw<float>(value2));
    case bt::kFloat:
    case bt::kCurrency:
      return CompareOrdered(LoadRaw<double>(value1), LoadRaw<double>(value2));
    case bt::kExtended:
      return CompareOrdered(ExtendedToLongDouble(value1), ExtendedToLongDouble(value2));
    case bt::kLogical:
      return CompareOrdered(LoadRaw<int16_t>(value1) != 0, LoadRaw<int16_t>(value2) != 0);
    default:
      throw EABSException(msg::kUnknownDataTypeCompare, BaseTypeName(type));
  }
}

}  // namespace

int CompareRawValues(const void* value1, const void* value2, TABSBaseType base1, TABSBaseType base2,
                     int32_t locale, bool ignoreCase, int32_t length, bool isNull1, bool isNull2,
                     int32_t size1, int32_t size2) {
  (void)locale;  // the engine's collation is the same for every locale
  if (isNull1 || isNull2) {
    if (isNull1 && isNull2) return kCompareBothNull;
    return isNull1 ? kCompareFirstNull : kCompareSecondNull;
  }
  if (base1 == base2 && base1 != bt::kMemo) {
    if (!value1 || !value2) throw EABSException(msg::kCompareValueIsNull);
    return CompareSameType(value1, value2, base1, ignoreCase, length);
  }
  const TABSBaseType common = CommonBaseType(base1, base2, true);
  if (common == bt::kNone)
    throw EABSException(msg::kIncompatibleCompare, BaseTypeName(base1), BaseTypeName(base2));
  if (!value1 || !value2) throw EABSException(msg::kCompareValueIsNull);
  // The temporaries release themselves on every path.
  TABSMemBlock converted1, converted2;
  if (base1 != common) {
    converted1 = ConvertRawValue(value1, size1, base1, common);
    value1 = converted1.data();
  }
  if (base2 != common) {
    converted2 = ConvertRawValue(value2, size2, base2, common);
    value2 = converted2.data();
  }
  return CompareSameType(value1, value2, common, ignoreCase, length);
}

namespace {

// Iterative wildcard matching with one back-tracking point: the last '%' seen. Equivalent to trying
// every split after each '%', but linear in practice and never deeper than one frame.
template <class Char, class Equal>
bool MatchWildcards(std::basic_string_view<Char> text, std::basic_string_view<Char> pattern, Equal equal) {
  size_t t = 0, p = 0;
  size_t starPattern = std::basic_string_view<Char>::npos, starText = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == Char('%')) {
      starPattern = p++;
      starText = t;
    } else if (p < pattern.size() && (pattern[p] == Char('_') || equal(text[t], pattern[p]))) {
      ++t;
      ++p;
    } else if (starPattern != std::basic_string_view<Char>::npos) {
      p = starPattern + 1;
      t = ++starText;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == Char('%')) ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchLike(std::string_view text, std::string_view pattern, bool ignoreCase) {
  return MatchWildcards(text, pattern, [ignoreCase](char a, char b) {
    return a == b || platform::CollateAnsi(&a, 1, &b, 1, ignoreCase) == 0;
  });
}

bool MatchLike(std::u16string_view text, std::u16string_view pattern, bool ignoreCase) {
  return MatchWildcards(text, pattern, [ignoreCase](char16_t a, char16_t b) {
    return a == b || platform::CollateWide(&a, 1, &b, 1, ignoreCase) == 0;
  });
}

std::u16string WideUpperCase(std::u16string_view text) {
  return platform::UpperCase(text);
}
std::u16string WideLowerCase(std::u16string_view text) {
  return platform::LowerCase(text);
}

}  // namespace viz
