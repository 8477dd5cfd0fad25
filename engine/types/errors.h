// The engine's exception: a message text plus the native error number of the place that raised it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "engine/types/messages.h"
#include "framework/data/exceptions.h"
#include "framework/data/format.h"

namespace viz {

//! Raised by every layer of the engine for any failed check.
class EABSException : public Exception {
 public:
  //! message := text + " - Native error: " + the code zero-padded to at least five digits.
  EABSException(int32_t nativeCode, std::string_view text);

  //! message := the format applied to the arguments (or the format + " Arguments are invalid!" when
  //! they do not match it) + " - Native error: " + the code blank-padded to five places.
  EABSException(int32_t nativeCode, std::string_view format, std::initializer_list<FormatArg> args);

  //! A catalogue message without arguments: the plain-text form.
  explicit EABSException(const msg::Message& message) : EABSException(message.code, message.text) {}

  //! A catalogue message with arguments: the format form.
  template <class First, class... Rest>
  EABSException(const msg::Message& message, First&& first, Rest&&... rest)
      : EABSException(message.code, message.text,
                      {FormatArg(std::forward<First>(first)), FormatArg(std::forward<Rest>(rest))...}) {}

  //! Returns the number of the raising place.
  int32_t NativeErrorCode() const noexcept { return nativeCode_; }

 private:
  int32_t nativeCode_;
};

}  // namespace viz
