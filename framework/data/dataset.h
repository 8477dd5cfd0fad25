// TDataSet: the framework's dataset. It owns the window of record buffers that data-aware controls
// read, the field objects and the field definitions, runs the state machine below with its events,
// and leaves every access to the data to a descendant through virtual hooks (the engine's datasets,
// or a test dataset over a vector of rows).
//
// States and the operations that move between them:
//
//                 Open                 Edit (on an empty dataset: Insert)
//   dsInactive ---------> dsBrowse ------------------------------------> dsEdit
//       ^     <---------  |  ^  ^ <--------- Post, Cancel, Delete ---------'
//       |       Close     |  |  |
//       |                 |  |  +----------- Post, Cancel, Delete ------- dsInsert <-- Insert, Append
//       |                 |  +-------------- Post, Cancel --------------- dsSetKey <-- a descendant's
//       |                 |                  (PostKeyBuffer)                           key edit
//       +-----------------+  Close from dsEdit or dsInsert: the descendant's cancel step runs first
//
//   Temporary states, entered from an active state by TTempState and left to it without events:
//     [dsCalcFields]  computing the calculated and lookup fields of a record   (GetCalcFields)
//     [dsFilter]      a filter handler or a search step looking at a record    (RunFilterHandler)
//     [dsNewValue]    a descendant writing the values a record is to get
//
// Every move (First, Last, MoveBy, GotoBookmark, Refresh, Insert ...) starts with the browse-mode
// check: an edit or insert is posted when modified and cancelled otherwise; a key edit is posted.
// Every state change sends deUpdateState to the data links; Modified is cleared with it.
//
// The record window: BufferCount buffers (the largest buffer count a data link asks for, at least
// 1) plus one spare. Buffers 0 .. RecordCount−1 hold consecutive records of the dataset's order;
// ActiveRecord is the one fields read; the descendant's cursor stands on the record of buffer
// CurrentRecord (−1: unknown, set again from a buffer's bookmark before the next relative read).
// Moving inside the window reads nothing; moving past its edge reads one record per step and
// shifts the window. A grid of 20 rows therefore reads 20 records however long the table is.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/data/db_types.h"
#include "framework/data/field.h"
#include "framework/data/field_defs.h"
#include "framework/data/stream.h"
#include "framework/data/variant.h"

namespace viz {

class EDatabaseError;
class TDataSet;
class TDataSource;

using TDataSetNotifyEvent = std::function<void(TDataSet&)>;
using TDataSetErrorEvent = std::function<void(TDataSet&, EDatabaseError&, TDataAction&)>;
using TFilterRecordEvent = std::function<void(TDataSet&, bool& accept)>;

//! The field objects of a dataset, in display order. Owned by the dataset.
class TFields {
 public:
  int Count() const { return static_cast<int>(fields_.size()); }
  TField& operator[](int index) const { return *fields_.at(index); }
  //! The field of that name (ignoring case), or null.
  TField* FindField(const std::string& name) const;

 private:
  friend class TDataSet;
  std::vector<std::unique_ptr<TField>> fields_;
};

class TDataSet {
 public:
  TDataSet();
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;
  //! Descendants close the dataset in their own destructor (their hooks are gone by the time this
  //! one runs); this one releases the buffers and detaches the data sources.
  virtual ~TDataSet();

  //! The component name, put in front of every error message.
  const std::string& Name() const { return name_; }
  void SetName(std::string name);

  // ---- Opening and closing
  bool Active() const { return state_ != dsInactive; }
  void SetActive(bool active);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  TDataSetState State() const { return state_; }
  //! True when a field of the record in edit or insert state was changed.
  bool Modified() const { return modified_; }

