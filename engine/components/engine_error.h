// The error a dataset raises when a record operation of its cursor (edit, insert, post, delete)
// reports a non-zero result code, mostly for multi-user conflicts.
#pragma once

#include <cstdint>
#include <string>

#include "framework/data/exceptions.h"

namespace viz {

class EABSException;

//! Record-operation result codes of the engine cursor; 0 means success.
enum TABSEngineErrorCode : int32_t {
  abseAddRecord = -1,
  abseUpdateRecord = -2,
  abseDeleteRecord = -3,
  abseUpdateModified = -4,
  abseDeleteModified = -5,
  abseUpdateDeleted = -6,
  abseDeleteDeleted = -7,
  abseWriteInterrupted = -8,
  abseUpdateTemporary = -9,
  abseDeleteTemporary = -10,
  abseCancelTemporary = -11,
  abseRecordLocked = -12,
  abseTableLocked = -13,
};

//! Returns the text of a result code; for -8 the passed text, for codes not in the table "".
std::string EngineErrorText(int32_t code, const std::string& passedText);

//! The text of an engine exception without its " - Native error: " part (the error text of -8).
std::string TextWithoutNativeCode(const EABSException& error);

//! message := "Zadezido Engine Error # " + code + " " + error text.
class EABSEngineError : public EDatabaseError {
 public:
  EABSEngineError(int32_t errorCode, const std::string& text);

  int32_t ErrorCode() const noexcept { return errorCode_; }
  const std::string& ErrorText() const noexcept { return errorText_; }

 private:
  int32_t errorCode_;
  std::string errorText_;
};

}  // namespace viz
