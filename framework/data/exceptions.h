// The dataset framework's exception family. Engine exceptions derive from `Exception`; errors that a
// dataset's error events may see (post, edit and delete failures) derive from `EDatabaseError`.
#pragma once

#include <exception>
#include <functional>
#include <initializer_list>
#include <string>

#include "framework/data/format.h"

namespace viz {

//! Base of every exception the engine and its framework raise: a message text and nothing else.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}

  //! Returns the full text shown to the user.
  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 protected:
  std::string message_;
};

//! The framework's database-error class.
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

//! The silent exception: raised to stop an operation (for example from a before-event) without an
//! error being shown. Error reports pass it by.
class EAbort : public Exception {
 public:
  EAbort();
};

//! Returns the text of a component-level database error: "Name: message", or the message alone when
//! the component has no name.
std::string ComponentErrorText(const std::string& message, const std::string& componentName);

//! Raises an `EDatabaseError` with `ComponentErrorText(message, componentName)`.
[[noreturn]] void DatabaseError(const std::string& message, const std::string& componentName = {});
//! Raises an `EDatabaseError` with the format filled with the arguments and the component's name in
//! front. A format that does not fit its arguments is raised as it stands.
[[noreturn]] void DatabaseErrorFmt(const char* format, std::initializer_list<FormatArg> args,
                                   const std::string& componentName = {});
//! Raises `EAbort`.
[[noreturn]] void Abort();

//! Reports an error that must not stop the operation in progress (a data-aware control failing
//! while it is told of a change, a filter handler raising). Passes `EAbort` by; hands any other
//! error to the application's handler, which the user-interface layer installs. Without one the
//! message goes to the standard error stream. REQUIRES: called inside a catch block.
void HandleApplicationError();
//! Installs the application's error handler (an empty function restores the default). Returns the
//! previous one.
std::function<void(const std::exception&)> SetApplicationErrorHandler(
    std::function<void(const std::exception&)> handler);

}  // namespace viz
