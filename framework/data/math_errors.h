// The framework's arithmetic errors: what integer and floating operations raise when they fail.
// Engine code catches them where a failed computation must become an engine error.
#pragma once

#include "framework/data/exceptions.h"

namespace viz {

//! Base of the arithmetic errors.
class EMathError : public Exception {
 public:
  using Exception::Exception;
};

//! An integer result that does not fit its type where wrapping is not allowed.
class EIntOverflow : public EMathError {
 public:
  EIntOverflow() : EMathError("Integer overflow") {}
};

//! An integer division by zero.
class EDivByZero : public EMathError {
 public:
  EDivByZero() : EMathError("Division by zero") {}
};

//! A floating division of a non-zero value by zero.
class EZeroDivide : public EMathError {
 public:
  EZeroDivide() : EMathError("Floating point division by zero") {}
};

//! A floating result too large for its type.
class EOverflow : public EMathError {
 public:
  EOverflow() : EMathError("Floating point overflow") {}
};

//! A floating operation without a defined result (0 / 0, a NaN operand).
class EInvalidOp : public EMathError {
 public:
  EInvalidOp() : EMathError("Invalid floating point operation") {}
};

}  // namespace viz
