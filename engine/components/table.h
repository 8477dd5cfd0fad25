// TABSTable: the dataset of one named table. Its active index (by IndexName, or the index whose
// fields IndexFieldNames lists) orders the records; without one they come in storage order.
//
//   TABSTable table;
//   table.SetDatabaseName("Lyrics");       // a TABSDatabase of that alias, or "MEMORY"
//   table.SetTableName("LYRIC");
//   table.SetIndexName("byFileName");
//   table.Open();
//   table.FieldByName("FileName").AsString() ...
//
// Key search, ranges and master/detail work on the active index; key values go to its fields in
// order (value i to index field i):
//
//   table.SeekKeyValues({Variant::FromString("a.mp3")});   // or FindKey: true and on the record
//   table.SetKey(); table.FieldByName("FileName").SetAsString("a"); table.GotoNearest();
//   table.SetRange({Variant::FromString("a")}, {Variant::FromString("b")});  // "a" <= key <= "b"
//   table.CancelRange();
//   detail.SetMasterSource(&masterSource); detail.SetMasterFields("Id");  // follows the master
//
// While a key is edited (SetKey, EditKey, SetRangeStart ...) the dataset is in set-key state and
// only index fields can be written; Post keeps the key, Cancel restores it.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/components/dataset.h"
#include "framework/data/data_source.h"
#include "framework/data/field_defs.h"

namespace viz {

class TABSTable : public TABSDataSet {
 public:
  explicit TABSTable(TABSComponentOwner* owner = nullptr);
  ~TABSTable() override;

  const std::string& TableName() const { return tableName_; }
  //! Only while closed.
  void SetTableName(const std::string& name);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value);

  //! IndexName and IndexFieldNames share one text: setting one clears the other.
  std::string IndexName() const { return byFieldNames_ ? std::string() : indexText_; }
  void SetIndexName(const std::string& name);
  std::string IndexFieldNames() const { return byFieldNames_ ? indexText_ : std::string(); }
  void SetIndexFieldNames(const std::string& names);
  //! The index definitions of the table (read when it opens).
  TIndexDefs& IndexDefs() { return indexDefs_; }
  //! The numbers (FieldNo) of the active index's fields.
  const std::vector<int>& IndexFieldNumbers() const { return indexFields_; }
  //! Orders the table by an index on the fields (operation 30; stored or visible names, orders and
  //! cases as for MakeIndexOnFields); IndexName becomes that index. Used by the SQL engine.
  void OrderByFields(const std::vector<std::string>& fields, const std::vector<std::string>& orders,
                     const std::vector<std::string>& cases);
  //! Whether the table exists in its database (connecting when needed).
  bool Exists();

  // ---- Key search. Each raises "No index currently active" without an active index.
  //! Starts editing the search key (set-key state): SetKey from an empty key, EditKey from the last one.
  void SetKey();
  void EditKey();
  //! Searches the key: true on the first record, in index order, whose leading index fields equal
  //! it; false and not moved when there is none. Strings compare whole, as the index compares.
  bool GotoKey();
  //! Moves to the first record at or after the key (after it when KeyExclusive), else the last one.
  void GotoNearest();
  //! Posts or cancels a pending edit, puts the values into the first index fields of a new key (a
  //! text longer than its field finds nothing), then GotoKey / GotoNearest. "Field index out of
  //! range" for more values than index fields.
  bool FindKey(const std::vector<Variant>& values);
  void FindNearest(const std::vector<Variant>& values);
  //! The same search as FindKey.
  bool SeekKeyValues(const std::vector<Variant>& values);
  //! The key being edited (set-key state only): how many leading index fields it gives (0 = all),
  //! and whether it excludes itself (from GotoNearest, or as a range end).
  int KeyFieldCount() const;
  void SetKeyFieldCount(int count);
  bool KeyExclusive() const;
  void SetKeyExclusive(bool exclusive);

