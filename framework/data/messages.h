// The dataset framework's message texts. Each is raised as an `EDatabaseError` with the name of the
// component in front ("VIZTable1: Field 'X' not found"); %s and %d are filled by `DatabaseErrorFmt`.
#pragma once

namespace viz::fmsg {

// ---- Dataset state and modification
inline constexpr const char* kDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* kDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* kDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* kNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* kDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* kRecordNotFound = "Record not found";
inline constexpr const char* kOperationAborted = "Operation aborted";

// ---- Fields and definitions
inline constexpr const char* kFieldNotFound = "Field '%s' not found";
inline constexpr const char* kFieldReadOnly = "Field '%s' cannot be modified";
inline constexpr const char* kFieldRequired = "Field '%s' must have a value";
inline constexpr const char* kFieldNoDataSet = "Field '%s' has no dataset";
inline constexpr const char* kFieldAccessError = "Cannot access field '%s' as type %s";
inline constexpr const char* kFieldTypeNotSupported = "Field '%s' is of an unsupported type (%d)";
inline constexpr const char* kInvalidIntegerValue = "'%s' is not a valid integer value for field '%s'";
inline constexpr const char* kInvalidFloatValue = "'%s' is not a valid floating point value for field '%s'";
inline constexpr const char* kInvalidBoolValue = "'%s' is not a valid boolean value for field '%s'";
inline constexpr const char* kInvalidDateTimeValue = "'%s' is not a valid date and time value for field '%s'";
inline constexpr const char* kFieldRangeError =
    "%s is not a valid value for field '%s'. The allowed range is %s to %s";
inline constexpr const char* kDuplicateFieldName = "Duplicate field name '%s'";
inline constexpr const char* kDuplicateIndexName = "Duplicate index name '%s'";
inline constexpr const char* kIndexNotFound = "Index '%s' not found";
inline constexpr const char* kNoIndexForFields = "No index for fields '%s'";

// ---- Parameters
inline constexpr const char* kParamNotFound = "Parameter '%s' not found";
inline constexpr const char* kParamAccessError = "Cannot access parameter '%s' as type %s";

// ---- Data sources and links
inline constexpr const char* kCircularDataLink = "Circular datalinks are not allowed";

}  // namespace viz::fmsg
