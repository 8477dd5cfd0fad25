#include "framework/data/format.h"

#include <cinttypes>
#include <cstdio>
#include <vector>

namespace viz {
namespace {

// Returns the integer value of an argument for the integer conversions, or nothing.
std::optional<int64_t> AsInteger(const FormatArg& arg) {
  switch (arg.kind()) {
    case FormatArg::Kind::Integer:
      return arg.integer();
    case FormatArg::Kind::Unsigned:
      return static_cast<int64_t>(arg.unsignedValue());
    default:
      return std::nullopt;
  }
}

std::string Pad(std::string body, int width, bool leftAlign) {
  if (width > 0 && static_cast<int>(body.size()) < width) {
    std::string fill(width - body.size(), ' ');
    return leftAlign ? body + fill : fill + body;
  }
  return body;
}

// Digits of a magnitude with at least `minDigits` digits.
std::string Digits(uint64_t magnitude, int minDigits, bool hex) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, hex ? "%" PRIX64 : "%" PRIu64, magnitude);
  std::string digits(buffer);
  if (minDigits > static_cast<int>(digits.size())) digits.insert(0, minDigits - digits.size(), '0');
  return digits;
}

std::string GroupThousands(const std::string& fixed) {
  size_t start = (fixed[0] == '-') ? 1 : 0;
  size_t dot = fixed.find('.');
  size_t intEnd = dot == std::string::npos ? fixed.size() : dot;
  std::string out = fixed.substr(0, start);
  for (size_t pos = start; pos < intEnd; ++pos) {
    out += fixed[pos];
    size_t remaining = intEnd - pos - 1;
    if (remaining > 0 && remaining % 3 == 0) out += ',';
  }
  out += fixed.substr(intEnd);
  return out;
}

}  // namespace

std::optional<std::string> FormatText(std::string_view format, std::initializer_list<FormatArg> argList) {
  std::vector<const FormatArg*> args;
  for (const FormatArg& arg : argList) args.push_back(&arg);
  size_t nextArg = 0;
  std::string out;
  size_t pos = 0;

  auto takeArg = [&]() -> const FormatArg* { return nextArg < args.size() ? args[nextArg++] : nullptr; };
  auto readNumber = [&](int& value) -> bool {  // digits or "*"; false when malformed
    if (pos < format.size() && format[pos] == '*') {
      ++pos;
      const FormatArg* arg = takeArg();
      if (!arg) return false;
      std::optional<int64_t> number = AsInteger(*arg);
      if (!number) return false;
      value = static_cast<int>(*number);
      return true;
    }
    value = 0;
    while (pos < format.size() && format[pos] >= '0' && format[pos] <= '9') {
      value = value * 10 + (format[pos] - '0');
      if (value > 100000) return false;
      ++pos;
    }
    return true;
  };

  while (pos < format.size()) {
    char ch = format[pos++];
    if (ch != '%') {
      out += ch;
      continue;
    }
    if (pos >= format.size()) return std::nullopt;
    if (format[pos] == '%') {
      out += '%';
      ++pos;
      continue;
    }
    // Optional argument index "n:".
    size_t digitsEnd = pos;
    while (digitsEnd < format.size() && format[digitsEnd] >= '0' && format[digitsEnd] <= '9') ++digitsEnd;
    if (digitsEnd < format.size() && format[digitsEnd] == ':' ) {
      int index = 0;
      if (digitsEnd == pos) return std::nullopt;
      if (!readNumber(index)) return std::nullopt;
      ++pos;  // the colon
      nextArg = static_cast<size_t>(index);
    }
    bool leftAlign = false;
    if (pos < format.size() && format[pos] == '-') {
      leftAlign = true;
      ++pos;
    }
    int width = 0;
    if (!readNumber(width)) return std::nullopt;
    int precision = -1;
    if (pos < format.size() && format[pos] == '.') {
      ++pos;
      if (!readNumber(precision)) return std::nullopt;
    }
    if (pos >= format.size()) return std::nullopt;
    char type = static_cast<char>(format[pos++] | 0x20);  // conversions are case-insensitive
    const FormatArg* arg = takeArg();
    if (!arg) return std::nullopt;

    std::string body;
    switch (type) {
      case 'd':
      case 'u':
      case 'x': {
        std::optional<int64_t> number = AsInteger(*arg);
        if (!number) return std::nullopt;
        bool hex = type == 'x';
        bool negative = !hex && *number < 0 && arg->kind() == FormatArg::Kind::Integer;
        uint64_t magnitude;
        if (type == 'u' && arg->kind() == FormatArg::Kind::Integer && *number < 0) {
          magnitude = static_cast<uint32_t>(*number);  // %u shows a negative 32-bit value as unsigned
          negative = false;
        } else if (hex && arg->kind() == FormatArg::Kind::Integer && *number < 0) {
          magnitude = *number >= INT32_MIN ? static_cast<uint32_t>(*number) : static_cast<uint64_t>(*number);
        } else if (negative) {
          magnitude = static_cast<uint64_t>(0) - static_cast<uint64_t>(*number);
        } else {
          magnitude = arg->kind() == FormatArg::Kind::Unsigned ? arg->unsignedValue()
                                                               : static_cast<uint64_t>(*number);
        }
        body = (negative ? "-" : "") + Digits(magnitude, precision, hex);
        break;
      }
      case 'e':
      case 'f':
      case 'g':
      case 'n':
      case 'm': {
        if (arg->kind() != FormatArg::Kind::Float) return std::nullopt;
        char pattern[16];
        char buffer[512];
        int digits = precision;
        if (type == 'g') {
          if (digits < 0) digits = 15;
          std::snprintf(pattern, sizeof pattern, "%%.%dLG", digits);
        } else if (type == 'e') {
          if (digits < 0) digits = 15;
          std::snprintf(pattern, sizeof pattern, "%%.%dLE", digits > 0 ? digits - 1 : 0);
        } else {
          if (digits < 0) digits = 2;
          std::snprintf(pattern, sizeof pattern, "%%.%dLf", digits);
        }
        std::snprintf(buffer, sizeof buffer, pattern, arg->floating());
        body = buffer;
        if (type == 'n' || type == 'm') body = GroupThousands(body);
        if (type == 'm') body = "$" + body;
        break;
      }
      case 's':
        if (arg->kind() != FormatArg::Kind::Text) return std::nullopt;
        body = arg->text();
        if (precision >= 0 && static_cast<size_t>(precision) < body.size()) body.resize(precision);
        break;
      case 'p': {
        if (arg->kind() != FormatArg::Kind::Pointer) return std::nullopt;
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%016" PRIXPTR, reinterpret_cast<uintptr_t>(arg->pointer()));
        body = buffer;
        break;
      }
      default:
        return std::nullopt;
    }
    out += Pad(std::move(body), width, leftAlign);
  }
  return out;
}

}  // namespace viz
