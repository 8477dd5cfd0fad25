// Test support for B-tree indexes: pages kept as images in memory, and a table of the test backend
// whose indexes are real B-trees on those pages.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/storage/VIZPage.h"
#include "engine/tables/VIZBaseEngine.h"
#include "engine/tables/btree/ABSBTree.h"
#include "tables/test_backend.h"

namespace viz::testing {

//! Page images in a map. Reads copy the committed image, so sessions see each other's pages only
//! after a commit; freed page numbers are reused, lowest first.
class MemoryPages : public TABSPageManager {
 public:
  MemoryPages(uint16_t pageSize, uint16_t headerSize);
  ~MemoryPages() override;

  void AllocatePageNo(TABSPage* page) override;
  void FreePageNo(int32_t pageNo) override;
  bool ReadPage(TABSPage* page) override;
  void WritePage(TABSPage* page) override;
  TABSPage* GetPage(int32_t session, int32_t pageNo, uint16_t expectedType) override;

  std::map<int32_t, std::vector<uint8_t>> Stored;
  std::set<int32_t> Allocated;
  //! GetPage calls and backend reads since construction.
  int64_t Gets = 0;
  int64_t Reads = 0;
};

//! One key column of a test index.
struct TestColumn {
  std::string Field;
  bool Descending = false;
  bool CaseInsensitive = false;
  int32_t KeyLength = 0;
};

//! A table whose records live in the test record manager and whose indexes are B-trees.
class BTreeTable {
 public:
  explicit BTreeTable(uint16_t pageSize = 4096, uint16_t headerSize = 0);
  ~BTreeTable();

  //! Adds a field before Create.
  void AddField(const std::string& name, TABSDataType type, int32_t size = 0);
  //! Adds an index before Create (built with the table).
  void AddIndexDef(const std::string& name, const std::vector<TestColumn>& columns, bool unique = false);
  void Create();
  //! Adds an index to the created table (filled from its records); returns its ObjectID.
  int32_t AddIndex(const std::string& name, const std::vector<TestColumn>& columns, bool unique = false);

  const TABSFieldDefs& Fields() const;
  //! A record buffer with every field NULL.
  std::vector<uint8_t> NewRecord() const;
  void SetInt(std::vector<uint8_t>& record, int32_t field, int32_t value) const;
  void SetString(std::vector<uint8_t>& record, int32_t field, const std::string& value) const;
  void SetNull(std::vector<uint8_t>& record, int32_t field) const;
  int32_t GetInt(const std::vector<uint8_t>& record, int32_t field) const;
  std::string GetString(const std::vector<uint8_t>& record, int32_t field) const;

  TABSRecordAddress Insert(const std::vector<uint8_t>& record, int32_t session = 1);
  void Delete(const TABSRecordAddress& address, int32_t session = 1);
  void Update(const TABSRecordAddress& address, const std::vector<uint8_t>& record, int32_t session = 1);
  std::vector<uint8_t> Read(const TABSRecordAddress& address) const;

  //! The index of that ObjectID, or the n-th index definition's when `byPosition`.
  TABSBTreeRecordIndex& Index(int32_t position = 0);
  int32_t IndexID(int32_t position = 0) const;
  TestCursor& Cursor(int32_t session = 1);
  TABSBaseSession& Session(int32_t session = 1);
  void Commit(int32_t session = 1) { pages.Commit(session); }
  void Rollback(int32_t session = 1) { pages.Rollback(session); }
  //! Runs the invariant checker on every index for the session; returns its problems.
  std::string CheckAll(int32_t session = 1);

  MemoryPages pages;
  std::unique_ptr<TestDatabaseData> database;
  TestTableData* table = nullptr;

 private:
  TABSFieldDefs fields_;
  TABSIndexDefs indexes_;
  std::map<int32_t, std::unique_ptr<TABSBaseSession>> sessions_;
  std::map<int32_t, std::unique_ptr<TestCursor>> cursors_;
};

}  // namespace viz::testing
