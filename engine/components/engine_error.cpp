#include "engine/components/engine_error.h"

#include <cstdio>

#include "engine/types/errors.h"
#include "engine/types/messages.h"

namespace viz {

std::string EngineErrorText(int32_t code, const std::string& passedText) {
  switch (code) {
    case abseAddRecord:
      return msg::kErrorAddingRecord;
    case abseUpdateRecord:
      return msg::kErrorUpdatingRecord;
    case abseDeleteRecord:
      return msg::kErrorDeletingRecord;
    case abseUpdateModified:
      return msg::kUpdateModifiedByOther;
    case abseDeleteModified:
      return msg::kDeleteModifiedByOther;
    case abseUpdateDeleted:
      return msg::kUpdateDeletedByOther;
    case abseDeleteDeleted:
      return msg::kDeleteDeletedByOther;
    case abseWriteInterrupted:
      return passedText;
    case abseUpdateTemporary:
      return msg::kCannotUpdateTemporary;
    case abseDeleteTemporary:
      return msg::kCannotDeleteTemporary;
    case abseCancelTemporary:
      return msg::kCannotCancelTemporary;
    case abseRecordLocked:
      return msg::kRecordIsLocked;
    case abseTableLocked:
      return msg::kTableIsLocked;
    default:
      return "";
  }
}

std::string TextWithoutNativeCode(const EABSException& error) {
  const std::string& message = error.Message();
  // The code follows in one of two forms: zero-padded to five digits or blank-padded to five places.
  for (const char* form : {"%.5d", "%5d"}) {
    char code[32];
    std::snprintf(code, sizeof code, form, static_cast<int>(error.NativeErrorCode()));
    const std::string suffix = std::string(" - Native error: ") + code;
    if (message.size() >= suffix.size() &&
        message.compare(message.size() - suffix.size(), suffix.size(), suffix) == 0)
      return message.substr(0, message.size() - suffix.size());
  }
  return message;
}

EABSEngineError::EABSEngineError(int32_t errorCode, const std::string& text)
    : EDatabaseError(""), errorCode_(errorCode), errorText_(EngineErrorText(errorCode, text)) {
  message_ = std::string(msg::kEngineErrorPrefix) + std::to_string(errorCode) + " " + errorText_;
}

}  // namespace viz
