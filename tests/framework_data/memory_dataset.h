// A test dataset over an in-memory table of rows: the smallest descendant that implements every
// hook of the framework's dataset, used to drive the framework in its tests.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/data/dataset.h"

namespace viz {
class TBlobField;
}

namespace viz::test {

//! A stream over a text that may be absent (a NULL BLOB value); writing makes it present. When it
//! belongs to a BLOB field and changed the value, it tells the field as it closes.
class StringStream : public TStream {
 public:
  StringStream(TBlobField* field, std::optional<std::string>* value, bool writable, bool truncate);
  ~StringStream() override;
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t GetPosition() const override { return position_; }
  int64_t GetSize() const override;
  void SetSize(int64_t size) override;

 private:
  const std::string& Data() const;
  void CheckWritable() const;

  TBlobField* field_;
  std::optional<std::string>* value_;
  bool writable_;
  bool modified_ = false;
  int64_t position_ = 0;
};

//! One row: a stable id (the bookmark) and each field's native bytes, or the BLOB content.
struct MemoryRow {
  int32_t id = 0;
  std::vector<std::optional<std::string>> values;
};

//! The table the dataset shows; it survives the dataset's open and close and can be shared.
struct MemoryTable {
  std::vector<TFieldDef> columns;
  std::vector<MemoryRow> rows;
  int32_t nextId = 1;

  void AddColumn(const std::string& name, TFieldType type, int size = 0, bool required = false);
  //! Appends a row, one value per column: integers for ftInteger, doubles for ftFloat, texts for
  //! ftString and the BLOB kinds; a null variant is NULL.
  void AddRow(const std::vector<Variant>& values);
};

class MemoryDataSet : public TDataSet {
 public:
  explicit MemoryDataSet(std::shared_ptr<MemoryTable> table, std::string name = "MemoryDataSet1");
  ~MemoryDataSet() override;

  MemoryTable& Table() { return *table_; }
  bool CanModify() const override { return !readOnly_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }

  //! Successful record reads so far (the test of the buffered window counts them).
  int reads = 0;
  //! The next n edit, post or delete steps fail with an EDatabaseError.
  int failEdits = 0;
  int failPosts = 0;
  int failDeletes = 0;
  int cancels = 0;

  bool BookmarkValid(const TBookmark& bookmark) override;
  int CompareBookmarks(const TBookmark& a, const TBookmark& b) override;
  std::unique_ptr<TStream> CreateBlobStream(TField& field, TBlobStreamMode mode) override;
  bool Locate(const std::string& keyFields, const std::vector<Variant>& keyValues,
              TLocateOptions options) override;
  std::vector<Variant> Lookup(const std::string& keyFields, const std::vector<Variant>& keyValues,
                              const std::string& resultFields) override;
  //! Filter texts are one comparison "Field=Value".
  void SetFilterText(const std::string& text) override;
  void SetFiltered(bool filtered) override;
  void SetOnFilterRecord(TFilterRecordEvent handler) override;
  //! A key edit on a one-field key buffer: fields write into the key, Post keeps it.
  void EditKey();
  const std::optional<std::string>& KeyValue() const { return keyValue_; }

 protected:
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
  bool IsCursorOpen() const override { return open_; }
  void InternalFirst() override { position_ = -1; }
  void InternalLast() override { position_ = static_cast<int>(table_->rows.size()); }
  void InternalGotoBookmark(const uint8_t* bookmark) override;
  void InternalSetToRecord(TRecordBuffer buffer) override;
  void InternalEdit() override;
  void InternalPost() override;
  void InternalCancel() override { ++cancels; }
  void InternalDelete() override;
  void PostKeyBuffer(bool commit) override;
  int GetRecordCount() override;
  int GetRecNo() override;
  void InternalSetRecNo(int recNo) override;
  bool GetFieldData(const TField& field, void* buffer) override;
  void SetFieldData(TField& field, const void* buffer) override;
  void ClearCalcFields(TRecordBuffer buffer) override;
  bool FindRecord(bool restart, bool goForward) override;

 private:
  struct Record;
  static Record& RecordOf(TRecordBuffer buffer) { return *reinterpret_cast<Record*>(buffer); }
  int IndexOfId(int32_t id) const;
  bool Passes(int index, bool filtering);
  void LoadRow(int index, Record& record);
  //! Index of the first row from `start` in the direction that passes and matches, or −1.
  int Scan(int start, bool forward, bool filtering, const std::function<bool(Record&)>& matches = nullptr);
  bool Matches(Record& record, const std::string& keyFields, const std::vector<Variant>& keyValues,
               TLocateOptions options);
  void ApplyFilterChange();

  std::shared_ptr<MemoryTable> table_;
  bool open_ = false;
  bool readOnly_ = false;
  int position_ = -1;  // −1 before the first row, rows.size() after the last
  bool stepFilter_ = false;
  std::optional<std::string> keyValue_;
  std::optional<std::string> keyBackup_;
  TRecordBuffer keyBuffer_ = nullptr;
};

}  // namespace viz::test
