#include "engine/sql/expressions/values.h"

#include <cstring>

#include "engine/platform/collation.h"
#include "engine/platform/text.h"
#include "engine/types/errors.h"
#include "engine/types/extended.h"
#include "engine/types/raw_access.h"
#include "engine/types/raw_values.h"

namespace viz {
namespace {

constexpr bool IsNumberOrLogical(TABSBaseType t) {
  return IsNumericBaseType(t) || t == bt::kLogical;
}

template <class T>
int Ordered(T left, T right) {
  if (left < right) return kCompareLess;
  if (left > right) return kCompareGreater;
  return kCompareEqual;
}

// Two numbers of different types, compared in their common type as the types layer would after
// converting both: integers widen exactly, floating types round as the conversion does.
int CompareNumbers(const TABSVariant& left, const TABSVariant& right) {
  const TABSBaseType common = CommonBaseType(left.GetType(), right.GetType(), true);
  if (IsIntegerBaseType(common)) return Ordered(*LoadInteger(left), *LoadInteger(right));
  const long double a = *LoadNumber(left), b = *LoadNumber(right);
  switch (common) {
    case bt::kSingle:
      return Ordered(static_cast<float>(a), static_cast<float>(b));
    case bt::kExtended:
      return Ordered(a, b);
    default:
      return Ordered(static_cast<double>(a), static_cast<double>(b));
  }
}

}  // namespace

int CompareValues(const TABSVariant& left, const TABSVariant& right, bool ignoreCase, int32_t length) {
  TABSBaseType a = left.GetType(), b = right.GetType();
  if (IsNarrowTextType(a) && IsNarrowTextType(b)) {
    a = b = bt::kString;  // CHAR and STRING hold the same payload and compare alike
  } else if (IsWideTextType(a) && IsWideTextType(b)) {
    a = b = bt::kWideString;
  } else if (a != b && IsNumberOrLogical(a) && IsNumberOrLogical(b)) {
    return CompareNumbers(left, right);
  }
  return CompareRawValues(left.GetData(), right.GetData(), a, b, kUserDefaultLocale, ignoreCase, length, false,
                          false, left.GetSize(), right.GetSize());
}

std::optional<int64_t> LoadInteger(const TABSVariant& value) {
  if (value.IsNull()) return std::nullopt;
  const void* data = value.GetData();
  switch (value.GetType()) {
    case bt::kShortInt:
      return LoadRaw<int8_t>(data);
    case bt::kSmallInt:
      return LoadRaw<int16_t>(data);
    case bt::kInteger:
      return LoadRaw<int32_t>(data);
    case bt::kLargeInt:
      return LoadRaw<int64_t>(data);
    case bt::kByte:
      return LoadRaw<uint8_t>(data);
    case bt::kWord:
      return LoadRaw<uint16_t>(data);
    case bt::kCardinal:
      return LoadRaw<uint32_t>(data);
    case bt::kLogical:
      return LoadRaw<int16_t>(data) != 0 ? 1 : 0;
    default:
      return std::nullopt;
  }
}

std::optional<long double> LoadNumber(const TABSVariant& value) {
  if (const std::optional<int64_t> integer = LoadInteger(value)) return static_cast<long double>(*integer);
  if (value.IsNull()) return std::nullopt;
  switch (value.GetType()) {
    case bt::kSingle:
      return LoadRaw<float>(value.GetData());
    case bt::kFloat:
    case bt::kCurrency:
      return LoadRaw<double>(value.GetData());
    case bt::kExtended:
      return ExtendedToLongDouble(value.GetData());
    default:
      return std::nullopt;
  }
}

long double NumberOf(const TABSVariant& value) {
  if (const std::optional<long double> number = LoadNumber(value)) return *number;
  return value.GetAsExtended();
}

bool TruthOf(const TABSVariant& value) {
  if (const std::optional<int64_t> number = LoadInteger(value)) return *number != 0;
  if (const std::optional<long double> number = LoadNumber(value)) return *number != 0;
  return value.GetAsLogical();
}

std::string_view NarrowView(const TABSVariant& value) {
  if (value.IsNull()) return {};
  if (value.GetType() == bt::kMemo) {
    return std::string_view(static_cast<const char*>(value.GetData()), static_cast<size_t>(value.GetSize()));
  }
  return AnsiPayload(value.GetData(), value.GetSize());
}

std::string NarrowText(const TABSVariant& value) {
  const TABSBaseType type = value.GetType();
  if (IsNarrowTextType(type) || type == bt::kMemo) return std::string(NarrowView(value));
  if (IsWideTextType(type) || type == bt::kWideMemo) return platform::Utf16ToWin1252(WideText(value));
  return value.GetAsString();
}

std::u16string WideText(const TABSVariant& value) {
  const TABSBaseType type = value.GetType();
  if (IsWideTextType(type)) return WidePayload(value.GetData(), value.GetSize());
  if (type == bt::kWideMemo) {
    std::u16string text(static_cast<size_t>(value.GetSize()) / 2, u'\0');
    if (!text.empty()) std::memcpy(text.data(), value.GetData(), text.size() * 2);
    return text;
  }
  if (IsNarrowTextType(type) || type == bt::kMemo) return platform::Win1252ToUtf16(NarrowView(value));
  return value.GetAsWideString();
}

void SetNarrowText(TABSVariant& value, TABSBaseType type, std::string_view text) {
  if (type == bt::kMemo) {
    if (text.empty()) {
      SetNullOf(value, type);
      return;
    }
    value.SetRaw(text.data(), static_cast<int32_t>(text.size()), type, TABSCopyMode::Copy);
    return;
  }
  const std::string terminated(text);
  value.SetRaw(terminated.c_str(), static_cast<int32_t>(terminated.size() + 1), type, TABSCopyMode::Copy);
}

void SetWideText(TABSVariant& value, TABSBaseType type, std::u16string_view text) {
  if (type == bt::kWideMemo) {
    if (text.empty()) {
      SetNullOf(value, type);
      return;
    }
    value.SetRaw(text.data(), static_cast<int32_t>(text.size() * 2), type, TABSCopyMode::Copy);
    return;
  }
  const std::u16string terminated(text);
  value.SetRaw(terminated.c_str(), static_cast<int32_t>((terminated.size() + 1) * 2), type, TABSCopyMode::Copy);
}

void SetLogical(TABSVariant& value, bool truth) {
  if (value.GetType() != bt::kLogical) value.Clear(bt::kLogical);
  value.SetAsLogical(truth);
}

void SetInteger(TABSVariant& value, int32_t number) {
  if (value.GetType() != bt::kInteger) value.Clear(bt::kInteger);
  value.SetAsInteger(number);
}

void CopyValue(TABSVariant& target, const TABSVariant& source) {
  if (&target == &source) return;
  if (source.IsNull()) {
    SetNullOf(target, source.GetType());
    return;
  }
  target.SetRaw(source.GetData(), source.GetSize(), source.GetType(), TABSCopyMode::Copy);
}

void SetNullOf(TABSVariant& value, TABSBaseType type) {
  if (value.GetType() == type) {
    value.SetNull();
  } else {
    value.Clear(type);
  }
}

int32_t DisplayWidth(TABSDataType dataType, int32_t ownSize) {
  switch (dataType) {
    case dt::kShortInt:
    case dt::kAutoIncShortInt:
      return 4;
    case dt::kSmallInt:
    case dt::kAutoIncSmallInt:
      return 6;
    case dt::kInteger:
    case dt::kAutoInc:
    case dt::kAutoIncInteger:
      return 11;
    case dt::kLargeInt:
    case dt::kAutoIncLargeInt:
      return 20;
    case dt::kByte:
    case dt::kAutoIncByte:
      return 3;
    case dt::kWord:
    case dt::kAutoIncWord:
      return 5;
    case dt::kCardinal:
    case dt::kAutoIncCardinal:
      return 10;
    case dt::kSingle:
    case dt::kFloat:
    case dt::kExtended:
    case dt::kDate:
    case dt::kTime:
    case dt::kDateTime:
    case dt::kTimeStamp:
      return 26;
    case dt::kLogical:
      return 5;
    case dt::kCurrency:
      return 21;
    case dt::kMemo:
    case dt::kFormattedMemo:
    case dt::kWideMemo:
      return 4096;
    case dt::kGuid:
      return 38;
    case dt::kChar:
    case dt::kString:
    case dt::kWideChar:
    case dt::kWideString:
    case dt::kBytes:
    case dt::kVarBytes:
    case dt::kBlob:
    case dt::kGraphic:
      return ownSize;
    default:
      throw EABSException(msg::kUnsupportedCastSource, DataTypeName(dataType));
  }
}

int CompareNarrowText(std::string_view left, std::string_view right, bool ignoreCase, int32_t length) {
  if (length >= 0) {
    left = left.substr(0, static_cast<size_t>(length));
    right = right.substr(0, static_cast<size_t>(length));
  }
  return platform::CollateAnsi(left.data(), left.size(), right.data(), right.size(), ignoreCase);
}

namespace {

enum class LikeToken { Literal, AnyOne, AnyRun };

// Wildcard matching with one back-tracking point (the last '%'), equivalent to trying every split
// after each '%' and never deeper than one frame. The pattern is read in tokens so that an
// escaped character is a literal.
template <class Char, class Equal>
bool MatchTokens(std::basic_string_view<Char> text, std::basic_string_view<Char> pattern,
                 std::optional<Char> escape, Equal equal) {
  struct Token {
    LikeToken kind;
    Char literal;
    size_t length;
  };
  const auto tokenAt = [&](size_t p) -> Token {
    const Char c = pattern[p];
    if (escape && c == *escape) {
      if (p + 1 < pattern.size()) return {LikeToken::Literal, pattern[p + 1], 2};
      return {LikeToken::Literal, c, 1};
    }
    if (c == Char('%')) return {LikeToken::AnyRun, c, 1};
    if (c == Char('_')) return {LikeToken::AnyOne, c, 1};
    return {LikeToken::Literal, c, 1};
  };
  constexpr size_t kNone = static_cast<size_t>(-1);
  size_t t = 0, p = 0, afterRun = kNone, runText = 0;
  while (t < text.size()) {
    if (p < pattern.size()) {
      const Token token = tokenAt(p);
      if (token.kind == LikeToken::AnyRun) {
        afterRun = p + token.length;
        runText = t;
        p = afterRun;
        continue;
      }
      if (token.kind == LikeToken::AnyOne || equal(text[t], token.literal)) {
        ++t;
        p += token.length;
        continue;
      }
    }
    if (afterRun == kNone) return false;
    p = afterRun;
    t = ++runText;
  }
  while (p < pattern.size() && tokenAt(p).kind == LikeToken::AnyRun) ++p;
  return p == pattern.size();
}

}  // namespace

// Two different characters are never equal in the engine's collation unless case is ignored, so a
// case-sensitive match compares the characters themselves.
bool MatchLikeText(std::string_view text, std::string_view pattern, std::optional<char> escape, bool ignoreCase) {
  if (!ignoreCase) return MatchTokens(text, pattern, escape, [](char a, char b) { return a == b; });
  return MatchTokens(text, pattern, escape,
                     [](char a, char b) { return a == b || platform::CollateAnsi(&a, 1, &b, 1, true) == 0; });
}

bool MatchLikeText(std::u16string_view text, std::u16string_view pattern, std::optional<char16_t> escape,
                   bool ignoreCase) {
  if (!ignoreCase) return MatchTokens(text, pattern, escape, [](char16_t a, char16_t b) { return a == b; });
  return MatchTokens(text, pattern, escape, [](char16_t a, char16_t b) {
    return a == b || platform::CollateWide(&a, 1, &b, 1, true) == 0;
  });
}

}  // namespace viz
