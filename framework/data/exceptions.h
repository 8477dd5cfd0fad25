// The dataset framework's exception family. Engine exceptions derive from `Exception`; errors that a
// dataset's error events may see (post, edit and delete failures) derive from `EDatabaseError`.
#pragma once

#include <exception>
#include <string>

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

//! Returns the text of a component-level database error: "Name: message", or the message alone when
//! the component has no name.
std::string ComponentErrorText(const std::string& message, const std::string& componentName);

//! Raises an `EDatabaseError` with `ComponentErrorText(message, componentName)`.
[[noreturn]] void DatabaseError(const std::string& message, const std::string& componentName = {});

}  // namespace viz
