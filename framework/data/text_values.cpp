#include "framework/data/text_values.h"

#include <charconv>

#include "engine/platform/text.h"
#include "framework/data/date_time.h"
#include "framework/data/exceptions.h"

namespace viz {

std::string TrimBlanks(const std::string& text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

namespace {

template <typename T>
std::optional<T> ParseNumber(const std::string& text) {
  std::string body = TrimBlanks(text);
  if (body.empty()) return std::nullopt;
  const char* begin = body.data() + (body.size() > 1 && body[0] == '+' ? 1 : 0);
  const char* end = body.data() + body.size();
  T value{};
  auto [stop, error] = std::from_chars(begin, end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

}  // namespace

std::optional<int64_t> TextToInteger(const std::string& text) {
  return ParseNumber<int64_t>(text);
}

std::optional<double> TextToFloat(const std::string& text) {
  return ParseNumber<double>(text);
}

std::optional<bool> TextToBoolean(const std::string& text) {
  std::string word = platform::UpperCase(TrimBlanks(text));
  if (word == "TRUE" || word == "T" || word == "YES" || word == "Y" || word == "1") return true;
  if (word == "FALSE" || word == "F" || word == "NO" || word == "N" || word == "0") return false;
  return std::nullopt;
}

std::string ShortFloatText(double value) {
  char text[64];
  auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
  return error == std::errc() ? std::string(text, end) : std::string();
}

std::string VariantToText(const Variant& value) {
  switch (value.Kind()) {
    case vk::kEmpty:
    case vk::kNull:
      return {};
    case vk::kBoolean:
      return value.AsBoolean() ? "True" : "False";
    case vk::kDate:
      return DateTimeToText(value.AsDouble());
    case vk::kSingle:
    case vk::kDouble:
    case vk::kCurrency:
      return ShortFloatText(value.AsDouble());
    case vk::kWideString:
      return platform::Utf16ToWin1252(value.AsWideString());
    default:
      if (value.IsStringKind()) return value.AsString();
      return std::to_string(value.AsInt64());  // the integer kinds; others raise
  }
}

}  // namespace viz