  // ---- Ranges: the dataset reaches only the records between a start key and an end key of the
  // active index. A key not given (no field written) leaves that end open.
  //! Edit the start or end key: Set... from an empty key, Edit... from the last one.
  void SetRangeStart();
  void SetRangeEnd();
  void EditRangeStart();
  void EditRangeEnd();
  //! Puts the edited range in force and moves to its first record (nothing happens when it is the
  //! range in force already).
  void ApplyRange();
  //! Drops the range; the dataset stays on its record.
  void CancelRange();
  //! Both keys from values, then ApplyRange.
  void SetRange(const std::vector<Variant>& startValues, const std::vector<Variant>& endValues);

  // ---- Master/detail: the detail shows the records whose leading index fields equal the master
  // fields of the master's current record, and a new detail record gets those values.
  TDataSource* MasterSource() const { return masterLink_->DataSource(); }
  //! "Circular datalinks are not allowed" for a source that leads back to this table.
  void SetMasterSource(TDataSource* source);
  //! Fields of the master (";"-separated), matched in order with the first active index fields.
  const std::string& MasterFields() const { return masterLink_->FieldNames(); }
  void SetMasterFields(const std::string& names);
  TDataSource* GetDataSource() const override { return masterLink_->DataSource(); }

 protected:
  std::unique_ptr<TABSLocalCursor> CreateHandle(TABSDatabase& database) override;
  void AfterCursorOpen() override;
  //! Ends a key edit: keeps the key (post) or restores it (cancel).
  void PostKeyBuffer(bool commit) override;
  //! In set-key state only index fields take values ("Field %s is not in the current index", 20019).
  void SetFieldData(TField& field, const void* buffer) override;
  //! In set-key state a text longer than the field is cut to it; an equal search with it finds nothing.
  void SetFieldText(TField& field, const void* text, size_t length) override;
  //! A new detail record gets the master fields' values first.
  void DoOnNewRecord() override;

 private:
  // The index name the index text selects; empty for none.
  std::string SelectedIndexName() const;
  void ApplyIndex();
  void ReadIndexDefs();

  // The key buffers: the field data area, then the modified byte, the exclusive byte and the
  // 32-bit count of key fields.
  enum KeyBufferNo { kLookupKey, kRangeStart, kRangeEnd, kStartInForce, kEndInForce, kSavedKey, kKeyBuffers };
  uint8_t* KeyBuffer(int no) { return keys_[static_cast<size_t>(no)].data(); }
  int32_t KeySize() const;
  void InitKeyBuffer(int no);
  void CopyKeyBuffer(int from, int to);
  int32_t KeyCountOf(int no) const;
  // Prepares the key buffers after an open or an index change, with the master's range in force.
  void ResetKeys();
  TField& IndexField(size_t index) const;
  // The key buffer the fields write to now; -1 for none.
  int KeyBufferInUse();
  void LoadKeyBuffer(int no, const std::vector<Variant>& values);
  void EditKeyBuffer(int no, bool clear);
  // Searches the lookup key with an operator; true when found (the cursor on the record).
  bool SearchKey(TABSScanOperator op);
  bool SeekKey();
  // Puts the edited range in force on the cursor; false when it is the range in force already.
  bool SetCursorRange();
  void EnforceRange();
  void DropRange();
  // Runs a move of the dataset under a read lock of the table, or without when it cannot be had.
  void WithReadLock(const std::function<void()>& move);
  // The master's fields into range buffers 1 and 2.
  bool LoadMasterRange();
  void MasterChanged();
  void MasterDisabled();

  std::array<std::vector<uint8_t>, kKeyBuffers> keys_;
  // Per key buffer the fields whose text was cut to fit.
  std::array<std::set<int>, kKeyBuffers> cutFields_;
  int editingKey_ = -1;
  bool editingKeyModified_ = false;
  // The names of the active index's fields, in order.
  std::vector<std::string> indexColumns_;
  std::unique_ptr<TMasterDataLink> masterLink_;

  std::string tableName_;
  std::string indexText_;
  bool byFieldNames_ = false;
  bool exclusive_ = false;
  TIndexDefs indexDefs_;
  std::vector<int> indexFields_;
};

}  // namespace viz
