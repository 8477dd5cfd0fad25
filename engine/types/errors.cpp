#include "engine/types/errors.h"

#include <cstdio>

namespace viz {
namespace {

std::string NativeSuffix(int32_t code, bool zeroPadded) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, zeroPadded ? "%.5d" : "%5d", static_cast<int>(code));
  return std::string(" - Native error: ") + buffer;
}

}  // namespace

EABSException::EABSException(int32_t nativeCode, std::string_view text)
    : Exception(std::string(text) + NativeSuffix(nativeCode, true)), nativeCode_(nativeCode) {}

EABSException::EABSException(int32_t nativeCode, std::string_view format, std::initializer_list<FormatArg> args)
    : Exception(""), nativeCode_(nativeCode) {
  std::optional<std::string> formatted = FormatText(format, args);
  message_ = formatted ? *formatted : std::string(format) + " Arguments are invalid!";
  message_ += NativeSuffix(nativeCode, false);
}

}  // namespace viz
