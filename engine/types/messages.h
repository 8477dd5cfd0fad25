// The engine's message catalogue: every text the engine raises, with the native error number of the
// place that raises it. A text raised from several places is listed once with its first number; the
// other places pass their own number with `At`. New entries are appended at the end of their group.
#pragma once

#include <cstdint>

namespace viz::msg {

//! A message text and the native error number of the place that raises it.
struct Message {
  int32_t code;
  const char* text;

  //! Returns the same text with the native number of another raising place.
  constexpr Message At(int32_t otherCode) const { return {otherCode, text}; }
};

// ---- Guards (broken internal state)
inline constexpr Message kNilPointer{10001, "Nil pointer occured"};
inline constexpr Message kPointerIsNil{10002, "Pointer is nil"};
inline constexpr Message kInvalidFieldNumber{10110, "Invalid field number - FieldNo = %d, FieldCount = %d"};

// ---- Components and cursor
inline constexpr Message kEngineNotInitialized{20007, "Database Engine is not initialized"};
inline constexpr Message kInvalidSessionName{20002, "Invalid session name '%s'"};
inline constexpr Message kDatabaseAlreadyOpen{20092, "Cannot create database. Database is already open"};
inline constexpr Message kDatabaseNotInTransaction{20229, "Database is not in transaction. Cannot perform operation"};
inline constexpr Message kErrorCreatingTableHandle{20001, "Error creating table handle"};
inline constexpr Message kTableNotFoundQuoted{20132, "Table '%s' not found"};  // also 20133, 20134
inline constexpr Message kTableNotFound{10027, "Table not found, table name = %s"};  // also 10028, 10073, 10151
inline constexpr Message kTableAlreadyExists{30451, "Table %s already exists"};
inline constexpr Message kCannotRenameTableIntoItself{30452, "Cannot rename table '%s' into itself"};
inline constexpr Message kIndexAlreadyExists{20022, "Cannot create index '%s'. Index already exists"};
inline constexpr Message kIndexNotFoundForDelete{20021, "Cannot delete index '%s'. Index not found"};
inline constexpr Message kInvalidIndexName{20046, "Invalid index name '%s'"};  // also 20048
inline constexpr Message kCannotFindIndexField{20047, "Cannot find index field '%s'"};  // also 20049
inline constexpr Message kCannotFindIndex{10325, "Cannot find index %s"};
inline constexpr Message kFieldNotInCurrentIndex{20019, "Field %s is not in the current index"};
inline constexpr Message kFieldNotFound{30345, "Field '%s' not found"};
inline constexpr Message kCannotRenameField{30346, "Cannot rename field '%s'. Field '%s' already exists"};
inline constexpr Message kCannotFindField{10323, "Cannot find field %s"};
inline constexpr Message kDatasetNotOpened{10075, "Dataset is not opened"};  // also 10029, 10068
inline constexpr Message kDatasetNotInsertOrEdit{10076, "Dataset is not in insert or edit mode"};  // also 10030
inline constexpr Message kDatasetNotEditOrInsert{10007, "Dataset not in edit or insert mode"};  // also 10111
inline constexpr Message kDatasetReadOnly{10077, "Dataset is in read only mode"};  // also 10032, 10069, 10106, 10107
inline constexpr Message kLocateOnClosedDataset{10271, "Cannot perform LOCATE on a closed dataset"};
inline constexpr Message kOperationOnOpenDataset{30141, "Cannot perform this operation on an open dataset"};
inline constexpr Message kNoSqlStatement{20034, "No SQL statement available"};  // also 30142
inline constexpr Message kBlobFieldAlreadyOpened{10115, "BLOB field already opened. FieldNo = %d, FieldName = %s"};
inline constexpr Message kCannotWriteReadOnlyStream{10115, "Cannot write to read only stream"};  // also 10116
inline constexpr Message kDifferentListsLength{10321, "Error - different lists length. L1 = %d, L2 = %d"};
inline constexpr Message kNoProjectionFields{10322, "No fields were specified while setting projection"};
inline constexpr Message kOperationInTransaction{20180, "Cannot perform '%s' operation on a database in transaction"};

// ---- Component-level misuse, raised through the framework's database error with the component's name
inline constexpr const char* kSessionNameMissing = "Session name missing";
inline constexpr const char* kDatabaseNameMissing = "Database name missing";
inline constexpr const char* kDatabaseNameBlank = "DatabaseName property is blank";
inline constexpr const char* kMissingTableName = "Missing TableName property";
inline constexpr const char* kNoIndexActive = "No index currently active";
inline constexpr const char* kFieldIndexOutOfRange = "Field index out of range";
inline constexpr const char* kErrorAddingRecordComponent = "Error adding record";
inline constexpr const char* kDatabaseOpenError = "Database open error";
inline constexpr const char* kDatabaseAlreadyInTransaction = "Database already in transaction";
inline constexpr const char* kCircularDatalinks = "Circular datalinks are not allowed";
inline constexpr const char* kOperationOnOpenDatabase = "Cannot perform this operation on an open database";
inline constexpr const char* kOperationOnClosedDatabase = "Cannot perform this operation on a closed database";
inline constexpr const char* kOperationOnActiveSession = "Cannot perform this operation on an active session";
inline constexpr const char* kCannotModifySessionName = "Cannot modify SessionName while AutoSessionName is enabled";
inline constexpr const char* kCannotEnableAutoSessionName =
    "Cannot enable AutoSessionName property with more than one session on a form or data-module";
inline constexpr const char* kCannotCreateDatabase = "Cannot create database";

// ---- Engine errors of record operations (code table of EABSEngineError)
inline constexpr const char* kEngineErrorPrefix = "Zadezido Engine Error # ";
inline constexpr const char* kErrorAddingRecord = "Error adding record";
inline constexpr const char* kErrorUpdatingRecord = "Error updating record";
inline constexpr const char* kErrorDeletingRecord = "Error deleting record";
inline constexpr const char* kUpdateModifiedByOther = "Error updating record - record was modified by other process";
inline constexpr const char* kDeleteModifiedByOther = "Error deleting record - record was modified by other process";
inline constexpr const char* kUpdateDeletedByOther = "Error updating record - record was deleted by other process";
inline constexpr const char* kDeleteDeletedByOther = "Error deleting record - record was deleted by other process";
inline constexpr const char* kCannotUpdateTemporary = "Cannot update record in temporary mode";
inline constexpr const char* kCannotDeleteTemporary = "Cannot delete record in temporary mode";
inline constexpr const char* kCannotCancelTemporary = "Cannot cancel operation in temporary mode";
inline constexpr const char* kRecordIsLocked = "Record is locked";
inline constexpr const char* kTableIsLocked = "Table is locked";

// ---- Page manager, page cache and transactions
inline constexpr Message kPageBufferIsNil{20038, "Invalid page buffer. Buffer is Nil"};
inline constexpr Message kInvalidPageModification{20039, "Invalid page modification"};
inline constexpr Message kPageNotFound{20167, "Page not found"};
inline constexpr Message kSortedPageListEmpty{20165, "TSortedPageList.Delete - no elements in array!"};
inline constexpr Message kSortedPageListKeyNotFound{20166, "TSortedPageList.Delete - element not found, key = %d, itemCount = %d"};
inline constexpr Message kInvalidSessionId{20186, "Invalid Session ID"};
inline constexpr Message kInvalidPageType{20153, "Invalid page type. Possibly data is corrupted. Expected type %d, but found %d"};
inline constexpr Message kPageUsedByOtherSession{20090, "Page is used by other session"};
inline constexpr Message kInvalidPageNumber{20064, "Invalid page number"};
inline constexpr Message kSessionPagesNotReleased{20152, "Some session pages are not released"};
inline constexpr Message kInvalidDirtyPage{20085, "Invalid dirty page"};
inline constexpr Message kCannotWriteUsedPage{20086, "Cannot write used page"};
inline constexpr Message kCommitDatabaseLocked{20213, "Database is locked"};
inline constexpr Message kInvalidIndexPage{20087, "Invalid index page"};
inline constexpr Message kCannotRemoveUsedPage{20088, "Cannot remove used page"};
inline constexpr Message kCannotFreeNotCommittedPages{20097, "Cannot free not commited pages"};
inline constexpr Message kJournalCreate{20301, "Cannot create rollback journal '%s'. ErrorCode:%d. ErrorMessage: %s"};
inline constexpr Message kJournalWrite{20302, "Cannot write rollback journal '%s'. ErrorCode:%d. ErrorMessage: %s"};
inline constexpr Message kJournalFlush{20303, "Cannot flush rollback journal '%s'. ErrorCode:%d. ErrorMessage: %s"};
inline constexpr Message kJournalDelete{20304, "Cannot delete rollback journal '%s'"};
inline constexpr Message kJournalRead{20305, "Cannot read rollback journal '%s'. ErrorCode:%d. ErrorMessage: %s"};
inline constexpr Message kJournalOpen{20306, "Cannot open rollback journal '%s'. ErrorCode:%d. ErrorMessage: %s"};
inline constexpr Message kJournalMismatch{20307, "Rollback journal '%s' does not belong to this database file"};

// ---- Memory manager
inline constexpr Message kCannotAllocateZero{30286, "Cannot allocate 0 bytes"};
inline constexpr Message kMemoryLimitExceeded{30004, "Memory limit exceeded (Limit = %d bytes)"};
inline constexpr Message kUnknownGetMemMethod{30340, "Unknown GetMem method type: %d"};
inline constexpr Message kGetMemError{30015, "GetMem error: %s"};
inline constexpr Message kInvalidPointerOnSize{30005, "Invalid pointer"};
inline constexpr Message kInvalidPointerOnFree{30001, "Invalid pointer"};
inline constexpr Message kInvalidPointerOnRealloc{30002, "Invalid pointer"};
inline constexpr Message kMemoryOverrun{30137, "Memory overrun detected"};
inline constexpr Message kFreeMemError{30138, "FreeAndNillMem error: %s"};
inline constexpr Message kReallocMemError{30014, "ReallocMem error: %s"};

// ---- Streams and compression
inline constexpr Message kStreamBlockSizeZero{10418, "Stream block size = 0 is not allowed"};
inline constexpr Message kCannotCreateStreamFile{10104, "Cannot create file. FileName = %s"};
inline constexpr Message kCannotOpenStreamFile{10105, "Cannot open file. FileName = %s, Mode = %d"};
inline constexpr Message kCannotSetStreamPosition{
    10103, "Cannot set stream position to %d. Position = %d, Size = %d"};  // also 10083, 10091, 10099
inline constexpr Message kStreamSizeTooSmall{10081, "Stream size = %d too small. Should be at least = %d"};  // also 10082
inline constexpr Message kInvalidCompressedBlockSize{10084, "Invalid block size = %d"};
inline constexpr Message kCompressBufferFailed{
    10085, "Compress buffer failed. CompAlg = %d, CompMode = %d, InSize = %d, OutSize = %d"};
inline constexpr Message kDecompressBufferFailed{10087, "Decompress buffer failed. CompAlg = %d, InSize = %d, OutSize = %d"};
inline constexpr Message kDecompressSizeMismatch{10088, "Decompress buffer failed. UncompSize = %d, Header.UncompSize = %d"};
inline constexpr Message kDecompressChecksumMismatch{10089, "Decompress buffer failed. CheckSum = %d, Header.Crc32 = %d"};
inline constexpr Message kCannotReadReadSize{10090, "Cannot read from stream. ReadSize = %d"};
inline constexpr Message kInvalidStreamSize{10092, "Invalid stream size = %d. Should be = %d"};  // also 10093
inline constexpr Message kInvalidExtensionSize{
    10098, "Invalid extension size. NewSize = %d, UncompressedSize = %d, ExtensionSize = %d"};

// ---- Database file, page ciphers and free-space maps
inline constexpr Message kOperationOnClosedFile{30376, "Cannot perform this operation (%s) on a closed file"};
inline constexpr Message kOperationOnOpenedFile{30377, "Cannot perform this operation (%s) on a opened file"};
inline constexpr Message kBlankFileName{30374, "Cannot create file with blank FileName"};
inline constexpr Message kUnknownAccessMode{30366, "Unknown Access mode: '%d'"};
inline constexpr Message kUnknownShareMode{30367, "Unknown Share mode: '%d'"};
inline constexpr Message kCannotCreateFile{30361, "Cannot create file: '%s' Error code: %d. ErrorMessage: %s"};
inline constexpr Message kCannotOpenFile{30364, "Cannot open file:'%s' Error code: %d. ErrorMessage: %s"};
inline constexpr Message kCannotCloseFile{30365, "Cannot close file:'%s' Error code: %d. ErrorMessage: %s"};
inline constexpr Message kCannotTruncateFile{30370, "Cannot Truncate File '%s' to %d bytes. ErrorCode:%d. ErrorMessage: %s"};
inline constexpr Message kCannotGetFileSize{30371, "Cannot Get File Size for file: '%s'. ErrorCode:%d. ErrorMessage: %s"};
inline constexpr Message kCannotGetFilePosition{30373, "Cannot Get File Position. FileName='%s' ErrorCode:%d. ErrorMessage: %s"};
inline constexpr Message kCannotFlushFile{30379, "Cannot flush file buffers for file: '%s'. ErrorCode:%d. ErrorMessage: %s"};
inline constexpr Message kCannotSetFilePosition{30372, "Cannot Set File Position to %d. FileName='%s'. FilePosition = %d, FileSize = %d"};
// Raised with the code the caller of the read or write passes.
inline constexpr const char* kCannotReadFile =
    "Cannot Read from file: '%s' Position = %d, Count = %d, FilePosition = %d, FileSize = %d, ErrorCode:%d. ErrorMessage: %s";
inline constexpr const char* kCannotWriteFile =
    "Cannot Write to file: '%s' Position = %d, Count = %d, FilePosition = %d, FileSize = %d, ErrorCode:%d. ErrorMessage: %s";
inline constexpr Message kDatabaseFileInUse{10461, "Error - database file %s is in use."};  // also 10462
inline constexpr Message kDatabaseFileNotOpened{10459, "Error - database file is not opened."};  // also 10460, 30436, 30437, 30441, 30443, 30399
inline constexpr Message kInvalidPageNo{10471, "Invalid PageNo = %d"};
inline constexpr Message kInvalidPageOffset{10476, "Error - invalid page offset = %d, page size = %d"};  // also 10477
inline constexpr Message kDatabaseIsLocked{20230, "Database is locked"};  // also 20231, 20232, 20236
inline constexpr Message kInvalidFileFormat{10470, "Invalid file format. Found signature: '%s', expected: '%s'"};
inline constexpr Message kInvalidDatabaseFormat{20237, "Invalid database format"};
inline constexpr Message kIncorrectPassword{30445, "Cannot open database because incorrect password"};
inline constexpr Message kNextObjectIdLocked{30401, "Cannot get NextObjectID. File area is Locked."};
inline constexpr Message kModifiedByExternalApplication{20196, "Cannot write changes. Database file was modified by external application"};
inline constexpr Message kUnknownPageType{30382, "Unknown Page Type: (%d)"};
inline constexpr Message kDecryptPageError{30446, "Decrypt page error. Check CRC failed. PageNo: %d"};
inline constexpr Message kWrongPageType{30423, "Wrong page type. Found '%s', but wanted: '%s'"};  // also 30424, 30428, 30430, 30432
inline constexpr Message kPageCannotBeAddressed{30430, "Page: %d cannot be addressed. TotalPageCount=%d"};  // also 30431
inline constexpr Message kPageAlreadyUsed{30425, "Page: %d already used"};
inline constexpr Message kPageAlreadyFree{30427, "Page: %d already free"};
inline constexpr Message kCannotDeleteMapPage{30434, "Cannot delete PFS or EAM page. PageNo=%d"};
// ---- Table data model: definitions, record layout, managers, constraints, table and database data
inline constexpr Message kUnsupportedDataType{30007, "Unsupported data type '%s'"};
inline constexpr Message kMethodNotOverridden{30339, "The method '%s' not overrided in class '%s'"};
inline constexpr Message kDuplicateFieldName{10424, "Duplicate field name %s"};
inline constexpr Message kUnknownConstraintType{30316, "Unknown Constraint Type: '%d'"};
inline constexpr Message kFieldNumberNotFound{30402, "Field #%d not found"};  // also 30403, 30024, 30028, 30329
inline constexpr Message kAutoincMaxValueExceeded{20160, "Autoinc max value exceeded for field '%s'"};
inline constexpr Message kNoSequenceLastValue{
    30012, "No SequenceLastValue in session for sequence '%s'. Call GetNextVal first"};
inline constexpr Message kBlobBlockSizeNotPositive{10421, "BLOB block size should be > 0 for field %s"};
inline constexpr Message kNotImplementedYet{30058, "Not implemented yet"};  // also 30036, 30037, 30038
inline constexpr Message kIndexNameNotFound{30325, "Index '%s' not found"};
inline constexpr Message kConstraintNullPrimary{30330, "Constraint '%s' violated. Value in field '%s' cannot be null"};
inline constexpr Message kConstraintNotNull{30026, "Constraint '%s' violated. Value in field '%s' cannot be null"};
inline constexpr Message kPrimaryKeyDuplicate{30319, "Primary Key constraint '%s' violated. Duplicate found."};
inline constexpr Message kUniqueDuplicate{30320, "Constraint unique '%s' violated. Duplicate found."};
inline constexpr Message kCheckLowerBound{
    30029, "Constraint '%s' violated. Value in field '%s' cannot be lower than '%s'"};
inline constexpr Message kCheckUpperBound{
    30030, "Constraint '%s' violated. Value in field '%s' cannot be greater than '%s'"};
inline constexpr Message kCannotDeleteOpenTable{20017, "Cannot delete table '%s'. Table is open by another dataset"};
inline constexpr Message kCannotRenameOpenTable{10150, "Cannot rename table '%s'. Table is open by another dataset"};
inline constexpr Message kNoFieldsSpecified{10131, "Error creating table - no fields were specified"};
inline constexpr Message kIndexNotFound{20018, "Index not found"};
inline constexpr Message kCannotFindIndexById{10324, "Cannot find index by ID = %d"};
inline constexpr Message kIndexEntryNotFound{20027, "Index error: cannot delete entry. Entry not found"};
// ---- Data types, conversions and variants
inline constexpr Message kUnknownFrameworkDataType{30289, "Unknown DataType: '%s'"};
inline constexpr Message kUnknownDataTypeSize{30050, "Unknown DataType: '%s'"};
inline constexpr Message kUnknownDataTypeCompare{30047, "Unknown DataType: '%s'"};
inline constexpr Message kIncompatibleCompare{30044, "Cannot compare Incompatible DataTypes: '%s' and '%s'"};
inline constexpr Message kUnknownReturnCode{30045, "Unknown return code: %d"};
inline constexpr Message kUnicodeNotSupported{30046, "Unicode is not supported by the installed operating system. Please put the file 'unicows.dll' into the application folder"};
inline constexpr Message kCompareValueIsNull{30140, "Value is Null"};
inline constexpr Message kCannotCastFailed{30051, "Cannot cast from '%s' to '%s'"};
inline constexpr Message kCannotCastUnsupported{30052, "Cannot cast from '%s' to '%s'"};
inline constexpr Message kCannotCopyIntoNewMemory{30054, "Cannot copy data into new memory"};
inline constexpr Message kErrorGettingFieldData{10002, "Error getting field data - FieldNo = %d, MemoryOffset = %d, MemoryDataSize = %d"};
inline constexpr Message kVariantValueIsNull{30016, "Value is Null"};
inline constexpr Message kBufferSizeExceeded{20056, "Buffer size exceeded"};
inline constexpr Message kUnsupportedVariantKind{30113, "Unsupported Variant Type %s"};
inline constexpr Message kUnsupportedVariantType{30114, "Unsupported Variant Type %s"};
inline constexpr Message kCannotInvert{30123, "Cannot invert value with not numeric type '%s'"};
inline constexpr Message kNotNumericArgument{30124, "Not numeric argument in numeric operator '%s'"};  // also 30126, 30127
inline constexpr Message kDivisionError{30128, "Division error: %s"};
inline constexpr Message kStreamCannotRead{10183, "Cannot read from stream. Position = %d, Stream size = %d, Block size = %d, Bytes Read = %d"};  // also 10184-10186, 10086, 10419 and the callers of ExactRead
inline constexpr Message kStreamCannotWrite{10179, "Cannot write to stream. Position = %d, Stream size = %d, Block size = %d, Bytes Write = %d"};  // also 10180-10182, 10097, 10100, 10101, 10109, 10420 and the callers of ExactWrite

// ---- Internal files, system directory, table list, sessions file and table locks
inline constexpr Message kInternalFileExists{30383, "Cannot create Internal file. File already exists. StartPageNo=%d"};  // also 20157
inline constexpr Message kClosedInternalFile{30389, "Cannot perform this operation (%s) on closed internal file"};  // also 20156
inline constexpr Message kCannotReadInternalFile{30387, "Cannot Read internal file. FileSize=%d. ReadSize=%d"};
inline constexpr Message kInternalFileChainEnded{
    30388, "Cannot Read internal file. Page chain ended: BytesToRead=%d, BytesRead=%d, ReadSize=%d"};
inline constexpr Message kTableFileCompressionError{20187, "Table file compression error"};
inline constexpr Message kTableFileDecompressionError{20189, "Table file decompression error. Probably table is corrupted"};
inline constexpr Message kInvalidPageTypeFound{20155, "Invalid PageType found: %d but wanted: %d"};
inline constexpr Message kSeekBeyondFileSize{20159, "Seek position bigger then file size. FileSize=%d. Position=%d"};
inline constexpr Message kWriteAfterEndOfFile{20158, "Cannot write after end of file. FileSize=%d. Position=%d, Count=%d"};
inline constexpr Message kErrorCreatingSystemDirectory{
    30392, "Error Creating SystemDirectory. SystemDirectoryPageNo=%d. Real PageNo=%d."};
inline constexpr Message kTableListAlreadyOpened{30393, "Table list file already opened."};
inline constexpr Message kTableListDuplicate{30395, "Cannot create table. Table '%s' already exists"};
inline constexpr Message kTableNotExists{30396, "Table '%s' not exists."};  // also 30405 delete, 30397 rename
inline constexpr Message kCannotConnectSession{
    20094, "Cannot connect session. Maximum connections quantity exceeded or database is open in single-user mode"};
inline constexpr Message kCannotUnlockSessionsFile{20093, "Cannot unlock sessions file"};  // also 20096, 20240, 20241
inline constexpr Message kCannotDisconnectSession{20095, "Cannot disconnect session"};
inline constexpr Message kCannotSetTableLock{20203, "Cannot set table lock"};
inline constexpr Message kLockSessionOutOfRange{
    20200, "Cannot set table lock. Try to repair database or to increase number of allowed connections"};
inline constexpr Message kTableLockNotFound{20202, "Cannot remove table lock. Lock not found"};
inline constexpr Message kCannotUnlockTable{20204, "Cannot unlock table"};
inline constexpr Message kCannotLockRecord{20205, "Cannot lock record"};
inline constexpr Message kCannotUnlockRecord{20206, "Cannot unlock record"};
inline constexpr Message kTableLocksStillExist{20201, "Some table locks still exist"};  // also 20234

// ---- SQL lexer and date format
inline constexpr Message kMissingRightParenthesis{30059, "Missing symbol ')' at line %d, column %d"};
inline constexpr Message kUnexpectedRightParenthesis{30060, "Unexpected symbol ')' found at line %d, column %d"};
inline constexpr Message kUnterminatedString{30061, "Unterminated string at line %d, column %d"};
inline constexpr Message kInvalidNumericSymbol{30062, "Invalid numeric symbol '%s' at line %d, column %d"};
inline constexpr Message kParameterValueNotFound{30358, "Value for parameter '%s' not found"};
inline constexpr Message kParameterUnknownType{20271, "Parameter \"%s\" is of an unknown data type"};
inline constexpr Message kAmPmExpected{30129, "AM/PM word expected, but '%s' found"};
// Raised as a plain framework exception: no native number belongs to it.
inline constexpr const char* kUnknownDateFormatType = "Unknown DateFormatType";

// ---- SQL expressions and expression functions
// Parse errors name the token found and its line and column. The token errors ("Token '%s'
// expected ...") and the argument errors share one text each; every raising place passes its own
// number with `At`.
inline constexpr Message kUnexpectedEnd{30063, "Unexpected end of SQL command found at line %d, column %d"};  // also 30136
inline constexpr Message kUnexpectedToken{30064, "Unexpected token '%s' found at line %d, column %d"};
inline constexpr Message kBooleanExpected{30066, "Boolean expression expected, but '%s' found at line %d, column %d"};  // also 30069, 30070
// also 30071, 30073-30076, 30080-30082, 30084, 30085, 30087, 30089-30091, 30094, 30097, 30098, 30100,
// 30101, 30103, 30106, 30108, 30111, 30122, 30125, 30465, 20251-20253, 20261, 20263, 20273-20275,
// 20277-20280, 20282, 20286, 20288
inline constexpr Message kTokenExpected{30067, "Token '%s' expected, but '%s' found at line %d, column %d"};
// also 30078, 30079, 30083, 30086, 30088, 30093, 30095, 30099, 30102, 30104, 30107, 20281, 20284, 20287, 20289
inline constexpr Message kArgumentExpected{20262, "Argument expected for function '%s' at line %d, column %d"};
inline constexpr Message kStringArgumentExpected{30092, "String argument expected for function '%s', but '%s' found at line %d, column %d"};  // also 30105
inline constexpr Message kDateFormatExpected{30109, "Const DateFormat string expected, but '%s' found at line %d, column %d"};  // also 30096
inline constexpr Message kCommaExpected{20267, "comma (\",\") expected but not found at line %d, column %d"};
inline constexpr Message kCoalesceArgumentsMissed{20276, "COALESCE arguments are missed at line %d, column %d"};
inline constexpr Message kDateStringExpected{20283, "Date string expected \"YYYY-MM-DD\", but found \"%s\" at line %d, column %d"};
inline constexpr Message kTimeStringExpected{20285, "Time string expected \"HH:MM:SS\", but found \"%s\" at line %d, column %d"};
inline constexpr Message kCaseInputExpected{20264, "Input expression for CASE function expected, but '%s' found at line %d, column %d"};
inline constexpr Message kCaseConditionExpected{20265, "Search Condition for CASE function expected, but '%s' found at line %d, column %d"};
inline constexpr Message kCaseWhenExpected{20266, "When Expression for CASE function expected, but '%s' found at line %d, column %d"};
inline constexpr Message kCaseElseExpected{20268, "'Else Result Expression' for CASE function expected, but '%s' found at line %d, column %d"};
inline constexpr Message kEscapeCharacterExpected{30068, "Escape character expected, but '%s' found at line %d, column %d"};
inline constexpr Message kNestedTooDeeply{30065, "Expression nested too deeply at line %d, column %d"};
inline constexpr Message kCannotConvertToType{30077, "Cannot convert an expression to specified type: '%s'"};
inline constexpr Message kUnsupportedCastSource{30466, "Unsupported data type '%s'"};
inline constexpr Message kExpressionValueIsNull{30110, "Value is Null"};
inline constexpr Message kKeyCountMismatch{30112, "Count of FieldNames (%d) not equal counts of KeyValues (%d)"};
inline constexpr Message kExprFieldNotFound{30115, "Field '%s' not found"};  // also 30197
inline constexpr Message kUnknownOperator{30116, "Unknown operator: '%s'"};  // also 30117, 30121, 30130, 30134, 30287, 30338
inline constexpr Message kBlankSqlCommand{30119, "Blank SQL command"};
inline constexpr Message kNotStringArgument{30120, "Not string argument in function '%s'"};  // also 30135
inline constexpr Message kNotNumericAggregate{30132, "Not numeric argument in numeric operator '%s'"};  // also 30133
inline constexpr Message kDatasetAndAONotAssigned{30196, "Dataset and AO not assigned"};
inline constexpr Message kNodeIsNotField{30198, "Node is not field"};
inline constexpr Message kCannotDetermineType{30283, "Cannot determine expression type"};
inline constexpr Message kAmbiguousFieldReference{10404, "Ambiguous field reference to '%s'"};  // also 10405
inline constexpr Message kExprPointerIsNil{20254, "Pointer is nil"};  // also 20255
inline constexpr Message kBlobFieldNeedsTable{30199, "BLOB field '%s' can only be read through its table"};

// ---- B-tree indexes, page indexes, table navigation, search and record bitmaps
inline constexpr Message kInternalIndexError{20020, "Internal index error"};  // also 20024
inline constexpr Message kIndexPageIsEmpty{20025, "Index error: page is empty"};  // also 20112
inline constexpr Message kInvalidKeyPath{20051, "Invalid index key path"};  // also 20052
inline constexpr Message kGetRecordModeCurrent{20053, "Invalid get record mode for index: grmCurrent"};
inline constexpr Message kIndexInvalidPosition{20068, "Index error: invalid position"};  // also 20069, 20099, 20101, 20103, 20107, 20108
inline constexpr Message kIndexInvalidPageNumber{20070, "Index error: invalid page number"};  // also 20071, 20100, 20102, 20115-20118
inline constexpr Message kRecordFromEmptyIndex{20074, "Cannot retreive record from empty index"};
inline constexpr Message kRecNoBeyondCount{20075, "Cannot set RecNo greater than RecordCount"};  // also 20113
inline constexpr Message kIndexInvalidParams{20078, "Index error: invalid params"};
inline constexpr Message kPageIndexPageFull{20106, "Cannot add data item to page. Page is full"};
inline constexpr Message kCannotRetrieveRecordForIndex{20170, "Cannot retreive record for index"};
inline constexpr Message kNoActiveIndexForKeySearch{
    20258, "No active index is set for Key search. Set Table.IndexName to the index on search fields."};
inline constexpr Message kIndexKeyTooLarge{
    20340, "Cannot create index '%s'. Key size = %d bytes, the largest key for this page size is %d bytes"};
inline constexpr Message kIndexTooDeep{20341, "Index error: the tree would be deeper than %d levels"};
inline constexpr Message kPathNumberOverflow{20342, "Index error: the tree is too deep to number its entries"};
inline constexpr Message kInvalidConditionNumber{10382, "Invalid condition number = %d, count = %d"};
inline constexpr Message kInvalidScanCondition{10388, "Invalid scan condition - indexID = %d, count = %d"};
inline constexpr Message kInvalidBitNo{10394, "Invalid bit no = %d, number of bits = %d"};  // also 10395, 10428, 10429
inline constexpr Message kInvalidItemNo{10413, "Invalid item number - ItemNo = %d, ItemCount = %d"};

// ---- Allocation log (pages allocated and not yet committed, in the file beside the database)
inline constexpr Message kAllocationLogOpen{20308, "Cannot open allocation log '%s'. ErrorCode:%d. ErrorMessage: %s"};
inline constexpr Message kAllocationLogWrite{20309, "Cannot write allocation log '%s'. ErrorCode:%d. ErrorMessage: %s"};
inline constexpr Message kAllocationLogRead{20310, "Cannot read allocation log '%s'. ErrorCode:%d. ErrorMessage: %s"};

// ---- Disk databases, tables, record pages and BLOB pages
inline constexpr Message kCannotLockDatabaseTables{20210, "Database tables are locked"};
inline constexpr Message kCannotUnlockDatabaseTables{20211, "Cannot unlock database tables"};
inline constexpr Message kInvalidTableHeaderData{20164, "Invalid table header data"};
inline constexpr Message kRecordTooLarge{
    20174, "Cannot create table. Record is too large to fit in current database page. Please increase page size of database file or decrease record size"};
inline constexpr Message kInvalidRecordCountOnPage{20140, "Invalid number of records on page"};
inline constexpr Message kCannotAddRecordPageFull{20141, "Cannot add record to page. Page is full"};
inline constexpr Message kRecordNotFound{20143, "Record not found"};  // also 20144-20148
inline constexpr Message kMixedUserModes{20235, "Cannot open database in multi-user and signle-user mode at the same time"};
inline constexpr Message kCommitLocksFailed{20233, "Cannot commit changes. Locks of modified tables failed"};
inline constexpr Message kExclusiveOpenByCursors{
    20242, "Cannot access table '%s' in exclusive mode. Probably the table is open by another cursors"};
inline constexpr Message kExclusiveOpenByUser{
    20208, "Cannot access table '%s' in exclusive mode. Probably the table is open by another user"};
inline constexpr Message kCannotOpenLockedTable{20209, "Cannot open table '%s'. Table is locked"};
inline constexpr Message kReadTableIsLocked{20214, "Table is locked"};  // also 20215-20220
inline constexpr Message kCannotAddBlobPageFull{
    20290, "Cannot add blob. Page is full: BlobCount=%d, BlobOffset=%d, BlobSize=%d, PageDataSize=%d, SizeInBlobPageIndex=%d"};
inline constexpr Message kInvalidBlobFieldId{20172, "Invalid blob field ID"};
inline constexpr Message kCannotFindBlobField{20171, "Cannot find blob field"};
inline constexpr Message kCannotReadBlobFieldValue{20162, "Cannot read BLOB field value"};
inline constexpr Message kInvalidBlobFieldSize{20248, "Invalid blob field size"};
inline constexpr Message kBlobCacheNotReleased{20150, "Blob cache not released"};
// Damage found on a page of a table: the table, the page and what is wrong with it.
inline constexpr Message kDamagedTablePage{20360, "Table '%s', page %d: %s"};
// A damaged internal file of a table (its metadata or header data) that cannot be decoded.
inline constexpr Message kDamagedTableFile{20361, "Table '%s': the %s starting at page %d is damaged: %s"};
// Single-user connections of one program keep their changes apart; a table with another
// connection's uncommitted changes cannot be changed until that connection commits or rolls back.
inline constexpr Message kTableHasOtherUncommittedChanges{
    20362, "Cannot change table '%s'. Another connection has uncommitted changes to it"};
inline constexpr Message kTableHasUncommittedChanges{
    20363, "Cannot perform this operation on table '%s' while a transaction has uncommitted changes to it"};
inline constexpr Message kDatabaseReadOnly{20364, "Cannot change the database '%s': it is open read-only"};
// A damaged catalogue (system directory, sessions file or table list): the database cannot be opened.
inline constexpr Message kDamagedCatalogue{20374, "The catalogue of database '%s' is damaged (page %d): %s"};
// A B-tree page of a damaged file: its header or its links do not fit the index.
inline constexpr Message kDamagedIndexPage{20375, "Index page %d is damaged: %s"};

// ---- Sessions, database connections, table datasets and their cursor
// Raised through the framework's database error with the component's name in front.
inline constexpr const char* kDuplicateSessionName = "Duplicate session name '%s'";
inline constexpr const char* kSessionAutoNamed =
    "Cannot add a session to the form or data-module while session '%s' has AutoSessionName enabled";
inline constexpr const char* kDatabaseFileMissing = "Database file '%s' does not exist";
inline constexpr const char* kOldFormatInfo =
    "Database file you are opening is of old format. It will be converted to the current Zizavuva Daradiza "
    "format now. It is recommended to make a backup of the database before continuing.";
inline constexpr const char* kRepairQuestion = "Database file was not correctly closed last time. Do you want to repair it?";
inline constexpr const char* kRepairingDatabase = "Repairing Database...";
inline constexpr const char* kUnknownError = "Unknown error";
inline constexpr const char* kRepairBackupKept =
    "The repaired database could not take every table; the original file was kept as '%s'";
// Raised as EABSException.
inline constexpr Message kCannotConvertDatabase{20238, "Cannot convert the database to the new format: %s"};
inline constexpr Message kCannotRetrieveRecord{10026, "Cannot retreive record"};

// ---- Memory and temporary backends
inline constexpr Message kNotReleasedPageAllocated{20037, "Not released page is allocated"};  // also 10392, 10393, 10396, 10397
inline constexpr Message kTemporaryFileMissing{30482, "Invalid pointer"};
inline constexpr Message kInvalidRecordSize{10011, "Invalid record size = %d"};  // also 10124
inline constexpr Message kErrorRetrievingRecord{10019, "Error retreiving record"};  // also 10127
inline constexpr Message kErrorWritingToStream{10125, "Error writing to stream"};
inline constexpr Message kInvalidRecordCount{10126, "Invalid record count = %d. Limit is %d"};

// ---- Key search, ranges and master/detail
// Raised through the framework's database error with the component's name in front.
inline constexpr const char* kCannotAccessIndexField = "Cannot access index field '%s'";

// ---- BLOB field streams
// A write stream that could not take the table's read lock: writing nothing and posting the old value
// would lose the bytes written.
inline constexpr Message kBlobWriteTableLocked{
    10112, "Cannot open BLOB field for writing. Table is locked. FieldNo = %d, FieldName = %s"};

}  // namespace viz::msg