  // ---- Navigation
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  //! Moves by `distance` records; returns how many it moved (negative backward).
  int MoveBy(int distance);
  //! True after First or after a backward move that met the first record.
  bool Bof() const { return bof_; }
  //! True after Last or after a forward move that met the last record.
  bool Eof() const { return eof_; }
  bool IsEmpty() const { return recordCount_ == 0; }
  //! The descendant's count of the records the dataset can reach (its answer for a closed one too).
  int RecordCount() { return GetRecordCount(); }
  int RecNo() {
    CheckActive();
    return GetRecNo();
  }
  //! Moves to a record number (from 1) and rebuilds the window around it.
  void SetRecNo(int recNo);
  //! Posts when modified, cancels otherwise; ends a key edit by posting it. Raises when closed.
  void CheckBrowseMode();
  //! Re-reads the records around the current one (a record gone is replaced by its neighbour).
  void Refresh();

  // ---- Editing
  void Edit();
  void Insert();
  void Append();
  void Post();
  void Cancel();
  void Delete();
  //! Insert (or Append), assign the values to the first fields in order, Post.
  void InsertRecord(const std::vector<Variant>& values);
  void AppendRecord(const std::vector<Variant>& values);
  //! Assigns the values to the first fields in order (an empty variant leaves a field as it is).
  void SetFields(const std::vector<Variant>& values);
  //! Asks the data links to write their pending edits (deUpdateRecord). Raises outside the edit
  //! states.
  void UpdateRecord();
  //! Whether the dataset's data can be changed at all.
  virtual bool CanModify() const { return true; }

  // ---- Bookmarks
  int BookmarkSize() const { return bookmarkSize_; }
  //! The bookmark of the active record; empty when there is none (empty dataset, new record).
  TBookmark GetBookmark();
  void GotoBookmark(const TBookmark& bookmark);
  //! Whether the record of a bookmark can still be reached.
  virtual bool BookmarkValid(const TBookmark& bookmark) = 0;
  //! Returns <0, 0 or >0 as `a` comes before, at or after `b` in the dataset's order.
  virtual int CompareBookmarks(const TBookmark& a, const TBookmark& b) = 0;

  // ---- Fields and definitions
  TFieldDefs& FieldDefs() { return fieldDefs_; }
  const TFields& Fields() const { return fields_; }
  int FieldCount() const { return fields_.Count(); }
  //! Raises "Field 'X' not found" when there is no field of that name (ignoring case).
  TField& FieldByName(const std::string& name) const;
  TField* FindField(const std::string& name) const { return fields_.FindField(name); }
  //! The data field whose FieldNo is `fieldNo`, or null.
  TField* FieldByNumber(int fieldNo) const;
  //! The fields of a ";"-separated name list, in order; raises for a missing one.
  std::vector<TField*> GetFieldList(const std::string& names) const;
  //! Adds a persistent field (kept across open and close). Raises while open and for a name that
  //! is taken.
  TField& AddField(std::unique_ptr<TField> field);
  TField& AddField(TFieldType type, const std::string& name, int size = 0, TFieldKind kind = fkData);
  //! Removes and destroys a persistent field. Raises while open.
  void RemoveField(TField& field);
  //! True when the fields were made from FieldDefs at open (and go again at close).
  bool DefaultFields() const { return defaultFields_; }
  //! Bytes of the calculated-field area of every record buffer.
  int CalcFieldsSize() const { return calcFieldsSize_; }
  //! Recompute calculated fields after each field change of the record being edited.
  bool AutoCalcFields() const { return autoCalcFields_; }
  void SetAutoCalcFields(bool value) { autoCalcFields_ = value; }

  //! Opens a stream on a BLOB field of the record in use. Writing modes need the edit or insert
  //! state; bmWrite empties the value first. When a stream opened for writing is destroyed after a
  //! change, the descendant calls `TBlobField::NotifyStreamModified`.
  virtual std::unique_ptr<TStream> CreateBlobStream(TField& field, TBlobStreamMode mode) = 0;
  //! Reads the whole value of a BLOB field of the record in use into `value` at once, without a
  //! stream, where the descendant can (the same value a stream opened with bmRead would give);
  //! false leaves the read to CreateBlobStream.
  virtual bool ReadBlobValue(TField& field, std::string& value) {
    (void)field;
    (void)value;
    return false;
  }

