// TABSDataSet: the engine's dataset on the framework's dataset (framework/data/dataset.h). It owns
// an engine cursor (TABSLocalCursor) and the record buffers data-aware controls read, and turns the
// framework's requests into cursor operations; a non-zero result of a record operation is raised as
// EABSEngineError at once. Its kinds: TABSTable (a named table) and, later, the query dataset.
//
// Record buffer: the cursor's record buffer (field data area of D bytes, the 6-byte record address,
// the bookmark flag), then the calculated fields (per field one has-value byte and the value).
// A bookmark is the 6-byte address (the declared bookmark size is 7, its last byte zero).
//
// Opening attaches the dataset to the connection of its DatabaseName in the session of its
// SessionName (a temporary connection when there is no TABSDatabase of that alias); closing
// detaches it, and a connection without datasets then goes as its session's rules say.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/components/local_cursor.h"
#include "engine/types/field_access.h"
#include "framework/data/dataset.h"

namespace viz {

class TABSComponentOwner;
class TABSDatabase;

class TABSDataSet : public TDataSet {
 public:
  explicit TABSDataSet(TABSComponentOwner* owner = nullptr);
  //! Leaves the owner's list. Descendants close the dataset in their own destructor.
  ~TABSDataSet() override;

  TABSComponentOwner* Owner() const { return owner_; }
  const std::string& SessionName() const { return sessionName_; }
  //! Only while closed.
  void SetSessionName(const std::string& name);
  const std::string& DatabaseName() const { return databaseName_; }
  //! Only while closed and not attached to an open database; sets InMemory to whether the name is
  //! "MEMORY" (ignoring case).
  void SetDatabaseName(const std::string& name);
  bool InMemory() const { return inMemory_; }
  //! True sets DatabaseName to "MEMORY".
  void SetInMemory(bool value);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);
  //! Always "4.89 ".
  std::string CurrentVersion() const;
  bool CanModify() const override { return !readOnly_; }

  //! The cursor while open, else null.
  TABSLocalCursor* Cursor() const { return cursor_.get(); }
  //! The connection while open, else null.
  TABSDatabase* Database() const { return database_; }

  //! Stores a whole record buffer as a new record (the dataset must be inserting). Raises "Dataset is
  //! not opened" (10075), "Dataset is not in insert or edit mode" (10076), "Dataset is in read only
  //! mode" (10077), and EABSEngineError for any non-zero result.
  void AddRecord(TRecordBuffer buffer);

  // ---- Steps of the SQL engine ("Nil pointer occured" when closed)
  //! Shows the stored fields `names` under `aliases` (TABSLocalCursor::SetProjection), then closes
  //! and reopens the dataset on the same cursor.
  void SetProjection(const std::vector<std::string>& names, const std::vector<std::string>& aliases);
  //! An index on the fields (operation 16); a visible field's name in `fields` is replaced by the
  //! name of the stored field it shows. Returns the index's name.
  std::string MakeIndexOnFields(std::vector<std::string>& fields, const std::vector<std::string>& orders,
                                const std::vector<std::string>& cases);
  //! The last value given to the automatically incremented field `field` (operation 39).
  int64_t LastAutoincValue(int32_t field);

  // ---- The framework's abstract services
  bool BookmarkValid(const TBookmark& bookmark) override;
  int CompareBookmarks(const TBookmark& a, const TBookmark& b) override;
  std::unique_ptr<TStream> CreateBlobStream(TField& field, TBlobStreamMode mode) override;
  //! The value of a BLOB field read at once through the cursor (TABSLocalCursor::ReadBlob), as a
  //! stream opened with bmRead would give it, without the streams.
  bool ReadBlobValue(TField& field, std::string& value) override;
  bool Locate(const std::string& keyFields, const std::vector<Variant>& keyValues,
              TLocateOptions options) override;
  std::vector<Variant> Lookup(const std::string& keyFields, const std::vector<Variant>& keyValues,
                              const std::string& resultFields) override;

