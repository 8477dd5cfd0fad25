// A small in-memory backend for the table data model's tests: byte streams, a database data that
// hands out ObjectIDs, a table data with a record manager keeping records in a map, and an index
// object keeping keys in a sorted multimap. It stands in for the disk and memory backends and the
// B-tree index, which implement the same abstract operations.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/tables/VIZBaseEngine.h"
#include "engine/tables/streams.h"

namespace viz::testing {

//! Returns the whole content of a memory stream.
std::vector<uint8_t> ContentOf(TABSMemoryStream& stream);
//! Returns a memory stream holding the bytes, positioned at 0.
std::unique_ptr<TABSMemoryStream> StreamOf(const std::vector<uint8_t>& bytes);

//! A stream that takes at most `capacity` bytes, for short writes.
class FullStream : public TStream {
 public:
  explicit FullStream(int64_t capacity) : capacity_(capacity) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override { size_ = size; }
  int64_t GetPosition() const override { return position_; }
  int64_t GetSize() const override { return size_; }

 private:
  int64_t capacity_;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

//! A cursor with its own record buffer.
class TestCursor : public TABSCursor {
 public:
  TestCursor(std::string_view tableName, TABSBaseSession* session) {
    SetTableName(tableName);
    SetSession(session);
  }
  std::vector<uint8_t> Record;
};

class TestRecordManager : public TABSBaseRecordManager {
 public:
  using TABSBaseRecordManager::TABSBaseRecordManager;

  void Empty(int32_t session) override;
  TABSRecordAddress Insert(int32_t session, const uint8_t* record) override;
  bool Update(int32_t session, const uint8_t* record, const TABSRecordAddress& address) override;
  bool Delete(int32_t session, const TABSRecordAddress& address) override;
  void Navigate(int32_t session, TABSNavigationRecord& navigation) override;
  int CompareAddresses(const TABSRecordAddress& a, const TABSRecordAddress& b) override;
  int64_t ApproximateOrdinal(int32_t session, const TABSRecordAddress& address) override;

  //! Stored records by page number; the slot is always 0.
  std::map<int32_t, std::vector<uint8_t>> Records;

 private:
  int32_t nextPage_ = 0;
};

//! Keys are the null flag and buffer bytes of each column, compared byte-wise; enough to test
//! uniqueness, not ordering.
class TestIndex : public TABSIndex {
 public:
  using TABSIndex::TABSIndex;

  void Create(TABSCursor* cursor, TABSIndexDef& definition) override;
  void Drop(int32_t session) override;
  void Empty(int32_t session) override;
  bool KeyIsFree(int32_t session, const uint8_t* record) override;
  bool KeyIsFreeOnUpdate(int32_t session, const uint8_t* oldRecord, const uint8_t* newRecord) override;
  void InsertKey(int32_t session, const uint8_t* record, const TABSRecordAddress& address) override;
  bool DeleteKey(int32_t session, const uint8_t* record, const TABSRecordAddress& address) override;
  void UpdateKey(int32_t session, const uint8_t* oldRecord, const uint8_t* newRecord,
                 const TABSRecordAddress& address) override;

  std::multimap<std::string, TABSRecordAddress> Keys;
  //! Set to make the next Create fail.
  static inline bool FailNextCreate = false;
  static inline int32_t Builds = 0;

 private:
  std::string KeyOf(const uint8_t* record) const;
};

class TestIndexManager : public TABSBaseIndexManager {
 public:
  using TABSBaseIndexManager::TABSBaseIndexManager;

 protected:
  std::unique_ptr<TABSIndex> NewIndexObject(const TABSIndexDef& definition,
                                            TABSPageManager* pageManager) override;
};

class TestTableData : public TABSTableData {
 public:
  TestTableData(TABSDatabaseData* database, std::string_view tableName);

  void CreateRecordManager() override;
  void CreateTable(TABSCursor* cursor, const TABSFieldDefs& fields, const TABSIndexDefs& indexes,
                   const TABSConstraintDefs& constraints) override;
  int64_t RecordNumberBound(TABSCursor* cursor) override;
  int64_t AddressToRecordNumber(const TABSRecordAddress& address) override { return address.PageNo; }
  TABSRecordAddress RecordNumberToAddress(int64_t number) override {
    return {static_cast<int32_t>(number), 0};
  }
  void ReleaseFieldBlob(uint8_t* record, int32_t field) override;
  //! Applies automatic values, checks the constraints, stores the record and its keys.
  bool InsertRecord(TABSCursor* cursor) override;
  bool DeleteRecord(TABSCursor* cursor) override;
  bool UpdateRecord(TABSCursor* cursor) override;
  void GotoStorageOrdinal(TABSCursor* cursor, int64_t ordinal) override;
  int64_t StorageOrdinal(TABSCursor* cursor) override;
  int64_t RecordCount(TABSCursor* cursor) override;

  TestRecordManager& Records() { return static_cast<TestRecordManager&>(*RecordManager()); }
  //! Fields whose BLOB value was released (slot 25 calls).
  std::vector<int32_t> ReleasedBlobs;
};

class TestDatabaseData : public TABSDatabaseData {
 public:
  TABSTableData* NewTableData(TABSCursor* cursor) override;
  int32_t NextObjectID() override { return nextObjectId_++; }

  //! Sessions whose pages were committed / rolled back, in order.
  std::vector<int32_t> Committed;
  std::vector<int32_t> RolledBack;

 protected:
  void CommitPages(int32_t session, bool) override { Committed.push_back(session); }
  void RollbackPages(int32_t session) override { RolledBack.push_back(session); }

 private:
  int32_t nextObjectId_ = 1;
};

//! Returns the bytes of a hex text such as "01 00 FF" (blanks ignored).
std::vector<uint8_t> Hex(std::string_view text);

//! Returns the message of the engine exception the action raises, or "no error".
std::string MessageOf(const std::function<void()>& action);

}  // namespace viz::testing
