// General errors of the framework's helpers: a text that does not convert into a number, a date or
// a time, and an index outside a list.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "framework/data/exceptions.h"

namespace viz {

//! A text that does not convert into the value asked for.
class EConvertError : public Exception {
 public:
  using Exception::Exception;

  //! "'<text>' is not a valid integer value".
  static EConvertError NotInteger(std::string_view text) {
    return EConvertError("'" + std::string(text) + "' is not a valid integer value");
  }
};

//! An index outside the items of a list: "List index out of bounds (<index>)".
class EListError : public Exception {
 public:
  explicit EListError(int64_t index)
      : Exception("List index out of bounds (" + std::to_string(index) + ")") {}
};

}  // namespace viz