  // ---- Locate, lookup, filters and find steps
  //! Moves to the first record whose fields (";"-separated) equal the values; false (not moved)
  //! when there is none.
  virtual bool Locate(const std::string& keyFields, const std::vector<Variant>& keyValues,
                      TLocateOptions options) = 0;
  //! The values of `resultFields` of the first record whose key fields equal the values, one per
  //! result field, without moving; empty (the framework's NULL) when no record matches.
  virtual std::vector<Variant> Lookup(const std::string& keyFields, const std::vector<Variant>& keyValues,
                                      const std::string& resultFields) = 0;
  bool FindFirst() { return DoFind(true, true); }
  bool FindLast() { return DoFind(true, false); }
  bool FindNext() { return DoFind(false, true); }
  bool FindPrior() { return DoFind(false, false); }
  //! The result of the last find step.
  bool Found() const { return found_; }
  const std::string& Filter() const { return filterText_; }
  virtual void SetFilterText(const std::string& text) { filterText_ = text; }
  TFilterOptions FilterOptions() const { return filterOptions_; }
  virtual void SetFilterOptions(TFilterOptions options) { filterOptions_ = options; }
  bool Filtered() const { return filtered_; }
  virtual void SetFiltered(bool filtered) { filtered_ = filtered; }
  const TFilterRecordEvent& OnFilterRecord() const { return onFilterRecord_; }
  virtual void SetOnFilterRecord(TFilterRecordEvent handler) { onFilterRecord_ = std::move(handler); }

  // ---- Data-aware controls
  //! Stops notifying data links until the matching EnableControls, which then sends one change.
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return disableCount_ > 0; }
  //! The master data source of a detail dataset; null when it has none.
  virtual TDataSource* GetDataSource() const { return nullptr; }
  //! Tells the data sources, and through them the data links, of an event. `info` is the field for
  //! deFieldChange (a TField*), the shift for deDataSetScroll, otherwise 0.
  void DataEvent(TDataEvent event, intptr_t info = 0);
  //! Records in the window, the active one's index, and the window's size (for data links).
  int BufferRecordCount() const { return recordCount_; }
  int ActiveRecord() const { return activeRecord_; }
  int BufferCount() const { return bufferCount_; }
  //! The buffer fields read and write in the present state (the active record, a key buffer, the
  //! record being calculated or filtered); null when there is none.
  virtual TRecordBuffer GetActiveRecordBuffer();

  // ---- Events
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent OnNewRecord, OnCalcFields;
  TDataSetErrorEvent OnEditError, OnPostError, OnDeleteError;