 protected:
  //! Makes and opens the cursor of this kind of dataset on the session's connection.
  virtual std::unique_ptr<TABSLocalCursor> CreateHandle(TABSDatabase& database) = 0;
  //! After the fields are bound (the table applies its index here).
  virtual void AfterCursorOpen() {}
  //! Raises "Nil pointer occured" with `code` when closed.
  TABSLocalCursor& CheckedCursor(int32_t code) const;
  //! Raises a framework database error with the component's name.
  [[noreturn]] void Error(const std::string& message) const;

  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& buffer) override;
  void InternalInitRecord(TRecordBuffer buffer) override;
  TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) override;
  void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override;
  void GetBookmarkData(TRecordBuffer buffer, uint8_t* data) override;
  void SetBookmarkData(TRecordBuffer buffer, const uint8_t* data) override;
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() const override { return cursor_ != nullptr; }
  void InternalFirst() override;
  void InternalLast() override;
  void InternalGotoBookmark(const uint8_t* bookmark) override;
  void InternalSetToRecord(TRecordBuffer buffer) override;
  void InternalEdit() override;
  void InternalInsert() override;
  void InternalPost() override;
  void InternalCancel() override;
  void InternalDelete() override;
  int GetRecordCount() override;
  int GetRecNo() override;
  void InternalSetRecNo(int recNo) override;
  bool GetFieldData(const TField& field, void* buffer) override;
  void SetFieldData(TField& field, const void* buffer) override;
  //! Refuses a stored field's text that does not fit the field's bytes with its terminator (20056
  //! "Buffer size exceeded"), leaving the record as it was; a text that fits goes to SetFieldData.
  void SetFieldText(TField& field, const void* text, size_t length) override;
  void ClearCalcFields(TRecordBuffer buffer) override;
  bool FindRecord(bool restart, bool goForward) override;

 private:
  friend class TABSBLOBStream;
  void Attach();
  void Detach();
  // The stored field a framework field shows; "Invalid field number" with `code` otherwise.
  int32_t StoredFieldOf(const TField& field, int32_t code) const;
  // Raises EABSEngineError for a non-zero result of the cursor's last record operation.
  void CheckResult() const;
  // Opens the cursor's engine stream on a field of the current record (null when the record cannot
  // be reached), with the cursor's buffer and position put back afterwards.
  TABSLocalBLOBStream* OpenEngineBlob(TField& field, TABSBlobOpenMode mode);
  // Runs `open(cursor, isInsert)` with the cursor on the record of the active buffer (an
  // empty new record when there is none); the cursor's buffer and position are put back afterwards.
  template <typename Action>
  auto OnBlobRecord(Action open);
  // The dataset's own field of the name of `field` (the field itself when it is one).
  TField& OwnField(TField& field);
  // A BLOB whose record could not be reached in browse state: a refresh shows whether it is gone.
  void RefreshUnreachedBlobRecord();
  // Puts the cursor on the record of a buffer; false for a buffer without a record.
  bool PositionOn(TRecordBuffer buffer);
  // The window buffer holding the record the cursor stands on, as last read; null when none does.
  const uint8_t* PositionValues();
  // Reads the record at `address` into the spare scan buffer; false when it is gone.
  bool ReadAt(const TABSRecordAddress& address);
  // The first record from the start in the dataset's order whose key fields match; its address.
  bool FindMatch(const std::string& keyFields, const std::vector<Variant>& keyValues, TLocateOptions options,
                 TABSRecordAddress& found);
  // Through the active index when the key fields are its leading fields and no option is set: false
  // when the index cannot be used; otherwise true, with `found` the record or the empty address.
  bool FindIndexed(const std::string& keyFields, const std::vector<Variant>& keyValues,
                   TLocateOptions options, TABSRecordAddress& found);
  bool Matches(TRecordBuffer buffer, const std::vector<TField*>& fields, const std::vector<Variant>& values,
               TLocateOptions options);

  TABSComponentOwner* owner_ = nullptr;
  std::string sessionName_;
  std::string databaseName_;
  bool inMemory_ = false;
  bool readOnly_ = false;
  bool userReadOnly_ = false;
  TABSDatabase* database_ = nullptr;
  std::unique_ptr<TABSLocalCursor> cursor_;
  // Per stored field its layout; per visible field (FieldDefs order) the stored field it shows.
  std::vector<TABSFieldLayout> layouts_;
  std::vector<int32_t> storedFields_;
  // Set while the dataset closes to reopen on its cursor.
  bool keepCursor_ = false;
  std::vector<uint8_t> scan_;
  // The record a BLOB stream of an empty dataset reads from.
  std::vector<uint8_t> emptyRecord_;
  // Set while a BLOB stream that found no record refreshes the dataset.
  bool blobRefreshing_ = false;
  // The buffers handed to the framework.
  std::vector<TRecordBuffer> buffers_;
  // The buffer the cursor's record was last read into or the cursor was last put on from (checked
  // against the cursor's position before use).
  TRecordBuffer positionBuffer_ = nullptr;
  int32_t dataSize_ = 0;
};

}  // namespace viz
