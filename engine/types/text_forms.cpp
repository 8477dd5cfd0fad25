#include "engine/types/text_forms.h"

#include <charconv>
#include <cmath>

namespace viz {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

template <class T>
std::optional<T> ParseInteger(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return {};
  T value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (error != std::errc() || end != text.data() + text.size()) return {};
  return value;
}

template <class T>
std::string FormatFloat(T value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace

std::optional<int32_t> TextToInt32(std::string_view text) {
  return ParseInteger<int32_t>(text);
}
std::optional<int64_t> TextToInt64(std::string_view text) {
  return ParseInteger<int64_t>(text);
}

std::optional<long double> TextToFloat(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // Only digits, one full stop and an exponent: no hexadecimal, infinity or NaN forms.
  if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text.front())) || text.front() == '.'))
    return {};
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != 'e' && c != 'E' && c != '+' &&
        c != '-') {
      return {};
    }
  }
  long double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return {};
  return negative ? -value : value;
}

bool TextIsTrue(std::string_view text) {
  if (text == "1") return true;
  if (text.size() != 4) return false;
  static constexpr char kTrue[] = "TRUE";
  for (size_t i = 0; i < 4; ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != kTrue[i]) return false;
  }
  return true;
}

std::string FloatToText(float value) {
  return FormatFloat(value);
}
std::string FloatToText(double value) {
  return FormatFloat(value);
}
std::string FloatToText(long double value) {
  return FormatFloat(value);
}

}  // namespace viz
