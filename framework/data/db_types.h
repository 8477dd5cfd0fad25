// The small vocabulary of the dataset framework: field-type codes, dataset states, data events,
// record-fetch modes and results, bookmark flags, error actions and option bits. The numbers are
// the framework's own and are stored or exchanged as such (field types reach the engine's type table).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace viz {

//! Field-type codes of the framework. The engine maps its data types onto these numbers.
enum TFieldType : uint8_t {
  ftUnknown = 0,
  ftString = 1,
  ftSmallint = 2,
  ftInteger = 3,
  ftWord = 4,
  ftBoolean = 5,
  ftFloat = 6,
  ftCurrency = 7,
  ftBCD = 8,
  ftDate = 9,
  ftTime = 10,
  ftDateTime = 11,
  ftBytes = 12,
  ftVarBytes = 13,
  ftAutoInc = 14,
  ftBlob = 15,
  ftMemo = 16,
  ftGraphic = 17,
  ftFmtMemo = 18,
  ftParadoxOle = 19,
  ftDBaseOle = 20,
  ftTypedBinary = 21,
  ftCursor = 22,
  ftFixedChar = 23,
  ftWideString = 24,
  ftLargeint = 25,
  ftADT = 26,
  ftArray = 27,
  ftReference = 28,
  ftDataSet = 29,
  ftOraBlob = 30,
  ftOraClob = 31,
  ftVariant = 32,
  ftInterface = 33,
  ftIDispatch = 34,
  ftGuid = 35,
  ftTimeStamp = 36,
  ftFMTBcd = 37,
};

//! Returns the framework's name of a field type ("String", "Integer" ...), "Unknown" for others.
const char* FieldTypeName(TFieldType type);
//! True for the BLOB kinds: ftBlob, ftMemo, ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle,
//! ftTypedBinary.
bool IsBlobFieldType(TFieldType type);

//! The states of a dataset. The state machine is drawn in dataset.h.
enum TDataSetState : uint8_t {
  dsInactive,
  dsBrowse,
  dsEdit,
  dsInsert,
  dsSetKey,
  dsCalcFields,
  dsFilter,
  dsNewValue,
};

//! States in which field values may be written.
constexpr bool IsWriteState(TDataSetState state) {
  return state == dsEdit || state == dsInsert || state == dsSetKey || state == dsCalcFields ||
         state == dsFilter || state == dsNewValue;
}
//! States in which data-aware controls count as editing.
constexpr bool IsEditState(TDataSetState state) {
  return state == dsEdit || state == dsInsert || state == dsSetKey;
}

//! What a dataset tells its data sources and, through them, its data links.
enum TDataEvent : uint8_t {
  deFieldChange,      //!< one field's value changed (info: the field)
  deRecordChange,     //!< the active record's values changed as a whole (edit begun, fields cleared)
  deDataSetChange,    //!< the record window was rebuilt: every row may differ
  deDataSetScroll,    //!< the window moved (info: records shifted out at the top, negative at the bottom)
  deLayoutChange,     //!< the fields or their display properties changed
  deUpdateRecord,     //!< controls must write their pending edits into the fields now
  deUpdateState,      //!< the dataset's state changed (opened, closed, edit begun or ended)
  deCheckBrowseMode,  //!< the dataset is about to leave an edit: controls may finish theirs
  dePropertyChange,   //!< a property of the dataset changed that may change its result
};

//! Which record `GetRecord` reads, relative to the descendant's cursor.
enum TGetMode : uint8_t { gmCurrent = 0, gmNext = 1, gmPrior = 2 };
//! The outcome of `GetRecord`.
enum TGetResult : uint8_t { grOK = 0, grBOF = 1, grEOF = 2, grError = 3 };
//! What a record buffer holds: a record of the table, the place before the first or after the last
//! record, or a new record not posted yet.
enum TBookmarkFlag : uint8_t { bfCurrent = 0, bfBOF = 1, bfEOF = 2, bfInserted = 3 };

//! The answer of an edit, post or delete error handler.
enum TDataAction : uint8_t { daFail, daAbort, daRetry };

//! The modes of a BLOB stream.
enum TBlobStreamMode : uint8_t { bmRead = 0, bmWrite = 1, bmReadWrite = 2 };

//! How a field's value comes about.
enum TFieldKind : uint8_t { fkData, fkCalculated, fkLookup };

//! Locate options (bits).
using TLocateOptions = uint8_t;
inline constexpr TLocateOptions loCaseInsensitive = 1;
inline constexpr TLocateOptions loPartialKey = 2;

//! Filter options (bits).
using TFilterOptions = uint8_t;
inline constexpr TFilterOptions foCaseInsensitive = 1;
inline constexpr TFilterOptions foNoPartialCompare = 2;

//! Index options (bits, stored as such in definitions).
using TIndexOptions = uint32_t;
inline constexpr TIndexOptions ixPrimary = 1;
inline constexpr TIndexOptions ixUnique = 2;
inline constexpr TIndexOptions ixDescending = 4;
inline constexpr TIndexOptions ixCaseInsensitive = 8;

//! A bookmark: the descendant's bytes identifying one record (`TDataSet::BookmarkSize` of them).
//! Empty means no bookmark.
using TBookmark = std::vector<uint8_t>;

//! A record buffer owned by a dataset; its layout belongs to the descendant that allocates it.
using TRecordBuffer = uint8_t*;

//! Splits a field-name list: names separated by ";", blanks around each name dropped, empty
//! names skipped.
std::vector<std::string> SplitFieldNames(const std::string& names);
//! True when two names are equal ignoring case (the single-byte letters with their accents included).
bool SameName(const std::string& a, const std::string& b);

}  // namespace viz
