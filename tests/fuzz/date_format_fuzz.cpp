// Fuzz target of date formats. The input is a format text, a zero byte, and a text to read with
// it. Compiling never fails; writing a date of the calendar never fails; reading either gives a
// value or raises the reading errors, nothing else.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "engine/sql/VIZDateFormat.h"
#include "engine/types/errors.h"
#include "framework/data/common_errors.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "date format fuzz: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace viz;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  const std::string_view formatText = input.substr(0, split);
  const std::string_view text =
      split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

  const TDateFormater format(formatText);
  const TABSDataType type = format.GetResultType();
  if (type != dt::kDate && type != dt::kTime && type != dt::kDateTime) Fail("result type");
  if (format.GetDeclaredLength() < 0) Fail("declared length");
  // The first and last days of the calendar, the zero date, and a time before it.
  for (double value : {-693593.0, 0.0, 45519.546, -20000.75, 2958465.99998}) {
    try {
      format.FormatDate(value);
    } catch (const Exception& e) {
      Fail(e.what());
    }
  }
  try {
    format.ParseDate(text);
  } catch (const EABSException& e) {
    if (e.NativeErrorCode() != 30129) Fail(e.what());
  } catch (const EConvertError&) {
  }
  return 0;
}