 protected:
  // ---- Hooks: record buffers. A buffer holds the field data, whatever the descendant needs to find
  // the record again (its bookmark and bookmark flag) and CalcFieldsSize bytes for calculated fields.
  virtual TRecordBuffer AllocRecordBuffer() = 0;
  virtual void FreeRecordBuffer(TRecordBuffer& buffer) = 0;
  //! Prepares a buffer for a new record (every field NULL, defaults as the descendant sees fit).
  virtual void InternalInitRecord(TRecordBuffer buffer) = 0;
  //! Reads the current, next or prior record of the cursor into the buffer and moves the cursor
  //! there. With `doCheck` an error is raised rather than returned as grError. The descendant calls
  //! GetCalcFields(buffer) after a successful read.
  virtual TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) = 0;
  virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) = 0;
  virtual void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) = 0;
  //! Copies BookmarkSize bytes between the buffer and `data`.
  virtual void GetBookmarkData(TRecordBuffer buffer, uint8_t* data) = 0;
  virtual void SetBookmarkData(TRecordBuffer buffer, const uint8_t* data) = 0;

  // ---- Hooks: the cursor
  //! Opens the cursor, fills FieldDefs, calls CreateFields when DefaultFields, then BindFields(true),
  //! and sets the bookmark size. The cursor starts before the first record.
  virtual void InternalOpen() = 0;
  //! Closes the cursor. BindFields(false) and the removal of default fields follow in the framework.
  virtual void InternalClose() = 0;
  virtual bool IsCursorOpen() const = 0;
  virtual void InternalFirst() = 0;  //!< cursor before the first record
  virtual void InternalLast() = 0;   //!< cursor after the last record
  virtual void InternalGotoBookmark(const uint8_t* bookmark) = 0;
  //! Puts the cursor on the record of a buffer (for a new record, on the one it was inserted before).
  virtual void InternalSetToRecord(TRecordBuffer buffer) = 0;
  virtual void InternalRefresh() {}

  // ---- Hooks: record operations. Errors meant for the error events are EDatabaseError.
  virtual void InternalEdit() {}
  virtual void InternalInsert() {}
  //! Stores the active buffer: an edit, or (bookmark flag bfInserted, bfBOF or bfEOF) a new record
  //! before the record of its bookmark, at the start or at the end. Leaves the cursor on it.
  virtual void InternalPost() = 0;
  virtual void InternalCancel() {}
  //! Deletes the cursor's record and leaves the cursor where the next record is.
  virtual void InternalDelete() = 0;
  //! Ends a key edit (state dsSetKey), keeping the key or restoring it; returns to browse state.
  virtual void PostKeyBuffer(bool commit);
  //! Runs OnNewRecord on a new record in insert state (a descendant may fill fields first).
  virtual void DoOnNewRecord() { Fire(OnNewRecord); }

  // ---- Hooks: counts and field data
  virtual int GetRecordCount() = 0;
  virtual int GetRecNo() = 0;
  //! Puts the cursor on a record number (from 1; past the end: the last record).
  virtual void InternalSetRecNo(int recNo) = 0;
  //! Copies the native value of a field of GetActiveRecordBuffer() into `buffer` (may be null).
  //! Returns false for NULL and when there is no buffer.
  virtual bool GetFieldData(const TField& field, void* buffer) = 0;
  //! Writes a native value (null: NULL) into GetActiveRecordBuffer(). Raises when the state allows
  //! no writing.
  virtual void SetFieldData(TField& field, const void* buffer) = 0;
  //! Writes the text of a string field (`length` characters: bytes for single-byte fields, UTF-16
  //! units for wide ones; the text need not be terminated) into GetActiveRecordBuffer(). This
  //! default cuts a longer text to the field's Size and writes it through SetFieldData; a dataset
  //! that must not lose text overrides it and refuses a text that does not fit.
  virtual void SetFieldText(TField& field, const void* text, size_t length);
  //! Clears the calculated-field area of a buffer (every calculated field NULL).
  virtual void ClearCalcFields(TRecordBuffer buffer) = 0;
  //! One step of FindFirst/FindNext/FindPrior/FindLast: from the start or the current record, forward
  //! or backward, the next record the filter accepts; true when the dataset moved to one.
  virtual bool FindRecord(bool restart, bool goForward) = 0;

  // ---- Services for descendants
  void CheckActive() const;
  void CheckInactive() const;
  void CheckCanModify() const;
  //! Raises "Field 'X' must have a value" for a required, writable, NULL data field.
  void CheckRequiredFields();
  //! Makes a field of every definition of FieldDefs.
  void CreateFields();
  //! Gives the fields their numbers and offsets (true) or takes them away (false).
  void BindFields(bool binding);
  void SetBookmarkSize(int size) { bookmarkSize_ = size; }
  //! Changes the state, clears Modified and tells the links. A set-key state names its buffer.
  void SetState(TDataSetState state, TRecordBuffer stateBuffer = nullptr);
  //! Computes the calculated and lookup fields of a buffer (in the calculation state).
  void GetCalcFields(TRecordBuffer buffer);
  //! Marks the cursor's position unknown.
  void CursorPosChanged() { currentRecord_ = -1; }
  //! Puts the cursor on the active record's buffer.
  void UpdateCursorPos();
  //! Rebuilds the window around the cursor's record. `exact`: the record must exist ("Record not
  //! found"); `center`: the record goes to the middle of the window, else it keeps its row.
  void Resync(bool exact, bool center);
  TRecordBuffer ActiveBuffer() const { return recordCount_ > 0 ? buffers_[activeRecord_] : nullptr; }
  //! Runs an event handler when one is assigned.
  void Fire(const TDataSetNotifyEvent& event) {
    if (event) event(*this);
  }
  void DoBeforeScroll() { Fire(BeforeScroll); }
  void DoAfterScroll() { Fire(AfterScroll); }
  //! Runs the filter handler on a buffer (in the filter state); an error it raises is reported and
  //! the flag's value at that moment counts. True without a handler.
  bool RunFilterHandler(TRecordBuffer buffer);

  //! A temporary state for one computation: no events, the previous state and buffer come back.
  class TTempState {
   public:
    TTempState(TDataSet& dataSet, TDataSetState state, TRecordBuffer buffer);
    TTempState(const TTempState&) = delete;
    TTempState& operator=(const TTempState&) = delete;
    ~TTempState();

   private:
    TDataSet& dataSet_;
    TDataSetState oldState_;
    TRecordBuffer oldBuffer_;
  };

 private:
  friend class TDataSource;
  friend class TDataLink;
  friend class TField;

  void OpenCursor();
  void CloseCursor();
  void AllocateBuffers(int count);
  void FreeBuffers();
  void ClearBuffers();
  void ActivateBuffers();
  bool GetNextRecord();
  bool GetPriorRecord();
  void GetNextRecords();
  void GetPriorRecords();
  void SetCurrentRecord(int index);
  void MoveBuffer(int from, int to);
  //! Sets the window size to the largest a link asks for (at least 1), reading or dropping records.
  void UpdateBufferCount();
  void InitRecord(TRecordBuffer buffer);
  void ResetBlobModified();
  int LinkBufferCount() const;
  void BeginInsertAppend();
  void EndInsertAppend();
  //! Runs an operation, asking the error event what to do with an EDatabaseError it raises.
  void CheckOperation(void (TDataSet::*operation)(), const TDataSetErrorEvent& errorEvent);
  bool DoFind(bool restart, bool goForward);
  void SetModified(bool modified) { modified_ = modified; }
  void NotifySources(TDataEvent event, intptr_t info);
  void CalculateLookupFields();

  std::string name_;
  TDataSetState state_ = dsInactive;
  TRecordBuffer stateBuffer_ = nullptr;  // the buffer of the set-key and temporary states
  int tempStateDepth_ = 0;
  bool modified_ = false;
  bool bof_ = true;
  bool eof_ = true;
  bool found_ = false;
  bool defaultFields_ = false;
  bool autoCalcFields_ = true;
  int bookmarkSize_ = 0;
  int calcFieldsSize_ = 0;
  bool hasCalcFields_ = false;

  // The window: bufferCount_ + 1 buffers (see the head of this file).
  std::vector<TRecordBuffer> buffers_;
  int bufferCount_ = 0;
  int recordCount_ = 0;
  int activeRecord_ = 0;
  int currentRecord_ = -1;

  TFieldDefs fieldDefs_;
  TFields fields_;

  std::string filterText_;
  TFilterOptions filterOptions_ = 0;
  bool filtered_ = false;
  TFilterRecordEvent onFilterRecord_;

  std::vector<TDataSource*> dataSources_;
  int disableCount_ = 0;
  TDataSetState disableState_ = dsInactive;
  TDataEvent enableEvent_ = deDataSetChange;
};

}  // namespace viz
